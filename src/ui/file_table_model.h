#pragma once
// The preview's files as a table: thumbnail, source name and folder, new
// name and folder, date and its source, status or the reason for a skip.

#include <QAbstractTableModel>
#include <QImage>
#include <functional>
#include <vector>

#include "model/file_list.h"
#include "ui/file_groups.h"

namespace ravlen::ui {

class FileTableModel : public QAbstractTableModel {
public:
    enum Column { Thumbnail, Name, Folder, NewName, NewFolder, Date, DateSource, Status, ColumnCount };
    // A row's thumbnail when it is at hand (null when there is none or it is
    // still being read); asking for one on screen starts its reading.
    using ThumbnailFinder = std::function<QImage(int row)>;

    explicit FileTableModel(std::vector<FileRow> rows, QObject* parent = nullptr);

    void SetThumbnails(ThumbnailFinder finder) { finder_ = std::move(finder); }
    // A row's thumbnail has been read: its cell is drawn again.
    void ThumbnailArrived(int row);

    const FileRow& Row(int row) const { return rows_[static_cast<std::size_t>(row)]; }
    const std::vector<FileRow>& Rows() const { return rows_; }
    // A cell's text, as shown and as copied.
    QString Text(int row, int column) const;
    // The given rows, in the given order, as lines of tab-separated columns
    // (the thumbnail's left out).
    QString RowsText(const std::vector<int>& rows) const;

    static bool Tickable(const FileRow& row) { return ui::Tickable(row); }
    enum class Ticking { All, None, Invert };
    // Ticks the given rows (source rows) as asked.
    void Tick(const std::vector<int>& rows, Ticking how);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

private:
    std::vector<FileRow> rows_;
    ThumbnailFinder finder_;
};

}  // namespace ravlen::ui
