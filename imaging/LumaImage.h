#pragma once
// 8-bit luminance pictures for code detection. JPEG files are decoded by
// libjpeg-turbo straight to grey and reduced while decoding (the entropy
// decoding dominates, so a reduced decode costs little more than the
// smallest); other image types go through Qt's readers. Plain values; safe
// from any thread.

#include <QByteArray>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QString>

#include <cstdint>
#include <vector>

namespace sorrelby {

struct LumaImage {
    int width = 0;
    int height = 0;
    // Source pixels per pixel along each axis (1 = full size).
    int scale = 1;
    // Where this picture lies in the full-size picture (the whole picture
    // unless it was decoded as a region).
    QRect sourceRect;
    std::vector<std::uint8_t> pixels; // rows packed, width bytes each

    bool isNull() const { return width <= 0 || height <= 0; }
    // A position in this picture in full-size pixels, and back.
    QPointF toFullSize(const QPointF &p) const { return QPointF(sourceRect.x() + p.x() * scale, sourceRect.y() + p.y() * scale); }
    QPointF inPicture(const QPointF &full) const
    {
        return QPointF((full.x() - sourceRect.x()) / scale, (full.y() - sourceRect.y()) / scale);
    }
    // The pixels of this picture that cover `full` (full-size pixels).
    QRect inPicture(const QRectF &full) const { return QRectF(inPicture(full.topLeft()), inPicture(full.bottomRight())).toAlignedRect(); }
    const std::uint8_t *row(int y) const { return pixels.data() + std::size_t(y) * std::size_t(width); }
    std::uint8_t *row(int y) { return pixels.data() + std::size_t(y) * std::size_t(width); }
};

// True when the bytes start like a JPEG file.
bool looksLikeJpeg(const QByteArray &bytes);

// Full pixel size of the encoded picture (header only); invalid when unreadable.
QSize encodedImageSize(const QByteArray &bytes);

// Decodes encoded image bytes to luminance, reduced by `scale` (1, 2, 4 or 8).
// When `region` is valid, only that part of the full-size picture is kept
// (in full-size coordinates; clipped). A null result means failure, with the
// reason in *error.
LumaImage decodeLuma(const QByteArray &bytes, int scale, QString *error, const QRect &region = {});

// Decodes only `region` (full-size pixels) of the picture, reduced by
// `scale`. For a JPEG the rows above the region are skipped, the rows below it
// never read and the columns beside it not transformed, so a small region
// costs a fraction of a whole decode; the result may reach a little beyond
// the region (to the decoder's block columns). Other types are decoded whole
// and cut.
LumaImage decodeLumaRegion(const QByteArray &bytes, int scale, const QRect &region, QString *error);

// The part of a picture that lies in `fullRegion` (full-size pixels), as a
// picture of its own; null when they do not meet.
LumaImage cropLuma(const LumaImage &image, const QRect &fullRegion);

// Averages factor x factor blocks (factor >= 1).
LumaImage shrinkLuma(const LumaImage &image, int factor);

// Averages to `ratio` times fewer pixels along each axis (ratio >= 1, not
// necessarily whole): the small pictures of another scale made from a
// decoded one.
LumaImage reduceLuma(const LumaImage &image, double ratio);

// Pictures larger than this many pixels are refused (a hostile or broken
// header must not make us allocate gigabytes).
inline constexpr qint64 cMaxDecodedPixels = 400LL * 1000 * 1000;

} // namespace sorrelby
