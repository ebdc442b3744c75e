// The window's controls and their layout: the three tabs, Go and Close.

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QScrollArea>
#include <QTabWidget>
#include <QTimeZone>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>
#include <vector>

#include "ui/main_window.h"
#include "ui/screen_fit.h"
#include "ui/source_box.h"
#include "ui/wrapping_label.h"

namespace ravlen::ui {

namespace {

// Lists that stand in one column share one width, wide enough for the
// longest item of any of them.
void EqualWidths(const std::vector<QComboBox*>& lists) {
    int width = 0;
    for (QComboBox* list : lists) width = std::max(width, list->sizeHint().width());
    for (QComboBox* list : lists) list->setMinimumWidth(width);
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

// A check box or list of the Options tab with the caption it shows.
struct Captioned {
    const char* key;
    const char* caption;
};

}  // namespace

void FrmMain::BuildControls() {
    body_ = new QWidget(this);
    tabs_ = new QTabWidget(body_);
    tabs_->setObjectName("TabStrip1");
    tabs_->addTab(Scrolling(BuildMainTab()), tr("Main"));
    tabs_->addTab(Scrolling(BuildFilterTab()), tr("Filter"));
    tabs_->addTab(Scrolling(BuildOptionsTab()), tr("Options"));

    goButton_ = new QPushButton(tr("&Go"), body_);
    goButton_->setObjectName("GoButton");
    goButton_->setDefault(true);
    closeButton_ = new QPushButton(tr("&Close"), body_);
    closeButton_->setObjectName("CloseButton");

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(goButton_);
    buttons->addWidget(closeButton_);

    auto* bodyLayout = new QVBoxLayout(body_);
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    bodyLayout->addWidget(tabs_, 1);
    bodyLayout->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(body_);
}

QWidget* FrmMain::BuildMainTab() {
    auto* tab = new QWidget;
    tab->setObjectName("TabFrame1");
    const int charWidth = fontMetrics().averageCharWidth();

    auto* folders = new QGroupBox(tr("Folders"), tab);
    sourcePath_ = keyed_.AddText(folders, "SourcePath");
    sourceBox_ = new SourceBox(sourcePath_, folders);
    sourceBox_->setMinimumWidth(charWidth * 36);
    sourceBox_->setToolTip(tr("A folder, or a camera card or a camera or phone on a USB cable from the list"));
    // A device shows as its entry, and is kept as the SourcePath it stands for.
    keyed_.ShowTextThrough("SourcePath", {[this](const std::string& path) { return sourceEntries_.Shown(path); },
                                          [this](const std::string& text) { return sourceEntries_.SourcePathOf(text); }});
    browseSource_ = new QPushButton(QStringLiteral("..."), folders);
    browseSource_->setObjectName("BrowseSourceButton");
    browseSource_->setToolTip(tr("Select Source Folder"));
    browseSource_->setAccessibleName(tr("Select Source Folder"));
    QLineEdit* outputPath = keyed_.AddText(folders, "OutputPath");
    browseOutput_ = new QPushButton(QStringLiteral("..."), folders);
    browseOutput_->setObjectName("BrowseOutputButton");
    browseOutput_->setToolTip(tr("Select Output Folder"));
    browseOutput_->setAccessibleName(tr("Select Output Folder"));
    QLineEdit* backupPaths = keyed_.AddText(folders, "BackupPaths");
    backupPaths->setToolTip(tr("Folders that receive a copy of every file too, separated by \";\""));
    browseBackup_ = new QPushButton(QStringLiteral("..."), folders);
    browseBackup_->setObjectName("BrowseBackupButton");
    browseBackup_->setToolTip(tr("Add a Backup Folder"));
    browseBackup_->setAccessibleName(tr("Add a Backup Folder"));
    for (QPushButton* browse : {browseSource_, browseOutput_, browseBackup_}) {
        browse->setAutoDefault(false);
        browse->setMaximumWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("...")) + charWidth * 4);
    }
    QComboBox* subfolders = keyed_.AddList(folders, "ProcessSubfolders");
    QComboBox* moveOrCopy = keyed_.AddList(folders, "MoveOrCopy");
    QCheckBox* verifyCopies = keyed_.AddCheck(folders, "VerifyCopies", tr("&Verify copies"));
    verifyCopies->setToolTip(tr("Reads each copy back from the disk and compares it with the original; a copy "
                                "that differs is removed and the original kept"));

    auto* folderGrid = new QGridLayout(folders);
    folderGrid->addWidget(Caption(folders, "&Source Folder", sourcePath_), 0, 0);
    folderGrid->addWidget(sourceBox_, 0, 1);
    folderGrid->addWidget(browseSource_, 0, 2);
    folderGrid->addWidget(Caption(folders, "&Output Folder", outputPath), 1, 0);
    folderGrid->addWidget(outputPath, 1, 1);
    folderGrid->addWidget(browseOutput_, 1, 2);
    folderGrid->addWidget(Caption(folders, "Bac&kup Folders", backupPaths), 2, 0);
    folderGrid->addWidget(backupPaths, 2, 1);
    folderGrid->addWidget(browseBackup_, 2, 2);
    folderGrid->addWidget(Caption(folders, "S&ubfolders", subfolders), 3, 0);
    folderGrid->addWidget(subfolders, 3, 1, 1, 2, Qt::AlignLeft);
    folderGrid->addWidget(Caption(folders, "&Move or copy", moveOrCopy), 4, 0);
    folderGrid->addWidget(moveOrCopy, 4, 1, 1, 2, Qt::AlignLeft);
    folderGrid->addWidget(verifyCopies, 5, 1, 1, 2, Qt::AlignLeft);
    folderGrid->setColumnStretch(1, 1);

    auto* filenames = new QGroupBox(tr("Filenames"), tab);
    QComboBox* batchVolume = keyed_.AddList(filenames, "AddBatchVolume", Binding::Form);
    QComboBox* serial = keyed_.AddList(filenames, "AddSerial", Binding::Form);
    QComboBox* format = keyed_.AddList(filenames, "FilenameFormat", Binding::Form);
    sampleFilename_ = new WrappingLabel(filenames);
    sampleFilename_->setObjectName("SampleFilename");
    sampleFilename_->setMinimumLines(2);
    // The labelled formats break their samples after 48 characters; such a
    // line fits without a second break.
    sampleFilename_->setMinimumWidth(
        sampleFilename_->fontMetrics().horizontalAdvance(
            QStringLiteral("{DT=2004-12-25 @18-09-11}{SN=001}{BA=ABCD}")) +
        2 * sampleFilename_->frameWidth() + charWidth);

    auto* nameGrid = new QGridLayout(filenames);
    nameGrid->addWidget(Caption(filenames, "&Batch/Volume", batchVolume), 0, 0);
    nameGrid->addWidget(batchVolume, 0, 1, Qt::AlignLeft);
    nameGrid->addWidget(Caption(filenames, "Se&rial Number", serial), 1, 0);
    nameGrid->addWidget(serial, 1, 1, Qt::AlignLeft);
    nameGrid->addWidget(Caption(filenames, "&Format", format), 2, 0);
    nameGrid->addWidget(format, 2, 1, Qt::AlignLeft);
    nameGrid->addWidget(new QLabel(tr("Example"), filenames), 3, 0, Qt::AlignTop);
    nameGrid->addWidget(sampleFilename_, 3, 1);
    nameGrid->setColumnStretch(1, 1);
    EqualWidths({batchVolume, serial, format});
    EqualWidths({subfolders, moveOrCopy});

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

    auto* metadata = new QGroupBox(tr("Metadata"), tab);
    dateModeMetadataOnly_ =
        Radio(metadata, "EXIFOption1", "Timestamp only files which have valid &Metadata dates");
    dateModeAllFiles_ = Radio(metadata, "EXIFOption2", "&Timestamp all files");
    dateModeFileSystemFallback_ =
        Radio(metadata, "EXIFOption2A", "Use File System dates &when Metadata unavailable");
    dateModeFileSystemOnly_ = Radio(metadata, "EXIFOption2B", "Use File System dates o&nly");
    OptionGroupLayout(metadata, dateModeMetadataOnly_, dateModeAllFiles_, dateModeFileSystemFallback_,
                      dateModeFileSystemOnly_);

    excludeFrame_ = new QGroupBox(tr("Exclude"), tab);
    excludeFrame_->setObjectName("fraExclude");
    QCheckBox* readOnly = keyed_.AddCheck(excludeFrame_, "ExcludeReadOnly", tr("&Read-only"));
    QCheckBox* hidden = keyed_.AddCheck(excludeFrame_, "ExcludeHidden", tr("&Hidden"));
    QCheckBox* system = keyed_.AddCheck(excludeFrame_, "ExcludeSystem", tr("S&ystem"), Binding::Form);
    QCheckBox* exclude = keyed_.AddCheck(excludeFrame_, "ExcludePattern", tr("&Exclude"), Binding::Form);
    excludePatterns_ = keyed_.AddText(excludeFrame_, "ExcludePatternList");
    excludePatterns_->setAccessibleName(tr("Exclude patterns"));
    QCheckBox* include = keyed_.AddCheck(excludeFrame_, "IncludePattern", tr("&Include only"), Binding::Form);
    includePatterns_ = keyed_.AddText(excludeFrame_, "IncludePatternList");
    includePatterns_->setAccessibleName(tr("Include only patterns"));
    const QString patternHelp = tr("Wildcard patterns separated by \";\": ? any character, * any characters, "
                                   "# any digit, [list] or [!list] one character in or not in the list");
    excludePatterns_->setToolTip(patternHelp);
    includePatterns_->setToolTip(patternHelp);

    auto* attributes = new QHBoxLayout;
    attributes->addWidget(readOnly);
    attributes->addWidget(hidden);
    attributes->addWidget(system);
    attributes->addStretch(1);
    auto* excludeGrid = new QGridLayout(excludeFrame_);
    excludeGrid->addWidget(new QLabel(tr("Ignore files and folders that meet the following criteria:"), excludeFrame_),
                           0, 0, 1, 2);
    excludeGrid->addLayout(attributes, 1, 0, 1, 2);
    excludeGrid->addWidget(exclude, 2, 0);
    excludeGrid->addWidget(excludePatterns_, 2, 1);
    excludeGrid->addWidget(include, 3, 0);
    excludeGrid->addWidget(includePatterns_, 3, 1);
    excludeGrid->setColumnStretch(1, 1);

    auto* dcfFrame = new QGroupBox(tr("DCF"), tab);
    dcfModeDcfOnly_ = Radio(dcfFrame, "DCFOption1", "Timestamp only files which have valid &DCF filenames");
    dcfModeAllFiles_ = Radio(dcfFrame, "DCFOption2", "Timestamp &all files");
    dcfModeKeepAsComment_ = Radio(dcfFrame, "DCFOption2A", "&Preserve non-DCF filenames as Comments");
    dcfModeReplace_ = Radio(dcfFrame, "DCFOption2B", "Rep&lace non-DCF filenames");
    OptionGroupLayout(dcfFrame, dcfModeDcfOnly_, dcfModeAllFiles_, dcfModeKeepAsComment_, dcfModeReplace_);

    auto* layout = new QVBoxLayout(tab);
    layout->addWidget(metadata);
    layout->addWidget(excludeFrame_);
    layout->addWidget(dcfFrame);
    layout->addStretch(1);
    return tab;
}

QWidget* FrmMain::BuildOptionsTab() {
    auto* tab = new QWidget;
    tab->setObjectName("TabFrame3");

    auto* feedback = new QGroupBox(tr("Feedback"), tab);
    auto* feedbackLayout = new QVBoxLayout(feedback);
    for (const auto& [key, caption] : std::initializer_list<Captioned>{
             {"AutoDetect", "Auto-&detect digital camera media"},
             {"DisplayWarning", "Request confirmation for risky &settings"},
             {"PreviewResults", "&Preview results before processing"},
             {"RequestConfirmation", "Request co&nfirmation before processing"},
             {"SummarizeResults", "Su&mmarize results after processing"},
             {"ReportErrors", "&Report errors during processing"},
         })
        feedbackLayout->addWidget(keyed_.AddCheck(feedback, key, tr(caption)));

    auto* advanced = new QGroupBox(tr("Advanced"), tab);
    auto* advancedGrid = new QGridLayout(advanced);
    std::vector<QComboBox*> lists;
    for (const auto& [key, caption] : std::initializer_list<Captioned>{
             {"DateModeTIFF", "&TIFF dates"},
             {"DateModeRIFF", "R&IFF dates"},
             {"DateModeFileSystem", "File S&ystem dates"},
             {"DCFVolumeDigits", "DCF &Volume digits"},
             {"DCFBatchCleanup", "DCF &Batch cleanup"},
             {"CreateLog", "Create &log file"},
         }) {
        const int row = static_cast<int>(lists.size());
        QComboBox* list = lists.emplace_back(keyed_.AddList(advanced, key));
        advancedGrid->addWidget(Caption(advanced, caption, list), row, 0);
        advancedGrid->addWidget(list, row, 1, Qt::AlignLeft);
    }
    advancedGrid->setColumnStretch(1, 1);
    EqualWidths(lists);

    // What corrects the cameras' clocks, and the files' own times ([Time]).
    auto* time = new QGroupBox(tr("Time"), tab);
    time->setObjectName("fraTime");
    QLineEdit* timeShift = keyed_.AddText(time, "TimeShift");
    timeShift->setAccessibleName(tr("Time shift"));
    timeShift->setPlaceholderText(tr("none, or e.g. +01:00:00 or -1 02:30:00"));
    timeShift->setToolTip(tr("Moves every metadata date by this much, for this run only: a sign, days and a "
                             "blank when needed, then hours:minutes:seconds. It is never saved."));
    cameraClocksButton_ = new QPushButton(tr("Camera clocks..."), time);
    cameraClocksButton_->setObjectName("CameraClocksButton");
    cameraClocksButton_->setAutoDefault(false);
    cameraClocksButton_->setToolTip(tr("Lists the cameras of the source folder and keeps an offset for each "
                                       "camera's clock"));
    QLineEdit* movieZone = keyed_.AddText(time, "MovieTimeZone");
    movieZone->setAccessibleName(tr("Movie time zone"));
    movieZone->setPlaceholderText(tr("this computer's zone"));
    movieZone->setToolTip(tr("The zone of a movie that stores only UTC, as a name such as Europe/Paris"));
    QStringList zones;
    for (const QByteArray& zone : QTimeZone::availableTimeZoneIds()) zones << QString::fromUtf8(zone);
    auto* zoneNames = new QCompleter(zones, movieZone);
    zoneNames->setCaseSensitivity(Qt::CaseInsensitive);
    zoneNames->setFilterMode(Qt::MatchContains);
    movieZone->setCompleter(zoneNames);
    QCheckBox* setFileTime =
        keyed_.AddCheck(time, "SetFileTime", tr("Set the &files' modified times to their recording times"));
    setFileTime->setToolTip(tr("Needs the CSV log, from which the undo puts each file's old time back"));
    auto* timeGrid = new QGridLayout(time);
    timeGrid->addWidget(Caption(time, "Cloc&k shift (this run only)", timeShift), 0, 0);
    timeGrid->addWidget(timeShift, 0, 1);
    timeGrid->addWidget(cameraClocksButton_, 0, 2);
    timeGrid->addWidget(Caption(time, "Movie time &zone", movieZone), 1, 0);
    timeGrid->addWidget(movieZone, 1, 1, 1, 2);
    timeGrid->addWidget(setFileTime, 2, 0, 1, 3);
    timeGrid->setColumnStretch(1, 1);

    auto* import = new QGroupBox(tr("Import"), tab);
    import->setObjectName("fraImport");
    QCheckBox* keepPairs =
        keyed_.AddCheck(import, "KeepPairsTogether", tr("Keep RA&W+JPEG pairs and sidecars together"));
    keepPairs->setToolTip(tr("Files of one shot (same name and time) share a serial number; XMP, THM "
                             "and WAV files of a picture's name follow it."));
    QCheckBox* dateFolders = keyed_.AddCheck(import, "DateFolders", tr("Date f&olders"), Binding::Form);
    dateFolderFormat_ = keyed_.AddText(import, "DateFolderFormat", Binding::Form);
    dateFolderFormat_->setAccessibleName(tr("Date folder format"));
    dateFolderFormat_->setToolTip(tr("Folders below the output folder, separated by \"/\": yyyy year, mm month, "
                                     "dd day, hh hour, nn minute, ss second; other text between double quotes, as "
                                     "in yyyy/\"Summer \"yyyy"));
    dateFolderExample_ = new QLabel(import);
    dateFolderExample_->setObjectName("DateFolderExample");
    dateFolderExample_->setTextFormat(Qt::PlainText);
    auto* importGrid = new QGridLayout(import);
    importGrid->addWidget(keepPairs, 0, 0, 1, 2);
    importGrid->addWidget(dateFolders, 1, 0);
    importGrid->addWidget(dateFolderFormat_, 1, 1);
    importGrid->addWidget(dateFolderExample_, 2, 1);
    importGrid->addWidget(keyed_.AddCheck(import, "SkipImported", tr("Skip files alr&eady imported")), 3, 0, 1, 2);
    QCheckBox* eject = keyed_.AddCheck(import, "EjectWhenDone", tr("E&ject the card when it is safe to format"));
    eject->setToolTip(tr("After a run whose files are all in the output folder and its backups, the card is "
                         "unmounted and powered off, ready to be taken out."));
    importGrid->addWidget(eject, 4, 0, 1, 2);
    QComboBox* sequenceScope = keyed_.AddList(import, "SequenceScope");
    sequenceScope->setToolTip(tr("What the number %q of names and date folders counts within; it continues from "
                                 "one import to the next"));
    importGrid->addWidget(Caption(import, "Continuing numbers", sequenceScope), 5, 0);
    importGrid->addWidget(sequenceScope, 5, 1);
    importGrid->setColumnStretch(1, 1);

    helpButton_ = new QPushButton(tr("&Help"), tab);
    helpButton_->setObjectName("HelpButton");
    helpButton_->setAutoDefault(false);
    aboutButton_ = new QPushButton(tr("&About"), tab);
    aboutButton_->setObjectName("AboutButton");
    aboutButton_->setAutoDefault(false);
    undoButton_ = new QPushButton(tr("&Undo a run..."), tab);
    undoButton_->setObjectName("UndoButton");
    undoButton_->setAutoDefault(false);
    undoLastButton_ = new QPushButton(tr("Undo &last import..."), tab);
    undoLastButton_->setObjectName("UndoLastButton");
    undoLastButton_->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(helpButton_);
    buttons->addWidget(aboutButton_);
    buttons->addWidget(undoButton_);
    buttons->addWidget(undoLastButton_);
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

}  // namespace ravlen::ui
