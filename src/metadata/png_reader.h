#pragma once
#include "metadata/read_view.h"
#include "metadata/reader_context.h"

namespace ravlen {

// Entered with the 8-byte PNG signature read (Position 8). Walks the chunks
// by their lengths, passing over image data unread, to the eXIf chunk, whose
// TIFF block gives the TIFF fields and the EXIF dates.
void ReadPNGMetadata(ReadView& view, ReaderContext& ctx);

}  // namespace ravlen
