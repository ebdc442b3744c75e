// The main window's option logic, without a screen.

#include <QtTest>

#include "ui/main_form.h"

using ravlen::DCFMode;
using ravlen::DateMode;
using ravlen::FilenameFormat;
using ravlen::FilenameFormatDefinition;
using ravlen::RunOptions;
using ravlen::StoredValue;
using ravlen::ui::MainForm;

namespace {

struct Harness {
    std::vector<std::string> warnings;
    bool answer = true;
    int dialogs = 0;
    int focusMoves = 0;
    std::optional<FilenameFormatDefinition> dialogResult;
    MainForm form{MainForm::Hooks{
        [this](const std::string& text) {
            warnings.push_back(text);
            return answer;
        },
        [this](const FilenameFormatDefinition&) {
            ++dialogs;
            return dialogResult;
        },
        [this] { ++focusMoves; },
        [] { return *ravlen::DateTime::FromFields(2004, 12, 25, 18, 9, 11); },
    }};
};

// Runs clicks named like the controls ("EXIFOption2A", "DCFOption1", ...).
void Click(MainForm& form, const QString& name) {
    const std::map<QString, void (MainForm::*)()> handlers{
        {"EXIFOption1", &MainForm::EXIFOption1Click}, {"EXIFOption2", &MainForm::EXIFOption2Click},
        {"EXIFOption2A", &MainForm::EXIFOption2AClick}, {"EXIFOption2B", &MainForm::EXIFOption2BClick},
        {"DCFOption1", &MainForm::DCFOption1Click},   {"DCFOption2", &MainForm::DCFOption2Click},
        {"DCFOption2A", &MainForm::DCFOption2AClick}, {"DCFOption2B", &MainForm::DCFOption2BClick},
    };
    (form.*handlers.at(name))();
}

}  // namespace

class MainFormTest : public QObject {
    Q_OBJECT

private slots:
    void optionGroups_data() {
        QTest::addColumn<int>("storedMode");  // 0: the form as created, nothing selected
        QTest::addColumn<QString>("clicks");
        QTest::addColumn<int>("dateMode");
        QTest::addColumn<bool>("subEnabled");

        QTest::newRow("loaded 1") << 1 << "" << 1 << false;
        QTest::newRow("loaded 2") << 2 << "" << 2 << true;
        QTest::newRow("loaded 3") << 3 << "" << 3 << true;
        QTest::newRow("1, then all files takes the sub-button left from loading") << 1 << "EXIFOption2" << 2 << true;
        QTest::newRow("3, then only valid dates") << 3 << "EXIFOption1" << 1 << false;
        QTest::newRow("3, only valid, all again keeps the sub-button") << 3 << "EXIFOption1,EXIFOption2" << 3 << true;
        QTest::newRow("sub-button while disabled still stores") << 1 << "EXIFOption2B" << 3 << false;
        QTest::newRow("all files with neither sub-button leaves the mode") << 0 << "EXIFOption2" << 1 << true;
        QTest::newRow("then a sub-button") << 0 << "EXIFOption2,EXIFOption2B" << 3 << true;
    }
    void optionGroups() {
        QFETCH(int, storedMode);
        QFETCH(QString, clicks);
        QFETCH(int, dateMode);
        QFETCH(bool, subEnabled);

        // The same rules hold for both groups; DCF warnings are off here.
        for (bool dcfGroup : {false, true}) {
            Harness h;
            if (storedMode != 0) {
                RunOptions stored;
                stored.DisplayWarning = false;
                // Both modes take the same stored integers.
                stored.DCFMode = static_cast<DCFMode>(storedMode), stored.DateMode = static_cast<DateMode>(storedMode);
                h.form.Load(stored);
            }
            h.form.values.DisplayWarning = false;
            for (const QString& click : clicks.split(',', Qt::SkipEmptyParts)) {
                QString name = click;
                if (dcfGroup) name.replace("EXIF", "DCF");
                Click(h.form, name);
            }
            QCOMPARE(dcfGroup ? StoredValue(h.form.values.DCFMode) : StoredValue(h.form.values.DateMode), dateMode);
            QCOMPARE((dcfGroup ? h.form.dcf : h.form.exif).subEnabled, subEnabled);
        }
    }

    void warnings_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("displayWarning");
        QTest::addColumn<bool>("eventsEnabled");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("warned");
        QTest::addColumn<int>("dcfMode");
        QTest::addColumn<int>("excludeSystem");

        QTest::newRow("non-DCF, Yes") << "DCFOption2" << 1 << true << true << true << 2 << 1;
        QTest::newRow("non-DCF, No goes back") << "DCFOption2" << 1 << true << false << true << 1 << 1;
        QTest::newRow("non-DCF, warnings off") << "DCFOption2" << 0 << true << false << false << 2 << 1;
        QTest::newRow("non-DCF while loading") << "DCFOption2" << 1 << false << false << false << 2 << 1;
        QTest::newRow("System unticked, Yes") << "untick System" << 1 << true << true << true << 1 << 0;
        QTest::newRow("System unticked, No ticks it again") << "untick System" << 1 << true << false << true << 1 << 1;
        QTest::newRow("System unticked, warnings off") << "untick System" << 0 << true << false << false << 1 << 0;
        QTest::newRow("System unticked while loading") << "untick System" << 1 << false << false << false << 1 << 0;
        QTest::newRow("System ticked never warns") << "tick System" << 1 << true << false << false << 1 << 1;
    }
    void warnings() {
        QFETCH(QString, action);
        QFETCH(int, displayWarning);
        QFETCH(bool, eventsEnabled);
        QFETCH(bool, answer);
        QFETCH(bool, warned);
        QFETCH(int, dcfMode);
        QFETCH(int, excludeSystem);

        Harness h;
        RunOptions stored;
        stored.DisplayWarning = displayWarning != 0;
        h.form.Load(stored);  // DCFMode 1 with "Preserve" selected below it
        h.form.formEventsEnabled = eventsEnabled;
        h.answer = answer;
        if (action == "DCFOption2") h.form.DCFOption2Click();
        if (action == "untick System") h.form.ExcludeSystemClick(false);
        if (action == "tick System") h.form.ExcludeSystemClick(true);

        QCOMPARE(h.warnings.size(), std::size_t(warned ? 1 : 0));
        QCOMPARE(StoredValue(h.form.values.DCFMode), dcfMode);
        QCOMPARE(StoredValue(h.form.values.ExcludeSystem), excludeSystem);
        if (warned) {
            const std::string expected = action == "DCFOption2" ? MainForm::NonDCFWarning() : MainForm::SystemWarning();
            QCOMPARE(h.warnings.front(), expected);
        }
        // A refused non-DCF warning selects the first button again and focuses it.
        const bool refusedNonDCF = warned && !answer && action == "DCFOption2";
        QCOMPARE(h.form.dcf.option1, refusedNonDCF || action != "DCFOption2" || dcfMode == 1);
        QCOMPARE(h.form.dcf.subEnabled, !h.form.dcf.option1);
        QCOMPARE(h.focusMoves, refusedNonDCF ? 1 : 0);
    }

    // Settings that would warn or open the dialog when chosen by hand are
    // applied silently at load, and the sample shows the stored custom format.
    void loadHoldsEventsBack() {
        Harness h;
        RunOptions stored;
        stored.FilenameFormat = FilenameFormat::Custom;
        stored.DCFMode = DCFMode::PreserveAsComment;
        stored.ExcludeSystem = false;
        stored.DisplayWarning = true;
        stored.ExcludePattern = false;
        stored.IncludePattern = true;
        stored.CustomFormat.Template = "photo %d%e";
        stored.CustomFormat.DateFormat = "yyyy";
        stored.DateFolders = true;
        stored.DateFolderFormat = "yyyy/\"Trip \"mm";
        stored.CameraOffsets = "Make|Model|=+01:00:00", stored.MovieTimeZone = "Europe/Paris";
        stored.SetFileTime = true;
        h.form.Load(stored);

        QVERIFY(h.warnings.empty());
        QCOMPARE(h.dialogs, 0);
        QVERIFY(h.form.formEventsEnabled);
        QCOMPARE(h.form.values.DCFMode, DCFMode::PreserveAsComment);
        QVERIFY(h.form.dcf.option2 && h.form.dcf.optionA && h.form.dcf.subEnabled);
        QCOMPARE(h.form.values.ExcludeSystem, false);
        QVERIFY(!h.form.excludePatternListEnabled);
        QVERIFY(h.form.includePatternListEnabled);
        QCOMPARE(h.form.sampleFilename, std::string("photo {DT=2004}.jpg"));
        QVERIFY(h.form.dateFolderFormatEnabled);
        QCOMPARE(h.form.dateFolderExample, std::string("Example: 2004/Trip 12/"));
        QCOMPARE(h.form.Options(), stored);

        // Chosen by hand, "Custom..." opens the dialog; Cancel keeps the definition.
        h.form.FilenameFormatChange(FilenameFormat::Custom);
        QCOMPARE(h.dialogs, 1);
        QCOMPARE(h.form.values.FilenameFormat, FilenameFormat::Custom);
        QCOMPARE(h.form.values.CustomFormat, stored.CustomFormat);

        // OK stores the new definition and the sample follows it.
        FilenameFormatDefinition edited = stored.CustomFormat;
        edited.Template = "%s%e";
        h.dialogResult = edited;
        h.form.FilenameFormatChange(FilenameFormat::Custom);
        QCOMPARE(h.form.values.CustomFormat, edited);
        QCOMPARE(h.form.sampleFilename, std::string("{SN=001}.jpg"));

        // A date folder format is judged as it is typed; the box enables it.
        h.form.DateFolderFormatChange("yyyy//dd");
        QCOMPARE(h.form.dateFolderExample, std::string("Problem: Empty folder name"));
        h.form.DateFoldersClick(false);
        QVERIFY(!h.form.dateFolderFormatEnabled && !h.form.values.DateFolders);
    }
};

QTEST_GUILESS_MAIN(MainFormTest)
#include "main_form_test.moc"
