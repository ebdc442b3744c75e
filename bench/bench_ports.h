#pragma once
// User ports for the benchmark: one that does nothing but note when each
// tenth of a pass was reached, and one that times every progress and event
// call of the port it wraps.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "model/user_port.h"
#include "support/memory_stream.h"

namespace ravlen::bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Answers every question with its safe answer, shows nothing, and records the
// moment the progress value passes each tenth of the expected total (calling
// `atTenth` there, if given).
class QuietPort : public test::NullPort {
public:
    std::function<void()> atTenth;

    void Arm(int total) {
        total_ = total > 0 ? total : 1;
        marks_.assign(1, {0, Clock::now()});
    }
    // Files per second over the first and over the last tenth of the pass
    // (0 when the pass was too short to tell).
    double FirstTenthRate() const { return Rate(0); }
    double LastTenthRate() const { return marks_.size() >= 11 ? Rate(marks_.size() - 2) : 0.0; }

    void ProgressSetValue(int value) override {
        const std::size_t tenth = marks_.size();
        if (tenth <= 10 && static_cast<std::int64_t>(value) * 10 >=
                               static_cast<std::int64_t>(total_) * static_cast<std::int64_t>(tenth))
        {
            marks_.push_back({value, Clock::now()});
            if (atTenth) atTenth();
        }
    }

private:
    struct Mark {
        int value;
        Clock::time_point at;
    };
    double Rate(std::size_t i) const {
        if (i + 1 >= marks_.size()) return 0.0;
        const double s = Seconds(marks_[i + 1].at - marks_[i].at);
        return s > 0 ? (marks_[i + 1].value - marks_[i].value) / s : 0.0;
    }
    int total_ = 1;
    std::vector<Mark> marks_;
};

// Forwards everything to another port and adds up the time spent in the
// calls a pass makes for every file: the progress text and bar, the event
// processing and the Cancel poll.
class TimingPort : public UserPort {
public:
    explicit TimingPort(UserPort& inner) : inner_(inner) {}
    double PortSeconds() const { return Seconds(spent_); }
    std::uint64_t Calls() const { return calls_; }

    MsgAnswer MessageBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                         const std::string& title) override {
        return inner_.MessageBox(text, icon, buttons, title);
    }
    void SetBusy(bool busy) override { inner_.SetBusy(busy); }
    void SetMainWindowEnabled(bool enabled) override { inner_.SetMainWindowEnabled(enabled); }
    void ProgressSetTitle(const std::string& title) override { inner_.ProgressSetTitle(title); }
    void ProgressSetMessage(const std::string& message) override {
        Timed([&] { inner_.ProgressSetMessage(message); });
    }
    void ProgressSetRange(int minimum, int maximum) override { inner_.ProgressSetRange(minimum, maximum); }
    void ProgressSetValue(int value) override {
        Timed([&] { inner_.ProgressSetValue(value); });
    }
    void ProgressSetButtonCaption(const std::string& caption) override { inner_.ProgressSetButtonCaption(caption); }
    void ProgressShow() override { inner_.ProgressShow(); }
    void ProgressHide() override { inner_.ProgressHide(); }
    void SetCancel(bool cancel) override { inner_.SetCancel(cancel); }
    bool Cancel() const override {
        bool c = false;
        Timed([&] { c = inner_.Cancel(); });
        return c;
    }
    void PumpEvents() override {
        Timed([&] { inner_.PumpEvents(); });
    }

private:
    template <typename F>
    void Timed(F&& f) const {
        const auto t0 = Clock::now();
        f();
        spent_ += Clock::now() - t0;
        ++calls_;
    }
    UserPort& inner_;
    mutable Clock::duration spent_{};
    mutable std::uint64_t calls_ = 0;
};

}  // namespace ravlen::bench
