#pragma once
// The user port of the window: message boxes, the busy pointer, the main
// window's enabled state and the progress window.

#include <cstdint>
#include <string>

#include "model/user_port.h"
#include "ui/messages.h"

class QWidget;

namespace ravlen::ui {

class FrmProgress;

class QtUserPort : public UserPort {
public:
    // `owner` owns the progress window; `body` is what is disabled during a
    // pass (the window's controls, so that the progress window stays usable).
    QtUserPort(QWidget* owner, QWidget* body, const Messenger& messenger);
    ~QtUserPort() override;

    MsgAnswer MessageBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                         const std::string& title) override;
    void ShowSummary(const std::string& text, MsgIcon icon, const std::string& title,
                     const std::vector<OpenablePlace>& places) override;
    void ShowRunSummary(const std::string& text, MsgIcon icon, const std::string& title,
                        const std::vector<OpenablePlace>& places, const CardCheck& card) override;
    MsgAnswer AskDefaultNo(const std::string& text, const std::string& title) override;
    MsgAnswer PreviewBox(const std::string& text, MsgIcon icon, MsgButtons buttons, const std::string& title,
                         FileList& files) override;
    void SetBusy(bool busy) override;
    void SetMainWindowEnabled(bool enabled) override;

    void ProgressSetTitle(const std::string& title) override;
    void ProgressSetMessage(const std::string& message) override;
    void ProgressSetRange(int minimum, int maximum) override;
    void ProgressSetValue(int value) override;
    void ProgressSetButtonCaption(const std::string& caption) override;
    void ProgressSetFile(const std::string& name) override;
    void ProgressSetBytes(std::int64_t done, std::int64_t total) override;
    void ProgressShow() override;
    void ProgressHide() override;
    void SetCancel(bool cancel) override;
    bool Cancel() const override;

    // Processes pending events at most once per interval: often enough for a
    // live window and a prompt Stop, seldom enough to cost the pass little.
    void PumpEvents() override;
    void SetPumpInterval(int milliseconds) { pumpIntervalMs_ = milliseconds; }
    int PumpsProcessed() const { return pumpsProcessed_; }

    // The progress window, created on first use.
    FrmProgress& Progress();
    bool HasProgress() const { return progress_ != nullptr; }

private:
    MsgAnswer Show(const MessageRequest& request);
    // Whether the interval since the last round of events has passed.
    bool PumpDue() const;
    // The progress text and bar value wait while the window is on screen and
    // events are not due: they are only drawn when events are processed.
    bool Deferring() const;
    void ApplyPendingProgress();

    QWidget* owner_;
    QWidget* body_;
    const Messenger& messenger_;
    FrmProgress* progress_ = nullptr;
    bool busy_ = false;
    std::int64_t lastPumpMs_ = -1;  // when events were last processed; -1: never since shown
    int pumpIntervalMs_ = 40;
    int pumpsProcessed_ = 0;
    std::string pendingMessage_;
    int pendingValue_ = 0;
    bool messagePending_ = false;
    bool valuePending_ = false;
    std::string pendingFile_;
    std::int64_t bytesDone_ = 0, bytesTotal_ = 0;
    bool filePending_ = false;
    bool bytesPending_ = false;
    std::int64_t shownMs_ = 0;  // when the window was shown: the rate's start
};

}  // namespace ravlen::ui
