#pragma once
#include "metadata/metadata.h"
#include "metadata/read_view.h"
#include "model/file_facts.h"
#include "model/report.h"
#include "model/run_options.h"

namespace ravlen {

// Entered with the first 8 bytes read (Position 8) for a JPEG or TIFF file.
// Fills the TIFF fields and the three EXIF dates. Returns true when the file
// must be begun again (out-of-sequence EXIF sub-directory on a first pass).
// Throws MetadataFault on a pointer of 2^31 or more or an offset overflow.
bool ReadTIFFMetadata(ReadView& view, FileFacts& facts, const RunOptions& options, const ProblemReporter& report,
                      MetadataPass& pass);

}  // namespace ravlen
