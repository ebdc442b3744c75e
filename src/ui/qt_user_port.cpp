#include "ui/qt_user_port.h"

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include "ui/progress_window.h"

namespace ravlen::ui {

QtUserPort::QtUserPort(QWidget* owner, QWidget* body, const Messenger& messenger)
    : owner_(owner), body_(body), messenger_(messenger) {}

QtUserPort::~QtUserPort() {
    if (busy_) QApplication::restoreOverrideCursor();
}

MsgAnswer QtUserPort::MessageBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                                 const std::string& title) {
    return messenger_.Show(text, icon, buttons, title);
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

void QtUserPort::ProgressSetMessage(const std::string& message) {
    Progress().SetMessage(QString::fromStdString(message));
}

void QtUserPort::ProgressSetRange(int minimum, int maximum) { Progress().SetRange(minimum, maximum); }

void QtUserPort::ProgressSetValue(int value) { Progress().SetValue(value); }

void QtUserPort::ProgressSetButtonCaption(const std::string& caption) {
    Progress().SetButtonCaption(QString::fromStdString(caption));
}

void QtUserPort::ProgressShow() {
    FrmProgress& window = Progress();
    window.show();
    window.raise();
    // The first pump after showing always runs, so the window paints before
    // the pass starts.
    sinceLastPump_.invalidate();
}

void QtUserPort::ProgressHide() {
    if (progress_ != nullptr) progress_->hide();
}

void QtUserPort::SetCancel(bool cancel) { Progress().SetCancel(cancel); }

bool QtUserPort::Cancel() const { return progress_ != nullptr && progress_->Cancel(); }

void QtUserPort::PumpEvents() {
    if (sinceLastPump_.isValid() && sinceLastPump_.elapsed() < pumpIntervalMs_) return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    ++pumpsProcessed_;
    sinceLastPump_.start();
}

}  // namespace ravlen::ui
