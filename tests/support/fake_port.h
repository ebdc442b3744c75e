#pragma once
// A user port that records every call and answers questions from a script.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "model/file_list.h"
#include "model/user_port.h"

namespace ravlen::test {

struct ShownMessage {
    std::string text;
    MsgIcon icon;
    MsgButtons buttons;
    std::string title;
};

class FakePort : public UserPort {
public:
    std::vector<ShownMessage> messages;
    std::deque<MsgAnswer> answers;         // answers to Yes/No questions, in order
    MsgAnswer defaultAnswer = MsgAnswer::Yes;
    std::vector<std::string> progressMessages;
    std::string progressTitle;
    std::string buttonCaption;
    int progressMin = 0, progressMax = 0, progressValue = 0;
    bool progressVisible = false;
    bool mainEnabled = true;
    bool busy = false;
    int pumps = 0;
    int showCount = 0;
    bool cancel = false;
    // Called on every PumpEvents; lets a test press Stop mid-pass.
    std::function<void(FakePort&)> onPump;

    MsgAnswer MessageBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                         const std::string& title) override {
        messages.push_back({text, icon, buttons, title});
        if (buttons == MsgButtons::OK) return MsgAnswer::OK;
        if (answers.empty()) return defaultAnswer;
        MsgAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    std::vector<OpenablePlace> summaryPlaces;  // what the last summary offered to open
    void ShowSummary(const std::string& text, MsgIcon icon, const std::string& title,
                     const std::vector<OpenablePlace>& places) override {
        summaryPlaces = places;
        MessageBox(text, icon, MsgButtons::OK, title);
    }
    std::vector<FileRow> previewRows;  // the list the last preview report offered
    std::function<void(FileList&)> onPreview;  // lets a test untick rows as the user would
    MsgAnswer PreviewBox(const std::string& text, MsgIcon icon, MsgButtons buttons, const std::string& title,
                         FileList& files) override {
        previewRows = files.Rows();
        if (onPreview) onPreview(files);
        return MessageBox(text, icon, buttons, title);
    }
    void SetBusy(bool b) override { busy = b; }
    void SetMainWindowEnabled(bool e) override { mainEnabled = e; }
    void ProgressSetTitle(const std::string& t) override { progressTitle = t; }
    void ProgressSetMessage(const std::string& m) override { progressMessages.push_back(m); }
    void ProgressSetRange(int mn, int mx) override { progressMin = mn; progressMax = mx; }
    void ProgressSetValue(int v) override { progressValue = v; }
    void ProgressSetButtonCaption(const std::string& c) override { buttonCaption = c; }
    void ProgressShow() override { progressVisible = true; ++showCount; }
    void ProgressHide() override { progressVisible = false; }
    void SetCancel(bool c) override { cancel = c; }
    bool Cancel() const override { return cancel; }
    void PumpEvents() override {
        ++pumps;
        if (onPump) onPump(*this);
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const auto& m : messages) out.push_back(m.text);
        return out;
    }
};

}  // namespace ravlen::test
