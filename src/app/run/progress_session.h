#pragma once
// The progress window of one pass over files, for as long as the pass lasts.

#include <string>

#include "model/user_port.h"

namespace ravlen {

// Shows the progress window at 0 of `total` with its Stop button, the main
// window disabled and the busy cursor on; undoes all of it when it goes,
// however the pass ends.
class ProgressSession {
public:
    ProgressSession(UserPort& port, const std::string& title, int total);
    ~ProgressSession();
    ProgressSession(const ProgressSession&) = delete;
    ProgressSession& operator=(const ProgressSession&) = delete;

    // Shows `done` of the total and lets the window draw; false once Stop was pressed.
    bool Advance(int done);

private:
    UserPort& port_;
    int total_;
};

}  // namespace ravlen
