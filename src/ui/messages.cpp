#include "ui/messages.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <utility>

#include "platform/desktop_services.h"

#include "ui/file_table_dialog.h"

namespace ravlen::ui {

std::string DisplayText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

namespace {

QMessageBox::Icon ToQt(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Information: return QMessageBox::Information;
        case MsgIcon::Exclamation: return QMessageBox::Warning;
        case MsgIcon::Question: return QMessageBox::Question;
        case MsgIcon::Critical: return QMessageBox::Critical;
        case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

MsgAnswer Messenger::Show(const MessageRequest& request) const {
    if (hook_) return hook_(request);

    // A question is answered with the ordinary pointer, even in the middle of
    // work that shows the busy one.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const MsgAnswer answer = Ask(request);
    if (busy) QApplication::restoreOverrideCursor();
    return answer;
}

MsgAnswer Messenger::Ask(const MessageRequest& request) const {
    QMessageBox box(ToQt(request.icon), QString::fromStdString(request.title),
                    QString::fromStdString(DisplayText(request.text)), QMessageBox::NoButton, owner_);
    // File names may hold "<" and "&": never let the box guess rich text.
    box.setTextFormat(Qt::PlainText);
    if (request.files) {
        QPushButton* details = box.addButton(QStringLiteral("&Details..."), QMessageBox::ActionRole);
        // The table opens over the box, which stays for its answer.
        details->disconnect();
        QObject::connect(details, &QPushButton::clicked, &box, [&box, &request] {
            FileTableDialog table(*request.files, &box);
            table.exec();
            // The ticks stay with the list, for the run and the next look.
            std::vector<FileRow>& rows = request.files->Rows();
            for (std::size_t i = 0; i < rows.size(); ++i) rows[i].Chosen = table.Chosen(static_cast<int>(i));
        });
    }
    if (request.buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(request.defaultNo ? QMessageBox::No : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    CardCheck card = request.card ? *request.card : CardCheck{};
    if (request.card) {
        box.setInformativeText(QString::fromStdString(DisplayText(card.Text)));
        if (card.Again) {
            QPushButton* check = box.addButton(QStringLiteral("&Check card"), QMessageBox::ActionRole);
            // The verdict is renewed in the box, which stays.
            check->disconnect();
            QObject::connect(check, &QPushButton::clicked, &box, [&box, &card] {
                card.Again(card);
                box.setIcon(card.Safe ? QMessageBox::Information : QMessageBox::Warning);
                box.setInformativeText(QString::fromStdString(DisplayText(card.Text)));
            });
        }
    }
    // Opening a place leaves the box up, with its other places still to open.
    for (const OpenablePlace& place : request.places) {
        QPushButton* opener = box.addButton(QString::fromStdString(place.Caption()), QMessageBox::ActionRole);
        opener->disconnect();
        QObject::connect(opener, &QPushButton::clicked, &box, [this, &box, &request, path = place.Path] {
            std::string error;
            if (!(open_ ? open_(path, error) : OpenWithDesktop(path, error)))
                QMessageBox::warning(&box, QString::fromStdString(request.title),
                                     QString::fromStdString(path + ": " + error));
        });
    }
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    return MsgAnswer::OK;
}

}  // namespace ravlen::ui
