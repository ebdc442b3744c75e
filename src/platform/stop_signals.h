#pragma once
// Ctrl+C, a closed terminal (SIGHUP) and a logout or `kill` (SIGTERM) all ask
// the run to stop the way the Stop button does: after the current file, with
// the logs closed. A second signal changes nothing; SIGKILL is the way out.

namespace ravlen {

// Catches SIGINT, SIGTERM and SIGHUP from now on. Interrupted system calls
// restart, so a stop request never makes a copy fail half-way.
void CatchStopSignals();

// Whether one of them has arrived.
bool StopSignalled();

// A descriptor that becomes readable when the first of them arrives, for an
// event loop to watch; -1 before CatchStopSignals.
int StopSignalDescriptor();

}  // namespace ravlen
