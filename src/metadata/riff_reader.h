#pragma once
#include "metadata/read_view.h"
#include "metadata/reader_context.h"

namespace ravlen {

// Entered with the first 8 bytes read (Position 8). Fills RIFFMetadata,
// RIFFForm and the five RIFF dates. Throws MetadataFault on an arithmetic fault.
void ReadRIFFMetadata(ReadView& view, ReaderContext& ctx);

}  // namespace ravlen
