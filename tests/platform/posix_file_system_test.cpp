#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix_file_system.h"
#include "support/temp_dir.h"
#include "support/tmpfs_mount.h"

namespace ravlen {
namespace {

using test::ReadAll;
using test::TempDir;
namespace fsys = std::filesystem;

// Faults injected into the low-level steps: a refused rename flag, another
// file system, a disk that fills up or a read that fails halfway; a file
// system without unnamed files, links or in-kernel copies (exFAT through FUSE).
class FaultyFs : public PosixFileSystem {
public:
    int renameError = 0, linkError = 0, unnamedError = 0, rangeError = 0;
    int readError = 0, writeError = 0, syncError = 0;
    std::uint64_t written = 0;  // bytes that reached a copy
    int goodChunks = 1;  // chunks that get through before a read or write fault
    std::function<void()> midCopy;  // runs once, after the first chunk of a copy

protected:
    long CopyRange(int in, int out, unsigned long n) override {
        if (rangeError || readError || writeError || midCopy) return errno = rangeError ? rangeError : EXDEV, -1;
        return Count(PosixFileSystem::CopyRange(in, out, n));
    }
    int OpenUnnamed(int dirfd, unsigned mode) override {
        return unnamedError ? (errno = unnamedError, -1) : PosixFileSystem::OpenUnnamed(dirfd, mode);
    }
    int HardLink(int fromDir, const char* from, int toDir, const char* to) override {
        return linkError ? linkError : PosixFileSystem::HardLink(fromDir, from, toDir, to);
    }
    long ReadChunk(int fd, char* b, unsigned long n) override {
        return readError && reads_++ >= goodChunks ? (errno = readError, -1) : PosixFileSystem::ReadChunk(fd, b, n);
    }
    long WriteChunk(int fd, const char* b, unsigned long n) override {
        if (midCopy) std::exchange(midCopy, nullptr)();
        return writeError && writes_++ >= goodChunks ? (errno = writeError, -1)
                                                     : Count(PosixFileSystem::WriteChunk(fd, b, n));
    }
    int SyncFile(int fd) override { return syncError ? (errno = syncError, -1) : PosixFileSystem::SyncFile(fd); }
    int RenameNoReplace(int fromDir, const char* from, int toDir, const char* to) override {
        return renameError ? renameError : PosixFileSystem::RenameNoReplace(fromDir, from, toDir, to);
    }

private:
    long Count(long n) {
        if (n > 0) written += static_cast<std::uint64_t>(n);
        return n;
    }
    int reads_ = 0, writes_ = 0;
};

// Permission checks mean nothing to root: run the check as an ordinary user.
int AsOrdinaryUser(const std::function<int()>& check) {
    if (geteuid() != 0) return check();
    const pid_t pid = fork();
    if (pid == 0) _exit(setgid(65534) == 0 && setuid(65534) == 0 ? check() : 99);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

void SetModified(const std::string& path, std::time_t t) {
    const timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 7 % 251);
    return s;
}

TEST(PosixFileSystem, ListsFilesAndFoldersByNameWithoutFollowingLinks) {
    TempDir tmp;
    for (const char* name : {"IMG_0001.JPG", "with space 'q\".jpg", "new\nline.jpg", "bad\xff\xfe.jpg", ".hidden"})
        tmp.Write(name, "12345");
    tmp.Mkdir("DCIM");
    tmp.Mkdir(".thumbs");
    ASSERT_EQ(symlink(tmp.path().c_str(), (tmp / "loop").c_str()), 0);
    ASSERT_EQ(symlink((tmp / "IMG_0001.JPG").c_str(), (tmp / "link.jpg").c_str()), 0);
    ASSERT_EQ(mkfifo((tmp / "pipe").c_str(), 0600), 0);
    SetModified(tmp / "IMG_0001.JPG", 1103998151);  // 2004-12-25 18:09:11 UTC

    // Files and folders only, each sorted by name (bytes), whatever order the directory holds them in.
    const std::string expectFiles = ".hidden|IMG_0001.JPG|bad\xff\xfe.jpg|new\nline.jpg|with space 'q\".jpg|";
    const std::string expectFolders = ".thumbs|DCIM|";
    std::string gotFiles, gotFolders;
    PosixFileSystem fs;
    std::vector<FsItem> files, folders;
    ASSERT_TRUE(fs.ListFolder(tmp.path(), files, folders));
    for (const auto& f : files) gotFiles += f.Name + "|";
    for (const auto& f : folders) gotFolders += f.Name + "|";
    EXPECT_EQ(gotFiles, expectFiles);
    EXPECT_EQ(gotFolders, expectFolders);
    EXPECT_EQ(fs.CountItems(tmp.path()), 7);

    for (const auto& f : files)
        EXPECT_TRUE(f.Path == tmp / f.Name && f.Size == 5 && f.Attributes == (f.Name == ".hidden" ? kAttrHidden : 0))
            << f.Name;
    EXPECT_EQ(fs.GetFile(tmp / "IMG_0001.JPG")->Modified.FormatFull(), "2004/12/25 18:09:11");
    EXPECT_FALSE(fs.GetFile(tmp / "link.jpg"));
    EXPECT_TRUE(fs.FileExists(tmp / "new\nline.jpg") && fs.FolderExists(tmp / "DCIM"));
    // Any entry takes a name; a folder named by the user may be reached through a link.
    EXPECT_TRUE(fs.FileExists(tmp / "link.jpg") && fs.FileExists(tmp / "DCIM") && fs.FolderExists(tmp / "loop"));
    EXPECT_FALSE(fs.FileExists(tmp / "missing.jpg") || fs.FolderExists(tmp / "link.jpg"));
    EXPECT_FALSE(fs.ListFolder(tmp / "gone", files, folders));
    EXPECT_TRUE(files.empty() && folders.empty());
    EXPECT_EQ(fs.CountItems(tmp / "gone"), -1);
}

// Read-only is the mode's own state, the same for root and for a user: no
// write bit for anyone. A move that cannot give up its source (a locked
// folder) leaves the file where it was and no copy behind.
TEST(PosixFileSystem, ReadOnlyIsTheModeWhoeverLooks) {
    TempDir tmp;
    ASSERT_EQ(chmod(tmp.path().c_str(), 0777), 0);
    const std::string from = tmp / "card/IMG_0001.JPG";
    const struct {
        const char* name;
        mode_t mode;
        bool readOnly;
    } files[] = {{"IMG_0001.JPG", 0666, false},  // writable, in a folder that is not
                 {"ro.jpg", 0444, true},         {"none.jpg", 0000, true},
                 {"owner.jpg", 0644, false},     {"others.jpg", 0442, false},  // others may write, the owner not
                 {"group.jpg", 0020, false}};
    int expected = 0;
    for (std::size_t i = 0; i < std::size(files); ++i) {
        chmod(tmp.Write(std::string("card/") + files[i].name, "photo").c_str(), files[i].mode);
        expected |= files[i].readOnly << i;
    }
    chmod((tmp / "card").c_str(), 0555);
    chmod(tmp.Mkdir("out").c_str(), 0777);
    const auto readOnlyBits = [&] {
        PosixFileSystem plain;
        std::vector<FsItem> found, folders, none;
        if (!plain.ListFolder(tmp / "card", found, none) || !plain.ListFolder(tmp.path(), none, folders)) return -1;
        int bits = 0;
        for (const auto& f : found)
            for (std::size_t i = 0; i < std::size(files); ++i)
                if (f.Name == files[i].name && (f.Attributes & kAttrReadOnly)) bits |= 1 << i;
        for (const auto& f : folders)
            if (f.Attributes & kAttrReadOnly) bits |= f.Name == "card" ? 64 : 128;
        return bits;
    };
    EXPECT_EQ(readOnlyBits(), expected | 64);
    EXPECT_EQ(AsOrdinaryUser([&] { return readOnlyBits(); }), expected | 64);
    const int moves = AsOrdinaryUser([&] {
        int bits = 0;
        for (const int refusal : {EINVAL, EXDEV}) {  // the link and the copy way round
            FaultyFs fs;
            fs.renameError = refusal;
            const FsStatus s = fs.MoveFile(from, tmp / "out/x.jpg");
            if (s.error != "Permission denied" || fsys::exists(tmp / "out/x.jpg") || ReadAll(from) != "photo")
                bits |= 1;
        }
        return bits;
    });
    EXPECT_EQ(moves, 0);
}

// A card's FAT attributes, from a driver that gives them (hidden and system
// bits, read-only) and from one that refuses the request (the exFAT driver of
// many kernels), which is asked once, never again for each file.
TEST(PosixFileSystem, FatAttributesAreAskedOfDriversThatGiveThem) {
    struct FatCard : PosixFileSystem {
        long type = 0;
        int refusal = 0, asked = 0;
        long FileSystemType(int) override { return type; }
        int FatAttributeBits(int, const char* name, bool, std::uint32_t& attr) override {
            ++asked;
            attr = std::string(name) == "IMG_0002.JPG" ? 0x02 | 0x04 : std::string(name) == "IMG_0003.JPG" ? 0x01 : 0;
            return refusal;
        }
    };
    TempDir tmp;
    for (const char* name : {"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"}) tmp.Write(std::string("card/") + name, "x");
    const auto attributes = [&](FatCard& fs) {
        std::vector<FsItem> files, folders;
        std::string bits;
        if (!fs.ListFolder(tmp / "card", files, folders)) return std::string("unlisted");
        for (const FsItem& f : files) bits += std::to_string(f.Attributes) + " ";
        return bits;
    };
    FatCard fat;
    fat.type = 0x4d44;  // FAT
    EXPECT_EQ(attributes(fat), "0 " + std::to_string(kAttrHidden | kAttrSystem) + " " + std::to_string(kAttrReadOnly) + " ");
    EXPECT_EQ(fat.asked, 3);
    FatCard exfat;
    exfat.type = 0x2011BAB0, exfat.refusal = ENOTTY;
    EXPECT_EQ(attributes(exfat), "0 0 0 ");
    EXPECT_EQ(attributes(exfat), "0 0 0 ");
    EXPECT_EQ(exfat.asked, 1);
    FatCard other;  // not FAT: never asked
    EXPECT_EQ(attributes(other), "0 0 0 ");
    EXPECT_EQ(other.asked, 0);
}

// A write-protected card: its files are not read-only themselves, so they are
// offered; a move out fails and a copy succeeds.
TEST(PosixFileSystem, AWriteProtectedCardIsNotReadOnlyFileByFile) {
    TempDir tmp;
    const std::string card = tmp.Mkdir("card");
    const test::TmpfsMount disk(card, "1m");
    if (!disk.Mounted()) GTEST_SKIP() << "cannot mount here";
    tmp.Write("card/IMG_0001.JPG", "photo");
    ASSERT_TRUE(disk.MakeReadOnly());
    PosixFileSystem fs;
    std::vector<FsItem> files, folders;
    ASSERT_TRUE(fs.ListFolder(card, files, folders));
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].Attributes & kAttrReadOnly, 0);
    EXPECT_EQ(fs.MoveFile(card + "/IMG_0001.JPG", tmp / "moved.jpg").error, "Read-only file system");
    EXPECT_TRUE(fs.CopyFile(card + "/IMG_0001.JPG", tmp / "copied.jpg"));
    EXPECT_EQ(ReadAll(tmp / "copied.jpg"), "photo");
}

TEST(PosixFileSystem, FindsFoldersAndSplitsPaths) {
    TempDir tmp;
    tmp.Mkdir("sub");
    const std::string real = fsys::canonical(tmp.path()).string();
    PosixFileSystem fs;
    const auto sub = fs.GetFolder(tmp.path() + "/sub/../sub/");
    ASSERT_TRUE(sub);
    EXPECT_EQ(sub->Path, real + "/sub");
    EXPECT_EQ(sub->ParentPath, real);
    EXPECT_EQ(fs.GetFolder(".")->Path, fsys::current_path().string());
    EXPECT_TRUE(fs.GetFolder("/")->IsRoot && !sub->IsRoot);
    EXPECT_FALSE(fs.GetFolder(tmp.Write("file", "x")) || fs.GetFolder(tmp / "missing"));

    const std::pair<const char*, const char*> parents[] = {
        {"/a/b", "/a"}, {"/a", "/"}, {"/a/b/", "/a"}, {"a", ""}, {"a/b", "a"}, {"/", ""}, {"", ""}, {"//a//b", "//a"}};
    for (const auto& [path, parent] : parents) EXPECT_EQ(fs.ParentPart(path), parent) << path;
    EXPECT_EQ(fs.DrivePart("/media/card"), "/");
    EXPECT_EQ(fs.DrivePart("Photos/2004"), "");
}

class MoveWhenRenameGives : public ::testing::TestWithParam<int> {};

// Whether the rename succeeds at once (0), refuses the no-replace flag, or
// crosses to another file system, a taken name is never replaced.
TEST_P(MoveWhenRenameGives, NeverReplacesAndMovesWhole) {
    TempDir tmp;
    const std::string a = tmp.Write("a.jpg", Pattern(3000)), b = tmp.Write("b.jpg", "BB");
    FaultyFs fs;
    fs.renameError = GetParam();
    EXPECT_EQ(fs.MoveFile(a, b).error, "File exists");
    EXPECT_TRUE(ReadAll(a) == Pattern(3000) && ReadAll(b) == "BB");
    EXPECT_EQ(fs.MoveFile(a, tmp / "c.jpg").error, "");
    EXPECT_TRUE(!fsys::exists(a) && ReadAll(tmp / "c.jpg") == Pattern(3000));
}
INSTANTIATE_TEST_SUITE_P(Platform, MoveWhenRenameGives, ::testing::Values(0, EINVAL, ENOSYS, EXDEV));

// Whether /dev/shm is another file system than the folder's.
bool ShmElsewhere(const TempDir& tmp) {
    struct stat shm{}, here{};
    return stat("/dev/shm", &shm) == 0 && stat(tmp.path().c_str(), &here) == 0 && shm.st_dev != here.st_dev;
}

TEST(PosixFileSystem, MovesAcrossFileSystemsKeepingTheDate) {
    TempDir tmp;
    if (!ShmElsewhere(tmp)) GTEST_SKIP() << "no second file system at hand";
    TempDir other("/dev/shm");
    const std::string from = tmp.Write("IMG_0001.JPG", Pattern(5000));
    SetModified(from, 1103998151);
    PosixFileSystem fs;
    ASSERT_EQ(fs.MoveFile(from, other / "20041225.JPG").error, "");
    EXPECT_TRUE(!fsys::exists(from) && ReadAll(other / "20041225.JPG") == Pattern(5000));
    EXPECT_EQ(fs.GetFile(other / "20041225.JPG")->Modified.FormatFull(), "2004/12/25 18:09:11");
}

// The file systems of a listed file and of the folder it goes into, told
// from the listing and the held folder; a card folder swapped for another file
// system's since it was listed still has its file moved whole.
TEST(PosixFileSystem, TellsFileSystemsApartFromTheListingAndTheHeldFolder) {
    TempDir tmp;
    if (!ShmElsewhere(tmp)) GTEST_SKIP() << "no second file system at hand";
    TempDir other("/dev/shm");
    const std::string card = tmp.Mkdir("card"), near = tmp.Mkdir("out"), far = other.Mkdir("out");
    const std::string photo = tmp.Write("card/IMG_0001.JPG", Pattern(5000));
    PosixFileSystem fs;
    std::vector<FsItem> files, folders;
    ASSERT_TRUE(fs.ListFolder(card, files, folders));
    for (const std::string& out : {near, far}) {
        EXPECT_EQ(fs.SameFileSystem(photo, out), out == near) << out << ", not held";
        ASSERT_TRUE(fs.HoldOutput(out));
        EXPECT_EQ(fs.SameFileSystem(photo, out), out == near) << out << ", held";
    }
    fsys::rename(card, tmp / "card.old");
    other.Mkdir("card");
    fsys::create_directory_symlink(other / "card", card);
    other.Write("card/IMG_0001.JPG", Pattern(6000));
    ASSERT_TRUE(fs.HoldOutput(near));
    EXPECT_TRUE(fs.SameFileSystem(photo, near)) << "as listed";
    ASSERT_TRUE(fs.MoveFile(photo, near + "/b.JPG"));
    EXPECT_EQ(ReadAll(near + "/b.JPG"), Pattern(6000));
    EXPECT_FALSE(fsys::exists(other / "card/IMG_0001.JPG"));
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fsys::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// How the file system takes a new copy: unnamed then linked, under a hidden
// temporary name, or only under its final name.
struct Placing { int unnamedError, renameError, linkError; };
class CopyPlacedAs : public ::testing::TestWithParam<Placing> {
protected:
    void Play(FaultyFs& fs) const {
        fs.unnamedError = GetParam().unnamedError, fs.renameError = GetParam().renameError;
        fs.linkError = GetParam().linkError;
    }
};

// A copy is whole, keeps the source's mode and dates, or is not there at all,
// and nothing but finished copies ever carries a name.
TEST_P(CopyPlacedAs, WholeOrNotAtAll) {
    struct Case { int readError, writeError, syncError; const char* text; };
    for (const Case c : {Case{0, 0, 0, ""}, Case{0, ENOSPC, 0, "No space left on device"},
                         Case{EIO, 0, 0, "Input/output error"}, Case{0, 0, EIO, "Input/output error"}}) {
        TempDir tmp;
        const std::string from = tmp.Write("a.MOV", Pattern(1024 * 1024 + 7));
        chmod(from.c_str(), 0640);
        SetModified(from, 1103998151);
        FaultyFs fs;
        Play(fs);
        fs.readError = c.readError, fs.writeError = c.writeError, fs.syncError = c.syncError;
        EXPECT_EQ(fs.CopyFile(from, tmp / "b.MOV").error, c.text);
        EXPECT_EQ(ReadAll(from), Pattern(1024 * 1024 + 7));
        if (*c.text) {
            EXPECT_EQ(Names(tmp.path()), std::vector<std::string>{"a.MOV"}) << c.text;
            continue;
        }
        struct stat copy{};
        ASSERT_EQ(stat((tmp / "b.MOV").c_str(), &copy), 0);
        EXPECT_EQ(ReadAll(tmp / "b.MOV"), Pattern(1024 * 1024 + 7));
        EXPECT_EQ(copy.st_mode & 0777, 0640u);
        EXPECT_EQ(copy.st_mtim.tv_sec, 1103998151);
        // A taken name is never replaced, and the refused copy leaves nothing.
        const std::string taken = tmp.Write("c.MOV", "CC");
        EXPECT_EQ(fs.CopyFile(from, taken).error, "File exists");
        EXPECT_EQ(ReadAll(taken), "CC");
        EXPECT_EQ(Names(tmp.path()), (std::vector<std::string>{"a.MOV", "b.MOV", "c.MOV"}));
    }
}
// A staged copy carries no final name until it is named; a name taken
// meanwhile is left alone, and a copy dropped unnamed leaves nothing behind.
TEST_P(CopyPlacedAs, StagedCopiesTakeTheirNamesOnlyWhenNamed) {
    TempDir tmp;
    const std::string from = tmp.Write("a.MOV", Pattern(300000)), other = tmp.Write("b.MOV", Pattern(7));
    FaultyFs fs;
    Play(fs);
    FsStatus status;
    auto copy = fs.StageCopy(from, tmp / "x.MOV", true, status);
    auto taken = fs.StageCopy(other, tmp / "y.MOV", false, status);
    auto dropped = fs.StageCopy(other, tmp / "z.MOV", false, status);
    ASSERT_TRUE(copy && taken && dropped) << status.error;
    for (const std::string& name : Names(tmp.path())) EXPECT_TRUE(name < "c" || name[0] == '.') << name;
    tmp.Write("y.MOV", "theirs");
    const std::uint64_t stagedBytes = fs.written;
    dropped.reset();
    ASSERT_EQ(fs.FlushFileSystem(tmp.path()).error, "");
    EXPECT_EQ(fs.VerifyStaged(*copy).error, "");
    EXPECT_EQ(fs.NameStaged(*copy).error, "");
    EXPECT_EQ(fs.NameStaged(*taken).error, "File exists");
    // Each copy's bytes written once, where it was staged or where it was named.
    EXPECT_EQ(fs.written, 300000u + (stagedBytes < 300000 ? 0u : 7u + 7u));
    taken.reset();
    EXPECT_EQ(ReadAll(tmp / "x.MOV"), Pattern(300000));
    EXPECT_EQ(ReadAll(tmp / "y.MOV"), "theirs");
    EXPECT_EQ(Names(tmp.path()), (std::vector<std::string>{"a.MOV", "b.MOV", "x.MOV", "y.MOV"}));
    // The source goes only while it is the file that was copied.
    SetModified(from, 1103998151);
    EXPECT_EQ(fs.GiveUpSource(*copy).error, "The file changed while it was being copied");
    EXPECT_TRUE(copy->SourceChanged);
    fs.RemoveNamed(*copy);
    EXPECT_EQ(Names(tmp.path()), (std::vector<std::string>{"a.MOV", "b.MOV", "y.MOV"}));
}

INSTANTIATE_TEST_SUITE_P(Platform, CopyPlacedAs,
                         ::testing::Values(Placing{0, 0, 0}, Placing{EOPNOTSUPP, 0, 0}, Placing{EOPNOTSUPP, EINVAL, 0},
                                           Placing{EOPNOTSUPP, EINVAL, EPERM}));

// A source that changes, vanishes or is swapped for a link or a FIFO after the
// listing is reported as such; nothing hangs and no copy is left.
TEST(PosixFileSystem, CopiesOnlyTheFileThatWasListed) {
    TempDir tmp;
    TempDir out;
    const std::string from = tmp.Write("a.MOV", Pattern(3 * 1024 * 1024));
    FaultyFs fs;
    // Written over in place: the length stays, only the time tells.
    fs.midCopy = [&] { std::fstream(from, std::ios::in | std::ios::out | std::ios::binary) << "new"; };
    // The caller acts on the kind of failure; the user reads its text.
    using Said = std::pair<FsFault, std::string>;
    const auto said = [](const FsStatus& status) { return Said{status.fault, status.error}; };
    const Said gone{FsFault::Gone, "The file no longer exists"};
    const Said notOrdinary{FsFault::NotOrdinaryFile, "The file is no longer an ordinary file"};
    EXPECT_EQ(said(fs.CopyFile(from, out / "b.MOV")),
              Said(FsFault::ChangedWhileCopied, "The file changed while it was being copied"));
    EXPECT_EQ(said(fs.MoveFile(tmp / "gone.MOV", out / "b.MOV")), gone);
    EXPECT_EQ(said(fs.CopyFile(tmp / "gone.MOV", out / "b.MOV")), gone);
    FsStatus opened;
    EXPECT_FALSE(fs.OpenRead(tmp / "gone.MOV", opened));
    EXPECT_EQ(said(opened), gone);
    ASSERT_EQ(mkfifo((tmp / "fifo.MOV").c_str(), 0600), 0);
    ASSERT_EQ(symlink(from.c_str(), (tmp / "link.MOV").c_str()), 0);
    for (const char* swapped : {"fifo.MOV", "link.MOV"}) {
        EXPECT_EQ(said(fs.CopyFile(tmp / swapped, out / "b.MOV")), notOrdinary);
        EXPECT_EQ(said(fs.MoveFile(tmp / swapped, out / "b.MOV")), notOrdinary);
        EXPECT_FALSE(fs.OpenRead(tmp / swapped, opened));
        EXPECT_EQ(said(opened), notOrdinary);
    }
    EXPECT_TRUE(Names(out.path()).empty());
    // An output folder swapped for a link stops the file instead of following it.
    const std::string real = out.Mkdir("real"), swappedOut = out / "swapped";
    ASSERT_EQ(symlink(real.c_str(), swappedOut.c_str()), 0);
    EXPECT_EQ(fs.CopyFile(from, swappedOut + "/b.MOV").error,
              "The output folder is no longer the folder the run began with");
    EXPECT_EQ(fs.MoveFile(from, swappedOut + "/b.MOV").error,
              "The output folder is no longer the folder the run began with");
    EXPECT_TRUE(Names(real).empty() && fsys::exists(from));
}

// Below a held output folder, a folder swapped for another one (not only for
// a link) or removed takes no file and is not removed, whether its handle is
// still held or was let go for others; without the hold, paths are taken as
// they stand.
TEST(PosixFileSystem, HeldOutputFoldersStayTheFoldersFirstReached) {
    TempDir tmp;
    const std::string out = tmp.Mkdir("out"), photo = tmp.Write("a.JPG", "photo");
    PosixFileSystem fs;
    ASSERT_TRUE(fs.HoldOutput(out));
    const auto folder = [&](std::size_t i) { return out + "/d" + std::to_string(i); };
    const std::size_t last = FolderHandles::kHeld + 1;
    for (std::size_t i = 0; i <= last; ++i) {
        ASSERT_TRUE(fs.CreateFolder(folder(i)));
        ASSERT_TRUE(fs.ReachFolderBeneath(out, folder(i), nullptr));
    }
    for (const std::size_t i : {std::size_t{0}, last}) {
        fsys::rename(folder(i), folder(i) + ".old");
        fsys::create_directory(folder(i));
        EXPECT_EQ(fs.MoveFile(photo, folder(i) + "/a.JPG").error,
                  "The output folder " + folder(i) + " was replaced during the run");
        EXPECT_FALSE(fs.DeleteFolder(folder(i)));
        EXPECT_TRUE(fsys::exists(folder(i)));
    }
    fsys::remove(folder(2));
    EXPECT_EQ(fs.MoveFile(photo, folder(2) + "/a.JPG").error, "The output folder " + folder(2) + " no longer exists");
    EXPECT_TRUE(fs.MoveFile(photo, folder(1) + "/a.JPG"));
    fs.ReleaseOutput();
    EXPECT_TRUE(fs.MoveFile(folder(1) + "/a.JPG", folder(0) + "/a.JPG"));
}

// A move of a listed file into a held folder moves only the file listed: a
// name that now holds another file, or a link, keeps it, and nothing stays
// in the folder. The file moved is told as it stands there.
TEST(PosixFileSystem, AListedMoveMovesOnlyTheFileListed) {
    TempDir tmp;
    const std::string out = tmp.Mkdir("out"), photo = tmp.Write("a.JPG", "photo");
    PosixFileSystem fs;
    ASSERT_TRUE(fs.HoldOutput(out));
    const FsItem listed = *fs.GetFile(photo);
    std::optional<FsItem> placed;

    fsys::rename(photo, photo + ".kept");
    tmp.Write("a.JPG", "another photo");
    EXPECT_EQ(fs.MoveListed(photo, out + "/b.JPG", listed, placed).error, "The file changed since it was listed");
    fsys::remove(photo);
    fsys::create_symlink(photo + ".kept", photo);
    EXPECT_TRUE(fs.MoveListed(photo, out + "/b.JPG", listed, placed).Is(FsFault::NotOrdinaryFile));
    EXPECT_TRUE(Names(out).empty() && fsys::is_symlink(photo) && !placed);

    fsys::remove(photo);
    fsys::rename(photo + ".kept", photo);
    ASSERT_TRUE(fs.MoveListed(photo, out + "/b.JPG", listed, placed));
    ASSERT_TRUE(placed);
    EXPECT_TRUE(placed->Id == listed.Id && placed->Size == 5 && placed->Path == out + "/b.JPG");
    EXPECT_TRUE(!fsys::exists(photo) && fs.NameTaken(out, "b.JPG"));
}

// The serial-number loop's name tests in a held folder are answered from one
// listing a batch: the run's own new names count at once, anything else made
// or removed meanwhile counts from the next batch. A FAT folder compares
// ASCII letters of either case as one and asks the disk for the rest.
struct TypedFs : PosixFileSystem {
    long type = 0;  // 0: the real file system's
    int looks = 0;  // existence tests on the disk
    bool FileExists(const std::string& path) override { return ++looks, PosixFileSystem::FileExists(path); }

protected:
    long FileSystemType(int fd) override { return type ? type : PosixFileSystem::FileSystemType(fd); }
};

TEST(PosixFileSystem, NameTestsInHeldFoldersTakeOneListingABatch) {
    TempDir tmp;
    const std::string out = tmp.Mkdir("out"), sub = tmp.Mkdir("out/2024");
    tmp.Write("out/2024/IMG_0001.JPG", "there");
    TypedFs fs;
    EXPECT_TRUE(fs.NameTaken(sub, "IMG_0001.JPG"));  // not held: asked on the disk
    EXPECT_EQ(fs.looks, 1);
    ASSERT_TRUE(fs.HoldOutput(out));
    fs.looks = 0;
    EXPECT_TRUE(fs.NameTaken(sub, "IMG_0001.JPG"));
    EXPECT_FALSE(fs.NameTaken(sub, "IMG_0002.JPG"));
    EXPECT_TRUE(fs.NameTaken(out, "2024"));  // a folder takes a name too
    ASSERT_TRUE(fs.MoveFile(tmp.Write("a.JPG", "a"), sub + "/IMG_0002.JPG"));
    ASSERT_TRUE(fs.CreateFolder(sub + "/x"));
    EXPECT_TRUE(fs.NameTaken(sub, "IMG_0002.JPG"));
    EXPECT_TRUE(fs.NameTaken(sub, "x"));
    tmp.Write("out/2024/IMG_0003.JPG", "another run's");
    EXPECT_FALSE(fs.NameTaken(sub, "IMG_0003.JPG"));
    fs.BatchBegins();
    EXPECT_TRUE(fs.NameTaken(sub, "IMG_0003.JPG"));
    EXPECT_EQ(fs.looks, 0);
    ASSERT_TRUE(fs.DeleteFolder(sub + "/x"));
    EXPECT_FALSE(fs.NameTaken(sub, "x"));

    fs.ReleaseOutput();

    const std::string fat = tmp.Mkdir("fat");
    tmp.Write("fat/img_0001.jpg", "lower");
    tmp.Write("fat/Été.JPG", "accented");
    fs.type = 0x4d44;
    ASSERT_TRUE(fs.HoldOutput(fat));
    fs.looks = 0;
    EXPECT_FALSE(fs.NameTaken(fat, "IMG_0002.JPG"));
    EXPECT_EQ(fs.looks, 1);  // a listing with a non-ASCII name is not trusted to fold
    std::filesystem::remove(fat + "/Été.JPG");
    fs.BatchBegins();
    EXPECT_TRUE(fs.NameTaken(fat, "Img_0001.Jpg"));
    EXPECT_FALSE(fs.NameTaken(fat, "IMG_0002.JPG"));
    EXPECT_EQ(fs.looks, 1);
    EXPECT_FALSE(fs.NameTaken(fat, "ÉTÉ.JPG"));  // asked on the disk
    EXPECT_EQ(fs.looks, 2);
}

// A file taken out of a held folder (an undo's move back, its copy's
// removal) is taken from the folder that was reached, never through a link
// swapped in for that folder after it was checked.
TEST(PosixFileSystem, FilesLeaveHeldFoldersOnlyFromTheFolderReached) {
    TempDir tmp;
    const std::string out = tmp.Mkdir("out"), card = tmp.Mkdir("card"), elsewhere = tmp.Mkdir("elsewhere");
    const std::string dated = out + "/2004", original = tmp.Write("card/a.JPG", "photo");
    tmp.Write("out/2004/b.JPG", "photo");
    tmp.Write("elsewhere/b.JPG", "photo");
    tmp.Write("elsewhere/c.JPG", "secret");
    PosixFileSystem fs;
    ASSERT_TRUE(fs.HoldOutput(out));
    ASSERT_TRUE(fs.ReachFolderBeneath(out, dated, nullptr));
    fsys::rename(dated, out + "/2004.old");
    ASSERT_EQ(symlink(elsewhere.c_str(), dated.c_str()), 0);
    EXPECT_EQ(fs.MoveFile(dated + "/c.JPG", card + "/c.JPG").error, "The output folder " + dated + " was replaced during the run");
    EXPECT_EQ(fs.RemoveIfIdentical(dated + "/b.JPG", original, {}).Outcome, CopyRemoval::CopyUnopened);
    EXPECT_EQ(Names(elsewhere), (std::vector<std::string>{"b.JPG", "c.JPG"}));
    EXPECT_EQ(Names(card), std::vector<std::string>{"a.JPG"});
    // The folder back in its place: both work from its handle.
    fsys::remove(dated);
    fsys::rename(out + "/2004.old", dated);
    EXPECT_EQ(fs.RemoveIfIdentical(dated + "/b.JPG", original, {}).Outcome, CopyRemoval::Removed);
    tmp.Write("out/2004/c.JPG", "photo 2");
    EXPECT_TRUE(fs.MoveFile(dated + "/c.JPG", card + "/c.JPG"));
    EXPECT_EQ(Names(card), (std::vector<std::string>{"a.JPG", "c.JPG"}));
    EXPECT_TRUE(Names(dated).empty());
}

TEST(PosixFileSystem, RemovesACopyOnlyWhileItHoldsTheOriginalsBytes) {
    const std::string photo = Pattern(2 * 1024 * 1024 + 7);  // three compare chunks
    std::string lastByte = photo;
    lastByte.back() ^= 1;
    struct Case {
        const char* name;
        std::string copy;
        int readError;
        CopyRemoval outcome;
        const char* error;
    };
    for (const Case& c : {Case{"identical", photo, 0, CopyRemoval::Removed, ""},
                          Case{"last byte", lastByte, 0, CopyRemoval::BytesDiffer, ""},
                          Case{"shorter", photo.substr(1), 0, CopyRemoval::SizesDiffer, ""},
                          Case{"read fault", photo, EIO, CopyRemoval::CompareFailed, "Input/output error"},
                          Case{"hard link", "", 0, CopyRemoval::SameFile, ""},
                          Case{"symbolic link", "", 0, CopyRemoval::CopyUnopened, "Too many levels of symbolic links"},
                          Case{"rewritten meanwhile", photo, 0, CopyRemoval::ChangedMeanwhile, ""}}) {
        TempDir tmp;
        const std::string original = tmp.Write("IMG_0001.JPG", photo), copy = tmp / "copy.jpg";
        if (c.name == std::string("hard link")) link(original.c_str(), copy.c_str());
        else if (c.name == std::string("symbolic link")) fsys::create_symlink(original, copy);
        else tmp.Write("copy.jpg", c.copy);
        FaultyFs fs;
        fs.readError = c.readError;
        int pumps = 0;
        const auto pump = [&] {  // another file of the same bytes takes the original's name
            if (pumps++ == 0 && c.outcome == CopyRemoval::ChangedMeanwhile)
                fsys::rename(tmp.Write("new.jpg", photo), original);
        };
        const CopyRemovalResult result = fs.RemoveIfIdentical(copy, original, pump);
        EXPECT_EQ(result.Outcome, c.outcome) << c.name;
        EXPECT_EQ(result.Error, c.error) << c.name;
        EXPECT_EQ(fsys::exists(fsys::symlink_status(copy)), c.outcome != CopyRemoval::Removed) << c.name;
        EXPECT_EQ(ReadAll(original), photo) << c.name;
    }
    // Recovery's removal takes only the entry it examined, never one put at its name since.
    TempDir tmp;
    const std::string copy = tmp.Write("copy.jpg", photo);
    PosixFileSystem fs;
    const std::optional<EntryFacts> examined = fs.Examine(copy);
    ASSERT_TRUE(examined && examined->IsFile);
    fsys::rename(tmp.Write("new.jpg", photo), copy);
    EXPECT_TRUE(fs.RemoveIfStill(copy, examined->Id).Is(FsFault::Gone));
    EXPECT_TRUE(fs.RemoveIfStill(copy, fs.Examine(copy)->Id));
    EXPECT_FALSE(fsys::exists(copy));
}

// A sample is a file's head and tail, each no more than the file has; a link
// or a FIFO in a file's place gives none, at once.
TEST(PosixFileSystem, SamplesTheEndsOfAFile) {
    TempDir tmp;
    PosixFileSystem fs;
    for (const std::size_t size : {std::size_t{100}, kSampleBytes + 1000, 3 * kSampleBytes}) {
        const std::string bytes = Pattern(size);
        const std::string expected =
            size <= 2 * kSampleBytes ? bytes : bytes.substr(0, kSampleBytes) + bytes.substr(size - kSampleBytes);
        FileSample sample;
        ASSERT_TRUE(fs.ReadSample(tmp.Write("f.jpg", bytes), sample)) << size;
        EXPECT_TRUE(sample.Bytes == expected) << size;
        EXPECT_EQ(sample.Size, static_cast<std::int64_t>(size));
    }
    fsys::create_symlink(tmp / "f.jpg", tmp / "link.jpg");
    ASSERT_EQ(mkfifo((tmp / "fifo.jpg").c_str(), 0600), 0);
    FileSample sample;
    EXPECT_FALSE(fs.ReadSample(tmp / "link.jpg", sample));
    EXPECT_FALSE(fs.ReadSample(tmp / "fifo.jpg", sample));
}

TEST(PosixFileSystem, TextFilesAreCreatedNew) {
    TempDir tmp;
    PosixFileSystem fs;
    std::string error;
    auto log = fs.CreateTextFile(tmp / "Ravlen Log.txt", error);
    ASSERT_TRUE(log && log->Write("line\r\n") && log->Close()) << error;
    EXPECT_FALSE(fs.CreateTextFile(tmp / "Ravlen Log.txt", error));
    EXPECT_EQ(error, "File exists");
    EXPECT_EQ(ReadAll(tmp / "Ravlen Log.txt"), "line\r\n");
}

long ReadSyscalls() {
    std::ifstream in("/proc/self/io");
    std::string key;
    long value = 0;
    while (in >> key >> value)
        if (key == "syscr:") return value;
    return -1;
}

// While files are cached a hint holds nothing. The first file found uncached
// opens the files hinted, bounded, and starts their reads; one such file is
// read through that descriptor only while its name still leads to it: one
// replaced, removed, turned into a link or rewritten meanwhile reads (or
// fails) as a plain open at its turn would. A cached file's first bytes
// taken with its hint serve its turn without a read. Files the walk passes
// by are let go, and nothing is held once the walk is over (a card must unmount).
// A cold card for the files named so: a read that must not wait finds them
// not cached. (A fast disk may finish within such a read the read it starts,
// and a cold file would pass for cached.)
struct ColdCard : PosixFileSystem {
    std::set<std::string> cold;
    void MakeCold(const std::string& path) { cold.insert(path); }
    long ReadNoWait(int fd, char* buffer, unsigned long size) override {
        std::error_code error;
        if (cold.count(fsys::read_symlink("/proc/self/fd/" + std::to_string(fd), error).string()) != 0) {
            errno = EAGAIN;
            return -1;
        }
        return PosixFileSystem::ReadNoWait(fd, buffer, size);
    }
};

TEST(PosixFileSystem, FilesOpenedAheadAreReadAsTheyAreAtTheirTurn) {
    TempDir tmp;
    const std::string in = tmp.Mkdir("in");
    const auto path = [&](int i) { return in + "/IMG_" + std::to_string(i) + ".JPG"; };
    const auto open = [] {
        return std::distance(fsys::directory_iterator("/proc/self/fd"), fsys::directory_iterator{});
    };
    const int count = static_cast<int>(ReadAhead::kMaxKept) + 20;
    for (int i = 0; i < count; ++i) tmp.Write("in/IMG_" + std::to_string(i) + ".JPG", "old " + std::to_string(i));
    ColdCard fs;
    for (int i = 10; i < count; ++i) fs.MakeCold(path(i));
    const auto before = open();
    const auto read = [&](int i) {
        std::string out;
        FsStatus opened;
        auto stream = fs.OpenRead(path(i), opened);
        if (!stream) return opened.error;
        return stream->Read(6, out) ? out : "short";
    };
    for (int i = 10; i < 70; ++i) fs.WillRead(path(i));
    EXPECT_EQ(open(), before + 1) << "only the folder";
    EXPECT_EQ(read(10), "old 10");
    EXPECT_EQ(open(), before + 1 + 59) << "the folder and the files hinted after the uncached one";
    for (int i = 70; i < count; ++i) fs.WillRead(path(i));
    EXPECT_EQ(open(), before + 1 + static_cast<long>(ReadAhead::kMaxKept)) << "bounded";

    tmp.Write("in/new", "new 21");
    ASSERT_EQ(rename((in + "/new").c_str(), path(21).c_str()), 0);
    ASSERT_EQ(unlink(path(22).c_str()), 0);
    ASSERT_EQ(unlink(path(23).c_str()), 0);
    ASSERT_EQ(symlink(path(24).c_str(), path(23).c_str()), 0);
    EXPECT_EQ(read(20), "old 20");
    EXPECT_EQ(read(21), "new 21");
    EXPECT_EQ(read(22), "The file no longer exists");
    EXPECT_EQ(read(23), "The file is no longer an ordinary file");
    EXPECT_EQ(open(), before + 1 + count - 24) << "files up to the one read are let go";
    // Cached files hinted while the medium is cold: their first bytes are
    // taken at once, and serve unless the file is rewritten before its turn.
    for (const int i : {97, 98, 99}) tmp.Write("in/IMG_" + std::to_string(i) + ".JPG", "new " + std::to_string(i));
    fs.MakeCold(path(97));
    fs.WillRead(path(98));
    {
        const int fd = ::open(path(98).c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(pwrite(fd, "chg", 3, 0), 3);
        const timespec times[2] = {{978307200, 0}, {978307200, 0}};
        ASSERT_EQ(futimens(fd, times), 0);
        close(fd);
    }
    EXPECT_EQ(read(98), "chg 98");
    fs.WillRead(path(97));
    EXPECT_EQ(read(97), "new 97");
    fs.WillRead(path(99));
    const long calibrate = ReadSyscalls(), overhead = ReadSyscalls() - calibrate, before99 = ReadSyscalls();
    EXPECT_EQ(read(99), "new 99");
    EXPECT_TRUE(calibrate < 0 || ReadSyscalls() - before99 - overhead == 0) << "its cached bytes were taken ahead";

    // The same path listed again may name another folder by now (another card).
    fsys::rename(in, in + ".old");
    tmp.Mkdir("in"), tmp.Write("in/IMG_0.JPG", "card 2");
    std::vector<FsItem> files, folders;
    ASSERT_TRUE(fs.ListFolder(in, files, folders));
    EXPECT_EQ(read(0), "card 2");
    fs.ReadsOver();
    EXPECT_EQ(open(), before) << "nothing held once the walk is over";
}

TEST(PosixFileSystem, StreamReadsAndSkipsCheaply) {
    TempDir tmp;
    const std::string bytes = Pattern(100000);
    const std::string path = tmp.Write("IMG_0001.JPG", bytes);
    PosixFileSystem fs;
    FsStatus opened;
    EXPECT_FALSE(fs.OpenRead(tmp / "none.jpg", opened));
    EXPECT_EQ(opened.error, "The file no longer exists");

    const long calibrate = ReadSyscalls();
    const long overhead = ReadSyscalls() - calibrate;
    const long before = ReadSyscalls();
    auto in = fs.OpenRead(path, opened);
    ASSERT_TRUE(in) << opened.error;
    std::string out, expect;
    bool ok = true;  // the many small reads and skips at the start of a photo: one pread
    for (int i = 0; i < 50; ++i) ok = in->Read(2, out) && in->Skip(10) && in->Read(4, out) && ok;
    const long small = ReadSyscalls() - before - overhead;
    EXPECT_TRUE(ok);
    EXPECT_TRUE(calibrate < 0 || small == 1) << small << " read calls";
    for (std::size_t at = 0; at < 50 * 16; at += 16) expect += bytes.substr(at, 2) + bytes.substr(at + 12, 4);
    EXPECT_EQ(out, expect);

    out.clear();
    ASSERT_TRUE(in->Skip(20000));  // well past the window
    ASSERT_TRUE(in->Read(40000, out));
    ASSERT_TRUE(in->Read(3, out));
    EXPECT_EQ(out, bytes.substr(20800, 40003));
    out = "kept";
    const FsStatus past = in->Read(100000, out);
    EXPECT_TRUE(past.Is(FsFault::PastEnd));
    EXPECT_EQ(past.error, "Input past end of file");
    EXPECT_FALSE(in->Read(std::size_t{1} << 42, out));  // refused before anything is allocated
    EXPECT_EQ(out, "kept");
    EXPECT_FALSE(in->Skip(100000));
    ASSERT_TRUE(in->Read(bytes.size() - 60803, out));  // exactly to the end
    EXPECT_EQ(out, "kept" + bytes.substr(60803));
}

}  // namespace
}  // namespace ravlen
