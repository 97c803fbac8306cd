#pragma once
// Thumbnails of photos: the embedded Exif preview when the photo has one
// large enough, else a decode reduced while reading; turned upright by the
// photo's orientation; largest side at most 160 pixels. Pure functions;
// safe from any thread (QImage only, never QPixmap).

#include <QImage>
#include <QString>

namespace sorrelby {

inline constexpr int cThumbnailMaxSide = 160;

// The thumbnail of the photo at path; a null image when the file cannot be
// read as a picture (logged).
QImage makeThumbnail(const QString &path, int maxSide = cThumbnailMaxSide);

// The picture turned and mirrored as an Exif orientation (1 to 8) asks;
// other values leave it as it is.
QImage applyOrientation(const QImage &image, int orientation);

} // namespace sorrelby
