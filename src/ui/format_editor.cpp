#include "ui/format_editor.h"

#include "app/settings/settings_store.h"
#include "model/run_options.h"

namespace ravlen::ui {

const std::array<FormatField, kFormatFieldCount>& FormatFields() {
    // The Format keys of the settings table, in its order.
    static const std::array<FormatField, kFormatFieldCount> fields = [] {
        std::array<FormatField, kFormatFieldCount> found{};
        std::size_t i = 0;
        for (const SettingsKey& k : AllSettingsKeys())
            if (k.kind == KeyKind::FormatText && i < found.size()) found[i++] = {k.key, k.format};
        return found;
    }();
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
