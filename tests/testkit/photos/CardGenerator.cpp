#include "tests/testkit/photos/CardGenerator.h"

#include "imaging/CodeSymbologies.h"
#include "tests/testkit/photos/Camera.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace sorrelby::testkit {

namespace {

bool isLinear(Symbology s)
{
    return s == Symbology::Code128 || s == Symbology::Code39;
}

ZXing::BarcodeFormat formatOf(Symbology s)
{
    switch (s) {
    case Symbology::DataMatrix:
        return ZXing::BarcodeFormat::DataMatrix;
    case Symbology::Code128:
        return ZXing::BarcodeFormat::Code128;
    case Symbology::Code39:
        return ZXing::BarcodeFormat::Code39;
    case Symbology::PDF417:
        return ZXing::BarcodeFormat::PDF417;
    case Symbology::QRCode:
        break;
    }
    return ZXing::BarcodeFormat::QRCode;
}

// The dark modules as one path of horizontal runs (one fill, so no seams
// between neighbouring modules under antialiasing).
QPainterPath modulePath(const QImage &modules, const QRectF &target, bool linear)
{
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    const double mw = target.width() / modules.width();
    const double mh = linear ? target.height() : target.height() / modules.height();
    for (int y = 0; y < modules.height(); ++y) {
        const uchar *row = modules.constScanLine(y);
        for (int x = 0; x < modules.width();) {
            if (row[x] != 0) {
                ++x;
                continue;
            }
            int end = x;
            while (end < modules.width() && row[end] == 0)
                ++end;
            path.addRect(QRectF(target.left() + x * mw, target.top() + y * mh, (end - x) * mw, mh));
            x = end;
        }
    }
    return path;
}

// Where one card lands in the photo: its rectangle around the origin and the
// transform that rotates, tilts and places it.
struct CardGeometry {
    QRectF card;
    QRectF code;
    QTransform transform;
};

CardGeometry layoutCard(const CodeSpec &spec, const QImage &modules, const QSize &photo)
{
    const double shorter = std::min(photo.width(), photo.height());
    double side = spec.side;
    if (side <= 0) {
        // Bars need more room than a square code: 4 pixels a module.
        side = isLinear(spec.symbology) && !modules.isNull() ? std::clamp(modules.width() * 4.0, shorter / 2.5, 0.8 * photo.width())
                                                             : shorter / 4.0;
    }
    CardGeometry g;
    if (modules.isNull()) {
        g.code = QRectF(-side / 2, -side / 2, side, side);
        g.card = g.code.adjusted(-0.1 * side, -0.1 * side, 0.1 * side, 0.4 * side);
    } else if (isLinear(spec.symbology)) {
        const double module = side / modules.width();
        const double height = 0.35 * side;
        g.code = QRectF(-side / 2, -height / 2, side, height);
        g.card = g.code.adjusted(-10 * module, -0.2 * side, 10 * module, 0.35 * side);
    } else {
        const double module = side / modules.width();
        const double height = module * modules.height();
        const double margin = 4 * module + 0.06 * side;
        g.code = QRectF(-side / 2, -height / 2, side, height);
        g.card = g.code.adjusted(-margin, -margin, margin, margin + 0.3 * side);
    }
    QTransform tilt;
    if (spec.perspective > 0) {
        const QRectF c = g.card;
        const double inset = std::clamp(spec.perspective, 0.0, 0.6) * c.width() / 2;
        QPolygonF from({c.topLeft(), c.topRight(), c.bottomRight(), c.bottomLeft()});
        QPolygonF to(
            {c.topLeft() + QPointF(inset, inset * 0.3), c.topRight() + QPointF(-inset, inset * 0.3), c.bottomRight(), c.bottomLeft()});
        QTransform::quadToQuad(from, to, tilt);
    }
    g.transform = tilt * QTransform().rotate(spec.rotation)
        * QTransform::fromTranslate(spec.center.x() * photo.width(), spec.center.y() * photo.height());
    return g;
}

void drawCard(QPainter &p, const CardGeometry &g, const QImage &modules, bool linear)
{
    p.setTransform(g.transform);
    p.setPen(Qt::NoPen);
    const double shadow = g.card.width() * 0.025;
    p.setBrush(QColor(0, 0, 0, 90));
    p.drawRect(g.card.translated(shadow, shadow * 1.5));
    QLinearGradient light(g.card.topLeft(), g.card.bottomRight());
    light.setColorAt(0, QColor(250, 250, 248));
    light.setColorAt(1, QColor(222, 222, 218));
    p.setBrush(light);
    p.drawRect(g.card);
    // Printed lines under the code, like a name on the card.
    p.setBrush(QColor(120, 120, 125));
    const double lineHeight = g.code.height() * (linear ? 0.12 : 0.06);
    for (int i = 0; i < 2; ++i)
        p.drawRect(
            QRectF(g.code.left(), g.card.bottom() - (2.5 - i * 1.2) * lineHeight * 1.6, g.code.width() * (0.8 - 0.3 * i), lineHeight));
    if (!modules.isNull()) {
        p.setBrush(QColor(22, 22, 26));
        p.drawPath(modulePath(modules, g.code, linear));
    }
    p.resetTransform();
}

// The card drawn flat into a picture of its own, bowed there and placed as a
// flat card would be: straight lines across the code sag into arcs.
void drawBentCard(QPainter &p, const CardGeometry &g, const QImage &modules, bool linear, double bend)
{
    const QRectF area = g.card.adjusted(0, 0, g.card.width() * 0.05, g.card.width() * 0.05);
    const QSize size = area.size().toSize();
    QImage flat(size, QImage::Format_ARGB32_Premultiplied);
    flat.fill(Qt::transparent);
    {
        QPainter q(&flat);
        q.setRenderHint(QPainter::Antialiasing);
        CardGeometry local = g;
        local.transform = QTransform::fromTranslate(-area.left(), -area.top());
        drawCard(q, local, modules, linear);
    }
    QImage bent(size, QImage::Format_ARGB32_Premultiplied);
    bent.fill(Qt::transparent);
    const double sag = bend * g.code.width();
    constexpr double pi = 3.14159265358979;
    for (int y = 0; y < size.height(); ++y) {
        auto *out = reinterpret_cast<QRgb *>(bent.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int sx = int(std::lround(x - sag * std::sin(pi * y / size.height())));
            const int sy = int(std::lround(y - sag * std::sin(pi * x / size.width())));
            if (sx >= 0 && sy >= 0 && sx < size.width() && sy < size.height())
                out[x] = reinterpret_cast<const QRgb *>(flat.constScanLine(sy))[sx];
        }
    }
    p.setTransform(g.transform);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(area.topLeft(), bent);
    p.resetTransform();
}

// Separable box blur, three passes (close to a Gaussian), inside rect.
void boxBlur(QImage &image, const QRect &rect, int radius)
{
    if (radius < 1 || rect.isEmpty())
        return;
    const int w = rect.width(), h = rect.height();
    std::vector<QRgb> buf(size_t(std::max(w, h)));
    auto pass = [&](QRgb *first, int count, qsizetype stride) {
        for (int i = 0; i < count; ++i)
            buf[size_t(i)] = first[i * stride];
        int sums[3] = {0, 0, 0};
        auto at = [&](int i) { return buf[size_t(std::clamp(i, 0, count - 1))]; };
        for (int i = -radius; i <= radius; ++i) {
            sums[0] += qRed(at(i));
            sums[1] += qGreen(at(i));
            sums[2] += qBlue(at(i));
        }
        const int n = 2 * radius + 1;
        for (int i = 0; i < count; ++i) {
            first[i * stride] = qRgb(sums[0] / n, sums[1] / n, sums[2] / n);
            const QRgb in = at(i + radius + 1), out = at(i - radius);
            sums[0] += qRed(in) - qRed(out);
            sums[1] += qGreen(in) - qGreen(out);
            sums[2] += qBlue(in) - qBlue(out);
        }
    };
    const qsizetype stride = image.bytesPerLine() / 4;
    auto *origin = reinterpret_cast<QRgb *>(image.bits()) + rect.top() * stride + rect.left();
    for (int round = 0; round < 3; ++round) {
        for (int y = 0; y < h; ++y)
            pass(origin + y * stride, w, 1);
        for (int x = 0; x < w; ++x)
            pass(origin + x, h, stride);
    }
}

void addNoise(QImage &image, const QRect &rect, int amplitude, quint32 seed)
{
    if (amplitude <= 0)
        return;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        quint32 r = ((quint32(y) * 0x9E3779B1u) ^ (seed * 0x85EBCA77u)) | 1u;
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = rect.left(); x <= rect.right(); ++x) {
            r ^= r << 13;
            r ^= r >> 17;
            r ^= r << 5;
            const int d = (int(r & 0xFF) - 128) * amplitude >> 7;
            const QRgb c = line[x];
            line[x] = qRgb(std::clamp(qRed(c) + d, 0, 255), std::clamp(qGreen(c) + d, 0, 255), std::clamp(qBlue(c) + d, 0, 255));
        }
    }
}

} // namespace

std::optional<Symbology> symbologyByName(const QString &name)
{
    const QString n = name.trimmed().toLower().remove(QLatin1Char('-')).remove(QLatin1Char(' '));
    if (n == QLatin1String("qr") || n == QLatin1String("qrcode"))
        return Symbology::QRCode;
    if (n == QLatin1String("datamatrix"))
        return Symbology::DataMatrix;
    if (n == QLatin1String("code128"))
        return Symbology::Code128;
    if (n == QLatin1String("code39"))
        return Symbology::Code39;
    if (n == QLatin1String("pdf417"))
        return Symbology::PDF417;
    return std::nullopt;
}

QString symbologyName(Symbology symbology)
{
    switch (symbology) {
    case Symbology::DataMatrix:
        return QStringLiteral("datamatrix");
    case Symbology::Code128:
        return QStringLiteral("code128");
    case Symbology::Code39:
        return QStringLiteral("code39");
    case Symbology::PDF417:
        return QStringLiteral("pdf417");
    case Symbology::QRCode:
        break;
    }
    return QStringLiteral("qr");
}

QImage codeModules(const QString &payload, Symbology symbology)
{
    try {
        const ZXing::BitMatrix matrix = ZXing::MultiFormatWriter(formatOf(symbology)).setMargin(0).encode(payload.toStdWString(), 0, 0);
        QImage modules(matrix.width(), matrix.height(), QImage::Format_Grayscale8);
        for (int y = 0; y < matrix.height(); ++y) {
            uchar *row = modules.scanLine(y);
            for (int x = 0; x < matrix.width(); ++x)
                row[x] = matrix.get(x, y) ? 0 : 255;
        }
        return modules;
    } catch (const std::exception &e) {
        qWarning("testkit: cannot encode \"%s\" as %s: %s", qUtf8Printable(payload), qUtf8Printable(symbologyName(symbology)), e.what());
        return {};
    }
}

QStringList readCodesInJpeg(const QByteArray &jpeg, int scaleDown)
{
    QStringList codes;
    tjhandle handle = tjInitDecompress();
    if (!handle)
        return codes;
    const auto *data = reinterpret_cast<const unsigned char *>(jpeg.constData());
    const auto size = static_cast<unsigned long>(jpeg.size());
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    std::vector<unsigned char> gray;
    if (tjDecompressHeader3(handle, data, size, &width, &height, &subsampling, &colourspace) == 0) {
        if (scaleDown > 1) {
            width = (width + scaleDown - 1) / scaleDown; // as libjpeg scales while decoding
            height = (height + scaleDown - 1) / scaleDown;
        }
        gray.resize(size_t(width) * size_t(height));
        if (tjDecompress2(handle, data, size, gray.data(), width, 0, height, TJPF_GRAY, 0) != 0)
            gray.clear();
    }
    tjDestroy(handle);
    if (gray.empty())
        return codes;
    const ZXing::ImageView view(gray.data(), width, height, ZXing::ImageFormat::Lum);
    auto options = zxingcompat::readerOptions();
    options.setFormats(cMatrixFormats | cStackedFormats | cLinearFormats).setTryHarder(true).setTryDownscale(false);
    for (const auto &result : ZXing::ReadBarcodes(view, options))
        codes << QString::fromStdString(result.text());
    return codes;
}

double moduleSize(const CodeSpec &code, const QSize &photo)
{
    if (code.payload.isEmpty())
        return 0;
    const QImage modules = codeModules(code.payload, code.symbology);
    if (modules.isNull())
        return 0;
    return layoutCard(code, modules, photo).code.width() / modules.width();
}

// zxing's local thresholds are taken over windows of five 8-pixel blocks. A
// module much wider than that leaves windows wholly inside it, where the dark
// turns light, and the code does not read: zxing-cpp 2.3 fails on most QR
// modules from about 45 px, 1.4 on some from about 50 px (the whole-picture
// threshold reads the same pictures). Readers read such a code scaled down,
// Sorrelby's detection at half and at quarter size, and so does the check.
constexpr double cWidestReadModule = 32;

bool readsAsIntended(const QByteArray &jpeg, const QStringList &wanted, double modulePixels)
{
    int first = 1;
    while (first < 4 && modulePixels / first > cWidestReadModule)
        first *= 2;
    for (int scale = 1; scale <= 2 * first; scale *= 2) {
        const QStringList codes = readCodesInJpeg(jpeg, scale);
        const bool asIntended = scale >= first
            ? codes == wanted
            : std::all_of(codes.cbegin(), codes.cend(), [&](const QString &code) { return wanted.contains(code); });
        if (!asIntended)
            return false;
    }
    return true;
}

CardPhotoSpec glanceCardSpec(int i, int count, const QSize &size, QString *payload, int *side)
{
    const int shortSide = std::min(size.width(), size.height());
    const double share = 0.036 + (0.22 - 0.036) * ((i * 7919) % count) / std::max(1, count - 1);
    const int codeSide = int(shortSide * share + 0.5);
    const QString text
        = QStringLiteral("R%1-%2").arg(i, 4, 10, QLatin1Char('0')).arg((qint64(i) * 104729 + 7) % 100000, 5, 10, QLatin1Char('0'));
    if (payload)
        *payload = text;
    if (side)
        *side = codeSide;
    PhotoSpec photo;
    photo.size = size;
    photo.seed = quint32(20000 + i);
    photo.exif.camera = nikonCamera();
    photo.exif.captureTime = QDateTime(QDate(2024, 5, 1), QTime(9, 0)).addSecs(i * 60);
    CardPhotoSpec spec = cardPhotoSpec(text, photo, i % 2 == 0 ? Symbology::QRCode : Symbology::DataMatrix);
    CodeSpec &code = spec.codes.first();
    code.side = codeSide;
    code.rotation = (i * 137) % 360;
    code.perspective = 0.15 * ((i * 11) % 16) / 15.0;
    const double margin = 0.5 * share / (double(size.width()) / shortSide) + 0.12;
    code.center = QPointF(margin + (1 - 2 * margin) * ((i * 31) % 97) / 96.0, 0.5 * share + 0.12 + (0.76 - share) * ((i * 53) % 89) / 88.0);
    spec.blur = (i * 5) % 3 == 0 ? 1 : 0;
    return spec;
}

CardPhotoSpec cardPhotoSpec(const QString &payload, const PhotoSpec &photo, Symbology symbology)
{
    CardPhotoSpec spec;
    spec.photo = photo;
    CodeSpec code;
    code.payload = payload;
    code.symbology = symbology;
    spec.codes.append(code);
    return spec;
}

QImage renderCardPhoto(const CardPhotoSpec &spec)
{
    QImage image = makeBackground(spec.photo.size, spec.photo.seed);
    if (image.isNull())
        return image;
    QRectF touched;
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        for (const CodeSpec &code : spec.codes) {
            QImage modules;
            if (!code.payload.isEmpty()) {
                modules = codeModules(code.payload, code.symbology);
                if (modules.isNull())
                    return {};
            }
            const CardGeometry g = layoutCard(code, modules, image.size());
            if (code.bend > 0)
                drawBentCard(p, g, modules, isLinear(code.symbology), code.bend);
            else
                drawCard(p, g, modules, isLinear(code.symbology));
            touched |= g.transform.mapRect(g.card.adjusted(0, 0, g.card.width() * 0.05, g.card.width() * 0.05));
        }
    }
    const int radius = int(std::lround(spec.blur));
    const QRect region = touched.toAlignedRect().adjusted(-radius * 3, -radius * 3, radius * 3, radius * 3) & image.rect();
    boxBlur(image, region, radius);
    addNoise(image, region, spec.noise, spec.photo.seed);
    return image;
}

bool writeCardPhoto(const QString &path, const CardPhotoSpec &spec)
{
    const QImage image = renderCardPhoto(spec);
    if (image.isNull())
        return false;
    return writeImageFile(path, image, spec.photo.exif, spec.photo.quality);
}

bool writeCardPhoto(const QString &path, const QString &payload, const PhotoSpec &photo, Symbology symbology)
{
    return writeCardPhoto(path, cardPhotoSpec(payload, photo, symbology));
}

} // namespace sorrelby::testkit
