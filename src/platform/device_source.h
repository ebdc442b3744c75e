#pragma once
// A camera or phone on a cable as the source of a run. Its files are named
// under the source's own path ("camera:<model>@<port>") followed by their
// folder path on the device, and reach the computer only through the device.
// No file crosses the cable twice: where the device answers partial reads,
// the readers' bounded reads are served from it; elsewhere a file read before
// its copy (for its dates, or its content hash) is downloaded once into a
// scratch folder and read, and copied, from there.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "model/file_system.h"
#include "platform/device_link.h"
#include "platform/early_writeback.h"

namespace ravlen {

// The path a device is named by in SourcePath, and back.
std::string DeviceSourcePath(const DeviceInfo& device);
bool IsDeviceSourcePath(const std::string& path);
std::optional<DeviceInfo> ParseDeviceSourcePath(const std::string& path);
// What a run says when the device cannot be opened: how to release one that
// another program holds.
std::string DeviceOpenMessage(const DeviceInfo& device, const DeviceStatus& status);

class DeviceSource final : public FileSource {
public:
    // `disk` takes the copies; `top` is the path the files are named under.
    DeviceSource(DeviceLink& link, FileSystem& disk, std::string top);
    ~DeviceSource() override;
    DeviceSource(const DeviceSource&) = delete;
    DeviceSource& operator=(const DeviceSource&) = delete;

    // Where files read before their copy wait for it (best on the output
    // folder's file system, where the copy is then made without a second
    // transfer); the system's temporary folder until set. What a killed run
    // left there is removed.
    void SetScratchFolder(const std::string& folder);
    const std::string& Top() const { return top_; }
    // The folder path on the device of a path under Top(): "/" for Top() itself.
    std::string DevicePath(const std::string& path) const;
    // The device's failure that stopped the last operation, when it was one
    // that stops every file: the device is gone.
    bool Unplugged() const { return unplugged_; }

    bool ListFolder(const std::string& path, std::vector<FsItem>& files, std::vector<FsItem>& folders) override;
    std::optional<FsItem> GetFile(const std::string& path) override;
    std::unique_ptr<ReadStream> OpenRead(const std::string& path, FsStatus& status) override;
    FsStatus MoveFile(const std::string& from, const std::string& to) override;
    FsStatus CopyFile(const std::string& from, const std::string& to) override;
    bool SameFileSystem(const std::string&, const std::string&) override { return false; }
    void HashCopies(bool on) override { keepSamples_ = on; }
    std::unique_ptr<StagedCopy> StageCopy(const std::string& from, const std::string& to, bool verify,
                                          FsStatus& status) override;
    FsStatus GiveUpSource(StagedCopy& copy) override;
    FsStatus ContentHash(const std::string& path, std::string& hash, const std::function<void()>& pump) override;
    FsStatus ReadSample(const std::string& path, FileSample& sample) override;
    std::optional<FileTime> ModifiedTime(const std::string& path) override;
    // The pass is over. Its downloads wait for the next pass (the run that
    // follows a preview takes them, rather than the device's bytes again),
    // unless they left the disk short of room; all go with the source.
    void ReadsOver() override;
    // The model and the file's path on the device: its port changes each
    // time it is plugged in.
    std::string ListingKey(const std::string& path) override;

private:
    friend class DevicePartStream;
    FsStatus StatusOf(const DeviceStatus& status);
    // The file's facts, from its listing where it was listed.
    bool Facts(const std::string& path, DeviceEntry& entry, FsStatus& status);
    // The file downloaded whole into the scratch folder, once; its path there.
    bool Downloaded(const std::string& path, std::string& local, FsStatus& status);
    // Whether the file's bytes are already downloaded here.
    bool HasDownload(const std::string& path);
    // The file's download let go.
    void DropDownload(const std::string& path);
    // The file's sample, from the bytes of its download held in memory where
    // it was the last one, else read from the download at `local`.
    FsStatus SampleOfDownload(const std::string& path, const std::string& local, FileSample& sample);
    FsStatus ReadRange(const std::string& path, std::uint64_t offset, std::size_t n, std::string& out);
    // Whether the device answers partial reads, learnt from its first answer:
    // then `first` holds the file's first window, or `status` the failure.
    bool PartialReads(const std::string& path, std::uint64_t size, std::string& first, FsStatus& status);

    DeviceLink& link_;
    FileSystem& disk_;
    std::string top_;
    std::string scratchFolder_, scratch_;  // scratch_: our own folder in it, made on first use
    int scratchFd_ = -1;                   // scratch_ opened, for the writeback of the downloads
    dev_t scratchDevice_ = 0;
    EarlyWriteback writeback_;  // the downloads' bytes, started for the disk
    std::recursive_mutex mutex_;           // the link: removals run on worker threads
    std::map<std::string, DeviceEntry> listed_;   // by path
    std::map<std::string, std::string> local_;    // path -> downloaded copy
    std::map<const StagedCopy*, std::string> staged_;  // a copy staged from a download -> its device path
    std::map<std::string, DeviceEntry> downloadedAs_;  // path -> the file as listed when downloaded
    std::set<std::string> passOnly_;  // downloads let go at the end of the pass: the disk is short of room
    std::map<std::string, FileSample> samples_;  // path -> sample of a download moved into its staged copy
    // The last download's first and last bytes, taken as it crossed the
    // cable: the date readers and the sample, which come next, find them
    // here instead of opening the download again.
    struct HeldBytes {
        std::string path, head, tail;
        std::uint64_t size = 0;
    };
    HeldBytes held_;
    int partial_ = -1;  // -1 unknown, 0 no, 1 yes
    bool keepSamples_ = false;  // a record of imports compares files by their samples
    std::uint64_t spare_ = 0;   // what downloads kept for a later pass may still take of the disk
    unsigned downloads_ = 0;
    bool unplugged_ = false;
};

}  // namespace ravlen
