#include "cli/card_wait.h"

#include "app/cards/media_arrivals.h"
#include "cli/console_port.h"
#include "platform/mount_watch.h"

namespace ravlen {

bool WaitForCard(RunOptions& options, DriveList& drives, FileSystem& fs, UserPort& port, std::FILE* out) {
    // Watching first, then listing: a card mounted in between is not missed.
    MountTableWatch watch;
    if (!watch.Valid()) {
        std::fprintf(out, "The mount table cannot be watched: no camera card can be waited for.\n");
        return false;
    }
    MediaArrivals arrivals(drives);
    ConsolePort::CatchInterrupt();
    std::fprintf(out, "Waiting for a camera card (Ctrl+C to stop)...\n");
    std::fflush(out);
    // Short waits, so that Ctrl+C is seen even when it comes just before one.
    const auto changed = [&watch] {
        for (;;) {
            if (ConsolePort::Interrupted()) return false;
            switch (watch.Wait(200)) {
                case MountTableWatch::Event::Changed:
                    return true;
                case MountTableWatch::Event::Failed:
                    return false;
                case MountTableWatch::Event::TimedOut:
                    break;
            }
        }
    };
    if (!WaitForCameraCard(changed, arrivals, options, fs, port)) return false;
    std::fprintf(out, "Camera card found: %s\n", options.SourcePath.c_str());
    std::fflush(out);
    return true;
}

}  // namespace ravlen
