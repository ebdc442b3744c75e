#pragma once
// frmMain: every option of a run on three tabs, the folder pickers, Go,
// Help, About and Close.

#include <QWidget>
#include <memory>
#include <string>

#include "ui/main_form.h"
#include "ui/main_window_services.h"
#include "ui/messages.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace ravlen::ui {

class CardWatcher;
class QtUserPort;
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

    void GoButtonClick();
    void ShowHelp();
    void ShowAboutBox();
    // Asks for a run's CSV log and undoes that run.
    void UndoButtonClick();
    // Surveys the source folder's cameras, then lets their clock offsets be
    // set; OK keeps them in the settings store.
    void CameraClocksButtonClick();
    void BrowseSourceButtonClick();
    void BrowseOutputButtonClick();
    // SaveSettings: every option into the settings store.
    void SaveSettings();
    // SIGTERM, SIGHUP or Ctrl+C: a running pass stops after its current file,
    // then the window closes as if its close button were pressed.
    void StopSignalArrived();

    // Controls, named after the options they hold.
    QTabWidget* TabStrip1 = nullptr;
    QWidget* TabFrame[3] = {nullptr, nullptr, nullptr};
    QPushButton* GoButton = nullptr;
    QPushButton* CloseButton = nullptr;
    // "Main"
    QLineEdit* SourcePath = nullptr;
    QPushButton* BrowseSourceButton = nullptr;
    QLineEdit* OutputPath = nullptr;
    QPushButton* BrowseOutputButton = nullptr;
    QComboBox* ProcessSubfolders = nullptr;
    QComboBox* MoveOrCopy = nullptr;
    QComboBox* AddBatchVolume = nullptr;
    QComboBox* AddSerial = nullptr;
    QComboBox* FilenameFormat = nullptr;
    WrappingLabel* SampleFilename = nullptr;
    // "Filter"
    QRadioButton* EXIFOption1 = nullptr;
    QRadioButton* EXIFOption2 = nullptr;
    QRadioButton* EXIFOption2A = nullptr;
    QRadioButton* EXIFOption2B = nullptr;
    QGroupBox* fraExclude = nullptr;
    QCheckBox* ExcludeReadOnly = nullptr;
    QCheckBox* ExcludeHidden = nullptr;
    QCheckBox* ExcludeSystem = nullptr;
    QCheckBox* ExcludePattern = nullptr;
    QLineEdit* ExcludePatternList = nullptr;
    QCheckBox* IncludePattern = nullptr;
    QLineEdit* IncludePatternList = nullptr;
    QRadioButton* DCFOption1 = nullptr;
    QRadioButton* DCFOption2 = nullptr;
    QRadioButton* DCFOption2A = nullptr;
    QRadioButton* DCFOption2B = nullptr;
    // "Options"
    QCheckBox* AutoDetect = nullptr;
    QCheckBox* DisplayWarning = nullptr;
    QCheckBox* PreviewResults = nullptr;
    QCheckBox* RequestConfirmation = nullptr;
    QCheckBox* SummarizeResults = nullptr;
    QCheckBox* ReportErrors = nullptr;
    QCheckBox* VerifyCopies = nullptr;
    QCheckBox* SkipImported = nullptr;
    QPushButton* HelpButton = nullptr;
    QPushButton* AboutButton = nullptr;
    QPushButton* UndoButton = nullptr;
    QComboBox* DateModeTIFF = nullptr;
    QComboBox* DateModeRIFF = nullptr;
    QComboBox* DateModeFileSystem = nullptr;
    QComboBox* DCFVolumeDigits = nullptr;
    QComboBox* DCFBatchCleanup = nullptr;
    QComboBox* CreateLog = nullptr;
    QLineEdit* TimeShift = nullptr;
    QLineEdit* MovieTimeZone = nullptr;
    QCheckBox* SetFileTime = nullptr;
    QPushButton* CameraClocksButton = nullptr;
    QCheckBox* KeepPairsTogether = nullptr;
    QCheckBox* DateFolders = nullptr;
    QLineEdit* DateFolderFormat = nullptr;
    QLabel* DateFolderExample = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
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
    void NextTab();

    MainWindowServices services_;
    MainForm form_;
    Messenger messenger_;
    std::unique_ptr<QtUserPort> port_;
    std::unique_ptr<RunActions> runs_;
    QWidget* body_ = nullptr;
    std::string appName_;
    CardWatcher* cards_ = nullptr;
};

}  // namespace ravlen::ui
