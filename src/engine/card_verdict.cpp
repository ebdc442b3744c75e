#include "engine/card_verdict.h"

#include <optional>
#include <unordered_set>
#include <utility>

#include "engine/dcf.h"
#include "model/intent_record.h"

namespace ravlen {

const char* UnsafeReasonText(UnsafeReason reason) {
    switch (reason) {
        case UnsafeReason::Filtered: return "excluded by a filter";
        case UnsafeReason::NonDcfName: return "non-DCF name";
        case UnsafeReason::UnsupportedKind: return "unsupported kind";
        case UnsafeReason::NoDate: return "no valid date";
        case UnsafeReason::Failed: return "failed";
        case UnsafeReason::NotSelected: return "not selected";
        case UnsafeReason::NoBackup: return "no backup";
        case UnsafeReason::NotInOutput: break;
    }
    return "not in the output folder";
}

UnsafeReason UnplacedReason(const FileFacts& facts, const RunOptions& options) {
    if (facts.Operation == FileOperation::Failed) return UnsafeReason::Failed;
    if (facts.Timestamped || facts.Operation != FileOperation::None) return UnsafeReason::NotInOutput;
    if (!facts.DCFFilename && options.DCFMode == DCFMode::ValidOnly) return UnsafeReason::NonDcfName;
    const bool metadata = facts.TIFFMetadata || facts.RIFFMetadata || facts.CIFFMetadata || facts.MovieMetadata;
    if (!metadata && options.DateMode == DateMode::MetadataOnly) return UnsafeReason::UnsupportedKind;
    return UnsafeReason::NoDate;
}

namespace {

// A folder the card's files must be in, found once.
struct Destination {
    std::string folder;
    std::optional<std::unordered_set<std::int64_t>> recordedSizes;  // nothing: the record cannot say
    // The recorded files by size, when the record gives them at once.
    std::optional<std::unordered_map<std::int64_t, std::vector<std::string>>> recorded;
    bool walked = false;
    std::unordered_map<std::int64_t, std::vector<FsItem>> bySize;  // every file below it, once walked
};

class Checker {
public:
    Checker(FileSource& card, FileSystem& fs, ImportRecord* record, const CardCheckRequest& request)
        : card_(card), fs_(fs), record_(record), request_(request), folderFilter_(request.Filter) {
        folderFilter_.IncludePatterns.clear();  // they never stop the descent
        destinations_.push_back({request.Output, {}, {}, false, {}});
        for (const std::string& backup : request.Backups) destinations_.push_back({backup, {}, {}, false, {}});
        if (!record_) return;
        // What the record holds of the card and its destinations, read at
        // once: a look-up per file was most of a check whose hashes are kept.
        keptAtOnce_ = true;
        const auto keep = [this](const std::string& folder) {
            std::optional<std::vector<KeptHash>> hashes = record_->StampedHashesIn(folder);
            if (!hashes) keptAtOnce_ = false;
            else
                for (KeptHash& h : *hashes) kept_.emplace(std::move(h.Path), std::make_pair(h.Stamp, std::move(h.Hash)));
        };
        const std::string cardKey = card_.ListingKey(request.Source);
        keep(cardKey.empty() ? request.Source : cardKey);
        for (Destination& d : destinations_) {
            keep(d.folder);
            if (std::optional<std::vector<ImportedFile>> files = record_->RecordedIn(d.folder)) {
                d.recorded.emplace();
                for (ImportedFile& f : *files) (*d.recorded)[f.Size].push_back(std::move(f.Path));
            } else if (auto sizes = record_->Sizes(d.folder)) {
                d.recordedSizes.emplace(sizes->begin(), sizes->end());
            }
        }
    }

    CardVerdict Run() {
        verdict_.Source = request_.Source;
        verdict_.Output = request_.Output;
        verdict_.Backups = request_.Backups;
        Walk(request_.Source, 0, Exclusion::None, false);
        if (record_) (void)record_->Flush();  // only later checks are at stake
        return std::move(verdict_);
    }

private:
    // Every file below `folder`; `excluded`: why a folder above passed it
    // over, `byPattern`: a folder above is left by the exclude patterns.
    void Walk(const std::string& folder, int depth, Exclusion excluded, bool byPattern) {
        std::vector<FsItem> files, folders;
        if (!card_.ListFolder(folder, files, folders)) {
            // A folder of the card that cannot be read may hold anything.
            verdict_.Unsafe.push_back({folder, UnsafeReason::NotInOutput, "the folder cannot be read"});
            return;
        }
        for (const FsItem& file : files) {
            if (verdict_.Stopped || (request_.stopped && request_.stopped())) {
                verdict_.Stopped = true;
                return;
            }
            Check(file, depth, excluded, byPattern);
        }
        for (const FsItem& sub : folders) {
            if (verdict_.Stopped) return;
            const Exclusion own = folderFilter_.ExclusionOf(sub);
            Walk(sub.Path, depth + 1, excluded != Exclusion::None ? excluded : own,
                 byPattern || own == Exclusion::ExcludePattern);
        }
    }

    void Check(const FsItem& file, int depth, Exclusion excluded, bool byPattern) {
        const FileFilter& filter = request_.Filter;
        if (byPattern || (!filter.ExcludePatterns.empty() && MatchesPatternList(file.Name, filter.ExcludePatterns))) {
            verdict_.LeftByPattern.push_back(file.Path);
            return;
        }
        ++verdict_.Checked;
        if (HeldIn(destinations_[0], file)) {
            for (std::size_t i = 1; i < destinations_.size(); ++i)
                if (!HeldIn(destinations_[i], file)) {
                    verdict_.Unsafe.push_back({file.Path, UnsafeReason::NoBackup, destinations_[i].folder});
                    return;
                }
            return;
        }
        UnsafeFile unsafe{file.Path, UnsafeReason::NotInOutput, {}};
        if (excluded == Exclusion::None) excluded = filter.ExclusionOf(file);
        if (const auto ran = request_.RunReasons.find(file.Path); ran != request_.RunReasons.end()) {
            unsafe.Reason = ran->second;
        } else if (excluded != Exclusion::None) {
            unsafe.Reason = UnsafeReason::Filtered;
            unsafe.Detail = ExclusionWord(excluded);
        } else if (depth > 0 && !request_.Filter.IncludeSubfolders) {
            unsafe.Reason = UnsafeReason::Filtered;
            unsafe.Detail = "subfolders are not processed";
        } else if (request_.DcfNamesOnly && !IsDcfBaseName(BaseName(file.Name))) {
            unsafe.Reason = UnsafeReason::NonDcfName;
        }
        verdict_.Unsafe.push_back(std::move(unsafe));
    }

    // Whether a file below the destination holds exactly the file's bytes:
    // those the record names first, then, only when none does, any file of
    // its size found by walking the destination once.
    bool HeldIn(Destination& d, const FsItem& file) {
        if (SeenIn(d, file)) return true;
        std::unordered_set<std::string> tried;
        const auto recordedHolds = [&](const std::string& path) {
            if (!tried.insert(path).second) return false;
            const std::optional<FsItem> there = fs_.GetFile(path);
            return there && !there->IsFolder && there->Size == file.Size && Same(file, *there);
        };
        if (d.recorded) {
            if (const auto group = d.recorded->find(file.Size); group != d.recorded->end())
                for (const std::string& path : group->second)
                    if (recordedHolds(path)) return true;
        } else if (record_ && (!d.recordedSizes || d.recordedSizes->contains(file.Size))) {
            for (const ImportedFile& recorded : record_->WithSize(file.Size, d.folder))
                if (recordedHolds(recorded.Path)) return true;
        }
        if (!d.walked) {
            d.walked = true;
            WalkDestination(d, d.folder);
        }
        const auto group = d.bySize.find(file.Size);
        if (group == d.bySize.end()) return false;
        for (const FsItem& candidate : group->second)
            if (!tried.contains(candidate.Path) && Same(file, candidate)) return true;
        return false;
    }

    // A run's unfinished copies and a device's downloads waiting for theirs
    // hold a file's bytes without being a copy of it.
    void WalkDestination(Destination& d, const std::string& folder) {
        std::vector<FsItem> files, folders;
        if (!fs_.ListFolder(folder, files, folders)) return;
        for (FsItem& file : files)
            if (!IsWorkingName(file.Name)) d.bySize[file.Size].push_back(std::move(file));
        for (const FsItem& sub : folders)
            if (!IsWorkingName(sub.Name)) WalkDestination(d, sub.Path);
    }

    // A device's file (one with a ListingKey) whose hash the record does not
    // keep, and that the run just ended, or the record, saw placed in the
    // output folder with its name, size and time, where a file of that size
    // still stands: held, without the download its hash would take, and
    // said apart as unproven.
    bool SeenIn(const Destination& d, const FsItem& file) {
        if (&d != &destinations_.front() || file.Size <= 0) return false;
        const std::string key = card_.ListingKey(file.Path);
        if (key.empty() || !RecordedHash(key, file).empty()) return false;
        std::optional<std::string> placed;
        if (const auto ran = request_.RunPlaced.find(file.Path); ran != request_.RunPlaced.end()) placed = ran->second;
        else if (record_) placed = record_->Seen(key, file.Size, file.Modified);
        if (!placed || !Within(*placed, d.folder)) return false;
        const std::optional<FsItem> there = fs_.GetFile(*placed);
        if (!there || there->IsFolder || there->Size != file.Size) return false;
        verdict_.Unproven.push_back(file.Path);
        return true;
    }

    static bool Within(const std::string& path, const std::string& folder) {
        return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
               (path[folder.size()] == '/' || folder.back() == '/');
    }

    // A copy is another file with the same bytes: the card's file itself,
    // reached through another path, is no copy.
    bool Same(const FsItem& original, const FsItem& copy) {
        if (original.Id.Known() && copy.Id == original.Id) return false;
        if (original.Path == copy.Path) return false;
        const std::string& a = HashOf(original, card_);
        if (a.empty()) return false;
        const std::string& b = HashOf(copy, fs_);
        return !b.empty() && a == b;
    }

    // The hash the record keeps of the file as it stands, under `key`.
    std::string RecordedHash(const std::string& key, const FsItem& file) {
        const FileStamp stamp{file.Id, file.Size, file.Modified};
        if (const auto kept = kept_.find(key); kept != kept_.end() && kept->second.first == stamp)
            return kept->second.second;
        if (record_ && !keptAtOnce_ && (file.Id.Known() || key != file.Path)) return record_->StampedHash(key, stamp);
        return {};
    }

    // Each file's hash at most once per check, and none at all while the
    // record keeps one taken of the file as it stands: a card's by its path
    // and identity, a device's by its name there, size and time.
    const std::string& HashOf(const FsItem& file, FileSource& from) {
        const auto known = hashes_.find(file.Path);
        if (known != hashes_.end()) return known->second;
        const FileStamp stamp{file.Id, file.Size, file.Modified};
        const std::string deviceKey = &from == &card_ ? card_.ListingKey(file.Path) : std::string();
        const std::string& key = deviceKey.empty() ? file.Path : deviceKey;
        std::string hash = RecordedHash(key, file);
        if (hash.empty()) {
            if (!from.ContentHash(file.Path, hash, request_.pump ? request_.pump : [] {})) hash.clear();
            // Kept only when the file still stands as it was listed.
            else if (record_ && (file.Id.Known() || !deviceKey.empty()))
                if (const std::optional<FsItem> after = from.GetFile(file.Path);
                    after && FileStamp{after->Id, after->Size, after->Modified} == stamp)
                    record_->KeepStampedHash(key, stamp, hash);
        }
        return hashes_.emplace(file.Path, std::move(hash)).first->second;
    }

    FileSource& card_;
    FileSystem& fs_;
    ImportRecord* record_;
    const CardCheckRequest& request_;
    FileFilter folderFilter_;  // a folder's exclusion
    std::vector<Destination> destinations_;
    std::unordered_map<std::string, std::string> hashes_;
    // The hashes the record kept of files of the card and its destinations,
    // when it gives them at once (keptAtOnce_): then none is asked for alone.
    std::unordered_map<std::string, std::pair<FileStamp, std::string>> kept_;
    bool keptAtOnce_ = false;
    CardVerdict verdict_;
};

// `path` as seen from `top`: the part below it.
std::string Below(const std::string& path, const std::string& top) {
    if (path.size() > top.size() && path.compare(0, top.size(), top) == 0) {
        std::size_t at = top.size();
        if (path[at] == '/') ++at;
        else if (top.empty() || top.back() != '/') return path;
        return path.substr(at);
    }
    return path;
}

}  // namespace

CardVerdict CheckCard(FileSource& card, FileSystem& fs, ImportRecord* record, const CardCheckRequest& request) {
    return Checker(card, fs, record, request).Run();
}

std::string VerdictText(const CardVerdict& v, std::size_t listed) {
    const char* const crlf = "\r\n";
    std::string text;
    // A line for each item, at most `listed` of them, then how many more.
    const auto list = [&](const auto& items, const auto& line) {
        std::size_t shown = 0;
        for (const auto& item : items) {
            if (shown++ == listed) {
                text += crlf + std::string("  and ") + std::to_string(items.size() - listed) + " more.";
                break;
            }
            text += crlf + std::string("  ") + line(item);
        }
    };
    const auto below = [&](const std::string& path) { return Below(path, v.Source); };
    if (v.Safe()) {
        text = (v.Checked == 1 ? "The file on " : "All " + std::to_string(v.Checked) + " files on ") + v.Source +
               (v.Checked == 1 ? " is in " : " are in ") + v.Output + (v.Backups.empty() ? "" : " and its backups") +
               ": the card can be formatted.";
    } else {
        const std::size_t m = v.Unsafe.size();
        if (m > 0)
            text = std::to_string(m) + (m == 1 ? " file on " : " files on ") + v.Source +
                   (m == 1 ? " is not in " : " are not in ") + v.Output + ": do not format the card.";
        if (v.Stopped)
            text += std::string(text.empty() ? "" : crlf) + "The check of " + v.Source +
                    " was stopped before it saw every file: do not format the card.";
        list(v.Unsafe, [&](const UnsafeFile& file) {
            return Below(file.Path, v.Source) + ": " + UnsafeReasonText(file.Reason) +
                   (file.Detail.empty() ? "" : " (" + file.Detail + ")");
        });
    }
    if (!v.Unproven.empty()) {
        const std::size_t n = v.Unproven.size();
        text += crlf + std::string(crlf) + std::to_string(n) + (n == 1 ? " file is" : " files are") +
                " taken as held because the run or the record of imports saw " + (n == 1 ? "it" : "them") +
                " placed with the same name, size and time on the device; " + (n == 1 ? "its" : "their") +
                " bytes were not compared, since a device's file is read only by downloading it whole:";
        list(v.Unproven, below);
    }
    if (!v.LeftByPattern.empty()) {
        const std::size_t n = v.LeftByPattern.size();
        text += crlf + std::string(crlf) + std::to_string(n) + (n == 1 ? " file stays" : " files stay") +
                " on the card, left out by the exclude patterns (such as a camera's index files):";
        list(v.LeftByPattern, below);
    }
    return text;
}

}  // namespace ravlen
