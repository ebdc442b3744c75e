#include "ui/about_window.h"

#include <QFont>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace ravlen::ui {

std::string NameCaption(const VersionInfo& version) {
    return version.Title + " " + std::to_string(version.Major) + "." + std::to_string(version.Minor);
}

std::string RevisionCaption(const VersionInfo& version) { return "Build " + std::to_string(version.Revision); }

std::string CopyrightCaption(const std::string& copyright, const std::string& company) {
    if (!company.empty() && copyright.size() >= company.size() &&
        copyright.compare(copyright.size() - company.size(), company.size(), company) == 0)
        return copyright.substr(0, copyright.size() - company.size());
    return copyright;
}

std::string MailTarget(const VersionInfo& version) {
    return "mailto:" + version.CompanyName + " <" + kSupportMailbox + ">?Subject=" + NameCaption(version) + " " +
           RevisionCaption(version);
}

std::string WebFailureMessage(const std::string& error) { return UnableToOpenMessage(kWebAddress, error); }

std::string MailFailureMessage(const std::string& error) {
    std::string reason = error;
    while (!reason.empty() && (reason.back() == '.' || reason.back() == ' ')) reason.pop_back();
    if (reason.empty()) return "Unable to open email client.";
    return "Unable to open email client due to the following error: " + reason + ".";
}

namespace {

QLabel* LinkLabel(QWidget* parent, const char* name, const QString& shown) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::RichText);
    label->setText(QStringLiteral("<a href=\"#\">%1</a>").arg(shown.toHtmlEscaped()));
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setFocusPolicy(Qt::StrongFocus);
    return label;
}

QLabel* Text(QWidget* parent, const char* text) { return new QLabel(QString::fromUtf8(text), parent); }

// One sentence of the link block: words, the link, words; the rest below.
QHBoxLayout* SentenceRow(QWidget* parent, const char* before, QLabel* link, const char* after) {
    auto* row = new QHBoxLayout;
    row->setSpacing(parent->fontMetrics().horizontalAdvance(QLatin1Char(' ')));
    row->addWidget(Text(parent, before));
    row->addWidget(link);
    row->addWidget(Text(parent, after));
    row->addStretch(1);
    return row;
}

}  // namespace

FrmAbout::FrmAbout(QWidget* owner, const Messenger& messenger, DesktopOpener open)
    : QDialog(owner), messenger_(messenger), open_(std::move(open)) {
    setObjectName("frmAbout");
    const VersionInfo& version = Version();
    setWindowTitle(QString::fromStdString("About " + version.Title));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    imgRavlen = new QLabel(this);
    imgRavlen->setObjectName("imgRavlen");
    imgRavlen->setPixmap(QIcon(":/ravlen/ravlen.png").pixmap(64, 64));
    imgRavlen->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    imgMorvane = new QLabel(this);
    imgMorvane->setObjectName("imgMorvane");
    imgMorvane->setPixmap(QIcon(":/ravlen/morvane.png").pixmap(64, 32));
    imgMorvane->setAlignment(Qt::AlignBottom | Qt::AlignHCenter);

    lblName = new QLabel(QString::fromStdString(NameCaption(version)), this);
    lblName->setObjectName("lblName");
    QFont big = lblName->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    lblName->setFont(big);
    lblRevision = new QLabel(QString::fromStdString(RevisionCaption(version)), this);
    lblRevision->setObjectName("lblRevision");
    lblCompanyName = new QLabel(QString::fromStdString(version.CompanyName), this);
    lblCompanyName->setObjectName("lblCompanyName");
    lblLegalCopyright =
        new QLabel(QString::fromStdString(CopyrightCaption(version.LegalCopyright, version.CompanyName)), this);
    lblLegalCopyright->setObjectName("lblLegalCopyright");
    for (QLabel* label : {lblRevision, lblCompanyName, lblLegalCopyright})
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);

    QString web = QString::fromLatin1(kWebAddress);
    web.remove(QStringLiteral("https://"));
    lblLinkWeb = LinkLabel(this, "lblLinkWeb", web);
    lblLinkMail = LinkLabel(this, "lblLinkMail", QString::fromLatin1(kSupportMailbox));

    OKButton = new QPushButton(tr("OK"), this);
    OKButton->setObjectName("OKButton");
    OKButton->setDefault(true);

    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);

    auto* facts = new QVBoxLayout;
    facts->setSpacing(2);
    facts->addWidget(lblName);
    facts->addSpacing(4);
    facts->addWidget(lblRevision);
    facts->addWidget(lblCompanyName);
    facts->addWidget(lblLegalCopyright);
    facts->addSpacing(8);
    facts->addWidget(rule);
    facts->addSpacing(8);
    facts->addLayout(SentenceRow(this, "Visit us at", lblLinkWeb, "for"));
    facts->addWidget(Text(this, "updates and information about other products."));
    facts->addSpacing(6);
    facts->addLayout(SentenceRow(this, "Write to us at", lblLinkMail, "to get"));
    facts->addWidget(Text(this, "support or give feedback."));

    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(16);
    grid->addWidget(imgRavlen, 0, 0);
    grid->addLayout(facts, 0, 1);
    grid->addWidget(imgMorvane, 1, 0);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKButton);
    grid->addLayout(buttons, 1, 1, Qt::AlignBottom);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(lblLinkWeb, &QLabel::linkActivated, this, &FrmAbout::LinkWebClick);
    connect(lblLinkMail, &QLabel::linkActivated, this, &FrmAbout::LinkMailClick);
    OKButton->setFocus();
}

void FrmAbout::LinkWebClick() {
    std::string error;
    if (open_ && open_(kWebAddress, error)) return;
    messenger_.Show(WebFailureMessage(error), MsgIcon::Exclamation, MsgButtons::OK, "Launch Web");
}

void FrmAbout::LinkMailClick() {
    std::string error;
    if (open_ && open_(MailTarget(Version()), error)) return;
    messenger_.Show(MailFailureMessage(error), MsgIcon::Exclamation, MsgButtons::OK, "Launch Email");
}

void ShowAboutBox(QWidget* owner, const Messenger& messenger, const DesktopOpener& open) {
    FrmAbout about(owner, messenger, open);
    about.exec();
}

}  // namespace ravlen::ui
