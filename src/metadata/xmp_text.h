#pragma once
// The dates of an embedded XMP packet (a JPEG's XMP APP1, a PNG's iTXt, a
// WebP's XMP chunk, a JPEG XL's xml box): the last metadata source, used
// only when a file holds no EXIF date (screenshots, edited exports).

#include <string_view>

#include "model/file_facts.h"

namespace ravlen {

// The most of a packet looked at: the dates of every writer come in its
// first kilobytes; a longer packet is searched in this much of it.
inline constexpr std::size_t kMaxXmpPacket = 256 * 1024;

// The first of exif:DateTimeOriginal, xmp:CreateDate, photoshop:DateCreated
// that the packet states (as an attribute or an element, under these
// conventional prefixes), the time taken as written: facts.XMPDate, its tag
// in XMPDateTag and a zone it states in XMPUTCOffset (logged, not applied).
// A date alone ("2024-05-01") has no time of day. Nothing changes when the
// packet has none of them or facts already hold an XMP date.
void TakeXmpDate(std::string_view packet, FileFacts& facts);

// Whether the file gave any EXIF date: an XMP date then plays no part.
inline bool HasExifDate(const FileFacts& f) {
    return f.EXIFDateOriginal || f.EXIFDateDigitized || f.EXIFDateModified;
}

}  // namespace ravlen
