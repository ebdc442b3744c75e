// libFuzzer target: ISO base media files (MP4/MOV movies, HEIF stills, CR3)
// through format detection; seeds and a dictionary of box types beside it.

#include "detection_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ravlen::fuzz::ReadThroughDetection(data, size, "IMG_0001.HEIC");
    return 0;
}
