#pragma once
// The EXIF block that a container holds (a PNG eXIf chunk, a WebP EXIF
// chunk), read from the file and handed to the TIFF reader.

#include <cstdint>

#include "metadata/read_view.h"
#include "metadata/reader_context.h"

namespace ravlen {

// The note, after the file's name, for a container without an EXIF block.
inline constexpr const char* kNoExifBlock = " does not contain an EXIF block.";

// Reads the `length` bytes of the file that come next (at most their first
// 1 MiB, where the dates lie), passes over an "Exif\0\0" that some writers
// put first, and hands the TIFF block to ReadTIFFBlock. The buffer is cleared.
void ReadTIFFBlockHere(ReadView& view, std::uint64_t length, ReaderContext& ctx);

}  // namespace ravlen
