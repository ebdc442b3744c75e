#include "ui/progress_window.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QVBoxLayout>

namespace ravlen::ui {

FrmProgress::FrmProgress(QWidget* owner) : QDialog(owner) {
    setObjectName("frmProgress");
    setModal(false);
    setWindowModality(Qt::NonModal);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    Message = new QLabel(this);
    Message->setObjectName("Message");
    FileName = new QLabel(this);
    FileName->setObjectName("FileName");
    FileName->setTextFormat(Qt::PlainText);
    // The label never asks for the name's width: a long name is shortened instead.
    FileName->setMinimumWidth(1);
    FileName->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    Bytes = new QLabel(this);
    Bytes->setObjectName("Bytes");
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setTextVisible(false);
    CancelButton = new QPushButton(tr("Stop"), this);
    CancelButton->setObjectName("CancelButton");
    CancelButton->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(CancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Message);
    layout->addWidget(FileName);
    layout->addWidget(ProgressBar1);
    layout->addWidget(Bytes);
    layout->addSpacing(layout->spacing());
    layout->addLayout(buttons);

    // Wide enough for "1,234,567 of 1,234,567" and a bar that shows movement.
    setMinimumWidth(fontMetrics().averageCharWidth() * 50);
    connect(CancelButton, &QPushButton::clicked, this, &FrmProgress::CancelButtonClick);
}

void FrmProgress::SetMessage(const QString& text) { Message->setText(text); }

void FrmProgress::SetRange(int minimum, int maximum) {
    ProgressBar1->setRange(minimum, maximum < minimum ? minimum : maximum);
}

void FrmProgress::SetValue(int value) {
    // A file added after the count can take the value past the maximum; the
    // bar then stays full instead of ignoring the value.
    if (value > ProgressBar1->maximum()) value = ProgressBar1->maximum();
    if (value < ProgressBar1->minimum()) value = ProgressBar1->minimum();
    ProgressBar1->setValue(value);
}

void FrmProgress::SetFile(const QString& name) {
    file_ = name;
    ShowFile();
}

void FrmProgress::ShowFile() {
    FileName->setText(FileName->fontMetrics().elidedText(file_, Qt::ElideMiddle, FileName->width()));
}

void FrmProgress::SetBytes(const QString& text) { Bytes->setText(text); }

void FrmProgress::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    ShowFile();
}

void FrmProgress::SetButtonCaption(const QString& caption) { CancelButton->setText(caption); }

void FrmProgress::closeEvent(QCloseEvent* event) {
    cancel_ = true;
    event->ignore();
}

void FrmProgress::reject() { cancel_ = true; }

}  // namespace ravlen::ui
