// Format detection and the JPEG/TIFF reader over arbitrary bytes, in the
// strict and the lenient date mode, with the second pass when asked for.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "metadata/metadata.h"
#include "support/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ravlen;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    test::NullPort port;
    for (DateMode mode : {DateMode::MetadataOnly, DateMode::FileSystemWhenNoMetadata}) {
        RunOptions options;
        options.DateMode = mode;
        options.ReportErrors = true;
        MetadataPass pass;
        RunTally tally;
        for (int attempt = 0; attempt < 2; ++attempt) {
            FileFacts facts;
            facts.SourceFileName = "IMG_0001.JPG";
            facts.Size = static_cast<std::int64_t>(size);
            test::MemoryStream stream(bytes);
            const bool again = ReadMetadataFromStream(stream, facts.Size, port, options, facts, pass, tally);
            if (!again) break;
            // A second restart would loop for ever.
            if (attempt == 1) __builtin_trap();
        }
    }
    return 0;
}
