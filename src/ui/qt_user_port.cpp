#include "ui/qt_user_port.h"

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <ctime>

#include "model/report_text.h"
#include "platform/stop_signals.h"
#include "ui/progress_window.h"

namespace ravlen::ui {

QtUserPort::QtUserPort(QWidget* owner, QWidget* body, const Messenger& messenger)
    : owner_(owner), body_(body), messenger_(messenger) {}

QtUserPort::~QtUserPort() {
    if (busy_) QApplication::restoreOverrideCursor();
}

MsgAnswer QtUserPort::MessageBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                                 const std::string& title) {
    return Show(MessageRequest{text, icon, buttons, title, false, {}, nullptr});
}

MsgAnswer QtUserPort::AskDefaultNo(const std::string& text, const std::string& title) {
    return Show(MessageRequest{text, MsgIcon::Question, MsgButtons::YesNo, title, /*defaultNo=*/true, {}, nullptr});
}

MsgAnswer QtUserPort::PreviewBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                                 const std::string& title, FileList& files) {
    MessageRequest request{text, icon, buttons, title, false, {}, nullptr};
    request.files = &files;
    return Show(request);
}

MsgAnswer QtUserPort::Show(const MessageRequest& request) {
    // After a stop signal nothing waits for an answer that will not come.
    if (StopSignalled()) return request.buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::OK;
    return messenger_.Show(request);
}

void QtUserPort::ShowSummary(const std::string& text, MsgIcon icon, const std::string& title,
                             const std::vector<OpenablePlace>& places) {
    if (StopSignalled()) return;
    messenger_.Show(MessageRequest{text, icon, MsgButtons::OK, title, false, places, nullptr});
}

void QtUserPort::ShowRunSummary(const std::string& text, MsgIcon icon, const std::string& title,
                                const std::vector<OpenablePlace>& places, const CardCheck& card) {
    if (StopSignalled()) return;
    MessageRequest request{text, icon, MsgButtons::OK, title, false, places, nullptr};
    request.card = &card;
    messenger_.Show(request);
}

void QtUserPort::SetBusy(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    if (busy)
        QApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
    else
        QApplication::restoreOverrideCursor();
}

void QtUserPort::SetMainWindowEnabled(bool enabled) {
    if (body_ != nullptr) body_->setEnabled(enabled);
}

FrmProgress& QtUserPort::Progress() {
    if (progress_ == nullptr) progress_ = new FrmProgress(owner_);
    return *progress_;
}

void QtUserPort::ProgressSetTitle(const std::string& title) {
    Progress().setWindowTitle(QString::fromStdString(title));
}

namespace {

// A clock of a few milliseconds' resolution, ample for the interval and cheap
// enough to ask a dozen times per file.
std::int64_t CoarseMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

bool QtUserPort::PumpDue() const {
    return lastPumpMs_ < 0 || CoarseMilliseconds() - lastPumpMs_ >= pumpIntervalMs_;
}

bool QtUserPort::Deferring() const { return progress_ != nullptr && progress_->isVisible() && !PumpDue(); }

void QtUserPort::ApplyPendingProgress() {
    if (messagePending_) Progress().SetMessage(QString::fromStdString(pendingMessage_));
    if (valuePending_) Progress().SetValue(pendingValue_);
    if (filePending_) Progress().SetFile(QString::fromStdString(pendingFile_));
    if (bytesPending_) {
        const double seconds = static_cast<double>(CoarseMilliseconds() - shownMs_) / 1000.0;
        Progress().SetBytes(QString::fromStdString(ByteProgressText(bytesDone_, bytesTotal_, seconds)));
    }
    messagePending_ = valuePending_ = filePending_ = bytesPending_ = false;
}

void QtUserPort::ProgressSetFile(const std::string& name) {
    pendingFile_ = name;
    filePending_ = true;
    if (!Deferring()) ApplyPendingProgress();
}

void QtUserPort::ProgressSetBytes(std::int64_t done, std::int64_t total) {
    bytesDone_ = done;
    bytesTotal_ = total;
    bytesPending_ = true;
    if (!Deferring()) ApplyPendingProgress();
}

// A pass sets the text and the bar for every file; setting the widgets each
// time (the bar repaints at once) would cost more than the file itself.
void QtUserPort::ProgressSetMessage(const std::string& message) {
    pendingMessage_ = message;
    messagePending_ = true;
    if (!Deferring()) ApplyPendingProgress();
}

void QtUserPort::ProgressSetRange(int minimum, int maximum) {
    ApplyPendingProgress();
    Progress().SetRange(minimum, maximum);
}

void QtUserPort::ProgressSetValue(int value) {
    pendingValue_ = value;
    valuePending_ = true;
    if (!Deferring()) ApplyPendingProgress();
}

void QtUserPort::ProgressSetButtonCaption(const std::string& caption) {
    Progress().SetButtonCaption(QString::fromStdString(caption));
}

void QtUserPort::ProgressShow() {
    // A new pass: no file yet, its bytes counted from now.
    shownMs_ = CoarseMilliseconds();
    pendingFile_.clear();
    filePending_ = true;
    bytesPending_ = false;
    Progress().SetBytes(QString());
    ApplyPendingProgress();
    FrmProgress& window = Progress();
    window.show();
    window.raise();
    // The first pump after showing always runs, so the window paints before
    // the pass starts.
    lastPumpMs_ = -1;
}

void QtUserPort::ProgressHide() {
    if (progress_ == nullptr) return;
    ApplyPendingProgress();
    progress_->hide();
}

void QtUserPort::SetCancel(bool cancel) { Progress().SetCancel(cancel); }

bool QtUserPort::Cancel() const { return StopSignalled() || (progress_ != nullptr && progress_->Cancel()); }

void QtUserPort::PumpEvents() {
    if (!PumpDue()) return;
    ApplyPendingProgress();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    ++pumpsProcessed_;
    lastPumpMs_ = CoarseMilliseconds();
}

}  // namespace ravlen::ui
