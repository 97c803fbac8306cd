#include "imaging/LumaImage.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

// jpeglib.h wants size_t and FILE declared first.
#include <jpeglib.h>

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

// libjpeg reports fatal errors by a call that must not return: it jumps back
// to the decoding function, which then gives up.
struct JpegErrors {
    jpeg_error_mgr manager{};
    std::jmp_buf jump{};
    char message[JMSG_LENGTH_MAX] = {};
};

[[noreturn]] void jpegFatal(j_common_ptr info)
{
    auto *errors = reinterpret_cast<JpegErrors *>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// Warnings (a damaged tail, mostly) leave what was decoded usable.
void jpegQuiet(j_common_ptr) { }

struct StripJob {
    const unsigned char *data = nullptr;
    unsigned long size = 0;
    int scale = 1;
    QRect region; // full-size pixels
    LumaImage *out = nullptr;
};

// No object with a destructor lives in this frame: a fatal error jumps
// straight back into it. The pixels are allocated by the caller's image.
bool decodeJpegStrip(const StripJob &job, JpegErrors &errors, jpeg_decompress_struct &info)
{
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jpegFatal;
    errors.manager.output_message = jpegQuiet;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, job.data, job.size);
    jpeg_read_header(&info, TRUE);
    const qint64 pixels = qint64(info.image_width) * qint64(info.image_height);
    if (pixels <= 0 || pixels > cMaxDecodedPixels) {
        std::snprintf(errors.message, sizeof errors.message, "unsupported picture size %u x %u", info.image_width, info.image_height);
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.scale_num = 1;
    info.scale_denom = unsigned(job.scale);
    info.out_color_space = JCS_GRAYSCALE;
    info.dct_method = JDCT_IFAST; // as the whole decode: accurate enough for codes
    jpeg_start_decompress(&info);
    const int fullWidth = int(info.image_width), fullHeight = int(info.image_height);
    const QRect wanted = reducedRect(job.region.intersected(QRect(0, 0, fullWidth, fullHeight)), job.scale,
                                     QSize(int(info.output_width), int(info.output_height)));
    if (wanted.isEmpty()) {
        std::snprintf(errors.message, sizeof errors.message, "the region lies outside the picture");
        jpeg_destroy_decompress(&info);
        return false;
    }
    JDIMENSION left = JDIMENSION(wanted.left());
    JDIMENSION width = JDIMENSION(wanted.width());
    if (width < info.output_width)
        jpeg_crop_scanline(&info, &left, &width);
    if (wanted.top() > 0)
        jpeg_skip_scanlines(&info, JDIMENSION(wanted.top()));
    LumaImage &out = *job.out;
    out.width = int(info.output_width);
    out.height = wanted.height();
    out.scale = job.scale;
    out.sourceRect = QRect(int(left) * job.scale, wanted.top() * job.scale, out.width * job.scale, out.height * job.scale)
                         .intersected(QRect(0, 0, fullWidth, fullHeight));
    out.pixels.resize(std::size_t(out.width) * std::size_t(out.height));
    for (int y = 0; y < out.height;) {
        JSAMPROW row = out.row(y);
        const JDIMENSION read = jpeg_read_scanlines(&info, &row, 1);
        if (read == 0)
            break;
        y += int(read);
    }
    // The rows below the region are never decoded.
    jpeg_abort_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
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

LumaImage decodeLumaRegion(const QByteArray &bytes, int scale, const QRect &region, QString *error)
{
    QString ignored;
    if (!error)
        error = &ignored;
    if (!looksLikeJpeg(bytes) || !validScale(scale) || !region.isValid())
        return decodeLuma(bytes, scale, error, region);
    LumaImage out;
    StripJob job{reinterpret_cast<const unsigned char *>(bytes.constData()), static_cast<unsigned long>(bytes.size()), scale, region, &out};
    JpegErrors errors;
    jpeg_decompress_struct info{};
    if (decodeJpegStrip(job, errors, info) && !out.isNull())
        return out;
    // What the strip decoder refuses (CMYK, for one) the whole decode may read.
    return decodeLuma(bytes, scale, error, region);
}

LumaImage cropLuma(const LumaImage &image, const QRect &fullRegion)
{
    if (image.isNull())
        return {};
    const QRect local = fullRegion.intersected(image.sourceRect).translated(-image.sourceRect.topLeft());
    const QRect rect = reducedRect(local, image.scale, QSize(image.width, image.height));
    if (rect.isEmpty())
        return {};
    return copyRegion(image, rect);
}

LumaImage reduceLuma(const LumaImage &image, double ratio)
{
    if (image.isNull() || ratio < 1.0)
        return {};
    const double whole = std::round(ratio);
    if (std::abs(ratio - whole) < 1e-9)
        return shrinkLuma(image, int(whole));
    LumaImage out;
    out.width = int(image.width / ratio);
    out.height = int(image.height / ratio);
    out.scale = int(std::lround(image.scale * ratio));
    out.sourceRect = image.sourceRect;
    if (out.width <= 0 || out.height <= 0)
        return {};
    out.pixels.resize(std::size_t(out.width) * std::size_t(out.height));
    // Each output pixel averages the source pixels whose centres fall in its
    // footprint; a column or row of the source belongs to exactly one.
    std::vector<int> firstColumn(std::size_t(out.width) + 1);
    for (int x = 0; x <= out.width; ++x)
        firstColumn[std::size_t(x)] = std::min(image.width, int(std::ceil(x * ratio - 0.5)));
    // The rows of a footprint summed first, in a loop the compiler
    // vectorises; then each footprint's columns of those sums.
    const int used = firstColumn[std::size_t(out.width)];
    std::vector<std::uint32_t> columns(static_cast<std::size_t>(used));
    for (int y = 0; y < out.height; ++y) {
        const int top = std::min(image.height, int(std::ceil(y * ratio - 0.5)));
        const int bottom = std::min(image.height, int(std::ceil((y + 1) * ratio - 0.5)));
        std::fill(columns.begin(), columns.end(), 0u);
        for (int sy = top; sy < bottom; ++sy) {
            const std::uint8_t *src = image.row(sy);
            for (int sx = 0; sx < used; ++sx)
                columns[std::size_t(sx)] += src[sx];
        }
        std::uint8_t *dst = out.row(y);
        for (int x = 0; x < out.width; ++x) {
            std::uint32_t sum = 0;
            for (int sx = firstColumn[std::size_t(x)]; sx < firstColumn[std::size_t(x) + 1]; ++sx)
                sum += columns[std::size_t(sx)];
            const int count = (bottom - top) * (firstColumn[std::size_t(x) + 1] - firstColumn[std::size_t(x)]);
            dst[x] = count > 0 ? std::uint8_t((sum + std::uint32_t(count / 2)) / std::uint32_t(count)) : 0;
        }
    }
    return out;
}

namespace {

// Each output pixel the rounded mean of a block of `factor` by `factor`:
// rows summed first, then columns, each a loop the compiler vectorises.
// `Fixed`, when not 0, is the factor.
template<int Fixed> void averageBlocks(const LumaImage &image, LumaImage &out, int factor)
{
    const int f = Fixed > 0 ? Fixed : factor;
    const int used = out.width * f;
    const std::uint32_t area = std::uint32_t(f * f);
    // A column of a block sums to at most 255 times the factor.
    std::vector<std::uint16_t> sums(static_cast<std::size_t>(used));
    for (int y = 0; y < out.height; ++y) {
        const std::uint8_t *first = image.row(y * f);
        for (int x = 0; x < used; ++x)
            sums[std::size_t(x)] = first[x];
        for (int k = 1; k < f; ++k) {
            const std::uint8_t *src = image.row(y * f + k);
            for (int x = 0; x < used; ++x)
                sums[std::size_t(x)] = std::uint16_t(sums[std::size_t(x)] + src[x]);
        }
        std::uint8_t *dst = out.row(y);
        for (int x = 0; x < out.width; ++x) {
            std::uint32_t sum = 0;
            for (int i = 0; i < f; ++i)
                sum += sums[std::size_t(x * f + i)];
            dst[x] = std::uint8_t((sum + area / 2) / area);
        }
    }
}

} // namespace

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
    // Every large photo's screen is reduced by 4: known when compiling, the
    // factor unrolls the column sums and makes the division a shift.
    if (factor == 4)
        averageBlocks<4>(image, out, factor);
    else
        averageBlocks<0>(image, out, factor);
    return out;
}

} // namespace sorrelby
