#pragma once
// What the custom format dialog does, apart from its widgets: the fields,
// the live sample and verdict, Reset, and the decision on OK.

#include <array>
#include <functional>
#include <string>

#include "model/date_time.h"
#include "model/filename_format.h"
#include "naming/format_validation.h"

namespace ravlen::ui {

struct FormatField {
    const char* name;  // the field's name, also its widget's object name
    std::string FilenameFormatDefinition::*member;
};
// The template and, for each of the twelve symbols, a prefix, format and suffix.
inline constexpr std::size_t kFormatSymbolCount = 12;
inline constexpr std::size_t kFormatFieldCount = 1 + 3 * kFormatSymbolCount;
// Template, then prefix, format and suffix of %d %s %b %v %o %e %c %n %l %a %j %q.
const std::array<FormatField, kFormatFieldCount>& FormatFields();

// The definition Reset enters: "Vantor 2.x (with short attribute labels)"
// with the time included.
FilenameFormatDefinition ResetFormat();

class FormatEditor {
public:
    using Clock = std::function<DateTime()>;
    // LoadFormat: starts from the main window's custom definition.
    explicit FormatEditor(const FilenameFormatDefinition& stored, Clock now = &DateTime::Now);

    const FilenameFormatDefinition& Fields() const { return fields_; }
    void SetField(std::size_t index, const std::string& text);
    void Reset();

    // ShowFormatStatus: the sample for the fields as they stand and its verdict.
    const std::string& Sample() const { return sample_; }
    const FormatVerdict& Verdict() const { return verdict_; }

    // OK: true when the definition may be stored and the dialog closed. A
    // questionable format is put to `confirm` (Yes: true); an unusable one is
    // shown with `refuse`.
    bool Accept(const std::function<bool(const std::string& question)>& confirm,
                const std::function<void(const std::string& message)>& refuse);

private:
    void ShowFormatStatus();

    FilenameFormatDefinition fields_;
    Clock now_;
    std::string sample_;
    FormatVerdict verdict_;
};

}  // namespace ravlen::ui
