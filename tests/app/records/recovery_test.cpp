#include "app/records/recovery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/records/intent_store.h"
#include "app/run/run_driver.h"
#include "app/undo/undo.h"
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

// Plans as a killed run left them; Done strikes them out.
struct LeftPlans : IntentRecord {
    std::vector<PlannedPlacement> plans;
    FsStatus Plan(PlannedPlacement& plan) override {
        plan.Id = static_cast<std::int64_t>(plans.size()) + 1;
        plans.push_back(plan);
        return FsStatus::Ok();
    }
    void Done(std::int64_t id) override { std::erase_if(plans, [id](const auto& p) { return p.Id == id; }); }
    std::vector<PlannedPlacement> Abandoned() override { return plans; }
};

// The original wins: a copy beside its intact source goes (whole, cut short,
// or an unfinished final-name copy whatever its bytes), a move whose source is
// gone is put back, someone else's file stays, a card taken out waits, and the
// killed run's hidden temporaries go.
TEST(Recovery, SettlesEachPlanSoEveryOriginalExistsOnce) {
    TempDir dir;
    PosixFileSystem fs;
    const std::string card = dir.Mkdir("card"), out = dir.Mkdir("out");
    LeftPlans record;
    const auto plan = [&](const std::string& name, bool moves, bool finalName) {
        PlannedPlacement p{0, card + "/" + name, out + "/new_" + name, moves, finalName, 4242};
        record.Plan(p);
    };
    dir.Write("card/whole.jpg", "abcdef");
    dir.Write("out/new_whole.jpg", "abcdef");
    dir.Write("card/short.jpg", "abcdef");
    dir.Write("out/new_short.jpg", "abc");
    dir.Write("card/torn.jpg", "abcdef");
    dir.Write("out/new_torn.jpg", std::string("\0\0x", 3));
    dir.Write("card/other.jpg", "abcdef");
    dir.Write("out/new_other.jpg", "zzz");
    dir.Write("out/new_moved.jpg", "moved");
    dir.Write("out/.ravlen-partial-4242-7", "abc");
    dir.Write("out/.ravlen-partial-77-1", "not ours");
    plan("whole.jpg", false, false);
    plan("short.jpg", true, false);
    plan("torn.jpg", false, true);
    plan("other.jpg", false, false);
    plan("moved.jpg", true, false);
    // The killed run had set the moved file's time: it goes back as it was.
    const FileTime before{1234567890, 123456789};
    record.plans.back().OriginalModifiedTime = before;
    ASSERT_TRUE(fs.SetModifiedTime(out + "/new_moved.jpg", {1600000000, 0}));
    PlannedPlacement away{0, dir / "gone-card/x.jpg", out + "/new_x.jpg", true, false, 4242};
    record.Plan(away);

    const std::string text = RecoverAbandonedPlacements(record, fs);
    EXPECT_NE(text.find("1 moved files returned"), std::string::npos) << text;
    EXPECT_NE(text.find("4 unfinished or duplicate copies removed"), std::string::npos) << text;
    EXPECT_NE(text.find("new_other.jpg (it is not a copy of"), std::string::npos) << text;
    EXPECT_NE(text.find("Kept for a later run"), std::string::npos) << text;
    for (const char* gone : {"new_whole.jpg", "new_short.jpg", "new_torn.jpg", "new_moved.jpg", ".ravlen-partial-4242-7"})
        EXPECT_FALSE(fs::exists(out + "/" + gone)) << gone;
    EXPECT_EQ(ReadAll(out + "/new_other.jpg"), "zzz");
    EXPECT_TRUE(fs::exists(out + "/.ravlen-partial-77-1"));
    EXPECT_EQ(ReadAll(card + "/moved.jpg"), "moved");
    EXPECT_EQ(fs.ModifiedTime(card + "/moved.jpg"), before);
    for (const char* kept : {"whole.jpg", "short.jpg", "torn.jpg", "other.jpg"})
        EXPECT_EQ(ReadAll(card + "/" + kept), "abcdef") << kept;
    ASSERT_EQ(record.plans.size(), 1u) << "only the unreachable card's plan waits";
    EXPECT_EQ(record.plans[0].Source, away.Source);
}

// A backup copy's plan is settled after its file's: a move put back makes
// the backup copy beside it a spare one, which goes like any unlogged copy;
// one whose original is gone with no move to put back stays.
TEST(Recovery, SettlesABackupCopyAfterItsFile) {
    TempDir dir;
    PosixFileSystem fs;
    const std::string card = dir.Mkdir("card"), out = dir.Mkdir("out"), backup = dir.Mkdir("backup");
    LeftPlans record;
    const auto plan = [&](const std::string& name, bool moves) {
        PlannedPlacement file{0, card + "/" + name, out + "/new_" + name, moves, false, 4242};
        record.Plan(file);
        PlannedPlacement copy{0, card + "/" + name, backup + "/new_" + name, false, false, 4242};
        copy.BackupOf = file.Target;
        record.Plan(copy);
    };
    dir.Write("out/new_moved.jpg", "moved");
    dir.Write("backup/new_moved.jpg", "moved");
    dir.Write("card/copied.jpg", "copied");
    dir.Write("out/new_copied.jpg", "copied");
    dir.Write("backup/new_copied.jpg", "copied");
    dir.Write("backup/new_lost.jpg", "lost");
    plan("moved.jpg", true);
    plan("copied.jpg", false);
    plan("lost.jpg", false);
    const std::string text = RecoverAbandonedPlacements(record, fs);
    EXPECT_NE(text.find("1 moved files returned"), std::string::npos) << text;
    EXPECT_NE(text.find("3 unfinished or duplicate copies removed"), std::string::npos) << text;
    EXPECT_EQ(Tree(card), (std::map<std::string, std::string>{{"copied.jpg", "copied"}, {"moved.jpg", "moved"}}));
    EXPECT_TRUE(Tree(out).empty());
    EXPECT_EQ(Tree(backup), (std::map<std::string, std::string>{{"new_lost.jpg", "lost"}}));
    EXPECT_TRUE(record.plans.empty());
}

// An undo's plans (the file going back from the output folder to the card):
// a complete copy back of the same bytes finishes the file's undo, one cut
// short or unfinished goes, a file not begun or done is left as it is, and a
// card not attached waits.
TEST(Recovery, SettlesAnUndoKilledWhileCopyingBack) {
    TempDir dir;
    PosixFileSystem fs;
    const std::string card = dir.Mkdir("card"), out = dir.Mkdir("out");
    LeftPlans record;
    const auto plan = [&](const std::string& name, bool finalName) {
        PlannedPlacement p{0, out + "/new_" + name, card + "/" + name, true, finalName, 4242};
        p.Undoes = true;
        record.Plan(p);
    };
    for (const char* name : {"whole.jpg", "short.jpg", "torn.jpg", "other.jpg", "begun.jpg"})
        dir.Write("out/new_" + std::string(name), "abcdef");
    dir.Write("card/whole.jpg", "abcdef");
    dir.Write("card/short.jpg", "abc");
    dir.Write("card/torn.jpg", std::string("\0\0x", 3));
    dir.Write("card/other.jpg", "abcdeF");
    dir.Write("card/done.jpg", "done");
    for (const char* name : {"whole.jpg", "short.jpg", "other.jpg", "begun.jpg", "done.jpg"}) plan(name, false);
    plan("torn.jpg", true);
    record.plans[4].OriginalModifiedTime = FileTime{1000000000, 5};  // done.jpg: back, its time not yet
    PlannedPlacement away{0, out + "/new_x.jpg", dir / "gone-card/DCIM/x.jpg", true, false, 4242};
    away.Undoes = true;
    dir.Write("out/new_x.jpg", "x");
    record.Plan(away);

    const std::string text = RecoverAbandonedPlacements(record, fs);
    EXPECT_NE(text.find("1 files an undo had copied back left at their original names"), std::string::npos) << text;
    EXPECT_NE(text.find("2 unfinished or duplicate copies removed"), std::string::npos) << text;
    EXPECT_NE(text.find("other.jpg (it is not a copy of"), std::string::npos) << text;
    EXPECT_NE(text.find("or the undo again"), std::string::npos) << text;
    EXPECT_EQ(ReadAll(card + "/whole.jpg"), "abcdef");
    EXPECT_FALSE(fs::exists(out + "/new_whole.jpg"));
    for (const char* gone : {"short.jpg", "torn.jpg", "begun.jpg"}) {
        EXPECT_FALSE(fs::exists(card + "/" + gone)) << gone;
        EXPECT_EQ(ReadAll(out + "/new_" + std::string(gone)), "abcdef") << gone;
    }
    EXPECT_EQ(ReadAll(card + "/other.jpg"), "abcdeF");
    EXPECT_EQ(ReadAll(out + "/new_other.jpg"), "abcdef");
    EXPECT_EQ(ReadAll(card + "/done.jpg"), "done");
    EXPECT_EQ(fs.ModifiedTime(card + "/done.jpg"), (FileTime{1000000000, 5}));
    ASSERT_EQ(record.plans.size(), 1u) << "only the unreachable card's plan waits";
    EXPECT_EQ(record.plans[0].Target, away.Target);
}

// Runs killed after they logged their files: those its log records stay placed
// (a copy only while it holds its source's bytes), the rest are put back, and
// the undo of each log then finds every file as it says or already undone.
TEST(Recovery, KeepsWhatTheKilledRunLoggedAndTheUndoAgrees) {
    TempDir dir;
    PosixFileSystem files;
    FakePort port;
    const std::string out = dir.Mkdir("out");
    const auto run = [&](const std::string& card, MoveOrCopy how) {
        RunOptions o{.SourcePath = dir / card, .OutputPath = out, .MoveOrCopy = how,
                     .DateMode = DateMode::FileSystemOnly, .AutoDetect = false, .RequestConfirmation = false,
                     .SummarizeResults = false, .CreateLog = CreateLog::Csv};
        ASSERT_EQ(RunDriver(RunServices{files, port, {}, {}, ProgramFacts{}}).Go(o), RunOutcome::Completed);
    };
    for (const char* name : {"IMG_0001", "IMG_0002", "IMG_0003"}) dir.Write("copied/"s + name + ".JPG", name);
    for (const char* name : {"IMG_0004", "IMG_0005"}) dir.Write("moved/"s + name + ".JPG", name);
    const auto before = std::make_pair(Tree(dir / "copied"), Tree(dir / "moved"));
    run("copied", MoveOrCopy::Copy);
    run("moved", MoveOrCopy::Move);
    std::vector<std::string> logs;
    for (const auto& e : fs::directory_iterator(out))
        if (e.path().extension() == ".csv") logs.push_back(e.path().string());
    ASSERT_EQ(logs.size(), 2u);
    LeftPlans record;
    for (const std::string& log : logs) {
        UndoPlan read;
        std::string error;
        ASSERT_TRUE(ReadRunLog(log, files, read, error)) << error;
        for (const UndoRow& row : read.Rows) {
            PlannedPlacement p{0, JoinPath(row.SourceFolder, row.SourceFileName),
                               JoinPath(row.OutputFolder, row.OutputFileName), row.Operation == FileOperation::Moved};
            // 2 and 5 as an older record left them, without their log; 3's
            // copy, under its final name, was torn after all.
            if (row.SourceFileName != "IMG_0002.JPG" && row.SourceFileName != "IMG_0005.JPG") p.Log = log;
            p.FinalNameCopy = row.SourceFileName == "IMG_0003.JPG";
            if (p.FinalNameCopy) dir.Write(fs::relative(p.Target, dir.path()).string(), "IMG_000X");
            record.Plan(p);
        }
    }
    const std::string text = RecoverAbandonedPlacements(record, files);
    EXPECT_NE(text.find("2 files its log records as placed kept"), std::string::npos) << text;
    EXPECT_NE(text.find("1 moved files returned"), std::string::npos) << text;
    EXPECT_NE(text.find("2 unfinished or duplicate copies removed"), std::string::npos) << text;
    EXPECT_EQ(Tree(out).size(), 4u) << "A's copy, D and the two logs";
    for (const std::string& log : logs) {
        port.messages.clear();
        EXPECT_EQ(RunUndo(log, files, port, false).Outcome, UndoOutcome::Completed) << port.Texts().back();
    }
    EXPECT_EQ(std::make_pair(Tree(dir / "copied"), Tree(dir / "moved")), before);
    EXPECT_EQ(Tree(out).size(), 4u) << "the logs and the undo logs";
}

// The record outlives the program's versions and a torn file: an old table
// gains its columns (old plans moved files), a damaged one is set aside.
TEST(IntentStore, UpgradesAnOldRecordAndRebuildsADamagedOne) {
    TempDir dir;
    const std::string path = dir / "data/placements.sqlite";
    fs::create_directories(dir / "data");
    ASSERT_TRUE(test::ExecSql(path,
                              "CREATE TABLE placement(id INTEGER PRIMARY KEY, pid INTEGER NOT NULL, started INTEGER "
                              "NOT NULL, source TEXT NOT NULL, target TEXT NOT NULL);"
                              "INSERT INTO placement VALUES(1, 999999999, 0, '/a', '/b');"));
    std::string error;
    {
        const auto record = SqliteIntentRecord::Open(path, error);
        ASSERT_TRUE(record) << error;
        const auto plans = record->Abandoned();
        ASSERT_EQ(plans.size(), 1u);
        EXPECT_TRUE(plans[0].Moves);
        EXPECT_FALSE(plans[0].FinalNameCopy);
        EXPECT_FALSE(plans[0].Undoes);
        EXPECT_TRUE(record->Notice().empty());
        PlannedPlacement copy{0, "/c", "/d", false, true};
        copy.OriginalModifiedTime = FileTime{-5, 7};
        copy.Undoes = true;
        record->SetRunLog("/out/log.csv");
        ASSERT_TRUE(record->Plan(copy));
        EXPECT_GT(copy.Process, 0);
    }
    // Seen as another, ended run's plan: the time comes back to the nanosecond.
    ASSERT_TRUE(test::ExecSql(path, "UPDATE placement SET pid = 999999999, started = 0"));
    {
        const auto record = SqliteIntentRecord::Open(path, error);
        ASSERT_TRUE(record) << error;
        const auto plans = record->Abandoned();
        ASSERT_EQ(plans.size(), 2u);
        EXPECT_FALSE(plans[0].OriginalModifiedTime);
        EXPECT_EQ(plans[1].OriginalModifiedTime, (FileTime{-5, 7}));
        EXPECT_TRUE(plans[1].Undoes && plans[1].FinalNameCopy && !plans[1].Moves);
        EXPECT_EQ(plans[0].Log, "");
        EXPECT_EQ(plans[1].Log, "/out/log.csv");
    }

    dir.Write("data/placements.sqlite", std::string(8192, 'x'));
    fs::remove(path + "-wal");
    const auto rebuilt = SqliteIntentRecord::Open(path, error);
    ASSERT_TRUE(rebuilt) << error;
    EXPECT_NE(rebuilt->Notice().find("damaged"), std::string::npos);
    EXPECT_TRUE(fs::exists(path + ".damaged"));
    EXPECT_TRUE(rebuilt->Abandoned().empty());
}

// A record on a full disk or a mount that turned read-only is refused when
// it is opened, not at the first plan, before recovery or any file could rely on it.
TEST(IntentStore, ARecordThatCannotBeWrittenIsRefusedWhenOpened) {
    TempDir dir;
    const std::string data = dir.Mkdir("data"), path = data + "/placements.sqlite";
    const test::TmpfsMount disk(data, "256k");
    if (!disk.Mounted()) GTEST_SKIP() << "cannot mount here";
    std::string error;
    ASSERT_TRUE(SqliteIntentRecord::Open(path, error)) << error;
    // A full disk: the record opens and reads, but takes no plan.
    {
        std::ofstream fill(data + "/fill", std::ios::binary);
        const std::string block(4096, 'x');
        while (fill.write(block.data(), static_cast<std::streamsize>(block.size()))) {}
    }
    EXPECT_FALSE(SqliteIntentRecord::Open(path, error));
    EXPECT_NE(error, "");
    fs::remove(data + "/fill");
    error.clear();
    ASSERT_TRUE(disk.MakeReadOnly());
    error.clear();
    EXPECT_FALSE(SqliteIntentRecord::Open(path, error));
    EXPECT_NE(error, "");
}

// A plan struck out later goes with the next plan's commit, or when the pass
// settles, or when the record is closed: never a plan still wanted.
TEST(IntentStore, StrikesOutLaterPlansWithTheNextOneOrAtTheEnd) {
    TempDir dir;
    const std::string path = dir / "placements.sqlite";
    const auto left = [&] { return test::QuerySql(path, "SELECT group_concat(target) FROM placement"); };
    std::string error;
    {
        const auto record = SqliteIntentRecord::Open(path, error);
        ASSERT_TRUE(record) << error;
        PlannedPlacement a{0, "/card/a", "/out/a"}, b{0, "/card/b", "/out/b"}, c{0, "/card/c", "/out/c"};
        ASSERT_TRUE(record->Plan(a));
        record->DoneLater(a.Id);
        EXPECT_EQ(left(), "/out/a");
        ASSERT_TRUE(record->Plan(b));
        EXPECT_EQ(left(), "/out/b");
        record->DoneLater(b.Id);
        record->Settle();
        EXPECT_EQ(left(), "");
        ASSERT_TRUE(record->Plan(c));
        record->DoneLater(c.Id);

        // A batch's plans are written all together or not at all, with or
        // without a plan left to strike out, which then waits for the next commit.
        test::ExecSql(path, "CREATE TRIGGER refuse BEFORE INSERT ON placement WHEN NEW.target = '/out/bad'"
                            " BEGIN SELECT RAISE(ABORT, 'refused'); END");
        std::vector<PlannedPlacement> batch{{0, "/card/d", "/out/d"}, {0, "/card/bad", "/out/bad"}};
        EXPECT_FALSE(record->PlanAll(batch, true));
        EXPECT_EQ(batch[0].Id, 0);
        EXPECT_EQ(left(), "/out/c");
        record->Settle();
        EXPECT_FALSE(record->PlanAll(batch, true));
        EXPECT_EQ(left(), "");
    }
    EXPECT_EQ(left(), "");
}

// The log stays when the record closes (no disk flush at a run's end), but a
// log grown large is folded in: the next opening reads all of a kept log.
TEST(IntentStore, KeepsASmallLogAndFoldsInALargeOneWhenClosed) {
    TempDir dir;
    const std::string path = dir / "placements.sqlite";
    const auto logSize = [&] {
        std::error_code error;
        const auto size = fs::file_size(path + "-wal", error);
        return error ? 0 : static_cast<long long>(size);
    };
    std::string error;
    const std::string long_name = "/card/" + std::string(200, 'd') + "/";
    int planned = 0;
    const auto plan = [&](SqliteIntentRecord& record) {
        PlannedPlacement p{0, long_name + std::to_string(planned), "/out/" + std::to_string(planned)};
        ++planned;
        return static_cast<bool>(record.Plan(p));
    };
    {
        const auto record = SqliteIntentRecord::Open(path, error);
        ASSERT_TRUE(record) << error;
        ASSERT_TRUE(plan(*record));
    }
    EXPECT_GT(logSize(), 0);
    {
        const auto record = SqliteIntentRecord::Open(path, error);
        ASSERT_TRUE(record) << error;
        // A commit a plan, as a long run's files make them.
        while (logSize() <= 5LL * 1024 * 1024 && planned < 100000) ASSERT_TRUE(plan(*record));
    }
    EXPECT_EQ(logSize(), 0);
    EXPECT_EQ(test::QuerySql(path, "SELECT count(*) FROM placement"), std::to_string(planned));
}

// A placed file's journal entry is written in the transaction that strikes
// out its plan, so a kill leaves it in one or the other; old journals go.
TEST(IntentStore, JournalsGoWithTheStrikeOutsAndArePrunedWhenOld) {
    TempDir dir;
    const std::string path = dir / "placements.sqlite";
    const auto journal = [&] { return test::QuerySql(path, "SELECT group_concat(target) FROM run_file"); };
    const auto plans = [&] { return test::QuerySql(path, "SELECT group_concat(target) FROM placement"); };
    std::string error;
    const auto record = SqliteIntentRecord::Open(path, error);
    ASSERT_TRUE(record) << error;
    const std::string old = record->BeginRun("/card", "/out");
    PlannedPlacement a{0, "/card/a", "/out/a"}, b{0, "/card/b", "/out/b"};
    ASSERT_TRUE(record->Plan(a));
    JournalEntry placed;
    placed.Source = a.Source;
    placed.Target = a.Target;
    record->Placed(placed);
    record->DoneLater(a.Id);
    EXPECT_EQ(journal(), "");
    EXPECT_EQ(plans(), "/out/a");
    ASSERT_TRUE(record->Plan(b));
    EXPECT_EQ(journal(), "/out/a");
    EXPECT_EQ(plans(), "/out/b");
    ASSERT_TRUE(record->EndRun());

    const std::string kept = record->BeginRun("/card", "/out");
    placed.Target = "/out/c";
    record->Placed(placed);
    ASSERT_TRUE(record->EndRun());
    ASSERT_EQ(record->Runs(10).size(), 2u);
    const std::string sql = "UPDATE run SET started = started - " +
                            std::to_string((SqliteIntentRecord::kJournalDays + 1) * 24 * 3600) + " WHERE id = '" +
                            old + "'";
    ASSERT_TRUE(test::ExecSql(path, sql.c_str()));
    record->BeginRun("/card", "/out");
    const std::vector<JournalRun> runs = record->Runs(10);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].Id, kept);
    EXPECT_EQ(journal(), "/out/c");
}

}  // namespace
}  // namespace ravlen
