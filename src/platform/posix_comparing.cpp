#include "platform/posix_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>
#if defined(__x86_64__) || defined(__i386__)
// The widest vector unit the processor has, chosen when first hashing.
#include <xxh_x86dispatch.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/fd_closer.h"
#include "platform/posix_common.h"

// Files compared byte for byte or by their hashes, and removed only while
// they are still the files compared.

namespace ravlen {

using namespace posix_fs;

long PosixFileSystem::ReadFull(int fd, char* buffer, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        errno = 0;
        const long r = ReadChunk(fd, buffer + got, n - got);
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        got += static_cast<std::size_t>(r);
    }
    return static_cast<long>(got);
}

bool PosixFileSystem::HoldsStartOf(const std::string& copy, const std::string& original) {
    const FdCloser c(open(copy.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    const FdCloser o(open(original.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat cs{}, os{};
    if (c.fd < 0 || o.fd < 0 || fstat(c.fd, &cs) != 0 || fstat(o.fd, &os) != 0 || !S_ISREG(cs.st_mode) ||
        !S_ISREG(os.st_mode) || cs.st_size > os.st_size)
        return false;
    std::unique_ptr<char[]> a(new char[kCopyChunk]), b(new char[kCopyChunk]);
    for (;;) {
        const long na = ReadFull(c.fd, a.get(), kCopyChunk);
        if (na <= 0) return na == 0;
        if (ReadFull(o.fd, b.get(), static_cast<std::size_t>(na)) != na ||
            std::memcmp(a.get(), b.get(), static_cast<std::size_t>(na)) != 0)
            return false;
    }
}

FsStatus PosixFileSystem::RemoveIfStill(const std::string& path, const FileId& id) {
    names_.Forget(ParentPart(path));
    struct stat now{};
    if (lstat(path.c_str(), &now) != 0) return errno == ENOENT ? FsStatus::Gone() : Failure(errno);
    if (FileId{now.st_dev, now.st_ino} != id) return FsStatus::Gone();  // another file took the name
    if (unlink(path.c_str()) != 0) return Failure(errno);
    return FsStatus::Ok();
}

CopyRemovalResult PosixFileSystem::RemoveIfIdentical(const std::string& copy, const std::string& original,
                                                     const std::function<void()>& pump) {
    const auto failed = [](CopyRemoval outcome) { return CopyRemovalResult{outcome, ErrorText(errno)}; };
    names_.Forget(ParentPart(copy));
    Entry entry;
    if (FsStatus failure; !EntryOf(copy, entry, failure)) return {CopyRemoval::CopyUnopened, failure.error};
    const FdCloser c(openat(entry.at, entry.name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (c.fd < 0) return failed(CopyRemoval::CopyUnopened);
    const FdCloser o(open(original.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (o.fd < 0) return failed(CopyRemoval::OriginalUnopened);
    struct stat cs{}, os{};
    if (fstat(c.fd, &cs) != 0 || fstat(o.fd, &os) != 0) return failed(CopyRemoval::CompareFailed);
    if (!S_ISREG(cs.st_mode) || !S_ISREG(os.st_mode)) return {CopyRemoval::NotPlainFiles, ""};
    if (SameEntry(cs, os)) return {CopyRemoval::SameFile, ""};
    if (cs.st_size != os.st_size) return {CopyRemoval::SizesDiffer, ""};

    std::unique_ptr<char[]> a(new char[kCopyChunk]);
    std::unique_ptr<char[]> b(new char[kCopyChunk]);
    for (;;) {
        const long na = ReadFull(c.fd, a.get(), kCopyChunk);
        if (na < 0) return failed(CopyRemoval::CompareFailed);
        const long nb = ReadFull(o.fd, b.get(), kCopyChunk);
        if (nb < 0) return failed(CopyRemoval::CompareFailed);
        if (na != nb || std::memcmp(a.get(), b.get(), static_cast<std::size_t>(na)) != 0)
            return {CopyRemoval::BytesDiffer, ""};
        if (na == 0) break;
        if (pump) pump();
    }

    // Nothing may have changed or taken either name while the bytes were read.
    struct stat cs2{}, os2{}, cpath{}, opath{};
    if (fstat(c.fd, &cs2) != 0 || fstat(o.fd, &os2) != 0 ||
        fstatat(entry.at, entry.name.c_str(), &cpath, AT_SYMLINK_NOFOLLOW) != 0 ||
        lstat(original.c_str(), &opath) != 0 || !SameContent(cs, cs2) || !SameContent(os, os2) ||
        !SameEntry(cs, cpath) || !SameEntry(os, opath))
        return {CopyRemoval::ChangedMeanwhile, ""};
    if (unlinkat(entry.at, entry.name.c_str(), 0) != 0) return failed(CopyRemoval::RemoveFailed);
    return {CopyRemoval::Removed, ""};
}

FsStatus PosixFileSystem::ContentHash(const std::string& path, std::string& hash,
                                      const std::function<void()>& pump) {
    const FdCloser in(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (in.fd < 0) return Failure(errno);
    struct stat st{};
    if (fstat(in.fd, &st) != 0) return Failure(errno);
    if (!S_ISREG(st.st_mode)) return FsStatus::Fail(FsFault::NotOrdinaryFile, "Not a plain file");
    const std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t*)> state(XXH3_createState(), XXH3_freeState);
    if (!state || XXH3_128bits_reset(state.get()) != XXH_OK)
        return FsStatus::Fail(FsFault::OutOfMemory, "Out of memory");
    std::unique_ptr<char[]> buffer(new char[kCopyChunk]);
    for (;;) {
        errno = 0;
        const long n = ReadChunk(in.fd, buffer.get(), kCopyChunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Failure(errno);
        }
        if (n == 0) break;
        XXH3_128bits_update(state.get(), buffer.get(), static_cast<std::size_t>(n));
        if (pump) pump();
    }
    const XXH128_hash_t value = XXH3_128bits_digest(state.get());
    char text[33];
    std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(value.high64),
                  static_cast<unsigned long long>(value.low64));
    hash = text;
    return FsStatus::Ok();
}

}  // namespace ravlen
