// The Camera clocks dialog: offsets typed or aligned, kept on OK only when valid.

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include "ui/camera_clocks_dialog.h"
#include "ui/messages.h"
#include "ui_test_support.h"

using ravlen::CameraClockTable;
using ravlen::CameraSummary;
using ravlen::DateTime;
using ravlen::FileRow;
using ravlen::ui::CameraClocksDialog;

namespace {

FileRow Picture(const char* name, int hour, int minute) {
    FileRow row;
    row.SourceName = name, row.SourceFolder = "/card";
    row.DateBeforeShift = *DateTime::FromFields(2024, 7, 14, hour, minute, 0);
    return row;
}

// A body with a serial number and a phone, two pictures each, and a file that names no camera.
CameraClockTable Cameras() {
    std::vector<CameraSummary> cameras{
        // The Canon's clock 3 min 20 s slow of its GPS.
        {{"Canon", "Canon EOS R5", "012345"}, {Picture("IMG_0001.JPG", 9, 0), Picture("IMG_0002.JPG", 10, 0)}, {}, -200},
        {{"Apple", "iPhone 12", ""}, {Picture("IMG_0003.JPG", 9, 58), Picture("IMG_0004.JPG", 10, 59)}, {}, std::nullopt},
        {{}, {Picture("clip.avi", 8, 0)}, {}, std::nullopt},
    };
    return CameraClockTable(std::move(cameras), {});
}

}  // namespace

class CameraClocksTest : public QObject {
    Q_OBJECT

private slots:
    void typedOffsets_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");  // "" with a refusal: the dialog stays open
        QTest::addColumn<QString>("refusal");

        QTest::newRow("an hour") << 1 << "+01:00:00" << "Apple|iPhone 12|=+01:00:00" << "";
        QTest::newRow("a day back, blanks around") << 0 << " -1 00:00:00 " << "Canon|Canon EOS R5|012345=-1 00:00:00"
                                                   << "";
        QTest::newRow("minutes past 59") << 1 << "+00:61:00" << "" << "The offset \"+00:61:00\" of Apple iPhone 12";
        QTest::newRow("no sign or seconds") << 0 << "1:00" << "" << "is not valid. Type a sign";
    }
    void typedOffsets() {
        QFETCH(int, row);
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        QFETCH(QString, refusal);
        ravlen::test::MessageRecorder user;
        ravlen::ui::Messenger messenger;
        messenger.SetHook(user.Hook());
        CameraClocksDialog dialog(Cameras(), messenger, "");
        dialog.show();
        QCOMPARE(dialog.Table().rowCount(), 3);
        QCOMPARE(dialog.Table().item(0, CameraClocksDialog::FirstColumn)->text(), QString("2024/07/14 09:00:00"));
        QVERIFY(!(dialog.Table().item(2, CameraClocksDialog::OffsetColumn)->flags() & Qt::ItemIsEditable));
        dialog.Table().item(row, CameraClocksDialog::OffsetColumn)->setText(typed);
        dialog.OkButton().click();
        QCOMPARE(QString::fromStdString(dialog.OffsetsText()), kept);
        QCOMPARE(dialog.result() == QDialog::Accepted, refusal.isEmpty());
        QCOMPARE(dialog.isVisible(), !refusal.isEmpty());
        if (!refusal.isEmpty()) QVERIFY(user.Saw(refusal.toStdString()));
    }

    // The phone's 10:59 picture shows the moment of the camera's 10:00 one; the camera's GPS
    // suggestion is only shown.
    void alignFillsTheCorrectedRow() {
        ravlen::ui::Messenger messenger;
        CameraClocksDialog dialog(Cameras(), messenger, "The search was stopped");
        QCOMPARE(dialog.ReferenceCamera().count(), 2);
        QCOMPARE(dialog.CorrectedCamera().currentText(), QString("Apple iPhone 12"));
        QCOMPARE(dialog.CorrectedPictures().count(), 2);
        dialog.ReferencePictures().setCurrentRow(1);
        dialog.CorrectedPictures().setCurrentRow(1);
        dialog.AlignButton().click();
        QCOMPARE(dialog.Table().item(1, CameraClocksDialog::OffsetColumn)->text(), QString("-00:59:00"));
        QVERIFY(dialog.findChild<QLabel*>("SurveyNote"));
        // GPS's suggestion is offered beside the offset, never typed into it.
        QCOMPARE(dialog.Table().item(0, CameraClocksDialog::SuggestedColumn)->text(), QString("+00:03:20"));
        QCOMPARE(dialog.Table().item(1, CameraClocksDialog::SuggestedColumn)->text(), QString());
        QCOMPARE(dialog.Table().item(0, CameraClocksDialog::OffsetColumn)->text(), QString());
        dialog.OkButton().click();
        QCOMPARE(QString::fromStdString(dialog.OffsetsText()), QString("Apple|iPhone 12|=-00:59:00"));
    }

    // Every row, the last of many too, gets its thumbnail in a row a thumbnail high, its shape kept.
    void everyRowGetsItsThumbnail() {
        const QString picture = RAVLEN_FUZZ_CORPUS "/jpeg_tiff/thumbnail_intel.jpg";
        std::vector<FileRow> rows;
        for (int i = 0; i < 100; ++i) {
            FileRow row = Picture("thumbnail_intel.jpg", 9, i % 60);
            row.SourceFolder = RAVLEN_FUZZ_CORPUS "/jpeg_tiff";
            row.Size = QFileInfo(picture).size();
            rows.push_back(row);
        }
        std::vector<CameraSummary> cameras{{{"Canon", "Canon EOS R5", "012345"}, rows, {}, {}}};
        ravlen::ui::Messenger messenger;
        CameraClocksDialog dialog(CameraClockTable(std::move(cameras), {}), messenger, "");
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QListWidget& list = dialog.ReferencePictures();
        list.scrollToBottom();
        QListWidgetItem* last = list.item(list.count() - 1);
        // exiftool's 32 x 24 thumbnail, in the middle of its 80 x 60 place
        const auto painted = [last](int x, int y) { return last->icon().pixmap(80, 60).toImage().pixelColor(x, y).alpha(); };
        QTRY_VERIFY(painted(40, 30) > 0);
        QCOMPARE(painted(40, 16), 0);
        QVERIFY(list.visualItemRect(last).height() >= 60);
        QVERIFY(list.visualItemRect(list.item(0)).height() >= 60);
    }
};

QTEST_MAIN(CameraClocksTest)
#include "camera_clocks_test.moc"
