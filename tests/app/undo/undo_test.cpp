#include "app/undo/undo.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>

#include "app/records/import_store.h"
#include "app/records/intent_store.h"
#include "app/records/number_store.h"
#include <fcntl.h>
#include <sys/stat.h>

#include "app/run/run_driver.h"
#include "log/csv_text.h"
#include "log/run_logs.h"
#include "platform/posix_file_system.h"
#include "support/fake_port.h"
#include "support/sqlite_exec.h"
#include "support/temp_dir.h"
#include "support/tmpfs_mount.h"

namespace ravlen {
namespace {

using test::FakePort;
using test::ReadAll;
using test::Tree;
using test::TempDir;
namespace fs = std::filesystem;
using namespace std::string_literals;

// The machine's file system, with the compare-and-remove of chosen copies
// failing as a read-only or busy file system would make it.
struct FaultyFs : PosixFileSystem {
    std::map<std::string, CopyRemovalResult> removals;  // by copy path
    std::function<void(const std::string&)> onLookup;  // before each GetFile
    std::optional<FsItem> GetFile(const std::string& path) override {
        if (onLookup) onLookup(path);
        return PosixFileSystem::GetFile(path);
    }
    CopyRemovalResult RemoveIfIdentical(const std::string& copy, const std::string& original,
                                        const std::function<void()>& pump) override {
        const auto fault = removals.find(copy);
        return fault != removals.end() ? fault->second : PosixFileSystem::RemoveIfIdentical(copy, original, pump);
    }
};

// A real run with a CSV log over four photos, then undos of it; the runs'
// journals and plans in a record of their own.
struct Bench {
    TempDir srcDir, outDir, dataDir;
    std::string src = srcDir.Mkdir("card"), out = outDir.Mkdir("out");
    FaultyFs files;
    FakePort port;
    std::string csv;  // the run's log
    ImportRecord* imports = nullptr;
    ContinuingNumbers* numbers = nullptr;
    std::set<std::string> logs;  // the runs' logs so far
    std::string recordPath = dataDir.path() + "/placements.sqlite";
    std::unique_ptr<SqliteIntentRecord> record = Open(recordPath);

    static std::unique_ptr<SqliteIntentRecord> Open(const std::string& path) {
        std::string error;
        auto record = SqliteIntentRecord::Open(path, error);
        EXPECT_TRUE(record) << error;
        return record;
    }
    Bench() {
        srcDir.Write("card/IMG_0001.JPG", "first photo");
        srcDir.Write("card/IMG_0002.JPG", std::string((1 << 20) + 17, 'x'));  // several compare chunks
        srcDir.Write("card/DCIM/100CANON/IMG_0003.JPG", "third");
        srcDir.Write("card/DCIM/100CANON/MVI_0004.AVI", "movie");
    }
    void Run(int moveOrCopy, int subfolders = 2, const std::function<void(RunOptions&)>& also = {}) {
        RunOptions o{.SourcePath = src,
                     .OutputPath = out,
                     .ProcessSubfolders = static_cast<ProcessSubfolders>(subfolders),
                     .MoveOrCopy = static_cast<MoveOrCopy>(moveOrCopy),
                     .DateMode = DateMode::FileSystemOnly,
                     .AutoDetect = false,
                     .RequestConfirmation = false,
                     .SummarizeResults = false,
                     .CreateLog = CreateLog::Csv};
        if (also) also(o);
        RunServices services{files, port, {}, {}, ProgramFacts{}};
        services.imports = imports;
        services.intents = record.get();
        services.journal = record.get();
        services.numbers = numbers;
        ASSERT_EQ(RunDriver(services).Go(o), RunOutcome::Completed);
        for (const auto& e : fs::directory_iterator(out))
            if (e.path().extension() == ".csv" && logs.insert(e.path().string()).second) csv = e.path().string();
    }
    UndoResult Undo() {
        port.messages.clear();
        return RunUndo(csv, files, port, true, imports, record.get(), record.get(), numbers);
    }
    UndoResult UndoRun(const std::string& id) {
        port.messages.clear();
        return RunJournalUndo(id, *record, files, port, true, imports, record.get());
    }
    // Where the log says a row's file came from and went to.
    std::string SourceOf(int row) const { return Field(row, "SourceFolder") + "/" + Field(row, "SourceFileName"); }
    std::string OutputOf(int row) const { return Field(row, "OutputFolder") + "/" + Field(row, "OutputFileName"); }
    std::string Field(int row, std::string_view column) const {
        const auto records = SplitCsv(ReadAll(csv));
        return records.at(static_cast<std::size_t>(row)).Fields.at(*CsvHeader(records.at(0).Fields).Find(column));
    }
    // Rewrites the log record by record, as another version of the program might have written it.
    void RewriteLog(const std::function<void(std::vector<std::string>&)>& edit) {
        std::string text;
        for (CsvRecord& record : SplitCsv(ReadAll(csv))) {
            edit(record.Fields);
            for (std::size_t i = 0; i < record.Fields.size(); ++i) text += (i ? "," : "") + CsvQuoted(record.Fields[i]);
            text += "\r\n";
        }
        std::ofstream(csv, std::ios::binary | std::ios::trunc) << text;
    }
};

TEST(Undo, MoveThenUndoRestoresEveryFileAndASecondUndoDoesNothing) {
    Bench bench;
    bench.srcDir.Write("card/say \"cheese\", please\r\nnow/IMG_0005.JPG", "quoted");
    const auto before = Tree(bench.src);
    bench.Run(0);
    ASSERT_TRUE(Tree(bench.src).empty());
    ASSERT_TRUE(fs::is_directory(bench.out + "/DCIM/100CANON"));
    const UndoResult first = bench.Undo();
    EXPECT_EQ(first.Outcome, UndoOutcome::Completed);
    EXPECT_EQ(Tree(bench.src), before);
    EXPECT_FALSE(fs::exists(bench.out + "/DCIM")) << "the emptied output subfolders go";
    ASSERT_EQ(bench.port.messages.size(), 2u);
    EXPECT_EQ(bench.port.messages[0].text,
              "5  files will be restored to their original place\r\n"
              "0  copies will be removed if identical to their originals\r\n"
              "0  files will be left alone\r\n0  files were undone before\r\n"
              "0  files were not moved or copied by the run\r\n=\r\n"
              "5  total files in the log\r\n\r\n\r\nDo you want to undo the run?");
    EXPECT_EQ(bench.port.messages[1].text, "All 5 files successfully restored to their original place.");
    const std::string undoLog = ReadAll(first.UndoLogPath);
    EXPECT_EQ(undoLog.substr(0, undoLog.find("\r\n")),
              "Row,SourceFolder,SourceFileName,OutputFolder,OutputFileName,Operation,Action,Reason");
    EXPECT_NE(undoLog.find("\"IMG_0001.JPG\",\"" + bench.out + "\","), std::string::npos);
    const auto outAfter = Tree(bench.out);
    const UndoResult second = bench.Undo();
    EXPECT_EQ(second.Outcome, UndoOutcome::NothingToDo);
    EXPECT_EQ(second.Done.AlreadyUndone, 5);
    ASSERT_EQ(bench.port.messages.size(), 1u);
    EXPECT_EQ(bench.port.messages[0].icon, MsgIcon::Information);
    EXPECT_NE(bench.port.messages[0].text.find("already been undone"), std::string::npos);
    EXPECT_EQ(Tree(bench.src), before);
    EXPECT_EQ(Tree(bench.out), outAfter) << "not even an undo log";
}

// The undo takes each file's backup copies away with it, each only while it
// holds the original's bytes: one changed since is kept. The journal's undo
// knows them too.
TEST(Undo, RemovesTheBackupCopiesWithTheirFiles) {
    for (const int moveOrCopy : {0, 1, 2}) {
        SCOPED_TRACE(moveOrCopy == 2 ? "journal" : "log");
        Bench bench;
        const std::string backup = bench.outDir.Mkdir("backup");
        const auto before = Tree(bench.src);
        bench.Run(moveOrCopy % 2, 2, [&](RunOptions& o) { o.BackupPaths = backup; });
        ASSERT_EQ(Tree(backup).size(), 4u);
        EXPECT_EQ(bench.Field(4, "BackupPaths"), backup + bench.OutputOf(4).substr(bench.out.size()));
        std::ofstream(bench.Field(1, "BackupPaths"), std::ios::trunc) << "edited";
        const UndoResult undone = moveOrCopy == 2 ? bench.UndoRun(LastRunToUndo(*bench.record)) : bench.Undo();
        EXPECT_EQ(undone.Outcome, UndoOutcome::Completed);
        EXPECT_EQ(Tree(bench.src), before);
        EXPECT_EQ(Tree(backup), (std::map<std::string, std::string>{
                                    {bench.Field(1, "BackupPaths").substr(backup.size() + 1), "edited"}}));
    }
}

// The files of a folder but the runs' logs and the undo logs.
std::map<std::string, std::string> Photos(const std::string& folder) {
    auto tree = Tree(folder);
    std::erase_if(tree, [](const auto& file) { return file.first.starts_with("Ravlen Log"); });
    return tree;
}

// A run over files imported before a backup folder was set makes only their
// backup copies: a run of its own in the journal, with each copy's identity.
// Its undo, from the journal or from its log, takes those copies away and
// leaves the files imported before where they are; a copy changed since the
// run (other bytes), or another file in its place (the same bytes), is kept
// and said.
TEST(Undo, BackupCopiesOfFilesImportedBeforeGoWithTheRunThatMadeThem) {
    for (const bool journal : {true, false}) {
        SCOPED_TRACE(journal ? "journal" : "log");
        Bench bench;
        const auto imports = SqliteImportRecord::Open(bench.dataDir.path() + "/imports.sqlite");
        ASSERT_TRUE(imports);
        bench.imports = imports.get();
        bench.Run(1);
        const auto imported = Photos(bench.out);
        const std::string backup = bench.outDir.Mkdir("backup");
        bench.Run(1, 2, [&](RunOptions& o) { o.BackupPaths = backup; });
        ASSERT_EQ(Tree(backup).size(), 4u);
        EXPECT_EQ(bench.Field(1, "Operation"), "Already imported");

        const std::vector<JournalRun> runs = bench.record->Runs(10);
        ASSERT_EQ(runs.size(), 2u);
        EXPECT_EQ(runs[0].Moved + runs[0].Copied, 0);
        EXPECT_EQ(runs[0].CaughtUp, 4);
        EXPECT_EQ(runs[1].Copied, 4);
        EXPECT_EQ(runs[1].CaughtUp, 0);
        const std::vector<JournalEntry> files = bench.record->Files(runs[0].Id);
        ASSERT_EQ(files.size(), 4u);
        for (const JournalEntry& entry : files) {
            ASSERT_EQ(entry.Backups.size(), 1u);
            const JournalBackup& copy = entry.Backups[0];
            struct stat st{};
            ASSERT_EQ(::stat(copy.Path.c_str(), &st), 0);
            EXPECT_EQ(copy.Id, (FileId{st.st_dev, st.st_ino}));
            EXPECT_EQ(copy.Size, st.st_size);
        }
        const std::string edited = files[0].Backups[0].Path, replaced = files[1].Backups[0].Path;
        const std::string bytes = ReadAll(edited), replacedBytes = ReadAll(replaced);
        std::ofstream(edited, std::ios::binary | std::ios::trunc) << std::string(bytes.size(), '?');
        std::ofstream(replaced + ".new", std::ios::binary) << replacedBytes;
        fs::rename(replaced + ".new", replaced);

        const UndoResult undone = journal ? bench.UndoRun(LastRunToUndo(*bench.record)) : bench.Undo();
        EXPECT_EQ(undone.Outcome, UndoOutcome::Incomplete);
        EXPECT_EQ(undone.Done.RemoveBackups, 2);
        EXPECT_EQ(undone.Done.LeaveAlone, 2);
        EXPECT_EQ(Photos(bench.out), imported) << "the files imported before stay";
        EXPECT_EQ(Tree(backup), (std::map<std::string, std::string>{
                                    {edited.substr(backup.size() + 1), std::string(bytes.size(), '?')},
                                    {replaced.substr(backup.size() + 1), replacedBytes}}));
        ASSERT_EQ(bench.port.messages.size(), 2u);
        EXPECT_NE(bench.port.messages[0].text.find(
                      "4  files imported before will lose the backup copies the run made, if identical"),
                  std::string::npos);
        EXPECT_NE(bench.port.messages[1].text.find(
                      "2  files imported before: the backup copies the run made removed"),
                  std::string::npos);
        EXPECT_NE(bench.port.messages[1].text.find("The backup copy " + replaced +
                                                   " is kept: it is not the copy the run made, or it has changed "
                                                   "since."),
                  std::string::npos);
        EXPECT_NE(bench.port.messages[1].text.find("The backup copy " + edited + " is kept: "), std::string::npos);
        EXPECT_EQ(imports->WithSize(5, bench.out).size(), 2u) << "the record keeps the files imported before";
    }
}

// A log edited to claim backup copies: a recorded row's copies are those its
// journal names, whatever the log adds (a row repeated with another copy's
// path included); a row no journal records, and whose original is not as
// logged, leaves its claimed copy alone.
TEST(Undo, BackupCopiesALogClaimsAndNoJournalRecordsStay) {
    Bench bench;
    bench.Run(1);
    const std::string backup = bench.outDir.Mkdir("backup");
    bench.Run(1, 2, [&](RunOptions& o) { o.BackupPaths = backup; });
    ASSERT_EQ(Tree(backup).size(), 4u);
    const std::string claimed = bench.outDir.Write("backup/claimed.JPG", ReadAll(bench.OutputOf(1)));
    const std::string other = bench.outDir.Write("backup/other.JPG", ReadAll(bench.OutputOf(2)));
    std::vector<std::string> names;
    std::vector<std::vector<std::string>> extra;  // rows added to the log
    bench.RewriteLog([&](std::vector<std::string>& f) {
        if (names.empty()) return void(names = f);
        const auto at = [&](std::vector<std::string>& row, std::string_view column) -> std::string& {
            return row.at(*CsvHeader(names).Find(column));
        };
        if (at(f, "SourceFileName") == "IMG_0001.JPG") at(f, "BackupPaths") += ";" + claimed;
        if (at(f, "SourceFileName") == "IMG_0002.JPG") {
            extra = {f, f};
            at(extra[0], "BackupPaths") = other;
            at(extra[1], "SourceFileName") = "IMG_9999.JPG";
            at(extra[1], "BackupPaths") = other;
        }
    });
    std::ofstream(bench.csv, std::ios::binary | std::ios::app) << [&] {
        std::string text;
        for (const auto& f : extra) {
            for (std::size_t i = 0; i < f.size(); ++i) text += (i ? "," : "") + CsvQuoted(f[i]);
            text += "\r\n";
        }
        return text;
    }();
    const UndoResult undone = bench.Undo();
    EXPECT_EQ(undone.Done.RemoveBackups, 4);
    EXPECT_EQ(undone.Done.AlreadyGone, 1);
    ASSERT_EQ(undone.Rows.size(), 6u);
    EXPECT_EQ(undone.Rows[5].Reason,
              "No run on this computer recorded this file, and its modified time is not the one the log states.");
    EXPECT_EQ(Photos(backup), (std::map<std::string, std::string>{{"claimed.JPG", ReadAll(claimed)},
                                                                 {"other.JPG", ReadAll(other)}}));
}

// Numbers that continue between imports: an undo of the last run gives its
// numbers back, one of an earlier run cannot (later ones were handed out),
// and no number is ever handed out twice.
TEST(Undo, ContinuingNumbersComeBackOnlyWhenNoLaterOneWasHandedOut) {
    Bench bench;
    TempDir data;
    std::string error;
    const auto numbers = SqliteContinuingNumbers::Open(data / "numbers.sqlite", error);
    ASSERT_TRUE(numbers) << error;
    bench.numbers = numbers.get();
    const auto numbered = [](RunOptions& o) {
        o.FilenameFormat = FilenameFormat::Custom;
        o.CustomFormat.Template = "%q%e";
        o.ProcessSubfolders = ProcessSubfolders::Flatten;
    };
    const auto names = [&] {
        std::vector<std::string> found;
        for (const auto& e : fs::directory_iterator(bench.out))
            if (e.path().extension() != ".csv") found.push_back(e.path().stem().string());
        std::sort(found.begin(), found.end());
        return found;
    };
    bench.Run(0, 1, numbered);
    const std::string first = bench.csv;
    EXPECT_EQ(names(), (std::vector<std::string>{"0001", "0002", "0003", "0004"}));
    bench.srcDir.Write("card/IMG_0005.JPG", "fifth"), bench.srcDir.Write("card/IMG_0006.JPG", "sixth");
    bench.Run(0, 1, numbered);
    EXPECT_EQ(bench.Field(1, "ContinuingNumber") + " " + bench.Field(1, "ContinuingScope"), "5 all");
    ASSERT_EQ(bench.Undo().Outcome, UndoOutcome::Completed);
    EXPECT_EQ(numbers->Next("all"), 5) << "no gap where none is due";
    bench.Run(0, 1, numbered);
    EXPECT_EQ(names(), (std::vector<std::string>{"0001", "0002", "0003", "0004", "0005", "0006"}));
    bench.csv = first;
    ASSERT_EQ(bench.Undo().Outcome, UndoOutcome::Completed);
    EXPECT_EQ(numbers->Next("all"), 7) << "numbers after them were handed out";
    EXPECT_EQ(names(), (std::vector<std::string>{"0005", "0006"}));
}

// The date folders the run made go when the undo empties them; one that
// holds a file the run did not place stays, with the folders above it.
TEST(Undo, DateFoldersGoWhenEmptied) {
    Bench bench;
    const timespec july14[2] = {{1720958400, 0}, {1720958400, 0}};  // 2024-07-14 12:00:00 UTC
    for (const auto& [name, bytes] : Tree(bench.src))
        ASSERT_EQ(utimensat(AT_FDCWD, (bench.src + "/" + name).c_str(), july14, 0), 0);
    bench.Run(0, 2, [](RunOptions& o) {
        o.DateFolders = true;
        o.DateModeFileSystem = DateModeFileSystem::Modified;
    });
    EXPECT_EQ(bench.Field(1, "OutputFolder"), bench.out + "/2024/2024-07-14");
    ASSERT_TRUE(fs::is_directory(bench.out + "/DCIM/100CANON/2024/2024-07-14"));
    bench.outDir.Write("out/2024/2024-07-14/mine.txt", "not the run's");
    EXPECT_EQ(bench.Undo().Outcome, UndoOutcome::Completed);
    EXPECT_FALSE(fs::exists(bench.out + "/DCIM"));
    EXPECT_EQ(Tree(bench.out + "/2024"), (std::map<std::string, std::string>{{"2024-07-14/mine.txt", "not the run's"}}));
}

// A date folder swapped for a link to another folder after the undo checked
// it: nothing is taken from where the link leads, nothing is put there.
TEST(Undo, AFolderSwappedForALinkAfterItsCheckIsNotFollowed) {
    Bench bench;
    bench.Run(0, 2, [](RunOptions& o) { o.DateFolders = true; });
    const std::string placed = bench.OutputOf(1), folder = bench.Field(1, "OutputFolder");
    const std::string name = bench.Field(1, "OutputFileName"), bytes = ReadAll(placed);
    const std::string outside = bench.outDir.Mkdir("outside");
    const std::string planted = bench.outDir.Write("outside/" + name, std::string(bytes.size(), '!'));
    int lookups = 0;  // the first is the undo's preview, the second its check just before the move
    bench.files.onLookup = [&](const std::string& path) {
        if (path != placed || ++lookups != 2) return;
        fs::rename(folder, folder + ".old");
        fs::create_directory_symlink(outside, folder);
    };
    EXPECT_EQ(bench.Undo().Outcome, UndoOutcome::Incomplete);
    EXPECT_EQ(lookups, 2);
    EXPECT_EQ(ReadAll(planted), std::string(bytes.size(), '!'));
    EXPECT_FALSE(fs::exists(bench.SourceOf(1)));
    EXPECT_EQ(ReadAll(folder + ".old/" + name), bytes);
}

timespec ModifiedOf(const std::string& path) {
    struct stat st{};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mtim;
}

// SetFileTime: each placed file's modified time becomes its recording time
// once the log holds the old one; the undo puts back names and times exactly.
TEST(Undo, PutsBackTheModifiedTimesTheRunSet) {
    Bench bench;
    const timespec old[2] = {{0, UTIME_OMIT}, {1000000000, 123456789}};
    for (const auto& [relative, bytes] : Tree(bench.src))
        ASSERT_EQ(utimensat(AT_FDCWD, (bench.src + "/" + relative).c_str(), old, 0), 0);
    const auto before = Tree(bench.src);
    bench.Run(0, 2, [](RunOptions& o) {
        o.SetFileTime = true;
        o.DateModeFileSystem = DateModeFileSystem::Created;  // the files' birth: now, not their mtime
    });
    for (int row = 1; row <= 4; ++row) {
        const timespec set = ModifiedOf(bench.OutputOf(row));
        EXPECT_EQ(bench.Field(row, "OriginalModifiedTime"), "1000000000.123456789");
        EXPECT_EQ(DateTime::FromTimeT(set.tv_sec).FormatFull(), bench.Field(row, "Date/Time"));
        EXPECT_EQ(set.tv_nsec, 0);
    }
    EXPECT_EQ(bench.Undo().Outcome, UndoOutcome::Completed);
    EXPECT_EQ(Tree(bench.src), before);
    for (const auto& [relative, bytes] : before) {
        const timespec back = ModifiedOf(bench.src + "/" + relative);
        EXPECT_EQ(back.tv_sec, 1000000000) << relative;
        EXPECT_EQ(back.tv_nsec, 123456789) << relative;
    }
}

TEST(Undo, CopyThenUndoRemovesOnlyCopiesStillIdenticalToTheirOriginals) {
    Bench bench;
    bench.Run(1);
    // Row 1's copy edited in place (same size), row 3's original gone.
    const std::string edited = bench.OutputOf(1);
    std::string bytes = ReadAll(edited);
    bytes[bytes.size() / 2] ^= 1;
    std::ofstream(edited, std::ios::binary | std::ios::trunc) << bytes;
    const std::string orphan = bench.OutputOf(3);
    fs::remove(bench.SourceOf(3));
    const auto originals = Tree(bench.src);
    const UndoResult result = bench.Undo();
    EXPECT_EQ(result.Outcome, UndoOutcome::Incomplete);
    EXPECT_EQ(result.Done.Remove, 2);
    EXPECT_EQ(result.Done.LeaveAlone, 2);
    EXPECT_EQ(result.Rows[0].Reason, "The copy and the original differ, so the copy is kept.");
    EXPECT_EQ(result.Rows[2].Reason, "The original is no longer at its original place, so the copy is kept.");
    EXPECT_EQ(ReadAll(edited), bytes);
    EXPECT_TRUE(fs::exists(orphan));
    EXPECT_FALSE(fs::exists(bench.OutputOf(2)));
    EXPECT_FALSE(fs::exists(bench.OutputOf(4)));
    EXPECT_EQ(Tree(bench.src), originals) << "originals are only read";
    EXPECT_EQ(bench.port.messages.back().icon, MsgIcon::Exclamation);
    EXPECT_NE(bench.port.messages.back().text.find("2  copies removed"), std::string::npos);
}

TEST(Undo, ACopyThatCannotBeRemovedIsKeptAndOneMovedAwayIsCountedAsGone) {
    Bench bench;
    bench.Run(1);
    const std::string stuck = bench.OutputOf(1), movedAway = bench.OutputOf(2);
    bench.files.removals[stuck] = {CopyRemoval::RemoveFailed, "Read-only file system"};
    fs::rename(movedAway, bench.outDir / "elsewhere.jpg");
    const UndoResult result = bench.Undo();
    EXPECT_EQ(result.Outcome, UndoOutcome::Incomplete);
    EXPECT_EQ(result.Done.Remove, 2);
    EXPECT_EQ(result.Done.LeaveAlone, 1);
    EXPECT_EQ(result.Done.AlreadyGone, 1);
    EXPECT_EQ(result.Done.AlreadyUndone, 0) << "a copy moved away was not undone";
    EXPECT_TRUE(fs::exists(stuck));
    EXPECT_FALSE(fs::exists(bench.OutputOf(3)));
    EXPECT_EQ(result.Rows[0].Reason, "The copy could not be removed due to the following error: Read-only file system.");
    EXPECT_EQ(result.Rows[1].Reason, "The copy is already gone.");
    ASSERT_EQ(bench.port.messages.size(), 2u);
    EXPECT_NE(bench.port.messages[0].text.find("0  files were undone before\r\n"
                                               "0  files were not moved or copied by the run\r\n"
                                               "1  copies were already gone\r\n=\r\n4  total files in the log"),
              std::string::npos);
    EXPECT_NE(bench.port.messages[1].text.find("2  copies removed\r\n1  files left alone\r\n"
                                               "0  files were undone before\r\n"
                                               "0  files were not moved or copied by the run\r\n"
                                               "1  copies were already gone\r\n=\r\n4  total files in the log"),
              std::string::npos);
    // Once every copy is gone there is nothing left to undo.
    bench.files.removals.clear();
    fs::remove(stuck);
    EXPECT_EQ(bench.Undo().Outcome, UndoOutcome::NothingToDo);
    EXPECT_EQ(bench.port.Texts(),
              std::vector<std::string>{"Every copy the run made is already gone, so there is nothing to undo."});
}

TEST(Undo, StopLeavesTheRestForTheNextUndo) {
    Bench bench;
    bench.Run(0);
    bench.port.onPump = [](FakePort& port) { port.cancel = port.progressValue == 1; };
    const UndoResult stopped = bench.Undo();
    EXPECT_EQ(stopped.Outcome, UndoOutcome::Incomplete);
    EXPECT_EQ(stopped.Done.Restore, 1);
    EXPECT_EQ(stopped.NotAttempted, 3);
    EXPECT_FALSE(bench.port.progressVisible);
    EXPECT_TRUE(bench.port.mainEnabled);
    EXPECT_FALSE(bench.port.busy);
    EXPECT_NE(bench.port.messages.back().text.find("3  files not attempted due to termination"), std::string::npos);
    bench.port.onPump = nullptr;
    const UndoResult rest = bench.Undo();
    EXPECT_EQ(rest.Outcome, UndoOutcome::Completed);
    EXPECT_EQ(rest.Done.Restore, 3);
    EXPECT_EQ(rest.Done.AlreadyUndone, 1);
}

TEST(Undo, ReadsLogsOfTheFirstLayoutAndLogsWithColumnsItDoesNotKnow) {
    const std::vector<std::pair<const char*, std::function<void(std::vector<std::string>&)>>> layouts = {
        {"first layout", [](std::vector<std::string>& f) { f.resize(kCsvFirstLayoutColumns); }},
        {"a later column",
         [](std::vector<std::string>& f) { f.push_back(f[0] == "StartTime" ? "Later" : "a, \"b\""); }},
    };
    for (const auto& [name, edit] : layouts) {
        Bench bench;
        bench.Run(1);
        const auto originals = Tree(bench.src);
        bench.RewriteLog(edit);
        const UndoResult result = bench.Undo();
        EXPECT_EQ(result.Outcome, UndoOutcome::Completed) << name;
        EXPECT_EQ(result.Done.Remove, 4) << name;
        EXPECT_EQ(Tree(bench.src), originals) << name;
        EXPECT_EQ(Tree(bench.out).size(), 2u) << name << ": only the log and its undo log stay";
    }
}

TEST(Undo, ANameTakenAtTheOriginalPlaceKeepsTheFileWhereItIs) {
    Bench bench;
    bench.Run(0, 1);
    const std::string renamed = bench.OutputOf(1), original = bench.SourceOf(1);
    const std::string photo = ReadAll(renamed);
    std::ofstream(original) << "a newer file";
    const UndoResult result = bench.Undo();
    EXPECT_EQ(result.Outcome, UndoOutcome::Incomplete);
    EXPECT_EQ(result.Done.Restore, 3);
    EXPECT_EQ(ReadAll(original), "a newer file");
    EXPECT_EQ(ReadAll(renamed), photo);
    EXPECT_NE(bench.port.messages.back().text.find("Row 1, " + fs::path(renamed).filename().string() +
                                                   ": A file already stands at the original name."),
              std::string::npos);
    EXPECT_NE(ReadAll(result.UndoLogPath).find(",\"Left alone\",\"A file already stands at the original name.\""),
              std::string::npos);
    const UndoResult second = bench.Undo();  // leaves everything where it is, and says why again
    EXPECT_EQ(second.Done.LeaveAlone, 1);
    EXPECT_EQ(second.Done.AlreadyUndone, 3);
    EXPECT_EQ(ReadAll(renamed), photo);
    EXPECT_NE(second.UndoLogPath.find(" undo 2.csv"), std::string::npos) << "never over the first undo log";
}

std::string Header() {
    std::string h;
    for (const auto& c : CsvLogColumns()) h += (h.empty() ? "" : ",") + c;
    return h + "\r\n";
}

// A hand-edited log naming folders through links: a link inside the log's
// folder to a folder outside it, and an original folder that is a link.
TEST(Undo, FoldersReachedThroughALinkAreLeftAlone) {
    TempDir dir;
    const std::string out = dir.Mkdir("out"), src = dir.Mkdir("src"), outside = dir.Mkdir("outside");
    const std::string precious = dir.Write("outside/precious.bin", "only copy");
    dir.Write("src/IMG_0002.JPG", "only copy");
    dir.Write("out/C.JPG", "cccc");
    dir.Write("out/D.JPG", "dddd");
    fs::create_directory_symlink("../outside", out + "/ext");
    fs::create_directory_symlink("../outside", src + "/link");
    const std::vector<std::string>& names = CsvLogColumns();
    const auto row = [&](std::map<std::string, std::string> set) {
        set.insert({{"Size", "9"}, {"Timestamped", "Yes"}, {"OutputFolder", out + "/ext"},
                    {"OutputFileName", "precious.bin"}, {"SourceFolder", src}});
        std::string line;
        for (std::size_t i = 0; i < names.size(); ++i)
            line += (i ? "," : "") + CsvQuoted(set.count(names[i]) ? set[names[i]] : "N/A");
        return line + "\r\n";
    };
    const std::string csv = dir.Write("out/Ravlen Log.csv",
        Header() + row({{"SourceFileName", "IMG_0001.JPG"}, {"Operation", "Moved"}}) +
        row({{"SourceFileName", "IMG_0002.JPG"}, {"Operation", "Copied"}}) +
        row({{"SourceFileName", "IMG_0003.JPG"}, {"Operation", "Moved"}, {"SourceFolder", src + "/link"},
             {"OutputFolder", out}, {"OutputFileName", "C.JPG"}, {"Size", "4"}}) +
        // an original folder, gone, whose folder is the link in the log's folder
        row({{"SourceFileName", "IMG_0004.JPG"}, {"Operation", "Moved"}, {"SourceFolder", out + "/ext/new"},
             {"OutputFolder", out}, {"OutputFileName", "D.JPG"}, {"Size", "4"}}));
    PosixFileSystem files;
    FakePort port;
    const UndoResult result = RunUndo(csv, files, port, true);
    EXPECT_EQ(result.Outcome, UndoOutcome::Incomplete);
    ASSERT_EQ(result.Rows.size(), 4u);
    for (int i : {0, 1})
        EXPECT_EQ(result.Rows[i].Reason.rfind("The row's OutputFolder cannot be reached from the log's folder", 0), 0u)
            << result.Rows[i].Reason;
    for (int i : {2, 3})
        EXPECT_EQ(result.Rows[i].Reason.rfind("The row's SourceFolder cannot be reached without following a link", 0),
                  0u) << result.Rows[i].Reason;
    EXPECT_EQ(ReadAll(precious), "only copy");
    EXPECT_FALSE(fs::exists(src + "/IMG_0001.JPG"));
    EXPECT_FALSE(fs::exists(outside + "/IMG_0003.JPG"));
    EXPECT_EQ(ReadAll(out + "/C.JPG"), "cccc");
    EXPECT_EQ(ReadAll(out + "/D.JPG"), "dddd");
    EXPECT_FALSE(fs::exists(outside + "/new"));
}

TEST(Undo, RowsThatDoNotMatchTheLogAreLeftAloneWithTheirReason) {
    TempDir dir;
    const std::string out = dir.Mkdir("out"), src = dir.Mkdir("src"), elsewhere = dir.Mkdir("elsewhere");
    dir.Write("out/A.JPG", "aaaa");
    dir.Write("out/B.JPG", "bbbb");
    dir.Write("elsewhere/C.JPG", "cccc");
    const std::string bTime = DateTime::FromTimeT(ModifiedOf(out + "/B.JPG").tv_sec).FormatFull();
    // A row of quoted fields: "N/A" but for the undo's columns, which say src/IMG_0001.JPG
    // was moved to out/A.JPG (4 bytes) unless `set` says otherwise.
    const std::vector<std::string>& names = CsvLogColumns();
    const auto row = [&](std::map<std::string, std::string> set = {}, std::size_t fields = 0) {
        if (fields == 0) fields = names.size();
        set.insert({{"SourceFileName", "IMG_0001.JPG"}, {"SourceFolder", src}, {"Size", "4"}, {"Timestamped", "Yes"},
                    {"Operation", "Moved"}, {"OutputFileName", "A.JPG"}, {"OutputFolder", out}});
        std::string line;
        for (std::size_t i = 0; i < fields; ++i)
            line += (i ? "," : "") + CsvQuoted(set.count(names[i]) ? set[names[i]] : "N/A");
        return line + "\r\n";
    };
    const std::vector<std::pair<std::string, std::string>> rows = {
        {row({}, 46), "The row has 46 fields instead of " + std::to_string(names.size()) + "."},
        {row({{"OutputFileName", "../out/A.JPG"}}), "The row's OutputFileName is not a plain file name."},
        {row({{"SourceFileName", ".."}}), "The row's SourceFileName is not a plain file name."},
        {row({{"SourceFileName", "IMG\0.JPG"s}}), "The row's SourceFileName is not a plain file name."},
        {row({{"SourceFolder", "src"}}), "The row's SourceFolder is not a plain absolute folder path."},
        {row({{"OutputFolder", out + "/../out"}}), "The row's OutputFolder is not a plain absolute folder path."},
        {row({{"OutputFolder", elsewhere}, {"OutputFileName", "C.JPG"}}), "The row's OutputFolder is neither the log's folder nor inside it."},
        {row({{"Size", "4x"}}), "The row's Size is not a number."},
        {row({{"Timestamped", "yes"}}), "The row's Timestamped field is neither Yes nor No."},
        {row({{"Operation", "Deleted"}}), "The row's Operation is neither Moved nor Copied."},
        {row({{"Size", "5"}}), "The renamed file has changed since the run: it holds 4 bytes, the log says 5."},
        {row({{"Timestamped", "No"}}), "The run did not move or copy this file."},
        {"\"a \"quoted\" word\"," + row({}, names.size() - 1), "The row has a double quote where the program never writes one."},
        {std::string(CsvSplitter::kMaxRecordBytes * 2, ',') + "\r\n",
         "The row is longer than any row the program writes."},
        // No run recorded it; its size and modified time are as logged.
        {row({{"SourceFileName", "IMG_0002.JPG"}, {"OutputFileName", "B.JPG"}, {"FileSystemDateModified", bTime}}), ""},
        {row().substr(0, row().find("\"A.JPG") + 3),
         "The row's last quoted field is never closed: the log seems cut short."},
    };
    std::string text = Header();
    for (const auto& r : rows) text += r.first;
    const std::string csv = dir.Write("out/Ravlen Log.csv", text);
    PosixFileSystem files;
    FakePort port;
    const UndoResult result = RunUndo(csv, files, port, true);
    EXPECT_EQ(result.Outcome, UndoOutcome::Incomplete);
    ASSERT_EQ(result.Rows.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(result.Rows[i].Reason, rows[i].second) << "row " << i + 1;
    EXPECT_EQ(ReadAll(src + "/IMG_0002.JPG"), "bbbb");
    EXPECT_EQ(Tree(out).size(), 3u) << "A.JPG, the log and its undo log";
    EXPECT_EQ(ReadAll(out + "/A.JPG"), "aaaa");
    EXPECT_EQ(ReadAll(elsewhere + "/C.JPG"), "cccc");
    EXPECT_TRUE(fs::exists(out + "/Ravlen Log undo.csv"));
    // A file whose first line is not the log's header is refused whole.
    for (const std::string& bad :
         {""s, "\r\n\r\n"s, "a,b,c\r\n"s, Header().substr(0, 100), "\xEF\xBB\xBF" + Header(), "\0\x01\""s}) {
        const std::string log = dir.Write("out/not a log.csv", bad + row({{"SourceFileName", "IMG_0003.JPG"}, {"SourceFolder", out}}));
        port.messages.clear();
        EXPECT_EQ(RunUndo(log, files, port, true).Outcome, UndoOutcome::Refused);
        EXPECT_EQ(port.Texts(), std::vector<std::string>{"The file \"" + log + "\" is not a CSV log of Ravlen: its "
                                                         "first line is not the log's header."});
        EXPECT_EQ(Tree(out).size(), 4u) << "nothing moved, no undo log";
    }
}

}  // namespace
}  // namespace ravlen

namespace ravlen {
namespace {

// A card copied twice: the second run copies nothing, and its undo leaves the
// files already there alone; the undo of the first run takes the copies back
// and the record of imports forgets them. The record starts from a damaged file.
// Without a CSV log the run's journal undoes it: the last run first, then the
// one before; a placed file replaced since (another file, same size) stays.
TEST(Undo, TheJournalUndoesRunsWithoutALogLastFirst) {
    Bench bench;
    const auto before = Tree(bench.src);
    const auto noLog = [](RunOptions& o) { o.CreateLog = CreateLog::No; };
    bench.Run(0, 2, noLog);
    bench.srcDir.Write("card/IMG_0010.JPG", "later photo");
    bench.Run(0, 2, noLog);
    ASSERT_TRUE(Tree(bench.src).empty());
    ASSERT_TRUE(bench.logs.empty());
    std::vector<JournalRun> runs = Bench::Open(bench.recordPath)->Runs(10);  // kept past the program's end
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].Moved, 1);
    EXPECT_EQ(runs[1].Moved, 4);
    EXPECT_EQ(runs[1].OutputFolder, bench.out);
    EXPECT_EQ(LastRunToUndo(*bench.record), runs[0].Id);
    EXPECT_EQ(bench.UndoRun(runs[0].Id).Outcome, UndoOutcome::Completed);
    EXPECT_EQ(Tree(bench.src), (std::map<std::string, std::string>{{"IMG_0010.JPG", "later photo"}}));
    ASSERT_EQ(LastRunToUndo(*bench.record), runs[1].Id);

    const std::vector<JournalEntry> placed = bench.record->Files(runs[1].Id);
    ASSERT_EQ(placed.size(), 4u);
    const std::string swapped = placed[0].Target, bytes = ReadAll(swapped);
    std::ofstream(swapped + ".new", std::ios::binary) << std::string(bytes.size(), '?');
    fs::rename(swapped + ".new", swapped);  // another file: made while the placed one still held its inode
    UndoResult result = bench.UndoRun(runs[1].Id);
    EXPECT_EQ(result.Outcome, UndoOutcome::Incomplete);
    EXPECT_EQ(result.Done.Restore, 3);
    EXPECT_EQ(result.Rows[0].Reason, "The file at the output name is not the one the run placed.");
    EXPECT_EQ(LastRunToUndo(*bench.record), runs[1].Id) << "not undone while a file is left";
    fs::remove(swapped);
    std::ofstream(placed[0].Source, std::ios::binary) << bytes;
    result = bench.UndoRun(runs[1].Id);
    EXPECT_EQ(result.Outcome, UndoOutcome::NothingToDo);
    auto all = before;
    all["IMG_0010.JPG"] = "later photo";
    EXPECT_EQ(Tree(bench.src), all);
    EXPECT_EQ(LastRunToUndo(*bench.record), "");
    EXPECT_EQ(bench.UndoRun("20000101-000000-00000000").Outcome, UndoOutcome::Refused);
}

// Rows of a log that no run of this computer recorded (a file planted in the
// output folder and named as placed, with its original "folder" anywhere):
// asked about, and even with Yes never undone by making a folder, nor when
// the file's modified time is not the logged one.
TEST(Undo, RowsNoRunRecordedAreAskedAboutAndNeverMakeAFolder) {
    Bench bench;
    bench.Run(0);
    const std::string elsewhere = bench.outDir.Mkdir("elsewhere"), missing = bench.outDir / "cron.d";
    const std::string planted = bench.outDir.Write("out/planted", "* * * * * root evil");
    const std::string stale = bench.outDir.Write("out/stale", "stale");
    const std::string fine = bench.outDir.Write("out/fine", "fine");
    const auto logged = [](const std::string& path) {
        return DateTime::FromTimeT(ModifiedOf(path).tv_sec).FormatFull();
    };
    // Row 1 of the run, rewritten: another output file, folder and size.
    const auto hostile = [&](const std::string& folder, const std::string& file, const std::string& modified) {
        static int job = 0;
        std::vector<std::string> f = SplitCsv(ReadAll(bench.csv)).at(1).Fields;
        const CsvHeader header(SplitCsv(ReadAll(bench.csv)).at(0).Fields);
        f[*header.Find("SourceFolder")] = folder;
        f[*header.Find("SourceFileName")] = "job" + std::to_string(++job);
        f[*header.Find("OutputFileName")] = fs::path(file).filename().string();
        f[*header.Find("Size")] = std::to_string(fs::file_size(file));
        f[*header.Find("FileSystemDateModified")] = modified;
        return f;
    };
    const std::vector<std::vector<std::string>> rows = {hostile(missing, planted, logged(planted)),
                                                        hostile(elsewhere, stale, "2001/01/01 00:00:00"),
                                                        hostile(elsewhere, fine, logged(fine))};
    std::ofstream(bench.csv, std::ios::binary | std::ios::app) << [&] {
        std::string text;
        for (const auto& f : rows) {
            for (std::size_t i = 0; i < f.size(); ++i) text += (i ? "," : "") + CsvQuoted(f[i]);
            text += "\r\n";
        }
        return text;
    }();

    // Only the row that passes every check is asked about.
    bench.port.answers = {MsgAnswer::No, MsgAnswer::Yes};
    UndoResult result = bench.Undo();
    EXPECT_EQ(result.Outcome, UndoOutcome::Incomplete);
    EXPECT_EQ(result.Done.Restore, 4);
    ASSERT_EQ(result.Rows.size(), 7u);
    EXPECT_EQ(result.Rows[4].Reason, "The original folder is gone, and no run on this computer recorded this file, "
                                     "so no folder is made for it.");
    EXPECT_EQ(result.Rows[5].Reason,
              "No run on this computer recorded this file, and its modified time is not the one the log states.");
    EXPECT_EQ(result.Rows[6].Reason, "No run on this computer recorded this file, and undoing it was declined.");
    ASSERT_FALSE(bench.port.messages.empty());
    EXPECT_EQ(bench.port.messages[0].text, UnrecordedQuestion(1));
    EXPECT_EQ(bench.port.messages[0].buttons, MsgButtons::YesNo);

    result = bench.Undo();  // answered Yes
    EXPECT_EQ(result.Done.AlreadyUndone, 4);
    EXPECT_EQ(result.Done.Restore, 1);
    EXPECT_EQ(result.Done.LeaveAlone, 2);
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_EQ(ReadAll(planted), "* * * * * root evil");
    EXPECT_EQ(ReadAll(stale), "stale");
    EXPECT_EQ(ReadAll(elsewhere + "/job3"), "fine");
}

TEST(Undo, ReimportsAreLeftAloneAndTheRecordForgetsWhatIsUndone) {
    Bench bench;
    const std::string db = bench.outDir.Write("imports.sqlite", std::string(5000, 'g'));
    const auto record = SqliteImportRecord::Open(db);
    ASSERT_TRUE(record);
    bench.imports = record.get();
    const auto photos = [&] {
        const auto tree = Tree(bench.out);
        return std::count_if(tree.begin(), tree.end(), [](const auto& file) {
            return !file.first.starts_with("Ravlen Log");
        });
    };
    bench.Run(1);
    const std::string first = bench.csv;
    ASSERT_EQ(record->WithSize(5, bench.out).size(), 2u);  // "third", "movie"
    bench.Run(1);  // completes: every file placed or already there
    ASSERT_NE(bench.csv, first);
    EXPECT_EQ(bench.Field(1, "Operation"), "Already imported");
    EXPECT_EQ(bench.Field(1, "Timestamped"), "No");
    EXPECT_TRUE(fs::exists(bench.OutputOf(1)));
    EXPECT_EQ(bench.Undo().Outcome, UndoOutcome::NothingToDo);
    EXPECT_EQ(photos(), 4) << "the undo of the second run took photos away";
    bench.csv = first;
    EXPECT_EQ(bench.Undo().Outcome, UndoOutcome::Completed);
    EXPECT_TRUE(record->WithSize(5, bench.out).empty());
}

}  // namespace
}  // namespace ravlen

namespace ravlen {
namespace {

// A record written before placements kept their times: opened read-only it
// gives its rows as they are, opened for writing it gains the column, and a
// hash kept for a path is given back with its time, before and after it is
// written. The sizes within a folder leave out a folder whose name only
// begins like it, and count notes not yet written.
TEST(ImportRecord, ARecordFromBeforeTimesGainsThemInPlace) {
    TempDir dir;
    const std::string db = dir / "imports.sqlite";
    ASSERT_TRUE(test::ExecSql(db,
                              "CREATE TABLE imported(id INTEGER PRIMARY KEY, path TEXT NOT NULL, size INTEGER NOT "
                              "NULL, hash TEXT NOT NULL, run TEXT NOT NULL);"
                              "INSERT INTO imported(path, size, hash, run) VALUES('/out/a.jpg', 5, 'h', 'r'),"
                              " ('/out2/c.jpg', 7, '', 'r'), ('/out/d/e.jpg', 9, '', 'r');"));
    ASSERT_EQ(SqliteImportRecord::OpenReadOnly(db)->WithSize(5, "/out").size(), 1u);
    EXPECT_EQ(SqliteImportRecord::OpenReadOnly(db)->Sizes("/out"), (std::vector<std::int64_t>{5, 9}));
    auto record = SqliteImportRecord::Open(db);
    ASSERT_TRUE(record);
    std::vector<ImportedFile> files = record->WithSize(5, "/out");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].Hash, "h");
    EXPECT_EQ(files[0].Modified, DateTime::FromCivilSeconds(0));
    record->KeepHash("/out/a.jpg", DateTime::FromCivilSeconds(1234), "g");
    record->Add({"/out/b.jpg", 5, "", DateTime::FromCivilSeconds(99)}, "r2");
    files = record->WithSize(5, "/out");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].Hash, "g");
    EXPECT_EQ(files[0].Modified, DateTime::FromCivilSeconds(1234));
    EXPECT_EQ(files[1].Modified, DateTime::FromCivilSeconds(99));
    record->Add({"/out/f.jpg", 11, "", DateTime::FromCivilSeconds(99)}, "r2");
    auto sizes = record->Sizes("/out/");
    ASSERT_TRUE(sizes);
    std::sort(sizes->begin(), sizes->end());
    EXPECT_EQ(sizes, (std::vector<std::int64_t>{5, 5, 9, 11}));
    record.reset();  // writes what waits
    files = SqliteImportRecord::OpenReadOnly(db)->WithSize(5, "/out");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].Hash, "g");
    EXPECT_EQ(files[0].Modified, DateTime::FromCivilSeconds(1234));
}

}  // namespace
}  // namespace ravlen

namespace ravlen {
namespace {

// A record damaged past its schema opens without its pages all being read
// (they are, by each run, only as its look-ups need them); a look-up that
// meets the damage finds nothing, and the record is made anew once closed.
TEST(ImportRecord, ARecordDamagedPastItsSchemaIsMadeAnewOnceALookUpMeetsTheDamage) {
    TempDir dir;
    const std::string db = dir / "imports.sqlite";
    {
        const auto record = SqliteImportRecord::Open(db);
        ASSERT_TRUE(record);
        for (int i = 0; i < 2000; ++i)
            record->Add({"/out/" + std::to_string(i) + ".jpg", 5, "", DateTime::FromCivilSeconds(99)}, "r");
    }
    ASSERT_EQ(SqliteImportRecord::Open(db)->WithSize(5, "/out").size(), 2000u);
    // The pages in the database file, as a checkpoint leaves them (a run
    // leaves its commits in the write-ahead log).
    ASSERT_TRUE(test::ExecSql(db, "PRAGMA wal_checkpoint(TRUNCATE)"));
    {
        // Every page but the first (the header and the schema) overwritten.
        std::fstream file(db, std::ios::in | std::ios::out | std::ios::binary);
        file.seekg(0, std::ios::end);
        const std::streamoff size = file.tellg();
        ASSERT_GT(size, 3 * 4096);
        file.seekp(4096);
        file << std::string(static_cast<std::size_t>(size - 4096), 'x');
    }
    auto record = SqliteImportRecord::Open(db);
    ASSERT_TRUE(record);
    EXPECT_TRUE(record->WithSize(5, "/out").empty());
    record.reset();
    record = SqliteImportRecord::Open(db);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->Sizes("/out"), std::vector<std::int64_t>{});
    record->Add({"/out/a.jpg", 5, "", DateTime::FromCivilSeconds(99)}, "r");
    record.reset();
    EXPECT_EQ(SqliteImportRecord::OpenReadOnly(db)->WithSize(5, "/out").size(), 1u);
}

// Notes that cannot be written (the record's disk full) are said and kept
// waiting, never dropped: written once the disk takes them.
TEST(ImportRecord, NotesThatCannotBeWrittenAreSaidAndKept) {
    TempDir dir;
    const std::string data = dir.Mkdir("data"), db = data + "/imports.sqlite";
    const test::TmpfsMount disk(data, "1m");
    if (!disk.Mounted()) GTEST_SKIP() << "cannot mount here";
    const auto record = SqliteImportRecord::Open(db);
    ASSERT_TRUE(record);
    ASSERT_TRUE(record->Flush());
    for (int i = 0; i < 3; ++i) record->Add({"/out/" + std::to_string(i) + ".jpg", 5, "", DateTime::FromCivilSeconds(99)}, "r");
    {
        std::ofstream fill(data + "/fill", std::ios::binary);
        const std::string block(4096, 'x');
        while (fill.write(block.data(), static_cast<std::streamsize>(block.size()))) {}
    }
    const FsStatus refused = record->Flush();
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.error.rfind("The record of imports could not be written: ", 0), 0u) << refused.error;
    EXPECT_EQ(record->WithSize(5, "/out").size(), 3u);
    fs::remove(data + "/fill");
    EXPECT_TRUE(record->Flush());
    EXPECT_EQ(SqliteImportRecord::OpenReadOnly(db)->WithSize(5, "/out").size(), 3u);
}

}  // namespace
}  // namespace ravlen
