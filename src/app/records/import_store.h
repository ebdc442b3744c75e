#pragma once
// The record of earlier imports in an SQLite database of its own under the
// user's data folder, shared by every run of the window and of ravlen-run.
// It is only an aid to finding files again: a damaged or unreadable
// database is made anew, and a run goes on without one when even that fails.

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/import_record.h"

struct sqlite3;
struct sqlite3_stmt;

namespace ravlen {

struct Statement;
class SqliteImportRecord final : public ImportRecord {
public:
    // "$XDG_DATA_HOME/Ravlen/imports.sqlite" (~/.local/share when unset).
    static std::string DefaultPath();
    // Null when no database can be opened or made at `path`.
    static std::unique_ptr<SqliteImportRecord> Open(const std::string& path);
    // For looking only (its adds and forgets fail unseen): null when there is
    // no sound database at `path`, which is neither made nor mended.
    static std::unique_ptr<SqliteImportRecord> OpenReadOnly(const std::string& path);
    ~SqliteImportRecord() override;
    SqliteImportRecord(const SqliteImportRecord&) = delete;
    SqliteImportRecord& operator=(const SqliteImportRecord&) = delete;

    std::optional<std::vector<std::int64_t>> Sizes(const std::string& folder) override;
    std::vector<ImportedFile> WithSize(std::int64_t size, const std::string& folder) override;
    void Add(const ImportedFile& file, const std::string& run) override;
    void KeepHash(const std::string& path, DateTime modified, const std::string& hash) override;
    void Forget(const std::string& path) override;
    std::optional<std::vector<ImportedFile>> RecordedIn(const std::string& folder) override;
    std::optional<std::vector<KeptHash>> StampedHashesIn(const std::string& folder) override;
    std::string StampedHash(const std::string& path, const FileStamp& stamp) override;
    void KeepStampedHash(const std::string& path, const FileStamp& stamp, const std::string& hash) override;
    FsStatus Flush() override { return Write(); }
    void AddSeen(const std::string& key, std::int64_t size, DateTime modified, const std::string& placed) override;
    std::optional<std::string> Seen(const std::string& key, std::int64_t size, DateTime modified) override;

    // Notes and kept hashes are written a few hundred at a time in one
    // transaction, and when the record is closed: one transaction per placed
    // file was much of a same-disk Move's time (bench/README.md). A kill
    // loses at most those waiting.
    static constexpr std::size_t kPendingNotes = 256;

private:
    struct Note {
        ImportedFile file;
        std::string run;
        bool hashOnly = false;  // a hash kept for a row already written: its size and run stay
    };
    // `path`: where the record is made anew if it is found damaged; "" for
    // one opened read-only, which is never mended.
    SqliteImportRecord(sqlite3* db, std::string path);
    static void RemoveDatabase(const std::string& path);
    // Notes a result that tells the database is damaged.
    void Check(int rc);
    // Hands `row` each row of `sql`, whose two parameters are bound to the
    // bounds of the paths below `folder`; false when the record could not be
    // read to the end.
    bool EachBelow(const std::string& folder, const char* sql, const std::function<void(sqlite3_stmt*)>& row);
    Note* Pending(const std::string& path);
    // All the notes waiting in one transaction, or (on failure) none of them,
    // still waiting.
    FsStatus Write();
    std::vector<Note> pending_;
    sqlite3* db_;
    std::string path_;
    bool damaged_ = false;
    std::unique_ptr<Statement> withSize_;
    std::unique_ptr<Statement> stampedHash_;  // made at its first use
    struct Stamped {
        FileStamp stamp;
        std::string hash;
    };
    std::unordered_map<std::string, Stamped> stamped_;  // hashes waiting to be written
    struct SeenNote {
        std::string key;
        std::int64_t size;
        DateTime modified;
        std::string placed;
    };
    std::vector<SeenNote> seen_;  // devices' files seen, waiting to be written
};

}  // namespace ravlen
