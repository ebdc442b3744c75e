// The runs' journals, in the record of intent's database (intent_store.h).

#include <sqlite3.h>

#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <string_view>

#include "app/records/intent_store.h"
#include "app/records/sqlite_statement.h"
#include "log/run_logs.h"

namespace ravlen {

const char* SqliteIntentRecord::JournalSchema() {
    // No index on run_file: each placed file's commit would write its page
    // too, and a look-up scans the journals of 90 days in milliseconds.
    return "CREATE TABLE IF NOT EXISTS run("
           " id TEXT PRIMARY KEY, started INTEGER NOT NULL, source TEXT NOT NULL, output TEXT NOT NULL,"
           " log TEXT NOT NULL DEFAULT '', finished INTEGER, undone INTEGER NOT NULL DEFAULT 0);"
           "CREATE TABLE IF NOT EXISTS run_file("
           " run TEXT NOT NULL, source TEXT NOT NULL, target TEXT NOT NULL, operation TEXT NOT NULL,"
           " device INTEGER NOT NULL, inode INTEGER NOT NULL, size INTEGER NOT NULL, modified INTEGER NOT NULL,"
           " original_mtime TEXT, backups TEXT, backup_ids TEXT);";
}

namespace {

FsStatus JournalFailure(sqlite3* db) {
    return FsStatus::Fail(std::string("The journal of the run could not be written: ") + sqlite3_errmsg(db));
}

// "yyyymmdd-hhnnss-" and eight hex digits: sorted by time, and never the id
// of another run, here or on another computer.
// The backup copies of an entry: their paths one a line (a backup folder's
// name may hold a ";"), and their identities one a line in the same order,
// "device inode size modified".
std::string BackupPathsText(const std::vector<JournalBackup>& backups) {
    std::string text;
    for (const JournalBackup& backup : backups) text += (text.empty() ? "" : "\n") + backup.Path;
    return text;
}

std::string BackupIdsText(const std::vector<JournalBackup>& backups) {
    std::string text;
    for (const JournalBackup& backup : backups)
        text += (text.empty() ? "" : "\n") + std::to_string(backup.Id.Device) + " " + std::to_string(backup.Id.Inode) +
                " " + std::to_string(backup.Size) + " " + std::to_string(backup.Modified.CivilSeconds());
    return text;
}

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    return lines;
}

// A copy's identity as BackupIdsText wrote it; unknown when it does not read so.
void ReadBackupId(std::string_view line, JournalBackup& backup) {
    std::uint64_t device = 0, inode = 0;
    long long size = 0, modified = 0;
    const std::string text(line);
    if (std::sscanf(text.c_str(), "%" SCNu64 " %" SCNu64 " %lld %lld", &device, &inode, &size, &modified) != 4) return;
    backup.Id = {device, inode};
    backup.Size = size;
    backup.Modified = DateTime::FromCivilSeconds(modified);
}

std::string NewRunId(std::time_t now) {
    std::random_device random;
    char tail[9];
    std::snprintf(tail, sizeof tail, "%08x", static_cast<unsigned>(random()));
    return DateTime::FromTimeT(now).Format("yyyymmdd-hhnnss-") + tail;
}

}  // namespace

std::string SqliteIntentRecord::BeginRun(const std::string& sourceFolder, const std::string& outputFolder) {
    Settle();
    const std::time_t now = std::time(nullptr);
    runId_ = NewRunId(now);
    runSource_ = sourceFolder;
    runOutput_ = outputFolder;
    runLog_.clear();
    runStarted_ = static_cast<std::int64_t>(now);
    runWritten_ = false;
    journal_.clear();
    // Old journals go, in one transaction: a kill leaves no run without its files.
    sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    for (const char* sql : {"DELETE FROM run_file WHERE run IN (SELECT id FROM run WHERE started < ?)",
                            "DELETE FROM run WHERE started < ?"}) {
        Statement prune(db_, sql);
        sqlite3_bind_int64(prune.stmt, 1, runStarted_ - kJournalDays * 24 * 3600);
        sqlite3_step(prune.stmt);
    }
    if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return runId_;
}

FsStatus SqliteIntentRecord::WriteJournal() {
    if (journal_.empty() || runId_.empty()) return FsStatus::Ok();
    if (!runWritten_) {
        Statement run(db_, "INSERT OR IGNORE INTO run(id, started, source, output, log) VALUES(?, ?, ?, ?, ?)");
        BindText(run.stmt, 1, runId_);
        sqlite3_bind_int64(run.stmt, 2, runStarted_);
        BindText(run.stmt, 3, runSource_);
        BindText(run.stmt, 4, runOutput_);
        BindText(run.stmt, 5, runLog_);
        if (sqlite3_step(run.stmt) != SQLITE_DONE) return JournalFailure(db_);
        runWritten_ = true;
    }
    if (!journalInsert_)
        journalInsert_ = std::make_unique<Statement>(
            db_, "INSERT INTO run_file(run, source, target, operation, device, inode, size, modified, original_mtime,"
                 " backups, backup_ids) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    sqlite3_stmt* insert = journalInsert_->stmt;
    for (const JournalEntry& entry : journal_) {
        sqlite3_reset(insert);
        sqlite3_clear_bindings(insert);
        BindText(insert, 1, runId_);
        BindText(insert, 2, entry.Source);
        BindText(insert, 3, entry.Target);
        BindText(insert, 4, std::string(OperationText(entry.Operation)));
        sqlite3_bind_int64(insert, 5, static_cast<std::int64_t>(entry.Id.Device));
        sqlite3_bind_int64(insert, 6, static_cast<std::int64_t>(entry.Id.Inode));
        sqlite3_bind_int64(insert, 7, entry.Size);
        sqlite3_bind_int64(insert, 8, entry.Modified.CivilSeconds());
        if (entry.OriginalModifiedTime) BindText(insert, 9, entry.OriginalModifiedTime->Text());
        if (!entry.Backups.empty()) {
            BindText(insert, 10, BackupPathsText(entry.Backups));
            BindText(insert, 11, BackupIdsText(entry.Backups));
        }
        const int rc = sqlite3_step(insert);
        sqlite3_reset(insert);
        if (rc != SQLITE_DONE) return JournalFailure(db_);
    }
    return FsStatus::Ok();
}

FsStatus SqliteIntentRecord::EndRun() {
    if (runId_.empty()) return FsStatus::Ok();
    FsStatus status = FsStatus::Ok();
    {
        // The run's last entries and its end reach the disk together; the
        // earlier ones reach it with them if no batch's flush took them already.
        const bool any = runWritten_ || !journal_.empty();
        if (any && sqlite3_get_autocommit(db_) != 0)
            sqlite3_exec(db_, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
        status = WithLater(
            [&] {
                if (!runWritten_) return FsStatus::Ok();
                Statement end(db_, "UPDATE run SET finished = ? WHERE id = ?");
                sqlite3_bind_int64(end.stmt, 1, static_cast<std::int64_t>(std::time(nullptr)));
                BindText(end.stmt, 2, runId_);
                return sqlite3_step(end.stmt) == SQLITE_DONE ? FsStatus::Ok() : JournalFailure(db_);
            },
            true);
        if (any) sqlite3_exec(db_, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    }
    runId_.clear();
    runWritten_ = false;
    return status;
}

namespace {

constexpr const char* kRunColumns =
    "SELECT r.id, r.started, r.source, r.output, r.log, r.undone,"
    " SUM(f.operation = 'Moved'), SUM(f.operation = 'Copied'), SUM(f.operation = 'Already imported')"
    " FROM run r JOIN run_file f ON f.run = r.id";

JournalRun RunOf(sqlite3_stmt* s) {
    JournalRun run;
    run.Id = Column(s, 0);
    run.Started = DateTime::FromTimeT(static_cast<std::time_t>(sqlite3_column_int64(s, 1)));
    run.SourceFolder = Column(s, 2);
    run.OutputFolder = Column(s, 3);
    run.CsvLog = Column(s, 4);
    run.Undone = sqlite3_column_int(s, 5) != 0;
    run.Moved = sqlite3_column_int(s, 6);
    run.Copied = sqlite3_column_int(s, 7);
    run.CaughtUp = sqlite3_column_int(s, 8);
    return run;
}

}  // namespace

std::vector<JournalRun> SqliteIntentRecord::Runs(int limit) {
    Settle();
    std::vector<JournalRun> runs;
    Statement select(db_, (std::string(kRunColumns) + " GROUP BY r.id ORDER BY r.started DESC, r.rowid DESC LIMIT ?")
                              .c_str());
    sqlite3_bind_int(select.stmt, 1, limit);
    while (sqlite3_step(select.stmt) == SQLITE_ROW) runs.push_back(RunOf(select.stmt));
    return runs;
}

std::optional<JournalRun> SqliteIntentRecord::Run(const std::string& id) {
    Settle();
    Statement select(db_, (std::string(kRunColumns) + " WHERE r.id = ? GROUP BY r.id").c_str());
    BindText(select.stmt, 1, id);
    if (sqlite3_step(select.stmt) != SQLITE_ROW) return std::nullopt;
    return RunOf(select.stmt);
}

std::vector<JournalEntry> SqliteIntentRecord::Files(const std::string& id) {
    Settle();
    std::vector<JournalEntry> files;
    Statement select(db_, "SELECT source, target, operation, device, inode, size, modified, original_mtime, backups,"
                          " backup_ids FROM run_file WHERE run = ? ORDER BY rowid");
    BindText(select.stmt, 1, id);
    while (sqlite3_step(select.stmt) == SQLITE_ROW) {
        JournalEntry entry;
        entry.Source = Column(select.stmt, 0);
        entry.Target = Column(select.stmt, 1);
        entry.Operation = OperationFromText(Column(select.stmt, 2)).value_or(FileOperation::None);
        entry.Id = {static_cast<std::uint64_t>(sqlite3_column_int64(select.stmt, 3)),
                    static_cast<std::uint64_t>(sqlite3_column_int64(select.stmt, 4))};
        entry.Size = sqlite3_column_int64(select.stmt, 5);
        entry.Modified = DateTime::FromCivilSeconds(sqlite3_column_int64(select.stmt, 6));
        entry.OriginalModifiedTime = FileTime::Parse(Column(select.stmt, 7));
        const std::string paths = Column(select.stmt, 8), ids = Column(select.stmt, 9);
        const std::vector<std::string_view> idLines = Lines(ids);
        for (const std::string_view path : Lines(paths)) {
            JournalBackup& backup = entry.Backups.emplace_back(JournalBackup{std::string(path), {}, 0, {}});
            if (idLines.size() > entry.Backups.size() - 1) ReadBackupId(idLines[entry.Backups.size() - 1], backup);
        }
        files.push_back(std::move(entry));
    }
    return files;
}

void SqliteIntentRecord::MarkUndone(const std::string& id) {
    Statement mark(db_, "UPDATE run SET undone = 1 WHERE id = ?");
    BindText(mark.stmt, 1, id);
    sqlite3_step(mark.stmt);
}

}  // namespace ravlen
