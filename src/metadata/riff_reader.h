#pragma once
#include "metadata/read_view.h"
#include "model/file_facts.h"
#include "model/report.h"
#include "model/run_options.h"

namespace ravlen {

// Entered with the first 8 bytes read (Position 8). Fills RIFFMetadata,
// RIFFForm and the five RIFF dates. Throws MetadataFault on an arithmetic fault.
void ReadRIFFMetadata(ReadView& view, FileFacts& facts, const RunOptions& options, const ProblemReporter& report);

}  // namespace ravlen
