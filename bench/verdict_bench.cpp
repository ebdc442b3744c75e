// verdict_bench: the verdict on a card whose files are all imported, against
// a preview pass over the same card.
//
// It builds a card (5,000 files by default) and imports it with a processing
// pass (Copy, SkipImported) into an output folder, with a record of imports
// of its own: the pass keeps the hash each copy took of its bytes. Then,
// files in the page cache, the median of --repeat runs of:
//   (p) a preview pass;
//   (v) the verdict right after the import (the hashes the copies took);
//   (n) the verdict with no hash kept (a record without them: every card
//       file and its copy read once);
//   (k) the verdict again, with the hashes the one before kept.
// and the ratios to (p). Also the import pass's own time, with the hashes
// taken and without.
//
// verdict_bench [--files N] [--repeat N] [--base DIR]

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/records/import_store.h"
#include "app/run/run_driver.h"
#include "bench_ports.h"
#include "card_builder.h"
#include "engine/card_verdict.h"
#include "engine/rename_files.h"
#include "platform/posix_file_system.h"

namespace ravlen::bench {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Clears every hash the record kept, as a record written before the import
// kept them would be.
bool ForgetHashes(const std::string& db) {
    sqlite3* handle = nullptr;
    bool ok = sqlite3_open(db.c_str(), &handle) == SQLITE_OK &&
              sqlite3_exec(handle, "DELETE FROM hashes; UPDATE imported SET hash = ''", nullptr, nullptr, nullptr) ==
                  SQLITE_OK;
    sqlite3_close(handle);
    return ok;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int Main(int argc, char** argv) {
    CardSpec spec;
    spec.files = 5000;
    int repeat = 3;
    std::string base = fs::temp_directory_path();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--files") spec.files = std::strtoul(argv[i + 1], nullptr, 10);
        else if (arg == "--repeat") repeat = std::max(1, std::atoi(argv[i + 1]));
        else if (arg == "--base") base = argv[i + 1];
    }
    const fs::path root = fs::path(base) / ("ravlen-verdict-bench-" + std::to_string(getpid()));
    fs::create_directories(root / "card");
    fs::create_directories(root / "out");
    struct Cleanup {
        fs::path root;
        ~Cleanup() { fs::remove_all(root); }
    } cleanup{root};
    const Card card = BuildCard((root / "card").string(), spec);
    const std::string out = (root / "out").string();
    const std::string db = (root / "imports.sqlite").string();

    PosixFileSystem posix;
    RunOptions options;
    options.SourcePath = (root / "card").string();
    options.OutputPath = out;
    options.DCFMode = DCFMode::PreserveAsComment;  // every file of the card placed
    const CardCheckRequest request = CardCheckOf(options);
    const FolderRef source = *posix.GetFolder(options.SourcePath);

    const auto timed = [](auto&& work) {
        const auto t0 = Clock::now();
        work();
        return std::chrono::duration<double>(Clock::now() - t0).count();
    };
    // The import: a processing pass copying every file, noted in the record;
    // once into a spare folder without the record (no hash taken), for its time.
    const auto import = [&](const std::string& into, ImportRecord* record) {
        fs::create_directories(into);
        RunOptions copy = options;
        copy.MoveOrCopy = MoveOrCopy::Copy, copy.SkipImported = record != nullptr, copy.OutputPath = into;
        QuietPort port;
        ChronologyList chronology;
        RunTally tally;
        tally.NumberOfSourceObjects = static_cast<std::int32_t>(card.files.size());
        EngineContext context{posix, port, copy, chronology, nullptr};
        context.imports = record;
        RenameFiles(context, source, *posix.GetFolder(into), true, tally);
        return tally.NumberOfLockedFiles == 0 && tally.SourceObjectNumber == tally.NumberOfSourceObjects;
    };
    double importPlain = 0, importHashed = 0;
    {
        const std::string spare = (root / "spare").string();
        bool placed = true;
        importPlain = timed([&] { placed = import(spare, nullptr); });
        fs::remove_all(spare);
        auto record = SqliteImportRecord::Open(db);
        importHashed = timed([&] { placed = import(out, record.get()) && placed; });
        if (!placed) return std::fprintf(stderr, "the import left files unplaced\n"), 1;
        if (!record->Flush()) return std::fprintf(stderr, "the record cannot be written\n"), 1;
    }
    // The preview into an empty folder, where no name it builds is taken: the
    // cheapest preview of this card, so the ratios below are the strictest.
    fs::create_directories(root / "preview");
    const FolderRef output = *posix.GetFolder((root / "preview").string());
    std::vector<double> preview, afterImport, first, kept;
    std::size_t checked = 0;
    bool safe = true;
    for (int r = 0; r < repeat; ++r) {
        preview.push_back(timed([&] {
            QuietPort port;
            ChronologyList chronology;
            RunTally tally;
            tally.NumberOfSourceObjects = static_cast<std::int32_t>(card.files.size());
            EngineContext context{posix, port, options, chronology, nullptr};
            RenameFiles(context, source, output, false, tally);
        }));
        // The record as the import left it, then one without any hash.
        fs::copy_file(db, db + ".check", fs::copy_options::overwrite_existing);
        auto record = SqliteImportRecord::Open(db + ".check");
        afterImport.push_back(timed([&] { safe = CheckCard(posix, posix, record.get(), request).Safe() && safe; }));
        record.reset();
        fs::copy_file(db, db + ".check", fs::copy_options::overwrite_existing);
        if (!ForgetHashes(db + ".check")) return std::fprintf(stderr, "the record's hashes cannot be cleared\n"), 1;
        record = SqliteImportRecord::Open(db + ".check");
        first.push_back(timed([&] {
            const CardVerdict v = CheckCard(posix, posix, record.get(), request);
            safe = safe && v.Safe();
            checked = static_cast<std::size_t>(v.Checked);
        }));
        kept.push_back(timed([&] { safe = CheckCard(posix, posix, record.get(), request).Safe() && safe; }));
        record.reset();
        fs::remove(db + ".check");
        for (const char* suffix : {"-wal", "-shm"}) fs::remove(db + ".check" + suffix);
    }
    const double p = Median(preview), a = Median(afterImport), v = Median(first), k = Median(kept);
    std::printf("card: %zu files, %.1f MB; %d runs each, medians\n", card.files.size(), card.bytes / 1e6, repeat);
    std::printf("import pass (Copy), no hash taken: %8.3f s\n", importPlain);
    std::printf("import pass (Copy), hashes kept:   %8.3f s\n", importHashed);
    std::printf("(p) preview pass:                  %8.3f s\n", p);
    std::printf("(v) verdict right after import:    %8.3f s  %.2fx the preview\n", a, a / p);
    std::printf("(n) verdict, no hash kept:         %8.3f s  %.2fx the preview\n", v, v / p);
    std::printf("(k) verdict, hashes kept:          %8.3f s  %.2fx the preview\n", k, k / p);
    if (!safe || checked != card.files.size()) {
        std::fprintf(stderr, "the verdict was not safe, or saw %zu of %zu files\n", checked, card.files.size());
        return 1;
    }
    return 0;
}

}  // namespace
}  // namespace ravlen::bench

int main(int argc, char** argv) { return ravlen::bench::Main(argc, argv); }
