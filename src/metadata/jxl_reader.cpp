#include "metadata/jxl_reader.h"

#include <brotli/decode.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "metadata/jpeg_tiff_reader.h"
#include "metadata/metadata_fault.h"
#include "metadata/tiff_block.h"
#include "metadata/xmp_text.h"

namespace ravlen {
namespace {

const std::string_view kSignatureBox("\0\0\0\x0CJXL \r\n\x87\n", 12);
const std::string_view kCodestream("\xFF\x0A", 2);
constexpr std::int64_t kBoxHeader = 8;
constexpr std::int64_t kLargeBoxHeader = 16;  // with a 64-bit size
// A codestream split in partial boxes makes many boxes; a file whose Exif
// box is not found after this many is not searched further.
constexpr int kMaxBoxes = 4096;
// The most of an Exif or xml box read (the dates lie at its start), and the
// most a compressed one may decompress to.
constexpr std::uint64_t kMaxHeld = 1u << 20;
constexpr std::size_t kMaxDecompressed = 1u << 20;

// A brob box's Brotli stream decompressed, cut at kMaxDecompressed; what
// came out before a damaged or cut-short stream ended.
std::string Unbrotli(std::string_view in) {
    BrotliDecoderState* state = BrotliDecoderCreateInstance(nullptr, nullptr, nullptr);
    if (!state) return {};
    std::string out(std::min<std::size_t>(kMaxDecompressed, in.size() * 4 + 1024), '\0');
    const auto* next_in = reinterpret_cast<const std::uint8_t*>(in.data());
    std::size_t avail_in = in.size(), done = 0;
    for (;;) {
        if (done == out.size()) {
            if (out.size() == kMaxDecompressed) break;
            out.resize(std::min(kMaxDecompressed, out.size() * 2));
        }
        auto* next_out = reinterpret_cast<std::uint8_t*>(out.data() + done);
        std::size_t avail_out = out.size() - done;
        const BrotliDecoderResult r =
            BrotliDecoderDecompressStream(state, &avail_in, &next_in, &avail_out, &next_out, nullptr);
        done = out.size() - avail_out;
        if (r != BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT) break;
    }
    BrotliDecoderDestroyInstance(state);
    out.resize(done);
    return out;
}

class JxlWalk {
public:
    JxlWalk(ReadView& view, ReaderContext& ctx) : view_(view), ctx_(ctx), facts_(ctx.facts) {}

    void Run() {
        if (view_.Buffer().substr(0, kCodestream.size()) == kCodestream) return Conclude();
        const std::int64_t size = view_.FileSize();
        std::int64_t offset = 0;
        for (int n = 0; n < kMaxBoxes && !Done() && offset <= size - kBoxHeader; ++n) {
            // The header: the 8 bytes at hand for the signature box, read for the others.
            if (offset > 0) {
                view_.ClearBuffer();
                Require(view_.Skip(static_cast<std::uint64_t>(offset - view_.Position())));
                Require(view_.Read(kBoxHeader));
            }
            const ByteSpan head(view_.Buffer().substr(view_.Buffer().size() - kBoxHeader));
            std::uint64_t boxSize = *head.U32(0, ByteOrder::Motorola);
            const std::string type(*head.Bytes(4, 4));
            std::int64_t header = kBoxHeader;
            if (boxSize == 1) {
                if (size - offset < kLargeBoxHeader) break;
                Require(view_.Read(kLargeBoxHeader - kBoxHeader));
                const ByteSpan large(view_.Buffer().substr(view_.Buffer().size() - 8));
                boxSize = (std::uint64_t{*large.U32(0, ByteOrder::Motorola)} << 32) | *large.U32(4, ByteOrder::Motorola);
                header = kLargeBoxHeader;
            } else if (boxSize == 0) {
                boxSize = static_cast<std::uint64_t>(size - offset);  // the last box
            }
            if (boxSize < static_cast<std::uint64_t>(header) || boxSize > static_cast<std::uint64_t>(size - offset)) {
                ctx_.Invalid(facts_.TIFFMetadata, " contains an invalid JPEG XL box size.");
                return;
            }
            const std::int64_t end = offset + static_cast<std::int64_t>(boxSize);
            const std::uint64_t body = boxSize - static_cast<std::uint64_t>(header);
            if (type == "Exif" && !sawExif_) {
                sawExif_ = true;
                ReadExifBox(Hold(body), offset + header);
            } else if (type == "xml " && !triedXmp_) {
                triedXmp_ = true;
                TakeXmpDate(Hold(body), facts_);
            } else if (type == "brob" && body >= 4) {
                ReadCompressedBox(Hold(body));
            }
            offset = end;
        }
        Conclude();
    }

private:
    bool Done() const { return HasExifDate(facts_) || (triedExif_ && facts_.XMPDate); }

    // The box's payload that comes next in the file, at most kMaxHeld of it.
    std::string_view Hold(std::uint64_t body) {
        const std::uint64_t held = std::min(body, kMaxHeld);
        view_.ClearBuffer();
        Require(view_.Read(held));
        return *view_.Bytes(0, held);
    }

    // An Exif box: a 4-byte offset to the TIFF header, then the TIFF block.
    // `at` is the payload's file offset, 0 for a decompressed one.
    void ReadExifBox(std::string_view payload, std::int64_t at) {
        const ByteSpan box(payload);
        const auto skip = box.U32(0, ByteOrder::Motorola);
        if (!skip || *skip > payload.size() - 4) return;
        const std::uint64_t tiff = 4 + std::uint64_t{*skip};
        triedExif_ = true;
        ReadTIFFBlock(ctx_, *box.Sub(tiff, payload.size() - tiff), at > 0 ? at + static_cast<std::int64_t>(tiff) : 0);
    }

    // A brob box: the type of the box it stands for, then that box's payload
    // compressed by Brotli.
    void ReadCompressedBox(std::string_view payload) {
        const std::string_view inner = payload.substr(0, 4);
        // The first of each only: a file of many such boxes costs no more.
        if ((inner != "Exif" || sawExif_) && (inner != "xml " || triedXmp_)) return;
        sawExif_ |= inner == "Exif";
        triedXmp_ |= inner == "xml ";
        const std::string plain = Unbrotli(payload.substr(4));
        // Decompressed bytes lie at no offset of the file: the block counts from 0.
        if (inner == "Exif") ReadExifBox(plain, 0);
        else TakeXmpDate(plain, facts_);
    }

    void Conclude() {
        if (triedExif_) return;  // a damaged block has given its own reason
        // An XMP date names the file without an EXIF block: no reason to give.
        if (facts_.XMPDate) facts_.TIFFMetadata = false;
        else ctx_.Invalid(facts_.TIFFMetadata, kNoExifBlock);
    }

    ReadView& view_;
    ReaderContext& ctx_;
    FileFacts& facts_;
    bool sawExif_ = false, triedXmp_ = false;  // the first Exif and xml box only
    bool triedExif_ = false;                    // a TIFF block was handed over
};

}  // namespace

std::optional<ByteOrder> DetectJxl(std::string_view head) {
    if (head.substr(0, kSignatureBox.size()) == kSignatureBox || head.substr(0, 2) == kCodestream)
        return ByteOrder::Unknown;
    return std::nullopt;
}

void ReadJXLMetadata(ReadView& view, ReaderContext& ctx) { JxlWalk(view, ctx).Run(); }

}  // namespace ravlen
