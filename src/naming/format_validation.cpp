#include "naming/format_validation.h"

#include <string_view>
#include <utility>

#include "model/utf8.h"
#include "naming/filename_builder.h"

namespace ravlen {
namespace {

// Characters a file name may not hold, in the order they are reported.
constexpr std::string_view kIllegalCharacters = "\\/:*?\"<>|";

constexpr std::size_t kMaximumLength = 250;
constexpr std::size_t kSafeLength = 200;

const char* const kNotProcessed = "No files will be processed";

std::string Explain(const FormatVerdict& v, const char* closing) {
    return "Problem:  " + v.Problem + "\r\nResult:     " + v.Result + "\r\n\r\n" + closing;
}

}  // namespace

std::string NameTextProblem(const std::string& name) {
    if (utf8::CharCount(name) > kMaximumLength) return "Exceeds maximum 250 characters";
    if (name.find_first_of(kIllegalCharacters) != std::string::npos) {
        // Report the first character of the list that occurs, not the first in the name.
        for (char c : kIllegalCharacters)
            if (name.find(c) != std::string::npos) return std::string("Illegal character: ") + c;
    }
    return {};
}

FormatVerdict ValidateFormat(const std::string& sample, const std::string& templateText) {
    const std::size_t length = utf8::CharCount(sample);
    auto has = [&templateText](const char* symbol) { return templateText.find(symbol) != std::string::npos; };
    if (std::string problem = NameTextProblem(sample); !problem.empty()) return {"Fail", std::move(problem), kNotProcessed};
    if (length == 0) return {"Warn", "Zero length", "Files won't be renamed and duplicates won't be processed"};
    if (!has("%d")) return {"Warn", "Template does not include Date/Time", "Processed files won't sort chronologically"};
    if (!has("%s")) return {"Warn", "Template does not include Serial Number", "Duplicate files won't be processed"};
    if (!has("%e")) return {"Warn", "Template does not include Extension", "Processed files won't open properly"};
    if (!has("%b") && !has("%v") && !has("%o"))
        return {"Warn", "Template does not include Batch, Volume, or Original Filename",
                "Original filenames will always be discarded"};
    if (!has("%b")) return {"Warn", "Template does not include Batch", "DCF Batch will never be included"};
    if (!has("%v")) return {"Warn", "Template does not include Volume", "DCF Volume will never be included"};
    if (!has("%o"))
        return {"Warn", "Template does not include Original Filename", "Non-DCF filenames will always be discarded"};
    if (length > kSafeLength) return {"Warn", "Exceeds safe limit of 200 characters", "Some files may not be processed"};
    return {"Good", "", ""};
}

std::string FormatDialogSample(const FilenameFormatDefinition& format, const DateTime& now) {
    FilenameValues v;
    v.DateTime = now;
    v.SerialNumber = 1;
    v.Batch = "ABCD";
    v.Volume = "1234";
    v.Extension = "JPG";
    AddSampleCameraValues(v);
    return BuildFilename(format, v);
}

std::string FormatWarnQuestion(const FormatVerdict& verdict) {
    return Explain(verdict, "Are you sure you want to use this filename format?");
}

std::string FormatFailMessage(const FormatVerdict& verdict) {
    return Explain(verdict, "Please correct this problem before proceeding.");
}

FormatDecision DecideOnFormat(const FormatVerdict& verdict,
                              const std::function<bool(const std::string& question)>& confirm,
                              const std::function<void(const std::string& message)>& refuse) {
    if (verdict.Status == "Good") return FormatDecision::Accepted;
    if (verdict.Status == "Warn")
        return confirm(FormatWarnQuestion(verdict)) ? FormatDecision::Accepted : FormatDecision::Declined;
    refuse(FormatFailMessage(verdict));
    return FormatDecision::Refused;
}

}  // namespace ravlen
