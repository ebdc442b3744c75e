#pragma once
#include <cstdint>

#include "metadata/metadata_pass.h"
#include "metadata/read_view.h"
#include "metadata/reader_context.h"

namespace ravlen {

// The largest CIFF file read into memory for its heap walk; a larger one
// ends the read with an out-of-memory fault.
inline constexpr std::uint64_t kMaxCIFFFileSize = 64ull << 20;

// Entered with the first 8 bytes read (Position 8) and facts.TIFFByteAlign set.
// Fills CIFFMetadata, CIFFSubType and CIFFCapturedDate. Throws MetadataFault
// on an arithmetic fault. Reads the file's last bytes, and asks for a restart
// (then reading the file whole) when the date's heap lies before them.
MetadataOutcome ReadCIFFMetadata(ReadView& view, ReaderContext& ctx);

}  // namespace ravlen
