#pragma once
// A file system that counts what the program asks of the one it wraps: files
// opened, the readers' reads and skips with their bytes, existence tests,
// listings, moves and copies.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/file_system.h"

namespace ravlen::bench {

struct FsCounts {
    std::uint64_t opens = 0;
    std::uint64_t reads = 0;      // ReadStream::Read calls
    std::uint64_t readBytes = 0;  // bytes those calls asked for
    std::uint64_t skips = 0;
    std::uint64_t existsTests = 0;
    std::uint64_t listings = 0;
    std::uint64_t moves = 0;
    std::uint64_t copies = 0;
};

class CountingFileSystem final : public FileSystem {
public:
    explicit CountingFileSystem(FileSystem& inner) : inner_(inner) {}
    const FsCounts& Counts() const { return counts_; }
    void ResetCounts() { counts_ = {}; }

    bool FolderExists(const std::string& path) override { return inner_.FolderExists(path); }
    bool FileExists(const std::string& path) override {
        ++counts_.existsTests;
        return inner_.FileExists(path);
    }
    std::optional<FolderRef> GetFolder(const std::string& path) override { return inner_.GetFolder(path); }
    FsStatus CreateFolder(const std::string& path) override { return inner_.CreateFolder(path); }
    FsStatus ReachFolderBeneath(const std::string& top, const std::string& folder, FileId* reached) override {
        return inner_.ReachFolderBeneath(top, folder, reached);
    }
    FsStatus DeleteFolder(const std::string& path) override { return inner_.DeleteFolder(path); }
    FsStatus HoldOutput(const std::string& folder) override { return inner_.HoldOutput(folder); }
    FsStatus HoldBackup(const std::string& folder) override { return inner_.HoldBackup(folder); }
    void ReleaseOutput() override { inner_.ReleaseOutput(); }
    bool ListFolder(const std::string& path, std::vector<FsItem>& files, std::vector<FsItem>& folders) override {
        ++counts_.listings;
        return inner_.ListFolder(path, files, folders);
    }
    int CountItems(const std::string& path) override { return inner_.CountItems(path); }
    bool HoldsNothing(const std::string& path) override { return inner_.HoldsNothing(path); }
    std::optional<EntryFacts> Examine(const std::string& path) override { return inner_.Examine(path); }
    FsStatus RemoveIfStill(const std::string& path, const FileId& id) override {
        return inner_.RemoveIfStill(path, id);
    }
    bool HoldsStartOf(const std::string& copy, const std::string& original) override {
        return inner_.HoldsStartOf(copy, original);
    }
    int RemoveFilesNamed(const std::string& folder,
                         const std::function<bool(std::string_view name)>& chosen) override {
        return inner_.RemoveFilesNamed(folder, chosen);
    }
    std::optional<FsItem> GetFile(const std::string& path) override { return inner_.GetFile(path); }
    std::string TypeDescription(const std::string& path) override { return inner_.TypeDescription(path); }
    std::unique_ptr<ReadStream> OpenRead(const std::string& path, FsStatus& status) override {
        ++counts_.opens;
        std::unique_ptr<ReadStream> stream = inner_.OpenRead(path, status);
        if (!stream) return stream;
        return std::make_unique<Stream>(std::move(stream), counts_);
    }
    // The hints pass through, so that a pass here reads as the program's does.
    void WillRead(const std::string& path) override { inner_.WillRead(path); }
    void ReadsOver() override { inner_.ReadsOver(); }
    FsStatus MoveFile(const std::string& from, const std::string& to) override {
        ++counts_.moves;
        return inner_.MoveFile(from, to);
    }
    FsStatus CopyFile(const std::string& from, const std::string& to) override {
        ++counts_.copies;
        return inner_.CopyFile(from, to);
    }
    bool SameFileSystem(const std::string& from, const std::string& toFolder) override {
        return inner_.SameFileSystem(from, toFolder);
    }
    std::unique_ptr<StagedCopy> StageCopy(const std::string& from, const std::string& to, bool verify,
                                          FsStatus& status) override {
        ++counts_.copies;
        return inner_.StageCopy(from, to, verify, status);
    }
    FsStatus FlushFileSystem(const std::string& folder) override { return inner_.FlushFileSystem(folder); }
    FsStatus VerifyStaged(StagedCopy& copy) override { return inner_.VerifyStaged(copy); }
    FsStatus NameStaged(StagedCopy& copy) override { return inner_.NameStaged(copy); }
    FsStatus GiveUpSource(StagedCopy& copy) override { return inner_.GiveUpSource(copy); }
    void RemoveNamed(StagedCopy& copy) override { inner_.RemoveNamed(copy); }
    void WillCopy(const std::string& path) override { inner_.WillCopy(path); }
    std::unique_ptr<TextFile> CreateTextFile(const std::string& path, std::string& error) override {
        return inner_.CreateTextFile(path, error);
    }
    CopyRemovalResult RemoveIfIdentical(const std::string& copy, const std::string& original,
                                        const std::function<void()>& pump) override {
        return inner_.RemoveIfIdentical(copy, original, pump);
    }
    FsStatus ContentHash(const std::string& path, std::string& hash, const std::function<void()>& pump) override {
        return inner_.ContentHash(path, hash, pump);
    }
    FsStatus ReadSample(const std::string& path, FileSample& sample) override { return inner_.ReadSample(path, sample); }
    std::optional<FileTime> ModifiedTime(const std::string& path) override { return inner_.ModifiedTime(path); }
    FsStatus SetModifiedTime(const std::string& path, const FileTime& time) override {
        return inner_.SetModifiedTime(path, time);
    }
    std::string DrivePart(const std::string& path) override { return inner_.DrivePart(path); }
    std::string ParentPart(const std::string& path) override { return inner_.ParentPart(path); }

private:
    class Stream final : public ReadStream {
    public:
        Stream(std::unique_ptr<ReadStream> inner, FsCounts& counts) : inner_(std::move(inner)), counts_(counts) {}
        FsStatus Read(std::size_t n, std::string& out) override {
            ++counts_.reads;
            counts_.readBytes += n;
            return inner_->Read(n, out);
        }
        FsStatus Skip(std::uint64_t n) override {
            ++counts_.skips;
            return inner_->Skip(n);
        }
        bool GoBack(std::uint64_t offset) override { return inner_->GoBack(offset); }
        void Close() override { inner_->Close(); }

    private:
        std::unique_ptr<ReadStream> inner_;
        FsCounts& counts_;
    };

    FileSystem& inner_;
    FsCounts counts_;
};

}  // namespace ravlen::bench
