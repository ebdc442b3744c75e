#include "metadata/thumbnail.h"

#include <algorithm>

namespace ravlen {
namespace {

constexpr std::uint32_t kTagJpegOffset = 0x0201;  // JPEGInterchangeFormat
constexpr std::uint32_t kTagJpegLength = 0x0202;  // JPEGInterchangeFormatLength
constexpr std::uint32_t kTypeShort = 3;
constexpr std::uint64_t kEntrySize = 12;
constexpr std::string_view kJpegStart("\xFF\xD8", 2);
constexpr std::string_view kExifId("Exif\0\0", 6);

ByteOrder OrderOf(ByteSpan tiff) {
    const auto signature = tiff.Bytes(0, 4);
    if (signature == std::string_view("II\x2A\0", 4)) return ByteOrder::Intel;
    if (signature == std::string_view("MM\0\x2A", 4)) return ByteOrder::Motorola;
    return ByteOrder::Unknown;
}

// An entry's value: a SHORT in its first two bytes, else a LONG.
std::optional<std::uint32_t> EntryValue(ByteSpan tiff, std::uint64_t entry, ByteOrder order) {
    const auto type = tiff.U16(entry + 2, order);
    if (!type) return std::nullopt;
    return *type == kTypeShort ? tiff.U16(entry + 8, order) : tiff.U32(entry + 8, order);
}

}  // namespace

std::optional<ThumbnailSpan> TiffThumbnail(ByteSpan tiff) {
    const ByteOrder order = OrderOf(tiff);
    if (order == ByteOrder::Unknown) return std::nullopt;
    const auto ifd0 = tiff.U32(4, order);
    if (!ifd0) return std::nullopt;
    const auto count0 = tiff.U16(*ifd0, order);
    if (!count0) return std::nullopt;
    // Each read below is checked, so a directory's count cannot reach past the block.
    const auto ifd1 = tiff.U32(std::uint64_t{*ifd0} + 2 + *count0 * kEntrySize, order);
    if (!ifd1 || *ifd1 < 8) return std::nullopt;
    const auto count1 = tiff.U16(*ifd1, order);
    if (!count1) return std::nullopt;
    std::optional<std::uint32_t> offset, length;
    for (std::uint64_t i = 0; i < *count1; ++i) {
        const std::uint64_t entry = std::uint64_t{*ifd1} + 2 + i * kEntrySize;
        const auto tag = tiff.U16(entry, order);
        if (!tag) return std::nullopt;
        if (*tag == kTagJpegOffset) offset = EntryValue(tiff, entry, order);
        else if (*tag == kTagJpegLength) length = EntryValue(tiff, entry, order);
    }
    if (!offset || !length || *offset < 8 || *length == 0 || *length > kMaxThumbnailBytes) return std::nullopt;
    return ThumbnailSpan{*offset, *length};
}

std::optional<ThumbnailSpan> LocateThumbnail(std::string_view head) {
    const ByteSpan bytes(head);
    if (OrderOf(bytes) != ByteOrder::Unknown) return TiffThumbnail(bytes);
    if (bytes.Bytes(0, 2) != kJpegStart) return std::nullopt;
    // The segments before the image data; the thumbnail lies inside the EXIF one.
    for (std::uint64_t at = 2;;) {
        const auto marker = bytes.Byte(at), type = bytes.Byte(at + 1);
        const auto length = bytes.U16(at + 2, ByteOrder::Motorola);
        if (!marker || *marker != 0xFF || !type || *type == 0xDA || *type == 0xD9 || !length || *length < 2)
            return std::nullopt;
        const std::uint64_t end = at + 2 + *length;
        const std::uint64_t tiff = at + 4 + kExifId.size(), held = std::min<std::uint64_t>(end, bytes.size());
        if (*type == 0xE1 && tiff < held && bytes.Bytes(at + 4, kExifId.size()) == kExifId) {
            const auto span = TiffThumbnail(*bytes.Sub(tiff, held - tiff));
            if (span && static_cast<std::uint64_t>(span->offset + span->length) <= end - tiff)
                return ThumbnailSpan{static_cast<std::int64_t>(tiff) + span->offset, span->length};
        }
        at = end;
    }
}

std::string ReadThumbnail(ReadStream& stream, std::int64_t size, std::optional<ThumbnailSpan> known) {
    if (size <= 0) return {};
    ReadView view(stream, nullptr, size, kThumbnailHeadBytes + kMaxThumbnailBytes);
    const std::int64_t head = std::min(size, kThumbnailHeadBytes);
    if (!known || known->offset < head) {
        if (!view.Read(static_cast<std::uint64_t>(head))) return {};
        if (!known) known = LocateThumbnail(view.Buffer());
    }
    if (!known || known->offset < 0 || known->length <= 0 || known->length > kMaxThumbnailBytes ||
        known->offset > size - known->length)
        return {};
    // Past the first bytes: go forward to it and read only it.
    std::uint64_t at = static_cast<std::uint64_t>(known->offset);
    if (known->offset >= view.Position()) {
        view.ClearBuffer();
        if (!view.Skip(at - static_cast<std::uint64_t>(view.Position()))) return {};
        at = 0;
    }
    const std::uint64_t length = static_cast<std::uint64_t>(known->length);
    if (!view.Has(at, length) && !view.Read(at + length - view.BufferSize())) return {};
    const auto bytes = view.Bytes(at, length);
    if (!bytes || bytes->substr(0, 2) != kJpegStart) return {};
    return std::string(*bytes);
}

}  // namespace ravlen
