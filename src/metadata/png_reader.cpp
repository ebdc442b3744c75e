#include "metadata/png_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "metadata/jpeg_tiff_reader.h"
#include "metadata/metadata_fault.h"
#include "metadata/tiff_block.h"
#include "metadata/xmp_text.h"

namespace ravlen {
namespace {

constexpr std::uint64_t kSignatureLength = 8;
constexpr std::uint64_t kChunkHeader = 8;  // length, type
constexpr std::uint64_t kChunkCrc = 4;
constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFF;  // the format's own limit
// Image data comes in many chunks; a file whose eXIf is not found after this
// many chunks is not searched further.
constexpr int kMaxChunks = 1 << 16;
// A text chunk's keyword: at most 79 bytes and its terminator.
constexpr std::uint64_t kMaxKeyword = 80;
// The most of a text chunk that carries metadata read, and the most its
// text may inflate to: an EXIF block as hex is twice its 64 KiB, an XMP
// packet's dates come first.
constexpr std::uint64_t kMaxTextChunk = 1u << 20;
constexpr std::size_t kMaxInflated = 1u << 20;
// The most of a raw profile's EXIF decoded from its hex digits.
constexpr std::size_t kMaxProfile = 256 * 1024;

constexpr std::string_view kXmpKeyword = "XML:com.adobe.xmp";
// ImageMagick's hex-encoded profiles.
constexpr std::string_view kRawExif = "Raw profile type exif";
constexpr std::string_view kRawApp1 = "Raw profile type APP1";

// A zlib stream inflated, its output cut at kMaxInflated; nothing when the
// stream is damaged before any output.
std::optional<std::string> Inflate(std::string_view in) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return std::nullopt;
    std::string out(std::min<std::size_t>(kMaxInflated, in.size() * 4 + 1024), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    std::size_t done = 0;
    int status = Z_OK;
    while (status == Z_OK && done < kMaxInflated) {
        if (done == out.size()) out.resize(std::min(kMaxInflated, out.size() * 2));
        z.next_out = reinterpret_cast<Bytef*>(out.data() + done);
        z.avail_out = static_cast<uInt>(out.size() - done);
        status = inflate(&z, Z_NO_FLUSH);
        done = out.size() - z.avail_out;
        if (status == Z_BUF_ERROR && z.avail_in == 0) break;  // a stream cut short: what came out serves
    }
    inflateEnd(&z);
    if (done == 0 && status != Z_STREAM_END) return std::nullopt;
    out.resize(done);
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A raw profile's text: "\n<name>\n<length>\n" then the bytes as hex digits
// broken into lines. The bytes, at most `length` and kMaxProfile of them.
std::string DecodeRawProfile(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == '\n') ++i;
    const std::size_t nameEnd = text.find('\n', i);
    if (nameEnd == std::string_view::npos) return {};
    i = nameEnd + 1;
    std::size_t length = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && length <= kMaxProfile)
        length = length * 10 + static_cast<std::size_t>(text[i++] - '0');
    length = std::min(length, kMaxProfile);
    std::string bytes;
    int high = -1;
    for (; i < text.size() && bytes.size() < length; ++i) {
        const int d = HexDigit(text[i]);
        if (d < 0) continue;  // line breaks between the digits
        if (high < 0) {
            high = d;
        } else {
            bytes.push_back(static_cast<char>(high * 16 + d));
            high = -1;
        }
    }
    return bytes;
}

// A tEXt, zTXt or iTXt chunk's keyword and its text (inflated where the
// chunk says so); nothing for a chunk that breaks its own layout.
struct TextChunk {
    std::string_view keyword;
    std::string text;
};

std::optional<TextChunk> ParseTextChunk(std::string_view type, std::string_view data) {
    const std::size_t zero = data.find('\0');
    if (zero == std::string_view::npos || zero == 0 || zero >= kMaxKeyword) return std::nullopt;
    TextChunk chunk{data.substr(0, zero), {}};
    std::string_view rest = data.substr(zero + 1);
    bool compressed = type == "zTXt";
    if (type == "zTXt") {
        if (rest.empty()) return std::nullopt;
        rest.remove_prefix(1);  // the compression method
    } else if (type == "iTXt") {
        // Compression flag and method, then the language tag and the
        // translated keyword, each ended by a zero byte.
        if (rest.size() < 2) return std::nullopt;
        compressed = rest[0] != 0;
        rest.remove_prefix(2);
        for (int k = 0; k < 2; ++k) {
            const std::size_t end = rest.find('\0');
            if (end == std::string_view::npos) return std::nullopt;
            rest.remove_prefix(end + 1);
        }
    }
    if (!compressed) {
        chunk.text = std::string(rest);
        return chunk;
    }
    auto inflated = Inflate(rest);
    if (!inflated) return std::nullopt;
    chunk.text = std::move(*inflated);
    return chunk;
}

bool IsTextChunk(std::string_view type) { return type == "tEXt" || type == "zTXt" || type == "iTXt"; }

class PngWalk {
public:
    PngWalk(ReadView& view, ReaderContext& ctx) : view_(view), ctx_(ctx), facts_(ctx.facts) {}

    void Run() {
        const std::uint64_t size = static_cast<std::uint64_t>(std::max<std::int64_t>(view_.FileSize(), 0));
        std::uint64_t pos = kSignatureLength;
        for (int chunk = 0; chunk < kMaxChunks && !Done() && pos <= size && size - pos >= kChunkHeader + kChunkCrc;
             ++chunk) {
            view_.ClearBuffer();
            Require(view_.Read(kChunkHeader));
            const std::uint32_t length = *view_.U32(0, ByteOrder::Motorola);
            const std::string type(*view_.Bytes(4, 4));
            pos += kChunkHeader;
            if (length > kMaxChunkLength || length > size - pos - kChunkCrc) {
                ctx_.Invalid(facts_.TIFFMetadata, " contains an invalid PNG chunk length.");
                return;
            }
            // Past an EXIF block without a date, text chunks are looked for
            // up to the image data only: the image is not walked for them.
            if (type == "IEND" || (type == "IDAT" && triedTiff_)) break;
            if (type == "eXIf" && !triedTiff_) {
                triedTiff_ = true;
                ReadTIFFBlockHere(view_, length, ctx_);
                if (!facts_.TIFFMetadata) return;  // a damaged block has given its reason
            } else if (IsTextChunk(type)) {
                ReadTextChunk(type, length);
            }
            pos += std::uint64_t{length} + kChunkCrc;
            Require(view_.Skip(pos - static_cast<std::uint64_t>(view_.Position())));
        }
        if (triedTiff_) return;
        // An XMP date names the file without an EXIF block: no reason to give.
        if (facts_.XMPDate) facts_.TIFFMetadata = false;
        else ctx_.Invalid(facts_.TIFFMetadata, kNoExifBlock);
    }

private:
    // An EXIF date ends the search; so does an XMP date beside a block without one.
    bool Done() const { return HasExifDate(facts_) || (triedTiff_ && facts_.XMPDate); }

    // The keyword, and the whole chunk when it carries EXIF or XMP.
    void ReadTextChunk(std::string_view type, std::uint32_t length) {
        const std::uint64_t head = std::min<std::uint64_t>(length, kMaxKeyword);
        view_.ClearBuffer();
        Require(view_.Read(head));
        const std::string_view keyword = view_.Buffer().substr(0, view_.Buffer().find('\0'));
        // The first of each only: a file of many such chunks costs no more.
        const bool exif = (keyword == kRawExif || keyword == kRawApp1) && !triedTiff_;
        const bool xmp = keyword == kXmpKeyword && !triedXmp_;
        if ((!exif && !xmp) || length > kMaxTextChunk) return;
        triedXmp_ |= xmp;
        Require(view_.Read(length - head));
        const auto chunk = ParseTextChunk(type, view_.Buffer());
        if (!chunk) return;
        if (xmp) return TakeXmpDate(chunk->text, facts_);
        const std::string block = DecodeRawProfile(chunk->text);
        constexpr std::string_view kExifPrefix("Exif\0\0", 6);
        std::string_view tiff(block);
        if (tiff.substr(0, kExifPrefix.size()) == kExifPrefix) tiff.remove_prefix(kExifPrefix.size());
        if (tiff.size() < 8) return;
        // Decoded bytes lie at no offset of the file: the block counts from 0.
        // A damaged one gives its reason; the walk goes on for an XMP date.
        triedTiff_ = true;
        ReadTIFFBlock(ctx_, ByteSpan(tiff), 0);
    }

    ReadView& view_;
    ReaderContext& ctx_;
    FileFacts& facts_;
    bool triedTiff_ = false;  // an EXIF block was read (eXIf or a raw profile)
    bool triedXmp_ = false;
};

}  // namespace

void ReadPNGMetadata(ReadView& view, ReaderContext& ctx) { PngWalk(view, ctx).Run(); }

}  // namespace ravlen
