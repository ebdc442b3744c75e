#include "platform/device_source.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "model/intent_record.h"
#include "platform/fd_closer.h"
#include "platform/posix_common.h"

namespace ravlen {

namespace {

// The least a partial read asks of the device: the readers' first read of a
// file, so that their next small reads are served from it.
constexpr std::size_t kPartWindow = 4 * 1024;
static_assert(kPartWindow >= kSampleBytes, "a sample's head comes from the first window");
constexpr const char* kUnpluggedText = "The device is no longer connected";
// What is held of the last download's head: the date readers of nearly every
// file find all they need in it.
constexpr std::size_t kHeldHead = 16 * 1024;
// The room a download kept for a later pass leaves free at least.
constexpr std::uint64_t kKeptDownloadsRoom = 1ULL << 30;

std::pair<std::string, std::string> Split(const std::string& devicePath) {
    const auto slash = devicePath.rfind('/');
    if (slash == std::string::npos) return {"/", devicePath};
    return {slash == 0 ? "/" : devicePath.substr(0, slash), devicePath.substr(slash + 1)};
}

}  // namespace

std::string DeviceSourcePath(const DeviceInfo& device) {
    return std::string(kDevicePrefix) + device.Model + "@" + device.Port;
}

bool IsDeviceSourcePath(const std::string& path) { return path.rfind(kDevicePrefix, 0) == 0; }

std::optional<DeviceInfo> ParseDeviceSourcePath(const std::string& path) {
    if (!IsDeviceSourcePath(path)) return std::nullopt;
    const std::string rest = path.substr(kDevicePrefix.size());
    // A model's name may hold an @; a port never does.
    const auto at = rest.rfind('@');
    if (at == std::string::npos || at == 0 || at + 1 == rest.size()) return std::nullopt;
    return DeviceInfo{rest.substr(0, at), rest.substr(at + 1)};
}

std::string DeviceOpenMessage(const DeviceInfo& device, const DeviceStatus& status) {
    const std::string name = device.Model + " (" + device.Port + ")";
    switch (status.fault) {
    case DeviceFault::Busy:
        return name + " is in use by another program. Release it (on GNOME: gio mount -s gphoto2) and try again.";
    case DeviceFault::Unplugged: return name + " is not connected.";
    default: return name + " cannot be opened: " + status.error;
    }
}

// Bounded reads served by the device's partial reads, each asking at least a
// small window so that a reader's run of small reads costs one request.
class DevicePartStream final : public ReadStream {
public:
    DevicePartStream(DeviceSource& source, std::string path, std::uint64_t size, std::string first)
        : source_(source), path_(std::move(path)), size_(size), window_(std::move(first)) {}
    FsStatus Read(std::size_t n, std::string& out) override {
        if (n > size_ || at_ > size_ - n) return FsStatus::Fail(FsFault::PastEnd, "Read past the end of the file");
        if (at_ < windowAt_ || at_ + n > windowAt_ + window_.size()) {
            window_.clear();
            windowAt_ = at_;
            const std::size_t ask = static_cast<std::size_t>(std::min<std::uint64_t>(std::max(n, kPartWindow), size_ - at_));
            if (FsStatus status = source_.ReadRange(path_, at_, ask, window_); !status) return status;
        }
        out.append(window_, static_cast<std::size_t>(at_ - windowAt_), n);
        at_ += n;
        return FsStatus::Ok();
    }
    FsStatus Skip(std::uint64_t n) override {
        if (n > size_ - at_) return FsStatus::Fail(FsFault::PastEnd, "Skip past the end of the file");
        at_ += n;
        return FsStatus::Ok();
    }
    // Parts are asked by offset: going back is asking an earlier one.
    bool GoBack(std::uint64_t offset) override {
        if (offset > at_) return false;
        at_ = offset;
        return true;
    }
    void Close() override {}

private:
    DeviceSource& source_;
    std::string path_;
    std::uint64_t size_, at_ = 0, windowAt_ = 0;
    std::string window_;
};

// A download read from the bytes of its head held in memory, and from the
// file on the disk only once a read goes past them.
class HeldHeadStream final : public ReadStream {
public:
    HeldHeadStream(FileSystem& disk, std::string local, std::string head, std::uint64_t size)
        : disk_(disk), local_(std::move(local)), head_(std::move(head)), size_(size) {}
    FsStatus Read(std::size_t n, std::string& out) override {
        if (n > size_ || at_ > size_ - n) return FsStatus::Fail(FsFault::PastEnd, "Read past the end of the file");
        if (!file_ && at_ + n <= head_.size()) {
            out.append(head_, static_cast<std::size_t>(at_), n);
        } else {
            if (FsStatus opened = Open(); !opened) return opened;
            if (FsStatus read = file_->Read(n, out); !read) return read;
        }
        at_ += n;
        return FsStatus::Ok();
    }
    FsStatus Skip(std::uint64_t n) override {
        if (n > size_ - at_) return FsStatus::Fail(FsFault::PastEnd, "Skip past the end of the file");
        if (file_)
            if (FsStatus skipped = file_->Skip(n); !skipped) return skipped;
        at_ += n;
        return FsStatus::Ok();
    }
    bool GoBack(std::uint64_t offset) override {
        if (offset > at_ || (file_ && !file_->GoBack(offset))) return false;
        at_ = offset;
        return true;
    }
    void Close() override {
        if (file_) file_->Close();
        file_.reset();
    }

private:
    FsStatus Open() {
        if (file_) return FsStatus::Ok();
        FsStatus status;
        file_ = disk_.OpenRead(local_, status);
        if (!file_) return status;
        if (at_ > 0) status = file_->Skip(at_);
        if (!status) file_.reset();
        return status;
    }

    FileSystem& disk_;
    std::string local_, head_;
    std::uint64_t size_, at_ = 0;
    std::unique_ptr<ReadStream> file_;
};

DeviceSource::DeviceSource(DeviceLink& link, FileSystem& disk, std::string top)
    : link_(link), disk_(disk), top_(std::move(top)) {}

DeviceSource::~DeviceSource() {
    if (scratchFd_ >= 0) close(scratchFd_);
    if (scratch_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(scratch_, ec);
}

void DeviceSource::DropDownload(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (const auto it = local_.find(path); it != local_.end()) {
        unlink(it->second.c_str());
        local_.erase(it);
    }
    downloadedAs_.erase(path);
    if (held_.path == path) held_ = {};
}

void DeviceSource::ReadsOver() {
    std::lock_guard lock(mutex_);
    samples_.clear();
    // The downloads wait for the next pass (a preview's for the run that
    // follows), but those that left the disk short of room.
    for (const std::string& path : passOnly_) DropDownload(path);
    passOnly_.clear();
    // Once a pass, not once a file: removing a folder waits on the disk's journal.
    if (!scratch_.empty() && local_.empty() && rmdir(scratch_.c_str()) == 0) {
        scratch_.clear();
        close(scratchFd_);  // a flush aside has a descriptor of its own
        scratchFd_ = -1;
    }
}

void DeviceSource::SetScratchFolder(const std::string& folder) {
    scratchFolder_ = folder;
    // What a run killed before it ended left there is of no use to anyone:
    // its folder names the process that made it.
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kDeviceScratchPrefix, 0) != 0) continue;
        const long pid = std::strtol(name.c_str() + kDeviceScratchPrefix.size(), nullptr, 10);
        // A process still there (or one of another user's) keeps its folder.
        if (pid <= 0 || kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        std::error_code removed;
        std::filesystem::remove_all(entry.path(), removed);
    }
}

std::string DeviceSource::DevicePath(const std::string& path) const {
    if (path.size() <= top_.size() || path.compare(0, top_.size(), top_) != 0) return "/";
    std::string rest = path.substr(top_.size());
    return rest.front() == '/' ? rest : "/" + rest;
}

FsStatus DeviceSource::StatusOf(const DeviceStatus& status) {
    switch (status.fault) {
    case DeviceFault::None: return FsStatus::Ok();
    case DeviceFault::NoFile: return FsStatus::Gone();
    case DeviceFault::Unplugged: unplugged_ = true; return FsStatus::System(ENODEV, kUnpluggedText);
    default: return FsStatus::Fail("The device answered: " + status.error);
    }
}

std::string DeviceSource::ListingKey(const std::string& path) {
    return top_.substr(0, top_.rfind('@')) + DevicePath(path);
}

bool DeviceSource::ListFolder(const std::string& path, std::vector<FsItem>& files, std::vector<FsItem>& folders) {
    files.clear(), folders.clear();
    std::vector<DeviceEntry> fileEntries, folderEntries;
    std::lock_guard lock(mutex_);
    const DeviceStatus status = link_.List(DevicePath(path), fileEntries, folderEntries);
    if (!status) {
        StatusOf(status);
        return false;
    }
    const std::string base = path.size() > top_.size() && path.back() == '/' ? path.substr(0, path.size() - 1) : path;
    for (const DeviceEntry& entry : folderEntries) {
        FsItem item;
        item.Name = entry.Name, item.Path = base + "/" + entry.Name, item.IsFolder = true;
        folders.push_back(std::move(item));
    }
    for (const DeviceEntry& entry : fileEntries) {
        FsItem item;
        item.Name = entry.Name, item.Path = base + "/" + entry.Name, item.Size = entry.Size;
        if (entry.Modified != 0) item.Modified = item.Created = DateTime::FromTimeT(static_cast<std::time_t>(entry.Modified));
        listed_[item.Path] = entry;
        // A download of a pass before holds another file if the device now
        // lists it otherwise.
        if (const auto was = downloadedAs_.find(item.Path);
            was != downloadedAs_.end() && (was->second.Size != entry.Size || was->second.Modified != entry.Modified))
            DropDownload(item.Path);
        files.push_back(std::move(item));
    }
    return true;
}

bool DeviceSource::Facts(const std::string& path, DeviceEntry& entry, FsStatus& status) {
    std::lock_guard lock(mutex_);
    if (const auto it = listed_.find(path); it != listed_.end()) {
        entry = it->second;
        return true;
    }
    const auto [folder, name] = Split(DevicePath(path));
    status = StatusOf(link_.Info(folder, name, entry));
    if (status) listed_[path] = entry;
    return status.ok;
}

std::optional<FsItem> DeviceSource::GetFile(const std::string& path) {
    DeviceEntry entry;
    const auto [folder, name] = Split(DevicePath(path));
    std::lock_guard lock(mutex_);
    if (!link_.Info(folder, name, entry)) return std::nullopt;
    listed_[path] = entry;
    FsItem item;
    item.Name = entry.Name, item.Path = path, item.Size = entry.Size;
    if (entry.Modified != 0) item.Modified = item.Created = DateTime::FromTimeT(static_cast<std::time_t>(entry.Modified));
    return item;
}

std::optional<FileTime> DeviceSource::ModifiedTime(const std::string& path) {
    DeviceEntry entry;
    FsStatus status;
    if (!Facts(path, entry, status) || entry.Modified == 0) return std::nullopt;
    return FileTime{entry.Modified, 0};
}

bool DeviceSource::PartialReads(const std::string& path, std::uint64_t size, std::string& first, FsStatus& status) {
    {
        std::lock_guard lock(mutex_);
        if (partial_ == 0) return false;
    }
    // The first window is read at once: the device's first answer says
    // whether it reads in part at all, and the readers' first read needs it.
    status = ReadRange(path, 0, static_cast<std::size_t>(std::min<std::uint64_t>(size, kPartWindow)), first);
    std::lock_guard lock(mutex_);
    if (status) partial_ = 1;
    return partial_ != 0;
}

FsStatus DeviceSource::ReadRange(const std::string& path, std::uint64_t offset, std::size_t n, std::string& out) {
    const auto [folder, name] = Split(DevicePath(path));
    const std::size_t before = out.size();
    out.resize(before + n);
    std::lock_guard lock(mutex_);
    for (std::size_t got = 0; got < n;) {
        std::uint64_t size = n - got;
        const DeviceStatus status = link_.ReadPart(folder, name, offset + got, out.data() + before + got, size);
        if (status.fault == DeviceFault::NotSupported) partial_ = 0;
        if (!status) return out.resize(before), StatusOf(status);
        if (size == 0) return out.resize(before), FsStatus::Fail(FsFault::PastEnd, "The device gave fewer bytes than it listed");
        got += static_cast<std::size_t>(size);
    }
    return FsStatus::Ok();
}

bool DeviceSource::Downloaded(const std::string& path, std::string& local, FsStatus& status) {
    status = FsStatus::Ok();
    std::lock_guard lock(mutex_);
    if (const auto it = local_.find(path); it != local_.end()) {
        local = it->second;
        return true;
    }
    DeviceEntry entry;
    if (!Facts(path, entry, status)) return false;
    if (scratch_.empty()) {
        std::string folder = scratchFolder_;
        if (folder.empty()) {
            const char* tmp = std::getenv("TMPDIR");
            folder = tmp && *tmp ? tmp : "/tmp";
        }
        std::string pattern = JoinPath(folder, std::string(kDeviceScratchPrefix) + std::to_string(getpid()) + "-XXXXXX");
        if (!mkdtemp(pattern.data())) return status = posix_fs::Failure(errno), false;
        scratch_ = pattern;
        struct stat st{};
        scratchFd_ = open(scratch_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (scratchFd_ >= 0 && fstat(scratchFd_, &st) == 0) scratchDevice_ = st.st_dev;
    }
    local = JoinPath(scratch_, std::to_string(++downloads_));
    const FdCloser out(open(local.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (out.fd < 0) return status = posix_fs::Failure(errno), false;
    FsStatus writeFailure = FsStatus::Ok();
    std::int64_t written = 0;
    held_ = {};
    const auto [folder, name] = Split(DevicePath(path));
    const DeviceStatus got = link_.Download(folder, name, [&](const char* bytes, std::size_t n) {
        if (held_.head.size() < kHeldHead) held_.head.append(bytes, std::min(n, kHeldHead - held_.head.size()));
        if (n >= kSampleBytes) {
            held_.tail.assign(bytes + n - kSampleBytes, kSampleBytes);
        } else {
            held_.tail.append(bytes, n);
            if (held_.tail.size() > kSampleBytes) held_.tail.erase(0, held_.tail.size() - kSampleBytes);
        }
        written += static_cast<std::int64_t>(n);
        writeFailure = posix_fs::WriteWhole(write, out.fd, bytes, n);
        return writeFailure.ok;
    });
    if (!writeFailure) status = writeFailure;
    else if (!got) status = StatusOf(got);
    else if (written != entry.Size)
        status = FsStatus::Fail(FsFault::ChangedWhileCopied, "The device gave another size than it listed");
    if (!status) {
        unlink(local.c_str());
        DropDownload(path);
        return false;
    }
    // The copy made from it keeps the device's time.
    if (entry.Modified != 0) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(entry.Modified), 0}};
        futimens(out.fd, times);
    }
    if (scratchFd_ >= 0) writeback_.Wrote(scratchFd_, scratchDevice_, static_cast<std::uint64_t>(written));
    held_.path = path;
    held_.size = static_cast<std::uint64_t>(written);
    local_[path] = local;
    downloadedAs_[path] = entry;
    // The room is asked of the disk again only once the downloads since
    // could have used what was spare: not once a file.
    const auto size = static_cast<std::uint64_t>(entry.Size);
    if (spare_ < size + kKeptDownloadsRoom) {
        const std::optional<std::uint64_t> free = disk_.FreeBytes(scratch_);
        spare_ = free && *free > kKeptDownloadsRoom ? *free - kKeptDownloadsRoom : 0;
    }
    if (spare_ < size) passOnly_.insert(path);
    else spare_ -= size;
    return true;
}

bool DeviceSource::HasDownload(const std::string& path) {
    std::lock_guard lock(mutex_);
    return local_.count(path) != 0;
}

std::unique_ptr<ReadStream> DeviceSource::OpenRead(const std::string& path, FsStatus& status) {
    DeviceEntry entry;
    if (!Facts(path, entry, status)) return nullptr;
    const bool local = HasDownload(path);
    std::string first;
    if (!local && PartialReads(path, static_cast<std::uint64_t>(entry.Size), first, status)) {
        if (!status) return nullptr;
        return std::make_unique<DevicePartStream>(*this, path, static_cast<std::uint64_t>(entry.Size), std::move(first));
    }
    std::string copy;
    if (!Downloaded(path, copy, status)) return nullptr;
    std::lock_guard lock(mutex_);
    if (held_.path == path) {
        // The stream takes the head; the sample's part of it stays.
        std::string head = std::move(held_.head);
        held_.head.assign(head, 0, std::min(head.size(), kSampleBytes));
        return std::make_unique<HeldHeadStream>(disk_, copy, std::move(head), static_cast<std::uint64_t>(entry.Size));
    }
    return disk_.OpenRead(copy, status);
}

FsStatus DeviceSource::SampleOfDownload(const std::string& path, const std::string& local, FileSample& sample) {
    std::lock_guard lock(mutex_);
    if (held_.path != path) return disk_.ReadSample(local, sample);
    // As a file's sample: its head, then its tail where that lies past the
    // head (the tail held is the file's last bytes, up to a sample's).
    const std::size_t head = std::min(held_.head.size(), kSampleBytes);
    const std::size_t tail = std::min<std::size_t>(static_cast<std::size_t>(held_.size) - head, held_.tail.size());
    sample = {};
    sample.Bytes.reserve(head + tail);
    sample.Bytes.assign(held_.head, 0, head);
    sample.Bytes.append(held_.tail, held_.tail.size() - tail, tail);
    return FsStatus::Ok();
}

FsStatus DeviceSource::ReadSample(const std::string& path, FileSample& sample) {
    DeviceEntry entry;
    FsStatus status;
    if (!Facts(path, entry, status)) return status;
    const bool local = HasDownload(path);
    std::string first;
    std::optional<FileSample> kept;
    if (!local) {
        std::lock_guard lock(mutex_);
        if (const auto it = samples_.find(path); it != samples_.end()) kept = it->second;
    }
    if (kept) {
        sample = std::move(*kept);
    } else if (local || !PartialReads(path, static_cast<std::uint64_t>(entry.Size), first, status)) {
        std::string copy;
        if (!Downloaded(path, copy, status)) return status;
        if (status = SampleOfDownload(path, copy, sample); !status) return status;
    } else {
        if (!status) return status;
        sample = {};
        // The first window is the sample's head; the rest, or the tail, follows.
        const auto size = static_cast<std::uint64_t>(entry.Size);
        sample.Bytes = std::move(first);
        const std::uint64_t from = size <= 2 * kSampleBytes ? sample.Bytes.size() : size - kSampleBytes;
        sample.Bytes.resize(std::min<std::size_t>(sample.Bytes.size(), kSampleBytes));
        status = ReadRange(path, from, static_cast<std::size_t>(size - from), sample.Bytes);
        if (!status) return status;
    }
    sample.Size = entry.Size;
    sample.Modified = entry.Modified != 0 ? DateTime::FromTimeT(static_cast<std::time_t>(entry.Modified)) : DateTime();
    sample.Id = {};
    return FsStatus::Ok();
}

FsStatus DeviceSource::ContentHash(const std::string& path, std::string& hash, const std::function<void()>& pump) {
    // The whole file is needed: downloaded once, and kept for its copy.
    std::string copy;
    FsStatus status;
    if (!Downloaded(path, copy, status)) return status;
    return disk_.ContentHash(copy, hash, pump);
}

std::unique_ptr<StagedCopy> DeviceSource::StageCopy(const std::string& from, const std::string& to, bool verify,
                                                    FsStatus& status) {
    DeviceEntry entry;
    if (!Facts(from, entry, status)) return nullptr;
    std::string local;
    {
        std::lock_guard lock(mutex_);
        if (const auto it = local_.find(from); it != local_.end()) local = it->second;
    }
    std::unique_ptr<StagedCopy> copy;
    if (!local.empty()) {
        // Downloaded already: copied on the computer, never again over the cable.
        std::lock_guard lock(mutex_);
        // The record of imports (when a run has one: HashCopies) compares the
        // next files of this size with this one by its sample, read at its
        // source until its copy is named: taken now, from the download,
        // before it moves into the copy.
        std::optional<FileSample> sample;
        if (FileSample taken; keepSamples_ && SampleOfDownload(from, local, taken)) sample = std::move(taken);
        copy = disk_.StageScratch(local, to, verify, status);
        if (!copy) return nullptr;
        staged_[copy.get()] = from;
        // The staged copy holds the bytes now (the download itself, moved in),
        // unless its folder takes copies only under their final names: then
        // they are copied from the download when named.
        if (!disk_.CopiesUnderFinalName(disk_.ParentPart(to))) {
            if (sample) samples_[from] = std::move(*sample);
            DropDownload(from);  // its name, where a copy to another disk left it
        }
        return copy;
    }
    const auto [folder, name] = Split(DevicePath(from));
    std::optional<FileTime> modified;
    if (entry.Modified != 0) modified = FileTime{entry.Modified, 0};
    copy = disk_.StageBytes(to, entry.Size, modified, verify,
                            [this, folder = folder, name = name](const FileSystem::ByteWriter& write) {
                                FsStatus written;
                                std::lock_guard lock(mutex_);
                                const DeviceStatus got = link_.Download(folder, name, [&](const char* bytes, std::size_t n) {
                                    written = write(bytes, n);
                                    return written.ok;
                                });
                                if (!written) return written;
                                return StatusOf(got);
                            },
                            status);
    if (!copy) return nullptr;
    copy->Source = from;
    // A copy made at the address of one staged from a download before
    // names its own source.
    std::lock_guard lock(mutex_);
    staged_.erase(copy.get());
    return copy;
}

FsStatus DeviceSource::GiveUpSource(StagedCopy& copy) {
    std::string path = copy.Source;
    std::lock_guard lock(mutex_);
    if (const auto it = staged_.find(&copy); it != staged_.end()) path = it->second, staged_.erase(it);
    const auto [folder, name] = Split(DevicePath(path));
    DeviceEntry now;
    if (const DeviceStatus status = link_.Info(folder, name, now); !status) return StatusOf(status);
    // Only while it is still the file copied: same size, same time.
    const auto listed = listed_.find(path);
    if (listed != listed_.end() && (now.Size != listed->second.Size || now.Modified != listed->second.Modified)) {
        copy.SourceChanged = true;
        return FsStatus::Fail(FsFault::ChangedWhileCopied, "The file changed while it was being copied");
    }
    return StatusOf(link_.Delete(folder, name));
}

FsStatus DeviceSource::CopyFile(const std::string& from, const std::string& to) {
    FsStatus status;
    std::unique_ptr<StagedCopy> copy = StageCopy(from, to, false, status);
    if (!copy) return status;
    if (status = disk_.FlushFileSystem(disk_.ParentPart(to)); !status) return status;
    return disk_.NameStaged(*copy);
}

// A device is never the computer's file system: a move is a copy, made
// durable, and the file then deleted on the device.
FsStatus DeviceSource::MoveFile(const std::string& from, const std::string& to) {
    FsStatus status;
    std::unique_ptr<StagedCopy> copy = StageCopy(from, to, false, status);
    if (!copy) return status;
    if (status = disk_.FlushFileSystem(disk_.ParentPart(to)); !status) return status;
    if (status = disk_.NameStaged(*copy); !status) return status;
    if (status = disk_.FlushFileSystem(disk_.ParentPart(to)); !status) return status;
    return GiveUpSource(*copy);
}

}  // namespace ravlen
