#include "engine/rename_files.h"

#include "engine/engine_stages.h"
#include "metadata/date_selection.h"
#include "metadata/metadata.h"
#include "naming/filename_builder.h"

namespace ravlen {

EngineStages DefaultStages() {
    return EngineStages{ReadMetadata, ChooseTimestamp, NewFilename};
}

void RenameFiles(EngineContext& context, const FolderRef& SourceFolder, const FolderRef& OutputFolder,
                 bool PerformActions, RunTally& tally) {
    static const EngineStages stages = DefaultStages();
    RenameFilesWith(stages, context, SourceFolder, OutputFolder, PerformActions, tally);
}

}  // namespace ravlen
