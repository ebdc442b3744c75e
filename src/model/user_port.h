#pragma once
#include <string>

#include "model/message_kind.h"

namespace ravlen {

// Everything the run driver and the engine ask of the user interface. The
// window, the console runner and the tests each provide one.
class UserPort {
public:
    virtual ~UserPort() = default;

    virtual MsgAnswer MessageBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                                 const std::string& title) = 0;
    virtual void SetBusy(bool busy) = 0;
    virtual void SetMainWindowEnabled(bool enabled) = 0;

    // The progress window.
    virtual void ProgressSetTitle(const std::string& title) = 0;
    virtual void ProgressSetMessage(const std::string& message) = 0;
    virtual void ProgressSetRange(int minimum, int maximum) = 0;
    virtual void ProgressSetValue(int value) = 0;
    virtual void ProgressSetButtonCaption(const std::string& caption) = 0;
    virtual void ProgressShow() = 0;
    virtual void ProgressHide() = 0;
    virtual void SetCancel(bool cancel) = 0;
    virtual bool Cancel() const = 0;

    // Let the user interface process pending events in the middle of a pass.
    virtual void PumpEvents() = 0;
};

}  // namespace ravlen
