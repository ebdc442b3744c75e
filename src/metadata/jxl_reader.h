#pragma once
// JPEG XL: the ISO BMFF-style container ("JXL " signature box) whose Exif
// box, plain or Brotli-compressed in a brob box, holds the TIFF block; an
// xml box the XMP packet. A naked codestream carries no metadata.

#include <optional>
#include <string_view>

#include "metadata/read_view.h"
#include "metadata/reader_context.h"

namespace ravlen {

inline constexpr const char* kFormatJxl = "JPEG XL";

// The container's signature box, or a naked codestream's first two bytes.
std::optional<ByteOrder> DetectJxl(std::string_view head);

// Entered with the first 8 bytes read (Position 8). Walks the boxes,
// passing over the codestream unread, to the Exif box, whose TIFF block gives
// the TIFF fields and the EXIF dates; without an EXIF date, an xml box's XMP
// date serves.
void ReadJXLMetadata(ReadView& view, ReaderContext& ctx);

}  // namespace ravlen
