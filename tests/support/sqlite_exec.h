#pragma once
// A database file written or changed by hand, as an older program left it.

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

}  // namespace ravlen::test
