#include "app/devices/device_arrivals.h"

#include <algorithm>
#include <utility>

#include "platform/gphoto_link.h"

namespace ravlen {

namespace {

class GphotoLister final : public DeviceLister {
public:
    // The kernel's list where there is one: every USB device, each port asked
    // once, without loading libgphoto2's port drivers at every look.
    bool Ports(std::vector<std::string>& ports, std::string& error) override {
        return ListKernelUsbPorts(ports) || ListUsbPorts(ports, error);
    }
    std::vector<DeviceInfo> DevicesOn(const std::string& port) override { return DevicesOnPort(port); }
};

bool SameDevice(const DeviceInfo& a, const DeviceInfo& b) { return a.Model == b.Model && a.Port == b.Port; }

}  // namespace

std::shared_ptr<DeviceLister> GphotoDeviceLister() { return std::make_shared<GphotoLister>(); }

DeviceArrivals::Look DeviceArrivals::Perform(DeviceLister& lister, const Request& request) {
    Look look;
    look.serial = request.serial;
    std::string error;
    if (!lister.Ports(look.ports, error)) return look;
    look.ok = true;
    for (const std::string& port : look.ports) {
        if (request.asked.count(port)) continue;
        if (request.first || request.lastPorts.count(port)) look.found[port] = lister.DevicesOn(port);
    }
    return look;
}

bool DeviceArrivals::Due(Clock::time_point now) const {
    return !Held() && !underWay_ && (!begun_ || now - lastBegun_ >= kLookInterval);
}

DeviceArrivals::Request DeviceArrivals::Begin(Clock::time_point now) {
    underWay_ = begun_ = true;
    lastBegun_ = now;
    Request request;
    request.serial = ++begunSerial_;
    request.first = first_;
    request.lastPorts = lastPorts_;
    for (const auto& [port, devices] : known_) request.asked.insert(port);
    return request;
}

DeviceArrivals::Change DeviceArrivals::Take(const Look& look) {
    Change change;
    if (look.serial <= takenSerial_) return change;
    takenSerial_ = look.serial;
    underWay_ = look.serial != begunSerial_;
    if (!look.ok) return change;
    const std::set<std::string> now(look.ports.begin(), look.ports.end());
    for (auto it = known_.begin(); it != known_.end();) {
        if (now.count(it->first)) {
            ++it;
            continue;
        }
        change.gone.insert(change.gone.end(), it->second.begin(), it->second.end());
        it = known_.erase(it);
    }
    for (const auto& [port, devices] : look.found) {
        // Asked, but gone again before this look ended.
        if (!now.count(port) || known_.count(port)) continue;
        known_[port] = devices;
        if (!first_) change.arrived.insert(change.arrived.end(), devices.begin(), devices.end());
    }
    std::erase_if(offers_, [&change](const DeviceInfo& offered) {
        return std::any_of(change.gone.begin(), change.gone.end(),
                           [&offered](const DeviceInfo& gone) { return SameDevice(gone, offered); });
    });
    offers_.insert(offers_.end(), change.arrived.begin(), change.arrived.end());
    lastPorts_ = now;
    first_ = false;
    return change;
}

DeviceArrivals::Change DeviceArrivals::LookNow(DeviceLister& lister, Clock::time_point now) {
    return Take(Perform(lister, Begin(now)));
}

std::vector<DeviceInfo> DeviceArrivals::Present() const {
    std::vector<DeviceInfo> present;
    for (const auto& [port, devices] : known_) present.insert(present.end(), devices.begin(), devices.end());
    return present;
}

std::vector<DeviceInfo> DeviceArrivals::TakeOffers() {
    if (Held()) return {};
    return std::exchange(offers_, {});
}

}  // namespace ravlen
