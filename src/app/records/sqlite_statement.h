#pragma once
// A prepared SQLite statement that finalises itself, for the program's own
// small databases.

#include <sqlite3.h>
#include <sys/stat.h>

#include <string>

namespace ravlen {

struct Statement {
    sqlite3_stmt* stmt = nullptr;
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr); }
    ~Statement() { sqlite3_finalize(stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
};

// A text column of the current row, "" for NULL.
inline std::string Column(sqlite3_stmt* stmt, int i) {
    const unsigned char* text = sqlite3_column_text(stmt, i);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(stmt, i)))
                : std::string();
}

// Binds text to parameter i (from 1), copied.
inline void BindText(sqlite3_stmt* stmt, int i, const std::string& text) {
    sqlite3_bind_text(stmt, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// The write-ahead log stays when the last connection closes. Closing would
// otherwise copy it into the database, flush both and remove it: two disk
// flushes and a removal at the end of every run, and the log made afresh
// (with a flush of its folder) at the next. What a commit made durable stays
// so in the log, which SQLite copies over at its automatic checkpoints and
// reads at the next opening.
inline void KeepLogOnClose(sqlite3* db) { sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr); }

// A kept log is read whole, its every page checked, by the next opening
// (the first connection always rebuilds its index): past this size it is
// folded into the database when the record closes, and emptied.
constexpr long long kFoldedLogBytes = 4LL * 1024 * 1024;

// Closes the record, folding its log in first when it has grown past
// kFoldedLogBytes and nobody else has the record open (another process's
// run keeps it, without waiting).
inline void CloseRecord(sqlite3* db) {
    if (!db) return;
    const char* file = sqlite3_db_filename(db, "main");
    struct stat log{};
    if (file && *file && sqlite3_db_readonly(db, "main") == 0 &&
        stat((std::string(file) + "-wal").c_str(), &log) == 0 && log.st_size > kFoldedLogBytes) {
        sqlite3_busy_timeout(db, 0);
        (void)sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    }
    sqlite3_close(db);
}

}  // namespace ravlen
