#pragma once
// The per-file stages the walk calls, as replaceable functions: the program
// uses the real readers, date choice and filename builder (DefaultStages);
// tests may put others in their place. A stage left empty is one the walk
// cannot run: the file then goes on untimestamped.

#include <cstdint>
#include <functional>
#include <string>

#include "engine/rename_files.h"
#include "metadata/metadata.h"
#include "model/file_facts.h"

namespace ravlen {

struct EngineStages {
    std::function<bool(FileSystem&, UserPort&, const RunOptions&, FileFacts&, MetadataPass&, RunTally&)> readMetadata;
    std::function<void(FileFacts&, const RunOptions&, RunTally&, UserPort&)> chooseTimestamp;
    std::function<std::string(const FileFacts&, const RunOptions&, std::int32_t serialNumber)> newFilename;
};

EngineStages DefaultStages();

// RenameFiles with the given stages.
void RenameFilesWith(const EngineStages& stages, EngineContext& context, const FolderRef& SourceFolder,
                     const FolderRef& OutputFolder, bool PerformActions, RunTally& tally);

// A count as "#,##0" writes it: 1204 -> "1,204".
std::string FormatCount(std::int64_t value);

}  // namespace ravlen
