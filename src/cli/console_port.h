#pragma once
// The user port of the console runner: message boxes become text on stdout,
// questions are answered from the command line, the progress window becomes
// one updating line on a terminal's stderr, and Ctrl+C (or SIGTERM, SIGHUP)
// is the Stop button.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "model/user_port.h"

namespace ravlen {

class ConsolePort : public UserPort {
public:
    // `answerYes`: every question is answered Yes (else No). `progress`: where
    // the progress line goes, or null for none.
    ConsolePort(std::FILE* out, bool answerYes, std::FILE* progress);

    // Ctrl+C, SIGTERM and SIGHUP from now on ask the running pass to stop
    // after its current file and answer every later question No.
    static void CatchInterrupt();
    static bool Interrupted();

    MsgAnswer MessageBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                         const std::string& title) override;
    // The message, then a line naming each place ("Output folder: …").
    void ShowSummary(const std::string& text, MsgIcon icon, const std::string& title,
                     const std::vector<OpenablePlace>& places) override;
    bool AnswersAtOnce() const override { return true; }  // from the command line, never from a person
    void SetBusy(bool) override {}
    void SetMainWindowEnabled(bool) override {}

    void ProgressSetTitle(const std::string& title) override;
    void ProgressSetMessage(const std::string& message) override;
    // The count comes with the message, and the rate is told in bytes.
    void ProgressSetRange(int, int) override {}
    void ProgressSetValue(int) override {}
    void ProgressSetButtonCaption(const std::string&) override {}
    void ProgressSetFile(const std::string& name) override;
    void ProgressSetBytes(std::int64_t done, std::int64_t total) override;
    void ProgressShow() override;
    void ProgressHide() override;
    void SetCancel(bool cancel) override { cancel_ = cancel; }
    bool Cancel() const override;
    void PumpEvents() override {}

private:
    void DrawProgress(bool force);
    void ClearProgress();

    std::FILE* out_;
    bool answerYes_;
    std::FILE* progress_;
    bool firstMessage_ = true;
    bool cancel_ = false;
    bool visible_ = false;
    bool drawn_ = false;
    std::string title_;
    std::string message_;
    std::string file_;
    std::int64_t bytesDone_ = 0, bytesTotal_ = 0;
    std::chrono::steady_clock::time_point shown_{};
    std::chrono::steady_clock::time_point lastDraw_{};
};

// The progress line's text, cut to `columns` characters: the title and count,
// the current file, the bytes done of all, and once a rate can be told,
// bytes per second and the time left.
std::string ProgressLine(const std::string& title, const std::string& count, const std::string& file,
                         std::int64_t bytesDone, std::int64_t bytesTotal, double seconds, std::size_t columns);

// Message text as lines for a terminal: CR LF (and a stray CR) become "\n".
std::string ConsoleText(const std::string& text);

}  // namespace ravlen
