#include "app/intent_store.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace ravlen {
namespace {

constexpr const char* kSchema =
    "PRAGMA journal_mode=WAL;"
    // Each plan survives a kill of the program once its statement returns;
    // the copies themselves are flushed before any source goes.
    "PRAGMA synchronous=NORMAL;"
    "CREATE TABLE IF NOT EXISTS placement("
    " id INTEGER PRIMARY KEY, pid INTEGER NOT NULL, started INTEGER NOT NULL,"
    " source TEXT NOT NULL, target TEXT NOT NULL);";

// Field 22 of /proc/PID/stat: when the process started, in clock ticks since
// boot; 0 when it is not running.
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

struct Statement {
    sqlite3_stmt* stmt = nullptr;
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr); }
    ~Statement() { sqlite3_finalize(stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
};

std::string Column(sqlite3_stmt* stmt, int i) {
    const unsigned char* text = sqlite3_column_text(stmt, i);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(stmt, i)))
                : std::string();
}

}  // namespace

std::string SqliteIntentRecord::DefaultPath() {
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (data && data[0] == '/') base = data;
    else if (const char* home = std::getenv("HOME")) base = std::string(home) + "/.local/share";
    else base = ".";
    return base + "/Ravlen/placements.sqlite";
}

std::unique_ptr<SqliteIntentRecord> SqliteIntentRecord::Open(const std::string& path, std::string& error) {
    // The folders leading to it, as the settings store makes its own.
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0700);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW,
                        nullptr) != SQLITE_OK ||
        sqlite3_busy_timeout(db, 10000) != SQLITE_OK || sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
        error = db ? sqlite3_errmsg(db) : "Out of memory";
        sqlite3_close(db);
        return nullptr;
    }
    return std::unique_ptr<SqliteIntentRecord>(new SqliteIntentRecord(db));
}

SqliteIntentRecord::SqliteIntentRecord(sqlite3* db)
    : db_(db), pid_(static_cast<std::int64_t>(getpid())), started_(ProcessStart(getpid())) {}

SqliteIntentRecord::~SqliteIntentRecord() { sqlite3_close(db_); }

FsStatus SqliteIntentRecord::Plan(PlannedPlacement& plan) {
    Statement insert(db_, "INSERT INTO placement(pid, started, source, target) VALUES(?, ?, ?, ?)");
    sqlite3_bind_int64(insert.stmt, 1, pid_);
    sqlite3_bind_int64(insert.stmt, 2, started_);
    sqlite3_bind_text(insert.stmt, 3, plan.Source.data(), static_cast<int>(plan.Source.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(insert.stmt, 4, plan.Target.data(), static_cast<int>(plan.Target.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(insert.stmt) != SQLITE_DONE)
        return FsStatus::Fail(std::string("The record of placements could not be written: ") + sqlite3_errmsg(db_));
    plan.Id = sqlite3_last_insert_rowid(db_);
    return FsStatus::Ok();
}

void SqliteIntentRecord::Done(std::int64_t id) {
    Statement remove(db_, "DELETE FROM placement WHERE id = ?");
    sqlite3_bind_int64(remove.stmt, 1, id);
    // A plan left behind is only looked at again by the next run, which finds
    // the file already in its place.
    (void)sqlite3_step(remove.stmt);
}

// One transaction for a batch: one write of the journal instead of one per file.
FsStatus SqliteIntentRecord::PlanAll(std::vector<PlannedPlacement>& plans) {
    if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return FsStatus::Fail(std::string("The record of placements could not be written: ") + sqlite3_errmsg(db_));
    FsStatus status = IntentRecord::PlanAll(plans);
    if (status && sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        status = FsStatus::Fail(std::string("The record of placements could not be written: ") + sqlite3_errmsg(db_));
    if (!status) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        for (PlannedPlacement& plan : plans) plan.Id = 0;
    }
    return status;
}

void SqliteIntentRecord::DoneAll(const std::vector<std::int64_t>& ids) {
    const bool open = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    IntentRecord::DoneAll(ids);
    if (open) sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
}

std::vector<PlannedPlacement> SqliteIntentRecord::Abandoned() {
    std::vector<PlannedPlacement> plans;
    Statement select(db_, "SELECT id, pid, started, source, target FROM placement ORDER BY id");
    while (sqlite3_step(select.stmt) == SQLITE_ROW) {
        const std::int64_t pid = sqlite3_column_int64(select.stmt, 1);
        const std::int64_t started = sqlite3_column_int64(select.stmt, 2);
        // Another run still going on owns its plans.
        if (pid == pid_ && started == started_) continue;
        if (started != 0 && ProcessStart(pid) == started) continue;
        plans.push_back({sqlite3_column_int64(select.stmt, 0), Column(select.stmt, 3), Column(select.stmt, 4)});
    }
    return plans;
}

}  // namespace ravlen
