#pragma once
// A camera or phone on a cable, as the program needs it: folders and files
// listed with their sizes and times, a file read in part or downloaded whole,
// and deleted. libgphoto2 answers it (gphoto_link.h); tests put a fake device
// or a fault-injecting layer in its place.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ravlen {

// What went wrong on the device, as the program acts on it.
enum class DeviceFault : std::uint8_t {
    None,
    Busy,          // another program holds the device (on GNOME, gvfs takes it when plugged in)
    Unplugged,     // the device is no longer on the cable
    NoFile,        // no such file or folder on the device
    NotSupported,  // the device does not do that (a partial read)
    Failed,        // anything else the device answered
};

struct DeviceStatus {
    DeviceFault fault = DeviceFault::None;
    std::string error;  // the device's (or libgphoto2's) own text
    bool ok() const { return fault == DeviceFault::None; }
    explicit operator bool() const { return ok(); }
    static DeviceStatus Ok() { return {}; }
    static DeviceStatus Fail(DeviceFault fault, std::string error) { return {fault, std::move(error)}; }
};

// A file or folder on the device. Folders have no size nor time.
struct DeviceEntry {
    std::string Name;
    std::int64_t Size = 0;
    std::int64_t Modified = 0;  // seconds since 1970 UTC as the device tells; 0 when it does not
};

// A device found on a port.
struct DeviceInfo {
    std::string Model, Port;
};

class DeviceLink {
public:
    virtual ~DeviceLink() = default;
    // `folder` is a folder path on the device ("/" for its top, whose
    // folders are a phone's storages).
    virtual DeviceStatus List(const std::string& folder, std::vector<DeviceEntry>& files,
                              std::vector<DeviceEntry>& folders) = 0;
    virtual DeviceStatus Info(const std::string& folder, const std::string& name, DeviceEntry& entry) = 0;
    // Up to `size` bytes from `offset` into `buffer`; `size` becomes the count
    // read. NotSupported where the device has no partial reads.
    virtual DeviceStatus ReadPart(const std::string& folder, const std::string& name, std::uint64_t offset,
                                  char* buffer, std::uint64_t& size) = 0;
    // The whole file, pushed in order through `sink`; a false from the sink
    // stops the download.
    using Sink = std::function<bool(const char* bytes, std::size_t n)>;
    virtual DeviceStatus Download(const std::string& folder, const std::string& name, const Sink& sink) = 0;
    virtual DeviceStatus Delete(const std::string& folder, const std::string& name) = 0;
};

}  // namespace ravlen
