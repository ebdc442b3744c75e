#pragma once
// Cameras and phones on a cable as a run's source: the one SourcePath names
// ("camera:<model>@<port>") opened for the run, and the devices listed.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/undo/undo_plan.h"
#include "model/file_system.h"
#include "platform/device_link.h"

namespace ravlen {

class DeviceSource;

// Opens the device a run's SourcePath names, and keeps it open for the run.
class DeviceOpener {
public:
    explicit DeviceOpener(FileSystem& disk);
    ~DeviceOpener();
    DeviceOpener(const DeviceOpener&) = delete;
    DeviceOpener& operator=(const DeviceOpener&) = delete;

    // The source for `sourcePath`: null with `refusal` empty when the path
    // names no device; null with `refusal` said when the device cannot be
    // opened. Files read before their copy wait in `outputPath` when it is
    // there. The device stays open until the next call.
    FileSource* Open(const std::string& sourcePath, const std::string& outputPath, std::string& refusal);

private:
    FileSystem& disk_;
    std::unique_ptr<DeviceLink> link_;
    std::unique_ptr<DeviceSource> source_;
};

// The devices an undo reaches by the source paths its runs named: the one on
// the named port or, since a port changes each time a device is plugged in,
// the one device of that model on another port. Each is opened once.
class CableDevices final : public UndoDevices {
public:
    explicit CableDevices(FileSystem& disk);
    ~CableDevices() override;
    CableDevices(const CableDevices&) = delete;
    CableDevices& operator=(const CableDevices&) = delete;
    DeviceSource* Reach(const std::string& top, std::string& why) override;

private:
    struct Reached {
        std::unique_ptr<DeviceLink> link;
        std::unique_ptr<DeviceSource> source;
        std::string why;
    };
    FileSystem& disk_;
    std::map<std::string, Reached> reached_;  // by top
};

// A device with what it holds, for --devices and the window's source list.
struct DeviceSummary {
    DeviceInfo device;
    int storages = 0;
    int files = 0;
    std::string error;  // why it could not be looked into; counts are then 0
};
// Every camera and phone on the USB ports, each looked into; `error` is set
// when the ports cannot be asked.
std::vector<DeviceSummary> SurveyDevices(std::string& error);
// One line: model, port, storages, number of files (tab-separated).
std::string DeviceLine(const DeviceSummary& summary);
// The source field's entry for a device: "<model> (USB)", or with its port
// ("<model> (USB 001,004)") where another of `listed` is of the same model.
std::string DeviceEntryText(const DeviceInfo& device, const std::vector<DeviceInfo>& listed = {});

}  // namespace ravlen
