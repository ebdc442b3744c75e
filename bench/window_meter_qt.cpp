#include <QApplication>
#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <string>

#include "bench_ports.h"
#include "ui/messages.h"
#include "ui/qt_user_port.h"
#include "window_meter.h"

namespace ravlen::bench {
namespace {

// What the run driver does around a pass: the progress window set up and
// shown, the main window disabled, one round of events so that it paints.
void SetUp(UserPort& port, int files) {
    port.SetBusy(true);
    port.SetCancel(false);
    port.ProgressSetValue(0);
    port.ProgressSetRange(0, files);
    port.ProgressSetTitle("Previewing Files...");
    port.ProgressSetMessage("0 of " + std::to_string(files));
    port.ProgressSetButtonCaption("Stop");
    port.ProgressShow();
    port.SetMainWindowEnabled(false);
    port.PumpEvents();
}

void TearDown(UserPort& port) {
    port.SetMainWindowEnabled(true);
    port.ProgressHide();
    port.SetBusy(false);
}

}  // namespace

WindowCost MeasureWindow(const std::function<void(UserPort&)>& preview, int files, int repeat) {
    WindowCost cost;
    // A screen of its own unless one was chosen: the measure must not depend
    // on a desktop being there.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "ravlen_bench";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    cost.note = "Qt platform " + QGuiApplication::platformName().toStdString();

    QWidget owner;
    owner.resize(640, 480);
    owner.show();
    ui::Messenger messenger(&owner);
    ui::QtUserPort window(&owner, &owner, messenger);
    QApplication::processEvents();

    for (int run = 0; run < std::max(repeat, 1); ++run) {
        {
            SetUp(window, files);
            const int pumpsBefore = window.PumpsProcessed();
            TimingPort timed(window);
            const auto t0 = Clock::now();
            preview(timed);
            const double s = Seconds(Clock::now() - t0);
            TearDown(window);
            if (!cost.measured || s < cost.passSeconds) {
                cost.passSeconds = s;
                cost.portSeconds = timed.PortSeconds();
                cost.pumps = window.PumpsProcessed() - pumpsBefore;
                cost.calls = timed.Calls();
            }
        }
        {
            QuietPort quiet;
            quiet.Arm(files);
            TimingPort timed(quiet);
            const auto t0 = Clock::now();
            preview(timed);
            const double s = Seconds(Clock::now() - t0);
            if (!cost.measured || s < cost.quietPassSeconds) {
                cost.quietPassSeconds = s;
                cost.quietPortSeconds = timed.PortSeconds();
            }
        }
        cost.measured = true;
    }
    return cost;
}

}  // namespace ravlen::bench
