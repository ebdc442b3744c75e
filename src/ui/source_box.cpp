#include "ui/source_box.h"

#include <QLineEdit>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QWheelEvent>

namespace ravlen::ui {

SourceBox::SourceBox(QLineEdit* edit, QWidget* parent) : QComboBox(parent) {
    setObjectName("SourceList");
    setEditable(true);
    setLineEdit(edit);
    // A folder typed is not added to the list, nor completed from it.
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
}

void SourceBox::SetEntries(const std::vector<SourceEntry>& entries) {
    // Adding the first item would put its text in the field.
    const QString text = lineEdit()->text();
    const QSignalBlocker blocker(this);
    clear();
    for (const SourceEntry& entry : entries)
        addItem(QString::fromStdString(entry.Text), QString::fromStdString(entry.SourcePath));
    if (entries.empty()) {
        // Says why the list is empty, and cannot be chosen.
        addItem(tr("No camera card, camera or phone found"));
        if (auto* items = qobject_cast<QStandardItemModel*>(model())) items->item(0)->setEnabled(false);
    }
    setCurrentIndex(-1);
    lineEdit()->setText(text);
}

std::string SourceBox::SourcePathAt(int index) const { return itemData(index).toString().toStdString(); }

void SourceBox::showPopup() {
    if (aboutToOpen) aboutToOpen();
    QComboBox::showPopup();
}

void SourceBox::wheelEvent(QWheelEvent* event) { event->ignore(); }

}  // namespace ravlen::ui
