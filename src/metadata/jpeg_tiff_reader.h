#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "metadata/metadata_pass.h"
#include "metadata/read_view.h"
#include "metadata/reader_context.h"

namespace ravlen {

// Entered with the first 8 bytes read (Position 8) for a JPEG or TIFF file
// (facts.InternalFormat and, for TIFF, facts.TIFFByteAlign set). Fills the
// TIFF fields and the three EXIF dates. Restart when the file must be begun
// again: an out-of-sequence EXIF sub-directory, or a date string before IFD0
// that the forward read passed over, on a first pass. Throws MetadataFault on
// a pointer of 2^31 or more or an offset overflow.
MetadataOutcome ReadTIFFMetadata(ReadView& view, ReaderContext& ctx);

// A TIFF header and its directories already in memory (a container's Exif
// item or chunk, after any identifier such as "Exif\0\0"), whose first byte
// lies at file offset `at` (0 when it has none of its own). Fills the same
// fields and dates as for a TIFF file: TIFFOffset = at, the byte order, IFD0
// and sub-directory offsets (as file offsets) and entry counts, and leaves
// TIFFMetadata true only for a usable block; failures take the reader's
// usual notes and faults. Never asks for a restart: all bytes are at hand.
void ReadTIFFBlock(ReaderContext& ctx, ByteSpan block, std::int64_t at);

// A block that is the EXIF directory itself behind a TIFF header (a CR3's
// CMT2), at file offset `at`, read once IFD0 was (ReadTIFFBlock): its dates,
// the body serial number and the sub-directory's offset and entry count.
void ReadExifDirectoryBlock(ReaderContext& ctx, ByteSpan block, std::int64_t at);

// A camera's make, model or serial number as a file stores it: up to its
// first zero byte and at most 64 bytes, control characters as blanks, bytes
// that are no UTF-8 taken as Latin-1 (C1 controls as U+FFFD), the blanks
// around it dropped.
std::string CameraText(std::string_view bytes);

}  // namespace ravlen
