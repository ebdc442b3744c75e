#include "platform/posix_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>

#include "platform/fd_closer.h"
#include "platform/posix_common.h"

// Files read front to back for their metadata, and a file's sample.

namespace ravlen {

using namespace posix_fs;

namespace {

// A read of this size or more goes straight to the caller; smaller ones fill
// the stream's window, so that the readers' many tiny reads cost one call.
constexpr std::size_t kStreamBuffer = 16 * 1024;
// The unit the kernel reads a file in: a refill runs to the end of the page
// holding its last byte, which costs the medium nothing more.
constexpr std::size_t kPage = 4 * 1024;

constexpr const char* kPastEnd = "Input past end of file";

// Reads at least `atLeast` and at most `most` bytes at `offset`; fewer only at
// the end of the file. The count read, or -1 with errno set.
long PreadSome(int fd, char* dst, std::size_t atLeast, std::size_t most, std::uint64_t offset) {
    std::size_t got = 0;
    while (got < atLeast) {
        const ssize_t n = pread(fd, dst + got, most - got, static_cast<off_t>(offset + got));
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<long>(got);
}

// A file read front to back through a small window, so that the readers' many
// tiny reads and skips cost one system call per window instead of one each.
class PosixReadStream final : public ReadStream {
public:
    // `first` holds the file's first bytes when they were read ahead.
    PosixReadStream(int fd, std::uint64_t size, FirstBytes first = {})
        : fd_(fd), size_(size), buf_(std::move(first.data)), bufLen_(first.length), bufSize_(first.length) {}
    ~PosixReadStream() override { Close(); }
    PosixReadStream(const PosixReadStream&) = delete;
    PosixReadStream& operator=(const PosixReadStream&) = delete;

    FsStatus Read(std::size_t n, std::string& out) override {
        if (fd_ < 0) return Failure(EBADF);
        if (n == 0) return FsStatus::Ok();
        // A length beyond the end fails before anything is allocated for it.
        if (!Within(n)) return FsStatus::Fail(FsFault::PastEnd, kPastEnd);
        const std::size_t start = out.size();
        std::size_t done = 0;
        if (pos_ >= bufStart_ && pos_ - bufStart_ < bufLen_) {
            const std::size_t at = static_cast<std::size_t>(pos_ - bufStart_);
            done = std::min(n, bufLen_ - at);
            out.append(buf_.get() + at, done);
        }
        const std::size_t rest = n - done;
        if (rest >= kStreamBuffer) {
            // Large reads go straight into the caller's string.
            out.resize(start + n);
            const long got = PreadSome(fd_, out.data() + start + done, rest, rest, pos_ + done);
            if (got < 0 || static_cast<std::size_t>(got) < rest) {
                const int err = errno;
                out.resize(start);
                return got < 0 ? Failure(err) : FsStatus::Fail(FsFault::PastEnd, kPastEnd);
            }
        } else if (rest > 0) {
            if (bufSize_ < kStreamBuffer + kPage) {
                buf_.reset(new char[kStreamBuffer + kPage]);
                bufSize_ = kStreamBuffer + kPage;
            }
            const std::uint64_t at = pos_ + done;
            // The first read takes what nearly every file needs for its dates;
            // later ones only the bytes asked for, up to the end of their page.
            const std::uint64_t end = std::max<std::uint64_t>(at + rest, at == 0 ? kFirstReadLength : 0);
            const std::size_t most = static_cast<std::size_t>((end + kPage - 1) / kPage * kPage - at);
            const long got = PreadSome(fd_, buf_.get(), rest, most, at);
            if (got < 0) {
                const int err = errno;
                bufLen_ = 0;
                out.resize(start);
                return Failure(err);
            }
            bufStart_ = at;
            bufLen_ = static_cast<std::size_t>(got);
            if (bufLen_ < rest) {
                out.resize(start);
                return FsStatus::Fail(FsFault::PastEnd, kPastEnd);
            }
            out.append(buf_.get(), rest);
        }
        pos_ += n;
        return FsStatus::Ok();
    }

    FsStatus Skip(std::uint64_t n) override {
        if (fd_ < 0) return Failure(EBADF);
        if (!Within(n)) return FsStatus::Fail(FsFault::PastEnd, kPastEnd);
        pos_ += n;  // the next read finds the new position in the window or refills it
        return FsStatus::Ok();
    }

    bool GoBack(std::uint64_t offset) override {
        if (fd_ < 0 || offset > pos_) return false;
        pos_ = offset;  // as Skip: the window still serves it, or the next read refills it
        return true;
    }

    void Close() override {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
        buf_.reset();
        bufLen_ = 0;
        bufSize_ = 0;
    }

private:
    // Whether n more bytes lie before the end; the size is looked up again
    // only when the file seems too short, in case it grew since it was opened.
    bool Within(std::uint64_t n) {
        if (pos_ <= size_ && n <= size_ - pos_) return true;
        struct stat st{};
        if (fstat(fd_, &st) != 0) return false;
        size_ = static_cast<std::uint64_t>(st.st_size);
        return pos_ <= size_ && n <= size_ - pos_;
    }

    int fd_;
    std::uint64_t size_;
    std::uint64_t pos_ = 0;
    std::unique_ptr<char[]> buf_;
    std::uint64_t bufStart_ = 0;
    std::size_t bufLen_ = 0;
    std::size_t bufSize_ = 0;  // what buf_ holds room for
};

}  // namespace

std::unique_ptr<ReadStream> PosixFileSystem::OpenRead(const std::string& path, FsStatus& status) {
    struct stat st{};
    // A file opened ahead of its turn is read through that descriptor. Its
    // O_NONBLOCK (against a FIFO put in its place) means nothing to an
    // ordinary file's reads and stays.
    FirstBytes first;
    int fd = readAhead_.Take(path, st, first);
    if (fd < 0) {
        fd = VetSource(readAhead_.Open(path), st, status);
        if (fd < 0) return nullptr;
        first = readAhead_.FirstRead(fd, std::min(kFirstReadLength, static_cast<std::size_t>(st.st_size)));
    }
    status = FsStatus::Ok();
    return std::make_unique<PosixReadStream>(fd, static_cast<std::uint64_t>(st.st_size), std::move(first));
}

void PosixFileSystem::WillRead(const std::string& path) { readAhead_.Hint(path, kFirstReadLength); }

void PosixFileSystem::ReadsOver() {
    readAhead_.Release();
    fatDevices_.clear();
    listedDevices_.clear();
}

FsStatus PosixFileSystem::ReadSample(const std::string& path, FileSample& sample) {
    struct stat st{};
    FsStatus failure;
    const FdCloser in(VetSource(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK), st, failure));
    if (in.fd < 0) return failure;
    const auto size = static_cast<std::uint64_t>(st.st_size);
    // The head, then the tail where it lies past the head.
    const std::uint64_t head = std::min<std::uint64_t>(size, kSampleBytes);
    const std::uint64_t tail = std::min<std::uint64_t>(size - head, kSampleBytes);
    sample.Bytes.assign(static_cast<std::size_t>(head + tail), '\0');
    // n bytes at o, only where the file has them, into the sample at `at`.
    const auto readAt = [&](std::uint64_t n, std::uint64_t o, std::size_t at) {
        if (n == 0) return FsStatus::Ok();
        if (n > size || o > size - n) return FsStatus::Fail(FsFault::PastEnd, kPastEnd);
        const long got = PreadSome(in.fd, sample.Bytes.data() + at, static_cast<std::size_t>(n),
                                   static_cast<std::size_t>(n), o);
        if (got < 0) return Failure(errno);
        if (static_cast<std::uint64_t>(got) < n) return FsStatus::Fail(FsFault::PastEnd, kPastEnd);  // shrunk meanwhile
        return FsStatus::Ok();
    };
    if (FsStatus read = readAt(head, 0, 0); !read) return read;
    if (FsStatus read = readAt(tail, size - tail, static_cast<std::size_t>(head)); !read) return read;
    sample.Size = static_cast<std::int64_t>(size);
    sample.Modified = DateTime::FromTimeT(st.st_mtime);
    sample.Id = {st.st_dev, st.st_ino};
    return FsStatus::Ok();
}

long PosixFileSystem::ReadNoWait(int fd, char* buffer, unsigned long size) {
    iovec piece{buffer, size};
    return static_cast<long>(preadv2(fd, &piece, 1, 0, RWF_NOWAIT));
}

}  // namespace ravlen
