#pragma once
// A file's modified time as the file system keeps it, to the nanosecond.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/date_time.h"

namespace ravlen {

struct FileTime {
    std::int64_t Seconds = 0;      // since 1970-01-01 00:00:00 UTC
    std::int32_t Nanoseconds = 0;  // 0 to 999,999,999

    // "seconds.nnnnnnnnn": every digit kept, so that the time comes back exactly.
    std::string Text() const;
    static std::optional<FileTime> Parse(std::string_view text);
    // The moment this machine's clock shows as `local` (as mktime takes a
    // face the clock shows twice or skips).
    static FileTime FromLocal(const DateTime& local);
    bool operator==(const FileTime&) const = default;
};

}  // namespace ravlen
