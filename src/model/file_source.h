#pragma once
// Where the files of a run come from. A mounted folder has paths to open; a
// camera on a cable has storages, folders and objects and no path at all, so
// the walk, the readers and placement reach the source through this port
// alone, and a path names an entry as the source lists it. The computer's
// own file system (FileSystem) is the first source.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/date_time.h"
#include "model/file_time.h"

namespace ravlen {

enum : int { kAttrReadOnly = 1, kAttrHidden = 2, kAttrSystem = 4 };

// What begins the path of a camera or phone on a cable as a source
// ("camera:<model>@<port>", then its folder path there): none of the
// computer's file systems holds a file of that path.
inline constexpr std::string_view kDevicePrefix = "camera:";

// The failures the program tells apart by its own checks, beside the
// system's error number: what a file operation's caller acts on.
enum class FsFault : std::uint8_t {
    None,                // success, or a failure only the system's error number tells
    Gone,                // the file was listed, then removed before its turn
    NotOrdinaryFile,     // the name now leads to a link, a folder, a FIFO or a device
    ChangedWhileCopied,  // the source changed while it was copied
    CopyDiffers,         // the copy read back from the disk differs from the original
    FolderReplaced,      // an output folder is no longer the one first reached at its path
    OutOfMemory,         // a read beyond the reading's buffer cap
    Overflow,            // a position beyond the signed 64-bit range
    PastEnd,             // a read or skip past the end of the file
};

// What an operation on a file says when the file is no longer there: it was
// listed, then removed before its turn.
inline constexpr std::string_view kFileGoneText = "The file no longer exists";

// The outcome of an operation: success, or the system's own error text with
// what tells the failure apart (the errno value, or the program's own fault).
struct FsStatus {
    bool ok = true;
    std::string error;
    int errnum = 0;  // the errno value of a failed system call, else 0
    FsFault fault = FsFault::None;

    static FsStatus Ok() { return {}; }
    static FsStatus Fail(std::string text) { return {false, std::move(text)}; }
    static FsStatus Fail(FsFault fault, std::string text) { return {false, std::move(text), 0, fault}; }
    static FsStatus System(int err, std::string text) { return {false, std::move(text), err}; }
    static FsStatus Gone() { return Fail(FsFault::Gone, std::string(kFileGoneText)); }
    explicit operator bool() const { return ok; }
    // A failure of that kind.
    bool Is(FsFault kind) const { return !ok && fault == kind; }
};

// Which file or folder an entry is, whatever path reaches it: the same folder
// seen through a bind mount has the same identity. Unknown (zero) where the
// file system does not say.
struct FileId {
    std::uint64_t Device = 0, Inode = 0;
    bool Known() const { return Inode != 0; }
    bool operator==(const FileId&) const = default;
};

// A file or folder as the file system lists it.
struct FsItem {
    std::string Name;
    std::string Path;
    bool IsFolder = false;
    std::int64_t Size = 0;
    int Attributes = 0;  // kAttrReadOnly | kAttrHidden | kAttrSystem
    DateTime Created;
    DateTime Modified;
    FileId Id;
};

// The first and the last kSampleBytes of a plain file (the whole of a file no
// larger than both), with its facts as the open file stood: two files of one
// size whose samples differ hold other bytes, and need no whole read to say so.
inline constexpr std::size_t kSampleBytes = 4 * 1024;
struct FileSample {
    std::int64_t Size = 0;
    DateTime Modified;
    FileId Id;
    std::string Bytes;  // the head, then the tail
};

// A file opened for reading, front to back.
class ReadStream {
public:
    virtual ~ReadStream() = default;
    // Append the next n bytes to out. A short read is a failure.
    virtual FsStatus Read(std::size_t n, std::string& out) = 0;
    // Advance n bytes without reading them.
    virtual FsStatus Skip(std::uint64_t n) = 0;
    // Go back to `offset` (at most the position reached), for a stretch found
    // only after it was passed; false where the medium reads front to back
    // only, and the file is then opened again for it.
    virtual bool GoBack(std::uint64_t offset) {
        (void)offset;
        return false;
    }
    virtual void Close() = 0;
};

// A copy written in full where nobody takes it for a finished file (an
// unnamed file, or a hidden temporary name), not yet flushed nor given its
// final name. Dropped before it is named, it is removed.
class StagedCopy {
public:
    virtual ~StagedCopy() = default;
    std::string Source, Target;
    bool SourceChanged = false;  // GiveUpSource found the source no longer the file copied
    // With FileSource::HashCopies: the hash of the bytes copied (as
    // ContentHash gives it) and the source as it stood when they were read;
    // "" when none was taken.
    std::string ContentHash;
    FileId SourceId;
    std::int64_t SourceSize = 0;
    DateTime SourceModified;
    // The copy as the look right after its naming found it at Target; none
    // when nothing looked.
    std::optional<FsItem> Placed;
};

// Every call runs on the thread that drives the run, but GiveUpSource: a
// batch's removals run on up to eight worker threads at once (the batch's
// removers), each on its own staged copy, while the run's thread goes on with
// the next batch. An implementation keeps GiveUpSource free of shared state,
// or guards what it shares.
class FileSource {
public:
    virtual ~FileSource() = default;

    // A folder's files and subfolders, each in listing order. False (and both
    // lists empty) when the folder cannot be listed.
    virtual bool ListFolder(const std::string& path, std::vector<FsItem>& files,
                            std::vector<FsItem>& folders) = 0;
    // One file's facts as they stand now, or nothing when it is gone: set
    // beside its listing, whether it changed.
    virtual std::optional<FsItem> GetFile(const std::string& path) = 0;
    // The file opened for reads, each bounded by its caller; null, with
    // `status` failed, when it cannot be opened.
    virtual std::unique_ptr<ReadStream> OpenRead(const std::string& path, FsStatus& status) = 0;
    // The file's first read comes soon: the medium may start on it now, so
    // that several requests stand in its queue. Only a hint: nothing reaches
    // the program through it, and a file changed before its turn is read as
    // it is then.
    virtual void WillRead(const std::string& path) { (void)path; }
    // The walk is over: whatever the hints hold open is let go, so that the
    // card can be unmounted.
    virtual void ReadsOver() {}
    // Each copy staged from now on takes the hash of the bytes it copies
    // (StagedCopy::ContentHash), where the source can tell it without
    // reading them again; only a help, never required.
    virtual void HashCopies(bool on) { (void)on; }
    // The file moved or copied to `to` (a path of the computer's file
    // systems) at once; neither ever replaces an existing file there.
    virtual FsStatus MoveFile(const std::string& from, const std::string& to) = 0;
    // MoveFile for the file the walk listed as `listed`: a name that no
    // longer holds that file (size, modified time, identity) moves nothing.
    // `placed` is the file as it then stands at `to`, when that is known.
    virtual FsStatus MoveListed(const std::string& from, const std::string& to, const FsItem& listed,
                                std::optional<FsItem>& placed) {
        (void)listed;
        FsStatus status = MoveFile(from, to);
        if (status) placed = GetFile(to);
        return status;
    }
    virtual FsStatus CopyFile(const std::string& from, const std::string& to) = 0;
    // Whether a move from `from` into `toFolder` is a rename on one file
    // system (never for a source without paths).
    virtual bool SameFileSystem(const std::string& from, const std::string& toFolder) = 0;
    // Streams the bytes of `from` into a copy staged for `to` (see
    // FileSystem for the rest of the batch's steps); with `verify`, remembers
    // a hash of the bytes read for VerifyStaged. Null, with `status` failed, on failure.
    virtual std::unique_ptr<StagedCopy> StageCopy(const std::string& from, const std::string& to, bool verify,
                                                  FsStatus& status) = 0;
    // StageCopy of one file into several targets at once (its copy in the
    // output folder and its backup copies), where the source can give its
    // bytes once to all of them: each target's copy, else null with its own
    // status failed (`statuses` holds one for each target).
    virtual std::vector<std::unique_ptr<StagedCopy>> StageCopies(const std::string& from,
                                                                 const std::vector<std::string>& targets,
                                                                 bool verify, std::vector<FsStatus>& statuses) {
        std::vector<std::unique_ptr<StagedCopy>> copies;
        statuses.assign(targets.size(), FsStatus::Ok());
        for (std::size_t i = 0; i < targets.size(); ++i)
            copies.push_back(StageCopy(from, targets[i], verify, statuses[i]));
        return copies;
    }
    // Removes the source of a named, flushed copy while it is still the file
    // that was copied. Runs on worker threads, several at once (see above).
    virtual FsStatus GiveUpSource(StagedCopy& copy) = 0;
    // The next file to copy comes soon: its first bytes (a bounded window) may
    // be read into the page cache now. Only a hint.
    virtual void WillCopy(const std::string& path) { (void)path; }
    // A 128-bit hash of the whole file's bytes (XXH3), as 32 hexadecimal
    // digits in `hash`; `pump` runs between the pieces read.
    virtual FsStatus ContentHash(const std::string& path, std::string& hash, const std::function<void()>& pump) = 0;
    // The file's sample, read without following a link or waiting on a FIFO.
    virtual FsStatus ReadSample(const std::string& path, FileSample& sample) = 0;
    // The plain file's modified time to the nanosecond, never through a link;
    // nothing when it cannot be examined.
    virtual std::optional<FileTime> ModifiedTime(const std::string& path) = 0;
    // What names the file across runs where its name, size and time alone
    // tell a file seen before (a device's, whose every read crosses a
    // cable); "" where only its bytes do.
    virtual std::string ListingKey(const std::string& path) {
        (void)path;
        return {};
    }
};

}  // namespace ravlen
