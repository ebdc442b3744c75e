#include "ui/file_table_dialog.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "ui/file_table_model.h"
#include "ui/screen_fit.h"
#include "ui/thumbnail_loader.h"

namespace ravlen::ui {
namespace {

// The grid's view of the table: each file's thumbnail cell, captioned and
// ticked as its name is.
class GridModel : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole || role == Qt::CheckStateRole)
            return QIdentityProxyModel::data(index.siblingAtColumn(FileTableModel::Name), role);
        return QIdentityProxyModel::data(index, role);
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return QIdentityProxyModel::flags(index.siblingAtColumn(FileTableModel::Name));
    }
    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        return QIdentityProxyModel::setData(index.siblingAtColumn(FileTableModel::Name), value, role);
    }
};

}  // namespace

FileTableDialog::FileTableDialog(const FileList& files, QWidget* parent)
    : QDialog(parent),
      model_(new FileTableModel(files.Rows(), this)),
      proxy_(new QSortFilterProxyModel(this)),
      filter_(new QLineEdit(this)),
      table_(new QTableView(this)),
      count_(new QLabel(this)),
      copy_(new QPushButton(QStringLiteral("&Copy"), this)),
      tickAll_(new QPushButton(QStringLiteral("Tick &all"), this)),
      tickNone_(new QPushButton(QStringLiteral("Tick &none"), this)),
      tickInvert_(new QPushButton(QStringLiteral("&Invert ticks"), this)),
      grid_(new QListView(this)),
      gridButton_(new QPushButton(QStringLiteral("&Grid"), this)),
      groupChoice_(new QComboBox(this)),
      groups_(new QListWidget(this)) {
    setWindowTitle(QStringLiteral("Preview Details"));
    // The loader reads from the model's own rows, which live as long as the dialog.
    thumbnails_ = std::make_unique<ThumbnailLoader>(model_->Rows(), this,
                                                    [this](int row) { model_->ThumbnailArrived(row); });
    model_->SetThumbnails([this](int row) { return thumbnails_->Find(row); });

    proxy_->setSourceModel(model_);
    proxy_->setFilterKeyColumn(-1);
    proxy_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    proxy_->setSortCaseSensitivity(Qt::CaseInsensitive);

    table_->setModel(proxy_);
    table_->setSortingEnabled(true);
    table_->sortByColumn(-1, Qt::AscendingOrder);  // the walk's order until a header is clicked
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->setIconSize(QSize(ThumbnailLoader::kWidth, ThumbnailLoader::kHeight));
    // Fixed row heights and column widths: ten thousand rows cost nothing to lay out.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(ThumbnailLoader::kHeight + 4);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setColumnWidth(FileTableModel::Thumbnail, ThumbnailLoader::kWidth + 8);
    // Names fitted to the first rows (a sample, so that a long list opens at
    // once), within a bound that keeps the other columns in sight.
    // Folders are long and alike: they give way first, cut in the middle
    // (the whole text is in the tooltip).
    table_->setTextElideMode(Qt::ElideMiddle);
    table_->horizontalHeader()->setResizeContentsPrecision(200);
    struct Bound {
        int column;
        int widest;
    };
    for (const Bound bound : {Bound{FileTableModel::Name, 220}, Bound{FileTableModel::Folder, 180},
                              Bound{FileTableModel::NewName, 460}, Bound{FileTableModel::NewFolder, 200},
                              Bound{FileTableModel::Date, 160}, Bound{FileTableModel::DateSource, 180}}) {
        table_->resizeColumnToContents(bound.column);
        table_->setColumnWidth(bound.column, std::clamp(table_->columnWidth(bound.column), 80, bound.widest));
    }
    // What happens to a file is read next to its name; the copied text keeps
    // the model's order.
    table_->horizontalHeader()->moveSection(table_->horizontalHeader()->visualIndex(FileTableModel::Status),
                                            table_->horizontalHeader()->visualIndex(FileTableModel::Name) + 1);
    table_->setColumnWidth(FileTableModel::Status, 200);

    filter_->setPlaceholderText(QStringLiteral("Filter"));
    filter_->setClearButtonEnabled(true);
    connect(filter_, &QLineEdit::textChanged, this, &FileTableDialog::Filtered);

    auto* copyAction = new QAction(this);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    table_->addAction(copyAction);
    connect(copyAction, &QAction::triggered, this, &FileTableDialog::Copy);
    connect(copy_, &QPushButton::clicked, this, &FileTableDialog::Copy);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(copy_, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    using Ticking = FileTableModel::Ticking;
    for (const auto& [button, how] : {std::pair{tickAll_, Ticking::All}, std::pair{tickNone_, Ticking::None},
                                      std::pair{tickInvert_, Ticking::Invert}}) {
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, how = how] { model_->Tick(ShownRows(), how); });
    }

    // Only the cells on screen ask for their thumbnails, in the grid as in the table.
    auto* gridModel = new GridModel(this);
    gridModel->setSourceModel(proxy_);
    grid_->setObjectName("ThumbnailGrid");
    grid_->setModel(gridModel);
    grid_->setModelColumn(FileTableModel::Thumbnail);
    grid_->setViewMode(QListView::IconMode);
    grid_->setResizeMode(QListView::Adjust);
    grid_->setMovement(QListView::Static);
    grid_->setUniformItemSizes(true);
    grid_->setLayoutMode(QListView::Batched);
    grid_->setIconSize(QSize(ThumbnailLoader::kWidth, ThumbnailLoader::kHeight));
    grid_->setGridSize(QSize(ThumbnailLoader::kWidth * 2, ThumbnailLoader::kHeight + 3 * fontMetrics().height()));
    grid_->setTextElideMode(Qt::ElideMiddle);
    grid_->setWordWrap(true);
    gridButton_->setCheckable(true);
    gridButton_->setChecked(true);
    gridButton_->setAutoDefault(false);
    connect(gridButton_, &QPushButton::toggled, grid_, &QWidget::setVisible);
    // Whole days, folders or cameras ticked at once.
    groupChoice_->addItem(QStringLiteral("By day"), static_cast<int>(GroupBy::Day));
    groupChoice_->addItem(QStringLiteral("By folder"), static_cast<int>(GroupBy::Folder));
    groupChoice_->addItem(QStringLiteral("By camera"), static_cast<int>(GroupBy::Camera));
    groups_->setObjectName("FileGroups");
    groups_->setTextElideMode(Qt::ElideMiddle);
    connect(groupChoice_, &QComboBox::currentIndexChanged, this, &FileTableDialog::Regroup);
    connect(groups_, &QListWidget::itemChanged, this, &FileTableDialog::GroupTicked);
    connect(model_, &QAbstractItemModel::dataChanged, this, &FileTableDialog::ShowGroupTicks);
    auto* groupPanel = new QWidget(this);
    auto* groupLayout = new QVBoxLayout(groupPanel);
    groupLayout->setContentsMargins(0, 0, 0, 0);
    groupLayout->addWidget(groupChoice_);
    groupLayout->addWidget(groups_, 1);

    auto* views = new QSplitter(Qt::Horizontal, this);
    views->addWidget(groupPanel);
    views->addWidget(table_);
    views->addWidget(grid_);
    views->setStretchFactor(0, 0);
    views->setStretchFactor(1, 3);
    views->setStretchFactor(2, 2);
    views->setSizes({180, 640, 440});

    auto* top = new QHBoxLayout;
    top->addWidget(filter_, 1);
    top->addWidget(count_);
    top->addWidget(tickAll_);
    top->addWidget(tickNone_);
    top->addWidget(tickInvert_);
    top->addWidget(gridButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(views, 1);
    layout->addWidget(buttons);
    FitToScreen(*this, QSize(1260, 640));
    Filtered();
    Regroup();
}

FileTableDialog::~FileTableDialog() = default;

void FileTableDialog::Filtered() {
    proxy_->setFilterFixedString(filter_->text());
    count_->setText(QStringLiteral("%1 of %2 files").arg(proxy_->rowCount()).arg(model_->rowCount()));
}

void FileTableDialog::Regroup() {
    grouped_ = GroupFiles(model_->Rows(), static_cast<GroupBy>(groupChoice_->currentData().toInt()));
    showingTicks_ = true;
    groups_->clear();
    for (const FileGroup& group : grouped_)
        groups_->addItem(QStringLiteral("%1 (%2)").arg(QString::fromStdString(group.Key)).arg(group.Rows.size()));
    showingTicks_ = false;
    ShowGroupTicks();
}

void FileTableDialog::ShowGroupTicks() {
    showingTicks_ = true;
    for (std::size_t i = 0; i < grouped_.size(); ++i) {
        QListWidgetItem* item = groups_->item(static_cast<int>(i));
        const GroupTick tick = TickOf(grouped_[i], model_->Rows());
        if (tick == GroupTick::NoBox) {
            item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
            item->setData(Qt::CheckStateRole, QVariant());
            continue;
        }
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(tick == GroupTick::All    ? Qt::Checked
                            : tick == GroupTick::None ? Qt::Unchecked
                                                      : Qt::PartiallyChecked);
    }
    showingTicks_ = false;
}

void FileTableDialog::GroupTicked(QListWidgetItem* item) {
    if (showingTicks_) return;
    const int i = groups_->row(item);
    if (i < 0 || i >= static_cast<int>(grouped_.size())) return;
    // A partly ticked group clicked becomes ticked, as a box in a tree does.
    const bool tick = item->checkState() != Qt::Unchecked;
    model_->Tick(grouped_[static_cast<std::size_t>(i)].Rows,
                 tick ? FileTableModel::Ticking::All : FileTableModel::Ticking::None);
}

bool FileTableDialog::Chosen(int row) const { return model_->Row(row).Chosen; }

std::vector<int> FileTableDialog::ShownRows() const {
    std::vector<int> rows;
    for (int row = 0; row < proxy_->rowCount(); ++row) rows.push_back(proxy_->mapToSource(proxy_->index(row, 0)).row());
    return rows;
}

QString FileTableDialog::Copy() {
    std::vector<int> shown;
    const QItemSelectionModel* selection = table_->selectionModel();
    for (int row = 0; row < proxy_->rowCount(); ++row)
        if (!selection->hasSelection() || selection->isRowSelected(row, QModelIndex()))
            shown.push_back(proxy_->mapToSource(proxy_->index(row, 0)).row());
    const QString text = model_->RowsText(shown);
    QApplication::clipboard()->setText(text);
    return text;
}

}  // namespace ravlen::ui
