#include "app/records/number_store.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace ravlen {
namespace {

using test::TempDir;

std::unique_ptr<SqliteContinuingNumbers> OpenAt(const std::string& path) {
    std::string error;
    auto numbers = SqliteContinuingNumbers::Open(path, error);
    EXPECT_TRUE(numbers) << error;
    return numbers;
}

TEST(ContinuingNumbers, CountPerScopeAndComeBackOnlyWhileTheLast) {
    TempDir dir;
    const std::string path = dir / "data/Ravlen/numbers.sqlite";
    EXPECT_FALSE(SqliteContinuingNumbers::OpenReadOnly(path)) << "no record yet";
    auto numbers = OpenAt(path);
    ASSERT_TRUE(numbers);
    EXPECT_EQ(numbers->Next("all"), 1);
    for (std::int64_t n = 1; n <= 3; ++n) EXPECT_EQ(numbers->Take("all"), n);
    EXPECT_EQ(numbers->Take("day 2024-07-14"), 1);
    EXPECT_EQ(numbers->Take("job Smith"), 1);
    // The last one comes back; one with a later number after it never does.
    numbers->GiveBack("all", 3);
    EXPECT_EQ(numbers->Next("all"), 3);
    EXPECT_EQ(numbers->Take("all"), 3);
    EXPECT_EQ(numbers->Take("all"), 4);
    numbers->GiveBack("all", 3);
    EXPECT_EQ(numbers->Take("all"), 5);
    numbers->Keep("all", 5);
    numbers->GiveBack("all", 5);  // an undo of the file that kept it
    EXPECT_EQ(numbers->Next("all"), 5);
    // A preview reads the record without taking from it.
    auto look = SqliteContinuingNumbers::OpenReadOnly(path);
    ASSERT_TRUE(look);
    EXPECT_EQ(look->Next("all"), 5);
    EXPECT_EQ(look->Take("all"), 0);
    EXPECT_EQ(look->Next("day 2024-07-14"), 2);
}

// Three runs, the second killed: the numbers it held and never kept come
// back, the one it kept stays its file's.
TEST(ContinuingNumbers, AKilledRunsHeldNumbersComeBackAtTheNextOpening) {
    TempDir dir;
    const std::string path = dir / "numbers.sqlite";
    {
        auto first = OpenAt(path);
        for (std::int64_t n = 1; n <= 3; ++n) first->Keep("all", first->Take("all"));
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string error;
        auto second = SqliteContinuingNumbers::Open(path, error);
        if (!second || second->Take("all") != 4 || second->Take("all") != 5 || second->Take("all") != 6) _exit(1);
        second->Keep("all", 4);
        _exit(0);  // killed: 5 and 6 are still held
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    auto third = OpenAt(path);
    EXPECT_EQ(third->Take("all"), 5);
    EXPECT_EQ(third->Take("all"), 6);
}

TEST(ContinuingNumbers, TwoRunsAtOnceNeverShareANumber) {
    TempDir dir;
    const std::string path = dir / "numbers.sqlite";
    OpenAt(path);
    std::vector<std::int64_t> taken[2];
    std::vector<std::thread> runs;
    for (auto& mine : taken)
        runs.emplace_back([&path, &mine] {
            std::string error;
            auto numbers = SqliteContinuingNumbers::Open(path, error);
            for (int i = 0; numbers && i < 100; ++i) mine.push_back(numbers->Take("job Wedding"));
        });
    for (std::thread& run : runs) run.join();
    std::vector<std::int64_t> all = taken[0];
    all.insert(all.end(), taken[1].begin(), taken[1].end());
    std::sort(all.begin(), all.end());
    ASSERT_EQ(all.size(), 200u);
    for (std::size_t i = 0; i < all.size(); ++i) ASSERT_EQ(all[i], static_cast<std::int64_t>(i + 1));
}

}  // namespace
}  // namespace ravlen
