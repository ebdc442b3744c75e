#pragma once
// The time zone at a point of the globe, from the zone boundaries kept in the
// program (data/zones/zone_map.bin, made by tools/zones/make_zone_map.js).
// Nothing is read before the first look-up; then only the squares and the
// boundary tile the point lies in.

#include <cstdint>
#include <string>
#include <string_view>

namespace ravlen {

class ZoneMap {
public:
    // The map built into the program.
    static const ZoneMap& Builtin();
    // A map in memory laid out as the built-in one; an empty or damaged one
    // knows no land.
    explicit ZoneMap(std::string_view bytes);

    // The zone's name at the point (latitude, longitude in degrees): a zone
    // of the time-zone database on land and in territorial waters, else the
    // nautical zone of the longitude ("Etc/GMT-9"). Empty for a point off
    // the globe.
    std::string ZoneAt(double latitude, double longitude) const;

    bool Valid() const { return nodeCount_ > 0; }

private:
    std::string_view NameOf(std::uint32_t zone) const;
    // The zone whose polygons in the tile at `offset` hold the point, if any.
    bool ZoneInTile(std::uint64_t offset, std::int64_t x, std::int64_t y, std::uint32_t& zone) const;

    std::string_view bytes_;
    std::uint32_t zoneCount_ = 0, nodeCount_ = 0;
    std::uint64_t namesAt_ = 0, nodesAt_ = 0, tilesAt_ = 0, tileBytes_ = 0;
};

// The nautical zone of a longitude: "Etc/GMT" with the sign the database gives it.
std::string NauticalZone(double longitude);

}  // namespace ravlen
