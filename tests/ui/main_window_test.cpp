// The main window on an offscreen screen: loading, enabling rules and
// warnings through the controls, Ctrl+Tab, folder pickers, Go and Stop,
// camera detection, Help and About.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBrowser>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <pwd.h>
#include <unistd.h>

#include "model/version.h"
#include "platform/posix_file_system.h"
#include "ui/about_window.h"
#include "ui/card_watcher.h"
#include "ui/device_watcher.h"
#include "ui/help_viewer.h"
#include "ui/main_window.h"
#include "ui/progress_window.h"
#include "ui/qt_user_port.h"
#include "ui/runs_dialog.h"
#include "support/camera_jpeg.h"
#include "support/fake_device_ports.h"
#include "main_window_probe.h"
#include "ui_test_support.h"

using ravlen::CreateLog;
using ravlen::DCFMode;
using ravlen::DateMode;
using ravlen::FilenameFormat;
using ravlen::MoveOrCopy;
using ravlen::MsgAnswer;
using ravlen::MsgButtons;
using ravlen::MsgIcon;
using ravlen::ProcessSubfolders;
using ravlen::RunOptions;
using ravlen::test::MessageRecorder;
using ravlen::ui::FrmMain;
using ravlen::ui::MainWindowProbe;

namespace {

void WriteFiles(const QString& folder, int count) {
    QDir().mkpath(folder);
    for (int i = 1; i <= count; ++i) {
        QFile file(folder + QString("/IMG_%1.JPG").arg(i, 4, 10, QLatin1Char('0')));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QString("not really picture %1").arg(i).toUtf8());
    }
}

int FileCount(const QString& folder) { return QDir(folder).entryList(QDir::Files).size(); }

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> root;
    MessageRecorder user;
    int customDialogs = 0;
    std::deque<std::string> pickerAnswers;
    std::vector<std::string> pickerStarts;
    std::vector<std::string> opened;
    bool openSucceeds = true;
    // Sees every message before the recorder answers it.
    std::function<void(const ravlen::ui::MessageRequest&)> onMessage;
    std::shared_ptr<ravlen::test::FakeDevicePorts> usb;  // the USB ports the window sees
    std::string logAnswer;  // what the log chooser answers ("" = cancelled)
    std::vector<ravlen::JournalRun> runsShown;  // what "Undo last import..." listed; it takes the first
    bool runChosen = true;
    std::optional<std::string> clocksAnswer;  // what the Camera clocks dialog answers (nothing = Cancel)
    std::size_t clocksFiles = 0;              // the first camera's files it was shown
    std::optional<std::string> jobAnswer;     // what the job code question answers (nothing = Cancel)
    std::vector<std::string> jobOffered;      // the codes it offered
    ravlen::test::FakeDrives* mounted = nullptr;  // the open window's drives

    QString Path(const QString& relative) const { return root->path() + "/" + relative; }
    std::string StorePath() const { return Path("settings.ini").toStdString(); }

    // Options as a first start would leave them, with the folders inside the
    // test's own folder and no camera search.
    RunOptions Stored() const {
        RunOptions o;
        o.SourcePath = Path("source").toStdString();
        o.OutputPath = Path("output").toStdString();
        o.AutoDetect = false;
        return o;
    }

    // Settings that offer a card or device as it comes and run when told.
    RunOptions Offering() const {
        RunOptions o = Stored();
        o.AutoDetect = true;
        o.RequestConfirmation = true;
        o.DateMode = ravlen::DateMode::FileSystemOnly;
        return o;
    }

    std::unique_ptr<FrmMain> Open(const RunOptions& stored, std::vector<ravlen::DriveInfo> cards = {}) {
        {
            ravlen::SettingsStore store(StorePath());
            ravlen::SaveSettings(store, stored);
        }
        ravlen::ui::MainWindowServices s;
        s.store = std::make_unique<ravlen::SettingsStore>(StorePath());
        auto drives = std::make_unique<ravlen::test::FakeDrives>();
        drives->drives = std::move(cards);
        mounted = drives.get();
        s.drives = std::move(drives);
        usb = std::make_shared<ravlen::test::FakeDevicePorts>();
        s.devices = usb;
        auto folders = std::make_unique<ravlen::test::FakeFolders>();
        folders->pictures = Path("pictures").toStdString();
        s.specialFolders = std::move(folders);
        s.messageHook = [this, answer = user.Hook()](const ravlen::ui::MessageRequest& request) {
            if (onMessage) onMessage(request);
            return answer(request);
        };
        s.folderDialog = [this](QWidget*, const std::string&, const std::string& start) {
            pickerStarts.push_back(start);
            std::string answer;
            if (!pickerAnswers.empty()) {
                answer = pickerAnswers.front();
                pickerAnswers.pop_front();
            }
            return answer;
        };
        s.logDialog = [this](QWidget*, const std::string&) { return logAnswer; };
        s.runDialog = [this](QWidget*, const std::vector<ravlen::JournalRun>& runs) {
            runsShown = runs;
            return runChosen ? runs.front().Id : std::string();
        };
        s.open = [this](const std::string& target, std::string& error) {
            opened.push_back(target);
            if (!openSucceeds) error = "No application is registered for this kind of document.";
            return openSucceeds;
        };
        s.editCameraClocks = [this](QWidget*, ravlen::CameraClockTable table, const std::string&) {
            clocksFiles = table.Rows().empty() ? 0 : table.Rows().front().Files.size();
            return clocksAnswer;
        };
        s.askJobCode = [this](QWidget*, const std::vector<std::string>& recent) {
            jobOffered = recent;
            return jobAnswer;
        };
        s.programFolder = Path("bin").toStdString();
        s.editCustomFormat = [this](QWidget*, const ravlen::FilenameFormatDefinition&) {
            ++customDialogs;
            return std::optional<ravlen::FilenameFormatDefinition>();
        };
        return std::make_unique<FrmMain>(std::move(s));
    }

private slots:
    void init() {
        root = std::make_unique<QTemporaryDir>();
        QVERIFY(root->isValid());
        user = MessageRecorder{};
        customDialogs = 0;
        pickerAnswers.clear();
        opened.clear();
        openSucceeds = true;
        onMessage = nullptr;
        logAnswer.clear();
    }

    // Stored settings that would warn or open a dialog when chosen by hand
    // load silently; afterwards the same choices behave as usual.
    void loadHoldsEventsBack() {
        RunOptions stored = Stored();
        stored.FilenameFormat = FilenameFormat::Custom;
        stored.DCFMode = DCFMode::PreserveAsComment;
        stored.ExcludeSystem = false;
        stored.ExcludePattern = false;
        stored.DisplayWarning = true;
        stored.KeepPairsTogether = false;
        auto w = Open(stored);
        const MainWindowProbe c(*w);

        QVERIFY(user.shown.empty());
        QCOMPARE(customDialogs, 0);
        QVERIFY(w->FormEventsEnabled());
        QCOMPARE(w->windowTitle(), QString("Ravlen 2.8"));
        QCOMPARE(c.List("FilenameFormat")->currentIndex(), 4);
        QVERIFY(c.DcfModeAllFiles()->isChecked() && c.DcfModeKeepAsComment()->isChecked() &&
                c.DcfModeKeepAsComment()->isEnabled());
        QVERIFY(!c.Check("ExcludeSystem")->isChecked());
        QVERIFY(!c.Text("ExcludePatternList")->isEnabled());
        QCOMPARE(w->Options(), stored);
        c.Check("KeepPairsTogether")->click();
        QVERIFY(w->Options().KeepPairsTogether);

        emit c.List("FilenameFormat")->activated(4);
        QCOMPARE(customDialogs, 1);
        c.DcfModeDcfOnly()->click();
        c.DcfModeAllFiles()->click();
        QCOMPARE(user.shown.size(), std::size_t(1));
    }

    void enablingRules() {
        auto w = Open(Stored());
        const MainWindowProbe c(*w);
        QVERIFY(!c.DateModeFileSystemFallback()->isEnabled() && !c.DateModeFileSystemOnly()->isEnabled());
        c.DateModeAllFiles()->click();
        QVERIFY(c.DateModeFileSystemFallback()->isEnabled() && c.DateModeFileSystemFallback()->isChecked());
        c.DateModeFileSystemOnly()->click();
        c.DateModeMetadataOnly()->click();
        QVERIFY(!c.DateModeFileSystemOnly()->isEnabled() && c.DateModeFileSystemOnly()->isChecked());
        QCOMPARE(w->Options().DateMode, DateMode::MetadataOnly);

        // A pattern box follows its check box, with the background of a text
        // box or of the frame.
        const QColor textBox = c.Text("SourcePath")->palette().color(QPalette::Base);
        const QColor frame = c.ExcludeFrame()->palette().color(QPalette::Window);
        QVERIFY(c.Text("ExcludePatternList")->isEnabled() && !c.Text("IncludePatternList")->isEnabled());
        QCOMPARE(c.Text("IncludePatternList")->palette().color(QPalette::Disabled, QPalette::Base), frame);
        c.Check("ExcludePattern")->click();
        c.Check("IncludePattern")->click();
        QVERIFY(!c.Text("ExcludePatternList")->isEnabled() && c.Text("IncludePatternList")->isEnabled());
        QCOMPARE(c.Text("ExcludePatternList")->palette().color(QPalette::Disabled, QPalette::Base), frame);
        QCOMPARE(c.Text("IncludePatternList")->palette().color(QPalette::Active, QPalette::Base), textBox);
        QCOMPARE(w->Options().ExcludePattern, false);
        QCOMPARE(w->Options().IncludePattern, true);
    }

    // The answers' logic is the form's (tested there); here the warning as
    // shown and a refusal putting the widgets back.
    void warningRefused_data() {
        QTest::addColumn<QString>("control");
        QTest::newRow("non-DCF") << "DCFOption2";
        QTest::newRow("System") << "ExcludeSystem";
    }
    void warningRefused() {
        QFETCH(QString, control);
        auto w = Open(Stored());
        const MainWindowProbe c(*w);
        w->show();
        user.otherwise = MsgAnswer::No;
        w->findChild<QAbstractButton*>(control)->click();
        QCOMPARE(user.shown.size(), std::size_t(1));
        const auto& warning = user.shown.front();
        QVERIFY(warning.text.rfind("WARNING: ", 0) == 0);
        QCOMPARE(warning.icon, MsgIcon::Exclamation);
        QCOMPARE(warning.buttons, MsgButtons::YesNo);
        QCOMPARE(warning.title, std::string("Ravlen"));
        QVERIFY(c.DcfModeDcfOnly()->isChecked() && !c.DcfModeAllFiles()->isChecked() &&
                !c.DcfModeKeepAsComment()->isEnabled());
        QVERIFY(c.Check("ExcludeSystem")->isChecked());
        QCOMPARE(w->Options(), Stored());
        if (control == "DCFOption2") QCOMPARE(w->focusWidget(), c.DcfModeDcfOnly());
    }

    void ctrlTab_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("to");
        const int ctrl = Qt::ControlModifier;
        const int ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
        QTest::newRow("Main to Filter from a text box") << 0 << int(Qt::Key_Tab) << ctrl << "SourcePath" << 1;
        QTest::newRow("Filter to Options") << 1 << int(Qt::Key_Tab) << ctrl << "ExcludeHidden" << 2;
        QTest::newRow("Options wraps to Main") << 2 << int(Qt::Key_Tab) << ctrl << "CreateLog" << 0;
        QTest::newRow("from the Go button") << 0 << int(Qt::Key_Tab) << ctrl << "GoButton" << 1;
        QTest::newRow("from the tab bar") << 2 << int(Qt::Key_Tab) << ctrl << "" << 0;
        QTest::newRow("Ctrl+Shift+Tab does nothing") << 1 << int(Qt::Key_Backtab) << ctrlShift << "SourcePath" << 1;
        QTest::newRow("nor on the tab bar") << 1 << int(Qt::Key_Backtab) << ctrlShift << "" << 1;
    }
    void ctrlTab() {
        QFETCH(int, from);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, focus);
        QFETCH(int, to);
        auto w = Open(Stored());
        const MainWindowProbe c(*w);
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        c.Tabs()->setCurrentIndex(from);
        QWidget* target = focus.isEmpty() ? static_cast<QWidget*>(c.Tabs()) : w->findChild<QWidget*>(focus);
        QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(c.Tabs()->currentIndex(), to);
        QCOMPARE(c.Tabs()->currentWidget()->objectName(), QString("TabFrame%1").arg(to + 1));
    }

    void folderPicker() {
        QDir().mkpath(Path("photos"));
        auto w = Open(Stored());
        const MainWindowProbe c(*w);
        const std::string before = w->Options().SourcePath;

        pickerAnswers = {""};  // cancelled
        c.BrowseSource()->click();
        QCOMPARE(w->Options().SourcePath, before);

        pickerAnswers = {"photos", Path("photos/").toStdString()};  // nonsense, then a folder
        c.BrowseSource()->click();
        QCOMPARE(user.shown.size(), std::size_t(1));
        QCOMPARE(user.shown[0].text, std::string("You have selected an invalid folder. Please try again."));
        QCOMPARE(user.shown[0].title, std::string("Select Source Folder"));
        QCOMPARE(user.shown[0].icon, MsgIcon::Information);
        QCOMPARE(c.Text("SourcePath")->text(), Path("photos"));

        pickerAnswers = {Path("gone").toStdString()};
        c.BrowseOutput()->click();
        QCOMPARE(user.shown.size(), std::size_t(2));
        QCOMPARE(user.shown[1].text, std::string("CommonDialog returned invalid path despite cdlOFNPathMustExist"));
        QCOMPARE(user.shown[1].title, std::string("Select Output Folder"));
        QCOMPARE(user.shown[1].icon, MsgIcon::Critical);
        QCOMPARE(w->Options().OutputPath, Stored().OutputPath);

        pickerAnswers = {"/"};
        c.BrowseOutput()->click();
        QCOMPARE(c.Text("OutputPath")->text(), QString("/"));

        // A backup folder picked is added after those typed, once.
        c.Text("BackupPaths")->setText(Path("photos") + " ;");
        c.Text("BackupPaths")->textEdited(c.Text("BackupPaths")->text());
        pickerAnswers = {"/", "/"};
        c.BrowseBackup()->click();
        c.BrowseBackup()->click();
        QCOMPARE(c.Text("BackupPaths")->text(), Path("photos") + ";/");
        QCOMPARE(w->Options().BackupPaths, (Path("photos") + ";/").toStdString());

        // A chooser opens at the folder chosen while it exists; else the
        // source's at the desktop's cards folder, the output's at home.
        pickerStarts.clear();
        c.BrowseSource()->click();
        RunOptions gone = Stored();
        gone.SourcePath = gone.OutputPath = Path("gone").toStdString();
        w = Open(gone);
        const MainWindowProbe d(*w);
        d.BrowseSource()->click();
        d.BrowseOutput()->click();
        const passwd* account = getpwuid(getuid());
        const QString media = account ? "/media/" + QString::fromLocal8Bit(account->pw_name) : QString();
        const std::string home = QDir::homePath().toStdString();
        const std::string cards = !media.isEmpty() && QDir(media).exists() ? media.toStdString() : home;
        QCOMPARE(pickerStarts, (std::vector<std::string>{Path("photos").toStdString(), cards, home}));
    }

    // A whole run through the window: the settings are saved, the output
    // folder is created on Yes, the files are copied, the summary shown.
    void go() {
        WriteFiles(Path("source"), 3);
        RunOptions stored = Stored();
        stored.SourcePath = Path("source/").toStdString();
        stored.MoveOrCopy = MoveOrCopy::Copy;
        stored.DateMode = DateMode::FileSystemOnly;  // the files carry no metadata
        auto w = Open(stored);
        const MainWindowProbe c(*w);
        w->show();
        c.Check("PreviewResults")->click();

        // The summary's verdict on the card, and "Check card" once a copy is gone.
        std::string verdict, checkedAgain;
        onMessage = [&](const ravlen::ui::MessageRequest& request) {
            if (!request.card) return;
            verdict = request.card->Text;
            ravlen::CardCheck again = *request.card;
            QVERIFY(again.Again);
            QFile::remove(QDir(Path("output")).entryInfoList(QDir::Files).first().filePath());
            again.Again(again);
            checkedAgain = again.Safe ? "safe" : again.Text.substr(0, again.Text.find('\r'));
        };
        c.Go()->click();
        onMessage = nullptr;
        QStringList texts;
        for (const auto& m : user.shown) texts << QString::fromStdString(m.text);
        QCOMPARE(texts.size(), 3);
        QCOMPARE(texts[0], "Create output folder \"" + Path("output") + "\"?");
        QVERIFY(texts[1].contains("3  total files will be attempted\r\n\r\nThe files will be copied from " +
                                  Path("source") + " to " + Path("output") +
                                  ".\r\n\r\n\r\nDo you want to proceed?"));
        QCOMPARE(texts[2], QString("All 3 files successfully timestamped."));
        QCOMPARE(QString::fromStdString(verdict),
                 "All 3 files on " + Path("source") + " are in " + Path("output") + ": the card can be formatted.");
        QCOMPARE(QString::fromStdString(checkedAgain),
                 "1 file on " + Path("source") + " is not in " + Path("output") + ": do not format the card.");
        QCOMPARE(user.shown[2].icon, MsgIcon::Information);
        QCOMPARE(FileCount(Path("output")), 2);  // 3 placed, one taken away before "Check card"
        QCOMPARE(FileCount(Path("source")), 3);

        // The folder as the file system reports it, and the settings saved at Go.
        QCOMPARE(c.Text("SourcePath")->text(), Path("source"));
        QVERIFY(c.Tabs()->isEnabled());
        QVERIFY(!w->Port().Progress().isVisible());
        QVERIFY(!w->Running());
        ravlen::SettingsStore store(StorePath());
        QCOMPARE(ravlen::LoadOptions(store).PreviewResults, true);
    }

    // A run whose names hold the job code asks for it at Go, offering the
    // last ones used; Cancel starts nothing, an answer is kept for next time.
    void goAsksForTheJobCode() {
        WriteFiles(Path("source"), 1);
        QDir().mkpath(Path("output"));
        RunOptions stored = Stored();
        stored.DateMode = DateMode::FileSystemOnly;
        stored.FilenameFormat = FilenameFormat::Custom;
        stored.CustomFormat.Template = "%d%j%s%e";
        stored.JobCode = "Smith";
        stored.RecentJobCodes = "Jones|Smith";
        stored.RequestConfirmation = false, stored.SummarizeResults = false;
        auto w = Open(stored);
        const MainWindowProbe c(*w);
        w->show();
        jobAnswer.reset();
        c.Go()->click();
        QCOMPARE(jobOffered, (std::vector<std::string>{"Smith", "Jones"}));
        QCOMPARE(FileCount(Path("source")), 1);
        jobAnswer = "Brown";
        user.shown.clear();
        c.Go()->click();
        QCOMPARE(FileCount(Path("source")), 0);
        QVERIFY(QDir(Path("output")).entryList(QDir::Files).join("|").contains("Brown"));
        ravlen::SettingsStore store(StorePath());
        const RunOptions saved = ravlen::LoadOptions(store);
        QCOMPARE(saved.JobCode, std::string("Brown"));
        QCOMPARE(saved.RecentJobCodes, std::string("Brown|Jones|Smith"));
    }

    // "Undo a run..." takes the chosen CSV log and puts the moved files back.
    void undoRun() {
        WriteFiles(Path("source"), 2);
        QDir().mkpath(Path("output"));
        RunOptions stored = Stored();
        stored.DateMode = DateMode::FileSystemOnly;
        stored.CreateLog = CreateLog::Csv;
        auto w = Open(stored);
        const MainWindowProbe c(*w);
        w->show();
        c.Go()->click();
        QCOMPARE(FileCount(Path("source")), 0);

        c.Undo()->click();  // the chooser cancelled: nothing happens
        const auto shownBefore = user.shown.size();
        QCOMPARE(FileCount(Path("source")), 0);
        const QStringList logs = QDir(Path("output")).entryList({"*.csv"});
        QCOMPARE(logs.size(), 1);
        logAnswer = Path("output/" + logs[0]).toStdString();
        c.Undo()->click();
        QVERIFY(user.shown.size() > shownBefore);
        QCOMPARE(FileCount(Path("source")), 2);
        QVERIFY(c.Tabs()->isEnabled());
        QVERIFY(!w->Running());
    }

    // "Undo last import..." lists the runs and undoes the one chosen from its
    // journal, though the run wrote no log.
    void undoLastImport() {
        WriteFiles(Path("source"), 2);
        QDir().mkpath(Path("output"));
        RunOptions stored = Stored();
        stored.DateMode = DateMode::FileSystemOnly;
        stored.CreateLog = CreateLog::No;
        auto w = Open(stored);
        const MainWindowProbe c(*w);
        w->show();
        c.Go()->click();
        QCOMPARE(FileCount(Path("source")), 0);
        runChosen = false;
        c.UndoLast()->click();
        QCOMPARE(FileCount(Path("source")), 0);
        QVERIFY(!runsShown.empty());
        QCOMPARE(runsShown.front().OutputFolder, Path("output").toStdString());
        QCOMPARE(runsShown.front().Moved, 2);
        runChosen = true;
        c.UndoLast()->click();
        QCOMPARE(FileCount(Path("source")), 2);
        runChosen = false;
        c.UndoLast()->click();
        QVERIFY(runsShown.front().Undone);
        QVERIFY(!w->Running());
    }

    // The list of runs offers the newest run not undone; Undo gives its id.
    void runsDialogOffersTheNewestRunNotUndone() {
        std::vector<ravlen::JournalRun> runs(3);
        runs[0].Id = "newest";
        runs[0].Undone = true;
        runs[1].Id = "middle";
        runs[2].Id = "oldest";
        int rows = -1;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            auto* list = dialog->findChild<QTreeWidget*>("RunList");
            rows = list->topLevelItemCount();
            dialog->accept();
        });
        QCOMPARE(ravlen::ui::ChooseRunToUndo(nullptr, runs), std::string("middle"));
        QCOMPARE(rows, 3);
    }

    // Stop, pressed while a pass runs, ends it after the current file.
    void stopDuringPass() {
        WriteFiles(Path("source"), 30);
        QDir().mkpath(Path("output"));
        RunOptions stored = Stored();
        stored.DateMode = DateMode::FileSystemOnly;
        auto w = Open(stored);
        const MainWindowProbe c(*w);
        w->show();

        bool disabledDuringPass = false;
        QString title;
        // Yes to the question before processing, and Stop as soon as the pass
        // lets events through.
        onMessage = [&](const ravlen::ui::MessageRequest& request) {
            if (!request.text.ends_with("\r\n\r\nTimestamp 30 files?")) return;
            QTimer::singleShot(0, [&] {
                ravlen::ui::FrmProgress& progress = w->Port().Progress();
                disabledDuringPass = !c.Tabs()->isEnabled() && !c.Go()->isEnabled();
                title = progress.windowTitle();
                progress.CancelButton->click();
                progress.CancelButton->click();  // twice is once
            });
        };
        w->Port().SetPumpInterval(0);
        c.Go()->click();

        QVERIFY(disabledDuringPass);
        QCOMPARE(title, QString("Timestamping Files..."));
        const auto& summary = user.shown.back();
        QCOMPARE(summary.icon, MsgIcon::Exclamation);
        QVERIFY(QString::fromStdString(summary.text).contains("  files not attempted due to termination"));
        QVERIFY(QString::fromStdString(summary.text).endsWith("30  total files would have been attempted"));
        const int placed = FileCount(Path("output"));
        QVERIFY(placed >= 1 && placed < 30);
        QCOMPARE(FileCount(Path("source")), 30 - placed);
        QVERIFY(c.Tabs()->isEnabled());
        QVERIFY(w->Port().Cancel());  // set until the next pass clears it
    }

    void cameraDetectionAtStart() {
        WriteFiles(Path("card/DCIM/100CANON"), 1);
        RunOptions stored = Stored();
        stored.AutoDetect = true;
        stored.ProcessSubfolders = ProcessSubfolders::Ignore;
        auto w = Open(stored, {{Path("card").toStdString(), "CANON_DC", true, true}});
        const MainWindowProbe c(*w);
        QVERIFY(user.shown.empty());  // a stored source folder is not replaced at load
        user.otherwise = MsgAnswer::Yes;
        w->Start();
        QCOMPARE(user.shown.size(), std::size_t(1));
        QVERIFY(user.Saw("has found digital camera files on drive:"));
        QCOMPARE(user.shown[0].icon, MsgIcon::Question);
        QCOMPARE(c.Text("SourcePath")->text(), Path("card"));
        QCOMPARE(c.List("ProcessSubfolders")->currentIndex(), 1);
    }

    // A card mounted while the window is open is offered at once; one mounted
    // during a run when the run has ended; none with AutoDetect unticked.
    void cardMountedWhileOpen() {
        WriteFiles(Path("card/DCIM/100CANON"), 1);
        WriteFiles(Path("source"), 1);
        auto w = Open(Offering());
        const MainWindowProbe c(*w);
        user.otherwise = MsgAnswer::No;
        w->Start();
        QVERIFY(user.shown.empty());
        const auto mount = [this, &w] {
            mounted->drives = {{Path("card").toStdString(), "", true, true}};
            w->Cards()->MountTableChanged();
        };
        mount();
        QCOMPARE(user.shown.size(), std::size_t(1));
        QVERIFY(user.Saw("has found digital camera files on drive:"));
        QCOMPARE(c.Text("SourcePath")->text(), Path("source"));  // answered No

        mounted->drives.clear();
        w->Cards()->MountTableChanged();
        user.shown.clear();
        user.otherwise = MsgAnswer::Yes;
        onMessage = [&](const ravlen::ui::MessageRequest& request) {
            if (request.text.find("Timestamp") != std::string::npos) mount();  // while the run asks
        };
        w->GoButtonClick();
        onMessage = nullptr;
        QVERIFY(!user.Saw("has found digital camera files"));
        QVERIFY(user.Saw("Timestamp"));
        QTRY_VERIFY(user.Saw("has found digital camera files"));
        QCOMPARE(c.Text("SourcePath")->text(), Path("card"));

        c.Check("AutoDetect")->click();
        mounted->drives.clear();
        w->Cards()->MountTableChanged();
        user.shown.clear();
        mount();
        QTest::qWait(10);
        QVERIFY(user.shown.empty());
    }

    // A camera plugged in while the window is open is offered as a card is,
    // and listed in the source field by its model, two of one model by
    // port; one taken away leaves the list, and shows as its path.
    void devicePluggedInWhileOpen() {
        WriteFiles(Path("card/DCIM/100CANON"), 1);
        RunOptions stored = Stored();
        stored.AutoDetect = true;
        auto w = Open(stored, {{Path("card").toStdString(), "", true, true}});
        const MainWindowProbe c(*w);
        user.otherwise = MsgAnswer::No;
        w->Start();
        user.shown.clear();
        w->Devices()->LookNow();
        const ravlen::DeviceInfo a{"Canon EOS R6", "usb:001,004"}, b{"Canon EOS R6", "usb:001,007"};
        usb->Set({{a.Port, {a}}, {b.Port, {b}}});
        w->Devices()->LookNow();
        QVERIFY(user.shown.empty());  // not settled yet
        user.otherwise = MsgAnswer::Yes;
        w->Devices()->LookNow();
        QCOMPARE(user.shown.size(), std::size_t(1));
        QVERIFY(user.Saw("has found a camera or phone on the USB port:"));
        QCOMPARE(w->Options().SourcePath, std::string("camera:Canon EOS R6@usb:001,004"));
        QCOMPARE(c.Text("SourcePath")->text(), QString("Canon EOS R6 (USB 001,004)"));
        QCOMPARE(c.List("ProcessSubfolders")->currentIndex(), 1);

        auto* list = w->findChild<QComboBox*>("SourceList");
        QVERIFY(list);
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->itemText(0), Path("card"));
        QCOMPARE(list->itemText(2), QString("Canon EOS R6 (USB 001,007)"));
        list->setCurrentIndex(2);
        emit list->activated(2);
        QCOMPARE(w->Options().SourcePath, std::string("camera:Canon EOS R6@usb:001,007"));
        QCOMPARE(c.Text("SourcePath")->text(), QString("Canon EOS R6 (USB 001,007)"));
        // Scrolling the page over the field leaves the source alone.
        QWheelEvent wheel(QPointF(5, 5), list->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(list, &wheel);
        QCOMPARE(w->Options().SourcePath, std::string("camera:Canon EOS R6@usb:001,007"));
        w->SaveSettings();
        QCOMPARE(ravlen::LoadOptions(ravlen::SettingsStore(StorePath())).SourcePath,
                 std::string("camera:Canon EOS R6@usb:001,007"));

        usb->Set({{a.Port, {a}}});
        w->Devices()->LookNow();
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->itemText(1), QString("Canon EOS R6 (USB)"));
        QCOMPARE(c.Text("SourcePath")->text(), QString("camera:Canon EOS R6@usb:001,007"));
        // Typed back as its entry, the field still names the device.
        c.Text("SourcePath")->setText("");
        QTest::keyClicks(c.Text("SourcePath"), "Canon EOS R6 (USB)");
        QCOMPARE(w->Options().SourcePath, std::string("camera:Canon EOS R6@usb:001,004"));

        // With AutoDetect unticked one is listed, not offered.
        c.Check("AutoDetect")->click();
        usb->Set({{a.Port, {a}}, {b.Port, {b}}});
        w->Devices()->LookNow();
        w->Devices()->LookNow();
        QCOMPARE(list->count(), 3);
        QCOMPARE(user.shown.size(), std::size_t(1));
    }

    // One plugged in before the window opened is offered with the first look,
    // as a card there then is; with a card there, the card alone is offered.
    void devicePluggedInBeforeTheWindowOpened() {
        const ravlen::DeviceInfo phone{"Google Pixel 8", "usb:002,003"};
        for (const bool card : {false, true}) {
            std::vector<ravlen::DriveInfo> cards;
            if (card) {
                WriteFiles(Path("card/DCIM/100CANON"), 1);
                cards.push_back({Path("card").toStdString(), "", true, true});
            }
            auto w = Open(Offering(), cards);
            usb->Set({{phone.Port, {phone}}});
            user.shown.clear();
            user.otherwise = MsgAnswer::No;
            w->Start();
            w->Devices()->LookNow();
            w->Devices()->LookNow();
            QCOMPARE(user.Saw("found a camera or phone"), !card);
            QCOMPARE(user.Saw("has found digital camera files on drive"), card);
        }
    }

    // One plugged in during a run is offered when the run has ended.
    void devicePluggedInDuringARun() {
        WriteFiles(Path("source"), 1);
        auto w = Open(Offering());
        const MainWindowProbe c(*w);
        w->Start();
        w->Devices()->LookNow();
        // Nothing to offer: the list says so, and that line cannot be chosen.
        const QComboBox* list = w->findChild<QComboBox*>("SourceList");
        QCOMPARE(list->count(), 1);
        QVERIFY(!(list->model()->flags(list->model()->index(0, 0)) & Qt::ItemIsEnabled));
        user.otherwise = MsgAnswer::Yes;
        onMessage = [&](const ravlen::ui::MessageRequest& request) {
            if (request.text.find("Timestamp") == std::string::npos) return;
            usb->Set({{"usb:002,003", {{"Google Pixel 8", "usb:002,003"}}}});
            w->Devices()->LookNow();
            w->Devices()->LookNow();
        };
        w->GoButtonClick();
        onMessage = nullptr;
        QVERIFY(user.Saw("Timestamp"));
        QVERIFY(!user.Saw("found a camera or phone"));
        QTRY_VERIFY(user.Saw("found a camera or phone"));
        QCOMPARE(c.Text("SourcePath")->text(), QString("Google Pixel 8 (USB)"));
    }

    // A device plugged in while a card's question is on screen is offered
    // once it is answered.
    void oneQuestionAtATime() {
        WriteFiles(Path("card/DCIM/100CANON"), 1);
        RunOptions stored = Stored();
        stored.AutoDetect = true;
        auto w = Open(stored);
        w->Start();
        w->Devices()->LookNow();
        user.otherwise = MsgAnswer::No;
        std::size_t shownWithCard = 0;
        onMessage = [&](const ravlen::ui::MessageRequest& request) {
            if (request.text.find("digital camera files") == std::string::npos) return;
            usb->Set({{"usb:002,003", {{"Google Pixel 8", "usb:002,003"}}}});
            w->Devices()->LookNow();
            w->Devices()->LookNow();
            shownWithCard = user.shown.size();
        };
        mounted->drives = {{Path("card").toStdString(), "", true, true}};
        w->Cards()->MountTableChanged();
        onMessage = nullptr;
        QCOMPARE(shownWithCard, std::size_t(0));
        QCOMPARE(user.shown.size(), std::size_t(1));
        QTRY_VERIFY(user.Saw("found a camera or phone"));
        QCOMPARE(user.shown.size(), std::size_t(2));
    }

    void firstStartTakesCardSilently() {
        WriteFiles(Path("card/DCIM/100CANON"), 1);
        RunOptions stored = Stored();
        stored.SourcePath.clear();
        stored.OutputPath.clear();
        QDir().mkpath(Path("pictures"));
        auto w = Open(stored, {{Path("card").toStdString(), "", true, true}});
        const MainWindowProbe c(*w);
        QVERIFY(user.shown.empty());
        QCOMPARE(c.Text("SourcePath")->text(), Path("card"));
        QCOMPARE(c.Text("OutputPath")->text(), Path("pictures"));
    }

    void closeSaves() {
        auto w = Open(Stored());
        const MainWindowProbe c(*w);
        w->show();
        c.Check("SummarizeResults")->click();
        c.List("CreateLog")->setCurrentIndex(3);
        emit c.List("CreateLog")->activated(3);
        QTest::keyClicks(c.Text("ExcludePatternList"), ";*.thm");
        c.Check("SetFileTime")->click();
        QTest::keyClicks(c.Text("MovieTimeZone"), "Europe/Paris");
        QTest::keyClicks(c.Text("TimeShift"), "+01:00:00");
        c.Close()->click();
        QVERIFY(!w->isVisible());
        ravlen::SettingsStore store(StorePath());
        const RunOptions saved = ravlen::LoadOptions(store);
        QCOMPARE(saved.SummarizeResults, false);
        QCOMPARE(saved.CreateLog, CreateLog::Both);
        QCOMPARE(saved.ExcludePatternList, std::string("*.ctg;*.ind;*.log;*.thm"));
        QCOMPARE(saved.SetFileTime, true);
        QCOMPARE(saved.MovieTimeZone, std::string("Europe/Paris"));
        QCOMPARE(saved.TimeShift, std::string());  // one run only
    }

    // "Camera clocks..." surveys the source with the run's filters, and OK
    // keeps the offsets at once; Cancel keeps nothing.
    void cameraClocks() {
        QDir().mkpath(Path("source"));
        for (const char* name : {"IMG_0001.JPG", "IMG_0002.JPG"}) {
            QFile file(Path("source/") + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray::fromStdString(ravlen::test::CameraJpeg("2024:07:14 10:00:00", "Make", "M")));
        }
        RunOptions stored = Stored();
        stored.DateMode = DateMode::MetadataOnly;
        using Answer = std::optional<std::string>;
        for (const Answer& answer : {Answer(), Answer("Make|M|=+01:00:00")}) {
            clocksAnswer = answer;
            auto w = Open(stored);
            const MainWindowProbe c(*w);
            w->show();
            c.CameraClocks()->click();
            QCOMPARE(clocksFiles, std::size_t{2});
            ravlen::SettingsStore store(StorePath());
            QCOMPARE(ravlen::LoadOptions(store).CameraOffsets, answer.value_or(""));
            QCOMPARE(w->Options().CameraOffsets, answer.value_or(""));
        }
        // Without files to search the offsets kept are still offered, after the check's message.
        QDir(Path("source")).removeRecursively();
        clocksAnswer = std::nullopt;
        clocksFiles = 99;
        auto w = Open(Stored());
        const MainWindowProbe c(*w);
        c.CameraClocks()->click();
        QCOMPARE(clocksFiles, std::size_t{0});
        QVERIFY(user.Saw("doesn't exist"));
    }

    // Every check-box key has its box, named after it, and a click turns
    // that option, and only that one, the box's way.
    void checkBoxesHoldTheirKeys() {
        auto w = Open(Stored());
        w->show();
        const QList<QCheckBox*> boxes = w->findChildren<QCheckBox*>();
        const auto& keys = ravlen::AllSettingsKeys();
        QCOMPARE(boxes.size(), std::count_if(keys.begin(), keys.end(), [](const ravlen::SettingsKey& key) {
                     return key.kind == ravlen::KeyKind::CheckBox;
                 }));
        for (QCheckBox* box : boxes) {
            const std::string key = box->objectName().toStdString();
            const ravlen::SettingsKey* row = ravlen::FindSettingsKey(key);
            QVERIFY2(row && row->IsNumber(), key.c_str());
            RunOptions expected = w->Options();
            box->click();
            row->set(expected, box->isChecked() ? 1 : 0);
            QVERIFY2(w->Options() == expected, key.c_str());
        }
    }

    // Each list offers exactly the values its settings key takes, and the
    // item chosen is the value saved: the last item of every list at once.
    void listsOfferTheValuesTheirKeysTake() {
        auto w = Open(Stored());
        const MainWindowProbe c(*w);
        w->show();
        QList<QComboBox*> lists = w->findChildren<QComboBox*>();
        // The source field's list holds cards and devices, not a key's values.
        QCOMPARE(lists.removeAll(w->findChild<QComboBox*>("SourceList")), 1);
        QVERIFY(lists.size() >= 11);
        for (QComboBox* list : lists) {
            const int last = list->count() - 1;
            list->setCurrentIndex(last);
            emit list->activated(last);
        }
        c.Close()->click();
        const ravlen::SettingsStore store(StorePath());
        for (QComboBox* list : lists) {
            const std::string key = list->objectName().toStdString();
            const ravlen::SettingsKey* row = ravlen::FindSettingsKey(key);
            QVERIFY2(row, key.c_str());
            const std::string last = std::to_string(list->count() - 1);
            QCOMPARE(store.Read(row->section, key), std::optional<std::string>(last));
            RunOptions options;
            std::string error;
            QVERIFY2(ravlen::SetOptionFromText(options, key, last, error), key.c_str());
            QVERIFY2(!ravlen::SetOptionFromText(options, key, std::to_string(list->count()), error), key.c_str());
        }
    }

    void help_data() {
        QTest::addColumn<QString>("guideAt");  // "" for none
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("viewer");
        const QString installed = "\"%1/share/ravlen/Ravlen User Guide.htm\"";
        QTest::newRow("beside the program") << "bin" << true << "" << false;
        QTest::newRow("installed") << "share/ravlen" << true << "" << false;
        QTest::newRow("guide missing") << "" << true << "Unable to open " + installed + "." << false;
        QTest::newRow("no browser: own viewer") << "share/ravlen" << false << "" << true;
    }
    void help() {
        QFETCH(QString, guideAt);
        QFETCH(bool, opens);
        QFETCH(QString, message);
        QFETCH(bool, viewer);
        const QString guide = Path(guideAt + "/Ravlen User Guide.htm");
        QDir().mkpath(Path("bin"));
        if (!guideAt.isEmpty()) {
            QDir().mkpath(Path(guideAt));
            QFile file(guide);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("<html><head><title>Guide</title></head><body><p>Cards</p></body></html>");
        }
        auto w = Open(Stored());
        const MainWindowProbe c(*w);
        openSucceeds = opens;
        c.Help()->click();
        QCOMPARE(opened.size(), std::size_t(guideAt.isEmpty() ? 0 : 1));
        auto* shown = dynamic_cast<ravlen::ui::HelpViewer*>(w->findChild<QWidget*>("HelpViewer"));
        QCOMPARE(shown != nullptr, viewer);
        if (viewer) {
            QVERIFY(shown->isVisible());
            QCOMPARE(shown->windowTitle(), QString("Guide"));
            QCOMPARE(shown->Browser->toPlainText(), QString("Cards"));
        }
        if (message.isEmpty()) {
            QVERIFY(user.shown.empty());
            if (!opened.empty()) QCOMPARE(QString::fromStdString(opened.front()), guide);
            return;
        }
        QCOMPARE(user.shown.size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(user.shown[0].text), message.arg(root->path()));
        QCOMPARE(user.shown[0].title, std::string("Show Help"));
        QCOMPARE(user.shown[0].icon, MsgIcon::Exclamation);
        QVERIFY(c.Tabs()->isEnabled());
    }

    // The real guide in the program's own viewer: its links and the search.
    void helpViewerShowsTheGuide() {
        ravlen::ui::HelpViewer viewer(nullptr, RAVLEN_SOURCE_GUIDE);
        viewer.show();
        QCOMPARE(viewer.windowTitle(), QString("Ravlen User Guide"));
        QTextBrowser* browser = viewer.Browser;
        QCOMPARE(browser->verticalScrollBar()->value(), 0);
        // A click on a link of the contents goes to its chapter.
        QTextCursor link = browser->document()->find("Memory cards and cameras");
        QVERIFY(!link.isNull());
        link.setPosition(link.selectionStart() + 3);
        QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, browser->cursorRect(link).center());
        QTRY_VERIFY(browser->verticalScrollBar()->value() > 0);
        QCOMPARE(browser->source().fileName(), QString("Ravlen User Guide.htm"));

        viewer.SearchText->setText("DCIM");
        QVERIFY(viewer.FindNext());
        const int first = browser->textCursor().selectionStart();
        QVERIFY(viewer.FindNext());
        QVERIFY(browser->textCursor().selectionStart() > first);
        QVERIFY(viewer.FindPrevious());
        QCOMPARE(browser->textCursor().selectionStart(), first);
        QVERIFY(viewer.SearchResult->text().isEmpty());
        viewer.SearchText->setText("no such words anywhere");
        QVERIFY(!viewer.FindNext());
        QCOMPARE(viewer.SearchResult->text(), QString("Not found"));
    }

    void about() {
        const ravlen::VersionInfo& v = ravlen::Version();
        ravlen::ui::Messenger messenger;
        messenger.SetHook(user.Hook());
        openSucceeds = false;
        ravlen::ui::FrmAbout box(nullptr, messenger, [this](const std::string& target, std::string& error) {
            opened.push_back(target);
            error = "no browser";
            return false;
        });
        QCOMPARE(box.lblRevision->text(), QString("Build %1").arg(v.Revision));
        QCOMPARE(box.lblLegalCopyright->text().toStdString(), ravlen::ui::CopyrightCaption(v.LegalCopyright, "Morvane"));

        box.LinkWebClick();
        box.LinkMailClick();
        QCOMPARE(opened, (std::vector<std::string>{
                             "https://www.morvane.example/ravlen",
                             "mailto:Morvane <support@morvane.example>?Subject=Ravlen 2.8 Build " +
                                 std::to_string(v.Revision)}));
        QCOMPARE(user.shown.size(), std::size_t(2));
        QCOMPARE(user.shown[0].text, std::string("Unable to open \"https://www.morvane.example/ravlen\" due to the "
                                                 "following error: no browser."));
        QCOMPARE(user.shown[0].title, std::string("Launch Web"));
        QCOMPARE(user.shown[1].text, std::string("Unable to open email client due to the following error: no browser."));
        QCOMPARE(user.shown[1].title, std::string("Launch Email"));
        QCOMPARE(ravlen::ui::MailFailureMessage(""), std::string("Unable to open email client."));
    }

    void copyright_data() {
        QTest::addColumn<QString>("copyright");
        QTest::addColumn<QString>("shown");
        QTest::newRow("ends with the company") << "Copyright \u00a9 2026 Morvane" << "Copyright \u00a9 2026 ";
        QTest::newRow("separator stays") << "(c) 2026, Morvane" << "(c) 2026, ";
        QTest::newRow("company elsewhere") << "Morvane 2026" << "Morvane 2026";
        QTest::newRow("only the company") << "Morvane" << "";
    }
    void copyright() {
        QFETCH(QString, copyright);
        QFETCH(QString, shown);
        QCOMPARE(QString::fromStdString(ravlen::ui::CopyrightCaption(copyright.toStdString(), "Morvane")), shown);
    }

    void progressWindow() {
        QWidget owner;
        ravlen::ui::Messenger messenger;
        ravlen::ui::QtUserPort port(&owner, &owner, messenger);
        QVERIFY(!port.Cancel());
        port.ProgressSetRange(0, 10);
        port.ProgressSetValue(12);  // a file added after the count
        QCOMPARE(port.Progress().ProgressBar1->value(), 10);
        port.ProgressShow();
        port.Progress().close();  // the close box stops like the button and the window stays
        QVERIFY(port.Cancel());
        QVERIFY(port.Progress().isVisible());
        port.SetCancel(false);
        // The file in hand and the bytes done of all, cleared for each pass.
        QTest::qWait(50);  // past the interval between redraws
        port.ProgressSetFile("IMG_0017.JPG");
        port.ProgressSetBytes(170'000'000, 480'000'000);
        QCOMPARE(port.Progress().FileName->text(), QString("IMG_0017.JPG"));
        QVERIFY(port.Progress().Bytes->text().startsWith("170.0 MB of 480.0 MB"));
        port.ProgressHide();
        QVERIFY(!port.Progress().isVisible());
        port.ProgressShow();
        QVERIFY(port.Progress().FileName->text().isEmpty() && port.Progress().Bytes->text().isEmpty());
        port.ProgressHide();

        // Events are processed at most once per interval, however often the pass asks.
        port.SetPumpInterval(1000);
        port.ProgressShow();  // the first pump after showing always runs
        for (int i = 0; i < 10000; ++i) port.PumpEvents();
        QCOMPARE(port.PumpsProcessed(), 1);
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
