#pragma once
// frmFormat, "Custom Format": editing the custom filename format.

#include <QDialog>
#include <array>
#include <functional>
#include <optional>

#include "ui/format_editor.h"
#include "ui/messages.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace ravlen::ui {

class WrappingLabel;

class FrmFormat : public QDialog {
public:
    FrmFormat(QWidget* owner, const FilenameFormatDefinition& stored, const Messenger& messenger,
              std::function<void()> showHelp, FormatEditor::Clock now = &DateTime::Now);

    // The definition to store, once the dialog was closed with OK.
    const std::optional<FilenameFormatDefinition>& Saved() const { return saved_; }
    const FormatEditor& Editor() const { return editor_; }

    std::array<QLineEdit*, kFormatFieldCount> Fields{};  // in FormatFields() order
    WrappingLabel* SampleFilename = nullptr;
    QLabel* StatusImage = nullptr;
    QLabel* StatusLabel = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QPushButton* ResetButton = nullptr;
    QPushButton* HelpButton = nullptr;

    void OKButtonClick();
    void ResetButtonClick();

private:
    void FieldEdited(std::size_t index, const QString& text);
    void ShowFormatStatus();

    FormatEditor editor_;
    const Messenger& messenger_;
    std::function<void()> showHelp_;
    std::optional<FilenameFormatDefinition> saved_;
};

// Shows the dialog modally over `owner`; the new definition when the user
// pressed OK on a format that may be used.
std::optional<FilenameFormatDefinition> EditCustomFormat(QWidget* owner, const FilenameFormatDefinition& stored,
                                                         const Messenger& messenger, std::function<void()> showHelp);

}  // namespace ravlen::ui
