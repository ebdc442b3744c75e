// mdlMain: the program starts by creating the main window and showing it.

#include <QApplication>
#include <QDesktopServices>
#include <QIcon>
#include <QSocketNotifier>
#include <QUrl>

#include "model/version.h"
#include "platform/desktop_services.h"
#include "platform/stop_signals.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromStdString(ravlen::Version().Title));
    QApplication::setOrganizationName(QString::fromStdString(ravlen::Version().CompanyName));
    QApplication::setApplicationVersion(QString::fromStdString(ravlen::AppName()).section(' ', -1));
    QApplication::setDesktopFileName(QStringLiteral("ravlen"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/ravlen/ravlen.png")));

    ravlen::SetSessionOpener([](const std::string& url) {
        return QDesktopServices::openUrl(QUrl(QString::fromStdString(url), QUrl::StrictMode));
    });
    ravlen::CatchStopSignals();
    ravlen::ui::FrmMain window;
    QSocketNotifier stop(ravlen::StopSignalDescriptor(), QSocketNotifier::Read);
    // The pipe stays readable: one notice is all the window needs.
    QObject::connect(&stop, &QSocketNotifier::activated, &window, [&stop, &window] {
        stop.setEnabled(false);
        window.StopSignalArrived();
    });
    window.Start();
    return application.exec();
}
