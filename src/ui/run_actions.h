#pragma once
// What the window's buttons start that works on the files: a run, the undo
// of a run and the survey of the cameras' clocks. One at a time: while one
// works the window cannot close, no other starts and cards mounted
// meanwhile wait to be offered.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ui/main_form.h"
#include "ui/main_window_services.h"

class QWidget;

namespace ravlen {
class SqliteContinuingNumbers;
class SqliteIntentRecord;
}

namespace ravlen::ui {

class CardWatcher;
class DeviceWatcher;
class QtUserPort;

class RunActions {
public:
    struct Window {
        QWidget* owner;  // parent of the dialogs
        MainWindowServices& services;
        MainForm& form;
        QtUserPort& port;
        Messenger& messenger;
        std::string appName;
        // Shows the form's values in the controls.
        std::function<void()> refresh;
        // A stop signal arrived during the action: the window closes once
        // the action has returned.
        std::function<void()> stopSignalled;
    };

    explicit RunActions(Window window);

    bool Running() const { return running_; }
    // Cards mounted and devices plugged in during an action are held until it ends.
    void HoldCardsWhileRunning(CardWatcher* cards, DeviceWatcher* devices) {
        cards_ = cards;
        devices_ = devices;
    }

    void Go();
    // Asks for a run's CSV log and undoes that run.
    void Undo();
    // Lists the recent runs of this computer and undoes the one chosen.
    void UndoLastImport();
    // Surveys the source folder's cameras, then lets their clock offsets be
    // set; OK keeps them in the settings store.
    void CameraClocks();

private:
    class RunningFlag;
    // The job code of a run that needs one; nothing when the user cancels.
    std::optional<std::string> AskJobCode(const RunOptions& options);
    // The record of continuing numbers for a run whose names or folders hold
    // them (null once the user is told why it cannot be opened), or for an
    // undo when there is one.
    std::unique_ptr<SqliteContinuingNumbers> OpenNumbers(bool forRun);
    // The record of intent, or null once the user is told why it cannot be opened.
    std::unique_ptr<SqliteIntentRecord> OpenIntents();

    Window window_;
    bool running_ = false;
    CardWatcher* cards_ = nullptr;
    DeviceWatcher* devices_ = nullptr;
};

}  // namespace ravlen::ui
