#include "platform/mount_watch.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/temp_dir.h"

namespace ravlen {
namespace {

// In a child with a mount namespace of its own (as `unshare -m` makes), so
// that its mounts touch nobody else: what the watch tells of a real mount and
// unmount. The child's exit status says which step failed; 77 that the
// namespace could not be had.
int WatchInPrivateNamespace(const std::string& folder) {
    if (unshare(CLONE_NEWNS) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return 77;
    // Nothing of ours propagates back to the machine's own table.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 77;
    MountTableWatch watch;
    if (!watch.Valid()) return 1;
    if (watch.Wait(0) != MountTableWatch::Event::TimedOut) return 2;  // nothing changed yet
    if (mount("ravlen-test", folder.c_str(), "tmpfs", 0, "size=64k") != 0) return 77;
    if (watch.Wait(1000) != MountTableWatch::Event::Changed) return 3;
    if (watch.Wait(0) != MountTableWatch::Event::TimedOut) return 4;  // told once
    if (umount(folder.c_str()) != 0) return 5;
    if (watch.Wait(1000) != MountTableWatch::Event::Changed) return 6;
    return 0;
}

TEST(MountTableWatch, TellsEachMountAndUnmountOnce) {
    test::TempDir root;
    const std::string folder = root.Mkdir("card");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(WatchInPrivateNamespace(folder));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failed step";
}

TEST(MountTableWatch, WithoutTableTellsFailure) {
    MountTableWatch watch("/no/such/mountinfo");
    EXPECT_FALSE(watch.Valid());
    EXPECT_EQ(watch.Wait(0), MountTableWatch::Event::Failed);
}

}  // namespace
}  // namespace ravlen
