#pragma once
// The run-wide list of produced names: "|" then one key and one "|" per file
// placed so far. A hash set beside the text keeps the duplicate test constant
// time however long the run grows.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "model/date_time.h"

namespace ravlen {

class ChronologyList {
public:
    ChronologyList() { Reset(); }
    void Reset() {
        text_ = "|";
        keys_.clear();
        settled_.clear();
    }
    // Whether "|" + Key(timestamp, serialNumber) + "|" stands in the text.
    bool Contains(const DateTime& timestamp, std::int32_t serialNumber) const {
        return keys_.count(Entry{timestamp.CivilSeconds(), serialNumber}) != 0;
    }
    void Append(const DateTime& timestamp, std::int32_t serialNumber) {
        text_ += Key(timestamp, serialNumber);
        text_ += '|';
        keys_.insert(Entry{timestamp.CivilSeconds(), serialNumber});
    }
    const std::string& Text() const { return text_; }

    // The serial number that the last file of a name family settled on, -1
    // when there was none. A family is the output folder with the name a file
    // gets at its first serial number; every serial number of the family up
    // to the settled one is known to be taken, so the next file of the family
    // can start above it instead of trying them all again. Only families that
    // went past their first serial number are remembered: the others cost one
    // try anyway, and the memory stays with the duplicates.
    std::int32_t Settled(const std::string& family) const {
        const auto it = settled_.find(family);
        return it == settled_.end() ? -1 : it->second;
    }
    void Settle(const std::string& family, std::int32_t serialNumber) { settled_[family] = serialNumber; }

    // "yyyymmddhhnnss#serial"
    static std::string Key(const DateTime& timestamp, int serialNumber) {
        return timestamp.Format("yyyymmddhhnnss") + "#" + std::to_string(serialNumber);
    }

private:
    // The key in a compact form: a run of 100,000 files keeps its duplicate
    // test in a few megabytes.
    struct Entry {
        std::int64_t seconds;
        std::int32_t serial;
        bool operator==(const Entry&) const = default;
    };
    struct EntryHash {
        std::size_t operator()(const Entry& e) const {
            return std::hash<std::int64_t>()(e.seconds * 1000003 + e.serial);
        }
    };
    std::string text_;
    std::unordered_set<Entry, EntryHash> keys_;
    std::unordered_map<std::string, std::int32_t> settled_;
};

}  // namespace ravlen
