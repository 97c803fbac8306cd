#pragma once
// 8-bit luminance pictures for code detection. JPEG files are decoded by
// libjpeg-turbo straight to grey and reduced while decoding (the entropy
// decoding dominates, so a reduced decode costs little more than the
// smallest); other image types go through Qt's readers. Plain values; safe
// from any thread.

#include <QByteArray>
#include <QRect>
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

// Averages factor x factor blocks (factor >= 1).
LumaImage shrinkLuma(const LumaImage &image, int factor);

// Pictures larger than this many pixels are refused (a hostile or broken
// header must not make us allocate gigabytes).
inline constexpr qint64 cMaxDecodedPixels = 400LL * 1000 * 1000;

} // namespace sorrelby
