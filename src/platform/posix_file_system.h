#pragma once
// The file system of a Linux machine.

#include <functional>
#include <string>

#include "model/file_system.h"

namespace ravlen {

class PosixFileSystem : public FileSystem {
public:
    // How a file's type description is found (the desktop's MIME database in
    // the program; tests may leave it unset, giving a description from the extension).
    using TypeDescriber = std::function<std::string(const std::string& path)>;
    explicit PosixFileSystem(TypeDescriber describer = {});

    bool FolderExists(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    std::optional<FolderRef> GetFolder(const std::string& path) override;
    FsStatus CreateFolder(const std::string& path) override;
    FsStatus DeleteFolder(const std::string& path) override;
    bool ListFolder(const std::string& path, std::vector<FsItem>& files, std::vector<FsItem>& folders) override;
    int CountItems(const std::string& path) override;
    std::optional<FsItem> GetFile(const std::string& path) override;
    std::string TypeDescription(const std::string& path) override;
    std::unique_ptr<ReadStream> OpenRead(const std::string& path, std::string& error) override;
    FsStatus MoveFile(const std::string& from, const std::string& to) override;
    FsStatus CopyFile(const std::string& from, const std::string& to) override;
    std::unique_ptr<TextFile> CreateTextFile(const std::string& path, std::string& error) override;
    std::string DrivePart(const std::string& path) override;
    std::string ParentPart(const std::string& path) override;

protected:
    // Low-level steps of a copy, virtual so that tests can inject faults
    // (a full disk, a read error) halfway through.
    virtual long ReadChunk(int fd, char* buffer, unsigned long size);
    virtual long WriteChunk(int fd, const char* buffer, unsigned long size);
    virtual int SyncFile(int fd);
    // renameat2 with RENAME_NOREPLACE; virtual so tests can simulate a file
    // system that refuses the flag, or a move across file systems.
    virtual int RenameNoReplace(const std::string& from, const std::string& to);

private:
    TypeDescriber describer_;
};

}  // namespace ravlen
