#include "engine/already_imported.h"

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

ImportCheck::ImportCheck(FileSystem& fs, ImportRecord* record, std::string top, bool writes,
                         std::function<void()> pump)
    : fs_(fs), record_(record), top_(std::move(top)), writes_(writes), run_(DateTime::Now().FormatFull()), pump_(std::move(pump)) {}

const std::string* ImportCheck::HashOf(const std::string& path, const FsItem& item) {
    const auto found = hashes_.find(path);
    if (found != hashes_.end() && found->second.size == item.Size && found->second.modified == item.Modified)
        return &found->second.hash;
    std::string hash;
    if (!fs_.ContentHash(path, hash, pump_)) {
        hashes_.erase(path);
        return nullptr;
    }
    return &(hashes_[path] = Hashed{item.Size, item.Modified, std::move(hash)}).hash;
}

std::string ImportCheck::SourceHash(const FileFacts& source, FileId* id) {
    const std::optional<FsItem> item = fs_.GetFile(source.SourceFilePath);
    if (!item) return {};
    if (id) *id = item->Id;
    const std::string* hash = HashOf(source.SourceFilePath, *item);
    return hash ? *hash : std::string();
}

bool ImportCheck::Holds(const FileFacts& source, const std::string& path) {
    // An empty file has nothing to be known by: it is never taken for another.
    if (source.Size <= 0 || path == source.SourceFilePath) return false;
    const std::optional<FsItem> there = fs_.GetFile(path);
    if (!there || there->IsFolder || there->Size != source.Size) return false;
    FileId id;
    const std::string sourceHash = SourceHash(source, &id);
    // The source itself, reached by another name, is no earlier import.
    if (sourceHash.empty() || (there->Id.Known() && id == there->Id)) return false;
    const std::string* other = HashOf(path, *there);
    return other && *other == sourceHash;
}

std::optional<std::string> ImportCheck::Recorded(const FileFacts& source) {
    if (!record_ || source.Size <= 0) return std::nullopt;
    // The source is read only when the record knows a file of its size; then
    // a recorded hash of other bytes passes over its file unlooked-at: a card
    // of files of one size (uncompressed raw files) would otherwise look up
    // every earlier file for each one. The serial loop still compares the
    // bytes under the name it takes.
    if (!record_->AnyWithSize(source.Size, top_)) return std::nullopt;
    const std::string hash = SourceHash(source);
    if (hash.empty()) return std::nullopt;
    for (const ImportedFile& file : record_->WithSize(source.Size, top_, hash)) {
        if (!Within(file.Path, top_)) continue;
        const std::optional<FsItem> there = fs_.GetFile(file.Path);
        if (!there || there->Size != source.Size) continue;
        // The bytes decide; a hash the record lacks, or took of the file
        // before it changed, is kept anew.
        const bool kept = !file.Hash.empty() && file.Modified == there->Modified;
        const bool holds = Holds(source, file.Path);
        if (!kept && writes_)
            if (const auto hashed = hashes_.find(file.Path);
                hashed != hashes_.end() && hashed->second.size == there->Size && hashed->second.modified == there->Modified)
                record_->KeepHash(file.Path, there->Modified, hashed->second.hash);
        if (holds) return file.Path;
    }
    return std::nullopt;
}

void ImportCheck::Placed(const FileFacts& source, const std::string& target) {
    if (!record_ || source.Size <= 0) return;
    // Only what is at hand: a hash taken for a comparison, else none until
    // a later file of this size needs one.
    const auto found = hashes_.find(source.SourceFilePath);
    const bool hashed = found != hashes_.end() && found->second.size == source.Size &&
                        found->second.modified == source.FileSystemDateModified;
    record_->Add({target, source.Size, hashed ? found->second.hash : std::string(), source.FileSystemDateModified}, run_);
    if (found != hashes_.end()) hashes_.erase(found);  // the source is gone or done with
}

void MarkAlreadyImported(FileFacts& facts, RunTally& tally, const std::string& existing) {
    auto [folder, name] = SplitPath(existing);
    facts.Timestamped = false;
    facts.Operation = kAlreadyImported;
    facts.OutputFolder = std::move(folder);
    facts.OutputFileName = std::move(name);
    facts.SequenceNumber = 0;
    ++tally.NumberOfAlreadyImported;
}

}  // namespace ravlen
