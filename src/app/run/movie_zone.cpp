#include "app/run/movie_zone.h"

#include <QByteArray>
#include <QDateTime>
#include <QTimeZone>

#include "app/run/zone_map.h"

namespace ravlen {

bool IsKnownTimeZone(const std::string& name) {
    // Qt's list of zones leaves out the database's links and old names (CET,
    // Etc/UTC); the zone made from the name knows them all.
    return name.empty() || QTimeZone(QByteArray::fromStdString(name)).isValid();
}

ZoneOffsetAt MovieZoneOffsets(const std::string& name) {
    const QTimeZone zone = name.empty() ? QTimeZone::systemTimeZone() : QTimeZone(QByteArray::fromStdString(name));
    if (!zone.isValid()) return [](std::int64_t) { return std::int32_t{0}; };
    return [zone](std::int64_t utcSeconds) {
        const QDateTime moment = QDateTime::fromSecsSinceEpoch(utcSeconds, QTimeZone::utc());
        return static_cast<std::int32_t>(zone.offsetFromUtc(moment));
    };
}

ZoneAtPosition PositionZones() {
    return [](double latitude, double longitude, std::int64_t utcSeconds) -> std::optional<PositionZone> {
        const std::string name = ZoneMap::Builtin().ZoneAt(latitude, longitude);
        if (name.empty()) return std::nullopt;
        const QTimeZone zone(QByteArray::fromStdString(name));
        if (!zone.isValid()) return std::nullopt;
        const QDateTime moment = QDateTime::fromSecsSinceEpoch(utcSeconds, QTimeZone::utc());
        return PositionZone{name, static_cast<std::int32_t>(zone.offsetFromUtc(moment))};
    };
}

}  // namespace ravlen
