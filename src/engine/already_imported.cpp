#include "engine/already_imported.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "model/date_time.h"

namespace ravlen {

namespace {

// folder + "/" + name split at the last "/".
std::pair<std::string, std::string> SplitPath(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return {"", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

bool Within(const std::string& path, const std::string& folder) {
    if (folder.empty() || path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0) return false;
    return folder.back() == '/' || path[folder.size()] == '/';
}

}  // namespace

ImportCheck::ImportCheck(FileSource& source, FileSystem& fs, ImportRecord* record, std::string top, bool writes,
                         std::function<void()> pump)
    : source_(source), fs_(fs), record_(record), top_(std::move(top)), writes_(writes), run_(DateTime::Now().FormatFull()), pump_(std::move(pump)) {}

const std::string* ImportCheck::HashOf(FileSource& from, const std::string& path, const FsItem& item) {
    const auto found = hashes_.find(path);
    if (found != hashes_.end() && found->second.size == item.Size && found->second.modified == item.Modified)
        return &found->second.hash;
    std::string hash;
    if (!from.ContentHash(path, hash, pump_)) {
        hashes_.erase(path);
        return nullptr;
    }
    return &(hashes_[path] = Hashed{item.Size, item.Modified, std::move(hash)}).hash;
}

std::string ImportCheck::SourceHash(const FileFacts& source, FileId* id) {
    // The sample was read moments ago, within this file's turn: its facts
    // stand for the source's.
    const Sampled* sampled = SourceSample(source);
    if (!sampled) return {};
    if (id) *id = sampled->facts.Id;
    const std::string* hash = HashOf(source_, source.SourceFilePath, sampled->facts);
    return hash ? *hash : std::string();
}

std::optional<std::size_t> ImportCheck::SampleOf(FileSource& from, const std::string& path, FsItem* facts) {
    FileSample sample;
    if (!from.ReadSample(path, sample)) return std::nullopt;
    if (facts) {
        *facts = FsItem{};
        facts->Path = path, facts->Size = sample.Size, facts->Modified = sample.Modified, facts->Id = sample.Id;
    }
    // Equal digests still take the whole hash: only a difference settles anything.
    return std::hash<std::string_view>{}(sample.Bytes);
}

const ImportCheck::Sampled* ImportCheck::SourceSample(const FileFacts& source) {
    auto found = sourceSamples_.find(source.SourceFilePath);
    if (found == sourceSamples_.end()) {
        FsItem facts;
        const std::optional<std::size_t> digest = SampleOf(source_, source.SourceFilePath, &facts);
        found = sourceSamples_.emplace(source.SourceFilePath, std::nullopt).first;
        if (digest) found->second = Sampled{*digest, std::move(facts)};
    }
    return found->second ? &*found->second : nullptr;
}

std::vector<ImportCheck::Candidate>& ImportCheck::Group(std::int64_t size) {
    const auto found = groups_.find(size);
    if (found != groups_.end()) return found->second;
    std::vector<Candidate>& group = groups_[size];
    for (ImportedFile& file : record_->WithSize(size, top_)) group.push_back({std::move(file), std::nullopt});
    return group;
}

bool ImportCheck::Holds(const FileFacts& source, const std::string& path) {
    // An empty file has nothing to be known by: it is never taken for another.
    if (source.Size <= 0 || path == source.SourceFilePath) return false;
    const std::optional<FsItem> there = fs_.GetFile(path);
    if (!there || there->IsFolder || there->Size != source.Size) return false;
    const Sampled* sample = SourceSample(source);
    return sample && SampleOf(fs_, path) == sample->digest && SameBytes(source, fs_, path, *there);
}

bool ImportCheck::SameBytes(const FileFacts& source, FileSource& from, const std::string& path, const FsItem& there) {
    FileId id;
    const std::string sourceHash = SourceHash(source, &id);
    // The source itself, reached by another name, is no earlier import.
    if (sourceHash.empty() || (there.Id.Known() && id == there.Id)) return false;
    const std::string* other = HashOf(from, path, there);
    return other && *other == sourceHash;
}

ImportCheck::Located ImportCheck::WhereBytesAre(const std::string& path) {
    const auto pending = std::find_if(pending_.rbegin(), pending_.rend(), [&](const auto& p) { return p.first == path; });
    if (pending == pending_.rend() || fs_.GetFile(path)) return {path, &fs_};
    return {pending->second, &source_};
}

std::optional<std::string> ImportCheck::Recorded(const FileFacts& source) {
    if (!record_ || source.Size <= 0) return std::nullopt;
    // The sizes recorded within the output folder are read once, and this
    // run's placements added to them: a file of another size costs nothing
    // more. A run elsewhere placing into the same folder meanwhile goes
    // unseen; that only loses a match (its file and this one both stay, under
    // names of their own), never a file.
    if (!sizes_) {
        sizes_.emplace();
        if (const auto sizes = record_->Sizes(top_)) sizes_->insert(sizes->begin(), sizes->end());
        else anySize_ = true;
    }
    if (!anySize_ && !sizes_->contains(source.Size)) return std::nullopt;
    std::vector<Candidate>& group = Group(source.Size);
    if (group.empty()) return std::nullopt;
    // The source is read only once a recorded file of its size is still
    // there: a card whose earlier imports were since taken out of the output
    // folder would otherwise be read twice more per file, one read at a time.
    const Sampled* sample = nullptr;
    std::string hash;  // the source's, taken once a sample matches
    for (Candidate& candidate : group) {
        const ImportedFile& file = candidate.file;
        if (candidate.unreadable || !Within(file.Path, top_)) continue;
        // A recorded file's sample is read once (a card of files of one size
        // compares each with all before it) and tells that it is still there.
        // A placement of this run not yet made is read at its source.
        std::optional<FsItem> there;
        std::optional<Located> at;
        if (!candidate.sample) {
            at = WhereBytesAre(file.Path);
            FsItem facts;
            candidate.sample = SampleOf(*at->from, at->path, &facts);
            candidate.unreadable = !candidate.sample || facts.Size != file.Size;
            if (candidate.unreadable) continue;
            there = std::move(facts);
        }
        if (!sample && !(sample = SourceSample(source))) return std::nullopt;
        // Other first or last bytes: other bytes, and neither file read whole.
        if (*candidate.sample != sample->digest) continue;
        if (hash.empty() && (hash = SourceHash(source)).empty()) return std::nullopt;
        // So does a hash the record kept of other bytes.
        if (!file.Hash.empty() && file.Hash != hash) continue;
        if (!at) at = WhereBytesAre(file.Path);
        const std::string& path = at->path;
        if (!there) there = at->from->GetFile(path);
        if (!there || there->Size != source.Size) continue;
        // The bytes decide; a hash the record lacks, or took of the file
        // before it changed, is kept anew.
        const bool kept = !file.Hash.empty() && file.Modified == there->Modified;
        const bool holds = SameBytes(source, *at->from, path, *there);
        if (!kept && writes_ && path == file.Path)
            if (const auto hashed = hashes_.find(file.Path);
                hashed != hashes_.end() && hashed->second.size == there->Size && hashed->second.modified == there->Modified)
                record_->KeepHash(file.Path, there->Modified, hashed->second.hash);
        if (holds) {
            NoteSeen(source, file.Path);
            return file.Path;
        }
    }
    return std::nullopt;
}

std::optional<std::string> ImportCheck::Seen(const FsItem& file) {
    if (!record_ || file.Size <= 0) return std::nullopt;
    const std::string key = source_.ListingKey(file.Path);
    if (key.empty()) return std::nullopt;
    std::optional<std::string> placed = record_->Seen(key, file.Size, file.Modified);
    if (!placed || !Within(*placed, top_)) return std::nullopt;
    const std::optional<FsItem> there = fs_.GetFile(*placed);
    if (!there || there->IsFolder || there->Size != file.Size) return std::nullopt;
    return placed;
}

void ImportCheck::NoteSeen(const FileFacts& source, const std::string& target) {
    if (!writes_) return;
    if (const std::string key = source_.ListingKey(source.SourceFilePath); !key.empty())
        record_->AddSeen(key, source.Size, source.FileSystemDateModified, target);
}

void ImportCheck::Placed(const FileFacts& source, const std::string& target) {
    if (!record_ || source.Size <= 0) return;
    NoteSeen(source, target);
    // Only what is at hand: a hash taken for a comparison, else none until
    // a later file of this size needs one.
    const auto found = hashes_.find(source.SourceFilePath);
    const bool hashed = found != hashes_.end() && found->second.size == source.Size &&
                        found->second.modified == source.FileSystemDateModified;
    ImportedFile file{target, source.Size, hashed ? found->second.hash : std::string(), source.FileSystemDateModified};
    record_->Add(file, run_);
    if (found != hashes_.end()) hashes_.erase(found);  // the source is gone or done with
    std::optional<std::size_t> sample;
    if (const auto sampled = sourceSamples_.find(source.SourceFilePath); sampled != sourceSamples_.end()) {
        if (sampled->second) sample = sampled->second->digest;
        sourceSamples_.erase(sampled);
    }
    if (sizes_) sizes_->insert(source.Size);
    pending_.emplace_back(target, source.SourceFilePath);
    if (pending_.size() > kPendingPlacements) pending_.pop_front();
    // A group read before this placement takes it in, as the record does:
    // under its path, a newer note replaces an older.
    if (const auto group = groups_.find(source.Size); group != groups_.end()) {
        std::erase_if(group->second, [&](const Candidate& c) { return c.file.Path == target; });
        group->second.push_back({std::move(file), sample});
    }
}

void MarkAlreadyImported(FileFacts& facts, RunTally& tally, const std::string& existing) {
    auto [folder, name] = SplitPath(existing);
    facts.Timestamped = false;
    facts.Operation = FileOperation::AlreadyImported;
    facts.OutputFolder = std::move(folder);
    facts.OutputFileName = std::move(name);
    facts.SequenceNumber = 0;
    ++tally.NumberOfAlreadyImported;
}

}  // namespace ravlen
