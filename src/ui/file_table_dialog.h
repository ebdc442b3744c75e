#pragma once
// "Details..." of the preview report: every file of the preview in a table
// that sorts by any column, filters on any text and copies as text.

#include <QDialog>
#include <memory>

#include "model/file_list.h"

class QLabel;
class QLineEdit;
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

    QLineEdit& Filter() { return *filter_; }
    QTableView& Table() { return *table_; }

private:
    void Filtered();

    FileTableModel* model_;
    QSortFilterProxyModel* proxy_;
    std::unique_ptr<ThumbnailLoader> thumbnails_;
    QLineEdit* filter_;
    QTableView* table_;
    QLabel* count_;
    QPushButton* copy_;
};

}  // namespace ravlen::ui
