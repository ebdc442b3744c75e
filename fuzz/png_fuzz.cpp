// The PNG chunk walk to the eXIf chunk and its TIFF block.

#include "detection_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ravlen::fuzz::ReadThroughDetection(data, size, "IMG_0001.PNG");
    return 0;
}
