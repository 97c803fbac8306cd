#include "tests/testkit/photos/PhotoGenerator.h"

#include "imaging/Exiv2Compat.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>

#include <turbojpeg.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

namespace sorrelby::testkit {

namespace {

// Cheap deterministic randomness: splitmix64 for seeds and shapes, a
// xorshift per row for the grain.
struct Random {
    quint64 state;
    explicit Random(quint64 seed)
        : state(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull)
    { }
    quint64 next()
    {
        quint64 z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }
    double range(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    int below(int n) { return int(next() % quint64(std::max(1, n))); }
};

inline quint32 latticeHash(qint32 x, qint32 y, quint32 salt)
{
    quint32 h = quint32(x) * 0x8DA6B343u ^ quint32(y) * 0xD8163841u ^ salt * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    h ^= h >> 15;
    return h;
}

inline float smooth(float t)
{
    return t * t * (3.0f - 2.0f * t);
}

// Value noise in [0, 1) with the lattice spacing `cell` pixels.
float valueNoise(float x, float y, float cell, quint32 salt)
{
    const float fx = x / cell, fy = y / cell;
    const auto ix = qint32(std::floor(fx)), iy = qint32(std::floor(fy));
    const float tx = smooth(fx - float(ix)), ty = smooth(fy - float(iy));
    auto v = [&](qint32 a, qint32 b) { return float(latticeHash(a, b, salt) >> 8) * (1.0f / 16777216.0f); };
    const float top = v(ix, iy) + (v(ix + 1, iy) - v(ix, iy)) * tx;
    const float bottom = v(ix, iy + 1) + (v(ix + 1, iy + 1) - v(ix, iy + 1)) * tx;
    return top + (bottom - top) * ty;
}

QColor randomColour(Random &rnd, int alpha)
{
    return QColor::fromHsvF(float(rnd.uniform()), float(rnd.range(0.15, 0.8)), float(rnd.range(0.2, 0.95)), alpha / 255.0f);
}

constexpr int cScale = 8; // full-size pixels per low-resolution pixel (a power of two)

// The soft part of the picture at 1/8 size: a gradient, out-of-focus blobs
// and several octaves of value noise (light, shadow and colour drift).
QImage makeLowResolution(int w, int h, Random &rnd, quint32 seed)
{
    QImage low(w, h, QImage::Format_RGB32);
    {
        QPainter p(&low);
        QLinearGradient g(QPointF(rnd.range(0, w), 0), QPointF(rnd.range(0, w), h));
        g.setColorAt(0, randomColour(rnd, 255));
        g.setColorAt(rnd.range(0.3, 0.7), randomColour(rnd, 255));
        g.setColorAt(1, randomColour(rnd, 255));
        p.fillRect(low.rect(), g);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        const int blobs = 18 + rnd.below(12);
        for (int i = 0; i < blobs; ++i) {
            p.setBrush(randomColour(rnd, 60 + rnd.below(150)));
            const double rx = rnd.range(0.02, 0.25) * w, ry = rnd.range(0.02, 0.25) * h;
            p.drawEllipse(QPointF(rnd.range(0, w), rnd.range(0, h)), rx, ry);
        }
    }
    const float big = float(std::max(w, h));
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(low.scanLine(y));
        for (int x = 0; x < w; ++x) {
            float n = 0, amp = 0.5f, cell = big / 3.0f;
            for (int o = 0; o < 5 && cell >= 1.5f; ++o) {
                n += amp * (valueNoise(float(x), float(y), cell, seed + quint32(o)) - 0.5f);
                amp *= 0.55f;
                cell *= 0.45f;
            }
            const float light = 1.0f + 1.1f * n;
            const float tint = 40.0f * (valueNoise(float(x), float(y), big / 5.0f, seed ^ 0xA5A5u) - 0.5f);
            const QRgb c = line[x];
            auto clamp = [](float v) { return int(std::clamp(v, 0.0f, 255.0f)); };
            line[x] = qRgb(clamp(float(qRed(c)) * light + tint), clamp(float(qGreen(c)) * light), clamp(float(qBlue(c)) * light - tint));
        }
    }
    return low;
}

// Upscales the low-resolution picture by cScale with bilinear steps and adds
// per-pixel grain (mostly luminance, a little colour), the fine detail that
// gives camera-like file sizes.
void upscaleWithGrain(const QImage &low, QImage &out, quint32 seed, int grain)
{
    const int w = out.width(), h = out.height();
    const int lw = low.width();
    std::vector<int> mixed(size_t(lw) * 3);
    for (int y = 0; y < h; ++y) {
        const int y0 = y / cScale, ty = y % cScale;
        const auto *a = reinterpret_cast<const QRgb *>(low.constScanLine(y0));
        const auto *b = reinterpret_cast<const QRgb *>(low.constScanLine(std::min(y0 + 1, low.height() - 1)));
        for (int i = 0; i < lw; ++i) {
            mixed[size_t(i) * 3 + 0] = qRed(a[i]) * (cScale - ty) + qRed(b[i]) * ty;
            mixed[size_t(i) * 3 + 1] = qGreen(a[i]) * (cScale - ty) + qGreen(b[i]) * ty;
            mixed[size_t(i) * 3 + 2] = qBlue(a[i]) * (cScale - ty) + qBlue(b[i]) * ty;
        }
        quint32 r = latticeHash(y, 7, seed) | 1u;
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        // One low-resolution pixel at a time: start values and steps of its
        // cScale output pixels, in 1/(cScale*cScale) units.
        for (int i = 0, x = 0; x < w; ++i) {
            const int j = std::min(i + 1, lw - 1);
            const int *m0 = &mixed[size_t(i) * 3], *m1 = &mixed[size_t(j) * 3];
            int red = m0[0] * cScale, green = m0[1] * cScale, blue = m0[2] * cScale;
            const int dRed = m1[0] - m0[0], dGreen = m1[1] - m0[1], dBlue = m1[2] - m0[2];
            for (const int stop = std::min(x + cScale, w); x < stop; ++x) {
                r ^= r << 13;
                r ^= r >> 17;
                r ^= r << 5;
                const int luma = (int(r & 0xFF) - 128) * grain >> 7;
                const int chroma = int((r >> 8) & 0x7) - 4;
                constexpr int shift = 6; // log2(cScale * cScale)
                const int cr = std::clamp((red >> shift) + luma + chroma, 0, 255);
                const int cg = std::clamp((green >> shift) + luma, 0, 255);
                const int cb = std::clamp((blue >> shift) + luma - chroma, 0, 255);
                line[x] = 0xFF000000u | quint32(cr) << 16 | quint32(cg) << 8 | quint32(cb);
                red += dRed;
                green += dGreen;
                blue += dBlue;
            }
        }
    }
}

// A few sharp, high-contrast things a real scene has: a dark and a bright
// shape, some stripes (fabric, blinds) and thin lines.
void drawSharpDetail(QImage &image, Random &rnd)
{
    const double w = image.width(), h = image.height();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 3; ++i) {
        QPolygonF poly;
        const QPointF c(rnd.range(0, w), rnd.range(0, h));
        const double r = rnd.range(0.05, 0.16) * std::min(w, h);
        const int corners = 3 + rnd.below(3);
        for (int k = 0; k < corners; ++k) {
            const double angle = (k + rnd.range(-0.3, 0.3)) * 2 * M_PI / corners;
            poly << c + QPointF(std::cos(angle), std::sin(angle)) * r * rnd.range(0.6, 1.3);
        }
        const int v = (i % 2) ? 235 : 20;
        p.setBrush(QColor(v, v, v, 150 + rnd.below(60)));
        p.drawPolygon(poly);
    }
    // Stripes inside one rotated rectangle.
    p.save();
    p.translate(rnd.range(0.2, 0.8) * w, rnd.range(0.2, 0.8) * h);
    p.rotate(rnd.range(-60, 60));
    const double sw = rnd.range(0.1, 0.2) * w, sh = rnd.range(0.1, 0.2) * h;
    const double pitch = std::max(2.0, rnd.range(0.004, 0.012) * w);
    p.setBrush(QColor(15, 15, 30, 170));
    for (double x = -sw / 2; x < sw / 2; x += 2 * pitch)
        p.drawRect(QRectF(x, -sh / 2, pitch, sh));
    p.restore();
    for (int i = 0; i < 4; ++i) {
        const QColor colour = rnd.below(2) ? QColor(250, 250, 240, 200) : QColor(10, 10, 10, 200);
        p.setPen(QPen(colour, std::max(1.0, rnd.range(0.0005, 0.003) * w)));
        p.drawLine(QPointF(rnd.range(0, w), rnd.range(0, h)), QPointF(rnd.range(0, w), rnd.range(0, h)));
    }
}

void warn(const QString &text)
{
    qWarning("testkit: %s", qUtf8Printable(text));
}

QImage thumbnailOf(const QImage &image)
{
    const QSize target = image.size().scaled(160, 160, Qt::KeepAspectRatio);
    if (image.width() > 4 * target.width())
        return image.scaled(target * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation)
            .scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void writeMakerNoteSerial(Exiv2::ExifData &exif, const CameraSpec &camera)
{
    const std::string serial = camera.makerNoteSerial.toStdString();
    if (camera.make.startsWith(QLatin1String("NIKON"), Qt::CaseInsensitive)) {
        exif["Exif.Nikon3.SerialNumber"] = serial;
        return;
    }
    // Canon keeps a numeric serial; a serial with letters goes to the
    // internal serial number instead.
    bool numeric = false;
    const qulonglong value = camera.makerNoteSerial.toULongLong(&numeric);
    if (numeric && value <= 0xFFFFFFFFull)
        exif["Exif.Canon.SerialNumber"] = uint32_t(value);
    else
        exif["Exif.Canon.InternalSerialNumber"] = serial;
}

} // namespace

void initializePhotoKit()
{
    static std::once_flag once;
    std::call_once(once, [] { Exiv2::XmpParser::initialize(); });
}

QString exifDateText(const QDateTime &time)
{
    return time.toLocalTime().toString(QStringLiteral("yyyy:MM:dd HH:mm:ss"));
}

QImage makeBackground(const QSize &size, quint32 seed)
{
    QImage out(size, QImage::Format_RGB32);
    if (out.isNull())
        return out;
    Random rnd(seed);
    const int lw = size.width() / cScale + 2, lh = size.height() / cScale + 2;
    const QImage low = makeLowResolution(lw, lh, rnd, seed);
    upscaleWithGrain(low, out, seed, 14);
    drawSharpDetail(out, rnd);
    return out;
}

QByteArray encodeJpeg(const QImage &source, int quality)
{
    const QImage image = source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
        ? source
        : source.convertToFormat(QImage::Format_RGB32);
    tjhandle handle = tjInitCompress();
    if (!handle)
        return {};
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    const int rc = tjCompress2(handle, image.constBits(), image.width(), int(image.bytesPerLine()), image.height(),
                               Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TJPF_BGRX : TJPF_XRGB, &buffer, &size, TJSAMP_420, quality, 0);
    QByteArray bytes;
    if (rc == 0)
        bytes = QByteArray(reinterpret_cast<const char *>(buffer), qsizetype(size));
    else
        warn(QStringLiteral("JPEG encoding failed: ") + QString::fromUtf8(tjGetErrorStr2(handle)));
    tjFree(buffer);
    tjDestroy(handle);
    return bytes;
}

namespace {

// The Exif a camera writes for a picture (the thumbnail made from it).
Exiv2::ExifData cameraExif(const QImage &image, const ExifSpec &spec)
{
    Exiv2::ExifData exif;
    if (spec.camera) {
        const CameraSpec &camera = *spec.camera;
        if (!camera.make.isEmpty())
            exif["Exif.Image.Make"] = camera.make.toStdString();
        if (!camera.model.isEmpty())
            exif["Exif.Image.Model"] = camera.model.toStdString();
        if (!camera.bodySerial.isEmpty())
            exif["Exif.Photo.BodySerialNumber"] = camera.bodySerial.toStdString();
        if (camera.writesMakerNote())
            writeMakerNoteSerial(exif, camera);
    }
    if (spec.orientation > 0)
        exif["Exif.Image.Orientation"] = uint16_t(spec.orientation);
    if (spec.captureTime.isValid()) {
        const std::string date = exifDateText(spec.captureTime).toStdString();
        exif["Exif.Image.DateTime"] = date;
        exif["Exif.Photo.DateTimeOriginal"] = date;
        exif["Exif.Photo.DateTimeDigitized"] = date;
        if (spec.subSecondDigits > 0) {
            const int digits = std::min(spec.subSecondDigits, 3);
            const QString fraction = QStringLiteral("%1").arg(spec.captureTime.time().msec(), 3, 10, QLatin1Char('0')).left(digits);
            exif["Exif.Photo.SubSecTimeOriginal"] = fraction.toStdString();
        }
    }
    exif["Exif.Photo.PixelXDimension"] = uint32_t(image.width());
    exif["Exif.Photo.PixelYDimension"] = uint32_t(image.height());
    if (spec.thumbnail) {
        const QByteArray thumb = encodeJpeg(thumbnailOf(image), 85);
        Exiv2::ExifThumb(exif).setJpegThumbnail(reinterpret_cast<const Exiv2::byte *>(thumb.constData()), long(thumb.size()));
    }
    return exif;
}

} // namespace

QByteArray addExif(const QByteArray &jpeg, const QImage &image, const ExifSpec &spec)
{
    initializePhotoKit();
    try {
        const auto file = exiv2compat::openImage(jpeg);
        file->readMetadata();
        file->setExifData(cameraExif(image, spec));
        file->writeMetadata();
        return exiv2compat::contentOf(*file);
    } catch (const std::exception &e) {
        warn(QStringLiteral("writing Exif failed: ") + QString::fromStdString(e.what()));
        return {};
    }
}

QByteArray makeRawPreview(const QImage &image, int longSide, int quality)
{
    if (longSide <= 0 || std::max(image.width(), image.height()) <= longSide)
        return encodeJpeg(image, quality);
    return encodeJpeg(image.scaled(longSide, longSide, Qt::KeepAspectRatio, Qt::SmoothTransformation), quality);
}

QByteArray makeRawLike(const QByteArray &previewJpeg, const QImage &image, const ExifSpec &spec)
{
    initializePhotoKit();
    if (previewJpeg.isEmpty())
        return {};
    // The smallest TIFF Exiv2 opens: one IFD holding NewSubfileType = 1 (a
    // reduced picture, as a NEF's first IFD is).
    static const unsigned char blank[] = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0xFE, 0, 4, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    // Exiv2 writes into the buffer it was opened on: give it a copy.
    QByteArray start(reinterpret_cast<const char *>(blank), qsizetype(sizeof blank));
    try {
        const auto file = exiv2compat::openImage(start);
        file->readMetadata();
        Exiv2::ExifData exif = cameraExif(image, spec);
        exif["Exif.Image.NewSubfileType"] = uint32_t(1);
        QSize stored = image.size();
        QBuffer buffer;
        buffer.setData(previewJpeg);
        if (const QSize read = QImageReader(&buffer).size(); read.isValid())
            stored = read;
        exif["Exif.SubImage1.NewSubfileType"] = uint32_t(1);
        exif["Exif.SubImage1.Compression"] = uint16_t(6);
        exif["Exif.SubImage1.ImageWidth"] = uint32_t(stored.width());
        exif["Exif.SubImage1.ImageLength"] = uint32_t(stored.height());
        exif["Exif.SubImage1.JPEGInterchangeFormat"] = uint32_t(0);
        exif["Exif.SubImage1.JPEGInterchangeFormatLength"] = uint32_t(previewJpeg.size());
        exif["Exif.SubImage1.JPEGInterchangeFormat"].setDataArea(reinterpret_cast<const Exiv2::byte *>(previewJpeg.constData()),
                                                                 long(previewJpeg.size()));
        file->setExifData(exif);
        file->writeMetadata();
        return exiv2compat::contentOf(*file);
    } catch (const std::exception &e) {
        warn(QStringLiteral("writing a RAW-like file failed: ") + QString::fromStdString(e.what()));
        return {};
    }
}

bool isRawFileName(const QString &path)
{
    static const QStringList raw{QStringLiteral("nef"), QStringLiteral("cr2"), QStringLiteral("arw"), QStringLiteral("dng")};
    return raw.contains(QFileInfo(path).suffix().toLower());
}

bool writeRawLike(const QString &path, const QImage &image, const ExifSpec &exif, int previewLongSide, int quality)
{
    return writeFileBytes(path, makeRawLike(makeRawPreview(image, previewLongSide, quality), image, exif), exif.captureTime);
}

bool writeImageFile(const QString &path, const QImage &image, const ExifSpec &exif, int quality)
{
    return isRawFileName(path) ? writeRawLike(path, image, exif, 0, quality) : writeJpeg(path, image, exif, quality);
}

bool setModificationTime(const QString &path, const QDateTime &time)
{
    const qint64 ms = time.toMSecsSinceEpoch();
    struct timespec times[2];
    times[0].tv_sec = time_t(ms / 1000);
    times[0].tv_nsec = long(ms % 1000) * 1000000L;
    times[1] = times[0];
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

QByteArray makeJpeg(const QImage &image, const ExifSpec &exif, int quality)
{
    const QByteArray jpeg = encodeJpeg(image, quality);
    return jpeg.isEmpty() ? jpeg : addExif(jpeg, image, exif);
}

bool writeFileBytes(const QString &path, const QByteArray &bytes, const QDateTime &modified)
{
    if (bytes.isEmpty())
        return false;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        warn(QStringLiteral("cannot write ") + path + QStringLiteral(": ") + file.errorString());
        return false;
    }
    if (modified.isValid() && !setModificationTime(path, modified)) {
        warn(QStringLiteral("cannot set the time of ") + path);
        return false;
    }
    return true;
}

bool writeJpeg(const QString &path, const QImage &image, const ExifSpec &exif, int quality)
{
    return writeFileBytes(path, makeJpeg(image, exif, quality), exif.captureTime);
}

bool writePhoto(const QString &path, const PhotoSpec &spec)
{
    return writeImageFile(path, makeBackground(spec.size, spec.seed), spec.exif, spec.quality);
}

const QByteArray &smallJpeg()
{
    static const QByteArray bytes = encodeJpeg(makeBackground(QSize(32, 24), 3));
    return bytes;
}

} // namespace sorrelby::testkit
