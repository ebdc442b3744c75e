#include "app/run/progress_session.h"

#include "model/report_text.h"

namespace ravlen {

ProgressSession::ProgressSession(UserPort& port, const std::string& title, int total) : port_(port), total_(total) {
    port_.SetBusy(true);
    port_.SetCancel(false);
    port_.ProgressSetRange(0, total_);
    port_.ProgressSetValue(0);
    port_.ProgressSetTitle(title);
    port_.ProgressSetMessage(ProgressText(0, total_));
    port_.ProgressSetButtonCaption("Stop");
    port_.ProgressShow();
    port_.SetMainWindowEnabled(false);
    port_.PumpEvents();
}

ProgressSession::~ProgressSession() {
    port_.SetMainWindowEnabled(true);
    port_.ProgressHide();
    port_.SetBusy(false);
}

bool ProgressSession::Advance(int done) {
    port_.ProgressSetValue(done);
    port_.ProgressSetMessage(ProgressText(done, total_));
    port_.PumpEvents();
    return !port_.Cancel();
}

}  // namespace ravlen
