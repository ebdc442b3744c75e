#pragma once
// The file-system operations the run needs, behind one narrow interface so
// that tests can use real temporary folders and inject faults.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "model/file_source.h"
#include "model/file_time.h"

namespace ravlen {

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

// An entry's own facts, as it stands at its name: a link is not followed.
struct EntryFacts {
    bool IsFile = false;  // an ordinary file
    bool IsFolder = false;
    std::int64_t Size = 0;
    FileId Id;
};

// A folder known to exist, with its path as the file system reports it.
struct FolderRef {
    std::string Path;
    bool IsRoot = false;
    std::string ParentPath;  // empty for a root folder
    FileId Id;
};

// A text file created for writing (the logs).
class TextFile {
public:
    virtual ~TextFile() = default;
    virtual FsStatus Write(std::string_view text) = 0;
    virtual FsStatus Close() = 0;
};

// folder + "/" + name, without doubling the separator after a root folder.
inline std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

// The computer's own file systems: where every file goes, and the first
// kind of source (a mounted folder). Every operation runs on the thread that
// drives the run, GiveUpSource aside (see FileSource).
class FileSystem : public FileSource {
public:
    virtual bool FolderExists(const std::string& path) = 0;
    virtual bool FileExists(const std::string& path) = 0;
    // Whether a new file could not be named `name` in `folder`: anything
    // there takes the name. An implementation may answer from a listing of
    // the folder taken since the last BatchBegins, with the run's own names.
    virtual bool NameTaken(const std::string& folder, const std::string& name) {
        return FileExists(JoinPath(folder, name));
    }
    // A batch's placements are about to be made: names listed for NameTaken
    // before are looked at afresh after, as each name test would have been.
    virtual void BatchBegins() {}
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
    // A backup folder of the run held the same way, beside the output folder,
    // until ReleaseOutput; one that cannot be held is reached by its path.
    virtual FsStatus HoldBackup(const std::string& folder) {
        (void)folder;
        return FsStatus::Ok();
    }
    virtual void ReleaseOutput() {}
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
    // The desktop's description of the file's type, such as "JPEG image".
    virtual std::string TypeDescription(const std::string& path) = 0;

    // A batch of copies made durable together: each copy is staged without a
    // flush of its own (FileSource::StageCopy), the file systems are flushed
    // once, the copies get their final names, the file systems are flushed
    // again, and only then do the sources of moves go.
    // Flushes everything written to the file system holding `folder` (syncfs).
    virtual FsStatus FlushFileSystem(const std::string& folder) = 0;
    // After the flush: reads the copy back from the disk, not the page cache,
    // and compares it with the source's hash.
    virtual FsStatus VerifyStaged(StagedCopy& copy) = 0;
    // Gives the copy its final name, never replacing a file.
    virtual FsStatus NameStaged(StagedCopy& copy) = 0;
    // Takes a named copy away again, while its name is still that copy's.
    virtual void RemoveNamed(StagedCopy& copy) = 0;
    // A copy staged for `to` as StageCopy stages one, from a source without
    // paths (a device on a cable): `fill` pushes the file's bytes, all of
    // them and in order, through the writer it is given. The copy takes
    // `modified` as its time; fewer or more bytes than `size` fail it.
    // A copy staged for `to` from `scratch`, a file of the program's own
    // that nobody else holds (a device's download): on the same file system
    // it becomes the staged copy itself, without a second write.
    virtual std::unique_ptr<StagedCopy> StageScratch(const std::string& scratch, const std::string& to, bool verify,
                                                     FsStatus& status) {
        return StageCopy(scratch, to, verify, status);
    }
    using ByteWriter = std::function<FsStatus(const char* bytes, std::size_t n)>;
    using ByteFiller = std::function<FsStatus(const ByteWriter& write)>;
    virtual std::unique_ptr<StagedCopy> StageBytes(const std::string& to, std::int64_t size,
                                                   const std::optional<FileTime>& modified, bool verify,
                                                   ByteFiller fill, FsStatus& status) {
        (void)to, (void)size, (void)modified, (void)verify, (void)fill;
        status = FsStatus::Fail("This file system takes no copies from a device");
        return nullptr;
    }

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

}  // namespace ravlen
