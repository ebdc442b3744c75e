#pragma once
// Thumbnails read off the window's thread, only for the rows asked for (those
// on screen), newest request first, kept in a small cache.

#include <QCache>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QSize>
#include <QThreadPool>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "model/file_list.h"

namespace ravlen::ui {

class ThumbnailLoader {
public:
    // Called on the window's thread, by a queued call on `context`, for each
    // row read (Find then gives its thumbnail, null when the file has none).
    // `context` owns the loader, so no call comes after the loader is gone.
    using Arrived = std::function<void(int row)>;
    static constexpr int kWidth = 80, kHeight = 60;

    ThumbnailLoader(const std::vector<FileRow>& rows, QObject* context, Arrived arrived);
    // Waits for the file being read; requests not yet begun are dropped.
    ~ThumbnailLoader();
    ThumbnailLoader(const ThumbnailLoader&) = delete;
    ThumbnailLoader& operator=(const ThumbnailLoader&) = delete;

    // The row's thumbnail when it has been read; otherwise null, and its
    // reading is asked for once.
    QImage Find(int row);

    // Scrolled-past rows give way: at most this many requests wait.
    static constexpr std::size_t kMaxWaiting = 256;

private:
    struct Queue {
        std::mutex mutex;
        std::deque<int> rows;  // newest at the back
    };
    void Deliver(int row, const QImage& image);

    const std::vector<FileRow>& rows_;
    QObject* context_;
    Arrived arrived_;
    std::shared_ptr<Queue> queue_ = std::make_shared<Queue>();
    QCache<int, QImage> cache_;
    QSet<int> asked_;
    QThreadPool pool_;
};

// A file's thumbnail, made smaller to fit `box`: the EXIF thumbnail it
// holds; a PNG or WebP read small; a HEIF or AVIF picture's thumbnail item;
// a movie's frame. Null when it has none.
QImage LoadThumbnail(const FileRow& row, QSize box);

}  // namespace ravlen::ui
