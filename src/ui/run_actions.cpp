#include "ui/run_actions.h"

#include <algorithm>

#include <QDialog>
#include <QWidget>
#include <QInputDialog>
#include <QStringList>
#include <optional>

#include <unistd.h>

#include "app/cards/camera_media.h"
#include "app/clocks/camera_survey.h"
#include "app/devices/device_sources.h"
#include "app/records/import_store.h"
#include "app/records/intent_store.h"
#include "app/records/number_store.h"
#include "app/run/run_driver.h"
#include "app/settings/job_codes.h"
#include "app/undo/undo.h"
#include "log/program_facts.h"
#include "platform/card_eject.h"
#include "naming/filename_builder.h"
#include "platform/stop_signals.h"
#include "ui/camera_clocks_dialog.h"
#include "ui/card_watcher.h"
#include "ui/device_watcher.h"
#include "ui/qt_user_port.h"
#include "ui/runs_dialog.h"

namespace ravlen::ui {

namespace {

// The files not safe that the summary names; the rest are counted.
constexpr std::size_t kCardLinesShown = 20;
// A run shorter than this ends under the user's eyes: no notification.
constexpr double kNotifyAfterSeconds = 5;

}  // namespace

// Marks an action as running until the handler returns, however it returns.
class RunActions::RunningFlag {
public:
    RunningFlag(bool& running, CardWatcher* cards, DeviceWatcher* devices)
        : running_(running), cards_(cards), devices_(devices) {
        running_ = true;
        if (cards_) cards_->Hold();
        // No look at the ports while the action may use a device.
        if (devices_) devices_->Hold();
    }
    ~RunningFlag() {
        running_ = false;
        if (cards_) cards_->Release();
        if (devices_) devices_->Release();
    }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

private:
    bool& running_;
    CardWatcher* cards_;
    DeviceWatcher* devices_;
};

RunActions::RunActions(Window window) : window_(std::move(window)) {}

std::unique_ptr<SqliteIntentRecord> RunActions::OpenIntents() {
    std::string error;
    std::unique_ptr<SqliteIntentRecord> intents = SqliteIntentRecord::Open(SqliteIntentRecord::DefaultPath(), error);
    if (!intents)
        window_.messenger.Show("The record of placements " + SqliteIntentRecord::DefaultPath() +
                                   " cannot be opened, so no file is placed: " + error,
                               MsgIcon::Exclamation, MsgButtons::OK, window_.appName);
    else if (!intents->Notice().empty())
        window_.messenger.Show(intents->Notice(), MsgIcon::Exclamation, MsgButtons::OK, window_.appName);
    return intents;
}

std::unique_ptr<SqliteContinuingNumbers> RunActions::OpenNumbers(bool forRun) {
    const std::string path = SqliteContinuingNumbers::DefaultPath();
    if (!forRun && access(path.c_str(), F_OK) != 0) return nullptr;
    std::string error;
    std::unique_ptr<SqliteContinuingNumbers> numbers = SqliteContinuingNumbers::Open(path, error);
    if (!numbers)
        window_.messenger.Show("The record of continuing numbers " + path + " cannot be opened, so no file is placed: " +
                                   error,
                               MsgIcon::Exclamation, MsgButtons::OK, window_.appName);
    return numbers;
}

void RunActions::Undo() {
    if (running_) return;
    MainWindowServices& services = window_.services;
    const std::string log = services.logDialog(window_.owner, window_.form.values.OutputPath);
    if (log.empty()) return;
    const RunningFlag running(running_, cards_, devices_);
    const std::unique_ptr<SqliteIntentRecord> intents = OpenIntents();
    if (!intents) return;
    const std::unique_ptr<SqliteImportRecord> imports = SqliteImportRecord::Open(SqliteImportRecord::DefaultPath());
    const std::unique_ptr<SqliteContinuingNumbers> numbers = OpenNumbers(false);
    RunUndo(log, *services.fileSystem, window_.port, /*askFirst=*/true, imports.get(), intents.get(), intents.get(),
            numbers.get());
    if (StopSignalled()) window_.stopSignalled();
}

void RunActions::UndoLastImport() {
    if (running_) return;
    MainWindowServices& services = window_.services;
    const RunningFlag running(running_, cards_, devices_);
    const std::unique_ptr<SqliteIntentRecord> intents = OpenIntents();
    if (!intents) return;
    constexpr int kListedRuns = 20;
    const std::vector<JournalRun> runs = intents->Runs(kListedRuns);
    if (runs.empty()) {
        window_.messenger.Show("No run of this computer is left to undo.", MsgIcon::Information, MsgButtons::OK,
                               window_.appName);
        return;
    }
    const std::string id = services.runDialog(window_.owner, runs);
    if (id.empty()) return;
    const std::unique_ptr<SqliteImportRecord> imports = SqliteImportRecord::Open(SqliteImportRecord::DefaultPath());
    RunJournalUndo(id, *intents, *services.fileSystem, window_.port, /*askFirst=*/true, imports.get(), intents.get());
    if (StopSignalled()) window_.stopSignalled();
}

void RunActions::CameraClocks() {
    if (running_) return;
    MainWindowServices& services = window_.services;
    RunOptions& values = window_.form.values;
    std::optional<std::string> kept;
    {
        const RunningFlag running(running_, cards_, devices_);
        RunServices survey{*services.fileSystem, window_.port, nullptr, nullptr, ProgramFacts::Current()};
        const std::unique_ptr<SqliteImportRecord> imports =
            SqliteImportRecord::OpenReadOnly(SqliteImportRecord::DefaultPath());
        survey.imports = imports.get();
        const RunOptions options = window_.form.Options();
        const CameraSurvey found = SurveyCameras(std::move(survey), options);
        if (StopSignalled()) {
            window_.stopSignalled();
            return;
        }
        // A check that ended the search has shown its message; the offsets kept
        // can still be seen and changed.
        std::string note;
        if (found.Outcome == RunOutcome::Ended)
            note = "No files were searched: the cameras listed are those with an offset kept.";
        else if (found.Stopped)
            note = "The search was stopped: only the files read before it are counted.";
        CameraClockTable table(found.Cameras, KeptCameraOffsets(options.CameraOffsets));
        if (services.editCameraClocks) {
            kept = services.editCameraClocks(window_.owner, std::move(table), note);
        } else {
            CameraClocksDialog dialog(std::move(table), window_.messenger, note, window_.owner);
            if (dialog.exec() == QDialog::Accepted) kept = dialog.OffsetsText();
        }
    }
    if (!kept) return;
    values.CameraOffsets = *kept;
    // Kept at once, through the key's row of the settings table; without the
    // row they are saved with every other option when the window closes.
    if (const SettingsKey* key = FindSettingsKey("CameraOffsets")) {
        services.store->Write(key->section, key->key, key->ValueText(values));
        services.store->Sync();
    }
}

std::optional<std::string> RunActions::AskJobCode(const RunOptions& options) {
    std::vector<std::string> recent = RecentJobCodes(options.RecentJobCodes);
    if (!options.JobCode.empty()) {
        recent.erase(std::remove(recent.begin(), recent.end(), options.JobCode), recent.end());
        recent.insert(recent.begin(), options.JobCode);
    }
    if (window_.services.askJobCode) return window_.services.askJobCode(window_.owner, recent);
    QStringList items;
    for (const std::string& code : recent) items << QString::fromStdString(code);
    bool ok = false;
    const QString code =
        QInputDialog::getItem(window_.owner, QString::fromStdString(window_.appName),
                              QStringLiteral("The names or folders of this run hold a job code.\n\nJob code:"),
                              items, 0, /*editable=*/true, &ok);
    if (!ok) return std::nullopt;
    return code.trimmed().toStdString();
}

void RunActions::Go() {
    if (running_) return;
    MainWindowServices& services = window_.services;
    RunOptions& values = window_.form.values;
    const RunningFlag running(running_, cards_, devices_);
    RunOptions options = window_.form.Options();
    // Asked at every run that needs one: the last one used is offered first.
    if (NeedsJobCode(options)) {
        const std::optional<std::string> code = AskJobCode(options);
        if (!code) return;
        options.JobCode = values.JobCode = *code;
        options.RecentJobCodes = values.RecentJobCodes = RememberJobCode(values.RecentJobCodes, *code);
    }
    RunServices run{
        *services.fileSystem,
        window_.port,
        [&services](const RunOptions& current) { ravlen::SaveSettings(*services.store, current); },
        [this, &services, &values](RunOptions& current) {
            DetectCameraMedia(true, current, *services.drives, *services.fileSystem, window_.port);
            // Show the card at once, not only after the run.
            values.SourcePath = current.SourcePath;
            values.ProcessSubfolders = current.ProcessSubfolders;
            window_.refresh();
        },
        ProgramFacts::Current(),
    };
    const std::unique_ptr<SqliteIntentRecord> intents = OpenIntents();
    if (!intents) return;
    run.intents = intents.get();
    run.journal = intents.get();
    const std::unique_ptr<SqliteImportRecord> imports = SqliteImportRecord::Open(SqliteImportRecord::DefaultPath());
    run.imports = imports.get();
    run.checkCard = true;
    run.cardLines = kCardLinesShown;
    run.eject = [](const std::string& source) { return EjectCard(source); };
    run.runEnded = [this](const CardCheck& card, double seconds) {
        // Someone who went elsewhere during a long run hears how it ended.
        if (seconds < kNotifyAfterSeconds || (window_.owner && window_.owner->isActiveWindow())) return;
        const std::string first = card.Text.substr(0, card.Text.find('\r'));
        NotifyDesktop(card.Safe ? "The card can be formatted" : "Do not format the card", first);
    };
    std::unique_ptr<SqliteContinuingNumbers> numbers;
    if (RunUsesSymbol(options, 'q') && !(numbers = OpenNumbers(true))) return;
    run.numbers = numbers.get();
    // A SourcePath of camera:<model>@<port> is a device on a cable.
    DeviceOpener devices(*services.fileSystem);
    run.openSource = [&devices](const std::string& source, const std::string& output, std::string& refusal) {
        return devices.Open(source, output, refusal);
    };
    RunDriver driver(std::move(run));
    driver.Go(options);
    if (StopSignalled()) {
        window_.stopSignalled();
        return;
    }
    // The folders as the file system reports them.
    values.SourcePath = options.SourcePath;
    values.OutputPath = options.OutputPath;
    values.ProcessSubfolders = options.ProcessSubfolders;
    window_.refresh();
}

}  // namespace ravlen::ui
