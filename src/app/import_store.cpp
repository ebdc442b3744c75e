#include "app/import_store.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/intent_store.h"
#include "app/sqlite_statement.h"

namespace ravlen {
namespace {

constexpr const char* kSchema =
    "PRAGMA journal_mode=WAL;"
    // A note lost to a power cut only costs a later match.
    "PRAGMA synchronous=NORMAL;"
    "CREATE TABLE IF NOT EXISTS imported("
    " id INTEGER PRIMARY KEY, path TEXT NOT NULL, size INTEGER NOT NULL, hash TEXT NOT NULL, run TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS imported_size ON imported(size);"
    "CREATE INDEX IF NOT EXISTS imported_path ON imported(path);";

// The database at path with its tables, checked; null when it cannot be
// opened or is not sound.
sqlite3* OpenSound(const std::string& path, bool readOnly = false) {
    sqlite3* db = nullptr;
    const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) | SQLITE_OPEN_NOFOLLOW;
    bool sound = sqlite3_open_v2(path.c_str(), &db, flags, nullptr) == SQLITE_OK &&
                 sqlite3_busy_timeout(db, 10000) == SQLITE_OK &&
                 (readOnly || sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) == SQLITE_OK);
    if (sound) {
        Statement check(db, "PRAGMA quick_check");
        sound = sqlite3_step(check.stmt) == SQLITE_ROW && Column(check.stmt, 0) == "ok";
    }
    if (sound) return db;
    sqlite3_close(db);
    return nullptr;
}

}  // namespace

std::string SqliteImportRecord::DefaultPath() {
    const std::string intents = SqliteIntentRecord::DefaultPath();
    return intents.substr(0, intents.rfind('/') + 1) + "imports.sqlite";
}

std::unique_ptr<SqliteImportRecord> SqliteImportRecord::Open(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0700);
    sqlite3* db = OpenSound(path);
    if (!db) {
        // Damaged or not a database: the record starts afresh.
        for (const char* suffix : {"", "-wal", "-shm"}) (void)unlink((path + suffix).c_str());
        db = OpenSound(path);
    }
    if (!db) return nullptr;
    return std::unique_ptr<SqliteImportRecord>(new SqliteImportRecord(db));
}

std::unique_ptr<SqliteImportRecord> SqliteImportRecord::OpenReadOnly(const std::string& path) {
    sqlite3* db = OpenSound(path, true);
    if (!db) return nullptr;
    return std::unique_ptr<SqliteImportRecord>(new SqliteImportRecord(db));
}

SqliteImportRecord::~SqliteImportRecord() { sqlite3_close(db_); }

std::vector<ImportedFile> SqliteImportRecord::WithSize(std::int64_t size, const std::string& folder) {
    std::vector<ImportedFile> files;
    // Paths below the folder: from "folder/" up to, not including, "folder0" ('0' follows '/').
    const std::string low = folder.empty() || folder.back() != '/' ? folder + '/' : folder;
    const std::string high = low.substr(0, low.size() - 1) + '0';
    Statement select(db_, "SELECT path, hash FROM imported WHERE size = ? AND path >= ? AND path < ? ORDER BY id");
    sqlite3_bind_int64(select.stmt, 1, size);
    BindText(select.stmt, 2, low);
    BindText(select.stmt, 3, high);
    while (sqlite3_step(select.stmt) == SQLITE_ROW) files.push_back({Column(select.stmt, 0), size, Column(select.stmt, 1)});
    return files;
}

void SqliteImportRecord::Add(const ImportedFile& file, const std::string& run) {
    Forget(file.Path);  // a name used again holds the new file
    Statement insert(db_, "INSERT INTO imported(path, size, hash, run) VALUES(?, ?, ?, ?)");
    BindText(insert.stmt, 1, file.Path);
    sqlite3_bind_int64(insert.stmt, 2, file.Size);
    BindText(insert.stmt, 3, file.Hash);
    BindText(insert.stmt, 4, run);
    (void)sqlite3_step(insert.stmt);
}

void SqliteImportRecord::Forget(const std::string& path) {
    Statement remove(db_, "DELETE FROM imported WHERE path = ?");
    BindText(remove.stmt, 1, path);
    (void)sqlite3_step(remove.stmt);
}

}  // namespace ravlen
