#pragma once
// The cost of the window's progress and event processing over a pass: the
// same preview pass run through the window's own user port (progress window
// shown, throttled event processing) and through a port that does nothing.

#include <functional>
#include <string>

#include "model/user_port.h"

namespace ravlen::bench {

struct WindowCost {
    bool measured = false;
    std::string note;            // why nothing was measured, or on what screen
    double passSeconds = 0;      // the pass through the window's port
    double portSeconds = 0;      // of which inside the port's calls
    double quietPassSeconds = 0; // the same pass through a port that does nothing
    double quietPortSeconds = 0; // of which inside its calls (the cost of timing them)
    int pumps = 0;               // event processing runs that were not throttled away
    unsigned long long calls = 0;
};

// Runs `preview` (a preview pass of `files` files through the port it is
// given) with the window's port and with a quiet one, alternately, `repeat`
// times each, and keeps the fastest of each.
WindowCost MeasureWindow(const std::function<void(UserPort&)>& preview, int files, int repeat);

}  // namespace ravlen::bench
