// libFuzzer target: the RIFF chunk walk over arbitrary bytes, entered as
// format detection enters it.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "metadata/metadata_fault.h"
#include "metadata/riff_reader.h"
#include "support/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ravlen;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    test::MemoryStream stream(bytes);
    ReadView view(stream, {}, static_cast<std::int64_t>(size));
    if (size < 8 || !view.Read(8)) return 0;

    FileFacts facts;
    facts.SourceFileName = "MVI_0001.AVI";
    facts.InternalFormat = "RIFF";
    facts.TIFFByteAlign = "Intel";
    facts.RIFFMetadata = true;
    MetadataPass pass;
    ReaderContext ctx{facts, pass, true, {}};
    try {
        ReadRIFFMetadata(view, ctx);
    } catch (const MetadataFault&) {
    }
    return 0;
}
