#pragma once
// The file-system operations the run needs, behind one narrow interface so
// that tests can use real temporary folders and inject faults.

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

// What RemoveIfIdentical found. The copy is gone only after Removed.
enum class CopyRemoval {
    Removed,             // the copy held exactly the original's bytes and is gone
    CopyUnopened,        // the copy could not be opened
    OriginalUnopened,    // the original could not be opened
    NotPlainFiles,       // either is not a plain file
    SameFile,            // both names lead to one file
    SizesDiffer,
    BytesDiffer,
    CompareFailed,       // a file could not be examined or read
    ChangedMeanwhile,    // either changed, or its name went to another file, while they were compared
    RemoveFailed,        // the copy's name could not be removed
};

struct CopyRemovalResult {
    CopyRemoval Outcome = CopyRemoval::Removed;
    std::string Error;  // the system's error text, for the outcomes that have one
};

// Which file or folder an entry is, whatever path reaches it: the same folder
// seen through a bind mount has the same identity. Unknown (zero) where the
// file system does not say.
struct FileId {
    std::uint64_t Device = 0, Inode = 0;
    bool Known() const { return Inode != 0; }
    bool operator==(const FileId&) const = default;
};

// An entry's own facts, as it stands at its name: a link is not followed.
struct EntryFacts {
    bool IsFile = false;  // an ordinary file
    bool IsFolder = false;
    std::int64_t Size = 0;
    FileId Id;
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

// A folder known to exist, with its path as the file system reports it.
struct FolderRef {
    std::string Path;
    bool IsRoot = false;
    std::string ParentPath;  // empty for a root folder
    FileId Id;
};

// A file opened for reading, front to back.
class ReadStream {
public:
    virtual ~ReadStream() = default;
    // Append the next n bytes to out. A short read is a failure.
    virtual FsStatus Read(std::size_t n, std::string& out) = 0;
    // Advance n bytes without reading them.
    virtual FsStatus Skip(std::uint64_t n) = 0;
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
};

// A text file created for writing (the logs).
class TextFile {
public:
    virtual ~TextFile() = default;
    virtual FsStatus Write(std::string_view text) = 0;
    virtual FsStatus Close() = 0;
};

// Every operation runs on the thread that drives the run, but GiveUpSource:
// a batch's removals run on up to eight worker threads at once (the batch's
// removers), each on its own staged copy, while the run's thread goes on with
// the next batch. An implementation keeps GiveUpSource free of shared state,
// or guards what it shares.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    virtual bool FolderExists(const std::string& path) = 0;
    virtual bool FileExists(const std::string& path) = 0;
    // The folder at path, or nothing when there is none.
    virtual std::optional<FolderRef> GetFolder(const std::string& path) = 0;
    virtual FsStatus CreateFolder(const std::string& path) = 0;
    // Succeeds when `folder`, an absolute path that is `top` or lies below it,
    // opens as a folder from `top` one name at a time without following any
    // link; the error says what stood in the way. `reached`, when given,
    // receives the identity of the folder reached.
    virtual FsStatus ReachFolderBeneath(const std::string& top, const std::string& folder, FileId* reached) = 0;
    virtual FsStatus DeleteFolder(const std::string& path) = 0;
    // From HoldOutput until ReleaseOutput, `folder` (the run's output folder)
    // is held open, and every folder below it that the run makes, moves or
    // copies into is reached from it one name at a time without following a
    // link, and must still be the folder first reached at its path: a folder
    // swapped mid-run stops the file with a message naming the folder.
    virtual FsStatus HoldOutput(const std::string& folder) {
        (void)folder;
        return FsStatus::Ok();
    }
    virtual void ReleaseOutput() {}
    // A folder's files and subfolders, each in listing order. False (and both
    // lists empty) when the folder cannot be listed.
    virtual bool ListFolder(const std::string& path, std::vector<FsItem>& files,
                            std::vector<FsItem>& folders) = 0;
    // Files plus subfolders of a folder; -1 when it cannot be read.
    virtual int CountItems(const std::string& path) = 0;
    // True when nothing at all is in the folder, or nothing is at its path;
    // false when it holds an entry of any kind or cannot be told.
    virtual bool HoldsNothing(const std::string& path) {
        (void)path;
        return false;
    }
    // The entry at `path` itself, never through a link; nothing when nothing
    // is there or it cannot be examined.
    virtual std::optional<EntryFacts> Examine(const std::string& path) = 0;
    // Removes the file at `path` only while that name still leads to the
    // entry `id` (one examined before), never a file put in its place.
    virtual FsStatus RemoveIfStill(const std::string& path, const FileId& id) = 0;
    // Whether the ordinary file `copy` holds the first bytes of the ordinary
    // file `original`: all of them, or fewer (a copy cut short). Neither is
    // opened through a link.
    virtual bool HoldsStartOf(const std::string& copy, const std::string& original) = 0;
    // Removes the ordinary files directly in `folder` (opened without
    // following a link) whose names `chosen` picks; the count removed.
    virtual int RemoveFilesNamed(const std::string& folder,
                                 const std::function<bool(std::string_view name)>& chosen) = 0;
    // One file's facts as they stand now, or nothing when it is gone.
    virtual std::optional<FsItem> GetFile(const std::string& path) = 0;
    // The desktop's description of the file's type, such as "JPEG image".
    virtual std::string TypeDescription(const std::string& path) = 0;

    // Null, with `status` failed, when the file cannot be opened.
    virtual std::unique_ptr<ReadStream> OpenRead(const std::string& path, FsStatus& status) = 0;
    // The file's first read comes soon: the medium may start on it now, so
    // that several requests stand in its queue. Only a hint: nothing reaches
    // the program through it, and a file changed before its turn is read as
    // it is then.
    virtual void WillRead(const std::string& path) { (void)path; }
    // The walk is over: whatever the hints hold open is let go, so that the
    // card can be unmounted.
    virtual void ReadsOver() {}
    // Neither ever replaces an existing file at `to`.
    virtual FsStatus MoveFile(const std::string& from, const std::string& to) = 0;
    virtual FsStatus CopyFile(const std::string& from, const std::string& to) = 0;

    // A batch of copies made durable together: each copy is staged without a
    // flush of its own, the file systems are flushed once, the copies get
    // their final names, the file systems are flushed again, and only then
    // do the sources of moves go.
    // Whether a move from `from` into `toFolder` is a rename on one file system.
    virtual bool SameFileSystem(const std::string& from, const std::string& toFolder) = 0;
    // Writes the copy of `from` meant for `to`; with `verify`, remembers a hash
    // of the bytes read for VerifyStaged. Null, with `status` failed, on failure.
    virtual std::unique_ptr<StagedCopy> StageCopy(const std::string& from, const std::string& to, bool verify,
                                                  FsStatus& status) = 0;
    // Flushes everything written to the file system holding `folder` (syncfs).
    virtual FsStatus FlushFileSystem(const std::string& folder) = 0;
    // After the flush: reads the copy back from the disk, not the page cache,
    // and compares it with the source's hash.
    virtual FsStatus VerifyStaged(StagedCopy& copy) = 0;
    // Gives the copy its final name, never replacing a file.
    virtual FsStatus NameStaged(StagedCopy& copy) = 0;
    // Removes the source of a named, flushed copy while it is still the file
    // that was copied. Runs on worker threads, several at once (see above).
    virtual FsStatus GiveUpSource(StagedCopy& copy) = 0;
    // Takes a named copy away again, while its name is still that copy's.
    virtual void RemoveNamed(StagedCopy& copy) = 0;
    // The next file to copy comes soon: its first bytes (a bounded window) may
    // be read into the page cache now. Only a hint.
    virtual void WillCopy(const std::string& path) { (void)path; }

    // Whether a copy into `folder` is written under its final name from its
    // first byte (a file system that refuses unnamed files, no-replace renames
    // and links alike), so that the record of intent must hold it unfinished.
    virtual bool CopiesUnderFinalName(const std::string& folder) {
        (void)folder;
        return false;
    }
    // Whether a file can be made in `folder`, by the system's own verdict
    // (permissions, ACLs, a read-only mount alike): a scratch file is made
    // and removed at once.
    virtual FsStatus ProbeWritable(const std::string& folder) {
        (void)folder;
        return FsStatus::Ok();
    }
    // The bytes an ordinary user may still write on the file system holding
    // `folder`; nothing when it does not say.
    virtual std::optional<std::uint64_t> FreeBytes(const std::string& folder) {
        (void)folder;
        return std::nullopt;
    }
    // Created new: fails when a file of that name exists.
    virtual std::unique_ptr<TextFile> CreateTextFile(const std::string& path, std::string& error) = 0;
    // Removes `copy` only when it holds exactly the bytes of `original` and
    // both are still the files that were compared when the copy's name goes;
    // the original is only read. `pump` runs between the pieces compared.
    virtual CopyRemovalResult RemoveIfIdentical(const std::string& copy, const std::string& original,
                                                const std::function<void()>& pump) = 0;
    // A 128-bit hash of the whole file's bytes (XXH3), as 32 hexadecimal
    // digits in `hash`; `pump` runs between the pieces read.
    virtual FsStatus ContentHash(const std::string& path, std::string& hash, const std::function<void()>& pump) = 0;

    // The file's sample, read without following a link or waiting on a FIFO.
    virtual FsStatus ReadSample(const std::string& path, FileSample& sample) = 0;

    // The plain file's modified time to the nanosecond, never through a link;
    // nothing when it cannot be examined.
    virtual std::optional<FileTime> ModifiedTime(const std::string& path) = 0;
    // Sets the plain file's modified time (its access time stays), never
    // through a link.
    virtual FsStatus SetModifiedTime(const std::string& path, const FileTime& time) = 0;

    // "/" for an absolute path, "" otherwise (there are no drive letters).
    virtual std::string DrivePart(const std::string& path) = 0;
    // The folder part of a path ("" when there is none).
    virtual std::string ParentPart(const std::string& path) = 0;
};

// The output folder held (FileSystem::HoldOutput) for as long as this lives.
class OutputHold {
public:
    explicit OutputHold(FileSystem& fs) : fs_(fs) {}
    ~OutputHold() {
        if (held_) fs_.ReleaseOutput();
    }
    OutputHold(const OutputHold&) = delete;
    OutputHold& operator=(const OutputHold&) = delete;
    FsStatus Hold(const std::string& folder) {
        FsStatus status = fs_.HoldOutput(folder);
        held_ = status.ok;
        return status;
    }

private:
    FileSystem& fs_;
    bool held_ = false;
};

// folder + "/" + name, without doubling the separator after a root folder.
inline std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

}  // namespace ravlen
