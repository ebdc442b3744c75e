#pragma once
// Telling a file that is already in the output folder: its bytes under a
// name the serial-number loop finds taken, or under any name the record of
// earlier imports knows. Sizes are compared first, then a sample of each
// file's first and last bytes; only equal samples cost a hash of both whole
// files, and the record keeps the hashes it was given.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "model/file_facts.h"
#include "model/file_system.h"
#include "model/import_record.h"
#include "model/run_tally.h"

namespace ravlen {

// This run's latest placements whose sources are kept, to be read while a
// placement waits in its batch: more than a batch holds.
inline constexpr std::size_t kPendingPlacements = 1024;

class ImportCheck {
public:
    // `top`: the run's output folder, the only place an earlier import counts;
    // `record`: may be null (then only taken names are compared), and is
    // written only when `writes` (a processing pass).
    // `source`: where the files come from; `fs`: where the output folder is.
    ImportCheck(FileSource& source, FileSystem& fs, ImportRecord* record, std::string top, bool writes, std::function<void()> pump);

    // The file at `path` holds exactly the source's bytes (and is not the
    // source itself). Never for an empty source.
    bool Holds(const FileFacts& source, const std::string& path);
    // A file inside the output folder that the record knows to hold the
    // source's bytes and that still does; nothing when there is none.
    std::optional<std::string> Recorded(const FileFacts& source);
    // A file its source names by its listing (a device's) that the record
    // saw placed with this name, size and time and that is still at that
    // path with that size in the output folder: known without a read.
    std::optional<std::string> Seen(const FsItem& file);
    // The source went to `target`: the record notes it.
    void Placed(const FileFacts& source, const std::string& target);

private:
    struct Hashed {
        std::int64_t size;
        DateTime modified;
        std::string hash;
    };
    // A recorded file of one size, with its sample's digest once it is read.
    struct Candidate {
        ImportedFile file;
        std::optional<std::size_t> sample;
        bool unreadable = false;
    };
    // The record notes where a device's file is, to know it by its listing next time.
    void NoteSeen(const FileFacts& source, const std::string& target);
    // The hash of a file as it stands; cached while its size and time stay.
    const std::string* HashOf(FileSource& from, const std::string& path, const FsItem& item);
    // Whether the file at `path`, found as `there`, holds exactly the source's
    // bytes, by the hashes of both whole files.
    bool SameBytes(const FileFacts& source, FileSource& from, const std::string& path, const FsItem& there);
    // The source's hash, "" when it cannot be read; `id` gets which file it is.
    std::string SourceHash(const FileFacts& source, FileId* id = nullptr);
    // The digest of a file's sample; `facts` gets the file as it was read.
    // Nothing when it cannot be read.
    std::optional<std::size_t> SampleOf(FileSource& from, const std::string& path, FsItem* facts = nullptr);
    struct Sampled {
        std::size_t digest;
        FsItem facts;
    };
    // The source's sample, read once; null when it cannot be read.
    const Sampled* SourceSample(const FileFacts& source);
    // Where the bytes of a file recorded at `path` are to be read: there, or
    // at the source of a placement of this run still waiting in its batch.
    struct Located {
        std::string path;
        FileSource* from;
    };
    Located WhereBytesAre(const std::string& path);
    // The recorded files of this size within the output folder, read from
    // the record once and then kept with this run's own placements.
    std::vector<Candidate>& Group(std::int64_t size);

    FileSource& source_;
    FileSystem& fs_;
    ImportRecord* record_;
    std::string top_;
    bool writes_;
    std::string run_;
    std::function<void()> pump_;
    std::map<std::string, Hashed> hashes_;
    std::map<std::string, std::optional<Sampled>> sourceSamples_;
    // The sizes recorded within the output folder; nothing until first asked,
    // and everything possible when the record cannot say.
    std::optional<std::unordered_set<std::int64_t>> sizes_;
    bool anySize_ = false;
    std::unordered_map<std::int64_t, std::vector<Candidate>> groups_;
    // This run's latest placements, target and source: a batch names its
    // copies and makes its moves at its commit, and until then a placed
    // file's bytes are at its source.
    std::deque<std::pair<std::string, std::string>> pending_;
};

// Marks the file as already imported as `existing` (a full path): not
// timestamped, Operation AlreadyImported, the output columns naming the
// file that is there, counted apart.
void MarkAlreadyImported(FileFacts& facts, RunTally& tally, const std::string& existing);

}  // namespace ravlen
