#pragma once
// The source field: a folder typed or browsed for, or one of the entries its
// list offers (the camera cards mounted, the cameras and phones on the USB
// ports), chosen from the list.

#include <QComboBox>
#include <functional>
#include <vector>

#include "app/devices/source_entries.h"

class QLineEdit;

namespace ravlen::ui {

class SourceBox : public QComboBox {
public:
    // `edit` is the field's text box, which the box takes in.
    SourceBox(QLineEdit* edit, QWidget* parent);

    // Called before the list opens, to bring the entries up to date.
    std::function<void()> aboutToOpen;

    // The list's entries, the text in the field left as it is.
    void SetEntries(const std::vector<SourceEntry>& entries);
    // The SourcePath of the entry at `index`.
    std::string SourcePathAt(int index) const;

    void showPopup() override;

protected:
    // The wheel scrolls the page: it does not change the source under the pointer.
    void wheelEvent(QWheelEvent* event) override;
};

}  // namespace ravlen::ui
