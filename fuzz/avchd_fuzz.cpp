// The transport packet walk of AVCHD movies and the MDPM block of their H.264 user data.

#include "detection_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ravlen::fuzz::ReadThroughDetection(data, size, "00001.MTS");
    return 0;
}
