#include "app/devices/source_entries.h"

#include "app/devices/device_sources.h"
#include "model/version.h"
#include "platform/device_source.h"

namespace ravlen {

void SourceEntries::SetCards(const std::vector<DriveInfo>& cards) {
    cards_.clear();
    for (const DriveInfo& card : cards) cards_.push_back({card.MountPoint, card.MountPoint});
}

void SourceEntries::SetDevices(const std::vector<DeviceInfo>& devices) {
    devices_.clear();
    for (const DeviceInfo& device : devices) devices_.push_back({DeviceEntryText(device, devices), DeviceSourcePath(device)});
}

std::vector<SourceEntry> SourceEntries::Entries() const {
    std::vector<SourceEntry> entries = cards_;
    entries.insert(entries.end(), devices_.begin(), devices_.end());
    return entries;
}

std::string SourceEntries::Shown(const std::string& sourcePath) const {
    for (const SourceEntry& device : devices_)
        if (device.SourcePath == sourcePath) return device.Text;
    return sourcePath;
}

std::string SourceEntries::SourcePathOf(const std::string& shown) const {
    for (const SourceEntry& device : devices_)
        if (device.Text == shown) return device.SourcePath;
    return shown;
}

void ChooseSource(const SourceEntry& entry, RunOptions& options) {
    options.SourcePath = entry.SourcePath;
    options.ProcessSubfolders = ProcessSubfolders::Flatten;
}

std::string DeviceQuestion(const DeviceInfo& device) {
    return Version().ProductName + " has found a camera or phone on the USB port:\r\n\r\n\t" + DeviceEntryText(device) +
           "  (" + device.Port + ")\r\n\r\nSet Source Folder to this device?";
}

bool OfferArrivedDevice(bool ask, const std::vector<DeviceInfo>& arrived, RunOptions& options, UserPort& port) {
    for (const DeviceInfo& device : arrived) {
        const std::string path = DeviceSourcePath(device);
        if (path == options.SourcePath) continue;
        // Only the first one is offered, as only the first card is.
        if (ask && port.MessageBox(DeviceQuestion(device), MsgIcon::Question, MsgButtons::YesNo, Version().Title) !=
                       MsgAnswer::Yes)
            return false;
        ChooseSource({DeviceEntryText(device), path}, options);
        return true;
    }
    return false;
}

}  // namespace ravlen
