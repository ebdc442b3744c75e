// The preview's table of files: sorting, filtering, copying, thumbnails read off the window's thread.

#include <QClipboard>
#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QComboBox>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include "ui/file_table_dialog.h"
#include "ui/file_table_model.h"
#include "ui/thumbnail_loader.h"
#include "ui/messages.h"

using ravlen::FileFacts;
using ravlen::FileList;
using ravlen::ui::FileTableDialog;
using ravlen::ui::FileTableModel;

namespace {

FileFacts Placed(const char* name, int year, const char* source) {
    FileFacts f;
    f.SourceFileName = name, f.SourceFolder = "/card/DCIM", f.OutputFolder = "/photos";
    f.OutputFileName = std::to_string(year) + "_" + name;
    f.TimestampDateTime = *ravlen::DateTime::FromFields(year, 7, 14, 10, 11, 12);
    f.DateSource = source;
    return f;
}

// Four files of every kind, in the walk's order: b, a, .c, d.
FileList Files() {
    FileList list;
    list.Add(Placed("b.jpg", 2024, "EXIF DateTimeOriginal"));
    FileFacts skipped = Placed("a.mov", 2020, "");
    skipped.Timestamped = false, skipped.Notes = "a.mov contains valid movie metadata but has no date.";
    list.Add(skipped);
    ravlen::FsItem hidden;
    hidden.Name = ".c";
    list.AddExcluded(hidden, "/card/DCIM", "hidden");
    list.Add(Placed("d.JPG", 2023, "File system modified"));
    return list;
}

// The names of the rows shown, top to bottom.
QString Shown(FileTableDialog& dialog) {
    QStringList names;
    const QAbstractItemModel* model = dialog.Table().model();
    for (int row = 0; row < model->rowCount(); ++row)
        names << model->index(row, FileTableModel::Name).data().toString();
    return names.join(',');
}

}  // namespace

class FileTableTest : public QObject {
    Q_OBJECT

private slots:
    void sortAndFilter_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<int>("column");  // -1: the walk's order
        QTest::addColumn<int>("order");
        QTest::addColumn<QString>("shown");

        QTest::newRow("walk") << "" << -1 << 0 << "b.jpg,a.mov,.c,d.JPG";
        QTest::newRow("name, letter case aside") << "" << int(FileTableModel::Name) << 0 << ".c,a.mov,b.jpg,d.JPG";
        QTest::newRow("date, newest first") << "" << int(FileTableModel::Date) << 1 << "b.jpg,d.JPG,a.mov,.c";
        QTest::newRow("by the date's source") << "exif" << -1 << 0 << "b.jpg";
        QTest::newRow("by a skip's reason") << "NO DATE" << -1 << 0 << "a.mov";
        QTest::newRow("by status") << "excluded" << -1 << 0 << ".c";
        QTest::newRow("by new name, sorted") << "_" << int(FileTableModel::NewName) << 0 << "d.JPG,b.jpg";
        QTest::newRow("nothing") << "zzz" << -1 << 0 << "";
    }
    void sortAndFilter() {
        QFETCH(QString, filter);
        QFETCH(int, column);
        QFETCH(int, order);
        QFETCH(QString, shown);
        const FileList files = Files();
        FileTableDialog dialog(files);
        dialog.Filter().setText(filter);
        dialog.Table().sortByColumn(column, Qt::SortOrder(order));
        QCOMPARE(Shown(dialog), shown);
    }

    void copy_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<int>("selected");  // -1: none
        QTest::addColumn<QString>("text");

        const QString b = "b.jpg\t/card/DCIM\t2024_b.jpg\t/photos\t2024/07/14 10:11:12\tEXIF DateTimeOriginal\tPlace\n";
        const QString a = "a.mov\t/card/DCIM\t\t\t\t\tSkipped: a.mov contains valid movie metadata but has no date.\n";
        QTest::newRow("one selected") << "" << 1 << a;
        const QString d = "d.JPG\t/card/DCIM\t2023_d.JPG\t/photos\t2023/07/14 10:11:12\tFile system modified\tPlace\n";
        QTest::newRow("nothing selected: every row shown") << "jpg" << -1 << b + d;
    }
    void copy() {
        QFETCH(QString, filter);
        QFETCH(int, selected);
        QFETCH(QString, text);
        const FileList files = Files();
        FileTableDialog dialog(files);
        dialog.Filter().setText(filter);
        if (selected >= 0) dialog.Table().selectRow(selected);
        QCOMPARE(dialog.Copy(), text);
        QCOMPARE(QApplication::clipboard()->text(), text);
    }

    // Every kind read has a thumbnail, its shape kept: a PNG or WebP read small, a HEIC's own
    // thumbnail item, an AVIF decoded and made small, a movie's first frame.
    void thumbnailsOfEveryKind() {
        QTemporaryDir dir;
        const auto make = [&](const QString& tool, const QStringList& arguments) {
            QProcess process;
            process.setWorkingDirectory(dir.path());
            process.start(tool, arguments);
            return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
                   process.exitCode() == 0;
        };
        QImage picture(400, 200, QImage::Format_RGB32);
        picture.fill(Qt::darkGreen);
        QVERIFY(picture.save(dir.filePath("wide.png")));
        if (!picture.save(dir.filePath("wide.webp"), "webp")) QSKIP("no image plugin for WebP here");
        if (!make("heif-enc", {"-t", "96", "wide.png", "-o", "wide.heic"}) ||
            !make("heif-enc", {"-A", "wide.png", "-o", "wide.avif"}))
            QSKIP("heif-enc cannot write HEIC and AVIF here");
        if (!make("ffmpeg", {"-loglevel", "error", "-f", "lavfi", "-i", "testsrc=size=400x200:duration=1", "-pix_fmt",
                             "yuv420p", "wide.mp4"}))
            QSKIP("ffmpeg cannot write MP4 here");
        for (const char* name : {"wide.png", "wide.webp", "wide.heic", "wide.avif", "wide.mp4"}) {
            ravlen::FileRow row;
            row.SourceFolder = dir.path().toStdString();
            row.SourceName = name;
            row.Size = QFileInfo(dir.filePath(name)).size();
            QCOMPARE(ravlen::ui::LoadThumbnail(row, QSize(80, 60)).size(), QSize(80, 40));
        }
    }

    // Rows to be placed can be ticked off, one by one or all those the filter shows.
    void ticksChooseTheFilesToPlace() {
        const FileList files = Files();
        FileTableDialog dialog(files);
        const auto ticked = [&] {
            QString out;
            for (int row = 0; row < static_cast<int>(files.Rows().size()); ++row) out += dialog.Chosen(row) ? '1' : '0';
            return out;
        };
        QCOMPARE(ticked(), QString("1111"));
        dialog.Filter().setText("jpg");
        dialog.TickNone().click();
        QCOMPARE(ticked(), QString("0110"));  // a skipped or excluded file has no box
        dialog.Filter().setText("d.JPG");
        dialog.TickInvert().click();
        QCOMPARE(ticked(), QString("0111"));
        dialog.Filter().clear();
        dialog.TickAll().click();
        QCOMPARE(ticked(), QString("1111"));
        // The grid beside the table shows each file by its name, ticked as in the table; it can be put away.
        const QModelIndex first = dialog.Grid().model()->index(0, FileTableModel::Thumbnail);
        QCOMPARE(first.data().toString(), QString("b.jpg"));
        dialog.Grid().model()->setData(first, Qt::Unchecked, Qt::CheckStateRole);
        QCOMPARE(ticked(), QString("0111"));
        QVERIFY(!dialog.Grid().isHidden());
        dialog.GridButton().click();
        QVERIFY(dialog.Grid().isHidden());
    }

    // A day, a folder or a camera is ticked as a whole; its box shows whether all, none or some of its files are.
    void groupsTickTheirFiles() {
        const FileList files = Files();
        FileTableDialog dialog(files);
        const auto ticked = [&] {
            QString out;
            for (int row = 0; row < static_cast<int>(files.Rows().size()); ++row) out += dialog.Chosen(row) ? '1' : '0';
            return out;
        };
        const auto groups = [&] {
            QStringList out;
            for (int i = 0; i < dialog.Groups().count(); ++i) {
                const QListWidgetItem* item = dialog.Groups().item(i);
                const QVariant box = item->data(Qt::CheckStateRole);
                out << item->text() + (box.isValid() ? QString("=%1").arg(box.toInt()) : QString());
            }
            return out.join('|');
        };
        QCOMPARE(groups(), QString("2023-07-14 (1)=2|2024-07-14 (1)=2|No date (2)"));  // nothing to tick without a date
        dialog.Groups().item(1)->setCheckState(Qt::Unchecked);
        QCOMPARE(ticked(), QString("0111"));
        dialog.GroupChoice().setCurrentIndex(dialog.GroupChoice().findText("By folder"));
        QCOMPARE(groups(), QString("/card/DCIM (4)=1"));
        dialog.Groups().item(0)->setCheckState(Qt::Checked);
        QCOMPARE(ticked(), QString("1111"));
        dialog.TickNone().click();
        QCOMPARE(groups(), QString("/card/DCIM (4)=0"));

        std::vector<ravlen::FileRow> rows(3);
        rows[0].CameraName = "Canon EOS R6", rows[2].CameraName = "Apple iPhone 15";
        std::vector<std::string> keys;
        for (const auto& group : ravlen::ui::GroupFiles(rows, ravlen::ui::GroupBy::Camera)) keys.push_back(group.Key);
        QCOMPARE(keys, (std::vector<std::string>{"Apple iPhone 15", "Canon EOS R6", "Unknown camera"}));
    }

    // A file's thumbnail arrives from another thread for a row that asks for it; one without has none.
    void thumbnails() {
        FileList files;
        for (const char* name : {"thumbnail_intel.jpg", "camera_intel.jpg"}) {
            FileFacts f = Placed(name, 2024, "EXIF DateTimeOriginal");
            f.SourceFolder = RAVLEN_FUZZ_CORPUS "/jpeg_tiff";
            f.Size = QFileInfo(QString::fromStdString(f.SourceFolder + "/" + name)).size();
            files.Add(f);
        }
        FileTableDialog dialog(files);
        const QAbstractItemModel* model = dialog.Table().model();
        const auto picture = [&](int row) {
            return model->index(row, FileTableModel::Thumbnail).data(Qt::DecorationRole);
        };
        QVERIFY(!picture(0).isValid() && !picture(1).isValid());  // asked for, still being read
        QTRY_VERIFY(picture(0).isValid());
        const QImage image = picture(0).value<QImage>();
        QCOMPARE(image.size(), QSize(32, 24));  // exiftool's 32 x 24 thumbnail, within the cell
        QTest::qWait(50);
        QVERIFY(!picture(1).isValid());
    }

    // "Details..." opens the table over the preview report, which stays for its answer.
    void detailsKeepsTheReportOpen() {
        FileList files = Files();
        ravlen::ui::Messenger messenger;
        ravlen::ui::MessageRequest request{"3  files will probably be successfully timestamped",
                                           ravlen::MsgIcon::Question, ravlen::MsgButtons::YesNo, "Ravlen", false,
                                           {}, &files};
        QString seen;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            QTimer::singleShot(0, [&, box] {
                auto* table = dynamic_cast<FileTableDialog*>(QApplication::activeModalWidget());
                QVERIFY(table);
                seen = Shown(*table);
                table->reject();
                QTimer::singleShot(0, [box] { box->button(QMessageBox::Yes)->click(); });
            });
            for (QAbstractButton* button : box->buttons())
                if (button->text() == "&Details...") button->click();
        });
        QCOMPARE(messenger.Show(request), ravlen::MsgAnswer::Yes);
        QCOMPARE(seen, QString("b.jpg,a.mov,.c,d.JPG"));
    }

    // The summary stays up while its places are opened, each in turn, until OK.
    void summaryStaysOpenForEachPlace() {
        ravlen::ui::Messenger messenger;
        std::vector<std::string> opened;
        messenger.SetOpener([&opened](const std::string& target, std::string&) {
            opened.push_back(target);
            return true;
        });
        ravlen::ui::MessageRequest request{"All 3 files successfully timestamped.", ravlen::MsgIcon::Information,
                                           ravlen::MsgButtons::OK, "Ravlen", false,
                                           {{"Output folder", "/photos"}, {"Log", "/photos/run.txt"}}, nullptr};
        bool openAfterBoth = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            for (const QString caption : {"Open output folder", "Open log"})
                for (QAbstractButton* button : box->buttons())
                    if (button->text() == caption) button->click();
            QTimer::singleShot(0, [&, box] {
                openAfterBoth = box->isVisible();
                box->button(QMessageBox::Ok)->click();
            });
        });
        QCOMPARE(messenger.Show(request), ravlen::MsgAnswer::OK);
        QVERIFY(openAfterBoth);
        QCOMPARE(opened, (std::vector<std::string>{"/photos", "/photos/run.txt"}));
    }
};

QTEST_MAIN(FileTableTest)
#include "file_table_test.moc"
