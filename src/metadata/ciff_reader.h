#pragma once
#include "metadata/read_view.h"
#include "model/file_facts.h"
#include "model/report.h"
#include "model/run_options.h"

namespace ravlen {

// Entered with the first 8 bytes read (Position 8) and facts.TIFFByteAlign set.
// Fills CIFFMetadata, CIFFSubType and CIFFCapturedDate. Throws MetadataFault
// on an arithmetic fault.
void ReadCIFFMetadata(ReadView& view, FileFacts& facts, const RunOptions& options, const ProblemReporter& report);

}  // namespace ravlen
