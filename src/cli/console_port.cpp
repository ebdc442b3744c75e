#include "cli/console_port.h"

#include <cstring>

#include "platform/stop_signals.h"

namespace ravlen {

namespace {

// Redraws of the progress line are limited to this rate; a pass over small
// files can step thousands of times a second.
constexpr std::chrono::milliseconds kRedrawInterval{100};

}  // namespace

std::string ConsoleText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

ConsolePort::ConsolePort(std::FILE* out, bool answerYes, std::FILE* progress)
    : out_(out), answerYes_(answerYes), progress_(progress) {}

void ConsolePort::CatchInterrupt() { CatchStopSignals(); }

bool ConsolePort::Interrupted() { return StopSignalled(); }

bool ConsolePort::Cancel() const { return cancel_ || Interrupted(); }

MsgAnswer ConsolePort::MessageBox(const std::string& text, MsgIcon, MsgButtons buttons, const std::string&) {
    ClearProgress();
    if (!firstMessage_) std::fputc('\n', out_);
    firstMessage_ = false;
    std::fputs(ConsoleText(text).c_str(), out_);
    std::fputc('\n', out_);
    MsgAnswer answer = MsgAnswer::OK;
    if (buttons == MsgButtons::YesNo) {
        // After Ctrl+C nothing more is started, whatever --yes says.
        answer = (answerYes_ && !Interrupted()) ? MsgAnswer::Yes : MsgAnswer::No;
        std::fputs(answer == MsgAnswer::Yes ? "[Yes]\n" : "[No]\n", out_);
    }
    std::fflush(out_);
    DrawProgress(true);
    return answer;
}

void ConsolePort::ProgressSetTitle(const std::string& title) { title_ = title; }

void ConsolePort::ProgressSetMessage(const std::string& message) {
    message_ = message;
    DrawProgress(false);
}

void ConsolePort::ProgressShow() {
    visible_ = true;
    DrawProgress(true);
}

void ConsolePort::ProgressHide() {
    ClearProgress();
    visible_ = false;
}

void ConsolePort::DrawProgress(bool force) {
    if (!progress_ || !visible_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && drawn_ && now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    // Carriage return, the line, then erase whatever a longer line left.
    std::fprintf(progress_, "\r%s %s\x1b[K", title_.c_str(), message_.c_str());
    std::fflush(progress_);
    drawn_ = true;
}

void ConsolePort::ClearProgress() {
    if (!progress_ || !drawn_) return;
    std::fputs("\r\x1b[K", progress_);
    std::fflush(progress_);
    drawn_ = false;
}

}  // namespace ravlen
