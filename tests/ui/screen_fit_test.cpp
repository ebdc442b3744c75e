// Every window on a small laptop screen (1366 x 768) and on a large one at
// 150% (1920 x 1080): it opens within the screen's available part, the main
// window's least size leaves room for a panel, and every control lies inside
// its window or inside a scroll area that does. Run under Xvfb at each size;
// with RAVLEN_SCREENSHOTS set, each window's picture is kept there.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <memory>

#include "app/settings/settings_store.h"
#include "model/file_list.h"
#include "ui/about_window.h"
#include "ui/camera_clocks_dialog.h"
#include "ui/file_table_dialog.h"
#include "ui/format_dialog.h"
#include "ui/help_viewer.h"
#include "ui/main_window.h"
#include "ui/progress_window.h"
#include "ui_test_support.h"

using ravlen::ui::FrmMain;

namespace {

// The controls a user acts on.
bool IsControl(const QWidget* w) {
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
           qobject_cast<const QAbstractItemView*>(w);
}

// The scroll area a widget lies in, null for none.
const QScrollArea* ScrolledIn(const QWidget* w) {
    for (const QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (const auto* area = qobject_cast<const QScrollArea*>(p); area && area->widget() && area->widget()->isAncestorOf(w))
            return area;
    return nullptr;
}

// The visible controls that stick out of the window, by name.
QStringList Outside(const QWidget& window) {
    QStringList out;
    const QRect inside = window.rect();
    for (const QWidget* w : window.findChildren<QWidget*>()) {
        if (!IsControl(w) || !w->isVisible() || w->window() != &window) continue;
        // A control in a scroll area is reached by scrolling: the area must be inside.
        const QWidget* shown = ScrolledIn(w) ? ScrolledIn(w) : w;
        const QRect at(shown->mapTo(&window, QPoint(0, 0)), shown->size());
        if (!inside.contains(at)) out << (w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName());
    }
    return out;
}

}  // namespace

class ScreenFitTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> root;

    // The window as shown: within the available screen, every control inside; its picture kept.
    void Check(QWidget& window, const QString& name) {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(50);
        const QRect available = window.screen()->availableGeometry();
        QVERIFY2(available.contains(window.geometry()),
                 qPrintable(name + ": " + QString("%1x%2+%3+%4 beyond %5x%6")
                                              .arg(window.width()).arg(window.height()).arg(window.x()).arg(window.y())
                                              .arg(available.width()).arg(available.height())));
        const QStringList outside = Outside(window);
        QVERIFY2(outside.isEmpty(), qPrintable(name + ": outside the window: " + outside.join(", ")));
        const QString folder = qEnvironmentVariable("RAVLEN_SCREENSHOTS");
        if (!folder.isEmpty()) {
            const QSize screen = window.screen()->size() * window.devicePixelRatio();
            QDir().mkpath(folder);
            window.grab().save(QString("%1/%2-%3x%4.png").arg(folder, name).arg(screen.width()).arg(screen.height()));
        }
    }

private slots:
    void init() {
        root = std::make_unique<QTemporaryDir>();
        QVERIFY(root->isValid());
    }

    void mainWindowAndEachTab() {
        ravlen::test::MessageRecorder user;
        ravlen::ui::MainWindowServices s;
        s.store = std::make_unique<ravlen::SettingsStore>(root->filePath("settings.ini").toStdString());
        s.drives = std::make_unique<ravlen::test::FakeDrives>();
        auto folders = std::make_unique<ravlen::test::FakeFolders>();
        folders->pictures = root->path().toStdString();
        s.specialFolders = std::move(folders);
        s.messageHook = user.Hook();
        s.programFolder = root->path().toStdString();
        FrmMain window(std::move(s));
        window.Start();
        // The least size in device pixels leaves room for a panel on the screen.
        const QSize least = window.minimumSizeHint() * window.devicePixelRatio();
        const QSize screen = window.screen()->size() * window.devicePixelRatio();
        const QSize allowed(screen.width(), screen.height() - 48);
        QVERIFY2(least.width() <= allowed.width() && least.height() <= allowed.height(),
                 qPrintable(QString("least size %1x%2").arg(least.width()).arg(least.height())));
        auto* tabs = window.findChild<QTabWidget*>("TabStrip1");
        QVERIFY(tabs);
        for (int tab = 0; tab < tabs->count(); ++tab) {
            tabs->setCurrentIndex(tab);
            Check(window, QString("main-%1").arg(tab + 1));
        }
    }

    void dialogs() {
        ravlen::ui::Messenger messenger;
        ravlen::FileList files;
        for (int i = 0; i < 40; ++i) {
            ravlen::FileFacts f;
            f.SourceFileName = "IMG_" + std::to_string(1000 + i) + ".JPG";
            f.SourceFolder = "/media/card/DCIM/100CANON";
            f.OutputFolder = "/home/user/Pictures";
            f.OutputFileName = "2024-07-14 @10-11-" + std::to_string(10 + i) + ".jpg";
            f.TimestampDateTime = *ravlen::DateTime::FromFields(2024, 7, 14, 10, 11, 10 + i);
            files.Add(f);
        }
        QWidget owner;
        owner.resize(400, 300);
        owner.show();
        {
            ravlen::ui::FileTableDialog table(files, &owner);
            Check(table, "details");
        }
        {
            ravlen::ui::FrmFormat format(&owner, ravlen::FilenameFormatDefinition{}, messenger, [] {});
            Check(format, "format");
        }
        {
            ravlen::ui::HelpViewer help(&owner, "/nonexistent");
            Check(help, "help");
        }
        {
            ravlen::ui::FrmAbout about(&owner, messenger, [](const std::string&, std::string&) { return true; });
            Check(about, "about");
        }
        {
            ravlen::ui::FrmProgress progress(&owner);
            Check(progress, "progress");
        }
        {
            std::vector<ravlen::CameraSummary> cameras{{{"Canon", "Canon EOS R5", "012345"}, {}, {}, {}}};
            ravlen::ui::CameraClocksDialog clocks(ravlen::CameraClockTable(std::move(cameras), {}), messenger, "");
            Check(clocks, "clocks");
        }
    }
};

QTEST_MAIN(ScreenFitTest)
#include "screen_fit_test.moc"
