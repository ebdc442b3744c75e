#pragma once
// Cameras and phones plugged in or taken away while the program waits: the
// ports are listed every few seconds while nothing else uses the devices, and
// only a port new since the last look is asked which device it holds. A look
// runs on any thread from a copy of what it needs (Begin, Perform); its
// answer is taken where the watch lives (Take).

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/device_link.h"

namespace ravlen {

// Where the devices are found: libgphoto2 (GphotoDeviceLister), or a test's
// stand-in.
class DeviceLister {
public:
    virtual ~DeviceLister() = default;
    // The ports that hold something now; false with `error` when they
    // cannot be listed.
    virtual bool Ports(std::vector<std::string>& ports, std::string& error) = 0;
    // The devices on one port; none for a port that holds no camera.
    virtual std::vector<DeviceInfo> DevicesOn(const std::string& port) = 0;
};

std::shared_ptr<DeviceLister> GphotoDeviceLister();

class DeviceArrivals {
public:
    using Clock = std::chrono::steady_clock;
    // The least time from one look to the next.
    static constexpr Clock::duration kLookInterval = std::chrono::seconds(2);

    // What a look needs to know: the ports the last look saw, and those
    // already asked. The first look asks every port.
    struct Request {
        std::uint64_t serial = 0;
        bool first = true;
        std::set<std::string> lastPorts, asked;
    };
    struct Look {
        std::uint64_t serial = 0;  // the request's
        bool ok = false;
        std::vector<std::string> ports;
        std::map<std::string, std::vector<DeviceInfo>> found;  // by port, for the ports asked
    };
    struct Change {
        std::vector<DeviceInfo> arrived, gone;
        bool Any() const { return !arrived.empty() || !gone.empty(); }
    };

    // Lists the ports and asks the ones that have settled: a port new since
    // the last look is asked only once a second look still sees it, so that a
    // device still starting up (or a phone switching its USB mode) is not
    // taken for one that stays.
    static Look Perform(DeviceLister& lister, const Request& request);

    // Devices are used by a run or a dialog: no look begins, and what arrived
    // meanwhile is offered after the last Release.
    void Hold() { ++holds_; }
    void Release() {
        if (holds_ > 0) --holds_;
    }
    bool Held() const { return holds_ > 0; }

    // Idle, no look under way, and the interval gone since the last one began.
    bool Due(Clock::time_point now) const;
    Request Begin(Clock::time_point now);
    // The devices of the first look are there from the start: none of them
    // arrived. A look that failed, or that began before the last one taken,
    // changes nothing.
    Change Take(const Look& look);
    // Looks at once, here: Begin, Perform and Take.
    Change LookNow(DeviceLister& lister, Clock::time_point now);

    // The devices there now, in the order of their ports.
    std::vector<DeviceInfo> Present() const;
    // The devices arrived since the last call that are still there; none while
    // held.
    std::vector<DeviceInfo> TakeOffers();

private:
    std::map<std::string, std::vector<DeviceInfo>> known_;  // every port asked and still there
    std::set<std::string> lastPorts_;
    std::vector<DeviceInfo> offers_;
    Clock::time_point lastBegun_{};
    std::uint64_t begunSerial_ = 0, takenSerial_ = 0;
    bool first_ = true, underWay_ = false, begun_ = false;
    int holds_ = 0;
};

}  // namespace ravlen
