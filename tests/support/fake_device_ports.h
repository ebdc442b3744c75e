#pragma once
// USB ports as a test fills them, changed at will between looks; a look may
// come from the window's watching thread.

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/devices/device_arrivals.h"

namespace ravlen::test {

class FakeDevicePorts : public DeviceLister {
public:
    // Each port with the devices on it (none: a port that holds no camera).
    void Set(std::map<std::string, std::vector<DeviceInfo>> ports) {
        const std::lock_guard lock(mutex_);
        ports_ = std::move(ports);
    }
    void Fail(bool fail) {
        const std::lock_guard lock(mutex_);
        fail_ = fail;
    }
    // How often each port was asked which device it holds.
    std::map<std::string, int> Asked() {
        const std::lock_guard lock(mutex_);
        return asked_;
    }

    bool Ports(std::vector<std::string>& ports, std::string& error) override {
        const std::lock_guard lock(mutex_);
        ports.clear();
        if (fail_) {
            error = "no ports";
            return false;
        }
        for (const auto& [port, devices] : ports_) ports.push_back(port);
        return true;
    }
    std::vector<DeviceInfo> DevicesOn(const std::string& port) override {
        const std::lock_guard lock(mutex_);
        ++asked_[port];
        const auto it = ports_.find(port);
        return it == ports_.end() ? std::vector<DeviceInfo>{} : it->second;
    }

private:
    std::mutex mutex_;
    std::map<std::string, std::vector<DeviceInfo>> ports_;
    std::map<std::string, int> asked_;
    bool fail_ = false;
};

}  // namespace ravlen::test
