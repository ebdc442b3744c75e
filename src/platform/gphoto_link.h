#pragma once
// Devices through libgphoto2: the cameras and phones on the USB ports, and
// one opened as a DeviceLink. Nothing else in the program calls libgphoto2.

#include <memory>
#include <string>
#include <vector>

#include "platform/device_link.h"

namespace ravlen {

// The cameras and phones libgphoto2 finds on the USB ports (mounted cards,
// its disk: ports, are listed as cards already). `error` is set when the
// ports cannot be asked at all.
std::vector<DeviceInfo> FindDevices(std::string& error);

// The USB ports that hold something now ("usb:001,004"), without asking any
// device: cheap enough to be done every few seconds. False with `error` set
// when the ports cannot be listed.
bool ListUsbPorts(std::vector<std::string>& ports, std::string& error);
// The same, from the kernel's list of USB devices under `root` (sysfs), as
// libgphoto2 names their ports: hubs and other devices too, but without
// loading its port drivers (which leaks a little inside libgphoto2 at each
// load). False when the kernel's list is not there.
bool ListKernelUsbPorts(std::vector<std::string>& ports, const std::string& root = "/sys/bus/usb/devices");
// The cameras and phones libgphoto2 knows on that one port (none for a port
// that holds no camera). Any port it knows, a disk: one too.
std::vector<DeviceInfo> DevicesOnPort(const std::string& port);

// The device of that model on that port (any port libgphoto2 knows, such as
// "usb:001,004" or, for its Directory Browse camera, "disk:/a/folder"), or
// null with `status` failed.
std::unique_ptr<DeviceLink> OpenDevice(const DeviceInfo& device, DeviceStatus& status);

}  // namespace ravlen
