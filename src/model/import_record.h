#pragma once
// The record of earlier imports: each placed file's final path, size and
// modification time, kept across runs, so that a file placed once under
// another name (an earlier format or folder setting) is known again by its
// bytes. A file's content hash is taken only when a later file of its size
// is compared with it, and kept in the record from then on.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/date_time.h"
#include "model/file_system.h"

namespace ravlen {

// A file as it stands: a hash kept with it holds only while its identity,
// size and modified time are all unchanged.
struct FileStamp {
    FileId Id;
    std::int64_t Size = 0;
    DateTime Modified;
    bool operator==(const FileStamp&) const = default;
};

// A hash kept of a file as it stood.
struct KeptHash {
    std::string Path;
    FileStamp Stamp;
    std::string Hash;
};

struct ImportedFile {
    std::string Path;  // where the file was placed
    std::int64_t Size = 0;
    std::string Hash;   // FileSystem::ContentHash of its bytes; "" until it is needed
    DateTime Modified;  // the file's time when the hash was taken (or it was placed)
};

class ImportRecord {
public:
    virtual ~ImportRecord() = default;
    // The sizes of the files recorded in `folder` or below it (a size may
    // come more than once); nothing when the record cannot say.
    virtual std::optional<std::vector<std::int64_t>> Sizes(const std::string& folder) = 0;
    // The files recorded with this size whose path lies in `folder` or below
    // it, oldest first.
    virtual std::vector<ImportedFile> WithSize(std::int64_t size, const std::string& folder) = 0;
    // Notes a file just placed by `run`. A note may wait to be written with
    // others; one that cannot be written waits on for the next write.
    virtual void Add(const ImportedFile& file, const std::string& run) = 0;
    // The hash of the file at `path` as it stood with `modified` (and the
    // recorded size), taken for a comparison.
    virtual void KeepHash(const std::string& path, DateTime modified, const std::string& hash) = 0;
    // Drops the notes of a path (its file was taken back by an undo).
    virtual void Forget(const std::string& path) = 0;
    // The hash kept for the file at `path` while it still stands as `stamp`;
    // "" when none is.
    virtual std::string StampedHash(const std::string& path, const FileStamp& stamp) {
        (void)path, (void)stamp;
        return {};
    }
    // Every file recorded in `folder` or below it, read at once for a check of
    // a whole card; nothing when the record cannot say.
    virtual std::optional<std::vector<ImportedFile>> RecordedIn(const std::string& folder) {
        (void)folder;
        return std::nullopt;
    }
    // Every hash kept (KeepStampedHash) of a file in `folder` or below it;
    // nothing when the record cannot say.
    virtual std::optional<std::vector<KeptHash>> StampedHashesIn(const std::string& folder) {
        (void)folder;
        return std::nullopt;
    }
    // Keeps the hash of the file at `path` as it stood with `stamp`, for any
    // file (a card's too), in place of one kept before.
    virtual void KeepStampedHash(const std::string& path, const FileStamp& stamp, const std::string& hash) {
        (void)path, (void)stamp, (void)hash;
    }
    // Writes every note waiting. A failure is the record's own words: the
    // notes stay waiting, and a later run may not know those files again.
    virtual FsStatus Flush() { return FsStatus::Ok(); }
    // A device's file, named by FileSource::ListingKey, with its size and
    // time there, was placed as `placed` (or found there already).
    virtual void AddSeen(const std::string& key, std::int64_t size, DateTime modified, const std::string& placed) {
        (void)key, (void)size, (void)modified, (void)placed;
    }
    // Where the device's file of that key, size and time went; nothing when
    // none was seen.
    virtual std::optional<std::string> Seen(const std::string& key, std::int64_t size, DateTime modified) {
        (void)key, (void)size, (void)modified;
        return std::nullopt;
    }
};

}  // namespace ravlen
