#pragma once
// ravlen-run --devices: the cameras and phones on the USB ports.

namespace ravlen {

// One line per device on standard output (model, port, storages, number of
// files, tab-separated); why a device could not be looked into, on standard
// error. Exit status 0, 1 when the ports cannot be asked.
int PrintDevices();

}  // namespace ravlen
