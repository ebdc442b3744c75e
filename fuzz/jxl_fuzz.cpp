// The JPEG XL box walk to the Exif box (plain or Brotli-compressed) and the xml box.

#include "detection_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ravlen::fuzz::ReadThroughDetection(data, size, "IMG_0001.JXL");
    return 0;
}
