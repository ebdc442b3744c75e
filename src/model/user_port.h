#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "model/message_kind.h"

namespace ravlen {

// A folder or file the user may open from a message: what it is ("Output
// folder", "Log") and where.
struct OpenablePlace {
    std::string What;
    std::string Path;
    // The caption of the button that opens it: "Open output folder".
    std::string Caption() const {
        std::string caption = "Open " + What;
        if (caption.size() > 5 && caption[5] >= 'A' && caption[5] <= 'Z') caption[5] = static_cast<char>(caption[5] - 'A' + 'a');
        return caption;
    }
};
class FileList;

// What the summary says of the card: whether it may be formatted, and how it
// is checked again (the "Check card" button).
struct CardCheck {
    std::string Text;  // the verdict; empty: none
    bool Safe = false;
    std::function<void(CardCheck&)> Again;  // checks anew into the check; null: no button
};

// Everything the run driver and the engine ask of the user interface. The
// window, the console runner and the tests each provide one.
class UserPort {
public:
    virtual ~UserPort() = default;

    virtual MsgAnswer MessageBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                                 const std::string& title) = 0;
    // The run's closing message (OK button), offering to open the places it
    // names; a port without such buttons shows the message alone.
    virtual void ShowSummary(const std::string& text, MsgIcon icon, const std::string& title,
                             const std::vector<OpenablePlace>& places) {
        (void)places;
        MessageBox(text, icon, MsgButtons::OK, title);
    }
    // The summary with the card's verdict; a port that shows no verdict apart
    // shows it after the summary's text.
    virtual void ShowRunSummary(const std::string& text, MsgIcon icon, const std::string& title,
                                const std::vector<OpenablePlace>& places, const CardCheck& card) {
        ShowSummary(card.Text.empty() ? text : text + "\r\n\r\n" + card.Text, icon, title, places);
    }
    // The preview report's message box, which may also offer its list of
    // files, whose rows the user may tick and untick (FileRow::Chosen); the
    // list lives as long as the call.
    virtual MsgAnswer PreviewBox(const std::string& text, MsgIcon icon, MsgButtons buttons, const std::string& title,
                                 FileList& files) {
        (void)files;
        return MessageBox(text, icon, buttons, title);
    }
    // A Yes/No question whose preselected answer is No (a window's Enter
    // moves nothing); a port without preselection asks it as any other.
    virtual MsgAnswer AskDefaultNo(const std::string& text, const std::string& title) {
        return MessageBox(text, MsgIcon::Question, MsgButtons::YesNo, title);
    }
    // Whether questions are answered without waiting for anyone: nothing on
    // the disks changes while they are asked.
    virtual bool AnswersAtOnce() const { return false; }
    virtual void SetBusy(bool busy) = 0;
    virtual void SetMainWindowEnabled(bool enabled) = 0;

    // The progress window.
    virtual void ProgressSetTitle(const std::string& title) = 0;
    virtual void ProgressSetMessage(const std::string& message) = 0;
    virtual void ProgressSetRange(int minimum, int maximum) = 0;
    virtual void ProgressSetValue(int value) = 0;
    virtual void ProgressSetButtonCaption(const std::string& caption) = 0;
    // The name of the file the pass is on; a port may show it or not.
    virtual void ProgressSetFile(const std::string& name) { (void)name; }
    // The bytes of the files done and of all the pass's files.
    virtual void ProgressSetBytes(std::int64_t done, std::int64_t total) {
        (void)done;
        (void)total;
    }
    virtual void ProgressShow() = 0;
    virtual void ProgressHide() = 0;
    virtual void SetCancel(bool cancel) = 0;
    virtual bool Cancel() const = 0;

    // Let the user interface process pending events in the middle of a pass.
    virtual void PumpEvents() = 0;
};

}  // namespace ravlen
