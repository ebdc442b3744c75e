#include "app/run/zone_map.h"

#include <cmath>
#include <cstddef>

// The map as it is in the tree, built into the program: read-only pages that
// the system loads only when a look-up touches them.
asm(".pushsection .rodata\n"
    ".balign 16\n"
    ".global ravlen_zone_map\n"
    ".global ravlen_zone_map_end\n"
    "ravlen_zone_map:\n"
    ".incbin \"" RAVLEN_ZONE_MAP "\"\n"
    "ravlen_zone_map_end:\n"
    ".popsection\n");
extern "C" const char ravlen_zone_map[];
extern "C" const char ravlen_zone_map_end[];

namespace ravlen {
namespace {

constexpr std::string_view kMagic = "RVZMAP01";
constexpr std::uint64_t kHeader = 20;
constexpr double kUnit = 1e-4;  // the tiles' degrees per step
constexpr int kMaxDepth = 40;   // the map's squares are never smaller than 2^-40 of the globe

enum NodeKind : std::uint32_t { kChildren = 0, kOneZone = 1, kSea = 2, kTile = 3 };

std::uint32_t U32(std::string_view b, std::uint64_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::uint64_t>(i)]);
    return v;
}

// A reader of the tiles' varints that stops at the tile section's end.
struct Varints {
    std::string_view b;
    std::uint64_t at, end;
    bool ok = true;
    std::uint64_t Next() {
        std::uint64_t v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (at >= end) return ok = false, 0;
            const auto c = static_cast<unsigned char>(b[at++]);
            v |= std::uint64_t{c & 0x7Fu} << shift;
            if (c < 0x80) return v;
        }
        return ok = false, 0;
    }
    std::int64_t Signed() {
        const std::uint64_t z = Next();
        return (z & 1) ? -static_cast<std::int64_t>(z >> 1) - 1 : static_cast<std::int64_t>(z >> 1);
    }
};

}  // namespace

const ZoneMap& ZoneMap::Builtin() {
    static const ZoneMap map(std::string_view(ravlen_zone_map, static_cast<std::size_t>(ravlen_zone_map_end - ravlen_zone_map)));
    return map;
}

ZoneMap::ZoneMap(std::string_view bytes) : bytes_(bytes) {
    if (bytes.size() < kHeader || bytes.substr(0, kMagic.size()) != kMagic) return;
    const std::uint32_t zones = U32(bytes, 8), nodes = U32(bytes, 12), tileBytes = U32(bytes, 16);
    std::uint64_t at = kHeader;
    for (std::uint32_t z = 0; z < zones; ++z) {
        if (at >= bytes.size()) return;
        at += 1 + static_cast<unsigned char>(bytes[at]);
    }
    if (nodes == 0 || at > bytes.size() || (bytes.size() - at) / 4 < nodes ||
        bytes.size() - at - std::uint64_t{nodes} * 4 < tileBytes)
        return;
    namesAt_ = kHeader, nodesAt_ = at, tilesAt_ = at + std::uint64_t{nodes} * 4, tileBytes_ = tileBytes;
    zoneCount_ = zones, nodeCount_ = nodes;
}

std::string_view ZoneMap::NameOf(std::uint32_t zone) const {
    if (zone >= zoneCount_) return {};
    std::uint64_t at = namesAt_;
    for (std::uint32_t z = 0; z < zone; ++z) at += 1 + static_cast<unsigned char>(bytes_[at]);
    return bytes_.substr(at + 1, static_cast<unsigned char>(bytes_[at]));
}

// Even-odd over all rings of a feature: its holes take the point out again.
bool ZoneMap::ZoneInTile(std::uint64_t offset, std::int64_t x, std::int64_t y, std::uint32_t& zone) const {
    if (offset >= tileBytes_) return false;
    Varints v{bytes_, tilesAt_ + offset, tilesAt_ + tileBytes_};
    const std::uint64_t features = v.Next();
    for (std::uint64_t f = 0; f < features && v.ok; ++f) {
        const std::uint64_t id = v.Next(), rings = v.Next();
        bool inside = false;
        for (std::uint64_t r = 0; r < rings && v.ok; ++r) {
            const std::uint64_t points = v.Next();
            std::int64_t px = 0, py = 0, firstX = 0, firstY = 0, lastX = 0, lastY = 0;
            for (std::uint64_t p = 0; p < points && v.ok; ++p) {
                px += v.Signed(), py += v.Signed();
                if (p == 0) firstX = px, firstY = py;
                else if ((py > y) != (lastY > y) &&
                         static_cast<double>(x - lastX) <
                             static_cast<double>(px - lastX) * static_cast<double>(y - lastY) / static_cast<double>(py - lastY))
                    inside = !inside;
                lastX = px, lastY = py;
            }
            // An open ring closes itself.
            if (points > 1 && (lastX != firstX || lastY != firstY) && (firstY > y) != (lastY > y) &&
                static_cast<double>(x - lastX) <
                    static_cast<double>(firstX - lastX) * static_cast<double>(y - lastY) / static_cast<double>(firstY - lastY))
                inside = !inside;
        }
        if (inside && v.ok && id < zoneCount_) {
            zone = static_cast<std::uint32_t>(id);
            return true;
        }
    }
    return false;
}

std::string ZoneMap::ZoneAt(double latitude, double longitude) const {
    if (!std::isfinite(latitude) || !std::isfinite(longitude) || std::fabs(latitude) > 90 || std::fabs(longitude) > 180)
        return {};
    double top = 90, bottom = -90, left = -180, right = 180;
    std::uint32_t node = 0;
    for (int depth = 0; Valid() && depth < kMaxDepth; ++depth) {
        const double midLat = (top + bottom) / 2, midLon = (left + right) / 2;
        const bool north = latitude >= midLat, east = longitude >= midLon;
        // The squares' order: north-east, north-west, south-west, south-east.
        const std::uint32_t quadrant = north ? (east ? 0 : 1) : (east ? 3 : 2);
        (north ? bottom : top) = midLat;
        (east ? left : right) = midLon;
        const std::uint32_t word = U32(bytes_, nodesAt_ + 4 * std::uint64_t{node});
        if (word >> 30 != kChildren || (word & 0x3FFFFFFFu) > nodeCount_ - 4) break;
        const std::uint32_t child = U32(bytes_, nodesAt_ + 4 * std::uint64_t{(word & 0x3FFFFFFFu) + quadrant});
        node = (word & 0x3FFFFFFFu) + quadrant;
        const std::uint32_t kind = child >> 30, payload = child & 0x3FFFFFFFu;
        if (kind == kSea) break;
        if (kind == kOneZone) return std::string(NameOf(payload));
        if (kind == kTile) {
            std::uint32_t zone = 0;
            const auto x = std::llround(longitude / kUnit), y = std::llround(latitude / kUnit);
            if (ZoneInTile(payload, x, y, zone)) return std::string(NameOf(zone));
            break;
        }
    }
    return NauticalZone(longitude);
}

std::string NauticalZone(double longitude) {
    const int hours = static_cast<int>(std::lround(longitude / 15));
    if (hours == 0) return "Etc/GMT";
    // The database's signs are those of POSIX: east of Greenwich is minus.
    return std::string("Etc/GMT") + (hours > 0 ? "-" : "+") + std::to_string(hours > 0 ? hours : -hours);
}

}  // namespace ravlen
