#include "app/import_store.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/intent_store.h"

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

struct Statement {
    sqlite3_stmt* stmt = nullptr;
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr); }
    ~Statement() { sqlite3_finalize(stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    void Text(int i, const std::string& text) {
        sqlite3_bind_text(stmt, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    std::string Column(int i) {
        const unsigned char* text = sqlite3_column_text(stmt, i);
        return text ? std::string(reinterpret_cast<const char*>(text),
                                  static_cast<std::size_t>(sqlite3_column_bytes(stmt, i)))
                    : std::string();
    }
};

// The database at path with its tables, checked; null when it cannot be
// opened or is not sound.
sqlite3* OpenSound(const std::string& path) {
    sqlite3* db = nullptr;
    bool sound = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW,
                                 nullptr) == SQLITE_OK &&
                 sqlite3_busy_timeout(db, 10000) == SQLITE_OK &&
                 sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) == SQLITE_OK;
    if (sound) {
        Statement check(db, "PRAGMA quick_check");
        sound = sqlite3_step(check.stmt) == SQLITE_ROW && check.Column(0) == "ok";
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

SqliteImportRecord::~SqliteImportRecord() { sqlite3_close(db_); }

std::vector<ImportedFile> SqliteImportRecord::WithSize(std::int64_t size, const std::string& folder) {
    std::vector<ImportedFile> files;
    // Paths below the folder: from "folder/" up to, not including, "folder0" ('0' follows '/').
    const std::string low = folder.empty() || folder.back() != '/' ? folder + '/' : folder;
    const std::string high = low.substr(0, low.size() - 1) + '0';
    Statement select(db_, "SELECT path, hash FROM imported WHERE size = ? AND path >= ? AND path < ? ORDER BY id");
    sqlite3_bind_int64(select.stmt, 1, size);
    select.Text(2, low);
    select.Text(3, high);
    while (sqlite3_step(select.stmt) == SQLITE_ROW) files.push_back({select.Column(0), size, select.Column(1)});
    return files;
}

void SqliteImportRecord::Add(const ImportedFile& file, const std::string& run) {
    Forget(file.Path);  // a name used again holds the new file
    Statement insert(db_, "INSERT INTO imported(path, size, hash, run) VALUES(?, ?, ?, ?)");
    insert.Text(1, file.Path);
    sqlite3_bind_int64(insert.stmt, 2, file.Size);
    insert.Text(3, file.Hash);
    insert.Text(4, run);
    (void)sqlite3_step(insert.stmt);
}

void SqliteImportRecord::Forget(const std::string& path) {
    Statement remove(db_, "DELETE FROM imported WHERE path = ?");
    remove.Text(1, path);
    (void)sqlite3_step(remove.stmt);
}

}  // namespace ravlen
