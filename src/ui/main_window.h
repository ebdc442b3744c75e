#pragma once
// frmMain: every option of a run on three tabs, the folder pickers, Go,
// Help, About and Close.

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "app/devices/source_entries.h"
#include "ui/keyed_controls.h"
#include "ui/main_form.h"
#include "ui/main_window_services.h"
#include "ui/messages.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace ravlen::ui {

class CardWatcher;
class DeviceWatcher;
class QtUserPort;
class SourceBox;
class RunActions;
class WrappingLabel;

class FrmMain : public QWidget {
public:
    // Loads the window: the file system, the caption and every option from
    // the settings store, with warnings and dialogs held back.
    explicit FrmMain(MainWindowServices services = {});
    ~FrmMain() override;

    // Shows the window and, when AutoDetect is ticked, offers a camera card.
    void Start();

    // The options of a run, as the controls hold them.
    const RunOptions& Options() const { return form_.Options(); }
    const MainForm& Form() const { return form_; }
    bool FormEventsEnabled() const { return form_.formEventsEnabled; }
    const std::string& AppName() const { return appName_; }
    QtUserPort& Port() { return *port_; }
    bool Running() const;
    // Watches for cards mounted once the window has started.
    CardWatcher* Cards() { return cards_; }
    // Watches for cameras and phones plugged in once the window has started.
    DeviceWatcher* Devices() { return devices_; }

    void GoButtonClick();
    void ShowHelp();
    void ShowAboutBox();
    // Asks for a run's CSV log and undoes that run.
    void UndoButtonClick();
    // Lists the recent runs of this computer and undoes the one chosen.
    void UndoLastButtonClick();
    // Surveys the source folder's cameras, then lets their clock offsets be
    // set; OK keeps them in the settings store.
    void CameraClocksButtonClick();
    void BrowseSourceButtonClick();
    void BrowseOutputButtonClick();
    void BrowseBackupButtonClick();
    // SaveSettings: every option into the settings store.
    void SaveSettings();
    // SIGTERM, SIGHUP or Ctrl+C: a running pass stops after its current file,
    // then the window closes as if its close button were pressed.
    void StopSignalArrived();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The tests reach the controls through it.
    friend class MainWindowProbe;

    void BuildControls();
    QWidget* BuildMainTab();
    QWidget* BuildFilterTab();
    QWidget* BuildOptionsTab();
    void Connect();
    void Load();
    // Shows the values and enabled states of the form in the controls.
    void Refresh();
    void SetPatternListEnabled(QLineEdit* list, bool enabled);
    void DetectCameraMediaAsking(DriveList& drives);
    // Puts a question that may set the source, the watches held meanwhile.
    void OfferSource(const std::function<void(RunOptions& options)>& offer);
    // The source list: the cards mounted now and the devices last seen.
    void ListSources();
    void DevicesListed(const std::vector<DeviceInfo>& present);
    void OfferDevices(const std::vector<DeviceInfo>& arrived);
    void SourceChosen(int index);
    void NextTab();

    MainWindowServices services_;
    MainForm form_;
    Messenger messenger_;
    std::unique_ptr<QtUserPort> port_;
    std::unique_ptr<RunActions> runs_;
    std::string appName_;
    CardWatcher* cards_ = nullptr;
    DeviceWatcher* devices_ = nullptr;
    // No card was there to offer when the window opened: the devices the
    // first look finds are offered instead.
    bool offerDevicesFound_ = false;
    SourceEntries sourceEntries_;

    // Controls holding one settings key each (lists, check boxes, texts),
    // reached by their key.
    KeyedControls keyed_;
    QWidget* body_ = nullptr;  // everything but the caption; disabled while a pass runs
    QTabWidget* tabs_ = nullptr;
    QPushButton* goButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
    // Main
    QLineEdit* sourcePath_ = nullptr;  // the text of sourceBox_
    SourceBox* sourceBox_ = nullptr;
    QPushButton* browseSource_ = nullptr;
    QPushButton* browseOutput_ = nullptr;
    QPushButton* browseBackup_ = nullptr;
    WrappingLabel* sampleFilename_ = nullptr;
    // Filter: the DateMode and DCFMode groups of option buttons.
    QRadioButton* dateModeMetadataOnly_ = nullptr;
    QRadioButton* dateModeAllFiles_ = nullptr;
    QRadioButton* dateModeFileSystemFallback_ = nullptr;
    QRadioButton* dateModeFileSystemOnly_ = nullptr;
    QRadioButton* dcfModeDcfOnly_ = nullptr;
    QRadioButton* dcfModeAllFiles_ = nullptr;
    QRadioButton* dcfModeKeepAsComment_ = nullptr;
    QRadioButton* dcfModeReplace_ = nullptr;
    QGroupBox* excludeFrame_ = nullptr;
    QLineEdit* excludePatterns_ = nullptr;
    QLineEdit* includePatterns_ = nullptr;
    // Options
    QPushButton* cameraClocksButton_ = nullptr;
    QLineEdit* dateFolderFormat_ = nullptr;
    QLabel* dateFolderExample_ = nullptr;
    QPushButton* helpButton_ = nullptr;
    QPushButton* aboutButton_ = nullptr;
    QPushButton* undoButton_ = nullptr;
    QPushButton* undoLastButton_ = nullptr;
};

}  // namespace ravlen::ui
