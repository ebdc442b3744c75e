// Format detection and the JPEG/TIFF reader over arbitrary bytes, in the
// strict and the lenient date mode, with the second pass when asked for (on
// the same stream when the first pass kept what it read); and the same bytes
// as a TIFF block in memory.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "metadata/jpeg_tiff_reader.h"
#include "metadata/metadata.h"
#include "metadata/metadata_fault.h"
#include "support/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ravlen;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const ReadHooks hooks{[] {}, [](std::string& notes, const std::string& message, MsgIcon) { notes += message; }};
    for (DateMode mode : {DateMode::MetadataOnly, DateMode::FileSystemWhenNoMetadata}) {
        RunOptions options;
        options.DateMode = mode;
        options.ReportErrors = true;
        MetadataPass pass;
        RunTally tally;
        std::optional<test::MemoryStream> stream;
        for (int attempt = 0; attempt < 2; ++attempt) {
            FileFacts facts;
            facts.SourceFileName = "IMG_0001.JPG";
            facts.Size = static_cast<std::int64_t>(size);
            if (pass.KeptBytes.empty()) stream.emplace(bytes);
            const MetadataOutcome outcome =
                ReadMetadataFromStream(*stream, facts.Size, hooks, options, facts, pass, tally);
            if (outcome == MetadataOutcome::Done) break;
            // A second restart would loop for ever.
            if (attempt == 1) __builtin_trap();
        }
    }

    FileFacts facts;
    facts.SourceFileName = "IMG_0001.HEIC";
    MetadataPass pass;
    ReaderContext ctx{facts, pass, true, hooks.report};
    try {
        ReadTIFFBlock(ctx, ByteSpan(bytes), 1000);
    } catch (const MetadataFault&) {
    }
    return 0;
}
