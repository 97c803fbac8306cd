#include "imaging/CodeDetection.h"

#include "imaging/CodeRegions.h"
#include "imaging/CodeSymbologies.h"
#include "imaging/LumaImage.h"
#include "imaging/PhotoMetadata.h"
#include "imaging/QrGrid.h"
#include "platform/FileOps.h"
#include "platform/Log.h"

#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>
#include <exception>
#include <limits>

namespace sorrelby {

namespace {

const QString cClass = QStringLiteral("URL");

void note(const QString &operation, const QString &detail = {})
{
    logOp(cClass, operation, detail);
}

using ZXing::BarcodeFormat;
using zxingcompat::ReaderOptions;

// Pictures whose longer side is at least this are searched at half size.
constexpr int cHalfSizeFrom = 3000;
// Regions searched per photo, as a share of the searched picture's area.
constexpr double cRegionAreaBudget = 0.75;
// Unread regions up to this size (in half-size pixels; codes up to about
// 250 full-size pixels) are enlarged and read again.
constexpr int cEnlargeUpTo = 256;

// The reduced reads of whole frames and looks (screen, quarter size, coarse)
// and the turned reads skip the stacked codes: the region reads find them.
enum class Stacked { Read, Skip };

ReaderOptions matrixOptions(Stacked stacked)
{
    ReaderOptions options = zxingcompat::readerOptions();
    options.setFormats(stacked == Stacked::Read ? cMatrixFormats | cStackedFormats : cMatrixFormats)
        .setTryHarder(true)
        .setTryRotate(true)
        .setTryDownscale(false) // the caller searches at several scales itself
        .setReturnErrors(true); // a located but unread code is worth a closer look
    return options;
}

ReaderOptions linearOptions(bool thorough)
{
    ReaderOptions options = zxingcompat::readerOptions();
    // Without try-harder the rows are sampled sparsely, which suffices in a
    // region around the code; the whole-picture reference reads every row.
    // One symbol per call: zxing-cpp 1.4 compares the linear results of one
    // call with each other and aborts on an assertion when a code was read
    // twice (it happens with UPC-E), so a call must never return two.
    options.setFormats(cLinearFormats).setTryHarder(thorough).setTryRotate(false).setTryDownscale(false).setMaxNumberOfSymbols(1);
    return options;
}

struct PassOutcome {
    QList<DetectedCode> codes;
    bool located = false;    // a code was found but could not be read
    QList<QRectF> locatedAt; // where, in full-size pixels
};

// A result's position taken back to full-size pixels of the picture.
template<typename Barcode> QRectF fullSizeBounds(const LumaImage &image, const QRect &part, bool turned, const Barcode &result)
{
    double left = 1e18, top = 1e18, right = -1e18, bottom = -1e18;
    for (const ZXing::PointI &p : result.position()) {
        // A point of the turned view lies at (v, h - 1 - u) of the part.
        const double x = turned ? p.y : p.x;
        const double y = turned ? part.height() - 1 - p.x : p.y;
        const double fx = image.sourceRect.x() + (part.x() + x + 0.5) * image.scale;
        const double fy = image.sourceRect.y() + (part.y() + y + 0.5) * image.scale;
        left = std::min(left, fx);
        right = std::max(right, fx);
        top = std::min(top, fy);
        bottom = std::max(bottom, fy);
    }
    return right >= left && bottom >= top ? QRectF(QPointF(left, top), QPointF(right, bottom)) : QRectF();
}

// One result of the reader (its type is named differently by zxing-cpp
// versions).
template<typename Barcode>
void takeResult(const LumaImage &image, const QRect &part, bool turned, const Barcode &result, PassOutcome &outcome)
{
    if (!result.isValid()) {
        if (result.format() != BarcodeFormat::None) {
            outcome.located = true;
            outcome.locatedAt.append(fullSizeBounds(image, part, turned, result));
        }
        return;
    }
    const QString text = QString::fromStdString(result.text());
    if (text.isEmpty())
        return;
    outcome.codes.append({text, QString::fromLatin1(ZXing::ToString(result.format())), fullSizeBounds(image, part, turned, result)});
}

// Reads one part of a picture with one set of options. `turned` reads the part
// turned by 90 degrees (linear codes standing upright).
void readPart(const LumaImage &image, const QRect &part, const ReaderOptions &options, bool turned, PassOutcome &outcome)
{
    const ZXing::ImageView whole(image.pixels.data(), image.width, image.height, ZXing::ImageFormat::Lum);
    ZXing::ImageView view = whole.cropped(part.x(), part.y(), part.width(), part.height());
    if (turned)
        view = view.rotated(90);
    try {
        for (const auto &result : ZXing::ReadBarcodes(view, options))
            takeResult(image, part, turned, result, outcome);
    } catch (const std::exception &e) {
        note(QStringLiteral("readBarcodes"), QStringLiteral("barcode reader failed: ") + QString::fromUtf8(e.what()));
    }
}

enum class Linear { None, Sparse, Thorough };

PassOutcome readAll(const LumaImage &image, const QRect &part, Linear linear, Stacked stacked = Stacked::Read)
{
    static const ReaderOptions matrix = matrixOptions(Stacked::Skip);
    static const ReaderOptions stackedToo = matrixOptions(Stacked::Read);
    static const ReaderOptions sparse = linearOptions(false);
    static const ReaderOptions thorough = linearOptions(true);
    PassOutcome outcome;
    readPart(image, part, stacked == Stacked::Read ? stackedToo : matrix, false, outcome);
    if (linear != Linear::None) {
        const ReaderOptions &options = linear == Linear::Thorough ? thorough : sparse;
        readPart(image, part, options, false, outcome);
        readPart(image, part, options, true, outcome);
    }
    return outcome;
}

QPointF centreOf(const DetectedCode &code)
{
    return code.bounds.center();
}

bool sameCode(const DetectedCode &a, const DetectedCode &b)
{
    if (a.text != b.text)
        return false;
    const double margin = 0.25 * std::max({a.bounds.width(), a.bounds.height(), b.bounds.width(), b.bounds.height(), 8.0});
    return a.bounds.adjusted(-margin, -margin, margin, margin).contains(centreOf(b))
        || b.bounds.adjusted(-margin, -margin, margin, margin).contains(centreOf(a));
}

void addCodes(QList<DetectedCode> &into, const QList<DetectedCode> &found)
{
    for (const DetectedCode &code : found) {
        if (std::none_of(into.cbegin(), into.cend(), [&](const DetectedCode &known) { return sameCode(known, code); }))
            into.append(code);
    }
}

void addCodes(DetectionResult &result, const QList<DetectedCode> &found, const char *step)
{
    if (result.readBy.isEmpty() && !found.isEmpty())
        result.readBy = QLatin1String(step);
    addCodes(result.codes, found);
}

// Reading order: lines from top to bottom, left to right within a line. Codes
// side by side share a line even when one sits a little higher (the centre of
// one within the height of the other): where exactly a reader puts a code's
// corners differs between zxing-cpp versions, and the last code in this
// order decides the photo's code.
void sortByPosition(QList<DetectedCode> &codes)
{
    std::stable_sort(codes.begin(), codes.end(),
                     [](const DetectedCode &a, const DetectedCode &b) { return centreOf(a).y() < centreOf(b).y(); });
    auto within = [](const DetectedCode &code, const DetectedCode &other) {
        const double y = centreOf(code).y();
        return y >= other.bounds.top() && y <= other.bounds.bottom();
    };
    QList<DetectedCode> ordered;
    while (!codes.isEmpty()) {
        const DetectedCode first = codes.takeFirst();
        QList<DetectedCode> line{first};
        for (qsizetype i = 0; i < codes.size();) {
            if (within(codes[i], first) || within(first, codes[i]))
                line.append(codes.takeAt(i));
            else
                ++i;
        }
        std::stable_sort(line.begin(), line.end(),
                         [](const DetectedCode &a, const DetectedCode &b) { return centreOf(a).x() < centreOf(b).x(); });
        ordered.append(line);
    }
    codes = ordered;
}

QRect toFullSize(const LumaImage &image, const QRect &rect)
{
    return QRect(image.sourceRect.x() + rect.x() * image.scale, image.sourceRect.y() + rect.y() * image.scale, rect.width() * image.scale,
                 rect.height() * image.scale);
}

// Share of the rectangle covered by the bounds of codes already read.
double coveredShare(const QRect &rect, const QList<DetectedCode> &codes)
{
    double covered = 0;
    for (const DetectedCode &code : codes)
        covered += code.bounds.intersected(QRectF(rect)).width() * code.bounds.intersected(QRectF(rect)).height();
    return covered / std::max(1.0, double(rect.width()) * rect.height());
}

// Adds the processor time the calling thread spends in a scope (not the
// wall time: other work on the machine does not count).
class Stopwatch {
public:
    explicit Stopwatch(double &into)
        : m_into(into)
        , m_start(now())
    { }
    ~Stopwatch() { m_into += now() - m_start; }
    Stopwatch(const Stopwatch &) = delete;
    Stopwatch &operator=(const Stopwatch &) = delete;

private:
    static double now()
    {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
    }
    double &m_into;
    double m_start;
};

LumaImage timedDecode(const QByteArray &bytes, int scale, DetectionResult &result)
{
    Stopwatch watch(result.decodeMs);
    LumaImage image = decodeLuma(bytes, scale, &result.error);
    if (!image.isNull() && scale == 1)
        ++result.fullSizeDecodes;
    return image;
}

// A part of the photo decoded alone at full size for a closer look.
LumaImage decodeForCloserLook(const QByteArray &bytes, const QRect &region, DetectionResult &result, QString *error = nullptr)
{
    Stopwatch watch(result.decodeMs);
    Stopwatch close(result.closeDecodeMs);
    return decodeLumaRegion(bytes, 1, region, error);
}

DetectionResult detectNaive(const QByteArray &bytes)
{
    DetectionResult result;
    const LumaImage full = timedDecode(bytes, 1, result);
    if (full.isNull())
        return result;
    result.readable = true;
    Stopwatch watch(result.searchMs);
    const PassOutcome outcome = readAll(full, QRect(0, 0, full.width, full.height), Linear::Thorough);
    addCodes(result, outcome.codes, "whole picture at full size");
    // A 2-D code located but not read: large modules sampled unluckily at full
    // size (zxing-cpp 2.x's Data Matrix decoder, on some pictures) read at
    // half size.
    if (outcome.located) {
        const LumaImage half = shrinkLuma(full, 2);
        if (!half.isNull())
            addCodes(result, readAll(half, QRect(0, 0, half.width, half.height), Linear::None).codes, "whole picture at half size");
    }
    return result;
}

// The part enlarged `factor` times (bilinear, 2 or 3): modules of one or two
// pixels become wide enough for the detectors' sampling. The result is a
// picture of its own (scale 1 at its origin); readEnlarged maps positions back.
LumaImage enlargeLuma(const LumaImage &image, const QRect &part, int factor)
{
    LumaImage out;
    out.width = part.width() * factor;
    out.height = part.height() * factor;
    out.sourceRect = QRect(0, 0, out.width, out.height);
    out.pixels.resize(std::size_t(out.width) * std::size_t(out.height));
    // Output pixel o samples source position (o + 0.5) / factor - 0.5; weights
    // in 1/256.
    struct Tap {
        int first;
        int weight; // of the second neighbour
    };
    auto taps = [factor](int length) {
        std::vector<Tap> table(std::size_t(length) * std::size_t(factor));
        for (std::size_t o = 0; o < table.size(); ++o) {
            const double s = (double(o) + 0.5) / factor - 0.5;
            const int first = std::clamp(int(std::floor(s)), 0, std::max(0, length - 2));
            const double frac = std::clamp(s - first, 0.0, 1.0);
            table[o] = {first, int(frac * 256 + 0.5)};
        }
        return table;
    };
    const std::vector<Tap> across = taps(part.width());
    const std::vector<Tap> down = taps(part.height());
    const int lastX = part.width() - 1, lastY = part.height() - 1;
    for (int y = 0; y < out.height; ++y) {
        const Tap ty = down[std::size_t(y)];
        const std::uint8_t *upper = image.row(part.y() + ty.first) + part.x();
        const std::uint8_t *lower = image.row(part.y() + std::min(ty.first + 1, lastY)) + part.x();
        std::uint8_t *dst = out.row(y);
        for (int x = 0; x < out.width; ++x) {
            const Tap tx = across[std::size_t(x)];
            const int x1 = std::min(tx.first + 1, lastX);
            const int top = upper[tx.first] * (256 - tx.weight) + upper[x1] * tx.weight;
            const int bottom = lower[tx.first] * (256 - tx.weight) + lower[x1] * tx.weight;
            dst[x] = std::uint8_t((top * (256 - ty.weight) + bottom * ty.weight + (1 << 15)) >> 16);
        }
    }
    return out;
}

// An unsharp mask (Gaussian of `sigma` pixels): edges a lens or a slight
// shake softened until modules of two or three pixels run together stand
// apart again.
void sharpenLuma(LumaImage &image, double sigma, double amount)
{
    const int radius = int(std::ceil(3 * sigma));
    std::vector<float> kernel(std::size_t(2 * radius + 1));
    float sum = 0;
    for (int i = -radius; i <= radius; ++i)
        sum += kernel[std::size_t(i + radius)] = float(std::exp(-i * i / (2 * sigma * sigma)));
    for (float &k : kernel)
        k /= sum;
    const int width = image.width, height = image.height;
    std::vector<float> across(image.pixels.size()), blurred(image.pixels.size());
    for (int y = 0; y < height; ++y) {
        const std::uint8_t *row = image.row(y);
        for (int x = 0; x < width; ++x) {
            float v = 0;
            for (int i = -radius; i <= radius; ++i)
                v += kernel[std::size_t(i + radius)] * row[std::clamp(x + i, 0, width - 1)];
            across[std::size_t(y) * width + x] = v;
        }
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            float v = 0;
            for (int i = -radius; i <= radius; ++i)
                v += kernel[std::size_t(i + radius)] * across[std::size_t(std::clamp(y + i, 0, height - 1)) * width + x];
            blurred[std::size_t(y) * width + x] = v;
        }
    }
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        const float v = image.pixels[i] + float(amount) * (image.pixels[i] - blurred[i]);
        image.pixels[i] = std::uint8_t(std::clamp(int(std::lround(v)), 0, 255));
    }
}

// The part turned by `degrees` about its centre (bilinear; pixels beyond the
// part repeat its edge), a picture of its own large enough for the whole part.
LumaImage turnLuma(const LumaImage &image, const QRect &part, double degrees)
{
    const double angle = degrees * M_PI / 180;
    const double c = std::cos(angle), s = std::sin(angle);
    LumaImage out;
    out.width = int(std::ceil(std::abs(part.width() * c) + std::abs(part.height() * s)));
    out.height = int(std::ceil(std::abs(part.width() * s) + std::abs(part.height() * c)));
    out.sourceRect = QRect(0, 0, out.width, out.height);
    out.pixels.resize(std::size_t(out.width) * std::size_t(out.height));
    const double cx = part.width() / 2.0, cy = part.height() / 2.0;
    const double ox = out.width / 2.0, oy = out.height / 2.0;
    const int lastX = part.width() - 1, lastY = part.height() - 1;
    for (int y = 0; y < out.height; ++y) {
        std::uint8_t *dst = out.row(y);
        const double dy = y + 0.5 - oy;
        for (int x = 0; x < out.width; ++x) {
            const double dx = x + 0.5 - ox;
            // The inverse turn: where this output pixel comes from.
            const double sx = std::clamp(c * dx + s * dy + cx - 0.5, 0.0, double(lastX));
            const double sy = std::clamp(-s * dx + c * dy + cy - 0.5, 0.0, double(lastY));
            const int x0 = std::min(int(sx), std::max(0, lastX - 1)), y0 = std::min(int(sy), std::max(0, lastY - 1));
            const int x1 = std::min(x0 + 1, lastX), y1 = std::min(y0 + 1, lastY);
            const int wx = int((sx - x0) * 256 + 0.5), wy = int((sy - y0) * 256 + 0.5);
            const std::uint8_t *upper = image.row(part.y() + y0) + part.x();
            const std::uint8_t *lower = image.row(part.y() + y1) + part.x();
            const int top = upper[x0] * (256 - wx) + upper[x1] * wx;
            const int bottom = lower[x0] * (256 - wx) + lower[x1] * wx;
            dst[x] = std::uint8_t((top * (256 - wy) + bottom * wy + (1 << 15)) >> 16);
        }
    }
    return out;
}

// Reads the part turned by `degrees`; positions come back in full-size pixels
// of the picture (the bounds of the turned-back corners).
constexpr int cTurnUpTo = 1024; // searched pixels, twice the largest card's code on a 24 MP photo

PassOutcome readTurned(const LumaImage &image, const QRect &part, double degrees)
{
    // Busy scenery can make one patch of most of the frame: turned at its own
    // scale, it would be a picture of ten megapixels for the reader. A code
    // that fills a part that large has modules to spare at a smaller scale.
    const int longer = std::max(part.width(), part.height());
    if (longer > cTurnUpTo) {
        const LumaImage smaller = shrinkLuma(cropLuma(image, toFullSize(image, part)), (longer + cTurnUpTo - 1) / cTurnUpTo);
        if (!smaller.isNull())
            return readTurned(smaller, QRect(0, 0, smaller.width, smaller.height), degrees);
    }
    const LumaImage turned = turnLuma(image, part, degrees);
    PassOutcome outcome = readAll(turned, QRect(0, 0, turned.width, turned.height), Linear::None, Stacked::Skip);
    const double angle = degrees * M_PI / 180;
    const double c = std::cos(angle), s = std::sin(angle);
    const QRect full = toFullSize(image, part);
    auto back = [&](const QRectF &r) {
        double left = 1e18, top = 1e18, right = -1e18, bottom = -1e18;
        for (const QPointF &p : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()}) {
            const double dx = p.x() - turned.width / 2.0, dy = p.y() - turned.height / 2.0;
            const double x = full.x() + (c * dx + s * dy + part.width() / 2.0) * image.scale;
            const double y = full.y() + (-s * dx + c * dy + part.height() / 2.0) * image.scale;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
        return QRectF(QPointF(left, top), QPointF(right, bottom));
    };
    for (DetectedCode &code : outcome.codes)
        code.bounds = back(code.bounds);
    for (QRectF &at : outcome.locatedAt)
        at = back(at);
    return outcome;
}

// Reads the part enlarged `factor` times; positions come back in full-size
// pixels of the picture. `sharpened` also sharpens the part and, when nothing
// reads, reads it turned a little: a small blurred code that reads sharpened
// at all reads either as it stands or resampled off the axes, which one
// varies from card to card (15 degrees read every such card seen, 30 and 45
// not).
PassOutcome readEnlarged(const LumaImage &image, const QRect &part, int factor, bool sharpened = false)
{
    // Sharpened before it is enlarged: a quarter of the pixels to filter.
    LumaImage crisp;
    if (sharpened) {
        crisp = cropLuma(image, toFullSize(image, part));
        sharpenLuma(crisp, 1.0, 1.5); // sigmas of 0.6 to 1.6 pixels and amounts of 1 to 2 read alike
    }
    const LumaImage enlarged
        = sharpened ? enlargeLuma(crisp, QRect(0, 0, crisp.width, crisp.height), factor) : enlargeLuma(image, part, factor);
    const QRect whole(0, 0, enlarged.width, enlarged.height);
    PassOutcome outcome = readAll(enlarged, whole, Linear::None);
    if (sharpened && outcome.codes.isEmpty())
        outcome = readTurned(enlarged, whole, 15);
    const QRect full = toFullSize(image, part);
    const double ratio = double(image.scale) / factor;
    auto back = [&](const QRectF &r) {
        return QRectF(full.x() + r.x() * ratio, full.y() + r.y() * ratio, r.width() * ratio, r.height() * ratio);
    };
    for (DetectedCode &code : outcome.codes)
        code.bounds = back(code.bounds);
    for (QRectF &at : outcome.locatedAt)
        at = back(at);
    return outcome;
}

struct Candidate {
    QRect rect; // in the base picture's pixels
    QRect core; // the dense texture alone
    int weight; // seed cells, counted in fine cells
};

// Candidate regions at two cell sizes: fine cells find small codes, coarse
// ones large codes whose big modules leave gaps between fine seeds.
std::vector<Candidate> candidateRegions(const LumaImage &base, const LumaImage &coarse, int coarseFactor)
{
    std::vector<Candidate> candidates;
    for (const CodeRegion &region : findCodeRegions(base))
        candidates.push_back({region.rect, region.core, region.strength});
    RegionFinderParams coarseParams;
    coarseParams.minPadCells = 2;
    const QRect bounds(0, 0, base.width, base.height);
    for (const CodeRegion &region : findCodeRegions(coarse, coarseParams)) {
        const QRect rect(region.rect.topLeft() * coarseFactor, region.rect.size() * coarseFactor);
        const QRect core(region.core.topLeft() * coarseFactor, region.core.size() * coarseFactor);
        candidates.push_back({rect.intersected(bounds), core.intersected(bounds), region.strength * coarseFactor * coarseFactor});
    }
    std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate &a, const Candidate &b) { return a.weight > b.weight; });
    return candidates;
}

constexpr int cEnlargeTwiceUpTo = 1200; // full-size pixels of a lead's larger side
constexpr int cEnlargeThriceUpTo = 500;
// Parts up to this size are enlarged twice when sharpened; the codes of
// larger ones have modules wide enough as they are.
constexpr int cSharpenTwiceUpTo = 320;

// A part at full size that may hold a small blurred code, sharpened; a part
// too large for a small code is not.
PassOutcome readSharpened(const LumaImage &part)
{
    const int side = std::max(part.width, part.height);
    if (side > cEnlargeThriceUpTo)
        return {};
    return readEnlarged(part, QRect(0, 0, part.width, part.height), side <= cSharpenTwiceUpTo ? 2 : 1, true);
}

DetectedCode detectedGrid(const QrGridRead &read)
{
    static const QString qr = QString::fromLatin1(ZXing::ToString(BarcodeFormat::QRCode));
    return {read.text, qr, read.bounds};
}

// A QR code whose grid bends between its patterns, sampled cell by cell.
PassOutcome readGrids(const LumaImage &image, const QRect &part)
{
    PassOutcome outcome;
    for (const QrGridRead &read : readQrGrids(image, part))
        outcome.codes.append(detectedGrid(read));
    return outcome;
}

// Something code-like that no read has made anything of yet.
struct Lead {
    QRect rect; // full-size pixels
    QString why;
};

// Only a code the reader located leads: a light patch of dense texture that
// looks like a card is no evidence (busy scenery passes for one in about one
// photo in fifteen) and looking closer at it cost more than it found.
void addLead(std::vector<Lead> &leads, const QRect &rect, const QString &why)
{
    if (rect.isEmpty())
        return;
    for (Lead &lead : leads) {
        if (lead.rect.contains(rect.center()) || rect.contains(lead.rect.center())) {
            lead.rect = lead.rect.united(rect);
            return;
        }
    }
    leads.push_back({rect, why});
}

// A located code's bounds, padded for its quiet zone and a little slack.
QRect paddedLead(const QRectF &bounds)
{
    const double pad = 0.35 * std::max(bounds.width(), bounds.height()) + 16;
    return bounds.adjusted(-pad, -pad, pad, pad).toAlignedRect();
}

// The closer looks at what was seen but not read, each only while nothing is
// read there: full size, enlarged twice, enlarged three times (small modules).
// `full` is the full-size picture or a part of it.
void readLeadsCloser(const LumaImage &full, const std::vector<Lead> &leads, DetectionResult &result)
{
    for (const Lead &lead : leads) {
        const QRect part = lead.rect.intersected(full.sourceRect).translated(-full.sourceRect.topLeft());
        if (part.isEmpty() || coveredShare(toFullSize(full, part), result.codes) > 0.25)
            continue;
        ++result.closerLooks;
        PassOutcome outcome = readAll(full, part, Linear::Sparse);
        const char *step = "located code at full size";
        const int side = std::max(part.width(), part.height());
        if (outcome.codes.isEmpty() && side <= cEnlargeTwiceUpTo) {
            outcome = readEnlarged(full, part, 2);
            step = "located code enlarged twice";
        }
        if (outcome.codes.isEmpty() && side <= cEnlargeThriceUpTo) {
            outcome = readEnlarged(full, part, 3);
            step = "located code enlarged three times";
        }
        if (outcome.codes.isEmpty()) {
            outcome = readGrids(full, part);
            step = "located code sampled";
        }
        addCodes(result, outcome.codes, step);
    }
}

const QString &locatedWhy()
{
    static const QString why = QStringLiteral("a code was located but not read");
    return why;
}

void takeOutcome(const PassOutcome &outcome, DetectionResult &result, std::vector<Lead> &leads, const char *step)
{
    addCodes(result, outcome.codes, step);
    for (const QRectF &at : outcome.locatedAt)
        addLead(leads, paddedLead(at), locatedWhy());
}

// A code filling much of the frame, or one of a great many modules: its
// finder patterns show in the reduced picture `coarse`, within the dense
// parts `where` (full-size pixels), and its modules are sampled in the finer
// picture.
// A located QR code sampled in `fine`. One whose grid met its timing
// patterns but did not read is a lead: a code is there.
bool sampleLocatedQr(const LumaImage &fine, const QrLocation &code, const char *step, DetectionResult &result, std::vector<Lead> &leads)
{
    static const QString why = QStringLiteral("a QR code's finder patterns were found but it was not read");
    bool confirmed = false;
    if (const std::optional<QrGridRead> grid = readQrGridAt(fine, code, &confirmed)) {
        addCodes(result, {detectedGrid(*grid)}, step);
        return true;
    }
    if (confirmed)
        addLead(leads, code.area.toAlignedRect(), why);
    return false;
}

void readGridsInFrame(const LumaImage &coarse, const LumaImage &fine, const std::vector<QRect> &where, DetectionResult &result,
                      std::vector<Lead> &leads)
{
    const auto read = [&](const QrLocation &code, const char *step) {
        if (coveredShare(code.area.toAlignedRect(), result.codes) > 0.25)
            return;
        ++result.closerLooks;
        sampleLocatedQr(fine, code, step, result, leads);
    };
    for (const QRect &dense : where) {
        std::vector<QRectF> partly;
        for (const QrLocation &code : locateQrCodes(coarse, coarse.inPicture(QRectF(dense)), &partly))
            read(code, "frame sampled");
        // Two patterns seen of three: the finer picture of their area.
        for (const QRectF &area : partly) {
            if (coveredShare(area.toAlignedRect(), result.codes) > 0.25)
                continue;
            for (const QrLocation &code : locateQrCodes(fine, fine.inPicture(area)))
                read(code, "frame sampled where two finder patterns showed");
        }
    }
}

// Dark print on light paper: the texture's darkest and lightest tenths far
// apart, few pixels between them (only the modules' edges), and a light ring
// round it (the quiet zone). Scenery dense enough to be a candidate is mostly
// mid-tones or has no light surround. The answer grows with how strongly the
// edges form a grid and how dense they are; none when it does not look printed.
// `stride` samples the tones only every so many pixels: most windows of a
// large region are scenery that the tones alone turn away.
struct PrintTexture {
    double grid = 0;    // edges along two directions at right angles
    double stripes = 0; // edges along one direction
    double density = 0; // grid-weighted edges per pixel
};

// Edges along two directions at right angles, in like measure: a code's
// module grid. Stripes have one direction, scenery all of them. In the
// doubled angle a grid's two directions cancel out and stripes add up; in
// the quadrupled angle both add up and scattered directions cancel. Every
// candidate and window of a photo is measured: the rows are summed in
// vectors (single precision within a row is ample for thresholds of tenths).
struct EdgeSums {
    double weight = 0, c2 = 0, s2 = 0, c4 = 0, s4 = 0;
    long edges = 0;
};

#if defined(__x86_64__)
// Twice the lanes where the processor has them, chosen when the program loads.
#define SORRELBY_WIDER_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define SORRELBY_WIDER_VECTORS
#endif

SORRELBY_WIDER_VECTORS EdgeSums edgeSums(const LumaImage &picture, const QRect &inside)
{
    EdgeSums sums;
    const int left = std::max(1, inside.left()), right = std::min(picture.width - 2, inside.right());
    for (int y = std::max(1, inside.top()); y <= std::min(picture.height - 2, inside.bottom()); ++y) {
        const std::uint8_t *above = picture.row(y - 1), *row = picture.row(y), *below = picture.row(y + 1);
        float weight = 0, c2 = 0, s2 = 0, c4 = 0, s4 = 0;
        int edges = 0;
#pragma omp simd reduction(+ : weight, c2, s2, c4, s4, edges)
        for (int x = left; x <= right; ++x) {
            const int gx = row[x + 1] - row[x - 1], gy = below[x] - above[x];
            const int squared = gx * gx + gy * gy;
            const bool edge = squared >= 16 * 16;
            const float magnitude = edge ? std::sqrt(float(squared)) : 0.0f;
            const float inverse = edge ? 1.0f / float(squared) : 0.0f;
            const float cos2 = float(gx * gx - gy * gy) * inverse, sin2 = float(2 * gx * gy) * inverse;
            weight += magnitude;
            c2 += magnitude * cos2;
            s2 += magnitude * sin2;
            c4 += magnitude * (cos2 * cos2 - sin2 * sin2);
            s4 += magnitude * 2 * cos2 * sin2;
            edges += edge;
        }
        sums.weight += weight;
        sums.c2 += c2;
        sums.s2 += s2;
        sums.c4 += c4;
        sums.s4 += s4;
        sums.edges += edges;
    }
    return sums;
}

std::optional<PrintTexture> printTexture(const LumaImage &picture, const QRect &core, int stride = 1)
{
    const QRect inside = core.intersected(QRect(0, 0, picture.width, picture.height));
    if (inside.width() < 8 || inside.height() < 8)
        return std::nullopt;
    std::array<int, 256> histogram{};
    int count = 0;
    for (int y = inside.top(); y <= inside.bottom(); y += stride) {
        const std::uint8_t *row = picture.row(y);
        for (int x = inside.left(); x <= inside.right(); x += stride, ++count)
            ++histogram[row[x]];
    }
    auto percentile = [&](const std::array<int, 256> &h, int total, double share) {
        int seen = 0;
        for (int v = 0; v < 256; ++v) {
            seen += h[std::size_t(v)];
            if (seen >= share * total)
                return v;
        }
        return 255;
    };
    const int dark = percentile(histogram, count, 0.1), light = percentile(histogram, count, 0.9);
    const int range = light - dark;
    if (range < 64)
        return std::nullopt;
    int between = 0;
    for (int v = dark + range * 3 / 10; v <= light - range * 3 / 10; ++v)
        between += histogram[std::size_t(v)];
    if (between > 0.4 * count)
        return std::nullopt;
    const EdgeSums sums = edgeSums(picture, inside);
    if (sums.weight <= 0)
        return std::nullopt;
    const double grid = std::hypot(sums.c4, sums.s4) / sums.weight;
    // Small modules put an edge nearly everywhere; other print has edges
    // only along its outlines.
    return PrintTexture{grid, std::hypot(sums.c2, sums.s2) / sums.weight,
                        grid * double(sums.edges) / (double(inside.width()) * inside.height())};
}

bool looksPrinted(const PrintTexture &texture, double gridFrom = 0.3)
{
    return texture.grid >= gridFrom && texture.stripes <= 0.5;
}

std::optional<double> printedCodeScore(const LumaImage &picture, const QRect &core, int stride)
{
    const std::optional<PrintTexture> texture = printTexture(picture, core, stride);
    if (!texture || !looksPrinted(*texture))
        return std::nullopt;
    return texture->density;
}

// A candidate's dense texture with a quiet zone's room around it.
QRect aroundCore(const Candidate &candidate, const LumaImage &base)
{
    const int pad = std::max(candidate.core.width(), candidate.core.height()) / 4 + 8;
    return candidate.core.adjusted(-pad, -pad, pad, pad).intersected(QRect(0, 0, base.width, base.height));
}

// A code beside other print (stripes, a logo, a line across the card) makes
// one candidate with it whose texture as a whole is not a code's. The
// candidate is looked through in windows of a small code's size; windows of
// dark print on light paper that touch make one patch: a code's extent, apart
// from print whose texture is not a code's.
constexpr int cTileSide = 40; // searched pixels: a code of 3.6 % of the short side at half size

// What looked like print but was neither read nor located: whole candidates
// first, patches of windows after them. Where the smallest card's modules
// are under two searched pixels (a 3000 x 2000 photo searched at half size),
// small patches are looked at in full-size pixels.

// Windows of print that touch, in full-size pixels: all of them with room
// round them, and the clearest alone with a window's room round it.
struct PrintedWindows {
    double score = 0; // the windows' scores summed
    QRect all;
    QRect clearest;
    std::vector<QRect> ends; // round its outermost windows, on every side
};

struct PrintedPatches {
    std::vector<std::pair<QRect, bool>> whole; // and whether a code was located there
    std::vector<PrintedWindows> windows;
    std::vector<PrintedWindows> windowsInPrinted; // of small patches that looked printed whole
    std::vector<std::pair<double, QRect>> soft;   // print on paper too soft for a grid, by density
    bool fullSize = false;
};

constexpr double cSmallestCodeShare = 0.036; // of the short side
constexpr int cFineCodeUpTo = 48;            // searched pixels
constexpr double cSoftGridFrom = 0.15;       // a blurred smallest card's measured 0.23

PrintedPatches printedPatchesFor(const QSize &size, int scale)
{
    PrintedPatches patches;
    patches.fullSize = scale > 1 && size.isValid() && cSmallestCodeShare * std::min(size.width(), size.height()) / scale < cFineCodeUpTo;
    return patches;
}

void addPrintedWindows(const LumaImage &base, const QRect &core, bool fullSize, std::vector<PrintedWindows> &windows)
{
    const int longer = std::max(core.width(), core.height());
    if (longer < 2 * cTileSide)
        return;
    const int columns = (core.width() + cTileSide / 2) / cTileSide, rows = (core.height() + cTileSide / 2) / cTileSide;
    auto tileAt = [&](int r, int c) { return QRect(core.left() + c * cTileSide, core.top() + r * cTileSide, cTileSide, cTileSide); };
    // Small codes' windows need every pixel's tone; large regions of a
    // large photo are many windows, nearly all scenery.
    const int stride = fullSize ? 1 : 2;
    std::vector<double> scores(std::size_t(columns) * rows, -1);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            if (const std::optional<double> score = printedCodeScore(base, tileAt(r, c), stride))
                scores[std::size_t(r) * columns + c] = *score;
        }
    }
    // Windows that touch, corners included, are one patch. It ranks by the
    // sum of its windows' scores: a code's modules fill many windows, stray
    // corners of other print one or two.
    const QRect bounds(0, 0, base.width, base.height);
    auto padded = [&](const QRect &rect) {
        const int pad = std::max(cTileSide, std::max(rect.width(), rect.height()) / 4);
        return toFullSize(base, rect.adjusted(-pad, -pad, pad, pad).intersected(bounds));
    };
    std::vector<int> stack;
    for (std::size_t seed = 0; seed < scores.size(); ++seed) {
        if (scores[seed] < 0)
            continue;
        double sum = 0, best = 0;
        QRect extent, clearest;
        // The outermost window on each side (left, right, top, bottom), the
        // clearest of those level with it.
        struct Outermost {
            int reach = std::numeric_limits<int>::min();
            double score = 0;
            int at = -1;
        };
        std::array<Outermost, 4> outermost{};
        stack.assign(1, int(seed));
        while (!stack.empty()) {
            const int at = stack.back();
            stack.pop_back();
            double &score = scores[std::size_t(at)];
            if (score < 0)
                continue;
            const int r = at / columns, c = at % columns;
            if (score > best) {
                best = score;
                clearest = tileAt(r, c);
            }
            const std::array<int, 4> reach{-c, c, -r, r};
            for (std::size_t side = 0; side < outermost.size(); ++side) {
                Outermost &end = outermost[side];
                if (reach[side] > end.reach || (reach[side] == end.reach && score > end.score))
                    end = {reach[side], score, at};
            }
            sum += score;
            score = -1;
            extent = extent.united(tileAt(r, c));
            for (int nr = std::max(0, r - 1); nr <= std::min(rows - 1, r + 1); ++nr) {
                for (int nc = std::max(0, c - 1); nc <= std::min(columns - 1, c + 1); ++nc) {
                    if (scores[std::size_t(nr) * columns + nc] >= 0)
                        stack.push_back(nr * columns + nc);
                }
            }
        }
        // Room for the whole code and its quiet zone round windows that
        // caught part of it. A patch may run into print beside the code, and
        // the Data Matrix detector starts at the centre of what it is given:
        // a small code is also looked for round its clearest window alone.
        // Beside stripes or a logo, a small Data Matrix lies at one end of
        // the patch, away from the centre where the detector starts.
        std::vector<QRect> ends;
        const int room = cTileSide * 3 / 2;
        for (const Outermost &outer : outermost) {
            const QRect window = tileAt(outer.at / columns, outer.at % columns);
            const QRect end = toFullSize(base, window.adjusted(-room, -room, room, room).intersected(bounds));
            if (std::find(ends.begin(), ends.end(), end) == ends.end())
                ends.push_back(end);
        }
        windows.push_back({sum, padded(extent), padded(clearest), std::move(ends)});
    }
}

// The clearest patches of all candidates first, one look per spot: bar ends
// and corners of other print pass now and then, a code's modules fill many
// windows.
std::vector<PrintedWindows> clearestWindows(std::vector<PrintedWindows> windows, std::size_t count)
{
    std::stable_sort(windows.begin(), windows.end(), [](const auto &a, const auto &b) { return a.score > b.score; });
    std::vector<PrintedWindows> taken;
    for (const PrintedWindows &patch : windows) {
        if (taken.size() == count)
            break;
        if (std::none_of(taken.begin(), taken.end(), [&](const PrintedWindows &t) { return t.all.contains(patch.all.center()); }))
            taken.push_back(patch);
    }
    return taken;
}

void addPrintedPatch(const LumaImage &base, const Candidate &candidate, const std::optional<PrintTexture> &texture, PrintedPatches &quiet)
{
    const QRect around = aroundCore(candidate, base);
    const bool printed = texture && looksPrinted(*texture);
    if (printed)
        quiet.whole.emplace_back(toFullSize(base, around), false);
    // A small blurred code of fine modules, soft at the searched size, shows
    // its grid too faintly.
    else if (texture && quiet.fullSize && looksPrinted(*texture, cSoftGridFrom)
             && std::max(around.width(), around.height()) <= cEnlargeUpTo)
        quiet.soft.emplace_back(texture->density, toFullSize(base, around));
    // A patch too large to be one code may hold one beside other print.
    if (!printed || std::max(around.width(), around.height()) > cEnlargeUpTo)
        addPrintedWindows(base, around, quiet.fullSize, quiet.windows);
    // Where modules are fine, a patch that looks printed may too: a Data
    // Matrix beside dark print, away from the centre where the detector
    // starts. Looked at last.
    else if (quiet.fullSize)
        addPrintedWindows(base, around, true, quiet.windowsInPrinted);
}

// Reads the regions of `base` (a whole picture or a part of one; `small` is it
// at half its scale) that look like a code. Without `escalate`, a region where
// a code was located but not read goes to `closerLook` for a full-size read.
constexpr int cNestedRegions = 2;
constexpr int cPrintedRegions = 2;

void searchCandidates(const LumaImage &base, const LumaImage &small, bool escalate, DetectionResult &result, std::vector<Lead> &leads,
                      std::vector<QRect> &closerLook, PrintedPatches *quiet = nullptr)
{
    double areaLeft = cRegionAreaBudget * double(base.width) * base.height;
    bool wholeBaseRead = false;
    std::vector<QRect> readUnread; // regions read without a code
    int nestedLeft = cNestedRegions, printedLeft = cPrintedRegions;
    for (const Candidate &candidate : candidateRegions(base, shrinkLuma(small, 2), 4)) {
        const double area = double(candidate.rect.width()) * candidate.rect.height();
        if (candidate.rect.isEmpty())
            continue;
        if (coveredShare(toFullSize(base, candidate.rect), result.codes) > 0.5)
            continue;
        // Several steps ask whether the candidate looks printed: measured once.
        std::optional<std::optional<PrintTexture>> measured;
        auto texture = [&]() -> const std::optional<PrintTexture> & {
            if (!measured)
                measured = printTexture(base, candidate.core);
            return *measured;
        };
        auto printed = [&] { return texture() && looksPrinted(*texture()); };
        // A large region read in vain may hold a code that a reader misses
        // in it (zxing-cpp's Data Matrix detector starts at the centre) and
        // finds alone: its own candidate is read beyond the budget.
        const bool nested = std::any_of(readUnread.begin(), readUnread.end(), [&](const QRect &r) {
            const QRect common = r.intersected(candidate.rect);
            return common.width() * common.height() >= 0.8 * area && area <= 0.5 * r.width() * r.height();
        });
        if (nested && area > areaLeft && nestedLeft > 0) {
            --nestedLeft;
            areaLeft += area;
        }
        // A small card scores few seeds and comes after the large print and
        // scenery that spent the budget; it looks like print on paper.
        if (escalate && area > areaLeft && printedLeft > 0 && area <= 0.25 * double(base.width) * base.height && printed()) {
            --printedLeft;
            areaLeft += area;
        }
        if (area > areaLeft) {
            // A close-up: the code fills most of the frame, too large for
            // the budget and too fine for the quarter-size read. Read the
            // whole picture at this scale, once.
            if (escalate && !wholeBaseRead && area > 0.5 * double(base.width) * base.height) {
                wholeBaseRead = true;
                ++result.regionsSearched;
                takeOutcome(readAll(base, QRect(0, 0, base.width, base.height), Linear::None), result, leads, "close-up at search scale");
                // A small look made of one candidate: a small code in it is
                // as fine as in any other region.
                if (quiet && result.codes.isEmpty())
                    addPrintedPatch(base, candidate, texture(), *quiet);
            }
            continue;
        }
        areaLeft -= area;
        ++result.regionsSearched;
        const PassOutcome outcome = readAll(base, candidate.rect, Linear::Sparse);
        addCodes(result, outcome.codes, "region");
        if (!outcome.codes.isEmpty())
            continue;
        readUnread.push_back(candidate.rect);
        if (escalate && outcome.located)
            addLead(leads, toFullSize(base, candidate.rect), locatedWhy());
        if (base.scale == 1 && !escalate)
            continue;
        if (outcome.located && !escalate) {
            closerLook.push_back(toFullSize(base, candidate.rect));
        } else if (std::max(candidate.rect.width(), candidate.rect.height()) <= cEnlargeUpTo && (!quiet || quiet->fullSize || printed())) {
            // Modules of a pixel or two at half size: the detectors
            // neither read nor locate them, but often do when enlarged.
            // Where the smallest card's modules are larger, only a dense
            // code has them, and it looks printed.
            const PassOutcome enlarged = readEnlarged(base, candidate.rect, 2);
            addCodes(result, enlarged.codes, "region enlarged twice");
            if (!enlarged.codes.isEmpty())
                continue;
        }
        // A code located where it stands may read turned, as one never
        // located may (zxing-cpp 2 locates many that 1.4 does not).
        if (quiet && !outcome.located)
            addPrintedPatch(base, candidate, texture(), *quiet);
        else if (quiet && printed())
            quiet->whole.emplace_back(toFullSize(base, aroundCore(candidate, base)), true);
    }
}

// zxing-cpp's detectors miss some sharp, plainly visible codes at one angle and
// scale (a version 1 QR or a Data Matrix under mild perspective, turned some
// 30 degrees) and read them at another; and the smallest cards of a 3000 x
// 2000 photo, modules under two pixels at half size, are neither read nor
// located there. What looks like printed modules but gave nothing, not even a
// located code, is read once more: small patches at full size (decoded alone)
// and enlarged, then every patch turned by 45 degrees, then small patches
// sharpened (a blurred card); windows of print found inside other candidates
// enlarged from the searched picture; print too soft to show a grid there,
// sharpened. Only the strongest few: each look costs a few milliseconds.
constexpr int cTurnedLooks = 3;
constexpr int cTileLooks = 2;
// Summed window scores: the smallest card's code fills three or four
// windows, stray print in nine of ten ordinary photos less.
constexpr double cWindowReadFrom = 0.6;
constexpr double cFineWindowReadFrom = 0.3; // the smallest read 0.37, card-free photos below 0.35 in nine of ten
constexpr double cWindowDecodeFrom = 0.5;   // card-free photos below it in six of seven
constexpr double cWindowTurnFrom = 1.0;     // and below this in nine of ten
constexpr int cSoftLooks = 2;

// Patches of print, clearest first. Where modules are fine, the searched
// picture enlarged shows them well enough, and a decode for each would cost
// more than it finds; only a patch as clear as a code's several windows is
// worth one (a blurred small card), and only one a photo. Elsewhere a patch clear
// enough to be a card is read as it is, then turned.
bool readWindowPatches(const QByteArray &bytes, const LumaImage &picture, const std::vector<PrintedWindows> &windows, bool fullSize,
                       bool &decoded, DetectionResult &result)
{
    for (const PrintedWindows &patch : clearestWindows(windows, cTileLooks)) {
        if (!fullSize) {
            if (patch.score < cWindowReadFrom)
                break;
            const LumaImage part = cropLuma(picture, patch.all);
            if (part.isNull())
                continue;
            ++result.closerLooks;
            const QRect whole(0, 0, part.width, part.height);
            addCodes(result, readAll(part, whole, Linear::None).codes, "printed window");
            if (result.codes.isEmpty())
                addCodes(result, readTurned(part, whole, 45).codes, "printed window turned");
            if (!result.codes.isEmpty())
                return true;
            continue;
        }
        if (patch.score < cFineWindowReadFrom)
            break;
        // A patch much larger than its clearest window may run into print
        // beside the code; a small one may still not be centred on it, where
        // the Data Matrix detector starts.
        const bool larger = !patch.all.contains(patch.clearest)
            || patch.all.width() * patch.all.height() > 2 * patch.clearest.width() * patch.clearest.height();
        std::vector<QRect> rects{patch.all};
        if (larger || patch.clearest.center() != patch.all.center())
            rects.push_back(patch.clearest);
        for (const QRect &rect : rects) {
            const LumaImage part = cropLuma(picture, rect);
            if (part.isNull())
                continue;
            ++result.closerLooks;
            const QRect whole(0, 0, part.width, part.height);
            addCodes(result, readEnlarged(part, whole, 2).codes, "printed window enlarged twice");
            if (result.codes.isEmpty())
                addCodes(result, readEnlarged(part, whole, 3).codes, "printed window enlarged three times");
            if (!result.codes.isEmpty())
                return true;
        }
        // A patch as clear as many of a code's windows may be a large code,
        // whose modules the searched picture shows well: a Data Matrix near
        // 45 degrees is read turned.
        if (patch.score >= cWindowTurnFrom) {
            const LumaImage part = cropLuma(picture, patch.all);
            if (!part.isNull()) {
                ++result.closerLooks;
                addCodes(result, readTurned(part, QRect(0, 0, part.width, part.height), 45).codes, "printed window turned");
                if (!result.codes.isEmpty())
                    return true;
            }
        }
        if (decoded || patch.score < cWindowDecodeFrom)
            continue;
        decoded = true;
        const LumaImage sharp = decodeForCloserLook(bytes, patch.all.intersected(picture.sourceRect), result);
        if (sharp.isNull())
            continue;
        const QRect all(0, 0, sharp.width, sharp.height);
        auto inSharp = [&](const QRect &rect) { return rect.intersected(sharp.sourceRect).translated(-sharp.sourceRect.topLeft()); };
        addCodes(result, readAll(sharp, all, Linear::None).codes, "printed window at full size");
        if (larger) {
            for (const QRect &end : patch.ends) {
                const QRect at = inSharp(end);
                if (result.codes.isEmpty() && !at.isEmpty())
                    addCodes(result, readAll(sharp, at, Linear::None).codes, "printed window end at full size");
            }
        }
        if (result.codes.isEmpty())
            addCodes(result, readEnlarged(sharp, all, 2).codes, "printed window at full size enlarged twice");
        if (result.codes.isEmpty())
            addCodes(result, readSharpened(sharp).codes, "printed window sharpened");
        // Too large a patch to enlarge whole: its clearest window alone,
        // where a small blurred code's modules need twice the pixels.
        if (result.codes.isEmpty() && rects.size() > 1 && std::max(sharp.width, sharp.height) > cSharpenTwiceUpTo) {
            const QRect at = inSharp(patch.clearest);
            if (!at.isEmpty())
                addCodes(result, readEnlarged(sharp, at, 2, true).codes, "printed window clearest sharpened");
        }
        if (!result.codes.isEmpty())
            return true;
    }
    return false;
}

void readTurnedLooks(const QByteArray &bytes, const LumaImage &picture, const PrintedPatches &patches, DetectionResult &result)
{
    int looks = 0;
    for (const auto &[rect, located] : patches.whole) {
        if (!result.codes.isEmpty())
            return;
        if (looks == cTurnedLooks)
            break;
        // A located code is decoded at full size with the leads later.
        LumaImage part;
        if (patches.fullSize && !located && std::max(rect.width(), rect.height()) <= cEnlargeUpTo * picture.scale)
            part = decodeForCloserLook(bytes, rect.intersected(picture.sourceRect), result);
        const bool fullSize = !part.isNull();
        if (!fullSize)
            part = cropLuma(picture, rect);
        if (part.isNull())
            continue;
        ++looks;
        ++result.closerLooks;
        const QRect whole(0, 0, part.width, part.height);
        if (fullSize) {
            addCodes(result, readAll(part, whole, Linear::None).codes, "printed patch at full size");
            if (result.codes.isEmpty() && std::max(part.width, part.height) <= cEnlargeThriceUpTo)
                addCodes(result, readEnlarged(part, whole, 2).codes, "printed patch enlarged twice");
            if (!result.codes.isEmpty())
                return;
        } else if (part.scale == 2 && std::max(part.width, part.height) <= cEnlargeUpTo) {
            LumaImage enlarged = enlargeLuma(part, whole, 2);
            enlarged.scale = 1;
            enlarged.sourceRect = part.sourceRect;
            part = std::move(enlarged);
        }
        addCodes(result, readTurned(part, QRect(0, 0, part.width, part.height), 45).codes, "turned");
        if (fullSize && result.codes.isEmpty())
            addCodes(result, readSharpened(part).codes, "printed patch sharpened");
    }
    bool decoded = false;
    if (readWindowPatches(bytes, picture, patches.windows, patches.fullSize, decoded, result))
        return;
    // Soft print, densest first: sharpened, the searched picture shows a
    // blurred small code's modules well enough.
    std::vector<std::pair<double, QRect>> soft = patches.soft;
    std::sort(soft.begin(), soft.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    if (soft.size() > cSoftLooks)
        soft.resize(cSoftLooks);
    for (const auto &entry : soft) {
        const LumaImage part = cropLuma(picture, entry.second);
        if (part.isNull())
            continue;
        ++result.closerLooks;
        addCodes(result, readSharpened(part).codes, "soft patch sharpened");
        if (!result.codes.isEmpty())
            return;
    }
    readWindowPatches(bytes, picture, patches.windowsInPrinted, patches.fullSize, decoded, result);
}

// Searched pixels as scan lines cross a small code's finder pattern: modules
// of 2.5, turned 45 degrees. Larger ones the reader locates itself.
constexpr double cSmallQrModuleUpTo = 3.5;

// A small QR code of a 3000 x 2000 photo, modules near two searched pixels,
// blurred or beside other print: the reader neither reads nor locates it
// there, and its windows score too low for a closer look. Its finder
// patterns still show; where three stand as a small code's corners within a
// patch of print, the code is read at full size, decoded alone. Scenery's
// look-alikes form such corners in about one card-free photo in two hundred.
void readSmallQrCodes(const QByteArray &bytes, const LumaImage &picture, const PrintedPatches &patches, DetectionResult &result,
                      std::vector<Lead> &leads)
{
    std::vector<QRect> where;
    for (const auto &[rect, located] : patches.whole)
        where.push_back(rect);
    for (const auto *windows : {&patches.windows, &patches.windowsInPrinted}) {
        for (const PrintedWindows &patch : *windows)
            where.push_back(patch.all);
    }
    for (const auto &entry : patches.soft)
        where.push_back(entry.second);
    std::vector<QRectF> seen;
    for (const QRect &rect : where) {
        for (const QrLocation &code : locateQrCodes(picture, picture.inPicture(rect), nullptr, true)) {
            if (code.module > cSmallQrModuleUpTo * picture.scale
                || std::max(code.area.width(), code.area.height()) > cEnlargeUpTo * picture.scale
                || std::any_of(seen.begin(), seen.end(), [&](const QRectF &known) { return known.contains(code.area.center()); }))
                continue;
            seen.push_back(code.area);
            const LumaImage part = decodeForCloserLook(bytes, code.area.toAlignedRect().intersected(picture.sourceRect), result);
            if (part.isNull())
                continue;
            ++result.closerLooks;
            const QRect whole(0, 0, part.width, part.height);
            addCodes(result, readAll(part, whole, Linear::None).codes, "small QR code at full size");
            if (result.codes.isEmpty())
                addCodes(result, readEnlarged(part, whole, 2).codes, "small QR code enlarged twice");
            if (result.codes.isEmpty())
                addCodes(result, readEnlarged(part, whole, 3).codes, "small QR code enlarged three times");
            if (!result.codes.isEmpty() || sampleLocatedQr(part, code, "small QR code sampled", result, leads))
                return;
        }
    }
}

// The whole picture at full size, as the reference reads it, before a photo
// with leads is called a possible card.
void readWholeAsReference(const LumaImage &full, const std::vector<Lead> &leads, DetectionResult &result)
{
    ++result.closerLooks;
    const PassOutcome whole = readAll(full, QRect(0, 0, full.width, full.height), Linear::Thorough);
    addCodes(result, whole.codes, "whole picture at full size");
    if (result.codes.isEmpty() && whole.located) {
        const LumaImage half = shrinkLuma(full, 2);
        if (!half.isNull())
            addCodes(result, readAll(half, QRect(0, 0, half.width, half.height), Linear::None).codes, "whole picture at half size");
    }
    if (result.codes.isEmpty()) {
        result.possibleCard = true;
        result.possibleCardWhy = leads.front().why;
    }
}

// Modules far wider than the reader's local threshold window (a card held
// close to the lens) are not even located at the usual scales; a few pixels
// a module is what the reader wants. The full-size reduction for each target
// short side, in steps of two (the region search's half size).
int coarseFactor(int shortSide, int target)
{
    return 2 * std::max(2, int(std::lround(double(shortSide) / target / 2)));
}

constexpr int cCoarseTargets[] = {500, 360, 250, 180};

DetectionResult detectByRegions(const QByteArray &bytes, bool escalate)
{
    DetectionResult result;
    const QSize size = encodedImageSize(bytes);
    const int scale = size.isValid() && std::max(size.width(), size.height()) >= cHalfSizeFrom ? 2 : 1;
    const LumaImage base = timedDecode(bytes, scale, result);
    if (base.isNull())
        return result;
    result.readable = true;

    std::vector<QRect> closerLook;
    PrintedPatches quiet = printedPatchesFor(size, scale);
    std::vector<Lead> leads;
    LumaImage small;
    {
        Stopwatch watch(result.searchMs);
        // Large codes, whole picture, cheaply.
        small = shrinkLuma(base, 2);
        if (!small.isNull())
            takeOutcome(readAll(small, QRect(0, 0, small.width, small.height), Linear::None, Stacked::Skip), result, leads,
                        "whole picture at quarter size");
        searchCandidates(base, small, escalate, result, leads, closerLook, escalate ? &quiet : nullptr);
    }
    if (escalate && result.codes.isEmpty()) {
        Stopwatch watch(result.searchMs);
        const int shortSide = std::min(base.sourceRect.width(), base.sourceRect.height());
        int previous = 2 * base.scale;
        for (const int target : cCoarseTargets) {
            const int factor = std::max(2, int(std::lround(double(shortSide) / target / base.scale)));
            if (factor * base.scale <= previous)
                continue;
            previous = factor * base.scale;
            const LumaImage coarse = factor % 2 == 0 && !small.isNull() ? shrinkLuma(small, factor / 2) : shrinkLuma(base, factor);
            if (coarse.isNull())
                break;
            ++result.regionsSearched;
            takeOutcome(readAll(coarse, QRect(0, 0, coarse.width, coarse.height), Linear::None, Stacked::Skip), result, leads, "coarse");
            if (!result.codes.isEmpty())
                break;
        }
        if (result.codes.isEmpty())
            readTurnedLooks(bytes, base, quiet, result);
        if (result.codes.isEmpty() && !small.isNull())
            readGridsInFrame(small, base, {small.sourceRect}, result, leads);
        if (result.codes.isEmpty() && quiet.fullSize)
            readSmallQrCodes(bytes, base, quiet, result, leads);
    }
    if (!escalate) {
        if (closerLook.empty())
            return result;
        // A code was located but not read: read its regions at full size.
        const LumaImage full = timedDecode(bytes, 1, result);
        if (full.isNull())
            return result;
        Stopwatch watch(result.searchMs);
        for (const QRect &rect : closerLook) {
            const QRect part = rect.intersected(QRect(0, 0, full.width, full.height));
            addCodes(result, readAll(full, part, Linear::Sparse).codes, "full size");
        }
        return result;
    }

    // A card read is what the search is for: other leads are the card's own
    // print or the scenery, and looking closer at them only costs.
    if (!result.codes.isEmpty() || leads.empty())
        return result;
    const LumaImage full = scale == 1 ? base : timedDecode(bytes, 1, result);
    if (full.isNull())
        return result;
    Stopwatch watch(result.searchMs);
    readLeadsCloser(full, leads, result);
    if (result.codes.isEmpty())
        readWholeAsReference(full, leads, result);
    return result;
}

// Screening: photos from this long side are screened at 1/8 (750 px and more
// along the screen's longer side), smaller ones from cHalfSizeFrom at 1/4.
constexpr int cEighthFrom = 5000;

// Where the screen sees what may be a code, in full-size pixels. At 1/8 a
// code of 3.6 % of the short side is a patch of about 18 x 18 pixels that
// differ strongly from their neighbours: small cells, low thresholds and a
// single seed suffice, and generous padding leaves the close look room for
// the code's own search.
std::vector<QRect> screenCandidates(const LumaImage &screen)
{
    RegionFinderParams params;
    params.cellSize = 4;
    params.gradient = 24;
    params.edgesPerCell = 4;
    params.neighbours = 3;
    params.joinRadius = 1;
    params.minSeeds = 1;
    params.padding = 0.5;
    params.minPadCells = 4;
    std::vector<QRect> rects;
    for (const CodeRegion &region : findCodeRegions(screen, params))
        rects.push_back(toFullSize(screen, region.rect));
    // Overlapping candidates become one, so that no part is searched twice.
    for (bool merged = true; merged;) {
        merged = false;
        for (std::size_t i = 0; i < rects.size() && !merged; ++i) {
            for (std::size_t j = i + 1; j < rects.size(); ++j) {
                if (rects[i].intersects(rects[j])) {
                    rects[i] = rects[i].united(rects[j]);
                    rects.erase(rects.begin() + std::ptrdiff_t(j));
                    merged = true;
                    break;
                }
            }
        }
    }
    return rects;
}

// The close look: each candidate searched in the half-size picture as the
// region search searches a whole picture (large codes at quarter size, then
// its own regions).
void lookClosely(const LumaImage &half, const std::vector<QRect> &looks, DetectionResult &result, std::vector<Lead> &leads,
                 PrintedPatches &quiet)
{
    Stopwatch watch(result.searchMs);
    std::vector<QRect> unused;
    for (const QRect &rect : looks) {
        if (coveredShare(rect, result.codes) > 0.5)
            continue;
        const LumaImage part = cropLuma(half, rect);
        if (part.isNull())
            continue;
        ++result.closerLooks;
        const LumaImage small = shrinkLuma(part, 2);
        if (!small.isNull())
            takeOutcome(readAll(small, QRect(0, 0, small.width, small.height), Linear::None, Stacked::Skip), result, leads,
                        "region at quarter size");
        searchCandidates(part, small, true, result, leads, unused, &quiet);
    }
}

DetectionResult detectScreened(const QByteArray &bytes)
{
    const QSize size = encodedImageSize(bytes);
    const int longSide = size.isValid() ? std::max(size.width(), size.height()) : 0;
    // Smaller pictures are searched at full size, which costs little.
    if (!looksLikeJpeg(bytes) || longSide < cHalfSizeFrom)
        return detectByRegions(bytes, true);
    DetectionResult result;
    // Entropy decoding is nearly all of a decode's cost, whatever the scale
    // (24 MP: 77 ms at 1/8, 83 ms at 1/2), so the photo is decoded once, at
    // half size, and the screen made from that; a second decode for the
    // close look would cost more than the screen saves.
    const LumaImage half = timedDecode(bytes, 2, result);
    if (half.isNull())
        return result;
    LumaImage screen;
    {
        Stopwatch watch(result.screenMs);
        screen = shrinkLuma(half, longSide >= cEighthFrom ? 4 : 2);
    }
    if (screen.isNull())
        return result;
    result.readable = true;

    std::vector<Lead> leads;
    std::vector<QRect> looks;
    PrintedPatches quiet = printedPatchesFor(size, 2);
    {
        Stopwatch watch(result.screenMs);
        // A card filling the frame reads here already.
        takeOutcome(readAll(screen, QRect(0, 0, screen.width, screen.height), Linear::None, Stacked::Skip), result, leads, "screen");
        for (const QRect &rect : screenCandidates(screen)) {
            if (coveredShare(rect, result.codes) <= 0.5)
                looks.push_back(rect);
        }
    }
    if (!looks.empty())
        lookClosely(half, looks, result, leads, quiet);
    if (result.codes.isEmpty()) {
        // The region search's coarse reads, made from the screen.
        Stopwatch watch(result.screenMs);
        const int shortSide = std::min(size.width(), size.height());
        int previous = screen.scale;
        for (const int target : cCoarseTargets) {
            const int factor = coarseFactor(shortSide, target);
            if (factor <= previous)
                continue;
            previous = factor;
            const LumaImage coarse = reduceLuma(screen, double(factor) / screen.scale);
            if (coarse.isNull())
                break;
            ++result.regionsSearched;
            takeOutcome(readAll(coarse, QRect(0, 0, coarse.width, coarse.height), Linear::None, Stacked::Skip), result, leads, "coarse");
            if (!result.codes.isEmpty())
                break;
        }
    }
    if (result.codes.isEmpty()) {
        Stopwatch watch(result.searchMs);
        readTurnedLooks(bytes, half, quiet, result);
        if (result.codes.isEmpty())
            readGridsInFrame(screen, half, looks, result, leads);
        if (result.codes.isEmpty() && quiet.fullSize)
            readSmallQrCodes(bytes, half, quiet, result, leads);
    }
    if (!result.codes.isEmpty() || leads.empty())
        return result;

    // Located but not read: the leads at full size, decoded alone.
    QRect span;
    for (const Lead &lead : leads)
        span = span.united(lead.rect);
    const LumaImage part = decodeForCloserLook(bytes, span.intersected(QRect(QPoint(0, 0), size)), result, &result.error);
    if (!part.isNull()) {
        Stopwatch watch(result.searchMs);
        readLeadsCloser(part, leads, result);
        if (!result.codes.isEmpty())
            return result;
    }
    const LumaImage full = timedDecode(bytes, 1, result);
    if (full.isNull())
        return result;
    Stopwatch watch(result.searchMs);
    readWholeAsReference(full, leads, result);
    return result;
}

} // namespace

DetectionResult detectCodesInData(const QByteArray &bytes, const DetectionOptions &options)
{
    DetectionResult result;
    try {
        switch (options.strategy) {
        case DetectionStrategy::Screened:
            result = detectScreened(bytes);
            break;
        case DetectionStrategy::Regions:
        case DetectionStrategy::RegionsWithoutEscalation:
            result = detectByRegions(bytes, options.strategy == DetectionStrategy::Regions);
            break;
        case DetectionStrategy::Naive:
            result = detectNaive(bytes);
            break;
        }
    } catch (const std::exception &e) {
        result.readable = false;
        result.error = QString::fromUtf8(e.what());
    }
    sortByPosition(result.codes);
    return result;
}

namespace {

DetectionResult unreadable(const QString &error)
{
    DetectionResult result;
    result.error = error;
    return result;
}

qint64 areaOf(const QSize &size)
{
    return size.isValid() ? qint64(size.width()) * size.height() : 0;
}

DetectionResult detectInPreview(const QString &path, const EmbeddedPreview &preview, const DetectionOptions &options)
{
    note(QStringLiteral("detectCodes()"),
         QStringLiteral("reading the embedded preview %1 x %2 of ").arg(preview.size.width()).arg(preview.size.height()) + path);
    DetectionResult result = detectCodesInData(preview.data, options);
    result.fromPreview = true;
    return result;
}

// Anything but a JPEG: the file's own picture when a reader of ours decodes
// it and it is not smaller than the largest embedded preview, else that
// preview. (Qt's TIFF reader, where installed, decodes a NEF's 160 px first
// image; the preview beside it is the picture the card shows in.)
DetectionResult detectInOtherFile(const QString &path, QFile &file, const DetectionOptions &options)
{
    const std::optional<EmbeddedPreview> preview = largestEmbeddedPreview(path);
    const QSize ownSize = QImageReader(path).size();
    if (preview && areaOf(preview->size) > areaOf(ownSize))
        return detectInPreview(path, *preview, options);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return unreadable(file.errorString());
    DetectionResult result = detectCodesInData(bytes, options);
    if (!result.readable && preview)
        return detectInPreview(path, *preview, options);
    return result;
}

} // namespace

DetectionResult detectCodes(const QString &path, const DetectionOptions &options)
{
    QFile file;
    if (const FileResult opened = fileops::openForReading(path, file); !opened)
        return unreadable(opened.error);
    if (!looksLikeJpeg(file.peek(4)))
        return detectInOtherFile(path, file, options);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return unreadable(file.errorString());
    return detectCodesInData(bytes, options);
}

} // namespace sorrelby
