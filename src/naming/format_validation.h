#pragma once
// The custom format dialog's judgement of a filename format.

#include <functional>
#include <string>

#include "model/date_time.h"
#include "model/filename_format.h"

namespace ravlen {

struct FormatVerdict {
    std::string Status;   // "Good", "Warn" or "Fail"
    std::string Problem;  // empty when good
    std::string Result;   // what the problem means for a run; empty when good
};

// The rules every name a format makes must meet: at most 250 characters and
// none of \ / : * ? " < > |. The problem (the first character of that list
// that occurs is named), or "" when the name meets them.
std::string NameTextProblem(const std::string& name);

// Judges a sample name built from a template; the first rule that applies decides.
FormatVerdict ValidateFormat(const std::string& sample, const std::string& templateText);

// The dialog's sample: now, serial 1, batch ABCD, volume 1234, no original
// name, JPG, and the sample camera values (AddSampleCameraValues).
std::string FormatDialogSample(const FilenameFormatDefinition& format, const DateTime& now);

// The Yes/No question asked on OK for a questionable format.
std::string FormatWarnQuestion(const FormatVerdict& verdict);
// The message shown on OK for an unusable format.
std::string FormatFailMessage(const FormatVerdict& verdict);

// What OK does with a verdict: a good format is taken; a questionable one
// when `confirm` answers Yes to the warning question; an unusable one never,
// after `refuse` has shown the failure message. The window's dialog and the
// console runner decide alike through it.
enum class FormatDecision { Accepted, Declined, Refused };
FormatDecision DecideOnFormat(const FormatVerdict& verdict,
                              const std::function<bool(const std::string& question)>& confirm,
                              const std::function<void(const std::string& message)>& refuse);

}  // namespace ravlen
