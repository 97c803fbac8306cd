#include "imaging/LumaImage.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <turbojpeg.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace sorrelby {

namespace {

struct TjHandleDeleter {
    void operator()(void *handle) const { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, TjHandleDeleter>;

bool validScale(int scale)
{
    return scale == 1 || scale == 2 || scale == 4 || scale == 8;
}

// The part of a full-size region that a picture reduced by `scale` covers,
// in reduced pixels (edges rounded outwards).
QRect reducedRect(const QRect &fullRegion, int scale, const QSize &reducedSize)
{
    const int left = fullRegion.left() / scale;
    const int top = fullRegion.top() / scale;
    const int right = (fullRegion.left() + fullRegion.width() + scale - 1) / scale;
    const int bottom = (fullRegion.top() + fullRegion.height() + scale - 1) / scale;
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)).intersected(QRect(QPoint(0, 0), reducedSize));
}

LumaImage copyRegion(const LumaImage &whole, const QRect &rect)
{
    LumaImage out;
    out.width = rect.width();
    out.height = rect.height();
    out.scale = whole.scale;
    out.sourceRect = QRect(whole.sourceRect.left() + rect.left() * whole.scale, whole.sourceRect.top() + rect.top() * whole.scale,
                           rect.width() * whole.scale, rect.height() * whole.scale)
                         .intersected(whole.sourceRect);
    out.pixels.resize(std::size_t(out.width) * std::size_t(out.height));
    for (int y = 0; y < out.height; ++y)
        std::memcpy(out.row(y), whole.row(rect.top() + y) + rect.left(), std::size_t(out.width));
    return out;
}

LumaImage decodeJpeg(const QByteArray &bytes, int scale, QString *error)
{
    TjHandle handle(tjInitDecompress());
    if (!handle) {
        *error = QStringLiteral("the JPEG decoder could not be created");
        return {};
    }
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    const auto size = static_cast<unsigned long>(bytes.size());
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(handle.get(), data, size, &width, &height, &subsampling, &colorspace) != 0) {
        *error = QString::fromUtf8(tjGetErrorStr2(handle.get()));
        return {};
    }
    if (width <= 0 || height <= 0 || qint64(width) * height > cMaxDecodedPixels) {
        *error = QStringLiteral("unsupported picture size %1 x %2").arg(width).arg(height);
        return {};
    }
    const tjscalingfactor factor{1, scale};
    LumaImage out;
    out.width = TJSCALED(width, factor);
    out.height = TJSCALED(height, factor);
    out.scale = scale;
    out.sourceRect = QRect(0, 0, width, height);
    out.pixels.resize(std::size_t(out.width) * std::size_t(out.height));
    // The fast integer IDCT is accurate enough for finding codes.
    if (tjDecompress2(handle.get(), data, size, out.pixels.data(), out.width, out.width, out.height, TJPF_GRAY, TJFLAG_FASTDCT) != 0) {
        // A damaged tail still gives most of the picture; only a hard error
        // (nothing decoded) counts as failure.
        if (tjGetErrorCode(handle.get()) == TJERR_FATAL) {
            *error = QString::fromUtf8(tjGetErrorStr2(handle.get()));
            return {};
        }
    }
    return out;
}

LumaImage decodeWithQt(const QByteArray &bytes, int scale, QString *error)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > cMaxDecodedPixels) {
        *error = QStringLiteral("unsupported picture size %1 x %2").arg(size.width()).arg(size.height());
        return {};
    }
    if (scale > 1 && size.isValid())
        reader.setScaledSize(QSize(std::max(1, size.width() / scale), std::max(1, size.height() / scale)));
    QImage image;
    if (!reader.read(&image)) {
        *error = reader.errorString();
        return {};
    }
    image = image.convertToFormat(QImage::Format_Grayscale8);
    LumaImage out;
    out.width = image.width();
    out.height = image.height();
    out.scale = scale;
    out.sourceRect = QRect(QPoint(0, 0), size.isValid() ? size : image.size() * scale);
    out.pixels.resize(std::size_t(out.width) * std::size_t(out.height));
    for (int y = 0; y < out.height; ++y)
        std::memcpy(out.row(y), image.constScanLine(y), std::size_t(out.width));
    return out;
}

} // namespace

bool looksLikeJpeg(const QByteArray &bytes)
{
    return bytes.size() > 3 && uchar(bytes[0]) == 0xFF && uchar(bytes[1]) == 0xD8 && uchar(bytes[2]) == 0xFF;
}

QSize encodedImageSize(const QByteArray &bytes)
{
    if (looksLikeJpeg(bytes)) {
        TjHandle handle(tjInitDecompress());
        int width = 0, height = 0, subsampling = 0, colorspace = 0;
        if (handle
            && tjDecompressHeader3(handle.get(), reinterpret_cast<const unsigned char *>(bytes.constData()),
                                   static_cast<unsigned long>(bytes.size()), &width, &height, &subsampling, &colorspace)
                == 0)
            return QSize(width, height);
    }
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader(&buffer).size();
}

LumaImage decodeLuma(const QByteArray &bytes, int scale, QString *error, const QRect &region)
{
    QString ignored;
    if (!error)
        error = &ignored;
    if (!validScale(scale)) {
        *error = QStringLiteral("unsupported scale 1/%1").arg(scale);
        return {};
    }
    if (bytes.isEmpty()) {
        *error = QStringLiteral("no data");
        return {};
    }
    LumaImage whole;
    if (looksLikeJpeg(bytes)) {
        whole = decodeJpeg(bytes, scale, error);
        // libjpeg-turbo refuses a few exotic JPEGs (CMYK to grey, for one)
        // that Qt's reader still understands.
        if (whole.isNull())
            whole = decodeWithQt(bytes, scale, error);
    } else {
        whole = decodeWithQt(bytes, scale, error);
    }
    if (whole.isNull() || !region.isValid())
        return whole;
    const QRect rect = reducedRect(region.intersected(whole.sourceRect), scale, QSize(whole.width, whole.height));
    if (rect.isEmpty()) {
        *error = QStringLiteral("the region lies outside the picture");
        return {};
    }
    return copyRegion(whole, rect);
}

LumaImage shrinkLuma(const LumaImage &image, int factor)
{
    if (factor <= 1 || image.isNull())
        return image;
    LumaImage out;
    out.width = image.width / factor;
    out.height = image.height / factor;
    out.scale = image.scale * factor;
    out.sourceRect = image.sourceRect;
    if (out.width <= 0 || out.height <= 0)
        return {};
    out.pixels.resize(std::size_t(out.width) * std::size_t(out.height));
    if (factor == 2) {
        // The common case, kept simple enough for the compiler to vectorise.
        for (int y = 0; y < out.height; ++y) {
            const std::uint8_t *a = image.row(2 * y);
            const std::uint8_t *b = image.row(2 * y + 1);
            std::uint8_t *dst = out.row(y);
            for (int x = 0; x < out.width; ++x)
                dst[x] = std::uint8_t((unsigned(a[2 * x]) + a[2 * x + 1] + b[2 * x] + b[2 * x + 1] + 2) >> 2);
        }
        return out;
    }
    std::vector<std::uint32_t> sums(std::size_t(out.width) * std::size_t(factor));
    const int used = out.width * factor;
    const std::uint32_t area = std::uint32_t(factor * factor);
    for (int y = 0; y < out.height; ++y) {
        std::fill(sums.begin(), sums.begin() + used, 0u);
        for (int k = 0; k < factor; ++k) {
            const std::uint8_t *src = image.row(y * factor + k);
            for (int x = 0; x < used; ++x)
                sums[std::size_t(x)] += src[x];
        }
        std::uint8_t *dst = out.row(y);
        for (int x = 0; x < out.width; ++x) {
            std::uint32_t s = 0;
            for (int i = 0; i < factor; ++i)
                s += sums[std::size_t(x * factor + i)];
            dst[x] = std::uint8_t((s + area / 2) / area);
        }
    }
    return out;
}

} // namespace sorrelby
