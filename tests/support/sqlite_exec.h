#pragma once
// A database file written or changed by hand, as an older program left it,
// and read by hand.

#include <string>

#include <sqlite3.h>

namespace ravlen::test {

// Opens (or makes) the database at `path`, runs `sql` and closes it; true
// when both the opening and every statement succeeded.
inline bool ExecSql(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    const bool opened = sqlite3_open(path.c_str(), &db) == SQLITE_OK;
    const bool ran = opened && sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ran;
}

// The first column of the first row `sql` gives, as text; "" for none.
inline std::string QuerySql(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_stmt* stmt = nullptr;
    std::string text;
    if (sqlite3_open(path.c_str(), &db) == SQLITE_OK && sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_text(stmt, 0))
        text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return text;
}

}  // namespace ravlen::test
