#include "cli/card_wait.h"

#include "app/cards/media_arrivals.h"
#include "cli/console_port.h"
#include "platform/device_source.h"
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
    DeviceArrivals devices;
    const std::shared_ptr<DeviceLister> lister = GphotoDeviceLister();
    ConsolePort::CatchInterrupt();
    std::fprintf(out, "Waiting for a camera card or a camera or phone on USB (Ctrl+C to stop)...\n");
    std::fflush(out);
    // Short waits, so that Ctrl+C is seen even when it comes just before one,
    // and the USB ports are looked at in time.
    const auto wake = [&watch] {
        if (ConsolePort::Interrupted()) return WaitWake::Stop;
        switch (watch.Wait(200)) {
            case MountTableWatch::Event::Changed:
                return WaitWake::MountsChanged;
            case MountTableWatch::Event::Failed:
                return WaitWake::Stop;
            case MountTableWatch::Event::TimedOut:
                break;
        }
        return ConsolePort::Interrupted() ? WaitWake::Stop : WaitWake::TimePassed;
    };
    if (!WaitForCardOrDevice(wake, arrivals, {devices, *lister}, options, fs, port)) return false;
    if (IsDeviceSourcePath(options.SourcePath))
        std::fprintf(out, "Camera or phone found: %s\n", options.SourcePath.c_str());
    else
        std::fprintf(out, "Camera card found: %s\n", options.SourcePath.c_str());
    std::fflush(out);
    return true;
}

}  // namespace ravlen
