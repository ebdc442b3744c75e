#include "metadata/png_reader.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "metadata/metadata_fault.h"
#include "metadata/tiff_block.h"

namespace ravlen {
namespace {

constexpr std::uint64_t kSignatureLength = 8;
constexpr std::uint64_t kChunkHeader = 8;  // length, type
constexpr std::uint64_t kChunkCrc = 4;
constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFF;  // the format's own limit
// Image data comes in many chunks; a file whose eXIf is not found after this
// many chunks is not searched further.
constexpr int kMaxChunks = 1 << 16;

}  // namespace

void ReadPNGMetadata(ReadView& view, ReaderContext& ctx) {
    const std::uint64_t size = static_cast<std::uint64_t>(std::max<std::int64_t>(view.FileSize(), 0));
    std::uint64_t pos = kSignatureLength;
    for (int chunk = 0; chunk < kMaxChunks && pos <= size && size - pos >= kChunkHeader + kChunkCrc; ++chunk) {
        view.ClearBuffer();
        Require(view.Read(kChunkHeader));
        const std::uint32_t length = *view.U32(0, ByteOrder::Motorola);
        const std::string_view type = *view.Bytes(4, 4);
        pos += kChunkHeader;
        if (length > kMaxChunkLength || length > size - pos - kChunkCrc) {
            ctx.Invalid(ctx.facts.TIFFMetadata, " contains an invalid PNG chunk length.");
            return;
        }
        if (type == "eXIf") {
            ReadTIFFBlockHere(view, length, ctx);
            return;
        }
        if (type == "IEND") break;
        Require(view.Skip(std::uint64_t{length} + kChunkCrc));
        pos += std::uint64_t{length} + kChunkCrc;
    }
    ctx.Invalid(ctx.facts.TIFFMetadata, kNoExifBlock);
}

}  // namespace ravlen
