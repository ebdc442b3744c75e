#pragma once
// A phone on a cable, in memory, for the tests of devices as sources.

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/device_link.h"

namespace ravlen::test {

// A phone on a cable, in memory: storages, folders and files, with partial
// reads or without, and the faults a real one has. It counts what it is asked.
struct FakeDevice : DeviceLink {
    std::map<std::string, std::string> files;  // device path -> bytes
    std::map<std::string, std::int64_t> times;
    bool partial = true, busy = false;
    int unplugAfterBytes = -1;     // the cable goes after this many bytes downloaded
    std::set<std::string> broken;  // files the device answers an error for
    std::map<std::string, std::uint64_t> asked;  // bytes asked by partial reads, per file
    std::map<std::string, int> downloads;
    std::vector<std::string> deleted;
    bool unplugged = false;
    std::int64_t sent = 0;

    static std::string Path(const std::string& folder, const std::string& name) {
        return folder == "/" ? "/" + name : folder + "/" + name;
    }
    DeviceStatus Check(const std::string& path) const {
        if (unplugged) return DeviceStatus::Fail(DeviceFault::Unplugged, "Could not find USB device");
        if (busy) return DeviceStatus::Fail(DeviceFault::Busy, "Could not claim the USB device");
        if (broken.count(path)) return DeviceStatus::Fail(DeviceFault::Failed, "PTP I/O error");
        return DeviceStatus::Ok();
    }
    DeviceStatus List(const std::string& folder, std::vector<DeviceEntry>& fileEntries,
                      std::vector<DeviceEntry>& folderEntries) override {
        if (DeviceStatus s = Check(""); !s) return s;
        const std::string prefix = folder == "/" ? "/" : folder + "/";
        std::set<std::string> subfolders;
        for (const auto& [path, bytes] : files) {
            if (path.rfind(prefix, 0) != 0) continue;
            const std::string rest = path.substr(prefix.size());
            if (const auto slash = rest.find('/'); slash != std::string::npos) subfolders.insert(rest.substr(0, slash));
            else fileEntries.push_back({rest, static_cast<std::int64_t>(bytes.size()), times[path]});
        }
        for (const std::string& name : subfolders) folderEntries.push_back({name});
        return DeviceStatus::Ok();
    }
    DeviceStatus Info(const std::string& folder, const std::string& name, DeviceEntry& entry) override {
        const std::string path = Path(folder, name);
        if (DeviceStatus s = Check(""); !s) return s;
        const auto it = files.find(path);
        if (it == files.end()) return DeviceStatus::Fail(DeviceFault::NoFile, "File not found");
        entry = {name, static_cast<std::int64_t>(it->second.size()), times[path]};
        return DeviceStatus::Ok();
    }
    DeviceStatus ReadPart(const std::string& folder, const std::string& name, std::uint64_t offset, char* buffer,
                          std::uint64_t& size) override {
        if (!partial) return DeviceStatus::Fail(DeviceFault::NotSupported, "Unsupported operation");
        const std::string path = Path(folder, name);
        if (DeviceStatus s = Check(path); !s) return s;
        const auto it = files.find(path);
        if (it == files.end()) return DeviceStatus::Fail(DeviceFault::NoFile, "File not found");
        asked[path] += size;
        size = offset >= it->second.size() ? 0 : std::min<std::uint64_t>(size, it->second.size() - offset);
        std::copy_n(it->second.data() + offset, size, buffer);
        return DeviceStatus::Ok();
    }
    DeviceStatus Download(const std::string& folder, const std::string& name, const Sink& sink) override {
        const std::string path = Path(folder, name);
        if (DeviceStatus s = Check(path); !s) return s;
        const auto it = files.find(path);
        if (it == files.end()) return DeviceStatus::Fail(DeviceFault::NoFile, "File not found");
        ++downloads[path];
        for (std::size_t at = 0; at < it->second.size(); at += 1000) {
            const std::size_t n = std::min<std::size_t>(1000, it->second.size() - at);
            if (unplugAfterBytes >= 0 && sent + static_cast<std::int64_t>(n) > unplugAfterBytes) {
                unplugged = true;
                return DeviceStatus::Fail(DeviceFault::Unplugged, "Could not find USB device");
            }
            sent += static_cast<std::int64_t>(n);
            if (!sink(it->second.data() + at, n)) return DeviceStatus::Fail(DeviceFault::Failed, "stopped");
        }
        return DeviceStatus::Ok();
    }
    DeviceStatus Delete(const std::string& folder, const std::string& name) override {
        const std::string path = Path(folder, name);
        if (DeviceStatus s = Check(path); !s) return s;
        if (!files.erase(path)) return DeviceStatus::Fail(DeviceFault::NoFile, "File not found");
        deleted.push_back(path);
        return DeviceStatus::Ok();
    }
};

}  // namespace ravlen::test
