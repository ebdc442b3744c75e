#include "app/recovery.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>


namespace ravlen {
namespace {

constexpr std::size_t kCompareChunk = 1024 * 1024;
constexpr std::size_t kMaxListed = 10;

long ReadUpTo(int fd, char* buffer, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = read(fd, buffer + got, n - got);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r == 0) break;
        got += static_cast<std::size_t>(r);
    }
    return static_cast<long>(got);
}

// Whether `copy` holds the first bytes of `original` (all of them, or fewer:
// a copy cut short), as the run being recovered would have left it.
bool HoldsStartOf(const std::string& copy, const std::string& original, struct stat& copyStat) {
    const int c = open(copy.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    const int o = open(original.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat os{};
    bool same = c >= 0 && o >= 0 && fstat(c, &copyStat) == 0 && fstat(o, &os) == 0 && S_ISREG(copyStat.st_mode) &&
                S_ISREG(os.st_mode) && copyStat.st_size <= os.st_size &&
                !(copyStat.st_dev == os.st_dev && copyStat.st_ino == os.st_ino);
    std::unique_ptr<char[]> a(same ? new char[kCompareChunk] : nullptr), b(same ? new char[kCompareChunk] : nullptr);
    while (same) {
        const long na = ReadUpTo(c, a.get(), kCompareChunk);
        if (na <= 0) {
            same = na == 0;
            break;
        }
        same = ReadUpTo(o, b.get(), static_cast<std::size_t>(na)) == na &&
               std::memcmp(a.get(), b.get(), static_cast<std::size_t>(na)) == 0;
    }
    if (c >= 0) close(c);
    if (o >= 0) close(o);
    return same;
}

bool Exists(const std::string& path) {
    struct stat st{};
    return lstat(path.c_str(), &st) == 0;
}

}  // namespace

std::string RecoverAbandonedPlacements(IntentRecord& record, FileSystem& fs) {
    const std::vector<PlannedPlacement> plans = record.Abandoned();
    if (plans.empty()) return "";
    std::int64_t putBack = 0, removed = 0;
    std::vector<std::string> leftAlone;
    for (const PlannedPlacement& plan : plans) {
        const bool source = Exists(plan.Source), target = Exists(plan.Target);
        if (source && target) {
            // A copy, whole or cut short, beside the file it was made from.
            struct stat copy{}, now{};
            if (HoldsStartOf(plan.Target, plan.Source, copy) && lstat(plan.Target.c_str(), &now) == 0 &&
                now.st_ino == copy.st_ino && now.st_dev == copy.st_dev && unlink(plan.Target.c_str()) == 0)
                ++removed;
            else
                leftAlone.push_back(plan.Target + " (it is not a copy of " + plan.Source + ")");
        } else if (target) {
            // Moved: it goes back, so that the log and the file agree again.
            const FsStatus moved = fs.MoveFile(plan.Target, plan.Source);
            if (moved) ++putBack;
            else leftAlone.push_back(plan.Target + " (" + moved.error + ")");
        }
        record.Done(plan.Id);
    }
    std::string text =
        "The last run ended before it finished (it was killed, or the computer stopped). The files it was "
        "placing have been put back where they were:\r\n\r\n";
    text += "    " + std::to_string(putBack) + " moved files returned to their original names\r\n";
    text += "    " + std::to_string(removed) + " unfinished or duplicate copies removed\r\n";
    if (!leftAlone.empty()) {
        text += "\r\nLeft alone:\r\n";
        for (std::size_t i = 0; i < leftAlone.size() && i < kMaxListed; ++i) text += "    " + leftAlone[i] + "\r\n";
        if (leftAlone.size() > kMaxListed)
            text += "    and " + std::to_string(leftAlone.size() - kMaxListed) + " more\r\n";
    }
    text += "\r\nStart the run again to place them.";
    return text;
}

}  // namespace ravlen
