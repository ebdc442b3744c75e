#include "app/cards/media_arrivals.h"

#include <exception>

#include "app/cards/camera_media.h"
#include "app/devices/source_entries.h"

namespace ravlen {

MediaArrivals::MediaArrivals(DriveList& drives) : drives_(drives) {
    for (const DriveInfo& drive : Ready()) seen_.insert(drive.MountPoint);
}

std::vector<DriveInfo> MediaArrivals::Ready() {
    std::vector<DriveInfo> ready;
    try {
        for (DriveInfo& drive : drives_.Drives())
            if (drive.Ready && !drive.MountPoint.empty()) ready.push_back(std::move(drive));
    } catch (const std::exception&) {
        // An unreadable mount table shows nothing new; the next change tries again.
    }
    return ready;
}

std::vector<DriveInfo> MediaArrivals::Arrived() {
    std::vector<DriveInfo> arrived;
    std::set<std::string> now;
    for (DriveInfo& drive : Ready()) {
        now.insert(drive.MountPoint);
        if (!seen_.count(drive.MountPoint)) arrived.push_back(std::move(drive));
    }
    seen_ = std::move(now);
    return arrived;
}

bool OfferArrivedCard(bool ask, const std::vector<DriveInfo>& arrived, RunOptions& options, FileSystem& fs,
                      UserPort& port) {
    if (arrived.empty()) return false;
    ListedDrives drives(arrived);
    const std::string before = options.SourcePath;
    DetectCameraMedia(ask, options, drives, fs, port);
    return options.SourcePath != before;
}

bool WaitForCameraCard(const std::function<bool()>& waitForChange, MediaArrivals& arrivals, RunOptions& options,
                       FileSystem& fs, UserPort& port) {
    // A card at the folder that was the source last time is still new here.
    RunOptions found = options;
    found.SourcePath.clear();
    while (waitForChange()) {
        if (!OfferArrivedCard(false, arrivals.Arrived(), found, fs, port)) continue;
        options.SourcePath = found.SourcePath;
        options.ProcessSubfolders = found.ProcessSubfolders;
        return true;
    }
    return false;
}

bool WaitForCardOrDevice(const std::function<WaitWake()>& wake, MediaArrivals& cards, DeviceWait devices,
                         RunOptions& options, FileSystem& fs, UserPort& port) {
    RunOptions found = options;
    found.SourcePath.clear();
    const auto take = [&options, &found] {
        options.SourcePath = found.SourcePath;
        options.ProcessSubfolders = found.ProcessSubfolders;
        return true;
    };
    if (devices.arrivals.Due(devices.now())) devices.arrivals.LookNow(devices.lister, devices.now());
    for (;;) {
        const WaitWake woke = wake();
        if (woke == WaitWake::Stop) return false;
        if (woke == WaitWake::MountsChanged && OfferArrivedCard(false, cards.Arrived(), found, fs, port)) return take();
        if (!devices.arrivals.Due(devices.now())) continue;
        devices.arrivals.LookNow(devices.lister, devices.now());
        if (OfferArrivedDevice(false, devices.arrivals.TakeOffers(), found, port)) return take();
    }
}

}  // namespace ravlen
