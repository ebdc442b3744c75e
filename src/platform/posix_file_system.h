#pragma once
// The file system of a Linux machine.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <functional>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/file_system.h"
#include "platform/early_writeback.h"
#include "platform/folder_handles.h"
#include "platform/folder_names.h"
#include "platform/read_ahead.h"
#include "platform/writes_aside.h"

struct XXH3_state_s;

namespace ravlen {

// How much a file's first read asks for: a camera JPEG's APP1 header with
// both directories and their dates, a raw file's first directories, a movie's
// first boxes. Later reads ask only for what the readers need next.
inline constexpr std::size_t kFirstReadLength = 4 * 1024;

class PosixFileSystem : public FileSystem {
public:
    // How a file's type description is found (the desktop's MIME database in
    // the program; tests may leave it unset, giving a description from the extension).
    using TypeDescriber = std::function<std::string(const std::string& path)>;
    explicit PosixFileSystem(TypeDescriber describer = {});

    bool FolderExists(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    bool NameTaken(const std::string& folder, const std::string& name) override;
    void BatchBegins() override;
    std::optional<FolderRef> GetFolder(const std::string& path) override;
    FsStatus CreateFolder(const std::string& path) override;
    FsStatus ReachFolderBeneath(const std::string& top, const std::string& folder, FileId* reached) override;
    FsStatus HoldOutput(const std::string& folder) override;
    FsStatus HoldBackup(const std::string& folder) override;
    void ReleaseOutput() override;
    FsStatus DeleteFolder(const std::string& path) override;
    bool ListFolder(const std::string& path, std::vector<FsItem>& files, std::vector<FsItem>& folders) override;
    int CountItems(const std::string& path) override;
    bool HoldsNothing(const std::string& path) override;
    std::optional<EntryFacts> Examine(const std::string& path) override;
    FsStatus RemoveIfStill(const std::string& path, const FileId& id) override;
    bool HoldsStartOf(const std::string& copy, const std::string& original) override;
    int RemoveFilesNamed(const std::string& folder,
                         const std::function<bool(std::string_view name)>& chosen) override;
    std::optional<FsItem> GetFile(const std::string& path) override;
    std::string TypeDescription(const std::string& path) override;
    std::unique_ptr<ReadStream> OpenRead(const std::string& path, FsStatus& status) override;
    void WillRead(const std::string& path) override;
    void ReadsOver() override;
    void HashCopies(bool on) override { hashCopies_ = on; }
    FsStatus MoveFile(const std::string& from, const std::string& to) override;
    FsStatus MoveListed(const std::string& from, const std::string& to, const FsItem& listed,
                        std::optional<FsItem>& placed) override;
    FsStatus CopyFile(const std::string& from, const std::string& to) override;
    bool SameFileSystem(const std::string& from, const std::string& toFolder) override;
    std::unique_ptr<StagedCopy> StageCopy(const std::string& from, const std::string& to, bool verify,
                                          FsStatus& status) override;
    std::vector<std::unique_ptr<StagedCopy>> StageCopies(const std::string& from,
                                                         const std::vector<std::string>& targets, bool verify,
                                                         std::vector<FsStatus>& statuses) override;
    FsStatus FlushFileSystem(const std::string& folder) override;
    FsStatus VerifyStaged(StagedCopy& copy) override;
    FsStatus NameStaged(StagedCopy& copy) override;
    std::unique_ptr<StagedCopy> StageScratch(const std::string& scratch, const std::string& to, bool verify,
                                             FsStatus& status) override;
    std::unique_ptr<StagedCopy> StageBytes(const std::string& to, std::int64_t size,
                                           const std::optional<FileTime>& modified, bool verify, ByteFiller fill,
                                           FsStatus& status) override;
    FsStatus GiveUpSource(StagedCopy& copy) override;
    void RemoveNamed(StagedCopy& copy) override;
    void WillCopy(const std::string& path) override;
    bool CopiesUnderFinalName(const std::string& folder) override;
    FsStatus ProbeWritable(const std::string& folder) override;
    std::optional<std::uint64_t> FreeBytes(const std::string& folder) override;
    std::unique_ptr<TextFile> CreateTextFile(const std::string& path, std::string& error) override;
    CopyRemovalResult RemoveIfIdentical(const std::string& copy, const std::string& original,
                                        const std::function<void()>& pump) override;
    FsStatus ContentHash(const std::string& path, std::string& hash, const std::function<void()>& pump) override;
    FsStatus ReadSample(const std::string& path, FileSample& sample) override;
    std::optional<FileTime> ModifiedTime(const std::string& path) override;
    FsStatus SetModifiedTime(const std::string& path, const FileTime& time) override;
    std::string DrivePart(const std::string& path) override;
    std::string ParentPart(const std::string& path) override;

protected:
    // Low-level steps of a copy and of a comparison, virtual so that tests
    // can inject faults (a full disk, a read error) halfway through, or play a
    // file system that refuses unnamed files, no-replace renames, links or
    // in-kernel copies.
    virtual long ReadChunk(int fd, char* buffer, unsigned long size);
    virtual long WriteChunk(int fd, const char* buffer, unsigned long size);
    virtual long CopyRange(int in, int out, unsigned long size);  // copy_file_range
    virtual int SyncFile(int fd);
    virtual int SyncFileSystem(int fd);  // syncfs
    // An unnamed file in the folder (O_TMPFILE); -1 with errno set.
    virtual int OpenUnnamed(int dirfd, unsigned mode);
    // Each returns 0 on success, else the errno value of the failure.
    virtual int RenameNoReplace(int fromDir, const char* from, int toDir, const char* to);  // renameat2
    virtual int HardLink(int fromDir, const char* from, int toDir, const char* to);
    virtual int LinkUnnamed(int fd, int dirfd, const char* name);
    // The folder's file system type (statfs f_type; 0 when unknown) and an
    // entry's FAT attribute bits (0, else the errno value of the failure).
    virtual long FileSystemType(int fd);
    virtual int FatAttributeBits(int dirfd, const char* name, bool isFolder, std::uint32_t& attr);
    // A read of a file's first bytes that must not wait (RWF_NOWAIT): how a
    // walk tells a cached card from a cold one. A fast medium may finish the
    // read it starts within the call, so tests say which files are cold.
    virtual long ReadNoWait(int fd, char* buffer, unsigned long size);

private:
    // An existing entry, named relative to a folder: the folder's checked
    // handle where it lies below the held output folder (so that the file
    // acted on is the one whose folder was checked, whatever is swapped in at
    // its path), else the whole path from the working folder.
    struct Entry {
        FolderHandle folder;  // keeps `at` open
        int at = AT_FDCWD;
        std::string name;
    };
    bool EntryOf(const std::string& path, Entry& entry, FsStatus& failure);
    FsStatus Move(const std::string& from, const std::string& to);
    FsStatus CopyInto(const Entry& from, int dirfd, const std::string& name, struct stat& copied,
                      struct stat& made);
    // Without `flush` the copy is left to a flush of its whole file system;
    // with a `hash` (XXH3, 128 bits), the bytes read go into it.
    FsStatus FillCopy(int in, int out, const struct stat& source, bool flush, struct XXH3_state_s* hash = nullptr);
    // FillCopy into each of `outs` from one read of `in`: a failure of the
    // source fails them all (the result), one of a copy fails that copy
    // alone (its entry of `each`). `finished`, when given, takes each whole
    // copy's facts once its time is set.
    // With `aside`, the copies after the first are written on the writer's
    // thread where it runs: their entries of `aside` are set, and their
    // outcomes stand once settled there.
    FsStatus FillCopies(int in, std::span<const int> outs, const struct stat& source, bool flush,
                        struct XXH3_state_s* hash, std::span<FsStatus> each, std::span<struct stat> finished = {},
                        std::vector<std::shared_ptr<WritesAside::Copy>>* aside = nullptr);
    FsStatus FillAside(int in, std::span<const int> outs, const struct stat& source, struct XXH3_state_s* hash,
                       std::span<FsStatus> each, std::span<struct stat> finished,
                       std::vector<std::shared_ptr<WritesAside::Copy>>& aside);
    bool FinalNamesOnly(int dirfd) const;
    // Pushes a device's bytes into `out` and gives it their time; with a
    // `hash`, the bytes go into it.
    static FsStatus FillFromBytes(int out, std::int64_t size, const std::optional<FileTime>& modified,
                                  const ByteFiller& fill, bool flush, struct XXH3_state_s* hash);
    // Exactly n bytes unless the file ends first; the count read, or -1.
    long ReadFull(int fd, char* buffer, std::size_t n);
    FolderHandle OutputFolderOf(const std::string& path, FsStatus& failure);
    // The folder a copy is staged in: the handle held for it as it is, for
    // the copy's naming looks through the whole path after it.
    FolderHandle StagingFolder(const std::string& path, FsStatus& failure);
    // Whether the held folder of `target` is still the folder `folder` at its path.
    FsStatus StillAtItsPath(const std::string& target, const FileId& folder);
    // The FAT type of the device `path` lies on (0 for another file
    // system), asked once a device.
    long FatType(dev_t device, const char* path);
    // The plain file `name` in the folder `dirfd`, its facts told under `path`.
    std::optional<FsItem> FileIn(int dirfd, const std::string& name, const std::string& path);
    // The entry's FAT attributes as kAttr* bits; never asked again of a file
    // system type whose driver refused the request.
    int FatAttributesOf(int dirfd, const char* name, bool isFolder, long type);

    TypeDescriber describer_;
    std::vector<dev_t> finalNamesOnly_;  // file systems that take a copy only under its final name
    std::vector<std::pair<std::string, bool>> probed_;  // CopiesUnderFinalName's answers by folder
    ReadAhead readAhead_{[this](int fd, char* buffer, std::size_t size) { return ReadNoWait(fd, buffer, size); }};
    FolderHandles handles_;  // the run's output folder and its subfolders, while a run holds them
    EarlyWriteback writeback_;  // the staged copies' bytes, started for the disk
    WritesAside aside_;         // backup copies' bytes, written beside the run's thread
    bool hashCopies_ = false;  // HashCopies
    FolderNames names_{[this](int fd) { return FileSystemType(fd); }};  // the held folders' names, for the serial loop
    // Learnt by each listing for the pass's files' own checks, and again by
    // the next listing (a card swapped under one path may reuse a device
    // number); forgotten when a pass's reads are over.
    std::unordered_map<dev_t, long> fatDevices_;  // device -> FAT type, 0 for none
    std::vector<long> fatTypesWithoutAttributes_;
    std::unordered_map<std::string, dev_t> listedDevices_;  // folder path -> device
};

}  // namespace ravlen
