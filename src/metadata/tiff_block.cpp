#include "metadata/tiff_block.h"

#include <algorithm>
#include <string_view>

#include "metadata/jpeg_tiff_reader.h"
#include "metadata/metadata_fault.h"

namespace ravlen {
namespace {

constexpr std::string_view kExifPrefix("Exif\0\0", 6);
// The most of a container's EXIF block held in memory: the dates lie at the
// TIFF block's start, and cameras keep EXIF within a JPEG segment's 64 KiB.
constexpr std::uint64_t kMaxHeld = 1u << 20;

}  // namespace

void ReadTIFFBlockHere(ReadView& view, std::uint64_t length, ReaderContext& ctx) {
    const std::uint64_t held = std::min(length, kMaxHeld);
    std::int64_t at = view.Position();
    view.ClearBuffer();
    Require(view.Read(held));
    std::string_view block = *view.Bytes(0, held);
    if (block.substr(0, kExifPrefix.size()) == kExifPrefix) {
        block.remove_prefix(kExifPrefix.size());
        at += static_cast<std::int64_t>(kExifPrefix.size());
    }
    ReadTIFFBlock(ctx, ByteSpan(block), at);
    view.ClearBuffer();
}

}  // namespace ravlen
