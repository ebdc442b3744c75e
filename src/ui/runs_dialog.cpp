#include "ui/runs_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace ravlen::ui {

std::string ChooseRunToUndo(QWidget* parent, const std::vector<JournalRun>& runs) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QObject::tr("Undo last import"));
    auto* label = new QLabel(QObject::tr("Choose the run to undo:"), &dialog);
    auto* list = new QTreeWidget(&dialog);
    list->setObjectName("RunList");
    list->setRootIsDecorated(false);
    list->setHeaderLabels({QObject::tr("Time"), QObject::tr("Source"), QObject::tr("Output"), QObject::tr("Moved"),
                           QObject::tr("Copied"), QObject::tr("Backed up"), QObject::tr("State")});
    QTreeWidgetItem* chosen = nullptr;
    for (const JournalRun& run : runs) {
        auto* item = new QTreeWidgetItem(
            list, {QString::fromStdString(run.Started.FormatFull()), QString::fromStdString(run.SourceFolder),
                   QString::fromStdString(run.OutputFolder), QString::number(run.Moved),
                   QString::number(run.Copied), QString::number(run.CaughtUp),
                   run.Undone ? QObject::tr("Undone") : QString()});
        item->setData(0, Qt::UserRole, QString::fromStdString(run.Id));
        item->setToolTip(1, QString::fromStdString(run.SourceFolder));
        item->setToolTip(2, QString::fromStdString(run.OutputFolder));
        if (!chosen && !run.Undone) chosen = item;
    }
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    if (chosen) list->setCurrentItem(chosen);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, &dialog);
    QPushButton* undo = buttons->addButton(QObject::tr("&Undo..."), QDialogButtonBox::AcceptRole);
    undo->setDefault(true);
    undo->setEnabled(list->currentItem() != nullptr);
    QObject::connect(list, &QTreeWidget::currentItemChanged, undo,
                     [undo](QTreeWidgetItem* current) { undo->setEnabled(current != nullptr); });
    QObject::connect(list, &QTreeWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(label);
    layout->addWidget(list);
    layout->addWidget(buttons);
    dialog.resize(800, 300);
    if (dialog.exec() != QDialog::Accepted || !list->currentItem()) return {};
    return list->currentItem()->data(0, Qt::UserRole).toString().toStdString();
}

}  // namespace ravlen::ui
