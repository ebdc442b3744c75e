#include "app/devices/device_sources.h"

#include <algorithm>

#include "platform/device_source.h"
#include "platform/gphoto_link.h"

namespace ravlen {

DeviceOpener::DeviceOpener(FileSystem& disk) : disk_(disk) {}
DeviceOpener::~DeviceOpener() = default;

FileSource* DeviceOpener::Open(const std::string& sourcePath, const std::string& outputPath, std::string& refusal) {
    refusal.clear();
    source_.reset();
    link_.reset();
    if (!IsDeviceSourcePath(sourcePath)) return nullptr;
    const std::optional<DeviceInfo> device = ParseDeviceSourcePath(sourcePath);
    if (!device) {
        refusal = "The source " + sourcePath + " names no device: it is written camera:<model>@<port>.";
        return nullptr;
    }
    DeviceStatus status;
    link_ = OpenDevice(*device, status);
    if (!link_) {
        refusal = DeviceOpenMessage(*device, status);
        return nullptr;
    }
    source_ = std::make_unique<DeviceSource>(*link_, disk_, sourcePath);
    if (!outputPath.empty() && disk_.FolderExists(outputPath)) source_->SetScratchFolder(outputPath);
    return source_.get();
}

CableDevices::CableDevices(FileSystem& disk) : disk_(disk) {}
CableDevices::~CableDevices() = default;

DeviceSource* CableDevices::Reach(const std::string& top, std::string& why) {
    auto [at, added] = reached_.try_emplace(top);
    Reached& reached = at->second;
    if (added) {
        const std::optional<DeviceInfo> device = ParseDeviceSourcePath(top);
        if (!device) {
            reached.why = "the source " + top + " names no device";
        } else {
            DeviceStatus status;
            reached.link = OpenDevice(*device, status);
            if (!reached.link && status.fault == DeviceFault::Unplugged) {
                std::string error;
                std::vector<DeviceInfo> same;
                for (const DeviceInfo& found : FindDevices(error))
                    if (found.Model == device->Model) same.push_back(found);
                if (same.size() == 1) reached.link = OpenDevice(same.front(), status);
            }
            // Named under the run's path whatever port it answers on now.
            if (reached.link) reached.source = std::make_unique<DeviceSource>(*reached.link, disk_, top);
            else reached.why = DeviceOpenMessage(*device, status);
        }
    }
    why = reached.why;
    return reached.source.get();
}

namespace {

// Storages and files below `folder` on the device, every folder walked.
void Count(DeviceLink& link, const std::string& folder, DeviceSummary& summary, int depth) {
    std::vector<DeviceEntry> files, folders;
    if (depth > 32 || !link.List(folder, files, folders)) return;
    if (folder == "/") summary.storages = static_cast<int>(folders.size());
    summary.files += static_cast<int>(files.size());
    for (const DeviceEntry& sub : folders) Count(link, (folder == "/" ? "/" : folder + "/") + sub.Name, summary, depth + 1);
}

}  // namespace

std::vector<DeviceSummary> SurveyDevices(std::string& error) {
    std::vector<DeviceSummary> summaries;
    for (const DeviceInfo& device : FindDevices(error)) {
        DeviceSummary summary;
        summary.device = device;
        DeviceStatus status;
        if (const std::unique_ptr<DeviceLink> link = OpenDevice(device, status)) Count(*link, "/", summary, 0);
        else summary.error = DeviceOpenMessage(device, status);
        summaries.push_back(std::move(summary));
    }
    return summaries;
}

std::string DeviceLine(const DeviceSummary& summary) {
    return summary.device.Model + "\t" + summary.device.Port + "\t" + std::to_string(summary.storages) + "\t" +
           std::to_string(summary.files);
}

std::string DeviceEntryText(const DeviceInfo& device, const std::vector<DeviceInfo>& listed) {
    constexpr std::string_view kUsb = "usb:";
    const bool usb = device.Port.rfind(kUsb, 0) == 0;
    const bool twin = std::any_of(listed.begin(), listed.end(), [&device](const DeviceInfo& other) {
        return other.Model == device.Model && other.Port != device.Port;
    });
    if (!usb) return device.Model + " (" + device.Port + ")";
    return device.Model + (twin ? " (USB " + device.Port.substr(kUsb.size()) + ")" : " (USB)");
}

}  // namespace ravlen
