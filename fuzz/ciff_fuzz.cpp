// libFuzzer target: the CIFF header and heap walk over arbitrary bytes,
// entered as format detection enters it.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "metadata/ciff_reader.h"
#include "metadata/metadata_fault.h"
#include "support/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ravlen;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (size < 8) return 0;
    const std::string_view order = bytes.substr(0, 2);
    if (order != "II" && order != "MM") return 0;

    // The second pass, when the first asks for it, reads the file whole.
    MetadataPass pass;
    for (int attempt = 0; attempt < 2; ++attempt) {
        test::MemoryStream stream(bytes);
        ReadView view(stream, {}, static_cast<std::int64_t>(size));
        if (!view.Read(8)) return 0;

        FileFacts facts;
        facts.SourceFileName = "CRW_0001.CRW";
        facts.InternalFormat = "CIFF";
        facts.TIFFByteAlign = order == "II" ? "Intel" : "Motorola";
        facts.TIFFOffset = -1;
        facts.CIFFMetadata = true;
        ReaderContext ctx{facts, pass, true, {}};
        try {
            if (ReadCIFFMetadata(view, ctx) == MetadataOutcome::Done) break;
            if (attempt == 1) __builtin_trap();  // a second restart would loop for ever
            pass.SkippingAllowed = false;
        } catch (const MetadataFault&) {
            break;
        }
    }
    return 0;
}
