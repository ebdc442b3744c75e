#pragma once
// The record of intent in an SQLite database under the user's data folder,
// shared by every run of the window and of ravlen-run on the machine. The
// runs' journals live beside it: a file's journal entry is written in the
// transaction that strikes out its plan, so that a placed file is always in
// one or the other.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/date_time.h"
#include "model/intent_record.h"
#include "model/run_journal.h"

struct sqlite3;

namespace ravlen {

struct Statement;

// Field 22 of /proc/PID/stat: when the process started, in clock ticks since
// boot; 0 when it is not running. With the process number it names a run.
std::int64_t ProcessStart(std::int64_t pid);

class SqliteIntentRecord final : public IntentRecord, public RunJournal {
public:
    // "$XDG_DATA_HOME/Ravlen/placements.sqlite" (~/.local/share when unset).
    static std::string DefaultPath();
    // Null, with `error` set, when the database cannot be opened or made. A
    // damaged one is set aside and made anew, which Notice() then tells.
    static std::unique_ptr<SqliteIntentRecord> Open(const std::string& path, std::string& error);
    // What the user should know about the record itself; "" mostly.
    const std::string& Notice() const { return notice_; }
    ~SqliteIntentRecord() override;
    SqliteIntentRecord(const SqliteIntentRecord&) = delete;
    SqliteIntentRecord& operator=(const SqliteIntentRecord&) = delete;

    FsStatus Plan(PlannedPlacement& plan) override;
    void Done(std::int64_t id) override;
    // Struck out in the transaction of the next plan: one commit a file.
    void DoneLater(std::int64_t id) override { later_.push_back(id); }
    void Settle() override;
    FsStatus PlanAll(std::vector<PlannedPlacement>& plans, bool durable) override;
    void DoneAll(const std::vector<std::int64_t>& ids) override;
    void SetRunLog(const std::string& csvPath) override;
    std::vector<PlannedPlacement> Abandoned() override;

    // The journals (run_journal.cpp).
    std::string BeginRun(const std::string& sourceFolder, const std::string& outputFolder) override;
    void SetRunCsvLog(const std::string& csvPath) override { runLog_ = csvPath; }
    void Placed(const JournalEntry& entry) override { journal_.push_back(entry); }
    FsStatus EndRun() override;
    std::vector<JournalRun> Runs(int limit) override;
    std::optional<JournalRun> Run(const std::string& id) override;
    std::vector<JournalEntry> Files(const std::string& id) override;
    void MarkUndone(const std::string& id) override;
    // A run's journal is kept this long after the run.
    static constexpr std::int64_t kJournalDays = 90;
    // The tables of the journals, made when the record is opened.
    static const char* JournalSchema();

private:
    explicit SqliteIntentRecord(sqlite3* db);
    FsStatus Insert(PlannedPlacement& plan);
    bool Remove(std::int64_t id);
    // Runs `write` in one transaction with the plans left to strike out;
    // `together`: in a transaction of its own even when none are left.
    FsStatus WithLater(const std::function<FsStatus()>& write, bool together = false);
    sqlite3* db_;
    // Prepared once: a same-disk move is mostly this record's work.
    std::unique_ptr<Statement> insert_, remove_;
    std::unique_ptr<Statement> journalInsert_;  // prepared with the run's first entry
    std::vector<std::int64_t> later_;  // plans DoneLater left
    std::int64_t pid_;
    std::int64_t started_;  // the process's start time, so that a reused process number is not taken for us
    std::string notice_;
    std::string log_;  // the run's CSV log, written with each plan
    // Writes the journal entries waiting (and the run's own row before the
    // first), inside the transaction under way.
    FsStatus WriteJournal();
    std::vector<JournalEntry> journal_;  // entries waiting for the next transaction
    std::string runId_, runSource_, runOutput_, runLog_;
    std::int64_t runStarted_ = 0;  // seconds since 1970 UTC
    bool runWritten_ = false;
};

}  // namespace ravlen
