#include "ui/help_viewer.h"

#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/screen_fit.h"

namespace ravlen::ui {

HelpViewer::HelpViewer(QWidget* owner, const std::string& guidePath) : QWidget(owner, Qt::Window) {
    setObjectName("HelpViewer");
    setAttribute(Qt::WA_DeleteOnClose);

    SearchText = new QLineEdit(this);
    SearchText->setObjectName("SearchText");
    SearchText->setPlaceholderText(tr("Search the guide"));
    SearchText->setClearButtonEnabled(true);
    PreviousButton = new QPushButton(tr("&Previous"), this);
    PreviousButton->setObjectName("PreviousButton");
    NextButton = new QPushButton(tr("&Next"), this);
    NextButton->setObjectName("NextButton");
    SearchResult = new QLabel(this);
    SearchResult->setObjectName("SearchResult");
    auto* searchLabel = new QLabel(tr("&Find:"), this);
    searchLabel->setBuddy(SearchText);

    Browser = new QTextBrowser(this);
    Browser->setObjectName("Browser");
    // Web and mail links go to the desktop; the guide's own links stay here.
    Browser->setOpenExternalLinks(true);
    Browser->setSource(QUrl::fromLocalFile(QString::fromStdString(guidePath)));
    setWindowTitle(Browser->documentTitle().isEmpty() ? tr("User Guide") : Browser->documentTitle());

    auto* search = new QHBoxLayout;
    search->addWidget(searchLabel);
    search->addWidget(SearchText, 1);
    search->addWidget(PreviousButton);
    search->addWidget(NextButton);
    search->addWidget(SearchResult);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(search);
    layout->addWidget(Browser, 1);

    connect(SearchText, &QLineEdit::returnPressed, this, &HelpViewer::FindNext);
    connect(SearchText, &QLineEdit::textEdited, SearchResult, &QLabel::clear);
    connect(NextButton, &QPushButton::clicked, this, &HelpViewer::FindNext);
    connect(PreviousButton, &QPushButton::clicked, this, &HelpViewer::FindPrevious);
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, SearchText, [this] {
        SearchText->setFocus();
        SearchText->selectAll();
    });
    for (auto [keys, backward] : {std::pair{QKeySequence::FindNext, false}, {QKeySequence::FindPrevious, true}}) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, backward ? &HelpViewer::FindPrevious : &HelpViewer::FindNext);
    }
    FitToScreen(*this, QSize(760, 640));
}

bool HelpViewer::FindNext() { return Find(false); }
bool HelpViewer::FindPrevious() { return Find(true); }

bool HelpViewer::Find(bool backward) {
    const QString text = SearchText->text();
    SearchResult->clear();
    if (text.isEmpty()) return false;
    const QTextDocument::FindFlags flags = backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    if (Browser->find(text, flags)) return true;
    // Round the end of the guide, once.
    QTextCursor cursor(Browser->document());
    cursor.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
    Browser->setTextCursor(cursor);
    if (Browser->find(text, flags)) return true;
    SearchResult->setText(tr("Not found"));
    return false;
}

HelpViewer* ShowHelpViewer(QWidget* owner, const std::string& guidePath) {
    HelpViewer* viewer = nullptr;
    if (owner)
        for (QObject* child : owner->children())
            if (auto* existing = dynamic_cast<HelpViewer*>(child)) viewer = existing;
    if (!viewer) viewer = new HelpViewer(owner, guidePath);
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
    return viewer;
}

}  // namespace ravlen::ui
