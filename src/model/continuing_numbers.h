#pragma once
// The numbers that continue between imports (%q): each scope (for ever, a
// day of recording, a job code) counts from 1, a number goes to one file (or
// one shot) only, also with two runs at once, and a number not kept is given
// back only while no later one of its scope has been handed out.

#include <cstdint>
#include <string>

#include "model/date_time.h"
#include "model/run_options.h"

namespace ravlen {

class ContinuingNumbers {
public:
    virtual ~ContinuingNumbers() = default;
    // The next number of `scope`, held for this run until it is kept or given
    // back; 0 when the record cannot be written (the file is then not placed).
    virtual std::int64_t Take(const std::string& scope) = 0;
    // The file of a number taken is placed: the number is its own for good.
    virtual void Keep(const std::string& scope, std::int64_t number) = 0;
    // A number no file kept (never placed, or put back by an undo): it is
    // handed out again only when it is the last one of its scope.
    virtual void GiveBack(const std::string& scope, std::int64_t number) = 0;
    // The number the next Take would give, taking nothing: a preview's.
    virtual std::int64_t Next(const std::string& scope) = 0;
};

// The scope of a file's number: "all" for ever, "day yyyy-mm-dd" of its
// recording, or "job " and the job code.
inline std::string NumberScope(SequenceScope scope, const DateTime& recorded, const std::string& jobCode) {
    switch (scope) {
    case SequenceScope::PerDay: return "day " + recorded.Format("yyyy-mm-dd");
    case SequenceScope::PerJob: return "job " + jobCode;
    case SequenceScope::Forever: break;
    }
    return "all";
}

}  // namespace ravlen
