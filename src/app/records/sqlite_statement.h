#pragma once
// A prepared SQLite statement that finalises itself, for the program's own
// small databases.

#include <sqlite3.h>

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

}  // namespace ravlen
