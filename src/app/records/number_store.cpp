#include "app/records/number_store.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <tuple>
#include <vector>

#include "app/records/intent_store.h"
#include "app/records/sqlite_statement.h"

namespace ravlen {
namespace {

// `last`: the highest number of the scope handed out; `held`: the numbers a
// run took and has neither kept nor given back, with the run that holds them.
constexpr const char* kSchema =
    "PRAGMA journal_mode=WAL;"
    "CREATE TABLE IF NOT EXISTS scope(name TEXT PRIMARY KEY, last INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS held(name TEXT NOT NULL, number INTEGER NOT NULL, pid INTEGER NOT NULL,"
    " started INTEGER NOT NULL, PRIMARY KEY(name, number));";

// One IMMEDIATE transaction: a second run waits for the first one's commit,
// so the two never read the same last number.
class Transaction {
public:
    explicit Transaction(sqlite3* db) : db_(db) {
        ok_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~Transaction() {
        if (ok_ && !done_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    bool Ok() const { return ok_; }
    bool Commit() {
        done_ = true;
        if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) return true;
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }

private:
    sqlite3* db_;
    bool ok_ = false;
    bool done_ = false;
};

bool Run(sqlite3* db, const char* sql, const std::string& name, std::int64_t a = 0, std::int64_t b = 0,
         std::int64_t c = 0) {
    Statement s(db, sql);
    if (!s.stmt) return false;
    BindText(s.stmt, 1, name);
    const int parameters = sqlite3_bind_parameter_count(s.stmt);
    if (parameters >= 2) sqlite3_bind_int64(s.stmt, 2, a);
    if (parameters >= 3) sqlite3_bind_int64(s.stmt, 3, b);
    if (parameters >= 4) sqlite3_bind_int64(s.stmt, 4, c);
    return sqlite3_step(s.stmt) == SQLITE_DONE;
}

std::int64_t Last(sqlite3* db, const std::string& name) {
    Statement s(db, "SELECT last FROM scope WHERE name = ?");
    if (!s.stmt) return -1;
    BindText(s.stmt, 1, name);
    const int rc = sqlite3_step(s.stmt);
    if (rc == SQLITE_ROW) return sqlite3_column_int64(s.stmt, 0);
    return rc == SQLITE_DONE ? 0 : -1;
}

// Within a transaction: the number no longer held, and the scope's last
// number lowered when it was this one.
bool Release(sqlite3* db, const std::string& name, std::int64_t number, bool giveBack) {
    if (!Run(db, "DELETE FROM held WHERE name = ? AND number = ?", name, number)) return false;
    if (giveBack && Last(db, name) == number)
        return Run(db, "UPDATE scope SET last = ?2 WHERE name = ?1", name, number - 1);
    return true;
}

}  // namespace

std::string SqliteContinuingNumbers::DefaultPath() {
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (data && data[0] == '/') base = data;
    else if (const char* home = std::getenv("HOME")) base = std::string(home) + "/.local/share";
    else base = ".";
    return base + "/Ravlen/numbers.sqlite";
}

std::unique_ptr<SqliteContinuingNumbers> SqliteContinuingNumbers::Open(const std::string& path, std::string& error) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0700);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW,
                             nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_busy_timeout(db, 10000);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        error = db ? sqlite3_errmsg(db) : "Out of memory";
        sqlite3_close(db);
        return nullptr;
    }
    KeepLogOnClose(db);
    std::unique_ptr<SqliteContinuingNumbers> numbers(new SqliteContinuingNumbers(db, false));
    numbers->GiveBackAbandoned();
    return numbers;
}

std::unique_ptr<SqliteContinuingNumbers> SqliteContinuingNumbers::OpenReadOnly(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW, nullptr) != SQLITE_OK ||
        sqlite3_busy_timeout(db, 10000) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    return std::unique_ptr<SqliteContinuingNumbers>(new SqliteContinuingNumbers(db, true));
}

SqliteContinuingNumbers::SqliteContinuingNumbers(sqlite3* db, bool readOnly)
    : db_(db), readOnly_(readOnly), pid_(static_cast<std::int64_t>(getpid())), started_(ProcessStart(getpid())) {}

SqliteContinuingNumbers::~SqliteContinuingNumbers() { CloseRecord(db_); }

std::int64_t SqliteContinuingNumbers::Take(const std::string& scope) {
    if (readOnly_) return 0;
    Transaction t(db_);
    if (!t.Ok()) return 0;
    const std::int64_t last = Last(db_, scope);
    if (last < 0) return 0;
    const std::int64_t number = last + 1;
    if (!Run(db_, "INSERT INTO scope(name, last) VALUES(?, ?) ON CONFLICT(name) DO UPDATE SET last = excluded.last",
             scope, number) ||
        !Run(db_, "INSERT INTO held(name, number, pid, started) VALUES(?, ?, ?, ?)", scope, number, pid_, started_))
        return 0;
    return t.Commit() ? number : 0;
}

void SqliteContinuingNumbers::Keep(const std::string& scope, std::int64_t number) {
    if (readOnly_) return;
    // A number left held would be given back after this run: the file keeps
    // its number whatever the record says, so a failure here costs a gap at
    // most, never a number handed out twice.
    Transaction t(db_);
    if (t.Ok() && Release(db_, scope, number, false)) t.Commit();
}

void SqliteContinuingNumbers::GiveBack(const std::string& scope, std::int64_t number) {
    if (readOnly_) return;
    Transaction t(db_);
    if (t.Ok() && Release(db_, scope, number, true)) t.Commit();
}

std::int64_t SqliteContinuingNumbers::Next(const std::string& scope) {
    const std::int64_t last = Last(db_, scope);
    return last < 0 ? 1 : last + 1;
}

void SqliteContinuingNumbers::GiveBackAbandoned() {
    Transaction t(db_);
    if (!t.Ok()) return;
    std::vector<std::tuple<std::string, std::int64_t>> abandoned;
    {
        Statement s(db_, "SELECT name, number, pid, started FROM held ORDER BY number DESC");
        while (s.stmt && sqlite3_step(s.stmt) == SQLITE_ROW) {
            const std::int64_t pid = sqlite3_column_int64(s.stmt, 2), started = sqlite3_column_int64(s.stmt, 3);
            // A run still going on holds its numbers.
            if ((pid == pid_ && started == started_) || (started != 0 && ProcessStart(pid) == started)) continue;
            abandoned.emplace_back(Column(s.stmt, 0), sqlite3_column_int64(s.stmt, 1));
        }
    }
    for (const auto& [name, number] : abandoned)
        if (!Release(db_, name, number, true)) return;
    t.Commit();
}

}  // namespace ravlen
