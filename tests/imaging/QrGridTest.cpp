// The QR grid sampler: the alignment patterns of every version where the
// writer puts them, bowed and dense codes read that the reader alone misses,
// codes located in a reduced picture and read in a finer one (also when the
// reduced picture shows two of their finder patterns), the patterns of a small
// blurred code found, and three patterns round noise read as nothing (no
// abort inside the reader).

#include "imaging/QrGrid.h"

#include "imaging/ZXingCompat.h"
#include "tests/testkit/photos/CardGenerator.h"

#include <QPainter>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace sorrelby;
using namespace sorrelby::testkit;

namespace {

LumaImage lumaOf(const QImage &image)
{
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    LumaImage luma;
    luma.width = grey.width();
    luma.height = grey.height();
    luma.sourceRect = QRect(0, 0, grey.width(), grey.height());
    luma.pixels.resize(std::size_t(luma.width) * std::size_t(luma.height));
    for (int y = 0; y < luma.height; ++y)
        std::copy_n(grey.constScanLine(y), luma.width, luma.row(y));
    return luma;
}

QString payloadOf(int length)
{
    QString payload;
    for (int i = 0; payload.size() < length; ++i)
        payload += QStringLiteral("Lindenhof 4b pupil %1, ").arg(i);
    return payload.left(length);
}

CardPhotoSpec bowedCard(const QString &payload, int side, double rotation, double bend)
{
    PhotoSpec photo;
    photo.size = QSize(1600, 1400);
    photo.seed = 77;
    CardPhotoSpec spec = cardPhotoSpec(payload, photo);
    spec.codes[0].side = side;
    spec.codes[0].rotation = rotation;
    spec.codes[0].bend = bend;
    spec.codes[0].center = QPointF(0.5, 0.45);
    return spec;
}

// zxing-cpp 2 reads some of these codes itself.
[[maybe_unused]] bool readerAloneReads(const LumaImage &luma)
{
    zxingcompat::ReaderOptions options = zxingcompat::readerOptions();
    options.setFormats(ZXing::BarcodeFormat::QRCode).setTryHarder(true).setTryRotate(true);
    const ZXing::ImageView view(luma.pixels.data(), luma.width, luma.height, ZXing::ImageFormat::Lum);
    for (const auto &result : ZXing::ReadBarcodes(view, options)) {
        if (result.isValid())
            return true;
    }
    return false;
}

TEST(QrGrid, AlignmentPatternsStandWhereTheWriterPutsThemInEveryVersion)
{
    std::set<int> versions;
    for (int length = 1; length <= 2900 && versions.size() < 40; length += 7) {
        const QImage modules = codeModules(QString(length, QLatin1Char('a')), Symbology::QRCode);
        ASSERT_FALSE(modules.isNull()) << length;
        const int version = (modules.width() - 17) / 4;
        if (!versions.insert(version).second)
            continue;
        SCOPED_TRACE(version);
        const std::vector<int> lines = qrAlignmentPositions(version);
        ASSERT_EQ(lines.size(), version == 1 ? 0u : std::size_t(version / 7 + 2));
        const auto dark = [&](int x, int y) { return qGray(modules.pixel(x, y)) < 128; };
        const int n = modules.width();
        for (const int cy : lines) {
            for (const int cx : lines) {
                const bool underFinder = (cx < 9 && cy < 9) || (cx > n - 9 && cy < 9) || (cx < 9 && cy > n - 9);
                if (underFinder)
                    continue;
                for (int dy = -2; dy <= 2; ++dy) {
                    for (int dx = -2; dx <= 2; ++dx)
                        EXPECT_EQ(dark(cx + dx, cy + dy), std::max(std::abs(dx), std::abs(dy)) != 1) << cx << "," << cy;
                }
            }
        }
    }
    EXPECT_EQ(versions.size(), 40u);
}

TEST(QrGrid, BowedAndDenseCodesAreReadWhereTheReaderAloneMissesThem)
{
    struct Case {
        const char *what;
        int payloadLength;
        int side;
        double rotation;
        double bend;
    };
    const Case cases[] = {
        {"version 10 or so, bowed two modules", 200, 700, 14, 0.035},
        {"version 25 or so, bowed, nearly upright", 700, 1000, 3, 0.02},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QString payload = payloadOf(c.payloadLength);
        const LumaImage luma = lumaOf(renderCardPhoto(bowedCard(payload, c.side, c.rotation, c.bend)));
#if !SORRELBY_ZXING_AT_LEAST(2, 0)
        EXPECT_FALSE(readerAloneReads(luma));
#endif
        const std::vector<QrGridRead> reads = readQrGrids(luma, QRect(0, 0, luma.width, luma.height));
        ASSERT_EQ(reads.size(), 1u);
        EXPECT_EQ(reads[0].text, payload);
        EXPECT_GE(reads[0].version, 7);
        // The bounds hold the code, and not much more.
        const QPointF centre(0.5 * luma.width, 0.45 * luma.height);
        EXPECT_TRUE(reads[0].bounds.contains(centre));
        EXPECT_LT(reads[0].bounds.width(), 1.6 * c.side);

        // Located in a picture reduced four times, read in one reduced twice.
        const LumaImage coarse = shrinkLuma(luma, 4);
        const LumaImage fine = shrinkLuma(luma, 2);
        const std::vector<QrLocation> located = locateQrCodes(coarse, QRect(0, 0, coarse.width, coarse.height));
        ASSERT_EQ(located.size(), 1u);
        EXPECT_TRUE(located[0].area.contains(centre));
        const std::optional<QrGridRead> read = readQrGridAt(fine, located[0]);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->text, payload);
    }
}

TEST(QrGrid, TwoFinderPatternsOfThreeInAReducedPictureLeadToTheCodeInAFinerOne)
{
    const QString payload = payloadOf(700);
    const LumaImage luma = lumaOf(renderCardPhoto(bowedCard(payload, 1000, 3, 0.02)));
    const LumaImage fine = shrinkLuma(luma, 2);
    LumaImage coarse = shrinkLuma(luma, 4);
    std::vector<QRectF> partly;
    const std::vector<QrLocation> located = locateQrCodes(coarse, QRect(0, 0, coarse.width, coarse.height), &partly);
    ASSERT_EQ(located.size(), 1u);
    EXPECT_TRUE(partly.empty()) << "a located code's own patterns are no pair";

    // Blur or glare takes the top right pattern from the reduced picture.
    const QPointF hidden = located[0].finders[1] / 4;
    const int reach = int(6 * located[0].module / 4);
    for (int y = int(hidden.y()) - reach; y <= int(hidden.y()) + reach; ++y)
        std::fill_n(coarse.row(y) + int(hidden.x()) - reach, 2 * reach + 1, std::uint8_t(200));
    EXPECT_TRUE(locateQrCodes(coarse, QRect(0, 0, coarse.width, coarse.height), &partly).empty());
    ASSERT_FALSE(partly.empty());
    const QRectF &area = partly[0];
    EXPECT_TRUE(area.contains(located[0].area.center()));
    EXPECT_TRUE(area.contains(located[0].finders[1])) << "wherever the third pattern is, the area holds it";

    const QRect inFine = QRectF(area.topLeft() / 2, area.bottomRight() / 2).toAlignedRect();
    const std::vector<QrLocation> found = locateQrCodes(fine, inFine);
    ASSERT_EQ(found.size(), 1u);
    const std::optional<QrGridRead> read = readQrGridAt(fine, found[0]);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->text, payload);
}

TEST(QrGrid, ABlurredSmallCodeShowsAllThreeFinderPatterns)
{
    // Blur greys the light ring of patterns of four pixels a module, and
    // round a small code the threshold is mostly paper's: one of the three
    // passes for dark across.
    const LumaImage luma = lumaOf(renderCardPhoto(glanceCardSpec(21012, 1000, QSize(3000, 2000))));
    const std::vector<QrFinder> finders = findQrFinders(luma, QRect(690, 1292, 200, 200));
    const int inCode = int(
        std::count_if(finders.begin(), finders.end(), [](const QrFinder &f) { return QRectF(740, 1340, 100, 100).contains(f.centre); }));
    EXPECT_EQ(inCode, 3);

    // At half size its modules are under two pixels, and blur makes its
    // patterns measure fewer than a version 1 code's modules apart: only the
    // search for small codes locates it.
    const LumaImage half = shrinkLuma(luma, 2);
    const QRect around = half.inPicture(QRect(640, 1232, 240, 240));
    EXPECT_TRUE(locateQrCodes(half, around).empty());
    const std::vector<QrLocation> small = locateQrCodes(half, around, nullptr, true);
    ASSERT_EQ(small.size(), 1u);
    EXPECT_TRUE(small[0].area.contains(QPointF(790, 1390)));
}

TEST(QrGrid, FinderPatternsRoundNoiseReadAsNothing)
{
    // Three perfect finder patterns of a version 10 code, random modules
    // between them: every version near is tried, none decodes.
    const int n = 57, module = 6;
    QImage image((n + 8) * module, (n + 8) * module, QImage::Format_Grayscale8);
    image.fill(255);
    QPainter p(&image);
    QRandomGenerator random(5);
    const auto fill = [&](int x, int y) { p.fillRect((x + 4) * module, (y + 4) * module, module, module, Qt::black); };
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const bool finder = (x < 8 && y < 8) || (x >= n - 8 && y < 8) || (x < 8 && y >= n - 8);
            if (!finder && random.bounded(2) == 0)
                fill(x, y);
        }
    }
    for (const auto &[fx, fy] : {std::pair{0, 0}, std::pair{n - 7, 0}, std::pair{0, n - 7}}) {
        for (int y = 0; y < 7; ++y) {
            for (int x = 0; x < 7; ++x) {
                const int ring = std::max(std::abs(x - 3), std::abs(y - 3));
                if (ring != 2)
                    fill(fx + x, fy + y);
            }
        }
    }
    p.end();
    const LumaImage luma = lumaOf(image);
    EXPECT_GE(findQrFinders(luma, QRect(0, 0, luma.width, luma.height)).size(), 3u);
    EXPECT_TRUE(readQrGrids(luma, QRect(0, 0, luma.width, luma.height)).empty());
    EXPECT_EQ(locateQrCodes(luma, QRect(0, 0, luma.width, luma.height)).size(), 1u);
}

} // namespace
