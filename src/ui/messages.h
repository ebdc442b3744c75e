#pragma once
// Message boxes of the window: a real QMessageBox, or an answer from a hook
// that stands in for the user (the tests use it).

#include <functional>
#include <string>
#include <vector>

#include "model/user_port.h"

class QWidget;

namespace ravlen {
class FileList;
}

namespace ravlen::ui {

struct MessageRequest {
    std::string text;
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::OK;
    std::string title;
    bool defaultNo = false;  // Yes/No boxes: No is the preselected button
    // OK boxes: a button for each, opening the place with the desktop.
    std::vector<OpenablePlace> places;
    FileList* files = nullptr;  // the preview's files, offered by a "Details..." button and ticked there
    // The summary's verdict on the card, shown under its text, with a "Check
    // card" button when it can be checked again; null: none.
    const CardCheck* card = nullptr;
};

using MessageHook = std::function<MsgAnswer(const MessageRequest&)>;
// Opens a file or folder with the desktop; false with `error` set on failure.
using PlaceOpener = std::function<bool(const std::string& target, std::string& error)>;

class Messenger {
public:
    explicit Messenger(QWidget* owner = nullptr) : owner_(owner) {}
    void SetOwner(QWidget* owner) { owner_ = owner; }
    void SetHook(MessageHook hook) { hook_ = std::move(hook); }
    void SetOpener(PlaceOpener open) { open_ = std::move(open); }

    MsgAnswer Show(const MessageRequest& request) const;
    MsgAnswer Show(const std::string& text, MsgIcon icon, MsgButtons buttons, const std::string& title) const {
        return Show(MessageRequest{text, icon, buttons, title, false, {}, nullptr});
    }

private:
    MsgAnswer Ask(const MessageRequest& request) const;

    QWidget* owner_;
    MessageHook hook_;
    PlaceOpener open_;  // unset: the desktop's
};

// The text as a message box shows it: CR LF pairs become plain line breaks.
std::string DisplayText(const std::string& text);

}  // namespace ravlen::ui
