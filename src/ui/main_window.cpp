#include "ui/main_window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabWidget>
#include <QTimeZone>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>

#include "app/cards/camera_media.h"
#include "app/cards/media_arrivals.h"
#include "app/settings/special_folders.h"
#include "model/version.h"
#include "platform/desktop_services.h"
#include "platform/mount_drives.h"
#include "platform/posix_file_system.h"
#include "ui/about_window.h"
#include "ui/card_watcher.h"
#include "ui/format_dialog.h"
#include "ui/qt_user_port.h"
#include "ui/run_actions.h"
#include "ui/wrapping_label.h"

namespace ravlen::ui {

namespace {

// A list named after its settings key, with the key's items.
QComboBox* List(QWidget* parent, const char* key) {
    auto* list = new QComboBox(parent);
    list->setObjectName(key);
    if (const SettingsKey* row = FindSettingsKey(key))
        for (const char* item : row->items) list->addItem(QString::fromUtf8(item));
    list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return list;
}

// Lists that stand in one column share one width, wide enough for the
// longest item of any of them.
void EqualWidths(std::initializer_list<QComboBox*> lists) {
    int width = 0;
    for (QComboBox* list : lists) width = std::max(width, list->sizeHint().width());
    for (QComboBox* list : lists) list->setMinimumWidth(width);
}

QCheckBox* Check(QWidget* parent, const char* name, const char* caption) {
    auto* box = new QCheckBox(QString::fromUtf8(caption), parent);
    box->setObjectName(name);
    return box;
}

QRadioButton* Radio(QWidget* parent, const char* name, const char* caption) {
    auto* button = new QRadioButton(QString::fromUtf8(caption), parent);
    button->setObjectName(name);
    return button;
}

QLabel* Caption(QWidget* parent, const char* text, QWidget* buddy) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setBuddy(buddy);
    return label;
}

// A group of option buttons as the form holds it: a first button and
// "Timestamp all files", with a sub-group of two buttons indented below.
QVBoxLayout* OptionGroupLayout(QGroupBox* frame, QRadioButton* option1, QRadioButton* option2,
                               QRadioButton* optionA, QRadioButton* optionB) {
    auto* top = new QButtonGroup(frame);
    top->addButton(option1);
    top->addButton(option2);
    auto* sub = new QButtonGroup(frame);
    sub->addButton(optionA);
    sub->addButton(optionB);

    auto* subLayout = new QVBoxLayout;
    const QStyle* style = frame->style();
    const int indent = style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
                       style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
    subLayout->setContentsMargins(indent, 0, 0, 0);
    subLayout->addWidget(optionA);
    subLayout->addWidget(optionB);

    auto* layout = new QVBoxLayout(frame);
    layout->addWidget(option1);
    layout->addWidget(option2);
    layout->addLayout(subLayout);
    return layout;
}

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

void ShowText(QLineEdit* edit, const std::string& text) {
    const QString value = QString::fromStdString(text);
    if (edit->text() != value) edit->setText(value);
}

// The settings key a list or check box is named after.
const SettingsKey& KeyOf(const QWidget* control) {
    const SettingsKey* row = FindSettingsKey(control->objectName().toStdString());
    Q_ASSERT(row && row->IsNumber());
    return *row;
}

// Shows the option a list is named after.
void ShowIndex(QComboBox* list, const RunOptions& options) {
    const int index = KeyOf(list).get(options) - KeyOf(list).minimum;
    if (index >= 0 && index < list->count() && list->currentIndex() != index) list->setCurrentIndex(index);
}

void ShowCheck(QCheckBox* box, const RunOptions& options) { box->setChecked(KeyOf(box).get(options) != 0); }

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
          [this] { DCFOption1->setFocus(Qt::OtherFocusReason); },
          &DateTime::Now,
      }),
      messenger_(this) {
    setObjectName("frmMain");
    messenger_.SetHook(services_.messageHook);
    if (!services_.store) services_.store = std::make_unique<SettingsStore>(SettingsStore::DefaultPath());
    if (!services_.drives) services_.drives = std::make_unique<MountDriveList>();
    if (!services_.specialFolders) services_.specialFolders = std::make_unique<QtSpecialFolders>();
    if (!services_.folderDialog) services_.folderDialog = &ChooseFolderWithDesktop;
    if (!services_.logDialog) services_.logDialog = &ChooseRunLog;
    if (!services_.open) services_.open = &OpenWithDesktop;
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

// ---------------------------------------------------------------- controls

void FrmMain::BuildControls() {
    body_ = new QWidget(this);
    TabStrip1 = new QTabWidget(body_);
    TabStrip1->setObjectName("TabStrip1");
    TabStrip1->addTab(BuildMainTab(), tr("Main"));
    TabStrip1->addTab(BuildFilterTab(), tr("Filter"));
    TabStrip1->addTab(BuildOptionsTab(), tr("Options"));

    GoButton = new QPushButton(tr("&Go"), body_);
    GoButton->setObjectName("GoButton");
    GoButton->setDefault(true);
    CloseButton = new QPushButton(tr("&Close"), body_);
    CloseButton->setObjectName("CloseButton");

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(GoButton);
    buttons->addWidget(CloseButton);

    auto* bodyLayout = new QVBoxLayout(body_);
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    bodyLayout->addWidget(TabStrip1, 1);
    bodyLayout->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(body_);
}

QWidget* FrmMain::BuildMainTab() {
    auto* tab = new QWidget;
    tab->setObjectName("TabFrame1");
    TabFrame[0] = tab;
    const int charWidth = fontMetrics().averageCharWidth();

    auto* folders = new QGroupBox(tr("Folders"), tab);
    SourcePath = new QLineEdit(folders);
    SourcePath->setObjectName("SourcePath");
    SourcePath->setMinimumWidth(charWidth * 36);
    BrowseSourceButton = new QPushButton(QStringLiteral("..."), folders);
    BrowseSourceButton->setObjectName("BrowseSourceButton");
    BrowseSourceButton->setToolTip(tr("Select Source Folder"));
    BrowseSourceButton->setAccessibleName(tr("Select Source Folder"));
    OutputPath = new QLineEdit(folders);
    OutputPath->setObjectName("OutputPath");
    BrowseOutputButton = new QPushButton(QStringLiteral("..."), folders);
    BrowseOutputButton->setObjectName("BrowseOutputButton");
    BrowseOutputButton->setToolTip(tr("Select Output Folder"));
    BrowseOutputButton->setAccessibleName(tr("Select Output Folder"));
    for (QPushButton* browse : {BrowseSourceButton, BrowseOutputButton}) {
        browse->setAutoDefault(false);
        browse->setMaximumWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("...")) + charWidth * 4);
    }
    ProcessSubfolders = List(folders, "ProcessSubfolders");
    MoveOrCopy = List(folders, "MoveOrCopy");
    VerifyCopies = Check(folders, "VerifyCopies", "&Verify copies");
    VerifyCopies->setToolTip(tr("Reads each copy back from the disk and compares it with the original; a copy "
                                "that differs is removed and the original kept"));

    auto* folderGrid = new QGridLayout(folders);
    folderGrid->addWidget(Caption(folders, "&Source Folder", SourcePath), 0, 0);
    folderGrid->addWidget(SourcePath, 0, 1);
    folderGrid->addWidget(BrowseSourceButton, 0, 2);
    folderGrid->addWidget(Caption(folders, "&Output Folder", OutputPath), 1, 0);
    folderGrid->addWidget(OutputPath, 1, 1);
    folderGrid->addWidget(BrowseOutputButton, 1, 2);
    folderGrid->addWidget(Caption(folders, "S&ubfolders", ProcessSubfolders), 2, 0);
    folderGrid->addWidget(ProcessSubfolders, 2, 1, 1, 2, Qt::AlignLeft);
    folderGrid->addWidget(Caption(folders, "&Move or copy", MoveOrCopy), 3, 0);
    folderGrid->addWidget(MoveOrCopy, 3, 1, 1, 2, Qt::AlignLeft);
    folderGrid->addWidget(VerifyCopies, 4, 1, 1, 2, Qt::AlignLeft);
    folderGrid->setColumnStretch(1, 1);

    auto* filenames = new QGroupBox(tr("Filenames"), tab);
    AddBatchVolume = List(filenames, "AddBatchVolume");
    AddSerial = List(filenames, "AddSerial");
    FilenameFormat = List(filenames, "FilenameFormat");
    SampleFilename = new WrappingLabel(filenames);
    SampleFilename->setObjectName("SampleFilename");
    SampleFilename->setMinimumLines(2);
    // The labelled formats break their samples after 48 characters; such a
    // line fits without a second break.
    SampleFilename->setMinimumWidth(
        SampleFilename->fontMetrics().horizontalAdvance(QStringLiteral("{DT=2004-12-25 @18-09-11}{SN=001}{BA=ABCD}")) +
        2 * SampleFilename->frameWidth() + charWidth);

    auto* nameGrid = new QGridLayout(filenames);
    nameGrid->addWidget(Caption(filenames, "&Batch/Volume", AddBatchVolume), 0, 0);
    nameGrid->addWidget(AddBatchVolume, 0, 1, Qt::AlignLeft);
    nameGrid->addWidget(Caption(filenames, "Se&rial Number", AddSerial), 1, 0);
    nameGrid->addWidget(AddSerial, 1, 1, Qt::AlignLeft);
    nameGrid->addWidget(Caption(filenames, "&Format", FilenameFormat), 2, 0);
    nameGrid->addWidget(FilenameFormat, 2, 1, Qt::AlignLeft);
    nameGrid->addWidget(new QLabel(tr("Example"), filenames), 3, 0, Qt::AlignTop);
    nameGrid->addWidget(SampleFilename, 3, 1);
    nameGrid->setColumnStretch(1, 1);
    EqualWidths({AddBatchVolume, AddSerial, FilenameFormat});
    EqualWidths({ProcessSubfolders, MoveOrCopy});

    auto* overview = new QGroupBox(tr("Overview"), tab);
    auto* overviewText = new QLabel(
        tr("Renames photo, audio, and video files produced by digital cameras with new filenames that sort "
           "chronologically and show when contents were recorded. Places timestamped files in the selected output "
           "folder."),
        overview);
    overviewText->setWordWrap(true);
    auto* overviewLayout = new QVBoxLayout(overview);
    overviewLayout->addWidget(overviewText);

    auto* layout = new QVBoxLayout(tab);
    layout->addWidget(folders);
    layout->addWidget(filenames);
    layout->addWidget(overview);
    layout->addStretch(1);
    return tab;
}

QWidget* FrmMain::BuildFilterTab() {
    auto* tab = new QWidget;
    tab->setObjectName("TabFrame2");
    TabFrame[1] = tab;

    auto* metadata = new QGroupBox(tr("Metadata"), tab);
    EXIFOption1 = Radio(metadata, "EXIFOption1", "Timestamp only files which have valid &Metadata dates");
    EXIFOption2 = Radio(metadata, "EXIFOption2", "&Timestamp all files");
    EXIFOption2A = Radio(metadata, "EXIFOption2A", "Use File System dates &when Metadata unavailable");
    EXIFOption2B = Radio(metadata, "EXIFOption2B", "Use File System dates o&nly");
    OptionGroupLayout(metadata, EXIFOption1, EXIFOption2, EXIFOption2A, EXIFOption2B);

    fraExclude = new QGroupBox(tr("Exclude"), tab);
    fraExclude->setObjectName("fraExclude");
    ExcludeReadOnly = Check(fraExclude, "ExcludeReadOnly", "&Read-only");
    ExcludeHidden = Check(fraExclude, "ExcludeHidden", "&Hidden");
    ExcludeSystem = Check(fraExclude, "ExcludeSystem", "S&ystem");
    ExcludePattern = Check(fraExclude, "ExcludePattern", "&Exclude");
    ExcludePatternList = new QLineEdit(fraExclude);
    ExcludePatternList->setObjectName("ExcludePatternList");
    ExcludePatternList->setAccessibleName(tr("Exclude patterns"));
    IncludePattern = Check(fraExclude, "IncludePattern", "&Include only");
    IncludePatternList = new QLineEdit(fraExclude);
    IncludePatternList->setObjectName("IncludePatternList");
    IncludePatternList->setAccessibleName(tr("Include only patterns"));
    const QString patternHelp = tr("Wildcard patterns separated by \";\": ? any character, * any characters, "
                                   "# any digit, [list] or [!list] one character in or not in the list");
    ExcludePatternList->setToolTip(patternHelp);
    IncludePatternList->setToolTip(patternHelp);

    auto* attributes = new QHBoxLayout;
    attributes->addWidget(ExcludeReadOnly);
    attributes->addWidget(ExcludeHidden);
    attributes->addWidget(ExcludeSystem);
    attributes->addStretch(1);
    auto* excludeGrid = new QGridLayout(fraExclude);
    excludeGrid->addWidget(new QLabel(tr("Ignore files and folders that meet the following criteria:"), fraExclude),
                           0, 0, 1, 2);
    excludeGrid->addLayout(attributes, 1, 0, 1, 2);
    excludeGrid->addWidget(ExcludePattern, 2, 0);
    excludeGrid->addWidget(ExcludePatternList, 2, 1);
    excludeGrid->addWidget(IncludePattern, 3, 0);
    excludeGrid->addWidget(IncludePatternList, 3, 1);
    excludeGrid->setColumnStretch(1, 1);

    auto* dcfFrame = new QGroupBox(tr("DCF"), tab);
    DCFOption1 = Radio(dcfFrame, "DCFOption1", "Timestamp only files which have valid &DCF filenames");
    DCFOption2 = Radio(dcfFrame, "DCFOption2", "Timestamp &all files");
    DCFOption2A = Radio(dcfFrame, "DCFOption2A", "&Preserve non-DCF filenames as Comments");
    DCFOption2B = Radio(dcfFrame, "DCFOption2B", "Rep&lace non-DCF filenames");
    OptionGroupLayout(dcfFrame, DCFOption1, DCFOption2, DCFOption2A, DCFOption2B);

    auto* layout = new QVBoxLayout(tab);
    layout->addWidget(metadata);
    layout->addWidget(fraExclude);
    layout->addWidget(dcfFrame);
    layout->addStretch(1);
    return tab;
}

QWidget* FrmMain::BuildOptionsTab() {
    auto* tab = new QWidget;
    tab->setObjectName("TabFrame3");
    TabFrame[2] = tab;

    auto* feedback = new QGroupBox(tr("Feedback"), tab);
    AutoDetect = Check(feedback, "AutoDetect", "Auto-&detect digital camera media");
    DisplayWarning = Check(feedback, "DisplayWarning", "Request confirmation for risky &settings");
    PreviewResults = Check(feedback, "PreviewResults", "&Preview results before processing");
    RequestConfirmation = Check(feedback, "RequestConfirmation", "Request co&nfirmation before processing");
    SummarizeResults = Check(feedback, "SummarizeResults", "Su&mmarize results after processing");
    ReportErrors = Check(feedback, "ReportErrors", "&Report errors during processing");
    auto* feedbackLayout = new QVBoxLayout(feedback);
    for (QCheckBox* box : {AutoDetect, DisplayWarning, PreviewResults, RequestConfirmation, SummarizeResults,
                           ReportErrors})
        feedbackLayout->addWidget(box);

    auto* advanced = new QGroupBox(tr("Advanced"), tab);
    DateModeTIFF = List(advanced, "DateModeTIFF");
    DateModeRIFF = List(advanced, "DateModeRIFF");
    DateModeFileSystem = List(advanced, "DateModeFileSystem");
    DCFVolumeDigits = List(advanced, "DCFVolumeDigits");
    DCFBatchCleanup = List(advanced, "DCFBatchCleanup");
    CreateLog = List(advanced, "CreateLog");
    auto* advancedGrid = new QGridLayout(advanced);
    const std::initializer_list<std::pair<const char*, QComboBox*>> rows{
        {"&TIFF dates", DateModeTIFF},           {"R&IFF dates", DateModeRIFF},
        {"File S&ystem dates", DateModeFileSystem}, {"DCF &Volume digits", DCFVolumeDigits},
        {"DCF &Batch cleanup", DCFBatchCleanup}, {"Create &log file", CreateLog},
    };
    int row = 0;
    for (const auto& [caption, list] : rows) {
        advancedGrid->addWidget(Caption(advanced, caption, list), row, 0);
        advancedGrid->addWidget(list, row, 1, Qt::AlignLeft);
        ++row;
    }
    advancedGrid->setColumnStretch(1, 1);
    EqualWidths({DateModeTIFF, DateModeRIFF, DateModeFileSystem, DCFVolumeDigits, DCFBatchCleanup, CreateLog});

    // What corrects the cameras' clocks, and the files' own times ([Time]).
    auto* time = new QGroupBox(tr("Time"), tab);
    time->setObjectName("fraTime");
    TimeShift = new QLineEdit(time);
    TimeShift->setObjectName("TimeShift");
    TimeShift->setAccessibleName(tr("Time shift"));
    TimeShift->setPlaceholderText(tr("none, or e.g. +01:00:00 or -1 02:30:00"));
    TimeShift->setToolTip(tr("Moves every metadata date by this much, for this run only: a sign, days and a "
                             "blank when needed, then hours:minutes:seconds. It is never saved."));
    CameraClocksButton = new QPushButton(tr("Camera clocks..."), time);
    CameraClocksButton->setObjectName("CameraClocksButton");
    CameraClocksButton->setAutoDefault(false);
    CameraClocksButton->setToolTip(tr("Lists the cameras of the source folder and keeps an offset for each "
                                      "camera's clock"));
    MovieTimeZone = new QLineEdit(time);
    MovieTimeZone->setObjectName("MovieTimeZone");
    MovieTimeZone->setAccessibleName(tr("Movie time zone"));
    MovieTimeZone->setPlaceholderText(tr("this computer's zone"));
    MovieTimeZone->setToolTip(tr("The zone of a movie that stores only UTC, as a name such as Europe/Paris"));
    QStringList zones;
    for (const QByteArray& zone : QTimeZone::availableTimeZoneIds()) zones << QString::fromUtf8(zone);
    auto* zoneNames = new QCompleter(zones, MovieTimeZone);
    zoneNames->setCaseSensitivity(Qt::CaseInsensitive);
    zoneNames->setFilterMode(Qt::MatchContains);
    MovieTimeZone->setCompleter(zoneNames);
    SetFileTime = Check(time, "SetFileTime", "Set the &files' modified times to their recording times");
    SetFileTime->setToolTip(tr("Needs the CSV log, from which the undo puts each file's old time back"));
    auto* timeGrid = new QGridLayout(time);
    timeGrid->addWidget(Caption(time, "Cloc&k shift (this run only)", TimeShift), 0, 0);
    timeGrid->addWidget(TimeShift, 0, 1);
    timeGrid->addWidget(CameraClocksButton, 0, 2);
    timeGrid->addWidget(Caption(time, "Movie time &zone", MovieTimeZone), 1, 0);
    timeGrid->addWidget(MovieTimeZone, 1, 1, 1, 2);
    timeGrid->addWidget(SetFileTime, 2, 0, 1, 3);
    timeGrid->setColumnStretch(1, 1);

    auto* import = new QGroupBox(tr("Import"), tab);
    import->setObjectName("fraImport");
    KeepPairsTogether = Check(import, "KeepPairsTogether", "Keep RA&W+JPEG pairs and sidecars together");
    KeepPairsTogether->setToolTip(tr("Files of one shot (same name and time) share a serial number; XMP, THM "
                                     "and WAV files of a picture's name follow it."));
    DateFolders = Check(import, "DateFolders", "Date f&olders");
    DateFolderFormat = new QLineEdit(import);
    DateFolderFormat->setObjectName("DateFolderFormat");
    DateFolderFormat->setAccessibleName(tr("Date folder format"));
    DateFolderFormat->setToolTip(tr("Folders below the output folder, separated by \"/\": yyyy year, mm month, "
                                    "dd day, hh hour, nn minute, ss second; other text between double quotes, as "
                                    "in yyyy/\"Summer \"yyyy"));
    DateFolderExample = new QLabel(import);
    DateFolderExample->setObjectName("DateFolderExample");
    DateFolderExample->setTextFormat(Qt::PlainText);
    auto* importGrid = new QGridLayout(import);
    importGrid->addWidget(KeepPairsTogether, 0, 0, 1, 2);
    importGrid->addWidget(DateFolders, 1, 0);
    importGrid->addWidget(DateFolderFormat, 1, 1);
    importGrid->addWidget(DateFolderExample, 2, 1);
    SkipImported = Check(import, "SkipImported", "Skip files alr&eady imported");
    importGrid->addWidget(SkipImported, 3, 0, 1, 2);
    importGrid->setColumnStretch(1, 1);

    HelpButton = new QPushButton(tr("&Help"), tab);
    HelpButton->setObjectName("HelpButton");
    HelpButton->setAutoDefault(false);
    AboutButton = new QPushButton(tr("&About"), tab);
    AboutButton->setObjectName("AboutButton");
    AboutButton->setAutoDefault(false);
    UndoButton = new QPushButton(tr("&Undo a run..."), tab);
    UndoButton->setObjectName("UndoButton");
    UndoButton->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(HelpButton);
    buttons->addWidget(AboutButton);
    buttons->addWidget(UndoButton);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(tab);
    layout->addWidget(feedback);
    layout->addWidget(advanced);
    layout->addWidget(time);
    layout->addWidget(import);
    layout->addStretch(1);
    layout->addLayout(buttons);
    return tab;
}

// ---------------------------------------------------------------- wiring

void FrmMain::Connect() {
    // Plain values: the control is the option.
    auto text = [this](QLineEdit* edit, std::string RunOptions::*field) {
        connect(edit, &QLineEdit::textEdited, this,
                [this, field](const QString& value) { form_.values.*field = value.toStdString(); });
    };
    text(SourcePath, &RunOptions::SourcePath);
    text(OutputPath, &RunOptions::OutputPath);
    text(ExcludePatternList, &RunOptions::ExcludePatternList);
    text(IncludePatternList, &RunOptions::IncludePatternList);
    text(TimeShift, &RunOptions::TimeShift);
    text(MovieTimeZone, &RunOptions::MovieTimeZone);

    for (QComboBox* box :
         {ProcessSubfolders, MoveOrCopy, DateModeTIFF, DateModeRIFF, DateModeFileSystem, DCFVolumeDigits,
          DCFBatchCleanup, CreateLog}) {
        const SettingsKey& key = KeyOf(box);
        connect(box, &QComboBox::activated, this,
                [this, &key](int index) { key.set(form_.values, key.minimum + index); });
    }
    for (QCheckBox* box : {ExcludeReadOnly, ExcludeHidden, AutoDetect, DisplayWarning, PreviewResults,
                           RequestConfirmation, SummarizeResults, ReportErrors, VerifyCopies,
                           KeepPairsTogether, SkipImported, SetFileTime}) {
        const SettingsKey& key = KeyOf(box);
        connect(box, &QCheckBox::clicked, this, [this, &key](bool ticked) { key.set(form_.values, ticked ? 1 : 0); });
    }

    // Controls with behaviour: the form decides, then the controls show it.
    auto listHandler = [this]<typename Named>(QComboBox* box, void (MainForm::*handler)(Named)) {
        connect(box, &QComboBox::activated, this, [this, handler](int index) {
            (form_.*handler)(static_cast<Named>(index));
            Refresh();
        });
    };
    listHandler(AddSerial, &MainForm::AddSerialChange);
    listHandler(AddBatchVolume, &MainForm::AddBatchVolumeChange);
    listHandler(FilenameFormat, &MainForm::FilenameFormatChange);

    auto checkHandler = [this](QCheckBox* box, void (MainForm::*handler)(bool)) {
        connect(box, &QCheckBox::clicked, this, [this, handler](bool ticked) {
            (form_.*handler)(ticked);
            Refresh();
        });
    };
    checkHandler(ExcludeSystem, &MainForm::ExcludeSystemClick);
    checkHandler(ExcludePattern, &MainForm::ExcludePatternClick);
    checkHandler(IncludePattern, &MainForm::IncludePatternClick);
    checkHandler(DateFolders, &MainForm::DateFoldersClick);
    connect(DateFolderFormat, &QLineEdit::textEdited, this, [this](const QString& value) {
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
    radio(EXIFOption1, &MainForm::EXIFOption1Click);
    radio(EXIFOption2, &MainForm::EXIFOption2Click);
    radio(EXIFOption2A, &MainForm::EXIFOption2AClick);
    radio(EXIFOption2B, &MainForm::EXIFOption2BClick);
    radio(DCFOption1, &MainForm::DCFOption1Click);
    radio(DCFOption2, &MainForm::DCFOption2Click);
    radio(DCFOption2A, &MainForm::DCFOption2AClick);
    radio(DCFOption2B, &MainForm::DCFOption2BClick);

    connect(BrowseSourceButton, &QPushButton::clicked, this, &FrmMain::BrowseSourceButtonClick);
    connect(BrowseOutputButton, &QPushButton::clicked, this, &FrmMain::BrowseOutputButtonClick);
    connect(HelpButton, &QPushButton::clicked, this, &FrmMain::ShowHelp);
    connect(AboutButton, &QPushButton::clicked, this, &FrmMain::ShowAboutBox);
    connect(UndoButton, &QPushButton::clicked, this, &FrmMain::UndoButtonClick);
    connect(CameraClocksButton, &QPushButton::clicked, this, &FrmMain::CameraClocksButtonClick);
    connect(GoButton, &QPushButton::clicked, this, &FrmMain::GoButtonClick);
    connect(CloseButton, &QPushButton::clicked, this, &QWidget::close);
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
    const RunOptions& v = form_.values;
    ShowText(SourcePath, v.SourcePath);
    ShowText(OutputPath, v.OutputPath);
    ShowIndex(ProcessSubfolders, v);
    ShowIndex(MoveOrCopy, v);
    ShowIndex(AddBatchVolume, v);
    ShowIndex(AddSerial, v);
    ShowIndex(FilenameFormat, v);
    SampleFilename->setText(QString::fromStdString(form_.sampleFilename));

    ShowPair(EXIFOption1, EXIFOption2, form_.exif.option1, form_.exif.option2);
    ShowPair(EXIFOption2A, EXIFOption2B, form_.exif.optionA, form_.exif.optionB);
    EXIFOption2A->setEnabled(form_.exif.subEnabled);
    EXIFOption2B->setEnabled(form_.exif.subEnabled);
    ShowPair(DCFOption1, DCFOption2, form_.dcf.option1, form_.dcf.option2);
    ShowPair(DCFOption2A, DCFOption2B, form_.dcf.optionA, form_.dcf.optionB);
    DCFOption2A->setEnabled(form_.dcf.subEnabled);
    DCFOption2B->setEnabled(form_.dcf.subEnabled);

    ShowCheck(ExcludeReadOnly, v);
    ShowCheck(ExcludeHidden, v);
    ShowCheck(ExcludeSystem, v);
    ShowCheck(ExcludePattern, v);
    ShowText(ExcludePatternList, v.ExcludePatternList);
    SetPatternListEnabled(ExcludePatternList, form_.excludePatternListEnabled);
    ShowCheck(IncludePattern, v);
    ShowText(IncludePatternList, v.IncludePatternList);
    SetPatternListEnabled(IncludePatternList, form_.includePatternListEnabled);
    ShowCheck(DateFolders, v);
    ShowText(DateFolderFormat, v.DateFolderFormat);
    DateFolderFormat->setEnabled(form_.dateFolderFormatEnabled);
    DateFolderExample->setText(QString::fromStdString(form_.dateFolderExample));
    DateFolderExample->setEnabled(form_.dateFolderFormatEnabled);

    ShowCheck(AutoDetect, v);
    ShowCheck(DisplayWarning, v);
    ShowCheck(PreviewResults, v);
    ShowCheck(RequestConfirmation, v);
    ShowCheck(SummarizeResults, v);
    ShowCheck(ReportErrors, v);
    ShowCheck(VerifyCopies, v);
    ShowIndex(DateModeTIFF, v);
    ShowIndex(DateModeRIFF, v);
    ShowIndex(DateModeFileSystem, v);
    ShowIndex(DCFVolumeDigits, v);
    ShowIndex(DCFBatchCleanup, v);
    ShowIndex(CreateLog, v);
    ShowText(TimeShift, v.TimeShift);
    ShowText(MovieTimeZone, v.MovieTimeZone);
    ShowCheck(SetFileTime, v);
    ShowCheck(KeepPairsTogether, v);
    ShowCheck(SkipImported, v);
}

void FrmMain::SetPatternListEnabled(QLineEdit* list, bool enabled) {
    list->setEnabled(enabled);
    // Enabled: the background of a text box; disabled: that of the frame.
    const QColor base = enabled ? SourcePath->palette().color(QPalette::Active, QPalette::Base)
                                : fraExclude->palette().color(QPalette::Active, QPalette::Window);
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
    show();
    // Cards mounted from now on are offered as they come, with AutoDetect ticked.
    cards_ = new CardWatcher(
        *services_.drives,
        [this](const std::vector<DriveInfo>& arrived) {
            ListedDrives drives(arrived);
            if (form_.values.AutoDetect) DetectCameraMediaAsking(drives);
        },
        this);
    runs_->HoldCardsWhileRunning(cards_);
    cards_->Hold();
    if (form_.values.AutoDetect) DetectCameraMediaAsking(*services_.drives);
    cards_->Release();
}

void FrmMain::DetectCameraMediaAsking(DriveList& drives) {
    port_->SetBusy(true);
    RunOptions options = form_.Options();
    DetectCameraMedia(true, options, drives, *services_.fileSystem, *port_);
    port_->SetBusy(false);
    form_.values.SourcePath = options.SourcePath;
    form_.values.ProcessSubfolders = options.ProcessSubfolders;
    Refresh();
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

void FrmMain::NextTab() { TabStrip1->setCurrentIndex((TabStrip1->currentIndex() + 1) % TabStrip1->count()); }

// ---------------------------------------------------------------- actions

void FrmMain::BrowseSourceButtonClick() {
    if (auto folder = PickFolder(this, services_.folderDialog, messenger_, *services_.fileSystem,
                                 "Select Source Folder", form_.values.SourcePath)) {
        form_.values.SourcePath = *folder;
        Refresh();
    }
}

void FrmMain::BrowseOutputButtonClick() {
    if (auto folder = PickFolder(this, services_.folderDialog, messenger_, *services_.fileSystem,
                                 "Select Output Folder", form_.values.OutputPath)) {
        form_.values.OutputPath = *folder;
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
void FrmMain::CameraClocksButtonClick() { runs_->CameraClocks(); }

}  // namespace ravlen::ui
