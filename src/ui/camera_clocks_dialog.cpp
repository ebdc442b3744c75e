#include "ui/camera_clocks_dialog.h"

#include <algorithm>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/messages.h"
#include "ui/screen_fit.h"
#include "ui/thumbnail_loader.h"

namespace ravlen::ui {
namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

QTableWidgetItem* Cell(const QString& text, bool editable = false) {
    auto* item = new QTableWidgetItem(text);
    if (!editable) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

// A thumbnail in the middle of a thumbnail's whole place, its shape kept:
// every row stays as tall as the place, whatever the picture's shape.
QIcon Placed(const QImage& thumbnail) {
    QPixmap place(ThumbnailLoader::kWidth, ThumbnailLoader::kHeight);
    place.fill(Qt::transparent);
    if (!thumbnail.isNull()) {
        const QImage fitted = thumbnail.scaled(place.size().boundedTo(thumbnail.size()), Qt::KeepAspectRatio,
                                               Qt::SmoothTransformation);
        QPainter painter(&place);
        painter.drawImage((place.width() - fitted.width()) / 2, (place.height() - fitted.height()) / 2, fitted);
    }
    return QIcon(place);
}

QString Label(const CameraClockTable::Row& row) {
    return row.Editable() ? Text(row.Camera.Label()) : QStringLiteral("Files that name no camera");
}

}  // namespace

CameraClocksDialog::CameraClocksDialog(CameraClockTable table, const Messenger& messenger, const std::string& note,
                                       QWidget* parent)
    : QDialog(parent),
      clocks_(std::move(table)),
      messenger_(messenger),
      table_(new QTableWidget(this)),
      referenceCamera_(new QComboBox(this)),
      correctedCamera_(new QComboBox(this)),
      referencePictures_(new QListWidget(this)),
      correctedPictures_(new QListWidget(this)),
      aligned_(new QLabel(this)),
      align_(new QPushButton(QStringLiteral("&Align"), this)) {
    setObjectName("frmCameraClocks");
    setWindowTitle(QStringLiteral("Camera Clocks"));

    auto* intro = new QLabel(
        QStringLiteral("Each camera's offset is added to the dates of its files whenever they are renamed, on top of "
                       "the clock shift of a run. Type an offset (+01:00:00 for a clock an hour behind, "
                       "-1 02:30:00 for one a day and two and a half hours ahead), or leave it empty for none."),
        this);
    intro->setWordWrap(true);

    table_->setObjectName("CameraTable");
    table_->setColumnCount(ColumnCount);
    table_->setHorizontalHeaderLabels({QStringLiteral("Camera"), QStringLiteral("Files"),
                                       QStringLiteral("First recorded"), QStringLiteral("Last recorded"),
                                       QStringLiteral("Offset"), QStringLiteral("GPS suggests")});
    table_->verticalHeader()->hide();
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::AllEditTriggers);
    table_->horizontalHeader()->setSectionResizeMode(CameraColumn, QHeaderView::Stretch);

    auto* alignBox = new QGroupBox(QStringLiteral("Align a camera to another"), this);
    auto* alignIntro = new QLabel(QStringLiteral("Choose one picture from each camera that show the same moment."),
                                  alignBox);
    alignIntro->setWordWrap(true);
    referenceCamera_->setObjectName("ReferenceCamera");
    correctedCamera_->setObjectName("CorrectedCamera");
    for (QListWidget* pictures : {referencePictures_, correctedPictures_}) {
        pictures->setIconSize(QSize(ThumbnailLoader::kWidth, ThumbnailLoader::kHeight));
        // Uniform rows, each as tall as a thumbnail: every row holds a
        // thumbnail's place from the start (ShowPictures).
        pictures->setUniformItemSizes(true);
    }
    connect(referencePictures_->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { AskVisible(*referencePictures_, referenceThumbnails_.get()); });
    connect(correctedPictures_->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { AskVisible(*correctedPictures_, correctedThumbnails_.get()); });
    align_->setObjectName("AlignButton");
    align_->setAutoDefault(false);
    aligned_->setObjectName("AlignedOffset");
    auto* referenceCaption = new QLabel(QStringLiteral("&Reference camera (its time is right)"), alignBox);
    referenceCaption->setBuddy(referenceCamera_);
    auto* correctedCaption = new QLabel(QStringLiteral("Camera to &correct"), alignBox);
    correctedCaption->setBuddy(correctedCamera_);
    auto* alignGrid = new QGridLayout(alignBox);
    alignGrid->addWidget(alignIntro, 0, 0, 1, 2);
    alignGrid->addWidget(referenceCaption, 1, 0);
    alignGrid->addWidget(correctedCaption, 1, 1);
    alignGrid->addWidget(referenceCamera_, 2, 0);
    alignGrid->addWidget(correctedCamera_, 2, 1);
    alignGrid->addWidget(referencePictures_, 3, 0);
    alignGrid->addWidget(correctedPictures_, 3, 1);
    auto* alignRow = new QHBoxLayout;
    alignRow->addWidget(align_);
    alignRow->addWidget(aligned_, 1);
    alignGrid->addLayout(alignRow, 4, 0, 1, 2);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    if (!note.empty()) {
        auto* noteLabel = new QLabel(Text(note), this);
        noteLabel->setObjectName("SurveyNote");
        noteLabel->setWordWrap(true);
        layout->addWidget(noteLabel);
    }
    layout->addWidget(table_, 1);
    layout->addWidget(alignBox, 1);
    layout->addWidget(buttons);

    Fill();
    connect(table_, &QTableWidget::itemChanged, this, &CameraClocksDialog::OffsetEdited);
    connect(referenceCamera_, &QComboBox::currentIndexChanged, this, &CameraClocksDialog::ReferenceChosen);
    connect(correctedCamera_, &QComboBox::currentIndexChanged, this, &CameraClocksDialog::CorrectedChosen);
    connect(align_, &QPushButton::clicked, this, &CameraClocksDialog::Align);
    connect(buttons, &QDialogButtonBox::accepted, this, &CameraClocksDialog::Ok);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    ReferenceChosen();
    CorrectedChosen();
    FitToScreen(*this, QSize(820, 640));
}

CameraClocksDialog::~CameraClocksDialog() = default;

void CameraClocksDialog::Fill() {
    const QSignalBlocker quiet(table_);
    const auto& rows = clocks_.Rows();
    table_->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const CameraClockTable::Row& row = rows[i];
        const int r = static_cast<int>(i);
        const bool any = !row.Files.empty();
        table_->setItem(r, CameraColumn, Cell(Label(row)));
        table_->setItem(r, FilesColumn, Cell(QString::number(row.Files.size())));
        table_->setItem(r, FirstColumn, Cell(any ? Text(row.Files.front().DateBeforeShift.FormatFull()) : QString()));
        table_->setItem(r, LastColumn, Cell(any ? Text(row.Files.back().DateBeforeShift.FormatFull()) : QString()));
        table_->setItem(r, OffsetColumn, Cell(Text(row.Offset), row.Editable()));
        if (!row.Editable())
            table_->item(r, OffsetColumn)->setToolTip(QStringLiteral("No offset applies to files that name no camera"));
        table_->setItem(r, SuggestedColumn, Cell(row.Suggested ? Text(row.Suggested->Text()) : QString()));
        if (row.Suggested)
            table_->item(r, SuggestedColumn)
                ->setToolTip(QStringLiteral("The offset that sets this camera's clock right by the GPS time its files "
                                            "store; type it as the offset to use it"));
        table_->item(r, FilesColumn)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // Only cameras with pictures can be aligned.
        if (row.Editable() && any) {
            referenceCamera_->addItem(Label(row), r);
            correctedCamera_->addItem(Label(row), r);
        }
    }
    if (correctedCamera_->count() > 1) correctedCamera_->setCurrentIndex(1);
    table_->resizeColumnsToContents();
    table_->setColumnWidth(OffsetColumn, table_->fontMetrics().horizontalAdvance(QStringLiteral("-9999 23:59:59")) + 24);
    table_->horizontalHeader()->setSectionResizeMode(CameraColumn, QHeaderView::Stretch);
}

void CameraClocksDialog::OffsetEdited(QTableWidgetItem* item) {
    if (item->column() == OffsetColumn) clocks_.SetOffset(static_cast<std::size_t>(item->row()), item->text().toStdString());
}

void CameraClocksDialog::ShowPictures(QComboBox* camera, QListWidget* pictures,
                                      std::unique_ptr<ThumbnailLoader>& thumbnails) {
    thumbnails.reset();
    pictures->clear();
    if (camera->currentIndex() < 0) return;
    const auto& files = clocks_.Rows()[camera->currentData().toUInt()].Files;
    // A blank thumbnail's place keeps every row a thumbnail's height.
    const QIcon place = Placed(QImage());
    for (const FileRow& file : files)
        pictures->addItem(new QListWidgetItem(place, Text(file.SourceName + "    " + file.DateBeforeShift.FormatFull())));
    // The rows live as long as the table, which outlives the loader.
    thumbnails = std::make_unique<ThumbnailLoader>(files, this, [pictures, &thumbnails](int row) {
        if (QListWidgetItem* item = pictures->item(row)) item->setIcon(Placed(thumbnails->Find(row)));
    });
    if (pictures->count() > 0) pictures->setCurrentRow(0);
    AskVisible(*pictures, thumbnails.get());
}

void CameraClocksDialog::AskVisible(QListWidget& pictures, ThumbnailLoader* loader) {
    if (!loader || pictures.count() == 0) return;
    // The rows on screen; a list not laid out yet shows its first rows.
    const QRect view = pictures.viewport()->rect();
    int first = pictures.indexAt(view.topLeft()).row();
    int last = pictures.indexAt(QPoint(view.left(), view.bottom())).row();
    if (first < 0) first = 0;
    if (last < 0) last = std::min(pictures.count(), first + kRowsBeforeLayout) - 1;
    for (int row = first; row <= last; ++row) {
        const QImage image = loader->Find(row);
        if (!image.isNull()) pictures.item(row)->setIcon(Placed(image));
    }
}

void CameraClocksDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    AskVisible(*referencePictures_, referenceThumbnails_.get());
    AskVisible(*correctedPictures_, correctedThumbnails_.get());
}

void CameraClocksDialog::ReferenceChosen() { ShowPictures(referenceCamera_, referencePictures_, referenceThumbnails_); }

void CameraClocksDialog::CorrectedChosen() { ShowPictures(correctedCamera_, correctedPictures_, correctedThumbnails_); }

void CameraClocksDialog::Align() {
    const int referencePicture = referencePictures_->currentRow(), correctedPicture = correctedPictures_->currentRow();
    if (referenceCamera_->currentIndex() < 0 || correctedCamera_->currentIndex() < 0 || referencePicture < 0 ||
        correctedPicture < 0)
        return;
    const std::size_t reference = referenceCamera_->currentData().toUInt();
    const std::size_t corrected = correctedCamera_->currentData().toUInt();
    const auto& rows = clocks_.Rows();
    const std::optional<TimeShift> offset =
        clocks_.Align(reference, rows[reference].Files[static_cast<std::size_t>(referencePicture)].DateBeforeShift,
                      corrected, rows[corrected].Files[static_cast<std::size_t>(correctedPicture)].DateBeforeShift);
    if (!offset) {
        const std::string why = reference == corrected
                                    ? "Choose two different cameras: the reference and the camera to correct."
                                    : "The offset of the reference camera is not valid. Correct it first.";
        messenger_.Show(why, MsgIcon::Exclamation, MsgButtons::OK, "Camera Clocks");
        return;
    }
    const int row = static_cast<int>(corrected);
    const QSignalBlocker quiet(table_);
    table_->item(row, OffsetColumn)->setText(Text(rows[corrected].Offset));
    table_->selectRow(row);
    aligned_->setText(Text(rows[corrected].Camera.Label() + ": " + (offset->IsNone() ? "no offset" : offset->Text())));
}

void CameraClocksDialog::Ok() {
    const CameraClockTable::Outcome outcome = clocks_.Result();
    if (!outcome.Refusal.empty()) {
        messenger_.Show(outcome.Refusal, MsgIcon::Exclamation, MsgButtons::OK, "Camera Clocks");
        return;
    }
    text_ = outcome.Text;
    accept();
}

}  // namespace ravlen::ui
