#pragma once
// The run-wide list of produced names: "|" then one key and one "|" per file
// placed so far. A hash set beside the text keeps the duplicate test constant
// time however long the run grows.

#include <string>
#include <unordered_set>

#include "model/date_time.h"

namespace ravlen {

class ChronologyList {
public:
    ChronologyList() { Reset(); }
    void Reset() {
        text_ = "|";
        keys_.clear();
    }
    bool Contains(const std::string& key) const { return keys_.count(key) != 0; }
    void Append(const std::string& key) {
        text_ += key;
        text_ += '|';
        keys_.insert(key);
    }
    const std::string& Text() const { return text_; }

    // "yyyymmddhhnnss#serial"
    static std::string Key(const DateTime& timestamp, int serialNumber) {
        return timestamp.Format("yyyymmddhhnnss") + "#" + std::to_string(serialNumber);
    }

private:
    std::string text_;
    std::unordered_set<std::string> keys_;
};

}  // namespace ravlen
