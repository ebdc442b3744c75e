// The custom format dialog: live verdict, the questions on OK, Reset, Cancel.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "model/run_options.h"
#include "model/version.h"
#include "ui/format_dialog.h"
#include "ui/wrapping_label.h"
#include "ui_test_support.h"

using ravlen::FilenameFormatDefinition;
using ravlen::MsgAnswer;
using ravlen::MsgButtons;
using ravlen::MsgIcon;
using ravlen::test::MessageRecorder;
using ravlen::ui::FormatFields;
using ravlen::ui::FrmFormat;

namespace {

ravlen::DateTime Christmas() { return *ravlen::DateTime::FromFields(2004, 12, 25, 18, 9, 11); }

std::size_t FieldIndex(const QString& name) {
    for (std::size_t i = 0; i < FormatFields().size(); ++i)
        if (name == FormatFields()[i].name) return i;
    qFatal("no such field");
}

// Types into a field the way a user does (replacing its text).
void Type(FrmFormat& dialog, const QString& field, const QString& text) {
    QLineEdit* edit = dialog.Fields[FieldIndex(field)];
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

}  // namespace

class FormatDialogTest : public QObject {
    Q_OBJECT

    MessageRecorder user;
    ravlen::ui::Messenger messenger;
    int helpShown = 0;

    std::unique_ptr<FrmFormat> Open(const FilenameFormatDefinition& stored = ravlen::ui::ResetFormat()) {
        user = MessageRecorder{};
        messenger.SetHook(user.Hook());
        return std::make_unique<FrmFormat>(nullptr, stored, messenger, [this] { ++helpShown; }, &Christmas);
    }

private slots:
    void status_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("sample");

        QTest::newRow("reset definition") << "" << "" << "Good" << ""
                                          << "{DT=2004-12-25 @18-09-11}{SN=001}{BA=ABCD}{VO=1234}.jpg";
        QTest::newRow("colon in the date") << "DateFormat" << "hh:nn" << "Fail" << "Illegal character: :"
                                           << "{DT=18:09}{SN=001}{BA=ABCD}{VO=1234}.jpg";
        QTest::newRow("no serial number") << "Template" << "%d%b%v%o%e" << "Warn"
                                          << "Template does not include Serial Number"
                                          << "{DT=2004-12-25 @18-09-11}{BA=ABCD}{VO=1234}.jpg";
        QTest::newRow("empty template") << "Template" << "" << "Warn" << "Zero length" << "";
    }
    void status() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, status);
        QFETCH(QString, label);
        QFETCH(QString, sample);

        auto dialog = Open();
        if (!field.isEmpty()) Type(*dialog, field, text);
        QCOMPARE(QString::fromStdString(dialog->Editor().Verdict().Status), status);
        QCOMPARE(dialog->StatusLabel->text(), label);
        QCOMPARE(dialog->SampleFilename->text().remove(QChar::LineSeparator), sample);
        QCOMPARE(dialog->StatusImage->pixmap().isNull(), status == "Good");
        if (status != "Good") QCOMPARE(dialog->StatusImage->pixmap().width(), 16);
        QVERIFY(user.shown.empty());
    }

    void ok_data() {
        QTest::addColumn<QString>("templateText");
        QTest::addColumn<int>("answer");  // to a Yes/No question
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("saved");

        const QString warn = "Problem:  Template does not include Serial Number\r\nResult:     Duplicate files "
                             "won't be processed\r\n\r\nAre you sure you want to use this filename format?";
        QTest::newRow("good: stored at once") << "%d%s%b%v%o%e" << int(MsgAnswer::Yes) << "" << true;
        QTest::newRow("warn, No: stays open") << "%d%b%v%o%e" << int(MsgAnswer::No) << warn << false;
        QTest::newRow("warn, Yes: stored") << "%d%b%v%o%e" << int(MsgAnswer::Yes) << warn << true;
        QTest::newRow("fail: must be corrected")
            << "%d%s|%e" << int(MsgAnswer::Yes)
            << "Problem:  Illegal character: |\r\nResult:     No files will be processed\r\n\r\nPlease correct this "
               "problem before proceeding."
            << false;
    }
    void ok() {
        QFETCH(QString, templateText);
        QFETCH(int, answer);
        QFETCH(QString, message);
        QFETCH(bool, saved);

        auto dialog = Open();
        user.otherwise = MsgAnswer(answer);
        Type(*dialog, "Template", templateText);
        dialog->OKButton->click();

        if (message.isEmpty()) {
            QVERIFY(user.shown.empty());
        } else {
            QCOMPARE(user.shown.size(), std::size_t(1));
            const auto& shown = user.shown.front();
            QCOMPARE(QString::fromStdString(shown.text), message);
            QCOMPARE(shown.title, ravlen::Version().Title);
            const bool fail = message.endsWith("proceeding.");
            QCOMPARE(shown.icon, fail ? MsgIcon::Critical : MsgIcon::Exclamation);
            QCOMPARE(shown.buttons, fail ? MsgButtons::OK : MsgButtons::YesNo);
            QVERIFY(fail || shown.defaultNo);
        }
        QCOMPARE(dialog->Saved().has_value(), saved);
        QCOMPARE(dialog->result(), saved ? int(QDialog::Accepted) : int(QDialog::Rejected));
        if (saved) QCOMPARE(QString::fromStdString(dialog->Saved()->Template), templateText);
    }

    void resetCancelHelp() {
        FilenameFormatDefinition stored = ravlen::ui::ResetFormat();
        stored.Template = "%d%e";
        stored.SerialFormat = "0";
        auto dialog = Open(stored);
        QCOMPARE(dialog->Fields[FieldIndex("Template")]->text(), QString("%d%e"));

        dialog->ResetButton->click();
        const auto& fields = FormatFields();
        for (std::size_t i = 0; i < fields.size(); ++i)
            QCOMPARE(dialog->Fields[i]->text().toStdString(), ravlen::ui::ResetFormat().*(fields[i].member));
        QCOMPARE(dialog->Editor().Verdict().Status, std::string("Good"));
        QVERIFY(!dialog->Saved());  // nothing is stored until OK

        dialog->HelpButton->click();
        QCOMPARE(helpShown, 1);

        Type(*dialog, "Template", "%s");
        dialog->CancelButton->click();
        QVERIFY(!dialog->Saved());
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        QVERIFY(user.shown.empty());
    }
};

QTEST_MAIN(FormatDialogTest)
#include "format_dialog_test.moc"
