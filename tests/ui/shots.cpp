#include <QApplication>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include "ui/main_window.h"
#include "ui/format_dialog.h"
#include "ui/about_window.h"
#include "ui/progress_window.h"
#include "ui/qt_user_port.h"
#include "ui_test_support.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QString dir = argc > 1 ? argv[1] : "/tmp/shots";
    QTemporaryDir tmp;
    ravlen::ui::MainWindowServices s;
    s.store = std::make_unique<ravlen::SettingsStore>((tmp.path() + "/s.ini").toStdString());
    auto folders = std::make_unique<ravlen::test::FakeFolders>();
    folders->pictures = tmp.path().toStdString();
    s.specialFolders = std::move(folders);
    s.drives = std::make_unique<ravlen::test::FakeDrives>();
    ravlen::ui::FrmMain w(std::move(s));
    w.show();
    app.processEvents();
    for (int i = 0; i < 3; ++i) {
        w.TabStrip1->setCurrentIndex(i);
        app.processEvents();
        w.grab().save(QString("%1/main%2.png").arg(dir).arg(i));
    }
    w.resize(w.minimumSizeHint());
    app.processEvents();
    for (int i = 0; i < 3; ++i) {
        w.TabStrip1->setCurrentIndex(i);
        app.processEvents();
        w.grab().save(QString("%1/mainmin%2.png").arg(dir).arg(i));
    }
    ravlen::ui::Messenger m;
    ravlen::FilenameFormatDefinition def = ravlen::RunOptions{}.CustomFormat;
    def.Template = "%d%s%b%v%e";
    ravlen::ui::FrmFormat f(&w, def, m, {});
    f.show(); app.processEvents();
    f.grab().save(dir + "/format.png");
    ravlen::ui::FrmAbout a(&w, m, {});
    a.show(); app.processEvents();
    a.grab().save(dir + "/about.png");
    ravlen::ui::QtUserPort& port = w.Port();
    port.ProgressSetTitle("Timestamping Files...");
    port.ProgressSetMessage("12 of 1,234");
    port.ProgressSetRange(0, 1234);
    port.ProgressSetValue(400);
    port.ProgressSetButtonCaption("Stop");
    port.ProgressShow();
    app.processEvents();
    port.Progress().grab().save(dir + "/progress.png");
    return 0;
}
