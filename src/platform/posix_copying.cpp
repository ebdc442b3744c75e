#include "platform/posix_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <xxhash.h>
#if defined(__x86_64__) || defined(__i386__)
// The widest vector unit the processor has, chosen when first hashing.
#include <xxh_x86dispatch.h>
#endif

#include <cstdio>
#include <functional>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <iterator>
#include <memory>
#include <span>

#include "model/intent_record.h"
#include "platform/fd_closer.h"
#include "platform/folder_handles.h"
#include "platform/posix_common.h"

// Moves and copies: a copy staged where nobody takes it for a finished file,
// flushed, named without replacing, and the source given up.

namespace ravlen {

using namespace posix_fs;

namespace {

// What a copy says when its source was not the file it was meant to be.
constexpr const char* kChanged = "The file changed while it was being copied";
constexpr const char* kChangedSinceListed = "The file changed since it was listed";
constexpr const char* kCopyDiffers = "The copy read back from the disk differs from the original";

constexpr std::size_t kRangeChunk = 64 * 1024 * 1024;  // one copy_file_range call

// The file system does not know the flag or the operation.
bool RefusesFlag(int err) { return err == EINVAL || err == ENOSYS || err == ENOTSUP || err == EOPNOTSUPP; }
bool RefusesUnnamed(int err) { return RefusesFlag(err) || err == EISDIR || err == ENOENT; }
bool RefusesRange(int err) { return RefusesFlag(err) || err == EXDEV || err == EBADF || err == EPERM; }

// Removes dirfd/name only while it is still the file we created.
void RemoveOwnAt(int dirfd, const std::string& name, const struct stat& ours) {
    struct stat now{};
    if (fstatat(dirfd, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == ours.st_dev &&
        now.st_ino == ours.st_ino)
        unlinkat(dirfd, name.c_str(), 0);
}

// A hidden name no camera writes, unique within the machine for this run.
std::string TemporaryName(const std::string& finalName) {
    static std::atomic<unsigned> counter{0};
    (void)finalName;
    return std::string(kPartialCopyPrefix) + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

}  // namespace

FsStatus PosixFileSystem::MoveFile(const std::string& from, const std::string& to) {
    FsStatus status = Move(from, to);
    if (status) names_.Added(ParentPart(to), NameOf(to));
    return status;
}

// Into a folder already held, the file is renamed through the folder's
// handle and looked at once after it, through the whole path: one look says
// both that the path still leads to the folder renamed into and that the
// file there is the one listed (which a look before the rename could not
// promise either); its facts there serve the records. Anything else puts the
// file back under its name, and only then is the path taken apart to say why.
FsStatus PosixFileSystem::MoveListed(const std::string& from, const std::string& to, const FsItem& listed,
                                     std::optional<FsItem>& placed) {
    const std::string folderPath = ParentPart(to);
    if (!handles_.Holds(folderPath) || !listed.Id.Known()) return FileSource::MoveListed(from, to, listed, placed);
    FsStatus failure;
    FolderHandle folder = handles_.Peek(folderPath);
    if (!folder && !(folder = handles_.Reach(folderPath, failure))) return failure;
    Entry source;
    if (!EntryOf(from, source, failure)) return failure;
    const std::string name = NameOf(to);
    // A failed rename takes the road that says why (or links, or copies).
    if (RenameNoReplace(source.at, source.name.c_str(), folder->fd, name.c_str()) != 0)
        return FileSource::MoveListed(from, to, listed, placed);
    std::optional<FsItem> there = GetFile(to);
    // FAT numbers a file anew whenever the kernel forgets it: there size and
    // time tell it.
    if (there && there->Size == listed.Size && there->Modified == listed.Modified &&
        there->Id.Device == listed.Id.Device &&
        (there->Id.Inode == listed.Id.Inode || FatType(there->Id.Device, to.c_str()) != 0)) {
        names_.Added(folderPath, name);
        placed = std::move(there);
        return FsStatus::Ok();
    }
    if (const int err = RenameNoReplace(folder->fd, name.c_str(), source.at, source.name.c_str()); err != 0)
        return Failure(err);
    if (!handles_.Reach(folderPath, failure)) return failure;
    return there ? FsStatus::Fail(FsFault::ChangedWhileCopied, kChangedSinceListed) : NotOrdinary();
}

FsStatus PosixFileSystem::Move(const std::string& from, const std::string& to) {
    FsStatus failure;
    const FolderHandle folder = OutputFolderOf(ParentPart(to), failure);
    if (!folder) return failure;
    Entry source;
    if (!EntryOf(from, source, failure)) return failure;
    const char* const fromName = source.name.c_str();
    const std::string name = NameOf(to);
    struct stat src{};
    if (fstatat(source.at, fromName, &src, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? FsStatus::Gone() : Failure(errno);
    if (!S_ISREG(src.st_mode)) return NotOrdinary();

    int err = RenameNoReplace(source.at, fromName, folder->fd, name.c_str());
    if (err == 0) return FsStatus::Ok();
    if (err == ENOENT && faccessat(source.at, fromName, F_OK, AT_SYMLINK_NOFOLLOW) != 0) return FsStatus::Gone();
    if (RefusesFlag(err)) {
        // The file system refuses the no-replace flag. A hard link is just as
        // exclusive (it fails on a taken name), and the source is unlinked only
        // once the new name is in place.
        err = HardLink(source.at, fromName, folder->fd, name.c_str());
        if (err == 0) {
            if (unlinkat(source.at, fromName, 0) == 0) return FsStatus::Ok();
            err = errno;
            unlinkat(folder->fd, name.c_str(), 0);
            return Failure(err);
        }
        // Nor can it link: fall through to copying, which is exclusive too.
        if (err == EPERM || RefusesFlag(err) || err == EMLINK) err = EXDEV;
    }
    if (err != EXDEV) return Failure(err);

    // Another file system: copy, make the copy's name durable, check that the
    // source is still the file copied, and only then give up the source.
    struct stat copied{}, made{};
    FsStatus status = CopyInto(source, folder->fd, name, copied, made);
    if (!status) return status;
    if (fsync(folder->fd) != 0 && errno != EBADF && errno != EINVAL) status = Failure(errno);
    struct stat now{};
    if (status && fstatat(source.at, fromName, &now, AT_SYMLINK_NOFOLLOW) != 0)
        status = errno == ENOENT ? FsStatus::Gone() : Failure(errno);
    if (status && !SameContent(now, copied)) status = FsStatus::Fail(FsFault::ChangedWhileCopied, kChanged);
    if (status && unlinkat(source.at, fromName, 0) != 0) status = Failure(errno);
    // The file stays exactly where it was; the copy goes.
    if (!status) RemoveOwnAt(folder->fd, name, made);
    return status;
}

FsStatus PosixFileSystem::CopyFile(const std::string& from, const std::string& to) {
    FsStatus failure;
    const FolderHandle folder = OutputFolderOf(ParentPart(to), failure);
    if (!folder) return failure;
    struct stat copied{}, made{};
    FsStatus status = CopyInto(Entry{nullptr, AT_FDCWD, from}, folder->fd, NameOf(to), copied, made);
    if (status) names_.Added(ParentPart(to), NameOf(to));
    return status;
}

// The copy is written where nobody can take it for a finished file: an
// unnamed file linked into place once complete and flushed, else a hidden
// temporary name renamed without replacing; only file systems that refuse
// both get the copy under its final name from the start.
FsStatus PosixFileSystem::CopyInto(const Entry& from, int dirfd, const std::string& name,
                                   struct stat& copied, struct stat& made) {
    FsStatus failure;
    const int in = OpenSource(from.at, from.name, copied, failure);
    if (in < 0) return failure;
    const FdCloser closeIn{in};

    const mode_t mode = copied.st_mode & 0777;
    if (!FinalNamesOnly(dirfd)) {
        const int unnamed = OpenUnnamed(dirfd, mode);
        if (unnamed >= 0) {
            const FdCloser closeOut{unnamed};
            FsStatus status = FillCopy(in, unnamed, copied, true);
            if (!status) return status;
            const int err = LinkUnnamed(unnamed, dirfd, name.c_str());
            if (err != 0) return Failure(err);
            fstat(unnamed, &made);
            return FsStatus::Ok();
        }
        if (!RefusesUnnamed(errno)) return Failure(errno);

        const std::string temporary = TemporaryName(name);
        const int out = openat(dirfd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (out < 0) return Failure(errno);
        fstat(out, &made);
        FsStatus status = FillCopy(in, out, copied, true);
        if (close(out) != 0 && status) status = Failure(errno);
        if (!status) {
            RemoveOwnAt(dirfd, temporary, made);
            return status;
        }
        int err = RenameNoReplace(dirfd, temporary.c_str(), dirfd, name.c_str());
        if (RefusesFlag(err)) {
            err = HardLink(dirfd, temporary.c_str(), dirfd, name.c_str());
            if (err == 0) unlinkat(dirfd, temporary.c_str(), 0);
        }
        if (err == 0) return FsStatus::Ok();
        RemoveOwnAt(dirfd, temporary, made);
        if (!RefusesFlag(err) && err != EPERM) return Failure(err);
        // Neither a no-replace rename nor a hard link: this file system only
        // takes the copy under its final name. Remember that, and start again.
        if (lseek(in, 0, SEEK_SET) != 0) return Failure(errno);
        struct stat dir{};
        if (fstat(dirfd, &dir) == 0) finalNamesOnly_.push_back(dir.st_dev);
    }

    // Created new, never over an existing file; a failure removes it.
    const int out = openat(dirfd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (out < 0) return Failure(errno);
    fstat(out, &made);
    FsStatus status = FillCopy(in, out, copied, true);
    if (close(out) != 0 && status) status = Failure(errno);
    if (!status) RemoveOwnAt(dirfd, name, made);
    return status;
}

// Copies every byte of in to out, keeps the source's dates and flushes out.
// `source` is the source as it was opened; a source that changes on the way
// fails the copy.
namespace {

// The source read whole (`total` bytes) and still the file it was when opened.
FsStatus ReadUnchanged(int in, const struct stat& source, std::uint64_t total) {
    struct stat after{};
    if (fstat(in, &after) != 0) return Failure(errno);
    if (!SameContent(after, source) || total != static_cast<std::uint64_t>(source.st_size))
        return FsStatus::Fail(FsFault::ChangedWhileCopied, kChanged);
    return FsStatus::Ok();
}

}  // namespace

FsStatus PosixFileSystem::FillCopy(int in, int out, const struct stat& source, bool flush, XXH3_state_t* hash) {
    FsStatus own;
    const FsStatus status = FillCopies(in, {&out, 1}, source, flush, hash, {&own, 1});
    return status ? own : status;
}

FsStatus PosixFileSystem::FillCopies(int in, std::span<const int> outs, const struct stat& source, bool flush,
                                     XXH3_state_t* hash, std::span<FsStatus> each, std::span<struct stat> finished,
                                     std::vector<std::shared_ptr<WritesAside::Copy>>* aside) {
    if (aside && outs.size() > 1 && !flush && aside_.Ready())
        return FillAside(in, outs, source, hash, each, finished, *aside);
    std::uint64_t total = 0;
    const auto write = [this](int fd, const char* bytes, unsigned long n) { return WriteChunk(fd, bytes, n); };
    // A hash needs the bytes in hand, which an in-kernel copy never gives;
    // nor does it give one read to several copies.
    bool ranged = hash == nullptr && outs.size() == 1;
    std::unique_ptr<char[]> buffer;
    const auto live = [&] { return std::any_of(each.begin(), each.end(), [](const FsStatus& s) { return s.ok; }); };
    while (live()) {
        if (ranged) {
            // Within one file system the kernel copies (or clones) by itself.
            errno = 0;
            const long n = CopyRange(in, outs[0], kRangeChunk);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (total == 0 && RefusesRange(errno)) {
                    ranged = false;
                    continue;
                }
                each[0] = Failure(errno);
                break;
            }
            if (n == 0) break;
            total += static_cast<std::uint64_t>(n);
            continue;
        }
        if (!buffer) buffer.reset(new char[kCopyChunk]);
        errno = 0;
        const long n = ReadChunk(in, buffer.get(), kCopyChunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Failure(errno);
        }
        if (n == 0) break;
        if (hash) XXH3_128bits_update(hash, buffer.get(), static_cast<std::size_t>(n));
        for (std::size_t i = 0; i < outs.size(); ++i)
            if (each[i]) each[i] = WriteWhole(write, outs[i], buffer.get(), static_cast<std::size_t>(n));
        total += static_cast<std::uint64_t>(n);
    }
    if (!live()) return FsStatus::Ok();

    if (FsStatus unchanged = ReadUnchanged(in, source, total); !unchanged) return unchanged;
    for (std::size_t i = 0; i < outs.size(); ++i) {
        struct stat copy{};
        if (each[i]) each[i] = FinishCopy(outs[i], source, copy);
        if (!each[i]) continue;
        if (i < finished.size()) finished[i] = copy;
        errno = 0;
        if (flush && SyncFile(outs[i]) != 0) each[i] = Failure(errno);
    }
    return FsStatus::Ok();
}

// The first copy written here, the others on the writer's thread from the
// same pieces: the reading goes on while they are written.
FsStatus PosixFileSystem::FillAside(int in, std::span<const int> outs, const struct stat& source,
                                    XXH3_state_t* hash, std::span<FsStatus> each, std::span<struct stat> finished,
                                    std::vector<std::shared_ptr<WritesAside::Copy>>& aside) {
    aside.assign(outs.size(), nullptr);
    std::vector<std::shared_ptr<WritesAside::Copy>> others;
    for (std::size_t i = 1; i < outs.size(); ++i)
        if (each[i]) {
            aside[i] = std::make_shared<WritesAside::Copy>();
            aside[i]->fd = outs[i];
            others.push_back(aside[i]);
        }
    std::uint64_t total = 0;
    const auto write = [this](int fd, const char* bytes, unsigned long n) { return WriteChunk(fd, bytes, n); };
    for (;;) {
        WritesAside::Piece* piece = aside_.Take();
        errno = 0;
        const long n = ReadChunk(in, piece->bytes.get(), kCopyChunk);
        if (n <= 0) {
            aside_.Give(piece);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return Failure(errno);
            break;
        }
        if (hash) XXH3_128bits_update(hash, piece->bytes.get(), static_cast<std::size_t>(n));
        if (each[0]) each[0] = WriteWhole(write, outs[0], piece->bytes.get(), static_cast<std::size_t>(n));
        piece->size = static_cast<std::size_t>(n);
        aside_.Add(piece, others);
        total += static_cast<std::uint64_t>(n);
    }
    if (FsStatus unchanged = ReadUnchanged(in, source, total); !unchanged) return unchanged;
    struct stat copy{};
    if (each[0]) each[0] = FinishCopy(outs[0], source, copy);
    if (each[0] && !finished.empty()) finished[0] = copy;
    for (const std::shared_ptr<WritesAside::Copy>& copy : others) aside_.Finish(copy, source);
    return FsStatus::Ok();
}

namespace {

// How much of the next file to copy is read ahead: a bounded window, so that
// a large movie does not push what is being copied out of memory.
constexpr off_t kCopyReadAhead = 32 * 1024 * 1024;

class PosixStagedCopy final : public StagedCopy {
public:
    FolderHandle folder;    // the output folder, held open
    int dirfd = -1;         // its descriptor
    int fd = -1;            // the copy, open for reading back; -1 for a deferred one
    std::string temporary;  // its hidden name, when it is not an unnamed file
    bool deferred = false;  // a file system that takes copies only under their final names: copied when named
    bool named = false;
    struct stat copied{}, made{};
    bool hashed = false;
    XXH128_hash_t hash{};
    // A device's copy: the bytes come from `fill`, not from a path.
    FileSystem::ByteFiller fill;
    std::int64_t size = 0;
    std::optional<FileTime> modified;
    // A copy whose bytes are written on the writer's thread, until settled.
    std::shared_ptr<WritesAside::Copy> aside;
    WritesAside* writer = nullptr;

    PosixStagedCopy() = default;
    PosixStagedCopy(const PosixStagedCopy&) = delete;
    PosixStagedCopy& operator=(const PosixStagedCopy&) = delete;
    ~PosixStagedCopy() override {
        if (aside) writer->Settle(*aside);  // nothing writes to the descriptor once it closes
        if (!named && !temporary.empty()) RemoveOwnAt(dirfd, temporary, made);
        if (fd >= 0) close(fd);  // an unnamed file never named goes with its descriptor
    }
};

PosixStagedCopy& Own(StagedCopy& copy) { return static_cast<PosixStagedCopy&>(copy); }

// A copy written aside once its writing is over: its failure, if any; else
// its facts, as it was finished, stand for it.
FsStatus Settled(PosixStagedCopy& copy) {
    if (!copy.aside) return FsStatus::Ok();
    copy.writer->Settle(*copy.aside);
    FsStatus status = copy.aside->status;
    if (!status) return status;
    if (copy.temporary.empty()) copy.made = copy.aside->finished;
    copy.aside.reset();
    return status;
}

// A 128-bit hash as the record keeps it: 32 hexadecimal digits.
std::string HashText(const XXH128_hash_t& hash) {
    char text[33];
    std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(hash.high64),
                  static_cast<unsigned long long>(hash.low64));
    return text;
}

// A copy of `from` to be staged for `to` in `folder` (the folder of `to`
// reached); null when it was not reached.
std::unique_ptr<PosixStagedCopy> StagedIn(FolderHandle folder, const std::string& from, const std::string& to) {
    if (!folder) return nullptr;
    auto copy = std::make_unique<PosixStagedCopy>();
    copy->Source = from;
    copy->Target = to;
    copy->folder = std::move(folder);
    copy->dirfd = copy->folder->fd;
    return copy;
}

// Fills the staged files through `fill`, which takes the bytes' hash state
// (null when no hash is wanted): one hash serves both the check of the copies
// (`verify`) and the record's (`keep`). False, with `status` set, on failure.
bool FillStaged(std::span<PosixStagedCopy* const> copies, bool verify, bool keep,
                const std::function<FsStatus(XXH3_state_t*)>& fill, FsStatus& status) {
    std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t*)> hash(
        verify || keep ? XXH3_createState() : nullptr, XXH3_freeState);
    if (hash) XXH3_128bits_reset(hash.get());
    status = fill(hash.get());
    if (!status) return false;
    if (!hash) return true;
    const XXH128_hash_t digest = XXH3_128bits_digest(hash.get());
    for (PosixStagedCopy* copy : copies) {
        copy->hash = digest;
        copy->hashed = verify;
        if (keep) copy->ContentHash = HashText(digest);
    }
    return true;
}

bool FillStaged(PosixStagedCopy& copy, bool verify, bool keep, const std::function<FsStatus(XXH3_state_t*)>& fill,
                FsStatus& status) {
    PosixStagedCopy* const one = &copy;
    return FillStaged({&one, 1}, verify, keep, fill, status);
}

// Opens the file staged for `to` in the copy's folder: unnamed where the
// file system makes such files, else under a hidden name; a folder that takes
// copies only under their final names (asked once: a copy staged under a
// hidden name there would be written twice) leaves the copy deferred. False,
// with `status` set, on failure.
bool OpenStaged(PosixStagedCopy& copy, const std::string& to, mode_t mode, const std::function<int()>& openUnnamed,
                const std::function<bool()>& finalNamesOnly, FsStatus& status) {
    copy.fd = openUnnamed();
    if (copy.fd < 0) {
        if (!RefusesUnnamed(errno)) return status = Failure(errno), false;
        if (finalNamesOnly()) {
            copy.deferred = true;
            return true;
        }
        copy.temporary = TemporaryName(NameOf(to));
        copy.fd = openat(copy.dirfd, copy.temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (copy.fd < 0) {
            status = Failure(errno);
            copy.temporary.clear();
            return false;
        }
        fstat(copy.fd, &copy.made);  // what removes the copy if it is never named
        return true;
    }
    // An unnamed file leaves with its descriptor: its facts come once it is whole.
    return true;
}

}  // namespace

// Without a call of its own where it can: the device of the folder the file
// was listed in, and that of the held folder a move renames into. A folder
// swapped since only costs time either way: a rename across file systems is
// refused and the move copies, and a copy made within one is still whole.
bool PosixFileSystem::SameFileSystem(const std::string& from, const std::string& toFolder) {
    struct stat st{};
    dev_t a = 0, b = 0;
    // Unknown: a move tries the rename first, as it would anyway.
    if (const auto listed = listedDevices_.find(ParentPart(from)); listed != listedDevices_.end()) a = listed->second;
    else if (lstat(from.c_str(), &st) == 0) a = st.st_dev;
    else return true;
    if (const FolderHandle held = handles_.Peek(toFolder)) b = static_cast<dev_t>(held->id.Device);
    else if (stat(toFolder.empty() ? "." : toFolder.c_str(), &st) == 0) b = st.st_dev;
    else return true;
    return a == b;
}

std::unique_ptr<StagedCopy> PosixFileSystem::StageCopy(const std::string& from, const std::string& to, bool verify,
                                                       FsStatus& status) {
    std::vector<FsStatus> statuses;
    std::vector<std::unique_ptr<StagedCopy>> copies = PosixFileSystem::StageCopies(from, {to}, verify, statuses);
    status = statuses.front();
    return std::move(copies.front());
}

// The source opened and read once, its bytes written to every copy and
// hashed once: the one hash stands for each copy's bytes.
std::vector<std::unique_ptr<StagedCopy>> PosixFileSystem::StageCopies(const std::string& from,
                                                                      const std::vector<std::string>& targets,
                                                                      bool verify, std::vector<FsStatus>& statuses) {
    statuses.assign(targets.size(), FsStatus::Ok());
    std::vector<std::unique_ptr<PosixStagedCopy>> copies(targets.size());
    const auto result = [&] {
        return std::vector<std::unique_ptr<StagedCopy>>(std::make_move_iterator(copies.begin()),
                                                        std::make_move_iterator(copies.end()));
    };
    const auto fail = [&](std::size_t i, FsStatus why) {
        statuses[i] = std::move(why);
        copies[i].reset();
    };
    // Copies into a file system that takes them only under their final names
    // wait for their naming.
    std::vector<std::size_t> filled;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        copies[i] = StagedIn(StagingFolder(ParentPart(targets[i]), statuses[i]), from, targets[i]);
        if (!copies[i]) continue;
        if (FinalNamesOnly(copies[i]->dirfd)) copies[i]->deferred = true;
        else filled.push_back(i);
    }
    if (filled.empty()) return result();
    struct stat copied{};
    FsStatus opened;
    const int in = OpenSource(AT_FDCWD, from, copied, opened);
    if (in < 0) {
        for (const std::size_t i : filled) fail(i, opened);
        return result();
    }
    const FdCloser closeIn{in};
    posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
    const mode_t mode = copied.st_mode & 0777;
    std::vector<int> outs;
    std::vector<std::size_t> filling;
    std::vector<PosixStagedCopy*> staged;
    for (const std::size_t i : filled) {
        PosixStagedCopy& copy = *copies[i];
        copy.copied = copied;
        const auto unnamed = [&] { return OpenUnnamed(copy.dirfd, mode); };
        const auto finalNamesOnly = [&] { return CopiesUnderFinalName(ParentPart(targets[i])); };
        if (!OpenStaged(copy, targets[i], mode, unnamed, finalNamesOnly, statuses[i])) {
            copies[i].reset();
        } else if (!copy.deferred) {
            outs.push_back(copy.fd);
            filling.push_back(i);
            staged.push_back(&copy);
        }
    }
    if (outs.empty()) return result();
    std::vector<FsStatus> written(outs.size());
    std::vector<struct stat> finished(outs.size());
    std::vector<std::shared_ptr<WritesAside::Copy>> aside;
    const auto fill = [&](XXH3_state_t* hash) {
        return FillCopies(in, outs, copied, false, hash, written, finished, &aside);
    };
    FsStatus read;
    const bool whole = FillStaged(staged, verify, hashCopies_, fill, read);
    // A copy written aside settles before it goes, whatever its fate here;
    // its facts come once the writer is done with it.
    for (std::size_t k = 0; k < filling.size() && k < aside.size(); ++k)
        if (aside[k]) copies[filling[k]]->aside = aside[k], copies[filling[k]]->writer = &aside_;
    for (std::size_t k = 0; k < filling.size(); ++k) {
        const std::size_t i = filling[k];
        if (!whole || !written[k]) {
            fail(i, whole ? written[k] : read);
            continue;
        }
        if (!copies[i]->aside && copies[i]->temporary.empty()) copies[i]->made = finished[k];
        writeback_.Wrote(copies[i]->dirfd, static_cast<dev_t>(copies[i]->folder->id.Device),
                         static_cast<std::uint64_t>(copied.st_size));
        if (PosixStagedCopy& copy = *copies[i]; !copy.ContentHash.empty()) {
            copy.SourceId = {copied.st_dev, copied.st_ino};
            copy.SourceSize = copied.st_size;
            copy.SourceModified = DateTime::FromTimeT(copied.st_mtime);
        }
    }
    return result();
}

std::unique_ptr<StagedCopy> PosixFileSystem::StageScratch(const std::string& scratch, const std::string& to,
                                                          bool verify, FsStatus& status) {
    auto copy = StagedIn(OutputFolderOf(ParentPart(to), status), scratch, to);
    if (!copy) return nullptr;
    if (FinalNamesOnly(copy->dirfd)) return StageCopy(scratch, to, verify, status);
    // Renamed in under a hidden name: the file is already whole on this disk.
    copy->temporary = TemporaryName(NameOf(to));
    if (renameat(AT_FDCWD, scratch.c_str(), copy->dirfd, copy->temporary.c_str()) != 0) {
        copy->temporary.clear();
        return StageCopy(scratch, to, verify, status);  // another file system: copied
    }
    copy->fd = openat(copy->dirfd, copy->temporary.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (copy->fd < 0 || fstat(copy->fd, &copy->made) != 0) {
        status = Failure(errno);
        renameat(copy->dirfd, copy->temporary.c_str(), AT_FDCWD, scratch.c_str());  // back where it was
        copy->temporary.clear();
        return nullptr;
    }
    copy->copied = copy->made;
    if (verify || hashCopies_) {
        // The download's bytes as written, to be compared after the flush
        // with what the disk gives back.
        std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t*)> hash(XXH3_createState(), XXH3_freeState);
        if (!hash) return status = Failure(ENOMEM), nullptr;
        XXH3_128bits_reset(hash.get());
        std::unique_ptr<char[]> buffer(new char[kCopyChunk]);
        for (off_t at = 0;;) {
            const ssize_t n = pread(copy->fd, buffer.get(), kCopyChunk, at);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return status = Failure(errno), nullptr;
            if (n == 0) break;
            XXH3_128bits_update(hash.get(), buffer.get(), static_cast<std::size_t>(n));
            at += n;
        }
        copy->hash = XXH3_128bits_digest(hash.get());
        copy->hashed = verify;
        if (hashCopies_) copy->ContentHash = HashText(copy->hash);
    }
    return copy;
}

std::unique_ptr<StagedCopy> PosixFileSystem::StageBytes(const std::string& to, std::int64_t size,
                                                        const std::optional<FileTime>& modified, bool verify,
                                                        ByteFiller fill, FsStatus& status) {
    auto copy = StagedIn(StagingFolder(ParentPart(to), status), std::string(), to);
    if (!copy) return nullptr;
    copy->size = size, copy->modified = modified, copy->fill = std::move(fill);
    if (FinalNamesOnly(copy->dirfd)) {
        copy->deferred = true;
        return copy;
    }
    constexpr mode_t kMode = 0644;  // a device's file has no mode of its own
    const auto unnamed = [&] { return OpenUnnamed(copy->dirfd, kMode); };
    const auto finalNamesOnly = [&] { return CopiesUnderFinalName(ParentPart(to)); };
    if (!OpenStaged(*copy, to, kMode, unnamed, finalNamesOnly, status)) return nullptr;
    if (copy->deferred) return copy;
    const auto push = [&](XXH3_state_t* hash) {
        return FillFromBytes(copy->fd, size, modified, copy->fill, false, hash);
    };
    if (!FillStaged(*copy, verify, hashCopies_, push, status)) return nullptr;
    if (copy->temporary.empty()) fstat(copy->fd, &copy->made);
    writeback_.Wrote(copy->dirfd, static_cast<dev_t>(copy->folder->id.Device), static_cast<std::uint64_t>(size));
    return copy;
}

FsStatus PosixFileSystem::FillFromBytes(int out, std::int64_t size, const std::optional<FileTime>& modified,
                                        const ByteFiller& fill, bool flush, XXH3_state_t* hash) {
    std::int64_t total = 0;
    FsStatus status = fill([&](const char* bytes, std::size_t n) {
        if (hash) XXH3_128bits_update(hash, bytes, n);
        if (FsStatus written = WriteWhole(write, out, bytes, n); !written) return written;
        total += static_cast<std::int64_t>(n);
        return FsStatus::Ok();
    });
    if (!status) return status;
    if (total != size) return FsStatus::Fail(FsFault::ChangedWhileCopied, kChanged);
    if (modified) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(modified->Seconds), modified->Nanoseconds}};
        futimens(out, times);
    }
    errno = 0;
    if (flush && fsync(out) != 0) return Failure(errno);
    return FsStatus::Ok();
}

FsStatus PosixFileSystem::FlushFileSystem(const std::string& folder) {
    aside_.Drain();  // every byte written aside is in the file system's hands first
    // Through the folder's own handle where one is held: the copies staged
    // there are what must reach the disk.
    if (const FolderHandle held = handles_.Peek(folder)) {
        errno = 0;
        if (SyncFileSystem(held->fd) == 0) return FsStatus::Ok();
        if (errno != EBADF) return Failure(errno);  // a handle opened as a path only cannot say
    }
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Failure(errno);
    const FdCloser closeFd{fd};
    errno = 0;
    return SyncFileSystem(fd) == 0 ? FsStatus::Ok() : Failure(errno);
}

FsStatus PosixFileSystem::VerifyStaged(StagedCopy& staged) {
    PosixStagedCopy& copy = Own(staged);
    if (FsStatus settled = Settled(copy); !settled) return settled;
    if (!copy.hashed || copy.fd < 0) return FsStatus::Ok();
    // The copy is flushed, so its pages are clean and can be dropped: what is
    // read next comes from the disk.
    posix_fadvise(copy.fd, 0, 0, POSIX_FADV_DONTNEED);
    std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t*)> hash(XXH3_createState(), XXH3_freeState);
    if (!hash) return Failure(ENOMEM);
    XXH3_128bits_reset(hash.get());
    std::unique_ptr<char[]> buffer(new char[kCopyChunk]);
    for (off_t at = 0;;) {
        const ssize_t n = pread(copy.fd, buffer.get(), kCopyChunk, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Failure(errno);
        if (n == 0) break;
        XXH3_128bits_update(hash.get(), buffer.get(), static_cast<std::size_t>(n));
        at += n;
    }
    if (!XXH128_isEqual(XXH3_128bits_digest(hash.get()), copy.hash))
        return FsStatus::Fail(FsFault::CopyDiffers, kCopyDiffers);
    return FsStatus::Ok();
}

// The folder the copy was staged in must still be the one at its path.
FsStatus PosixFileSystem::StillAtItsPath(const std::string& target, const FileId& folder) {
    const std::string parent = ParentPart(target);
    if (!handles_.Holds(parent)) return FsStatus::Ok();
    FsStatus failure;
    const FolderHandle now = handles_.Reach(parent, failure);
    if (!now) return failure;
    if (now->id != folder) return handles_.Replaced(parent);
    return FsStatus::Ok();
}

FsStatus PosixFileSystem::NameStaged(StagedCopy& staged) {
    PosixStagedCopy& copy = Own(staged);
    if (FsStatus settled = Settled(copy); !settled) return settled;
    const std::string name = NameOf(copy.Target);
    if (copy.deferred)
        if (FsStatus still = StillAtItsPath(copy.Target, copy.folder->id); !still) return still;
    if (copy.deferred && copy.fill) {
        // Written now from the device, flushed on its own, under its final name.
        const int out = openat(copy.dirfd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (out < 0) return Failure(errno);
        fstat(out, &copy.made);
        FsStatus status = FillFromBytes(out, copy.size, copy.modified, copy.fill, true, nullptr);
        if (close(out) != 0 && status) status = Failure(errno);
        if (!status) RemoveOwnAt(copy.dirfd, name, copy.made);
        copy.named = status.ok;
        if (copy.named) names_.Added(ParentPart(copy.Target), name);
        return status;
    }
    if (copy.deferred) {
        // Copied now, flushed on its own, under its final name from the start.
        FsStatus status = CopyInto(Entry{nullptr, AT_FDCWD, copy.Source}, copy.dirfd, name, copy.copied, copy.made);
        copy.named = status.ok;
        if (copy.named) names_.Added(ParentPart(copy.Target), name);
        return status;
    }
    int err = 0;
    if (copy.temporary.empty()) {
        err = LinkUnnamed(copy.fd, copy.dirfd, name.c_str());
    } else {
        err = RenameNoReplace(copy.dirfd, copy.temporary.c_str(), copy.dirfd, name.c_str());
        if (RefusesFlag(err)) {
            err = HardLink(copy.dirfd, copy.temporary.c_str(), copy.dirfd, name.c_str());
            if (err == 0) unlinkat(copy.dirfd, copy.temporary.c_str(), 0);
        }
        if (err == 0) copy.temporary.clear();
    }
    if (err == 0) {
        // Named through the folder's handle, then looked at once through the
        // whole path: the file there must be this copy. Else the folder was
        // swapped meanwhile (the name goes again), or the file system numbers
        // its files anew (FAT), which the folder's own check tells apart.
        copy.named = true;
        std::optional<FsItem> there = GetFile(copy.Target);
        if (there && there->Id == FileId{copy.made.st_dev, copy.made.st_ino}) {
            copy.Placed = std::move(there);
        } else if (FsStatus still = StillAtItsPath(copy.Target, copy.folder->id); !still) {
            RemoveOwnAt(copy.dirfd, name, copy.made);
            copy.named = false;
            return still;
        }
        names_.Added(ParentPart(copy.Target), name);
        return FsStatus::Ok();
    }
    if (!RefusesFlag(err) && err != EPERM) return Failure(err);
    // Neither a link nor a no-replace rename: this file system only takes a
    // copy under its final name. Remember that, and copy again that way.
    struct stat dir{};
    if (fstat(copy.dirfd, &dir) == 0) finalNamesOnly_.push_back(dir.st_dev);
    if (!copy.temporary.empty()) RemoveOwnAt(copy.dirfd, copy.temporary, copy.made);
    copy.temporary.clear();
    close(copy.fd);
    copy.fd = -1;
    copy.deferred = true;
    return NameStaged(copy);
}

FsStatus PosixFileSystem::GiveUpSource(StagedCopy& staged) {
    PosixStagedCopy& copy = Own(staged);
    struct stat now{};
    if (lstat(copy.Source.c_str(), &now) != 0) return errno == ENOENT ? FsStatus::Gone() : Failure(errno);
    if (!SameContent(now, copy.copied)) {
        copy.SourceChanged = true;
        return FsStatus::Fail(FsFault::ChangedWhileCopied, kChanged);
    }
    if (unlink(copy.Source.c_str()) != 0) return Failure(errno);
    return FsStatus::Ok();
}

void PosixFileSystem::RemoveNamed(StagedCopy& staged) {
    PosixStagedCopy& copy = Own(staged);
    names_.Forget(ParentPart(copy.Target));
    if (copy.named) RemoveOwnAt(copy.dirfd, NameOf(copy.Target), copy.made);
}

void PosixFileSystem::WillCopy(const std::string& path) {
    const FdCloser fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (fd.fd >= 0) posix_fadvise(fd.fd, 0, kCopyReadAhead, POSIX_FADV_WILLNEED);
}

// Found out once per folder with a throwaway file: an unnamed one, else a
// hidden name renamed without replacing or linked.
bool PosixFileSystem::CopiesUnderFinalName(const std::string& folder) {
    for (const auto& [path, answer] : probed_)
        if (path == folder) return answer;
    FsStatus failure;
    const FolderHandle held = OutputFolderOf(folder, failure);
    if (!held) return false;
    bool finalOnly = FinalNamesOnly(held->fd);
    const FdCloser unnamed(finalOnly ? -1 : OpenUnnamed(held->fd, 0600));
    if (unnamed.fd < 0 && !finalOnly && RefusesUnnamed(errno)) {
        const std::string probe = TemporaryName(""), renamed = TemporaryName("");
        const FdCloser made(
            openat(held->fd, probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (made.fd >= 0) {
            int err = RenameNoReplace(held->fd, probe.c_str(), held->fd, renamed.c_str());
            if (RefusesFlag(err)) err = HardLink(held->fd, probe.c_str(), held->fd, renamed.c_str());
            unlinkat(held->fd, renamed.c_str(), 0);
            unlinkat(held->fd, probe.c_str(), 0);
            finalOnly = RefusesFlag(err) || err == EPERM;
            struct stat st{};
            if (finalOnly && fstat(held->fd, &st) == 0) finalNamesOnly_.push_back(st.st_dev);
        }
    }
    probed_.emplace_back(folder, finalOnly);
    return finalOnly;
}

bool PosixFileSystem::FinalNamesOnly(int dirfd) const {
    if (finalNamesOnly_.empty()) return false;
    struct stat dir{};
    return fstat(dirfd, &dir) == 0 &&
           std::find(finalNamesOnly_.begin(), finalNamesOnly_.end(), dir.st_dev) != finalNamesOnly_.end();
}

long PosixFileSystem::ReadChunk(int fd, char* buffer, unsigned long size) {
    return static_cast<long>(read(fd, buffer, size));
}

long PosixFileSystem::WriteChunk(int fd, const char* buffer, unsigned long size) {
    return static_cast<long>(write(fd, buffer, size));
}

long PosixFileSystem::CopyRange(int in, int out, unsigned long size) {
    return static_cast<long>(copy_file_range(in, nullptr, out, nullptr, size, 0));
}

int PosixFileSystem::SyncFile(int fd) { return fsync(fd); }

int PosixFileSystem::SyncFileSystem(int fd) { return syncfs(fd); }

int PosixFileSystem::OpenUnnamed(int dirfd, unsigned mode) {
    // Readable too, so that a staged copy can be read back before it is named.
    return openat(dirfd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, static_cast<mode_t>(mode));
}

// 0 on success, else the errno value of the failure.
int PosixFileSystem::RenameNoReplace(int fromDir, const char* from, int toDir, const char* to) {
    if (renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0) return 0;
    return errno;
}

int PosixFileSystem::HardLink(int fromDir, const char* from, int toDir, const char* to) {
    if (linkat(fromDir, from, toDir, to, 0) == 0) return 0;
    return errno;
}

// Gives an unnamed file its name; like every link, never over a taken one.
// Through /proc first: AT_EMPTY_PATH needs a privilege most users lack.
int PosixFileSystem::LinkUnnamed(int fd, int dirfd, const char* name) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (linkat(AT_FDCWD, self.c_str(), dirfd, name, AT_SYMLINK_FOLLOW) == 0) return 0;
    if (errno != ENOENT || access("/proc/self/fd", F_OK) == 0) return errno;
    if (linkat(fd, "", dirfd, name, AT_EMPTY_PATH) == 0) return 0;
    return errno;
}

}  // namespace ravlen
