#include "app/records/intent_store.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "app/records/sqlite_statement.h"

namespace ravlen {
namespace {

constexpr const char* kSchema =
    // Every commit outlives a kill of the program (it is in the system's
    // hands once written). Flushing each to the disk as well would cost a
    // same-disk rename two disk flushes; only the plans that must outlive a
    // power cut are flushed (see Durable). Each file's plan and strike-out
    // fill a few pages of the journal, and every checkpoint costs two disk
    // flushes: a larger journal than SQLite's default checkpoints far less
    // often in an undo of many files on one disk (bench/README.md).
    "PRAGMA journal_mode=WAL;"
    "PRAGMA synchronous=NORMAL;"
    "PRAGMA wal_autocheckpoint=8192;"
    "CREATE TABLE IF NOT EXISTS placement("
    " id INTEGER PRIMARY KEY, pid INTEGER NOT NULL, started INTEGER NOT NULL,"
    " source TEXT NOT NULL, target TEXT NOT NULL);";
// Columns added since the first record; a record that has them already
// refuses the statement, which is all right.
constexpr const char* kAddedColumns[] = {
    "ALTER TABLE placement ADD COLUMN moves INTEGER NOT NULL DEFAULT 1",
    "ALTER TABLE placement ADD COLUMN final_name INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE placement ADD COLUMN original_mtime TEXT",  // FileTime::Text, NULL when kept as it is
    "ALTER TABLE placement ADD COLUMN undo INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE placement ADD COLUMN log TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE placement ADD COLUMN backup_of TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE run_file ADD COLUMN backups TEXT",
    "ALTER TABLE run_file ADD COLUMN backup_ids TEXT",
};

// The commits made while one stands reach the disk before they return: the
// plans of a batch, whose sources are given up after it, and a copy written
// under its final name, which only its plan marks unfinished. Not inside a
// transaction, where the setting may not change.
class Durable {
public:
    explicit Durable(sqlite3* db) : db_(sqlite3_get_autocommit(db) != 0 ? db : nullptr) {
        if (db_) sqlite3_exec(db_, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    }
    ~Durable() {
        if (db_) sqlite3_exec(db_, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    }
    Durable(const Durable&) = delete;
    Durable& operator=(const Durable&) = delete;

private:
    sqlite3* db_;
};

}  // namespace

std::int64_t ProcessStart(std::int64_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');  // the command name may hold spaces and parentheses
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i)
        if (i == 22) return std::strtoll(field.c_str(), nullptr, 10);
    return 0;
}

std::string SqliteIntentRecord::DefaultPath() {
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (data && data[0] == '/') base = data;
    else if (const char* home = std::getenv("HOME")) base = std::string(home) + "/.local/share";
    else base = ".";
    return base + "/Ravlen/placements.sqlite";
}

namespace {

// The database opened and checked: SQLITE_OK, SQLITE_CORRUPT or SQLITE_NOTADB
// for a damaged file, or another failure; `db` is set only on success.
int OpenChecked(const std::string& path, sqlite3*& db, std::string& error) {
    db = nullptr;
    sqlite3* opened = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &opened, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW,
                             nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_busy_timeout(opened, 10000);
    if (rc == SQLITE_OK) rc = sqlite3_exec(opened, kSchema, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(opened, SqliteIntentRecord::JournalSchema(), nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        for (const char* sql : kAddedColumns) sqlite3_exec(opened, sql, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        // A file the power cut tore: the check reads every page (the record is small).
        Statement check(opened, "PRAGMA quick_check");
        rc = check.stmt ? sqlite3_step(check.stmt) : sqlite3_errcode(opened);
        if (rc == SQLITE_ROW)
            rc = Column(check.stmt, 0) == "ok" ? SQLITE_OK : SQLITE_CORRUPT;
    }
    if (rc == SQLITE_OK) {
        // A record that cannot be written (a read-only mount, a full disk) is
        // found now, before recovery or any file relies on it: the header's
        // user version written back as it stands costs one page.
        Statement version(opened, "PRAGMA user_version");
        rc = version.stmt ? sqlite3_step(version.stmt) : sqlite3_errcode(opened);
        if (rc == SQLITE_ROW) {
            const std::string write = "BEGIN IMMEDIATE; PRAGMA user_version = " +
                                      std::to_string(sqlite3_column_int64(version.stmt, 0)) + "; COMMIT;";
            sqlite3_reset(version.stmt);
            rc = sqlite3_db_readonly(opened, "main") == 1 ? SQLITE_READONLY
                                                          : sqlite3_exec(opened, write.c_str(), nullptr, nullptr, nullptr);
            if (rc != SQLITE_OK) sqlite3_exec(opened, "ROLLBACK", nullptr, nullptr, nullptr);
        }
    }
    if (rc == SQLITE_OK) {
        KeepLogOnClose(opened);
        db = opened;
        return rc;
    }
    error = opened ? sqlite3_errmsg(opened) : "Out of memory";
    if (rc == SQLITE_READONLY) error = sqlite3_errstr(rc);
    if (rc == SQLITE_CORRUPT) error = "the database is damaged";
    sqlite3_close(opened);
    return rc & 0xff;
}

}  // namespace

std::unique_ptr<SqliteIntentRecord> SqliteIntentRecord::Open(const std::string& path, std::string& error) {
    // The folders leading to it, as the settings store makes its own.
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0700);
    sqlite3* db = nullptr;
    std::string notice;
    int rc = OpenChecked(path, db, error);
    if (rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB) {
        // A damaged record is set aside, never a reason to refuse every later
        // run; what it held is lost, which the next run says.
        const std::string aside = path + ".damaged";
        for (const char* suffix : {"", "-wal", "-shm"})
            std::rename((path + suffix).c_str(), (aside + suffix).c_str());
        rc = OpenChecked(path, db, error);
        if (rc == SQLITE_OK)
            notice = "The record of placements was damaged (the computer may have stopped while it was being "
                     "written) and has been started afresh; the damaged one is kept as " + aside +
                     ". Files of an unfinished run it held cannot be checked: look for them in the output folder.";
    }
    if (rc != SQLITE_OK) return nullptr;
    std::unique_ptr<SqliteIntentRecord> record(new SqliteIntentRecord(db));
    record->notice_ = std::move(notice);
    return record;
}

SqliteIntentRecord::SqliteIntentRecord(sqlite3* db)
    : db_(db),
      insert_(std::make_unique<Statement>(db, "INSERT INTO placement(pid, started, source, target, moves, final_name,"
                                              " original_mtime, undo, log, backup_of) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")),
      remove_(std::make_unique<Statement>(db, "DELETE FROM placement WHERE id = ?")),
      pid_(static_cast<std::int64_t>(getpid())),
      started_(ProcessStart(getpid())) {}

SqliteIntentRecord::~SqliteIntentRecord() {
    Settle();
    // A statement left unfinalised would keep the database open.
    insert_.reset();
    remove_.reset();
    journalInsert_.reset();
    CloseRecord(db_);
}

namespace {

FsStatus WriteFailure(sqlite3* db) {
    return FsStatus::Fail(std::string("The record of placements could not be written: ") + sqlite3_errmsg(db));
}

}  // namespace

FsStatus SqliteIntentRecord::Insert(PlannedPlacement& plan) {
    sqlite3_stmt* insert = insert_->stmt;
    sqlite3_reset(insert);
    sqlite3_clear_bindings(insert);
    sqlite3_bind_int64(insert, 1, pid_);
    sqlite3_bind_int64(insert, 2, started_);
    BindText(insert, 3, plan.Source);
    BindText(insert, 4, plan.Target);
    sqlite3_bind_int(insert, 5, plan.Moves ? 1 : 0);
    sqlite3_bind_int(insert, 6, plan.FinalNameCopy ? 1 : 0);
    if (plan.OriginalModifiedTime) BindText(insert, 7, plan.OriginalModifiedTime->Text());
    sqlite3_bind_int(insert, 8, plan.Undoes ? 1 : 0);
    BindText(insert, 9, log_);
    BindText(insert, 10, plan.BackupOf);
    const int rc = sqlite3_step(insert);
    sqlite3_reset(insert);
    if (rc != SQLITE_DONE) return WriteFailure(db_);
    plan.Id = sqlite3_last_insert_rowid(db_);
    plan.Process = pid_;
    plan.Log = log_;
    return FsStatus::Ok();
}

bool SqliteIntentRecord::Remove(std::int64_t id) {
    sqlite3_stmt* remove = remove_->stmt;
    sqlite3_reset(remove);
    sqlite3_bind_int64(remove, 1, id);
    const int rc = sqlite3_step(remove);
    sqlite3_reset(remove);
    return rc == SQLITE_DONE;
}

FsStatus SqliteIntentRecord::WithLater(const std::function<FsStatus()>& write, bool together) {
    // Alone, the statement is its own transaction.
    const bool alone = (later_.empty() && journal_.empty() && !together) || sqlite3_get_autocommit(db_) == 0;
    if (!alone && sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return WriteFailure(db_);
    FsStatus status = FsStatus::Ok();
    if (!alone)
        for (const std::int64_t id : later_)
            if (!Remove(id)) status = WriteFailure(db_);
    const bool wroteRun = runWritten_;
    if (status && !alone) status = WriteJournal();
    if (status) status = write();
    if (alone) return status;
    if (status && sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) status = WriteFailure(db_);
    if (status) {
        later_.clear();
        journal_.clear();
    } else {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        runWritten_ = wroteRun;
    }
    return status;
}

FsStatus SqliteIntentRecord::Plan(PlannedPlacement& plan) {
    // A rename leaves the file whole wherever a power cut finds it; a copy
    // under its final name does not.
    std::optional<Durable> durable;
    if (plan.FinalNameCopy) durable.emplace(db_);
    FsStatus status = WithLater([&] { return Insert(plan); });
    if (!status) plan.Id = 0;
    return status;
}

void SqliteIntentRecord::Done(std::int64_t id) {
    // A plan the record could not strike out now (busy, or a failed commit)
    // is tried again with the next; one left behind is only looked at again
    // by the next run, which finds the file already in its place.
    if (!WithLater([&] { return Remove(id) ? FsStatus::Ok() : WriteFailure(db_); })) later_.push_back(id);
}

void SqliteIntentRecord::Settle() {
    if (!later_.empty() || !journal_.empty()) (void)WithLater([] { return FsStatus::Ok(); });
}

void SqliteIntentRecord::SetRunLog(const std::string& csvPath) {
    Settle();
    log_ = csvPath;
}

// One transaction for a batch: one write of the journal instead of one per file.
FsStatus SqliteIntentRecord::PlanAll(std::vector<PlannedPlacement>& plans, bool durable) {
    std::optional<Durable> flushed;
    if (durable) flushed.emplace(db_);
    const FsStatus status = WithLater([&] { return IntentRecord::PlanAll(plans, durable); }, true);
    if (!status)
        for (PlannedPlacement& plan : plans) plan.Id = 0;
    return status;
}

void SqliteIntentRecord::DoneAll(const std::vector<std::int64_t>& ids) {
    later_.insert(later_.end(), ids.begin(), ids.end());
    Settle();
}

std::vector<PlannedPlacement> SqliteIntentRecord::Abandoned() {
    std::vector<PlannedPlacement> plans;
    Statement select(db_, "SELECT id, pid, started, source, target, moves, final_name, original_mtime, undo, log,"
                          " backup_of FROM placement ORDER BY id");
    while (sqlite3_step(select.stmt) == SQLITE_ROW) {
        const std::int64_t pid = sqlite3_column_int64(select.stmt, 1);
        const std::int64_t started = sqlite3_column_int64(select.stmt, 2);
        // Another run still going on owns its plans.
        if (pid == pid_ && started == started_) continue;
        if (started != 0 && ProcessStart(pid) == started) continue;
        plans.push_back({sqlite3_column_int64(select.stmt, 0), Column(select.stmt, 3), Column(select.stmt, 4),
                         sqlite3_column_int(select.stmt, 5) != 0, sqlite3_column_int(select.stmt, 6) != 0, pid,
                         FileTime::Parse(Column(select.stmt, 7)), sqlite3_column_int(select.stmt, 8) != 0,
                         Column(select.stmt, 9), Column(select.stmt, 10)});
    }
    return plans;
}

}  // namespace ravlen
