#include "ui/format_dialog.h"

#include <algorithm>

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>

#include "model/version.h"
#include "ui/wrapping_label.h"

namespace ravlen::ui {

namespace {

struct VariableRow {
    const char* caption;  // with its mnemonic
    const char* symbol;
};
constexpr VariableRow kRows[kFormatSymbolCount] = {
    {"&Date/Time", "%d"}, {"&Serial Number", "%s"},  {"&Batch", "%b"},
    {"&Volume", "%v"},    {"&Original Name", "%o"}, {"E&xtension", "%e"},
    {"Ca&mera", "%c"},    {"Bod&y Serial", "%n"},   {"&Lens", "%l"},
    {"&Artist", "%a"},    {"&Job Code", "%j"},      {"Se&quence", "%q"},
};

QLabel* Heading(const char* text, QWidget* parent) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

}  // namespace

FrmFormat::FrmFormat(QWidget* owner, const FilenameFormatDefinition& stored, const Messenger& messenger,
                     std::function<void()> showHelp, FormatEditor::Clock now)
    : QDialog(owner), editor_(stored, std::move(now)), messenger_(messenger), showHelp_(std::move(showHelp)) {
    setObjectName("frmFormat");
    setWindowTitle(tr("Custom Format"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    const auto& fields = FormatFields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(fields[i].name);
        edit->setText(QString::fromStdString(editor_.Fields().*(fields[i].member)));
        Fields[i] = edit;
        connect(edit, &QLineEdit::textEdited, this, [this, i](const QString& text) { FieldEdited(i, text); });
    }
    const int charWidth = fontMetrics().averageCharWidth();
    // The longest built-in date format shows whole, with room to spare.
    const int formatWidth =
        std::max(charWidth * 24, Fields[2]->fontMetrics().horizontalAdvance(QStringLiteral("yyyy-mm-dd @hh-nn-ss")) +
                                     charWidth * 4);

    // Template
    auto* templateFrame = new QGroupBox(tr("Template"), this);
    auto* templateLayout = new QHBoxLayout(templateFrame);
    auto* templateLabel = new QLabel(tr("&Text/Symbols"), templateFrame);
    templateLabel->setBuddy(Fields[0]);
    templateLayout->addWidget(templateLabel);
    templateLayout->addWidget(Fields[0], 1);

    // Variables: one row per symbol, columns Symbol, Prefix, Format, Suffix.
    auto* variablesFrame = new QGroupBox(tr("Variables"), this);
    auto* grid = new QGridLayout(variablesFrame);
    grid->addWidget(Heading("Symbol", variablesFrame), 0, 1, Qt::AlignHCenter);
    grid->addWidget(Heading("Prefix", variablesFrame), 0, 2);
    grid->addWidget(Heading("Format", variablesFrame), 0, 3);
    grid->addWidget(Heading("Suffix", variablesFrame), 0, 4);
    for (int row = 0; row < static_cast<int>(kFormatSymbolCount); ++row) {
        auto* caption = new QLabel(tr(kRows[row].caption), variablesFrame);
        QLineEdit* prefix = Fields[1 + 3 * row];
        caption->setBuddy(prefix);
        auto* symbol = new QLabel(QString::fromLatin1(kRows[row].symbol), variablesFrame);
        symbol->setAlignment(Qt::AlignCenter);
        grid->addWidget(caption, row + 1, 0);
        grid->addWidget(symbol, row + 1, 1);
        grid->addWidget(prefix, row + 1, 2);
        grid->addWidget(Fields[2 + 3 * row], row + 1, 3);
        grid->addWidget(Fields[3 + 3 * row], row + 1, 4);
        prefix->setMinimumWidth(charWidth * 12);
        Fields[2 + 3 * row]->setMinimumWidth(formatWidth);
        Fields[3 + 3 * row]->setMinimumWidth(charWidth * 6);
    }
    grid->setColumnStretch(2, 2);
    grid->setColumnStretch(3, 4);
    grid->setColumnStretch(4, 1);

    // Output
    auto* outputFrame = new QGroupBox(tr("Output"), this);
    auto* output = new QGridLayout(outputFrame);
    auto* exampleLabel = new QLabel(tr("Example"), outputFrame);
    SampleFilename = new WrappingLabel(outputFrame);
    SampleFilename->setObjectName("SampleFilename");
    // Room for a sample at the 250-character limit without the window growing.
    SampleFilename->setMinimumLines(3);
    StatusImage = new QLabel(outputFrame);
    StatusImage->setObjectName("StatusImage");
    StatusImage->setFixedSize(16, 16);
    StatusLabel = new QLabel(outputFrame);
    StatusLabel->setObjectName("StatusLabel");
    StatusLabel->setWordWrap(true);
    auto* status = new QHBoxLayout;
    status->addWidget(StatusImage, 0, Qt::AlignTop);
    status->addWidget(StatusLabel, 1);
    output->addWidget(exampleLabel, 0, 0, Qt::AlignTop);
    output->addWidget(SampleFilename, 0, 1);
    output->addLayout(status, 1, 1);
    output->setColumnStretch(1, 1);
    StatusLabel->setMinimumHeight(fontMetrics().lineSpacing());

    // Buttons, in the desktop's order.
    auto* buttons = new QDialogButtonBox(this);
    OKButton = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    CancelButton = buttons->addButton(tr("&Cancel"), QDialogButtonBox::RejectRole);
    ResetButton = buttons->addButton(tr("&Reset"), QDialogButtonBox::ResetRole);
    HelpButton = buttons->addButton(tr("&Help"), QDialogButtonBox::HelpRole);
    OKButton->setObjectName("OKButton");
    CancelButton->setObjectName("CancelButton");
    ResetButton->setObjectName("ResetButton");
    HelpButton->setObjectName("HelpButton");
    OKButton->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(templateFrame);
    layout->addWidget(variablesFrame);
    layout->addWidget(outputFrame, 1);
    layout->addWidget(buttons);

    // Typing order: the template, then each row from left to right.
    QWidget* previous = Fields[0];
    for (std::size_t i = 1; i < Fields.size(); ++i) {
        setTabOrder(previous, Fields[i]);
        previous = Fields[i];
    }

    connect(OKButton, &QPushButton::clicked, this, &FrmFormat::OKButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(ResetButton, &QPushButton::clicked, this, &FrmFormat::ResetButtonClick);
    connect(HelpButton, &QPushButton::clicked, this, [this] {
        if (showHelp_) showHelp_();
    });
    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, HelpButton, &QPushButton::click);

    ShowFormatStatus();
    Fields[0]->setFocus();
}

void FrmFormat::FieldEdited(std::size_t index, const QString& text) {
    editor_.SetField(index, text.toStdString());
    ShowFormatStatus();
}

void FrmFormat::ShowFormatStatus() {
    SampleFilename->setText(QString::fromStdString(editor_.Sample()));
    const FormatVerdict& verdict = editor_.Verdict();
    if (verdict.Status == "Good") {
        StatusImage->clear();
        StatusLabel->clear();
        return;
    }
    const auto icon = verdict.Status == "Warn" ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxCritical;
    StatusImage->setPixmap(style()->standardIcon(icon, nullptr, this).pixmap(16, 16));
    StatusImage->setToolTip(QString::fromStdString(verdict.Result));
    StatusLabel->setText(QString::fromStdString(verdict.Problem));
    StatusLabel->setToolTip(QString::fromStdString(verdict.Result));
}

void FrmFormat::ResetButtonClick() {
    editor_.Reset();
    const auto& fields = FormatFields();
    for (std::size_t i = 0; i < fields.size(); ++i)
        Fields[i]->setText(QString::fromStdString(editor_.Fields().*(fields[i].member)));
    ShowFormatStatus();
}

void FrmFormat::OKButtonClick() {
    const std::string title = Version().Title;
    const bool accepted = editor_.Accept(
        [&](const std::string& question) {
            const MessageRequest request{question, MsgIcon::Exclamation, MsgButtons::YesNo, title, true, {}, nullptr};
            return messenger_.Show(request) == MsgAnswer::Yes;
        },
        [&](const std::string& message) {
            messenger_.Show(message, MsgIcon::Critical, MsgButtons::OK, title);
        });
    if (!accepted) return;
    saved_ = editor_.Fields();
    accept();
}

std::optional<FilenameFormatDefinition> EditCustomFormat(QWidget* owner, const FilenameFormatDefinition& stored,
                                                         const Messenger& messenger, std::function<void()> showHelp) {
    FrmFormat dialog(owner, stored, messenger, std::move(showHelp));
    dialog.exec();
    return dialog.Saved();
}

}  // namespace ravlen::ui
