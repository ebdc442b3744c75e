#pragma once
// Camera cards mounted while the program runs: the drives that are new since
// the last look, offered with the same question and rules as at start.

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/devices/device_arrivals.h"
#include "model/drive_list.h"
#include "model/file_system.h"
#include "model/run_options.h"
#include "model/user_port.h"

namespace ravlen {

// A drive list that holds the drives it was given.
class ListedDrives : public DriveList {
public:
    explicit ListedDrives(std::vector<DriveInfo> drives) : drives_(std::move(drives)) {}
    std::vector<DriveInfo> Drives() override { return drives_; }

private:
    std::vector<DriveInfo> drives_;
};

class MediaArrivals {
public:
    // What is mounted now counts as seen.
    explicit MediaArrivals(DriveList& drives);

    // The ready drives mounted since the last call. A drive unmounted since is
    // forgotten, so that a card put back is new again; one not ready yet is
    // looked at again next time.
    std::vector<DriveInfo> Arrived();

private:
    std::vector<DriveInfo> Ready();

    DriveList& drives_;
    std::set<std::string> seen_;
};

// Offers a camera card among `arrived` as DetectCameraMedia does at start;
// true when the options took it as the source.
bool OfferArrivedCard(bool ask, const std::vector<DriveInfo>& arrived, RunOptions& options, FileSystem& fs,
                      UserPort& port);

// Waits for a camera card mounted from now on and takes it as the source
// without asking, whatever the source was. `waitForChange` returns when the
// mount table may have changed, false when the wait is to end (Ctrl+C).
bool WaitForCameraCard(const std::function<bool()>& waitForChange, MediaArrivals& arrivals, RunOptions& options,
                       FileSystem& fs, UserPort& port);

// What ended one step of a wait.
enum class WaitWake { MountsChanged, TimePassed, Stop };

// The devices a wait looks at, each time a look is due.
struct DeviceWait {
    DeviceArrivals& arrivals;
    DeviceLister& lister;
    std::function<DeviceArrivals::Clock::time_point()> now = &DeviceArrivals::Clock::now;
};

// Waits as WaitForCameraCard does, for a camera card mounted or a camera or
// phone plugged in from now on, whichever comes first; the devices on the
// ports at the start count as there before. `wake` returns after a short
// while when nothing happened, so that the ports are looked at in time.
bool WaitForCardOrDevice(const std::function<WaitWake()>& wake, MediaArrivals& cards, DeviceWait devices,
                         RunOptions& options, FileSystem& fs, UserPort& port);

}  // namespace ravlen
