#pragma once
// Opening a file, detecting its format and running the matching reader.

#include "model/file_facts.h"
#include "model/file_system.h"
#include "model/run_options.h"
#include "model/run_tally.h"
#include "model/user_port.h"

namespace ravlen {

// Per-file reading state that survives a restart of the same file.
struct MetadataPass {
    bool SkippingAllowed = true;  // false after a restart: every skip becomes a read
};

// Opens facts.SourceFilePath (size facts.Size), reads the first 8 bytes,
// detects JPEG/TIFF/RIFF/CIFF, runs that reader, closes the file and, in
// DateMode::MetadataOnly, stops a file without valid metadata (Timestamped false,
// NumberOfInvalidEXIFFiles + 1). Notes go through ReportFileProblem.
// Returns true when the walk must begin this file again (at most once per
// file: pass.SkippingAllowed is false from then on).
bool ReadMetadata(FileSystem& fs, UserPort& port, const RunOptions& options, FileFacts& facts,
                  MetadataPass& pass, RunTally& tally);

}  // namespace ravlen

namespace ravlen {

class ReadStream;

// The same over a stream that is already open (the file's size given): the
// detection and reader steps without opening or closing. Used by ReadMetadata
// and by the fuzz targets.
bool ReadMetadataFromStream(ReadStream& stream, std::int64_t fileSize, UserPort& port, const RunOptions& options,
                            FileFacts& facts, MetadataPass& pass, RunTally& tally);

}  // namespace ravlen
