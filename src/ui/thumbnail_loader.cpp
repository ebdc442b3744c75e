#include "ui/thumbnail_loader.h"

#include <QFileInfo>
#include <QImageReader>
#include <QMetaObject>
#include <QRunnable>
#include <initializer_list>

#include "metadata/thumbnail.h"
#include "platform/posix_file_system.h"
#include "ui/media_thumbnails.h"

namespace ravlen::ui {
namespace {

// A picture that holds no thumbnail of its own (PNG, WebP), read at the
// box's size by Qt's image plugins.
QImage ScaledPicture(const FileRow& row, QSize box) {
    QImageReader reader(QString::fromStdString(row.SourcePath()));
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > box.width() || size.height() > box.height()))
        reader.setScaledSize(size.scaled(box, Qt::KeepAspectRatio));
    const QImage image = reader.read();
    if (image.isNull() || (image.width() <= box.width() && image.height() <= box.height())) return image;
    return image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// The EXIF thumbnail the file holds, read where the preview found it.
QImage EmbeddedThumbnail(const FileRow& row, QSize box) {
    PosixFileSystem fs;
    FsStatus opened;
    const std::unique_ptr<ReadStream> stream = fs.OpenRead(row.SourcePath(), opened);
    if (!stream) return {};
    std::optional<ThumbnailSpan> known;
    if (row.ThumbnailOffset >= 0) known = ThumbnailSpan{row.ThumbnailOffset, row.ThumbnailLength};
    const std::string bytes = ReadThumbnail(*stream, row.Size, known);
    stream->Close();
    if (bytes.empty()) return {};
    const QImage image = QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()),
                                          static_cast<int>(bytes.size()), "JPEG");
    if (image.isNull() || (image.width() <= box.width() && image.height() <= box.height())) return image;
    return image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

bool OfKind(const QString& kind, std::initializer_list<const char*> kinds) {
    for (const char* k : kinds)
        if (kind == QLatin1String(k)) return true;
    return false;
}

}  // namespace

QImage LoadThumbnail(const FileRow& row, QSize box) {
    const QString kind = QFileInfo(QString::fromStdString(row.SourceName)).suffix().toLower();
    if (OfKind(kind, {"png", "webp"})) return ScaledPicture(row, box);
    if (OfKind(kind, {"heic", "heif", "hif", "avif"})) return HeifThumbnail(row.SourcePath(), box);
    if (OfKind(kind, {"mp4", "mov", "m4v", "3gp", "mts", "m2ts", "avi", "mkv"})) {
        // The EXIF thumbnail some cameras put in a movie costs less than a frame.
        if (QImage embedded = EmbeddedThumbnail(row, box); !embedded.isNull()) return embedded;
        return MovieFrame(row.SourcePath(), box);
    }
    return EmbeddedThumbnail(row, box);
}

ThumbnailLoader::ThumbnailLoader(const std::vector<FileRow>& rows, QObject* context, Arrived arrived)
    : rows_(rows), context_(context), arrived_(std::move(arrived)), cache_(1000) {
    // Two readers: a card answers two requests faster than one, and the
    // window keeps a core to itself.
    pool_.setMaxThreadCount(2);
}

ThumbnailLoader::~ThumbnailLoader() {
    {
        const std::lock_guard lock(queue_->mutex);
        queue_->rows.clear();
    }
    pool_.waitForDone();
}

QImage ThumbnailLoader::Find(int row) {
    if (const QImage* image = cache_.object(row)) return *image;
    if (asked_.contains(row) || row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return {};
    asked_.insert(row);
    {
        const std::lock_guard lock(queue_->mutex);
        queue_->rows.push_back(row);
        if (queue_->rows.size() > kMaxWaiting) {
            asked_.remove(queue_->rows.front());  // asked again if it comes back on screen
            queue_->rows.pop_front();
        }
    }
    // Each task reads the newest request waiting, so the rows on screen come first.
    const FileRow* rows = rows_.data();
    const std::shared_ptr<Queue> queue = queue_;
    pool_.start(QRunnable::create([this, rows, queue] {
        int next = -1;
        {
            const std::lock_guard lock(queue->mutex);
            if (queue->rows.empty()) return;
            next = queue->rows.back();
            queue->rows.pop_back();
        }
        const QImage image = LoadThumbnail(rows[next], QSize(kWidth, kHeight));
        QMetaObject::invokeMethod(
            context_, [this, next, image] { Deliver(next, image); }, Qt::QueuedConnection);
    }));
    return {};
}

void ThumbnailLoader::Deliver(int row, const QImage& image) {
    asked_.remove(row);
    cache_.insert(row, new QImage(image));
    if (arrived_) arrived_(row);
}

}  // namespace ravlen::ui
