#pragma once
// What the source field offers besides a folder typed or browsed for: the
// camera cards mounted and the cameras and phones on the USB ports. A device
// is shown by its entry ("<model> (USB)") and stands for the SourcePath
// "camera:<model>@<port>", which is what the settings keep.

#include <string>
#include <vector>

#include "model/drive_list.h"
#include "model/run_options.h"
#include "model/user_port.h"
#include "platform/device_link.h"

namespace ravlen {

struct SourceEntry {
    std::string Text;        // as the list and the field show it
    std::string SourcePath;  // what choosing it sets
};

class SourceEntries {
public:
    void SetCards(const std::vector<DriveInfo>& cards);
    void SetDevices(const std::vector<DeviceInfo>& devices);
    // The cards, then the devices.
    std::vector<SourceEntry> Entries() const;

    // The field's text for a SourcePath: a listed device's entry; anything
    // else (a folder, a device no longer there) as it is.
    std::string Shown(const std::string& sourcePath) const;
    // The SourcePath for the field's text: back from a device's entry.
    std::string SourcePathOf(const std::string& shown) const;

private:
    std::vector<SourceEntry> cards_, devices_;
};

// Takes an entry as the source: like a card found, the pictures of every
// folder below it gathered into the output folder.
void ChooseSource(const SourceEntry& entry, RunOptions& options);

// The question put to the user about a device plugged in.
std::string DeviceQuestion(const DeviceInfo& device);

// Offers the first device among `arrived` that is not the source already, as
// a card mounted is offered (asked or not); true when the options took it.
bool OfferArrivedDevice(bool ask, const std::vector<DeviceInfo>& arrived, RunOptions& options, UserPort& port);

}  // namespace ravlen
