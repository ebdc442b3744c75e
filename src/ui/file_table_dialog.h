#pragma once
// "Details..." of the preview report: every file of the preview in a table
// that sorts by any column, filters on any text and copies as text.

#include <QDialog>
#include <memory>
#include <vector>

#include "model/file_list.h"
#include "ui/file_groups.h"

class QComboBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QLineEdit;
class QListView;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

namespace ravlen::ui {

class FileTableModel;
class ThumbnailLoader;

class FileTableDialog : public QDialog {
public:
    explicit FileTableDialog(const FileList& files, QWidget* parent = nullptr);
    ~FileTableDialog() override;

    // The selected rows (all shown rows when none is selected), in the
    // table's order, as tab-separated lines; also put on the clipboard.
    QString Copy();

    // Whether the row (in the list's order) is ticked: unticked files stay where they are.
    bool Chosen(int row) const;
    // Ticks all, none or the other rows of those shown (a filter picks a day, a folder, a camera).
    QPushButton& TickAll() { return *tickAll_; }
    QPushButton& TickNone() { return *tickNone_; }
    QPushButton& TickInvert() { return *tickInvert_; }

    // The files by day, folder or camera, each group with its own box.
    QComboBox& GroupChoice() { return *groupChoice_; }
    QListWidget& Groups() { return *groups_; }

    QLineEdit& Filter() { return *filter_; }
    // The thumbnails beside the table, in the table's order and filter; shown or hidden by its button.
    QListView& Grid() { return *grid_; }
    QPushButton& GridButton() { return *gridButton_; }
    QTableView& Table() { return *table_; }

private:
    void Filtered();
    void Regroup();
    void ShowGroupTicks();
    void GroupTicked(QListWidgetItem* item);
    std::vector<int> ShownRows() const;

    FileTableModel* model_;
    QSortFilterProxyModel* proxy_;
    std::unique_ptr<ThumbnailLoader> thumbnails_;
    QLineEdit* filter_;
    QTableView* table_;
    QLabel* count_;
    QPushButton* copy_;
    QPushButton* tickAll_;
    QPushButton* tickNone_;
    QPushButton* tickInvert_;
    QListView* grid_;
    QPushButton* gridButton_;
    QComboBox* groupChoice_;
    QListWidget* groups_;
    std::vector<FileGroup> grouped_;
    bool showingTicks_ = false;
};

}  // namespace ravlen::ui
