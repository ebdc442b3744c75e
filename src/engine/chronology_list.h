#pragma once
// The run-wide list of produced names: "|" then one key and one "|" per file
// placed so far. The keys are held as numbers in placing order, with an
// open-addressing index beside them, so the duplicate test costs the same
// however long the run grows and the list takes about 24 bytes a file; the
// text itself is written out only when asked for.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/date_time.h"

namespace ravlen {

class ChronologyList {
public:
    ChronologyList() { Reset(); }
    void Reset() {
        entries_.clear();
        slots_.assign(kInitialSlots, kEmpty);
        settled_.clear();
    }
    // Whether "|" + Key(timestamp, serialNumber) + "|" stands in the text.
    bool Contains(const DateTime& timestamp, std::int32_t serialNumber) const {
        const Entry e{timestamp.CivilSeconds(), serialNumber};
        for (std::size_t i = Home(e);; i = (i + 1) & (slots_.size() - 1)) {
            if (slots_[i] == kEmpty) return false;
            if (entries_[slots_[i]] == e) return true;
        }
    }
    void Append(const DateTime& timestamp, std::int32_t serialNumber) {
        if ((entries_.size() + 1) * 2 > slots_.size()) Grow();
        entries_.push_back(Entry{timestamp.CivilSeconds(), serialNumber});
        Index(static_cast<std::uint32_t>(entries_.size() - 1));
    }
    // "|" followed by "key|" for every file placed, in order.
    std::string Text() const {
        std::string text = "|";
        for (const Entry& e : entries_)
            text += Key(DateTime::FromCivilSeconds(e.seconds), e.serial) + "|";
        return text;
    }

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
    struct Entry {
        std::int64_t seconds;
        std::int32_t serial;
        bool operator==(const Entry&) const = default;
    };
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
    static constexpr std::size_t kInitialSlots = 64;  // a power of two, as every size after it

    std::size_t Home(const Entry& e) const {
        std::uint64_t h = static_cast<std::uint64_t>(e.seconds) * 0x9E3779B97F4A7C15ull;
        h ^= static_cast<std::uint64_t>(static_cast<std::uint32_t>(e.serial)) * 0xC2B2AE3D27D4EB4Full;
        h ^= h >> 29;
        return static_cast<std::size_t>(h) & (slots_.size() - 1);
    }
    void Index(std::uint32_t at) {
        std::size_t i = Home(entries_[at]);
        while (slots_[i] != kEmpty) i = (i + 1) & (slots_.size() - 1);
        slots_[i] = at;
    }
    void Grow() {
        slots_.assign(slots_.size() * 2, kEmpty);
        for (std::uint32_t at = 0; at < entries_.size(); ++at) Index(at);
    }

    std::vector<Entry> entries_;
    std::vector<std::uint32_t> slots_;
    std::unordered_map<std::string, std::int32_t> settled_;
};

}  // namespace ravlen
