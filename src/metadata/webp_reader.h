#pragma once
#include "metadata/read_view.h"
#include "metadata/reader_context.h"

namespace ravlen {

// Entered with the first 8 or 12 bytes of a RIFF file of form "WEBP" read. Walks
// the chunks, passing over image data unread, to the EXIF chunk, whose TIFF
// block gives the TIFF fields and the EXIF dates.
void ReadWebPMetadata(ReadView& view, ReaderContext& ctx);

}  // namespace ravlen
