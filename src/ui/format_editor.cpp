#include "ui/format_editor.h"

#include "model/run_options.h"

namespace ravlen::ui {

const std::array<FormatField, 19>& FormatFields() {
    using F = FilenameFormatDefinition;
    static const std::array<FormatField, 19> fields{{
        {"Template", &F::Template},
        {"DatePrefix", &F::DatePrefix},
        {"DateFormat", &F::DateFormat},
        {"DateSuffix", &F::DateSuffix},
        {"SerialPrefix", &F::SerialPrefix},
        {"SerialFormat", &F::SerialFormat},
        {"SerialSuffix", &F::SerialSuffix},
        {"BatchPrefix", &F::BatchPrefix},
        {"BatchFormat", &F::BatchFormat},
        {"BatchSuffix", &F::BatchSuffix},
        {"VolumePrefix", &F::VolumePrefix},
        {"VolumeFormat", &F::VolumeFormat},
        {"VolumeSuffix", &F::VolumeSuffix},
        {"OriginalPrefix", &F::OriginalPrefix},
        {"OriginalFormat", &F::OriginalFormat},
        {"OriginalSuffix", &F::OriginalSuffix},
        {"ExtensionPrefix", &F::ExtensionPrefix},
        {"ExtensionFormat", &F::ExtensionFormat},
        {"ExtensionSuffix", &F::ExtensionSuffix},
    }};
    return fields;
}

FilenameFormatDefinition ResetFormat() { return RunOptions{}.CustomFormat; }

FormatEditor::FormatEditor(const FilenameFormatDefinition& stored, Clock now)
    : fields_(stored), now_(std::move(now)) {
    ShowFormatStatus();
}

void FormatEditor::SetField(std::size_t index, const std::string& text) {
    if (index >= FormatFields().size()) return;
    fields_.*(FormatFields()[index].member) = text;
    ShowFormatStatus();
}

void FormatEditor::Reset() {
    fields_ = ResetFormat();
    ShowFormatStatus();
}

void FormatEditor::ShowFormatStatus() {
    sample_ = FormatDialogSample(fields_, now_());
    verdict_ = ValidateFormat(sample_, fields_.Template);
}

bool FormatEditor::Accept(const std::function<bool(const std::string& question)>& confirm,
                          const std::function<void(const std::string& message)>& refuse) {
    return DecideOnFormat(verdict_, confirm, refuse) == FormatDecision::Accepted;
}

}  // namespace ravlen::ui
