// Controls that hold one settings key each: a key the table lacks, or has of
// another kind, leaves its control disabled and inert instead of failing;
// the others show and take their key's value.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

#include "ui/keyed_controls.h"

using ravlen::CreateLog;
using ravlen::RunOptions;
using ravlen::ui::Binding;
using ravlen::ui::KeyedControls;

class KeyedControlsTest : public QObject {
    Q_OBJECT

private slots:
    void keyMissingOrOfAnotherKind() {
        QWidget parent;
        KeyedControls controls;
        QComboBox* unknown = controls.AddList(&parent, "NoSuchKey");
        QCheckBox* notACheck = controls.AddCheck(&parent, "CreateLog", "Log");
        QLineEdit* notAText = controls.AddText(&parent, "SummarizeResults");
        for (QWidget* control : std::initializer_list<QWidget*>{unknown, notACheck, notAText})
            QVERIFY(control != nullptr && !control->isEnabled());
        QCOMPARE(unknown->count(), 0);
        QCOMPARE(controls.List("NoSuchKey"), nullptr);
        QCOMPARE(controls.Check("CreateLog"), nullptr);
        QCOMPARE(controls.Text("SummarizeResults"), nullptr);

        RunOptions options;
        controls.BindDirect(&parent, options);
        controls.Show(options);
        notACheck->click();
        QCOMPARE(options, RunOptions());
    }

    void showsAndTakesItsKeysValue() {
        QWidget parent;
        KeyedControls controls;
        QComboBox* log = controls.AddList(&parent, "CreateLog");
        QCheckBox* summary = controls.AddCheck(&parent, "SummarizeResults", "Summary");
        QLineEdit* zone = controls.AddText(&parent, "MovieTimeZone");
        QCheckBox* held = controls.AddCheck(&parent, "ExcludeSystem", "System", Binding::Form);
        QCOMPARE(controls.List("createlog"), log);  // letter case ignored, as in the table
        QCOMPARE(log->count(), 4);
        QCOMPARE(log->objectName(), QString("CreateLog"));

        RunOptions options;
        options.CreateLog = CreateLog::Csv;
        options.SummarizeResults = false;
        options.MovieTimeZone = "Europe/Paris";
        controls.Show(options);
        QCOMPARE(log->currentIndex(), ravlen::StoredValue(CreateLog::Csv));
        QVERIFY(!summary->isChecked());
        QCOMPARE(zone->text(), QString("Europe/Paris"));

        controls.BindDirect(&parent, options);
        emit log->activated(ravlen::StoredValue(CreateLog::Both));
        summary->click();
        QTest::keyClicks(zone, "/x");
        const bool system = options.ExcludeSystem;
        held->click();  // the form's to decide
        QCOMPARE(options.CreateLog, CreateLog::Both);
        QVERIFY(options.SummarizeResults);
        QCOMPARE(options.MovieTimeZone, std::string("Europe/Paris/x"));
        QCOMPARE(options.ExcludeSystem, system);
    }
};

QTEST_MAIN(KeyedControlsTest)
#include "keyed_controls_test.moc"
