#include "metadata/webp_reader.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "metadata/metadata_fault.h"
#include "metadata/tiff_block.h"
#include "metadata/xmp_text.h"

namespace ravlen {
namespace {

constexpr std::uint64_t kRiffHeader = 12;  // "RIFF", size, "WEBP"
constexpr std::uint64_t kChunkHeader = 8;  // FourCC, size
// An animation holds a chunk per frame; a file whose EXIF is not found after
// this many chunks is not searched further.
constexpr int kMaxChunks = 1 << 14;

}  // namespace

void ReadWebPMetadata(ReadView& view, ReaderContext& ctx) {
    const std::uint64_t fileSize = static_cast<std::uint64_t>(std::max<std::int64_t>(view.FileSize(), 0));
    const auto riffSize = view.U32(4, ByteOrder::Intel);
    if (!riffSize || *riffSize < 4 || fileSize < kRiffHeader) {
        ctx.Invalid(ctx.facts.TIFFMetadata, " contains an invalid RIFF size descriptor.");
        return;
    }
    if (view.Position() < static_cast<std::int64_t>(kRiffHeader))
        Require(view.Read(kRiffHeader - static_cast<std::uint64_t>(view.Position())));
    ctx.facts.RIFFForm = "WEBP";
    // The chunks end where the RIFF size says, or earlier at a cut-short end of the file.
    const std::uint64_t end = std::min<std::uint64_t>(fileSize, 8 + std::uint64_t{*riffSize});
    std::uint64_t pos = kRiffHeader;
    bool triedExif = false, triedXmp = false;  // the first of each only
    for (int chunk = 0; chunk < kMaxChunks && end >= pos && end - pos >= kChunkHeader; ++chunk) {
        view.ClearBuffer();
        Require(view.Read(kChunkHeader));
        const std::string_view id = *view.Bytes(0, 4);
        const std::uint32_t size = *view.U32(4, ByteOrder::Intel);
        pos += kChunkHeader;
        if (size > end - pos) {
            ctx.Invalid(ctx.facts.TIFFMetadata, " contains an invalid RIFF chunk size descriptor.");
            return;
        }
        if (id == "EXIF" && !triedExif) {
            triedExif = true;
            ReadTIFFBlockHere(view, size, ctx);
            // A damaged block has given its reason; one with a date ends the search.
            if (!ctx.facts.TIFFMetadata || HasExifDate(ctx.facts)) return;
        } else if (id == "XMP " && !triedXmp) {
            triedXmp = true;
            view.ClearBuffer();
            Require(view.Read(std::min<std::uint64_t>(size, kMaxXmpPacket)));
            TakeXmpDate(view.Buffer(), ctx.facts);
        }
        if (triedExif && ctx.facts.XMPDate) return;
        // Odd-sized data carries a pad byte, unless the file ends first.
        const std::uint64_t step = std::min<std::uint64_t>(std::uint64_t{size} + (size & 1), end - pos);
        pos += step;
        Require(view.Skip(pos - static_cast<std::uint64_t>(view.Position())));
    }
    if (triedExif) return;
    // An XMP date names the file without an EXIF block: no reason to give.
    if (ctx.facts.XMPDate) ctx.facts.TIFFMetadata = false;
    else ctx.Invalid(ctx.facts.TIFFMetadata, kNoExifBlock);
}

}  // namespace ravlen
