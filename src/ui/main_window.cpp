#include "ui/main_window.h"

#include <algorithm>
#include <utility>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTabWidget>

#include "app/cards/camera_media.h"
#include "app/cards/media_arrivals.h"
#include "app/settings/special_folders.h"
#include "model/run_plan.h"
#include "model/version.h"
#include "platform/desktop_services.h"
#include "platform/mount_drives.h"
#include "platform/posix_file_system.h"
#include "ui/about_window.h"
#include "ui/card_watcher.h"
#include "ui/device_watcher.h"
#include "ui/format_dialog.h"
#include "ui/qt_user_port.h"
#include "ui/runs_dialog.h"
#include "ui/run_actions.h"
#include "ui/screen_fit.h"
#include "ui/source_box.h"
#include "ui/wrapping_label.h"

namespace ravlen::ui {

namespace {

// Shows a group's state; both buttons of a pair may be off.
void ShowPair(QRadioButton* a, QRadioButton* b, bool aOn, bool bOn) {
    const QSignalBlocker blockA(a);
    const QSignalBlocker blockB(b);
    QButtonGroup* group = a->group();
    if (!aOn && !bOn && group != nullptr) {
        group->setExclusive(false);
        a->setChecked(false);
        b->setChecked(false);
        group->setExclusive(true);
        return;
    }
    a->setChecked(aOn);
    b->setChecked(bOn);
}

// Shows a group of option buttons: the first two, then the sub-group and
// whether it can be chosen.
void ShowGroup(const OptionGroup& group, QRadioButton* option1, QRadioButton* option2, QRadioButton* optionA,
               QRadioButton* optionB) {
    ShowPair(option1, option2, group.option1, group.option2);
    ShowPair(optionA, optionB, group.optionA, group.optionB);
    optionA->setEnabled(group.subEnabled);
    optionB->setEnabled(group.subEnabled);
}

}  // namespace

FrmMain::FrmMain(MainWindowServices services)
    : services_(std::move(services)),
      form_(MainForm::Hooks{
          [this](const std::string& text) {
              return messenger_.Show(text, MsgIcon::Exclamation, MsgButtons::YesNo, Version().Title) == MsgAnswer::Yes;
          },
          [this](const FilenameFormatDefinition& current) {
              if (services_.editCustomFormat) return services_.editCustomFormat(this, current);
              return EditCustomFormat(this, current, messenger_, [this] { ShowHelp(); });
          },
          [this] { dcfModeDcfOnly_->setFocus(Qt::OtherFocusReason); },
          &DateTime::Now,
      }),
      messenger_(this) {
    setObjectName("frmMain");
    messenger_.SetHook(services_.messageHook);
    if (!services_.store) services_.store = std::make_unique<SettingsStore>(SettingsStore::DefaultPath());
    if (!services_.drives) services_.drives = std::make_unique<MountDriveList>();
    if (!services_.devices) services_.devices = GphotoDeviceLister();
    if (!services_.specialFolders) services_.specialFolders = std::make_unique<QtSpecialFolders>();
    if (!services_.folderDialog) services_.folderDialog = &ChooseFolderWithDesktop;
    if (!services_.logDialog) services_.logDialog = &ChooseRunLog;
    if (!services_.runDialog) services_.runDialog = &ChooseRunToUndo;
    if (!services_.open) services_.open = &OpenWithDesktop;
    messenger_.SetOpener(services_.open);
    if (services_.programFolder.empty()) services_.programFolder = ProgramFolder();

    BuildControls();
    port_ = std::make_unique<QtUserPort>(this, body_, messenger_);
    Connect();
    Load();
    runs_ = std::make_unique<RunActions>(RunActions::Window{
        this,
        services_,
        form_,
        *port_,
        messenger_,
        appName_,
        [this] { Refresh(); },
        [this] { QMetaObject::invokeMethod(this, &FrmMain::StopSignalArrived, Qt::QueuedConnection); },
    });
}

FrmMain::~FrmMain() = default;

// ---------------------------------------------------------------- wiring

void FrmMain::Connect() {
    // Plain values: the control is the option.
    keyed_.BindDirect(this, form_.values);

    // Controls with behaviour: the form decides, then the controls show it.
    auto listHandler = [this]<typename Named>(const char* key, void (MainForm::*handler)(Named)) {
        if (QComboBox* list = keyed_.List(key))
            connect(list, &QComboBox::activated, this, [this, handler](int index) {
                (form_.*handler)(static_cast<Named>(index));
                Refresh();
            });
    };
    listHandler("AddSerial", &MainForm::AddSerialChange);
    listHandler("AddBatchVolume", &MainForm::AddBatchVolumeChange);
    listHandler("FilenameFormat", &MainForm::FilenameFormatChange);

    auto checkHandler = [this](const char* key, void (MainForm::*handler)(bool)) {
        if (QCheckBox* box = keyed_.Check(key))
            connect(box, &QCheckBox::clicked, this, [this, handler](bool ticked) {
                (form_.*handler)(ticked);
                Refresh();
            });
    };
    checkHandler("ExcludeSystem", &MainForm::ExcludeSystemClick);
    checkHandler("ExcludePattern", &MainForm::ExcludePatternClick);
    checkHandler("IncludePattern", &MainForm::IncludePatternClick);
    checkHandler("DateFolders", &MainForm::DateFoldersClick);
    connect(dateFolderFormat_, &QLineEdit::textEdited, this, [this](const QString& value) {
        form_.DateFolderFormatChange(value.toStdString());
        Refresh();
    });

    // An option button acts when it becomes selected, by mouse or keyboard.
    auto radio = [this](QRadioButton* button, void (MainForm::*handler)()) {
        connect(button, &QRadioButton::toggled, this, [this, handler](bool on) {
            if (!on) return;
            (form_.*handler)();
            Refresh();
        });
    };
    radio(dateModeMetadataOnly_, &MainForm::EXIFOption1Click);
    radio(dateModeAllFiles_, &MainForm::EXIFOption2Click);
    radio(dateModeFileSystemFallback_, &MainForm::EXIFOption2AClick);
    radio(dateModeFileSystemOnly_, &MainForm::EXIFOption2BClick);
    radio(dcfModeDcfOnly_, &MainForm::DCFOption1Click);
    radio(dcfModeAllFiles_, &MainForm::DCFOption2Click);
    radio(dcfModeKeepAsComment_, &MainForm::DCFOption2AClick);
    radio(dcfModeReplace_, &MainForm::DCFOption2BClick);

    connect(sourceBox_, &QComboBox::activated, this, &FrmMain::SourceChosen);
    sourceBox_->aboutToOpen = [this] { ListSources(); };
    connect(browseSource_, &QPushButton::clicked, this, &FrmMain::BrowseSourceButtonClick);
    connect(browseOutput_, &QPushButton::clicked, this, &FrmMain::BrowseOutputButtonClick);
    connect(browseBackup_, &QPushButton::clicked, this, &FrmMain::BrowseBackupButtonClick);
    connect(helpButton_, &QPushButton::clicked, this, &FrmMain::ShowHelp);
    connect(aboutButton_, &QPushButton::clicked, this, &FrmMain::ShowAboutBox);
    connect(undoButton_, &QPushButton::clicked, this, &FrmMain::UndoButtonClick);
    connect(undoLastButton_, &QPushButton::clicked, this, &FrmMain::UndoLastButtonClick);
    connect(cameraClocksButton_, &QPushButton::clicked, this, &FrmMain::CameraClocksButtonClick);
    connect(goButton_, &QPushButton::clicked, this, &FrmMain::GoButtonClick);
    connect(closeButton_, &QPushButton::clicked, this, &QWidget::close);
    // On the controls, so that it is dead while a pass runs.
    auto* f1 = new QShortcut(QKeySequence::HelpContents, body_);
    connect(f1, &QShortcut::activated, this, &FrmMain::ShowHelp);

    // Ctrl+Tab moves to the next tab, after the last to the first, wherever
    // the focus is (a list box would otherwise take it for a search key);
    // Ctrl+Shift+Tab is taken away from the tab strip and does nothing.
    auto* nextTab = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), body_);
    connect(nextTab, &QShortcut::activated, this, &FrmMain::NextTab);
    for (QKeyCombination keys : {Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, Qt::CTRL | Qt::Key_Backtab,
                                 Qt::CTRL | Qt::SHIFT | Qt::Key_Tab}) {
        auto* nothing = new QShortcut(QKeySequence(keys), body_);
        nothing->setObjectName("NoPreviousTab");
    }
}

// ---------------------------------------------------------------- showing

void FrmMain::Refresh() {
    keyed_.Show(form_.values);
    sampleFilename_->setText(QString::fromStdString(form_.sampleFilename));
    ShowGroup(form_.exif, dateModeMetadataOnly_, dateModeAllFiles_, dateModeFileSystemFallback_,
              dateModeFileSystemOnly_);
    ShowGroup(form_.dcf, dcfModeDcfOnly_, dcfModeAllFiles_, dcfModeKeepAsComment_, dcfModeReplace_);
    SetPatternListEnabled(excludePatterns_, form_.excludePatternListEnabled);
    SetPatternListEnabled(includePatterns_, form_.includePatternListEnabled);
    dateFolderFormat_->setEnabled(form_.dateFolderFormatEnabled);
    dateFolderExample_->setText(QString::fromStdString(form_.dateFolderExample));
    dateFolderExample_->setEnabled(form_.dateFolderFormatEnabled);
}

void FrmMain::SetPatternListEnabled(QLineEdit* list, bool enabled) {
    list->setEnabled(enabled);
    // Enabled: the background of a text box; disabled: that of the frame.
    const QColor base = enabled ? sourcePath_->palette().color(QPalette::Active, QPalette::Base)
                                : excludeFrame_->palette().color(QPalette::Active, QPalette::Window);
    QPalette palette = list->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, base);
    list->setPalette(palette);
}

// ---------------------------------------------------------------- lifecycle

void FrmMain::Load() {
    if (!services_.fileSystem) services_.fileSystem = std::make_unique<PosixFileSystem>(&MimeTypeDescription);
    appName_ = ravlen::AppName();
    setWindowTitle(QString::fromStdString(appName_));

    form_.formEventsEnabled = false;
    RunOptions stored = LoadOptions(*services_.store);
    CompleteFirstStart(stored, *services_.specialFolders, [this](RunOptions& options) {
        DetectCameraMedia(false, options, *services_.drives, *services_.fileSystem, *port_);
    });
    form_.LoadSettings(stored);
    Refresh();
    form_.formEventsEnabled = true;
}

void FrmMain::Start() {
    FitToScreen(*this, sizeHint());
    show();
    // Cards mounted from now on are offered as they come, with AutoDetect ticked.
    cards_ = new CardWatcher(
        *services_.drives,
        [this](const std::vector<DriveInfo>& arrived) {
            ListedDrives drives(arrived);
            if (form_.values.AutoDetect) DetectCameraMediaAsking(drives);
        },
        this);
    // Devices plugged in from now on likewise; those there now are listed.
    devices_ = new DeviceWatcher(
        services_.devices, [this](const std::vector<DeviceInfo>& present) { DevicesListed(present); },
        [this](const std::vector<DeviceInfo>& arrived) { OfferDevices(arrived); }, this);
    runs_->HoldCardsWhileRunning(cards_, devices_);
    ListSources();
    if (form_.values.AutoDetect) {
        offerDevicesFound_ = CameraCards(*services_.drives, *services_.fileSystem).empty();
        DetectCameraMediaAsking(*services_.drives);
    }
}

void FrmMain::ListSources() {
    sourceEntries_.SetCards(CameraCards(*services_.drives, *services_.fileSystem));
    sourceBox_->SetEntries(sourceEntries_.Entries());
}

void FrmMain::DevicesListed(const std::vector<DeviceInfo>& present) {
    sourceEntries_.SetDevices(present);
    ListSources();
    // A device chosen shows as its entry while it is there, as its path once gone.
    Refresh();
    // Plugged in before the window opened, it is offered as a card there
    // then is: once, with the first look.
    if (std::exchange(offerDevicesFound_, false) && !present.empty()) OfferDevices(present);
}

void FrmMain::OfferDevices(const std::vector<DeviceInfo>& arrived) {
    if (!form_.values.AutoDetect) return;
    OfferSource([&arrived, this](RunOptions& options) { OfferArrivedDevice(true, arrived, options, *port_); });
}

void FrmMain::SourceChosen(int index) {
    const std::vector<SourceEntry> entries = sourceEntries_.Entries();
    const std::string path = sourceBox_->SourcePathAt(index);
    const auto chosen = std::find_if(entries.begin(), entries.end(),
                                     [&path](const SourceEntry& entry) { return entry.SourcePath == path; });
    if (chosen != entries.end()) ChooseSource(*chosen, form_.values);
    Refresh();
}

void FrmMain::DetectCameraMediaAsking(DriveList& drives) {
    OfferSource([&drives, this](RunOptions& options) {
        DetectCameraMedia(true, options, drives, *services_.fileSystem, *port_);
    });
}

void FrmMain::OfferSource(const std::function<void(RunOptions& options)>& offer) {
    // One question at a time: a card mounted or a device plugged in while
    // one is on screen waits for its answer.
    cards_->Hold();
    devices_->Hold();
    port_->SetBusy(true);
    RunOptions options = form_.Options();
    offer(options);
    port_->SetBusy(false);
    form_.values.SourcePath = options.SourcePath;
    form_.values.ProcessSubfolders = options.ProcessSubfolders;
    Refresh();
    devices_->Release();
    cards_->Release();
}

bool FrmMain::Running() const { return runs_->Running(); }

void FrmMain::SaveSettings() { ravlen::SaveSettings(*services_.store, form_.Options()); }

void FrmMain::StopSignalArrived() {
    if (!Running()) {
        close();
        return;
    }
    // A question open at the moment is answered No; the pass sees the
    // signal as Stop and the window closes once it has ended.
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    port_->SetCancel(true);
}

void FrmMain::closeEvent(QCloseEvent* event) {
    // The window cannot go while a pass is using it; Stop ends the pass.
    if (Running()) {
        event->ignore();
        return;
    }
    SaveSettings();
    event->accept();
}

void FrmMain::NextTab() { tabs_->setCurrentIndex((tabs_->currentIndex() + 1) % tabs_->count()); }

// ---------------------------------------------------------------- actions

void FrmMain::BrowseSourceButtonClick() {
    if (auto folder = PickFolder(this, services_.folderDialog, messenger_, *services_.fileSystem,
                                 "Select Source Folder",
                                 PickerStart(*services_.fileSystem, form_.values.SourcePath,
                                             CardsFolder(*services_.fileSystem)))) {
        form_.values.SourcePath = *folder;
        Refresh();
    }
}

void FrmMain::BrowseOutputButtonClick() {
    if (auto folder = PickFolder(this, services_.folderDialog, messenger_, *services_.fileSystem,
                                 "Select Output Folder",
                                 PickerStart(*services_.fileSystem, form_.values.OutputPath, HomeFolder()))) {
        form_.values.OutputPath = *folder;
        Refresh();
    }
}

// A folder picked is added to the backup folders, after those already there.
void FrmMain::BrowseBackupButtonClick() {
    const std::vector<std::string> backups = BackupFoldersOf(form_.values.BackupPaths);
    if (auto folder = PickFolder(this, services_.folderDialog, messenger_, *services_.fileSystem,
                                 "Select Backup Folder",
                                 PickerStart(*services_.fileSystem, backups.empty() ? std::string() : backups.back(),
                                             HomeFolder()))) {
        if (std::find(backups.begin(), backups.end(), *folder) == backups.end())
            form_.values.BackupPaths = AddedBackupFolder(form_.values.BackupPaths, *folder);
        Refresh();
    }
}

void FrmMain::ShowHelp() {
    // From a modal dialog (the custom format) the viewer must belong to the
    // dialog, or the dialog would keep it from taking input.
    QWidget* owner = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : this;
    ui::ShowHelp(messenger_, services_.open, services_.programFolder, owner);
}

void FrmMain::ShowAboutBox() { ui::ShowAboutBox(this, messenger_, services_.open); }

void FrmMain::GoButtonClick() { runs_->Go(); }
void FrmMain::UndoButtonClick() { runs_->Undo(); }
void FrmMain::UndoLastButtonClick() { runs_->UndoLastImport(); }
void FrmMain::CameraClocksButtonClick() { runs_->CameraClocks(); }

}  // namespace ravlen::ui
