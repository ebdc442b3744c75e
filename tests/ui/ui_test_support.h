#pragma once
// What the window tests share: a stand-in for the user at the message boxes,
// and fakes for the drives and the desktop's folders.

#include <QString>
#include <deque>
#include <string>
#include <vector>

#include "app/settings/settings_store.h"
#include "model/drive_list.h"
#include "support/fake_drives.h"
#include "ui/messages.h"

namespace ravlen::test {

// Records every message box and answers Yes/No questions from a script
// (Yes when the script is empty, unless told otherwise).
struct MessageRecorder {
    std::vector<ui::MessageRequest> shown;
    std::deque<MsgAnswer> answers;
    MsgAnswer otherwise = MsgAnswer::Yes;

    ui::MessageHook Hook() {
        return [this](const ui::MessageRequest& request) {
            shown.push_back(request);
            if (request.buttons == MsgButtons::OK) return MsgAnswer::OK;
            if (answers.empty()) return otherwise;
            const MsgAnswer answer = answers.front();
            answers.pop_front();
            return answer;
        };
    }
    bool Saw(const std::string& part) const {
        for (const auto& m : shown)
            if (m.text.find(part) != std::string::npos) return true;
        return false;
    }
};

class FakeFolders : public SpecialFolders {
public:
    std::string pictures;
    std::string Pictures(bool) override { return pictures; }
    std::string Documents() override { return {}; }
    std::string Home() override { return pictures; }
};

// A caption as shown, without its mnemonic marker.
inline QString Shown(QString caption) { return caption.remove(QLatin1Char('&')); }

}  // namespace ravlen::test
