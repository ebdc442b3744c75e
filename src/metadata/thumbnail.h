#pragma once
// The small JPEG picture that cameras embed in a file's EXIF (IFD1's
// JPEGInterchangeFormat and JPEGInterchangeFormatLength).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "metadata/read_view.h"
#include "model/file_system.h"

namespace ravlen {

// A thumbnail's bytes: where they start and how many.
struct ThumbnailSpan {
    std::int64_t offset = 0;
    std::int64_t length = 0;
    bool operator==(const ThumbnailSpan&) const = default;
};

// Thumbnails are a few KiB; anything larger is not one.
inline constexpr std::int64_t kMaxThumbnailBytes = 512 << 10;

// The thumbnail that IFD1 of a TIFF block (header at its first byte) names,
// as offsets from the block's start. Nothing when there is no IFD1, it names
// no thumbnail, an empty or oversized one, or the directories are cut off.
// The thumbnail's bytes may lie past the block's end.
std::optional<ThumbnailSpan> TiffThumbnail(ByteSpan tiff);

// The thumbnail's place in a file from the file's first bytes: in a JPEG's
// EXIF APP1 segment, or named by a TIFF file's (or TIFF-based raw's) IFD1.
std::optional<ThumbnailSpan> LocateThumbnail(std::string_view head);

// How much of a file's beginning is read to find its thumbnail: a JPEG's
// EXIF segment is at most 64 KiB.
inline constexpr std::int64_t kThumbnailHeadBytes = 128 << 10;

// The thumbnail's JPEG bytes from a file of `size` bytes opened at its
// start: at `known` when a reader has found it, else located from the
// file's first bytes. Empty when there is none, it does not begin as a
// JPEG, or the file cannot be read.
std::string ReadThumbnail(ReadStream& stream, std::int64_t size, std::optional<ThumbnailSpan> known);

}  // namespace ravlen
