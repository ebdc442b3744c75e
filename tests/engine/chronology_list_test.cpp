#include "engine/chronology_list.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

namespace ravlen {
namespace {

// Runs check in a child that has `seconds` to finish, so that a probe loop
// that never ends (a full index) fails the test instead of hanging it.
int WithinSeconds(unsigned seconds, const std::function<int()>& check) {
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(seconds);
        _exit(check());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Enough keys and names to grow both indexes several times over, every one of
// them still found afterwards and nothing else.
TEST(ChronologyList, FindsEveryKeyAndNameAfterGrowing) {
    const int outcome = WithinSeconds(10, [] {
        constexpr int kSeconds = 500, kSerials = 40;
        const DateTime start = DateTime::FromCivilSeconds(63'240'000'000);
        const auto name = [](int second, int serial) {
            return std::to_string(second) + "_" + std::to_string(serial) + ".jpg";
        };
        ChronologyList list;
        for (int second = 0; second < kSeconds; ++second)
            for (int serial = 0; serial < kSerials; ++serial) {
                list.Append(start.PlusSeconds(second), serial);
                if (serial % 2 == 0) list.Produce("/out", name(second, serial));
            }
        int faults = 0;
        for (int second = 0; second < kSeconds; ++second) {
            for (int serial = 0; serial < kSerials; ++serial) {
                if (!list.Contains(start.PlusSeconds(second), serial)) faults |= 1;
                if (list.Produced("/out", name(second, serial)) != (serial % 2 == 0)) faults |= 2;
            }
            if (list.Contains(start.PlusSeconds(second), kSerials) || list.Produced("/in", name(second, 0)))
                faults |= 4;
        }
        if (list.Contains(start.PlusSeconds(-1), 0)) faults |= 4;
        const std::string text = list.Text();
        if (std::count(text.begin(), text.end(), '|') != kSeconds * kSerials + 1) faults |= 8;
        list.Reset();
        if (list.Contains(start, 0) || list.Produced("/out", name(0, 0)) || list.Text() != "|") faults |= 16;
        return faults;
    });
    EXPECT_EQ(outcome, 0) << "1 key lost, 2 name lost or invented, 4 key or name invented, 8 text, 16 reset, "
                          << 128 + SIGALRM << " an endless probe";
}

}  // namespace
}  // namespace ravlen
