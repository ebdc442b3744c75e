#include "ui/file_table_model.h"

#include <QString>

namespace ravlen::ui {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// What the status column says: the reason where a file is left alone.
QString StatusText(const FileRow& row) {
    switch (row.Status) {
        case ListStatus::Place: return QStringLiteral("Place");
        case ListStatus::AlreadyImported: return QStringLiteral("Already imported");
        case ListStatus::Skip: return QStringLiteral("Skipped: ") + Q(row.Reason);
        case ListStatus::Excluded: return QStringLiteral("Excluded: ") + Q(row.Reason);
    }
    return {};
}

}  // namespace

FileTableModel::FileTableModel(std::vector<FileRow> rows, QObject* parent)
    : QAbstractTableModel(parent), rows_(std::move(rows)) {}

void FileTableModel::ThumbnailArrived(int row) {
    if (row < 0 || row >= rowCount()) return;
    const QModelIndex cell = index(row, Thumbnail);
    emit dataChanged(cell, cell, {Qt::DecorationRole});
}

QString FileTableModel::Text(int row, int column) const {
    const FileRow& r = Row(row);
    switch (column) {
        case Name: return Q(r.SourceName);
        case Folder: return Q(r.SourceFolder);
        case NewName: return Q(r.OutputName);
        case NewFolder: return r.OutputName.empty() ? QString() : Q(r.OutputFolder);
        case Date: return r.HasDate ? Q(r.Date.FormatFull()) : QString();
        case DateSource: return Q(r.DateSource);
        case Status: return StatusText(r);
        default: return {};
    }
}

QString FileTableModel::RowsText(const std::vector<int>& rows) const {
    QString text;
    for (const int row : rows) {
        for (int column = Name; column < ColumnCount; ++column) {
            if (column != Name) text += QLatin1Char('\t');
            // A tab or line break inside a name would split the row.
            QString cell = Text(row, column);
            cell.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
            text += cell;
        }
        text += QLatin1Char('\n');
    }
    return text;
}

int FileTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int FileTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant FileTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        if (index.column() == Thumbnail) return {};
        return Text(index.row(), index.column());
    }
    if (role == Qt::CheckStateRole && index.column() == Name && Tickable(Row(index.row())))
        return Row(index.row()).Chosen ? Qt::Checked : Qt::Unchecked;
    // Only cells being drawn ask: rows off screen never read their file.
    if (role == Qt::DecorationRole && index.column() == Thumbnail && finder_) {
        const QImage image = finder_(index.row());
        if (!image.isNull()) return image;
    }
    return {};
}

Qt::ItemFlags FileTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == Name && Tickable(Row(index.row()))) flags |= Qt::ItemIsUserCheckable;
    return flags;
}

bool FileTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != Name) return false;
    FileRow& row = rows_[static_cast<std::size_t>(index.row())];
    if (!Tickable(row)) return false;
    row.Chosen = value.toInt() == Qt::Checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

void FileTableModel::Tick(const std::vector<int>& rows, Ticking how) {
    for (const int r : rows) {
        FileRow& row = rows_[static_cast<std::size_t>(r)];
        if (!Tickable(row)) continue;
        row.Chosen = how == Ticking::All || (how == Ticking::Invert && !row.Chosen);
    }
    if (!rows_.empty()) emit dataChanged(index(0, Name), index(rowCount() - 1, Name), {Qt::CheckStateRole});
}

QVariant FileTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kTitles[ColumnCount] = {"",           "Name", "Folder",      "New name",
                                                     "New folder", "Date", "Date source", "Status"};
    if (section < 0 || section >= ColumnCount) return {};
    return QString::fromLatin1(kTitles[section]);
}

}  // namespace ravlen::ui
