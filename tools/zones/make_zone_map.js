#!/usr/bin/env node
// Turns the time-zone boundaries that the npm package geo-tz ships (built by
// timezone-boundary-builder, zones alike since 1970) into data/zones/zone_map.bin,
// the compact map the program looks a movie's position up in.
//
//   npm install --no-save geo-tz@8.1.9      (brings geobuf and pbf too)
//   node tools/zones/make_zone_map.js node_modules data/zones/zone_map.bin
//
// The package's quadtree is kept as it is: a square is one zone, the sea, four
// smaller squares, or a tile of boundary polygons clipped to it. The polygons
// are simplified (Douglas-Peucker, kTolerance degrees) and stored as
// zig-zag varint steps of kUnit degrees.
//
// File layout, little-endian:
//   "RVZMAP01", u32 zone count, u32 node count, u32 tile bytes,
//   the zone names (u8 length, bytes), the nodes (u32 each: kind in the top
//   two bits, 0 four children from the index in the rest, 1 one zone,
//   2 the sea, 3 a tile at the byte offset in the rest), the tiles:
//   varint features; each: varint zone, varint rings; each: varint points,
//   then the points as steps (x then y) from the ring's previous point, the
//   first from (0, 0).
'use strict';
const fs = require('fs');
const path = require('path');

const modules = path.resolve(process.argv[2] || 'node_modules');
const output = process.argv[3] || 'data/zones/zone_map.bin';
const geobuf = require(path.join(modules, 'geobuf'));
const Pbf = require(path.join(modules, 'pbf'));
const data = path.join(modules, 'geo-tz', 'data');
const index = JSON.parse(fs.readFileSync(path.join(data, 'timezones-1970.geojson.index.json'), 'utf8'));
const features = fs.readFileSync(path.join(data, 'timezones-1970.geojson.geo.dat'));

const kTolerance = 0.0005;  // about 50 m
const kUnit = 1e-4;         // about 11 m

function simplify(points) {
    if (points.length <= 4) return points;
    const keep = new Uint8Array(points.length);
    keep[0] = keep[points.length - 1] = 1;
    const stack = [[0, points.length - 1]];
    while (stack.length) {
        const [a, b] = stack.pop();
        const [ax, ay] = points[a], [bx, by] = points[b];
        const dx = bx - ax, dy = by - ay, len = Math.hypot(dx, dy);
        let worst = -1, far = 0;
        for (let i = a + 1; i < b; ++i) {
            const [px, py] = points[i];
            const d = len === 0 ? Math.hypot(px - ax, py - ay) : Math.abs(dy * px - dx * py + bx * ay - by * ax) / len;
            if (d > far) far = d, worst = i;
        }
        if (far > kTolerance) {
            keep[worst] = 1;
            stack.push([a, worst], [worst, b]);
        }
    }
    const kept = points.filter((_, i) => keep[i]);
    return kept.length >= 4 ? kept : points;
}

const bytes = [];
function varint(v) {
    while (v >= 0x80) {
        bytes.push((v & 0x7f) | 0x80);
        v = Math.floor(v / 128);
    }
    bytes.push(v);
}
const zigzag = (v) => (v < 0 ? -2 * v - 1 : 2 * v);

function tile(pos, len) {
    const collection = geobuf.decode(new Pbf(features.subarray(pos, pos + len)));
    const offset = bytes.length;
    const polygons = [];
    for (const f of collection.features) {
        const zone = index.timezones.indexOf(f.properties.tzid);
        if (zone < 0) throw new Error('unknown zone ' + f.properties.tzid);
        const g = f.geometry;
        const rings = g.type === 'Polygon' ? g.coordinates : g.type === 'MultiPolygon' ? g.coordinates.flat() : [];
        polygons.push([zone, rings.map(simplify)]);
    }
    varint(polygons.length);
    for (const [zone, rings] of polygons) {
        varint(zone);
        varint(rings.length);
        for (const ring of rings) {
            varint(ring.length);
            let px = 0, py = 0;
            for (const [x, y] of ring) {
                const qx = Math.round(x / kUnit), qy = Math.round(y / kUnit);
                varint(zigzag(qx - px));
                varint(zigzag(qy - py));
                px = qx, py = qy;
            }
        }
    }
    return offset;
}

const nodes = [0];  // the root, filled in below
function node(at, value) {
    if (value === undefined || value === null) nodes[at] = 2 << 30;
    else if (Array.isArray(value)) nodes[at] = ((1 << 30) | value[0]) >>> 0;
    else if (typeof value === 'string') nodes[at] = ((1 << 30) | index.timezones.indexOf(value)) >>> 0;
    else if (value.pos >= 0 && value.len) nodes[at] = ((3 << 30) | tile(value.pos, value.len)) >>> 0;
    else {
        const first = nodes.length;
        nodes.push(0, 0, 0, 0);
        nodes[at] = first;
        ['a', 'b', 'c', 'd'].forEach((q, i) => node(first + i, value[q]));
    }
}
node(0, index.lookup);
if (bytes.length >= 1 << 30) throw new Error('tiles too large');

const names = index.timezones.map((z) => Buffer.concat([Buffer.from([Buffer.byteLength(z)]), Buffer.from(z)]));
const head = Buffer.alloc(20);
head.write('RVZMAP01', 0, 'latin1');
head.writeUInt32LE(index.timezones.length, 8);
head.writeUInt32LE(nodes.length, 12);
head.writeUInt32LE(bytes.length, 16);
const nodeBytes = Buffer.alloc(4 * nodes.length);
nodes.forEach((v, i) => nodeBytes.writeUInt32LE(v >>> 0, 4 * i));
fs.mkdirSync(path.dirname(output), { recursive: true });
fs.writeFileSync(output, Buffer.concat([head, ...names, nodeBytes, Buffer.from(bytes)]));
console.log(`${output}: ${index.timezones.length} zones, ${nodes.length} nodes, ${bytes.length} bytes of tiles`);
