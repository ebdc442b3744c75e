// Format detection and the JPEG/TIFF reader over arbitrary bytes, as the
// folder walk reads a file; the same bytes as a TIFF block in memory; the
// thumbnail found in them, or where the block names it.

#include "detection_fuzz.h"
#include "metadata/jpeg_tiff_reader.h"
#include "metadata/metadata_fault.h"
#include "metadata/thumbnail.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ravlen;
    fuzz::ReadThroughDetection(data, size, "IMG_0001.JPG");

    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    FileFacts facts;
    facts.SourceFileName = "IMG_0001.HEIC";
    MetadataPass pass;
    ReaderContext ctx{facts, pass, true,
                      [](std::string& notes, const std::string& message, MsgIcon) { notes += message; }};
    try {
        ReadTIFFBlock(ctx, ByteSpan(bytes), 1000);
    } catch (const MetadataFault&) {
    }
    test::MemoryStream head(bytes);
    ReadThumbnail(head, static_cast<std::int64_t>(size), std::nullopt);
    if (facts.ThumbnailOffset >= 0) {
        test::MemoryStream named(bytes);
        const ThumbnailSpan span{facts.ThumbnailOffset, facts.ThumbnailLength};
        ReadThumbnail(named, static_cast<std::int64_t>(size), span);
    }
    return 0;
}
