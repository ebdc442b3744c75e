// mdlMain: the program starts by creating the main window and showing it.

#include <QApplication>
#include <QIcon>

#include "model/version.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromStdString(ravlen::Version().Title));
    QApplication::setOrganizationName(QString::fromStdString(ravlen::Version().CompanyName));
    QApplication::setApplicationVersion(QString::fromStdString(ravlen::AppName()).section(' ', -1));
    QApplication::setDesktopFileName(QStringLiteral("ravlen"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/ravlen/ravlen.png")));

    ravlen::ui::FrmMain window;
    window.Start();
    return application.exec();
}
