// The RAF header, its embedded JPEG's segments and the EXIF TIFF block.

#include "detection_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ravlen::fuzz::ReadThroughDetection(data, size, "DSCF0001.RAF");
    return 0;
}
