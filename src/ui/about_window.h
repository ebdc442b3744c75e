#pragma once
// frmAbout: the program's name, version, build, maker and copyright, with
// links to the maker's web page and support mailbox.

#include <QDialog>
#include <string>

#include "model/version.h"
#include "ui/help.h"

class QLabel;
class QPushButton;

namespace ravlen::ui {

inline constexpr const char* kWebAddress = "https://www.morvane.example/ravlen";
inline constexpr const char* kSupportMailbox = "support@morvane.example";

// title + " " + major + "." + minor
std::string NameCaption(const VersionInfo& version);
// "Build " + revision
std::string RevisionCaption(const VersionInfo& version);
// The copyright without a trailing company name (the company has its own line).
std::string CopyrightCaption(const std::string& copyright, const std::string& company);
// mailto:Company <mailbox>?Subject=Title M.m Build N
std::string MailTarget(const VersionInfo& version);

// What the links say when the desktop cannot open them.
std::string WebFailureMessage(const std::string& error);
std::string MailFailureMessage(const std::string& error);

class FrmAbout : public QDialog {
public:
    FrmAbout(QWidget* owner, const Messenger& messenger, DesktopOpener open);

    QLabel* lblName = nullptr;
    QLabel* lblRevision = nullptr;
    QLabel* lblCompanyName = nullptr;
    QLabel* lblLegalCopyright = nullptr;
    QLabel* lblLinkWeb = nullptr;
    QLabel* lblLinkMail = nullptr;
    QLabel* imgRavlen = nullptr;
    QLabel* imgMorvane = nullptr;
    QPushButton* OKButton = nullptr;

    void LinkWebClick();
    void LinkMailClick();

private:
    const Messenger& messenger_;
    DesktopOpener open_;
};

// Shows the About box modally over `owner`; each showing builds it afresh.
void ShowAboutBox(QWidget* owner, const Messenger& messenger, const DesktopOpener& open);

}  // namespace ravlen::ui
