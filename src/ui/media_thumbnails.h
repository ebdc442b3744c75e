#pragma once
// Thumbnails of the files whose pictures Qt cannot read: HEIF and AVIF
// pictures through libheif, movies through FFmpeg's libraries.

#include <QImage>
#include <QSize>
#include <string>

namespace ravlen::ui {

// The picture's own thumbnail item, else the picture decoded and made
// smaller, to fit `box`; null when it cannot be read.
QImage HeifThumbnail(const std::string& path, QSize box);

// The movie's own preview picture (an attached cover) where it has one, else
// its first decoded key frame, to fit `box`; null when it cannot be read.
QImage MovieFrame(const std::string& path, QSize box);

}  // namespace ravlen::ui
