#pragma once
#include "metadata/read_view.h"
#include "metadata/reader_context.h"

namespace ravlen {

// Entered with the first 8 bytes of a Fujifilm RAF file read (Position 8).
// The header points at an embedded JPEG; the TIFF block of that JPEG's EXIF
// APP1 segment gives the TIFF fields and the EXIF dates.
void ReadRAFMetadata(ReadView& view, ReaderContext& ctx);

}  // namespace ravlen
