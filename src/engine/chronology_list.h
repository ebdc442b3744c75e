#pragma once
// The run-wide list of produced names: "|" then one key and one "|" per file
// placed so far. The keys are held as numbers in placing order, with an
// open-addressing index beside them, so the duplicate test costs the same
// however long the run grows; the text itself is written out only when asked
// for. Apart from the keys stands a 64-bit digest of each file's output folder
// and name once it has been placed (or, in a preview, would be), with an index
// of its own: a preview leaves no file behind for a later name to find, so
// this is where it learns that the name is taken. The files of one shot share
// one key, each with its own name. About 40 to 56 bytes a file.

#include <algorithm>
#include <cstdint>
#include <functional>
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
        names_.clear();
        keySlots_.assign(kInitialSlots, kEmpty);
        nameSlots_.assign(kInitialSlots, kEmpty);
        settled_.clear();
        spans_.clear();
    }
    // Whether "|" + Key(timestamp, serialNumber) + "|" stands in the text.
    bool Contains(const DateTime& timestamp, std::int32_t serialNumber) const {
        const std::int64_t seconds = timestamp.CivilSeconds();
        return Find(keySlots_, KeyHome(seconds, serialNumber), [&](std::uint32_t at) {
            return entries_[at].seconds == seconds && entries_[at].serial == serialNumber;
        });
    }
    void Append(const DateTime& timestamp, std::int32_t serialNumber) {
        if (!Contains(timestamp, serialNumber)) {
            const auto [span, first] = spans_.try_emplace(timestamp.CivilSeconds(), Span{serialNumber, serialNumber, 0});
            span->second.low = std::min(span->second.low, serialNumber);
            span->second.high = std::max(span->second.high, serialNumber);
            ++span->second.count;
        }
        if ((entries_.size() + 1) * 2 > keySlots_.size()) GrowKeys();
        entries_.push_back(Entry{timestamp.CivilSeconds(), serialNumber});
        const Entry& e = entries_.back();
        Index(keySlots_, KeyHome(e.seconds, e.serial), static_cast<std::uint32_t>(entries_.size() - 1));
    }

    // The first serial number from `serialNumber` on that the run has not
    // used in this second. A burst's numbers stand in one unbroken run, which
    // answers at once; others are looked at one by one.
    std::int32_t FirstFreeFrom(const DateTime& timestamp, std::int32_t serialNumber) const {
        const auto span = spans_.find(timestamp.CivilSeconds());
        if (span != spans_.end() && span->second.Unbroken() && serialNumber >= span->second.low &&
            serialNumber <= span->second.high)
            return span->second.high + 1;
        while (Contains(timestamp, serialNumber)) ++serialNumber;
        return serialNumber;
    }

    // Whether a file of the run was placed under this name in this folder.
    bool Produced(const std::string& folder, const std::string& name) const {
        return FindName(NameDigest(folder, name));
    }
    // A file of the run was placed under this name in this folder.
    void Produce(const std::string& folder, const std::string& name) {
        const std::uint64_t digest = NameDigest(folder, name);
        if (FindName(digest)) return;
        if ((names_.size() + 1) * 2 > nameSlots_.size()) GrowNames();
        names_.push_back(digest);
        Index(nameSlots_, NameHome(digest), static_cast<std::uint32_t>(names_.size() - 1));
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
    };
    // The serial numbers one second has used: their least, greatest and how many.
    struct Span {
        std::int32_t low, high;
        std::int64_t count;
        bool Unbroken() const { return count == std::int64_t{high} - low + 1; }
    };
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
    static constexpr std::size_t kInitialSlots = 64;  // a power of two, as every size after it

    // Two names agree in their digest by chance about once in 2^64 pairs; a
    // false match would only make a file take the next serial number.
    static std::uint64_t NameDigest(const std::string& folder, const std::string& name) {
        std::string place = folder;
        place += '\0';
        place += name;
        return std::hash<std::string>()(place);
    }
    static std::uint64_t Mix(std::uint64_t h) {
        h *= 0x9E3779B97F4A7C15ull;
        return h ^ (h >> 29);
    }
    static std::uint64_t KeyHome(std::int64_t seconds, std::int32_t serial) {
        return Mix(static_cast<std::uint64_t>(seconds) ^
                   static_cast<std::uint64_t>(static_cast<std::uint32_t>(serial)) * 0xC2B2AE3D27D4EB4Full);
    }
    static std::uint64_t NameHome(std::uint64_t digest) { return Mix(digest); }

    template <typename Same>
    static bool Find(const std::vector<std::uint32_t>& table, std::uint64_t home, Same same) {
        for (std::size_t i = home & (table.size() - 1);; i = (i + 1) & (table.size() - 1)) {
            if (table[i] == kEmpty) return false;
            if (same(table[i])) return true;
        }
    }
    bool FindName(std::uint64_t digest) const {
        return Find(nameSlots_, NameHome(digest), [&](std::uint32_t at) { return names_[at] == digest; });
    }
    static void Index(std::vector<std::uint32_t>& table, std::uint64_t home, std::uint32_t at) {
        std::size_t i = home & (table.size() - 1);
        while (table[i] != kEmpty) i = (i + 1) & (table.size() - 1);
        table[i] = at;
    }
    // An index doubles before it is more than half full.
    void GrowKeys() {
        keySlots_.assign(keySlots_.size() * 2, kEmpty);
        for (std::uint32_t at = 0; at < entries_.size(); ++at)
            Index(keySlots_, KeyHome(entries_[at].seconds, entries_[at].serial), at);
    }
    void GrowNames() {
        nameSlots_.assign(nameSlots_.size() * 2, kEmpty);
        for (std::uint32_t at = 0; at < names_.size(); ++at) Index(nameSlots_, NameHome(names_[at]), at);
    }

    std::vector<Entry> entries_;
    std::vector<std::uint64_t> names_;
    std::vector<std::uint32_t> keySlots_, nameSlots_;
    std::unordered_map<std::string, std::int32_t> settled_;
    std::unordered_map<std::int64_t, Span> spans_;
};

}  // namespace ravlen
