#include "metadata/raf_reader.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

#include "metadata/metadata_fault.h"
#include "metadata/jpeg_tiff_reader.h"

namespace ravlen {
namespace {

constexpr std::string_view kMagic = "FUJIFILMCCD-RAW ";
constexpr std::uint64_t kJpegPointer = 84;  // big-endian offset, then length, of the embedded JPEG
constexpr std::uint64_t kHeaderLength = kJpegPointer + 8;
constexpr std::uint64_t kSegmentHeader = 4;  // marker, length
// Segments before APP1 that are passed over at most; a camera writes APP1 first.
constexpr int kMaxSegments = 64;
constexpr std::string_view kExifIdentifier("Exif\0\0", 6);

class RafWalk {
public:
    RafWalk(ReadView& view, ReaderContext& ctx) : view_(view), ctx_(ctx), facts_(ctx.facts) {}

    void Run() {
        const std::uint64_t fileSize = static_cast<std::uint64_t>(std::max<std::int64_t>(view_.FileSize(), 0));
        if (fileSize < kHeaderLength) return Invalid(" contains an invalid RAF header.");
        Require(view_.Read(kHeaderLength - static_cast<std::uint64_t>(view_.Position())));
        const std::uint64_t jpeg = *view_.U32(kJpegPointer, ByteOrder::Motorola);
        const std::uint64_t length = *view_.U32(kJpegPointer + 4, ByteOrder::Motorola);
        if (*view_.Bytes(0, kMagic.size()) != kMagic || jpeg < kHeaderLength || jpeg > fileSize ||
            length > fileSize - jpeg || length < 2 + kSegmentHeader)
            return Invalid(" contains an invalid RAF JPEG offset.");
        Require(view_.Skip(jpeg - kHeaderLength));
        WalkJpeg(jpeg, jpeg + length);
    }

private:
    void Invalid(const char* text) { ctx_.Invalid(facts_.TIFFMetadata, text); }

    // The embedded JPEG's segments up to the EXIF APP1, within [start, end).
    void WalkJpeg(std::uint64_t start, std::uint64_t end) {
        view_.ClearBuffer();
        Require(view_.Read(2));
        if (*view_.Bytes(0, 2) != "\xFF\xD8") return Invalid(" contains an invalid RAF JPEG offset.");
        std::uint64_t pos = start + 2;
        for (int segment = 0; segment < kMaxSegments && end - pos >= kSegmentHeader; ++segment) {
            view_.ClearBuffer();
            Require(view_.Read(kSegmentHeader));
            const std::uint8_t mark = *view_.Byte(0), code = *view_.Byte(1);
            const std::uint32_t length = *view_.U16(2, ByteOrder::Motorola);
            // Image data starts at the scan; no EXIF comes after it.
            if (mark != 0xFF || code == 0xDA || code == 0xD9) break;
            if (length < 2 || length - 2 > end - pos - kSegmentHeader)
                return Invalid(" contains an invalid TIFF APPx length descriptor.");
            view_.ClearBuffer();
            if (code == 0xE1) {
                Require(view_.Read(length - 2));
                const std::string_view payload = *view_.Bytes(0, length - 2);
                if (payload.substr(0, kExifIdentifier.size()) == kExifIdentifier) {
                    facts_.APP1Offset = Offset(pos);
                    facts_.APP1Length = static_cast<std::int32_t>(length);
                    ReadTIFFBlock(ctx_, ByteSpan(payload.substr(kExifIdentifier.size())),
                                  static_cast<std::int64_t>(pos + kSegmentHeader + kExifIdentifier.size()));
                    return;
                }
            } else {
                Require(view_.Skip(length - 2));
            }
            if (facts_.APPXSkipCount < std::numeric_limits<std::int16_t>::max()) ++facts_.APPXSkipCount;
            pos += kSegmentHeader + length - 2;
        }
        Invalid(" does not contain a valid EXIF APP1 tag.");
    }

    static std::int32_t Offset(std::uint64_t o) {
        return o <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()) ? static_cast<std::int32_t>(o)
                                                                                         : -1;
    }

    ReadView& view_;
    ReaderContext& ctx_;
    FileFacts& facts_;
};

}  // namespace

void ReadRAFMetadata(ReadView& view, ReaderContext& ctx) {
    RafWalk(view, ctx).Run();
}

}  // namespace ravlen
