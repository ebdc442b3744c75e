#pragma once
// ravlen-run --wait-for-card: the run's source is the next camera card
// mounted, or camera or phone plugged in.

#include <cstdio>

#include "model/drive_list.h"
#include "model/file_system.h"
#include "model/run_options.h"
#include "model/user_port.h"

namespace ravlen {

// Waits, telling `out` so, for a camera card mounted or a device plugged in
// from now on and makes it the source. False on Ctrl+C or when the mount table cannot be watched.
bool WaitForCard(RunOptions& options, DriveList& drives, FileSystem& fs, UserPort& port, std::FILE* out);

}  // namespace ravlen
