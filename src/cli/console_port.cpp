#include "cli/console_port.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cmath>
#include <cstring>

#include "model/report_text.h"
#include "platform/stop_signals.h"

namespace ravlen {

namespace {

// Redraws of the progress line are limited to this rate; a pass over small
// files can step thousands of times a second.
constexpr std::chrono::milliseconds kRedrawInterval{100};

// Cuts a UTF-8 text to at most `limit` characters without splitting one.
std::string CutToCharacters(const std::string& text, std::size_t limit) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (characters++ == limit) return text.substr(0, i);
    }
    return text;
}

std::size_t Characters(const std::string& text) {
    std::size_t n = 0;
    for (const char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

std::size_t TerminalColumns(std::FILE* stream) {
    winsize size{};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

}  // namespace

std::string ProgressLine(const std::string& title, const std::string& count, const std::string& file,
                         std::int64_t bytesDone, std::int64_t bytesTotal, double seconds, std::size_t columns) {
    const std::string tail = "  " + ByteProgressText(bytesDone, bytesTotal, seconds);
    // A name may hold control characters; the terminal must not act on them.
    std::string name = file;
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    std::string line = title + " " + count;
    // The file name gets what the rest leaves of the line; a terminal that
    // wraps the line would scroll instead of updating it.
    const std::size_t used = Characters(line) + Characters(tail) + 2;
    if (!name.empty() && columns > used + 3) line += "  " + CutToCharacters(name, columns - used - 1);
    line += tail;
    return columns > 1 ? CutToCharacters(line, columns - 1) : line;
}

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

void ConsolePort::ShowSummary(const std::string& text, MsgIcon icon, const std::string& title,
                              const std::vector<OpenablePlace>& places) {
    std::string lines = text + "\r\n";
    for (const OpenablePlace& place : places) lines += "\r\n" + place.What + ": " + place.Path;
    MessageBox(lines, icon, MsgButtons::OK, title);
}

void ConsolePort::ProgressSetFile(const std::string& name) {
    file_ = name;
    DrawProgress(false);
}

void ConsolePort::ProgressSetBytes(std::int64_t done, std::int64_t total) {
    bytesDone_ = done;
    bytesTotal_ = total;
    DrawProgress(false);
}

void ConsolePort::ProgressShow() {
    visible_ = true;
    shown_ = std::chrono::steady_clock::now();
    file_.clear();
    bytesDone_ = bytesTotal_ = 0;
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
    const double seconds = std::chrono::duration<double>(now - shown_).count();
    const std::string line =
        ProgressLine(title_, message_, file_, bytesDone_, bytesTotal_, seconds, TerminalColumns(progress_));
    // Carriage return, the line, then erase whatever a longer line left.
    std::fprintf(progress_, "\r%s\x1b[K", line.c_str());
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
