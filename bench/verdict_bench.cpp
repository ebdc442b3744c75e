// verdict_bench: the verdict on a card whose files are all imported, against
// a preview pass over the same card.
//
// It builds a card (5,000 files by default), copies each file into an output
// folder under another name, as an import does, and notes each copy in a
// record of imports of its own. Then, files in the page cache, the median of
// --repeat runs of:
//   (p) a preview pass;
//   (v) the verdict with no hash kept yet (the first check after an import:
//       every card file and its copy read once);
//   (k) the verdict again, with the hashes the first one kept.
// and the ratios (v)/(p) and (k)/(p).
//
// verdict_bench [--files N] [--repeat N] [--base DIR]

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

    // The import: every file copied under a name of its own, and noted.
    {
        auto record = SqliteImportRecord::Open(db);
        for (std::size_t i = 0; i < card.files.size(); ++i) {
            const fs::path from = root / "card" / card.files[i].relPath;
            const std::string to = out + "/" + std::to_string(100000 + i) + from.extension().string();
            fs::copy_file(from, to);
            record->Add({to, static_cast<std::int64_t>(fs::file_size(to)), "", {}}, "bench");
        }
        if (!record->Flush()) return std::fprintf(stderr, "the record cannot be written\n"), 1;
    }

    PosixFileSystem posix;
    RunOptions options;
    options.SourcePath = (root / "card").string();
    options.OutputPath = out;
    const CardCheckRequest request = CardCheckOf(options);
    const FolderRef source = *posix.GetFolder(options.SourcePath), output = *posix.GetFolder(out);

    const auto timed = [](auto&& work) {
        const auto t0 = Clock::now();
        work();
        return std::chrono::duration<double>(Clock::now() - t0).count();
    };
    std::vector<double> preview, first, kept;
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
        // A record without the hashes of the run before: copied back from the import's.
        fs::copy_file(db, db + ".check", fs::copy_options::overwrite_existing);
        auto record = SqliteImportRecord::Open(db + ".check");
        first.push_back(timed([&] {
            const CardVerdict v = CheckCard(posix, record.get(), request);
            safe = safe && v.Safe();
            checked = static_cast<std::size_t>(v.Checked);
        }));
        kept.push_back(timed([&] { safe = CheckCard(posix, record.get(), request).Safe() && safe; }));
        record.reset();
        fs::remove(db + ".check");
        for (const char* suffix : {"-wal", "-shm"}) fs::remove(db + ".check" + suffix);
    }
    const double p = Median(preview), v = Median(first), k = Median(kept);
    std::printf("card: %zu files, %.1f MB; %d runs each, medians\n", card.files.size(), card.bytes / 1e6, repeat);
    std::printf("(p) preview pass:                  %8.3f s\n", p);
    std::printf("(v) verdict, no hash kept yet:     %8.3f s  %.2fx the preview\n", v, v / p);
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
