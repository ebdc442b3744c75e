#pragma once
// The custom format dialog's judgement of a filename format.

#include <string>

#include "model/date_time.h"
#include "model/filename_format.h"

namespace ravlen {

struct FormatVerdict {
    std::string Status;   // "Good", "Warn" or "Fail"
    std::string Problem;  // empty when good
    std::string Result;   // what the problem means for a run; empty when good
};

// Judges a sample name built from a template; the first rule that applies decides.
FormatVerdict ValidateFormat(const std::string& sample, const std::string& templateText);

// The dialog's sample: now, serial 1, batch ABCD, volume 1234, no original name, JPG.
std::string FormatDialogSample(const FilenameFormatDefinition& format, const DateTime& now);

// The Yes/No question asked on OK for a questionable format.
std::string FormatWarnQuestion(const FormatVerdict& verdict);
// The message shown on OK for an unusable format.
std::string FormatFailMessage(const FormatVerdict& verdict);

}  // namespace ravlen
