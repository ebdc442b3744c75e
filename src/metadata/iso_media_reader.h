#pragma once
// ISO base media files (ISO/IEC 14496-12 and QuickTime): MP4/MOV/M4V/3GP/3G2
// movies, HEIF stills (HEIC/HEIF/HIF/AVIF) and Canon CR3 raws.

#include <optional>
#include <string_view>

#include "metadata/metadata_pass.h"
#include "metadata/read_view.h"
#include "metadata/reader_context.h"

namespace ravlen {

// The InternalFormat values of the family, refined from the file type box.
inline constexpr const char* kFormatIsoMedia = "ISOMedia";
inline constexpr const char* kFormatHeif = "HEIF";
inline constexpr const char* kFormatCr3 = "CR3";

// The byte order (none: Unknown) when the file's first bytes are the header
// of a box that such a file starts with (ftyp, moov, mdat, free, skip, wide,
// pnot); empty otherwise.
std::optional<ByteOrder> DetectIsoMedia(std::string_view head);

// Entered with the first 8 bytes read (Position 8). Movies fill the movie
// fields (MovieMetadata, MovieDate, MovieDateSource, MovieUTCOffset); HEIF
// and CR3 hand their EXIF blocks to the TIFF block reader. Media data and
// sample tables are skipped, never read. What lies before the box that
// places it (a HEIF Exif or XMP item before the meta box, a GoPro movie's
// GPMF sample before the movie box) is read after going back to it; where
// the stream cannot go back, Restart (once: its place is kept in the pass).
// Throws MetadataFault on a read failure.
MetadataOutcome ReadIsoMediaMetadata(ReadView& view, ReaderContext& ctx);

}  // namespace ravlen
