#pragma once
// The numbers that continue between imports, kept in an SQLite database
// under the user's data folder, shared by every run of the window and of
// ravlen-run on the machine.

#include <cstdint>
#include <memory>
#include <string>

#include "model/continuing_numbers.h"

struct sqlite3;

namespace ravlen {

class SqliteContinuingNumbers final : public ContinuingNumbers {
public:
    // "$XDG_DATA_HOME/Ravlen/numbers.sqlite" (~/.local/share when unset).
    static std::string DefaultPath();
    // Null, with `error` set, when the database cannot be opened or made.
    // The numbers held by runs that ended without keeping them are given
    // back first.
    static std::unique_ptr<SqliteContinuingNumbers> Open(const std::string& path, std::string& error);
    // For a preview: takes and gives nothing; null when there is no record yet.
    static std::unique_ptr<SqliteContinuingNumbers> OpenReadOnly(const std::string& path);
    ~SqliteContinuingNumbers() override;
    SqliteContinuingNumbers(const SqliteContinuingNumbers&) = delete;
    SqliteContinuingNumbers& operator=(const SqliteContinuingNumbers&) = delete;

    std::int64_t Take(const std::string& scope) override;
    void Keep(const std::string& scope, std::int64_t number) override;
    void GiveBack(const std::string& scope, std::int64_t number) override;
    std::int64_t Next(const std::string& scope) override;

private:
    SqliteContinuingNumbers(sqlite3* db, bool readOnly);
    // The numbers held by processes no longer running, given back last first.
    void GiveBackAbandoned();
    sqlite3* db_;
    bool readOnly_;
    std::int64_t pid_;
    std::int64_t started_;
};

}  // namespace ravlen
