#pragma once
// The first reads of the files a walk comes to next, started while it works
// on the current one. While the files are found in the page cache a hint
// only notes the name: each file is opened and read at its turn, as cheaply
// as without hints. Once a file is found uncached, for the rest of the walk
// the files noted and those hinted after are opened ahead and their first
// bytes asked of the medium (or taken at once, when cached after all); the
// descriptor (and the bytes)
// wait for the file's own turn, so a hint costs no second open. Files are
// opened relative to the folder of the last hint, held open, so that a
// card's long paths are not looked up again for every file.

#include <sys/stat.h>

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/fd_closer.h"

namespace ravlen {

// A file's first bytes, read ahead of its turn.
struct FirstBytes {
    std::unique_ptr<char[]> data;
    std::size_t length = 0;
};

class ReadAhead {
public:
    // A read that must not wait (preadv2 with RWF_NOWAIT): the bytes read,
    // or -1 with errno set (EAGAIN: they are not in the page cache).
    using NoWaitRead = std::function<long(int fd, char* buffer, std::size_t size)>;
    explicit ReadAhead(NoWaitRead readNoWait) : readNoWait_(std::move(readNoWait)) {}
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Opens path for reading a few pieces (no read-ahead of the kernel's own
    // on a cold medium), never through a link at its last name and never
    // waiting on a FIFO; -1 with errno set.
    int Open(const std::string& path);
    // The first `length` bytes of a file just opened by Open, when the page
    // cache holds them; else nothing, and the files hinted are opened and
    // their reads started, as the medium is cold.
    FirstBytes FirstRead(int fd, std::size_t length);
    // Starts the first `length` bytes of path on their way, or takes them
    // when they are cached, and keeps the file open for Take. Files kept are
    // bounded; the oldest goes first.
    void Hint(const std::string& path, std::size_t length);
    // The descriptor kept for path when path still leads to that very file,
    // an ordinary one (its facts as they are now in st); else -1 and the file
    // is read afresh. `first` gets the bytes taken ahead when the file has
    // not changed since. Files kept from before path were passed by and are
    // let go.
    int Take(const std::string& path, struct stat& st, FirstBytes& first);
    // A folder was just listed: the folder held is let go.
    void Listed();
    // Lets go of every file and folder held, so that a card can be unmounted.
    void Release();

    // At most this many files are kept open ahead of their turn.
    static constexpr std::size_t kMaxKept = 64;

private:
    struct Kept {
        std::string path;
        FdCloser fd;  // -1 while only noted
        struct stat st;  // as the file was when its first bytes were taken
        FirstBytes first;
    };
    // Where path is opened from: the folder held, or the working folder.
    struct Place {
        int dirfd;
        const char* name;
    };
    Place Locate(const std::string& path) const;
    int OpenLocked(const std::string& path);
    void ForgetFolder();
    // The first bytes of an open file when the page cache holds them all;
    // otherwise they are asked of the medium and nothing is returned.
    FirstBytes Probe(int fd, std::size_t length);
    // Opens a file hinted and starts its first read; false when it cannot be
    // read ahead (it is opened afresh at its turn).
    bool OpenAhead(Kept& kept);

    std::mutex mutex_;  // a window's thumbnails may open files beside the walk
    std::string folder_;
    FdCloser folderFd_;
    std::deque<Kept> kept_;
    // Whether every file probed in this walk was cached: a cached card needs
    // no hints to the kernel, a cold one wants no read-ahead of the kernel's own.
    bool cached_ = true;
    bool canProbe_ = true;  // false once the file system refuses reads that must not wait
    std::size_t length_ = 0;  // the first read's length, as the last hint asked
    NoWaitRead readNoWait_;
};

}  // namespace ravlen
