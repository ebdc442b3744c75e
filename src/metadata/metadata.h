#pragma once
// Opening a file, detecting its format and running the matching reader.

#include "metadata/metadata_pass.h"
#include "metadata/read_view.h"
#include "metadata/reader_context.h"
#include "model/file_facts.h"
#include "model/file_system.h"
#include "model/run_options.h"
#include "model/run_tally.h"

namespace ravlen {

// What the caller lends the readers: the pump after each read, the sink of
// the notes, and the Stop asked for (a long read breaks off when it is true).
struct ReadHooks {
    PumpCallback pump;
    ProblemSink report;
    StopCheck stopped = {};
};

// Opens facts.SourceFilePath (size facts.Size), reads its first bytes,
// detects the format, runs that reader, closes the file and, in DateMode::MetadataOnly,
// stops a file without valid metadata (Timestamped false,
// NumberOfInvalidEXIFFiles + 1). Restart asks the walk to begin this file
// again (at most once per file: pass.SkippingAllowed is false from then on);
// when the first pass skipped nothing, the file stays open in the pass and
// the second call reads on from the bytes already read.
MetadataOutcome ReadMetadata(FileSource& source, const ReadHooks& hooks, const RunOptions& options, FileFacts& facts,
                             MetadataPass& pass, RunTally& tally);

// The same over a stream that is already open (the file's size given): the
// detection and reader steps without opening or closing. Used by ReadMetadata
// and by the fuzz targets. After a Restart that left pass.KeptBytes, the
// second call takes the same stream (it stands just after those bytes);
// otherwise a stream at the file's start.
MetadataOutcome ReadMetadataFromStream(ReadStream& stream, std::int64_t fileSize, const ReadHooks& hooks,
                                       const RunOptions& options, FileFacts& facts, MetadataPass& pass,
                                       RunTally& tally);

}  // namespace ravlen
