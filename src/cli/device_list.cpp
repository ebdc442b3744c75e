#include "cli/device_list.h"

#include <cstdio>

#include "app/devices/device_sources.h"

namespace ravlen {

int PrintDevices() {
    std::string error;
    const std::vector<DeviceSummary> devices = SurveyDevices(error);
    if (!error.empty()) {
        std::fprintf(stderr, "The USB ports cannot be asked for devices: %s\n", error.c_str());
        return 1;
    }
    for (const DeviceSummary& summary : devices) {
        std::printf("%s\n", DeviceLine(summary).c_str());
        if (!summary.error.empty()) std::fprintf(stderr, "%s\n", summary.error.c_str());
    }
    return 0;
}

}  // namespace ravlen
