#include "app/records/import_store.h"

#include <string_view>
#include <unordered_map>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/records/intent_store.h"
#include "app/records/sqlite_statement.h"

namespace ravlen {
namespace {

constexpr const char* kSchema =
    "PRAGMA journal_mode=WAL;"
    // A note lost to a power cut only costs a later match.
    "PRAGMA synchronous=NORMAL;"
    "CREATE TABLE IF NOT EXISTS imported("
    " id INTEGER PRIMARY KEY, path TEXT NOT NULL, size INTEGER NOT NULL, hash TEXT NOT NULL, run TEXT NOT NULL);"
    // A look-up by size within one output folder seeks straight to its rows,
    // however many imports of that size other folders hold.
    "CREATE INDEX IF NOT EXISTS imported_size_path ON imported(size, path);"
    "DROP INDEX IF EXISTS imported_size;"
    // The sizes within one output folder, read once per run, come from this
    // index alone.
    "CREATE INDEX IF NOT EXISTS imported_path_size ON imported(path, size);"
    "DROP INDEX IF EXISTS imported_path;"
    // Hashes the card's verdict took, of any file (a card's too), each valid
    // only while its file's identity, size and modified time stay.
    "CREATE TABLE IF NOT EXISTS hashes("
    " path TEXT PRIMARY KEY, device INTEGER NOT NULL, inode INTEGER NOT NULL, size INTEGER NOT NULL,"
    " modified INTEGER NOT NULL, hash TEXT NOT NULL);"
    // Where each file of a device went, by its name there, size and time: a
    // device's file seen again is known without crossing the cable.
    "CREATE TABLE IF NOT EXISTS seen("
    " key TEXT NOT NULL, size INTEGER NOT NULL, modified INTEGER NOT NULL, placed TEXT NOT NULL,"
    " PRIMARY KEY(key, size, modified)) WITHOUT ROWID;";
// Added since the first record (a record that has it refuses the statement).
// Rows from before it hold 0, a time no file has: their hashes are checked
// against the disk before they are trusted.
constexpr const char* kAddModified = "ALTER TABLE imported ADD COLUMN modified INTEGER NOT NULL DEFAULT 0";

// The database at path with its tables; null when it cannot be opened or
// its header and schema are not sound. Its pages are not all read: the
// record grows with every import, and a full check cost each run the
// reading of all of it (bench/README.md). A page found damaged later fails
// only its look-up, and the record is made anew when it is closed.
sqlite3* OpenSound(const std::string& path, bool readOnly = false) {
    sqlite3* db = nullptr;
    const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) | SQLITE_OPEN_NOFOLLOW;
    bool sound = sqlite3_open_v2(path.c_str(), &db, flags, nullptr) == SQLITE_OK &&
                 sqlite3_busy_timeout(db, 10000) == SQLITE_OK &&
                 sqlite3_exec(db, readOnly ? "SELECT 1 FROM imported LIMIT 0" : kSchema, nullptr, nullptr, nullptr) ==
                     SQLITE_OK;
    if (sound && !readOnly) {
        (void)sqlite3_exec(db, kAddModified, nullptr, nullptr, nullptr);
        KeepLogOnClose(db);
    }
    if (sound) return db;
    sqlite3_close(db);
    return nullptr;
}

bool Damaged(int rc) { return (rc & 0xff) == SQLITE_CORRUPT || (rc & 0xff) == SQLITE_NOTADB; }

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
        RemoveDatabase(path);
        db = OpenSound(path);
    }
    if (!db) return nullptr;
    return std::unique_ptr<SqliteImportRecord>(new SqliteImportRecord(db, path));
}

std::unique_ptr<SqliteImportRecord> SqliteImportRecord::OpenReadOnly(const std::string& path) {
    sqlite3* db = OpenSound(path, true);
    if (!db) return nullptr;
    return std::unique_ptr<SqliteImportRecord>(new SqliteImportRecord(db, ""));
}

void SqliteImportRecord::RemoveDatabase(const std::string& path) {
    for (const char* suffix : {"", "-wal", "-shm"}) (void)unlink((path + suffix).c_str());
}

void SqliteImportRecord::Check(int rc) {
    if (Damaged(rc)) damaged_ = true;
}

SqliteImportRecord::SqliteImportRecord(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {
    // A record opened read-only may be older than the modified column: its
    // hashes count as stale.
    withSize_ = std::make_unique<Statement>(db,
                                            "SELECT path, hash, modified FROM imported WHERE size = ? AND path >= ? AND"
                                            " path < ? ORDER BY id");
    if (!withSize_->stmt)
        withSize_ = std::make_unique<Statement>(db,
                                                "SELECT path, hash, 0 FROM imported WHERE size = ? AND path >= ? AND"
                                                " path < ? ORDER BY id");
}

namespace {

// Paths below the folder: from "folder/" up to, not including, "folder0" ('0' follows '/').
std::pair<std::string, std::string> Below(const std::string& folder) {
    std::string low = folder.empty() || folder.back() != '/' ? folder + '/' : folder;
    std::string high = low.substr(0, low.size() - 1) + '0';
    return {std::move(low), std::move(high)};
}

}  // namespace

bool SqliteImportRecord::EachBelow(const std::string& folder, const char* sql,
                                   const std::function<void(sqlite3_stmt*)>& row) {
    const auto [low, high] = Below(folder);
    Statement rows(db_, sql);
    if (!rows.stmt) return false;
    BindText(rows.stmt, 1, low);
    BindText(rows.stmt, 2, high);
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(rows.stmt)) == SQLITE_ROW) row(rows.stmt);
    Check(step);
    return step == SQLITE_DONE;
}

std::optional<std::vector<std::int64_t>> SqliteImportRecord::Sizes(const std::string& folder) {
    std::vector<std::int64_t> found;
    if (!EachBelow(folder, "SELECT DISTINCT size FROM imported WHERE path >= ? AND path < ?",
                   [&](sqlite3_stmt* row) { found.push_back(sqlite3_column_int64(row, 0)); }))
        return std::nullopt;
    const auto [low, high] = Below(folder);
    for (const Note& note : pending_)
        if (!note.hashOnly && note.file.Path >= low && note.file.Path < high) found.push_back(note.file.Size);
    return found;
}

SqliteImportRecord::~SqliteImportRecord() {
    (void)Write();  // what could not be written was said at the run's end (Flush)
    withSize_.reset();
    stampedHash_.reset();
    CloseRecord(db_);
    // A damaged record is made anew by the next run, as one found at opening.
    if (damaged_ && !path_.empty()) RemoveDatabase(path_);
}

std::vector<ImportedFile> SqliteImportRecord::WithSize(std::int64_t size, const std::string& folder) {
    std::vector<ImportedFile> files;
    const auto [low, high] = Below(folder);
    sqlite3_stmt* const stmt = withSize_->stmt;
    sqlite3_reset(stmt);
    sqlite3_bind_int64(stmt, 1, size);
    BindText(stmt, 2, low);
    BindText(stmt, 3, high);
    // A note waiting to be written replaces the path's rows; a hash waiting
    // is the row's.
    std::unordered_map<std::string_view, const Note*> pending;
    for (const Note& note : pending_) pending.emplace(note.file.Path, &note);
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(stmt)) == SQLITE_ROW) {
        ImportedFile file{Column(stmt, 0), size, Column(stmt, 1), DateTime::FromCivilSeconds(sqlite3_column_int64(stmt, 2))};
        const auto note = pending.find(file.Path);
        if (note != pending.end() && !note->second->hashOnly) continue;
        if (note != pending.end()) file.Hash = note->second->file.Hash, file.Modified = note->second->file.Modified;
        files.push_back(std::move(file));
    }
    Check(step);
    sqlite3_reset(stmt);  // ends the read
    for (const Note& note : pending_)
        if (!note.hashOnly && note.file.Size == size && note.file.Path >= low && note.file.Path < high)
            files.push_back(note.file);
    return files;
}

SqliteImportRecord::Note* SqliteImportRecord::Pending(const std::string& path) {
    for (Note& note : pending_)
        if (note.file.Path == path) return &note;
    return nullptr;
}

void SqliteImportRecord::Add(const ImportedFile& file, const std::string& run) {
    if (Note* note = Pending(file.Path)) *note = {file, run, false};
    else pending_.push_back({file, run});
    if (pending_.size() >= kPendingNotes) (void)Write();  // what cannot be written waits for the next write
}

namespace {

FsStatus NotWritten(sqlite3* db) {
    return FsStatus::Fail(std::string("The record of imports could not be written: ") + sqlite3_errmsg(db));
}

}  // namespace

FsStatus SqliteImportRecord::Write() {
    if (pending_.empty() && stamped_.empty() && seen_.empty()) return FsStatus::Ok();
    const int begun = sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
    Check(begun);
    if (begun != SQLITE_OK) return NotWritten(db_);
    FsStatus status = FsStatus::Ok();
    const auto step = [&](sqlite3_stmt* stmt) {
        const int rc = sqlite3_step(stmt);
        Check(rc);
        if (rc != SQLITE_DONE && status) status = NotWritten(db_);
    };
    Statement remove(db_, "DELETE FROM imported WHERE path = ?");
    Statement insert(db_, "INSERT INTO imported(path, size, hash, run, modified) VALUES(?, ?, ?, ?, ?)");
    Statement update(db_, "UPDATE imported SET hash = ?, modified = ? WHERE path = ?");
    for (const Note& note : pending_) {
        if (note.hashOnly) {
            sqlite3_reset(update.stmt);
            BindText(update.stmt, 1, note.file.Hash);
            sqlite3_bind_int64(update.stmt, 2, note.file.Modified.CivilSeconds());
            BindText(update.stmt, 3, note.file.Path);
            step(update.stmt);
            continue;
        }
        sqlite3_reset(remove.stmt);
        BindText(remove.stmt, 1, note.file.Path);  // a name used again holds the new file
        step(remove.stmt);
        sqlite3_reset(insert.stmt);
        BindText(insert.stmt, 1, note.file.Path);
        sqlite3_bind_int64(insert.stmt, 2, note.file.Size);
        BindText(insert.stmt, 3, note.file.Hash);
        BindText(insert.stmt, 4, note.run);
        sqlite3_bind_int64(insert.stmt, 5, note.file.Modified.CivilSeconds());
        step(insert.stmt);
    }
    Statement keep(db_,
                   "INSERT OR REPLACE INTO hashes(path, device, inode, size, modified, hash) VALUES(?, ?, ?, ?, ?, ?)");
    for (const auto& [path, stamped] : stamped_) {
        if (!keep.stmt) {
            status = NotWritten(db_);
            break;
        }
        sqlite3_reset(keep.stmt);
        BindText(keep.stmt, 1, path);
        sqlite3_bind_int64(keep.stmt, 2, static_cast<sqlite3_int64>(stamped.stamp.Id.Device));
        sqlite3_bind_int64(keep.stmt, 3, static_cast<sqlite3_int64>(stamped.stamp.Id.Inode));
        sqlite3_bind_int64(keep.stmt, 4, stamped.stamp.Size);
        sqlite3_bind_int64(keep.stmt, 5, stamped.stamp.Modified.CivilSeconds());
        BindText(keep.stmt, 6, stamped.hash);
        step(keep.stmt);
    }
    Statement see(db_, "INSERT OR REPLACE INTO seen(key, size, modified, placed) VALUES(?, ?, ?, ?)");
    for (const SeenNote& note : seen_) {
        if (!see.stmt) {
            status = NotWritten(db_);
            break;
        }
        sqlite3_reset(see.stmt);
        BindText(see.stmt, 1, note.key);
        sqlite3_bind_int64(see.stmt, 2, note.size);
        sqlite3_bind_int64(see.stmt, 3, note.modified.CivilSeconds());
        BindText(see.stmt, 4, note.placed);
        step(see.stmt);
    }
    if (status) {
        const int committed = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
        Check(committed);
        if (committed != SQLITE_OK) status = NotWritten(db_);
    }
    if (!status) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return status;
    }
    pending_.clear();
    stamped_.clear();
    seen_.clear();
    return status;
}

std::optional<std::vector<ImportedFile>> SqliteImportRecord::RecordedIn(const std::string& folder) {
    std::vector<ImportedFile> found;
    if (!EachBelow(folder, "SELECT path, size FROM imported WHERE path >= ? AND path < ?", [&](sqlite3_stmt* row) {
            found.push_back({Column(row, 0), sqlite3_column_int64(row, 1), {}, {}});
        }))
        return std::nullopt;
    const auto [low, high] = Below(folder);
    for (const Note& note : pending_)
        if (!note.hashOnly && note.file.Path >= low && note.file.Path < high) found.push_back(note.file);
    return found;
}

std::optional<std::vector<KeptHash>> SqliteImportRecord::StampedHashesIn(const std::string& folder) {
    std::vector<KeptHash> found;
    const auto kept = [&](sqlite3_stmt* row) {
        std::string path = Column(row, 0);
        if (stamped_.contains(path)) return;  // a newer one waits
        found.push_back({std::move(path),
                         {{static_cast<std::uint64_t>(sqlite3_column_int64(row, 1)),
                           static_cast<std::uint64_t>(sqlite3_column_int64(row, 2))},
                          sqlite3_column_int64(row, 3), DateTime::FromCivilSeconds(sqlite3_column_int64(row, 4))},
                         Column(row, 5)});
    };
    if (!EachBelow(folder, "SELECT path, device, inode, size, modified, hash FROM hashes WHERE path >= ? AND path < ?",
                   kept))
        return std::nullopt;
    const auto [low, high] = Below(folder);
    for (const auto& [path, waiting] : stamped_)
        if (path >= low && path < high) found.push_back({path, waiting.stamp, waiting.hash});
    return found;
}

std::string SqliteImportRecord::StampedHash(const std::string& path, const FileStamp& stamp) {
    if (const auto waiting = stamped_.find(path); waiting != stamped_.end())
        return waiting->second.stamp == stamp ? waiting->second.hash : std::string();
    if (!stampedHash_) stampedHash_ = std::make_unique<Statement>(db_, "SELECT device, inode, size, modified, hash FROM hashes WHERE path = ?");
    sqlite3_stmt* const stmt = stampedHash_->stmt;
    if (!stmt) return {};  // a record read-only and older than the table
    sqlite3_reset(stmt);
    BindText(stmt, 1, path);
    std::string hash;
    const int step = sqlite3_step(stmt);
    Check(step);
    if (step == SQLITE_ROW) {
        const FileStamp kept{{static_cast<std::uint64_t>(sqlite3_column_int64(stmt, 0)),
                              static_cast<std::uint64_t>(sqlite3_column_int64(stmt, 1))},
                             sqlite3_column_int64(stmt, 2), DateTime::FromCivilSeconds(sqlite3_column_int64(stmt, 3))};
        if (kept == stamp) hash = Column(stmt, 4);
    }
    sqlite3_reset(stmt);
    return hash;
}

void SqliteImportRecord::KeepStampedHash(const std::string& path, const FileStamp& stamp, const std::string& hash) {
    stamped_[path] = Stamped{stamp, hash};
    if (stamped_.size() >= kPendingNotes) (void)Write();  // what cannot be written waits for the next write
}

void SqliteImportRecord::KeepHash(const std::string& path, DateTime modified, const std::string& hash) {
    if (Note* note = Pending(path)) {
        note->file.Hash = hash, note->file.Modified = modified;
        return;
    }
    pending_.push_back({{path, 0, hash, modified}, {}, true});
    if (pending_.size() >= kPendingNotes) (void)Write();  // what cannot be written waits for the next write
}

void SqliteImportRecord::Forget(const std::string& path) {
    // A note of the path that cannot be written yet goes unwritten.
    if (!Write())
        if (const Note* note = Pending(path)) pending_.erase(pending_.begin() + (note - pending_.data()));
    Statement remove(db_, "DELETE FROM imported WHERE path = ?");
    BindText(remove.stmt, 1, path);
    Check(sqlite3_step(remove.stmt));
}

void SqliteImportRecord::AddSeen(const std::string& key, std::int64_t size, DateTime modified, const std::string& placed) {
    seen_.push_back({key, size, modified, placed});
    if (seen_.size() >= kPendingNotes) (void)Write();
}

std::optional<std::string> SqliteImportRecord::Seen(const std::string& key, std::int64_t size, DateTime modified) {
    for (auto note = seen_.rbegin(); note != seen_.rend(); ++note)
        if (note->key == key && note->size == size && note->modified == modified) return note->placed;
    Statement find(db_, "SELECT placed FROM seen WHERE key = ? AND size = ? AND modified = ?");
    if (!find.stmt) return std::nullopt;  // a record read-only and older than the table
    BindText(find.stmt, 1, key);
    sqlite3_bind_int64(find.stmt, 2, size);
    sqlite3_bind_int64(find.stmt, 3, modified.CivilSeconds());
    const int rc = sqlite3_step(find.stmt);
    Check(rc);
    if (rc != SQLITE_ROW) return std::nullopt;
    return Column(find.stmt, 0);
}

}  // namespace ravlen
