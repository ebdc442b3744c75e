#pragma once
// One fuzz input through format detection and its reader, as the folder walk
// reads a file: in the strict and the lenient date mode, with the second pass
// when the reader asks for it (on the same stream when the first pass kept
// what it read). The strict mode reads front to back only, as from a device,
// the lenient one goes back where a reader asks, as in a file.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "metadata/metadata.h"
#include "support/memory_stream.h"

namespace ravlen::fuzz {

inline void ReadThroughDetection(const std::uint8_t* data, std::size_t size, const std::string& fileName) {
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
            facts.SourceFileName = fileName;
            facts.Size = static_cast<std::int64_t>(size);
            if (pass.KeptBytes.empty()) {  // else the first pass's stream reads on
                stream.emplace(bytes);
                stream->frontToBack = mode == DateMode::MetadataOnly;
            }
            const MetadataOutcome outcome =
                ReadMetadataFromStream(*stream, facts.Size, hooks, options, facts, pass, tally);
            if (outcome == MetadataOutcome::Done) break;
            if (attempt == 1) __builtin_trap();  // a second restart would loop for ever
        }
    }
}

}  // namespace ravlen::fuzz
