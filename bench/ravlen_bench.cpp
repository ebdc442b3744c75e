// ravlen_bench: how fast the program empties a camera card, against what
// reading and moving the same files costs at the least.
//
// It builds a card-like tree once in a temporary folder and measures, with
// the files in the page cache, files per second for:
//   (a) the floor of reading: list the tree, open each file, read 64 KiB;
//   (b) format detection and date reading alone;
//   (c) a preview pass;
//   (d) a processing pass in Copy mode;
//   (e) the floor of moving: rename(2) of every file into another folder;
//   (f) a processing pass in Move mode within one file system;
// and prints one line per measure with the spread of its runs, the ratio to
// its floor ((b) and (c) against (a), (f) against (a) and (e) one after the
// other), read calls and bytes read per file (/proc/self/io), the peak
// resident memory, how much the heap grew during the pass, processor time
// per file, and the rate of the last tenth of a pass against the first.
// Then the Copy pass without its flush per file, what the program asks of
// the file system per file, the reads of each kind of file, and the share of
// a pass that the window's progress and event processing take.
// --check makes it a smoke test: every file must be accounted for.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_ports.h"
#include "card_builder.h"
#include "support/counting_file_system.h"
#include "engine/rename_files.h"
#include "metadata/date_selection.h"
#include "metadata/metadata.h"
#include "model/file_facts.h"
#include "platform/posix_file_system.h"
#include "process_meter.h"
#include "window_meter.h"

namespace ravlen::bench {
namespace {

struct Settings {
    CardSpec card;
    int repeat = 3;
    std::string base;  // where the temporary folder goes
    bool keep = false;
    std::string reuse;  // a card kept by an earlier --keep, measured again
    bool check = false;
    bool window = true;
    bool copy = true;
    std::string only = "abcdef";  // the measures to run
};

void Usage() {
    std::puts(
        "usage: ravlen_bench [--files N] [--per-folder N] [--repeat N] [--dir FOLDER]\n"
        "                    [--only LETTERS] [--no-copy] [--no-window] [--keep] [--reuse FOLDER] [--check]\n"
        "  --files N       files on the card (default 10000)\n"
        "  --per-folder N  files per DCF folder (default 500)\n"
        "  --repeat N      runs of each measure; the median is shown (default 3)\n"
        "  --dir FOLDER    where the card is built (default $TMPDIR or /tmp)\n"
        "  --only LETTERS  run only these measures, such as --only acf (default abcdef)\n"
        "  --no-copy       leave out the Copy pass (it writes the whole card again)\n"
        "  --no-window     leave out the cost of the window's progress and events\n"
        "  --keep          keep the card afterwards\n"
        "  --reuse FOLDER  measure a card kept by --keep (same --files and --per-folder)\n"
        "  --check         fail unless every file is accounted for in every measure");
}

std::optional<Settings> ParseArgs(int argc, char** argv) {
    Settings s;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto number = [&](long low) -> std::optional<long> {
            if (i + 1 >= argc) return std::nullopt;
            char* end = nullptr;
            const long v = std::strtol(argv[++i], &end, 10);
            if (!end || *end != '\0' || v < low) return std::nullopt;
            return v;
        };
        if (arg == "--files" || arg == "--per-folder" || arg == "--repeat") {
            const auto v = number(1);
            if (!v) return std::nullopt;
            if (arg == "--files") s.card.files = static_cast<std::size_t>(*v);
            else if (arg == "--per-folder") s.card.perFolder = static_cast<std::size_t>(*v);
            else s.repeat = static_cast<int>(std::min(*v, 100L));
        } else if (arg == "--dir" && i + 1 < argc) {
            s.base = argv[++i];
        } else if (arg == "--only" && i + 1 < argc) {
            s.only = argv[++i];
        } else if (arg == "--reuse" && i + 1 < argc) {
            s.reuse = argv[++i];
        } else if (arg == "--keep") {
            s.keep = true;
        } else if (arg == "--check") {
            s.check = true;
        } else if (arg == "--no-window") {
            s.window = false;
        } else if (arg == "--no-copy") {
            s.copy = false;
        } else {
            return std::nullopt;
        }
    }
    // DCF folders run from 100 to 999 and hold at most 9999 files each.
    s.card.perFolder = std::clamp<std::size_t>(s.card.perFolder, (s.card.files + 899) / 900, 9999);
    if (s.card.files > 900 * 9999) return std::nullopt;
    return s;
}

std::string Grouped(double value) {
    const long long v = std::llround(value);
    std::string digits = std::to_string(v < 0 ? -v : v), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return v < 0 ? "-" + out : out;
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string MiB(long kib) { return kib < 0 ? "n/a" : Fixed(kib / 1024.0, 1); }

bool IsCatalog(const char* name) {
    const std::size_t n = std::strlen(name);
    return n >= 4 && strcasecmp(name + n - 4, ".CTG") == 0;
}

// ---------------------------------------------------------------- the card

void Fail(const std::string& what) { throw std::runtime_error(what + ": " + std::strerror(errno)); }

void MakeFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) Fail("cannot create " + path);
}

std::string Folder(const std::string& relPath) { return relPath.substr(0, relPath.rfind('/')); }

// Everything a measure needs of the card, its output folders and a second
// link to every file, from which a pass that moved them puts them back.
struct Workspace {
    std::string root;
    std::string cardRoot;
    std::string out;
    std::string moved;
    std::string pristine;
    Card card;
    std::vector<std::string> sourcePaths;
    std::vector<std::string> movedPaths;
    std::vector<std::string> pristinePaths;
};

void LinkPristine(Workspace& w) {
    std::string lastFolder;
    for (const CardFile& f : w.card.files) {
        const std::string folder = Folder(f.relPath);
        if (folder != lastFolder) {
            MakeFolder(w.pristine + "/" + folder.substr(0, folder.find('/')));
            MakeFolder(w.pristine + "/" + folder);
            lastFolder = folder;
        }
    }
    for (std::size_t i = 0; i < w.sourcePaths.size(); ++i)
        if (link(w.sourcePaths[i].c_str(), w.pristinePaths[i].c_str()) != 0) Fail("cannot link " + w.pristinePaths[i]);
}

void SetPaths(Workspace& w) {
    for (const CardFile& f : w.card.files) {
        std::string flat = f.relPath.substr(5);  // without "DCIM/"
        std::replace(flat.begin(), flat.end(), '/', '_');
        w.sourcePaths.push_back(w.cardRoot + "/" + f.relPath);
        w.movedPaths.push_back(w.moved + "/" + flat);
        w.pristinePaths.push_back(w.pristine + "/" + f.relPath);
    }
}

void SetFolders(Workspace& w, const std::string& root) {
    w.root = root;
    w.cardRoot = w.root + "/card";
    w.out = w.root + "/out";
    w.moved = w.root + "/moved";
    w.pristine = w.root + "/pristine";
}

// Fills w as it goes, so that a failure halfway still leaves its root to remove.
void MakeWorkspace(const Settings& s, Workspace& w) {
    std::string base = s.base;
    if (base.empty()) {
        const char* t = std::getenv("TMPDIR");
        base = (t && *t) ? t : "/tmp";
    }
    std::string tmpl = base + "/ravlen-bench-XXXXXX";
    if (!mkdtemp(tmpl.data())) Fail("cannot create a folder under " + base);
    SetFolders(w, tmpl);
    for (const std::string& p : {w.cardRoot, w.out, w.moved, w.pristine}) MakeFolder(p);
    w.card = BuildCard(w.cardRoot, s.card);
    SetPaths(w);
    LinkPristine(w);
    sync();
}



// Removes every file in a folder (the folders a pass writes into hold files only).
std::size_t EmptyFolder(const std::string& path) {
    std::size_t removed = 0;
    DIR* dir = opendir(path.c_str());
    if (!dir) Fail("cannot list " + path);
    while (const dirent* e = readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        if (unlinkat(dirfd(dir), e->d_name, 0) == 0) ++removed;
    }
    closedir(dir);
    return removed;
}

std::size_t CountEntries(const std::string& path) {
    std::size_t n = 0;
    DIR* dir = opendir(path.c_str());
    if (!dir) return 0;
    while (const dirent* e = readdir(dir))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) ++n;
    closedir(dir);
    return n;
}

std::size_t PresentSources(const Workspace& w) {
    std::size_t n = 0;
    struct stat st{};
    for (const std::string& p : w.sourcePaths) n += lstat(p.c_str(), &st) == 0 ? 1 : 0;
    return n;
}

// Puts every file back on the card from its second link.
void RestoreCard(const Workspace& w) {
    struct stat st{};
    for (std::size_t i = 0; i < w.sourcePaths.size(); ++i)
        if (lstat(w.sourcePaths[i].c_str(), &st) != 0 && link(w.pristinePaths[i].c_str(), w.sourcePaths[i].c_str()) != 0)
            Fail("cannot restore " + w.sourcePaths[i]);
}

// A card kept from an earlier run: its files planned again and found on disk.
void ReuseWorkspace(const Settings& s, Workspace& w) {
    SetFolders(w, s.reuse);
    w.card.root = w.cardRoot;
    for (std::size_t i = 0; i < s.card.files; ++i) w.card.files.push_back(PlanFile(i, s.card));
    SetPaths(w);
    RestoreCard(w);
    for (std::size_t i = 0; i < w.card.files.size(); ++i) {
        struct stat st{};
        if (stat(w.sourcePaths[i].c_str(), &st) != 0) Fail("not a card of that size: " + w.sourcePaths[i]);
        w.card.files[i].size = static_cast<std::uint64_t>(st.st_size);
        w.card.bytes += w.card.files[i].size;
    }
    const std::size_t folders = (s.card.files + s.card.perFolder - 1) / s.card.perFolder;
    for (std::size_t f = 0; f < folders; ++f) w.card.catalogs.push_back(std::to_string(100 + f));
    EmptyFolder(w.out);
}

// ------------------------------------------------------------ the measures

// The work a measure did and what it cost.
struct Sample {
    double seconds = 0;
    std::size_t files = 0;  // files the measure handled
    IoCounters io;
    CpuTimes cpu;           // processor time used, user and kernel
    std::uint64_t heapStart = 0;  // heap in use when it began
    std::uint64_t heapPeak = 0;   // the most in use at any tenth of the pass and at its end
    long peakKiB = -1;      // peak resident size while it ran
    FsCounts fs;
    double firstTenth = 0, lastTenth = 0;
    std::size_t namesBytes = 0;  // the run's list of produced names
    std::string problem;         // what --check found wrong
};

struct Measure {
    std::string key;
    std::string label;
    std::vector<Sample> runs;
    const Sample* Median() const {
        if (runs.empty()) return nullptr;
        std::vector<const Sample*> sorted;
        for (const Sample& s : runs) sorted.push_back(&s);
        std::sort(sorted.begin(), sorted.end(), [](const Sample* a, const Sample* b) { return a->seconds < b->seconds; });
        return sorted[sorted.size() / 2];
    }
    long Peak() const {
        long peak = -1;
        for (const Sample& s : runs) peak = std::max(peak, s.peakKiB);
        return peak;
    }
    double Rate() const {
        const Sample* m = Median();
        return m && m->seconds > 0 ? m->files / m->seconds : 0.0;
    }
    // How far the runs lay apart: (slowest - fastest) / median time.
    double Spread() const {
        const Sample* m = Median();
        if (!m || m->seconds <= 0) return 0.0;
        double lo = m->seconds, hi = m->seconds;
        for (const Sample& s : runs) {
            lo = std::min(lo, s.seconds);
            hi = std::max(hi, s.seconds);
        }
        return (hi - lo) / m->seconds;
    }
};

// Times body() with the process's read counters and memory around it.
template <typename Body>
Sample Timed(Body&& body) {
    Sample s;
    ResetPeakMemory();
    s.heapStart = s.heapPeak = HeapInUse();
    const IoCounters before = ReadIoCounters();
    const CpuTimes cpu0 = ReadCpuTimes();
    const auto t0 = Clock::now();
    body(s);
    s.seconds = Seconds(Clock::now() - t0);
    const CpuTimes cpu1 = ReadCpuTimes();
    s.io = IoDelta(before, ReadIoCounters());
    s.cpu = {cpu1.user - cpu0.user, cpu1.system - cpu0.system};
    s.heapPeak = std::max(s.heapPeak, HeapInUse());
    s.peakKiB = PeakMemoryKiB();
    return s;
}

// (a) Every file of the tree opened and its first 64 KiB read, folder by
// folder in listing order: what any program that looks inside the files
// must at least do.
std::size_t ReadFloor(const std::string& folder, char* buffer, std::size_t size, bool whole = false) {
    const int dfd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) return 0;
    DIR* dir = fdopendir(dfd);
    if (!dir) {
        close(dfd);
        return 0;
    }
    std::size_t files = 0;
    std::vector<std::string> folders;
    while (const dirent* e = readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st{};
            if (fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == DT_DIR) {
            folders.emplace_back(e->d_name);
        } else if (type == DT_REG && !IsCatalog(e->d_name)) {
            const int fd = openat(dfd, e->d_name, O_RDONLY | O_CLOEXEC);
            if (fd < 0) continue;
            ssize_t n = read(fd, buffer, size);
            if (n >= 0) ++files;
            while (whole && n > 0) n = read(fd, buffer, size);
            close(fd);
        }
    }
    closedir(dir);
    for (const std::string& sub : folders) files += ReadFloor(folder + "/" + sub, buffer, size, whole);
    return files;
}

// (b) The program's own listing, then for every file detection, its reader
// and the date choice, as the walk runs them, and nothing else.
struct DateTally {
    std::size_t files = 0, dated = 0;
    RunTally tally;
};

void ReadDates(FileSystem& fs, UserPort& port, const RunOptions& options, const std::string& folder, DateTally& out) {
    std::vector<FsItem> files, folders;
    fs.ListFolder(folder, files, folders);
    const ReadHooks hooks = PortReadHooks(port, options.ReportErrors);
    for (const FsItem& item : files) {
        if (IsCatalog(item.Name.c_str())) continue;
        FileFacts facts;
        MetadataPass pass;
        for (int attempt = 0; attempt < 2; ++attempt) {
            facts = FileFacts{};
            facts.SourceFileName = item.Name;
            facts.SourceFilePath = item.Path;
            facts.Size = item.Size;
            facts.FileSystemDateCreated = item.Created;
            facts.FileSystemDateModified = item.Modified;
            facts.Extension = ExtensionOf(item.Name);
            if (ReadMetadata(fs, hooks, options, facts, pass, out.tally) == MetadataOutcome::Done) break;
        }
        ChooseTimestamp(facts, options, out.tally, hooks.report);
        ++out.files;
        if (facts.Timestamped) ++out.dated;
    }
    for (const FsItem& sub : folders) ReadDates(fs, port, options, sub.Path, out);
}

// The same file system without the flush of each copy to the disk: shows
// what that flush costs the Copy pass.
class UnsyncedFileSystem final : public PosixFileSystem {
protected:
    int SyncFile(int) override { return 0; }
};

std::string TallyProblem(const RunTally& t, std::size_t expected) {
    if (static_cast<std::size_t>(t.SourceObjectNumber) != expected)
        return "handled " + std::to_string(t.SourceObjectNumber) + " of " + std::to_string(expected) + " files";
    if (t.NumberOfInvalidDCFFiles || t.NumberOfInvalidEXIFFiles || t.NumberOfInvalidDateFiles || t.NumberOfLockedFiles)
        return "skipped files: DCF " + std::to_string(t.NumberOfInvalidDCFFiles) + ", metadata " +
               std::to_string(t.NumberOfInvalidEXIFFiles) + ", dates " + std::to_string(t.NumberOfInvalidDateFiles) +
               ", locked " + std::to_string(t.NumberOfLockedFiles);
    return {};
}

class Bench {
public:
    Bench(const Settings& settings, Workspace& w) : s_(settings), w_(w), fs_(posix_), unsyncedFs_(unsynced_) {
        expected_ = w_.card.files.size();
        source_ = *posix_.GetFolder(w_.cardRoot);
        output_ = *posix_.GetFolder(w_.out);
    }

    int Run();

private:
    // The measure of that key, made on first use.
    Measure& Slot(const std::string& key, const std::string& label) {
        for (Measure& m : measures_)
            if (m.key == key) return m;
        measures_.push_back({key, label, {}});
        return measures_.back();
    }
    const Measure* Find(const std::string& key) const {
        for (const Measure& m : measures_)
            if (m.key == key) return &m;
        return nullptr;
    }

    // One pass of the engine over the card, as the run driver makes it.
    Sample EnginePass(bool performActions, MoveOrCopy moveOrCopy, bool synced = true) {
        CountingFileSystem& fs = synced ? fs_ : unsyncedFs_;
        RunOptions options = options_;
        options.MoveOrCopy = moveOrCopy;
        ChronologyList chronology;
        QuietPort port;
        RunTally tally;
        tally.NumberOfSourceObjects = static_cast<std::int32_t>(expected_);
        fs.ResetCounts();
        EngineContext context{fs, port, options, chronology, nullptr};
        Sample sample = Timed([&](Sample& s) {
            port.atTenth = [&] { s.heapPeak = std::max(s.heapPeak, HeapInUse()); };
            port.Arm(tally.NumberOfSourceObjects);
            RenameFiles(context, source_, output_, performActions, tally);
            s.files = static_cast<std::size_t>(tally.SourceObjectNumber);
        });
        sample.fs = fs.Counts();
        sample.firstTenth = port.FirstTenthRate();
        sample.lastTenth = port.LastTenthRate();
        sample.namesBytes = chronology.Text().size();
        sample.problem = TallyProblem(tally, expected_);
        return sample;
    }

    void WarmCache(bool whole);
    void SetCopiesAside();
    void RemoveCopies();
    void MeasureReadFloor();
    void MeasureCount();
    void MeasureDates();
    void MeasureFormats();
    void MeasurePreview();
    void MeasureWindowCost();
    void MeasureMoveFloor();
    void MeasureMove();
    void MeasureCopy(bool synced);
    void Print() const;
    int Verdict() const;

    const Settings& s_;
    Workspace& w_;
    PosixFileSystem posix_;
    CountingFileSystem fs_;
    UnsyncedFileSystem unsynced_;
    CountingFileSystem unsyncedFs_;
    RunOptions options_;  // a first start's options: metadata dates only, the default format and filters
    FolderRef source_, output_;
    std::size_t expected_ = 0;
    std::vector<Measure> measures_;
    std::vector<std::string> formatLines_;
    std::string countLine_;
    std::string windowLine_;
    std::vector<std::string> problems_;
    int copiesAside_ = 0;
};

// ext4 without a journal does not hand out the inode of a file deleted in
// the last minute (more while its inode table is unwritten), and checks such
// inodes one by one: files created right after as many were deleted each
// scan them all. So the copies of a Copy pass are set aside, not deleted,
// while the disk has room for them; otherwise they go and the next pass
// waits that minute out.
void Bench::SetCopiesAside() {
    const std::string aside = w_.root + "/copies-" + std::to_string(++copiesAside_);
    if (rename(w_.out.c_str(), aside.c_str()) != 0) Fail("cannot set aside " + w_.out);
    MakeFolder(w_.out);
    struct statvfs fs{};
    const std::uint64_t room = statvfs(w_.root.c_str(), &fs) == 0 ? std::uint64_t{fs.f_bavail} * fs.f_frsize : 0;
    if (room > w_.card.bytes + w_.card.bytes / 4 + (1ull << 30)) return;
    RemoveCopies();
    sync();
    if (expected_ >= 1000) sleep(70);
}

void Bench::RemoveCopies() {
    for (; copiesAside_ > 0; --copiesAside_) {
        std::error_code ec;
        std::filesystem::remove_all(w_.root + "/copies-" + std::to_string(copiesAside_), ec);
    }
}

// The first 64 KiB of every file, or the whole of it for the Copy pass.
void Bench::WarmCache(bool whole) {
    std::vector<char> buffer(whole ? 1 << 20 : 64 * 1024);
    ReadFloor(w_.cardRoot, buffer.data(), buffer.size(), whole);
}

void Bench::MeasureReadFloor() {
    Measure& m = Slot("a", "(a) read floor: list, open, read 64 KiB");
    std::vector<char> buffer(64 * 1024);
    Sample s = Timed([&](Sample& x) { x.files = ReadFloor(w_.cardRoot, buffer.data(), buffer.size()); });
    if (s.files != expected_) s.problem = "read " + std::to_string(s.files) + " files";
    m.runs.push_back(s);
}

void Bench::MeasureCount() {
    std::vector<double> times;
    std::int32_t count = 0;
    for (int r = 0; r < s_.repeat; ++r) {
        const auto t0 = Clock::now();
        count = CountFiles(posix_, source_.Path, FileFilter::Of(options_), false);
        times.push_back(Seconds(Clock::now() - t0));
    }
    std::sort(times.begin(), times.end());
    const double t = times[times.size() / 2];
    countLine_ = "count before the passes (CountFiles): " + Grouped(count) + " files, " +
                 Grouped(t > 0 ? count / t : 0) + " files/s";
    if (static_cast<std::size_t>(count) != expected_)
        problems_.push_back("CountFiles counted " + std::to_string(count) + " of " + std::to_string(expected_));
}

void Bench::MeasureDates() {
    Measure& m = Slot("b", "(b) format detection + date reading");
    QuietPort port;
    DateTally dates;
    fs_.ResetCounts();
    Sample s = Timed([&](Sample& x) {
        ReadDates(fs_, port, options_, source_.Path, dates);
        x.files = dates.files;
    });
    s.fs = fs_.Counts();
    if (dates.files != expected_ || dates.dated != expected_)
        s.problem = "dated " + std::to_string(dates.dated) + " of " + std::to_string(dates.files) + " files read, " +
                    std::to_string(expected_) + " on the card";
    m.runs.push_back(s);
}

// Read calls and bytes per file for each kind of file, through the readers
// alone.
void Bench::MeasureFormats() {
    std::map<CardKind, std::vector<std::size_t>> byKind;
    for (std::size_t i = 0; i < w_.card.files.size(); ++i) byKind[w_.card.files[i].kind].push_back(i);
    QuietPort port;
    const ReadHooks hooks = PortReadHooks(port, options_.ReportErrors);
    for (const auto& [kind, indexes] : byKind) {
        RunTally tally;
        std::size_t dated = 0;
        fs_.ResetCounts();
        const IoCounters before = ReadIoCounters();
        for (std::size_t i : indexes) {
            const CardFile& f = w_.card.files[i];
            FileFacts facts;
            MetadataPass pass;
            for (int attempt = 0; attempt < 2; ++attempt) {
                facts = FileFacts{};
                facts.SourceFileName = f.relPath.substr(f.relPath.rfind('/') + 1);
                facts.SourceFilePath = w_.sourcePaths[i];
                facts.Size = static_cast<std::int64_t>(f.size);
                if (ReadMetadata(fs_, hooks, options_, facts, pass, tally) == MetadataOutcome::Done) break;
            }
            ChooseTimestamp(facts, options_, tally, hooks.report);
            if (facts.Timestamped && facts.TimestampDateTime == f.date) ++dated;
        }
        const IoCounters io = IoDelta(before, ReadIoCounters());
        const FsCounts c = fs_.Counts();
        const double n = static_cast<double>(indexes.size());
        std::string line = std::string(KindName(kind)) + ": " + Grouped(n) + " files";
        if (io.known)
            line += ", " + Fixed(io.readCalls / n, 2) + " read calls and " + Grouped(io.bytesRead / n) + " bytes per file";
        line += "; the readers ask for " + Fixed(c.reads / n, 1) + " reads (" + Grouped(c.readBytes / n) + " bytes) and " +
                Fixed(c.skips / n, 1) + " skips per file";
        formatLines_.push_back(line);
        if (dated != indexes.size())
            problems_.push_back(std::string(KindName(kind)) + ": " + std::to_string(dated) + " of " +
                                std::to_string(indexes.size()) + " files read back with the date written");
    }
}

void Bench::MeasurePreview() {
    Slot("c", "(c) preview pass").runs.push_back(EnginePass(false, options_.MoveOrCopy));
}

void Bench::MeasureWindowCost() {
    const int files = static_cast<int>(expected_);
    const WindowCost cost = MeasureWindow(
        [&](UserPort& port) {
            ChronologyList chronology;
            RunTally tally;
            tally.NumberOfSourceObjects = files;
            EngineContext context{posix_, port, options_, chronology, nullptr};
            RenameFiles(context, source_, output_, false, tally);
            if (tally.SourceObjectNumber != files)
                problems_.push_back("the window's pass handled " + std::to_string(tally.SourceObjectNumber) + " files");
        },
        files, s_.repeat);
    if (!cost.measured) {
        windowLine_ = "window: not measured (" + cost.note + ")";
        return;
    }
    // The timing of the calls costs the same through either port; what the
    // window adds is the difference.
    const double inPort = std::max(0.0, cost.portSeconds - cost.quietPortSeconds);
    windowLine_ = "window (" + cost.note + "): progress and events " + Fixed(100.0 * inPort / cost.passSeconds, 2) +
                  "% of a preview pass (" + Fixed(1e6 * inPort / files, 2) + " us per file, " +
                  Grouped(static_cast<double>(cost.calls) / files) + " port calls per file, " + Grouped(cost.pumps) +
                  " event rounds); whole pass " + Fixed(100.0 * (cost.passSeconds / cost.quietPassSeconds - 1.0), 1) +
                  "% slower than with a port that does nothing";
}

// The files are put back after each destructive measure, untimed, and the
// disk brought up to date so that no write-back runs into the next measure.
void Bench::MeasureMoveFloor() {
    Measure& m = Slot("e", "(e) move floor: rename(2) each file");
    Sample s = Timed([&](Sample& x) {
        for (std::size_t i = 0; i < w_.sourcePaths.size(); ++i)
            if (rename(w_.sourcePaths[i].c_str(), w_.movedPaths[i].c_str()) == 0) ++x.files;
    });
    if (s.files != expected_) s.problem = "renamed " + std::to_string(s.files) + " files";
    for (std::size_t i = 0; i < w_.sourcePaths.size(); ++i) rename(w_.movedPaths[i].c_str(), w_.sourcePaths[i].c_str());
    m.runs.push_back(s);
    sync();
}

void Bench::MeasureMove() {
    Measure& m = Slot("f", "(f) processing pass, Move");
    Sample s = EnginePass(true, MoveOrCopy::Move);
    if (s.problem.empty()) {
        const std::size_t placed = CountEntries(w_.out), left = PresentSources(w_);
        if (placed != expected_ || left != 0)
            s.problem = std::to_string(placed) + " files in the output folder, " + std::to_string(left) + " left behind";
    }
    EmptyFolder(w_.out);
    RestoreCard(w_);
    sync();
    m.runs.push_back(s);
}

void Bench::MeasureCopy(bool synced) {
    Measure& m = synced ? Slot("d", "(d) processing pass, Copy") : Slot("d'", "(d') the same, no flush per copy");
    Sample s = EnginePass(true, MoveOrCopy::Copy, synced);
    if (s.problem.empty()) {
        const std::size_t placed = CountEntries(w_.out), left = PresentSources(w_);
        if (placed != expected_ || left != expected_)
            s.problem = std::to_string(placed) + " copies in the output folder, " + std::to_string(left) + " originals";
    }
    SetCopiesAside();
    m.runs.push_back(s);
}

int Bench::Run() {
    options_.SourcePath = source_.Path;
    options_.OutputPath = output_.Path;
    const auto wanted = [&](char key) { return s_.only.find(key) != std::string::npos; };
    WarmCache(false);
    MeasureCount();
    if (wanted('b')) MeasureFormats();
    // Round by round, so that a machine whose speed drifts slows every
    // measure alike and the ratios hold. The floor always runs: the ratios need it.
    for (int r = 0; r < s_.repeat; ++r) {
        MeasureReadFloor();
        if (wanted('b')) MeasureDates();
        if (wanted('c')) MeasurePreview();
        if (wanted('e') || wanted('f')) MeasureMoveFloor();
        if (wanted('f')) MeasureMove();
    }
    if (s_.window) MeasureWindowCost();
    // Last: it writes the whole card again, which may push the card out of the cache.
    if (s_.copy && wanted('d')) {
        WarmCache(true);
        for (int r = 0; r < s_.repeat; ++r) {
            MeasureCopy(true);
            MeasureCopy(false);
        }
        RemoveCopies();
    }
    Print();
    return Verdict();
}

void Bench::Print() const {
    std::size_t counts[5] = {};
    for (const CardFile& f : w_.card.files) ++counts[static_cast<int>(f.kind)];
    std::printf("ravlen_bench: %s files (%s JPEG, %s AVI, %s WAV, %s CRW) in %s DCF folders, %s MB, "
                "warm cache, median of %d run%s\n",
                Grouped(static_cast<double>(expected_)).c_str(),
                Grouped(static_cast<double>(counts[0] + counts[1])).c_str(), Grouped(counts[2]).c_str(),
                Grouped(counts[3]).c_str(), Grouped(counts[4]).c_str(), Grouped(w_.card.catalogs.size()).c_str(),
                Grouped(w_.card.bytes / 1e6).c_str(), s_.repeat, s_.repeat == 1 ? "" : "s");
    std::printf("%-42s %10s %7s %9s %10s %11s %9s %9s %13s %s\n", "measure", "files/s", "spread", "ratio",
                "reads/file", "bytes/file", "peak MiB", "heap+ KiB", "user+sys us", "last/first tenth");
    const Measure* a = Find("a");
    const Measure* e = Find("e");
    for (const char* key : {"a", "b", "c", "d", "d'", "e", "f"}) {
        const Measure* m = Find(key);
        if (!m) continue;
        const Sample* s = m->Median();
        std::string ratio = "-";
        if (a && (m->key == "b" || m->key == "c") && a->Rate() > 0) ratio = Fixed(m->Rate() / a->Rate(), 2) + " a";
        if (a && e && m->key == "f" && a->Rate() > 0 && e->Rate() > 0)
            ratio = Fixed(m->Rate() * (1.0 / a->Rate() + 1.0 / e->Rate()), 2) + " a+e";
        const double n = s->files > 0 ? static_cast<double>(s->files) : 1.0;
        const std::string reads = s->io.known ? Fixed(s->io.readCalls / n, 2) : "n/a";
        const std::string bytes = s->io.known ? Grouped(s->io.bytesRead / n) : "n/a";
        const double heapGrowth = static_cast<double>(s->heapPeak - s->heapStart) / 1024.0;
        const std::string tenth =
            s->firstTenth > 0 && s->lastTenth > 0 ? Fixed(s->lastTenth / s->firstTenth, 2) : "-";
        const std::string cpu = Fixed(1e6 * s->cpu.user / n, 1) + "+" + Fixed(1e6 * s->cpu.system / n, 1);
        const std::string spread = m->runs.size() > 1 ? Fixed(100.0 * m->Spread(), 0) + "%" : "-";
        std::printf("%-42s %10s %7s %9s %10s %11s %9s %9s %13s %s\n", m->label.c_str(), Grouped(m->Rate()).c_str(),
                    spread.c_str(), ratio.c_str(), reads.c_str(), bytes.c_str(), MiB(m->Peak()).c_str(),
                    Grouped(heapGrowth).c_str(), cpu.c_str(), tenth.c_str());
    }
    std::printf("%s\n", countLine_.c_str());
    for (const char* key : {"b", "c", "d", "f"}) {
        const Measure* m = Find(key);
        if (!m) continue;
        const Sample* s = m->Median();
        const double n = s->files > 0 ? static_cast<double>(s->files) : 1.0;
        std::printf("%s per file: %.2f opens, %.2f reader reads (%s bytes asked), %.2f skips, %.2f existence tests, "
                    "%.2f moves, %.2f copies, %.3f listings; names held %s KiB\n",
                    m->label.substr(0, 3).c_str(), s->fs.opens / n, s->fs.reads / n, Grouped(s->fs.readBytes / n).c_str(),
                    s->fs.skips / n, s->fs.existsTests / n, s->fs.moves / n, s->fs.copies / n, s->fs.listings / n,
                    Fixed(s->namesBytes / 1024.0, 1).c_str());
    }
    for (const std::string& line : formatLines_) std::printf("reading %s\n", line.c_str());
    if (!windowLine_.empty()) std::printf("%s\n", windowLine_.c_str());
    std::fflush(stdout);
}

int Bench::Verdict() const {
    std::vector<std::string> problems = problems_;
    for (const Measure& m : measures_)
        for (const Sample& s : m.runs)
            if (!s.problem.empty()) problems.push_back(m.label + ": " + s.problem);
    if (!s_.check) return 0;
    for (const std::string& p : problems) std::printf("check failed: %s\n", p.c_str());
    if (problems.empty()) std::printf("check: every file accounted for in every measure\n");
    return problems.empty() ? 0 : 1;
}

}  // namespace
}  // namespace ravlen::bench

int main(int argc, char** argv) {
    using namespace ravlen::bench;
    const std::optional<Settings> settings = ParseArgs(argc, argv);
    if (!settings) {
        Usage();
        return 2;
    }
    Workspace workspace;
    int status = 1;
    try {
        if (settings->reuse.empty()) MakeWorkspace(*settings, workspace);
        else ReuseWorkspace(*settings, workspace);
        status = Bench(*settings, workspace).Run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ravlen_bench: %s\n", e.what());
        status = 1;
    }
    if (!workspace.root.empty()) {
        if (settings->keep || !settings->reuse.empty()) {
            std::printf("card kept in %s\n", workspace.root.c_str());
        } else {
            std::error_code ec;
            std::filesystem::remove_all(workspace.root, ec);
        }
    }
    return status;
}
