// The screen of large photos: decoded at 1/8 or 1/4, decoded again only where
// a code may be. It must never lose a code the half-size region search reads:
// the hard cases one by one, a varied set against the region search, and the
// strip decoder that must give the very pixels of a whole decode.

#include "tests/testkit/fixtures/CodeScreenScene.h"

#include <QRandomGenerator>

#include <cmath>

using namespace sorrelby::testkit::codescreen;

namespace {

TEST(LumaRegions, StripDecodeGivesTheWholeDecodesPixels)
{
    const QSize size(2000, 1500);
    const QByteArray jpeg = encodeJpeg(makeBackground(size, 3), 92);
    const QRect regions[] = {
        QRect(QPoint(0, 0), size),   // the whole picture
        QRect(333, 217, 401, 299),   // off every block boundary
        QRect(1900, 1400, 300, 300), // over the bottom-right corner
        QRect(0, 1000, 64, 500),     // the left edge down to the bottom
        QRect(1999, 1499, 1, 1),     // the last pixel
    };
    for (const int scale : {1, 2, 4, 8}) {
        QString error;
        const LumaImage whole = decodeLuma(jpeg, scale, &error);
        ASSERT_FALSE(whole.isNull()) << error.toStdString();
        for (const QRect &region : regions) {
            SCOPED_TRACE(testing::Message() << "scale " << scale << " region " << region.x() << "," << region.y());
            const LumaImage part = decodeLumaRegion(jpeg, scale, region, &error);
            ASSERT_FALSE(part.isNull()) << error.toStdString();
            EXPECT_EQ(part.scale, scale);
            EXPECT_TRUE(part.sourceRect.contains(region.intersected(whole.sourceRect)));
            const LumaImage expected = cropLuma(whole, part.sourceRect);
            EXPECT_EQ(part.width, expected.width);
            EXPECT_EQ(part.height, expected.height);
            EXPECT_TRUE(part.pixels == expected.pixels);
        }
        EXPECT_TRUE(decodeLumaRegion(jpeg, scale, QRect(2100, 0, 50, 50), &error).isNull());
    }

    // A damaged file decodes what it holds, or fails; it never takes the
    // process down. Other types are decoded whole and cut.
    QString error;
    for (const qsizetype length : {jpeg.size() / 3, qsizetype(600), qsizetype(3)})
        decodeLumaRegion(jpeg.left(length), 2, QRect(100, 1200, 300, 200), &error);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(makeBackground(QSize(400, 300), 4).save(&buffer, "PNG"));
    const LumaImage cut = decodeLumaRegion(png, 2, QRect(100, 50, 60, 40), &error);
    EXPECT_EQ(cut.sourceRect, QRect(100, 50, 60, 40));
    EXPECT_TRUE(cut.pixels == cropLuma(decodeLuma(png, 2, &error), cut.sourceRect).pixels);
}

TEST(LumaRegions, AReducedPixelIsTheMeanOfItsFootprint)
{
    // Averaging by a ratio that is not whole keeps a flat picture flat.
    LumaImage flat;
    flat.width = 90;
    flat.height = 60;
    flat.sourceRect = QRect(0, 0, 90 * 8, 60 * 8);
    flat.scale = 8;
    flat.pixels.assign(90 * 60, 77);
    const LumaImage reduced = reduceLuma(flat, 1.5);
    EXPECT_EQ(reduced.width, 60);
    EXPECT_EQ(reduced.height, 40);
    EXPECT_EQ(reduced.scale, 12);
    EXPECT_TRUE(std::all_of(reduced.pixels.begin(), reduced.pixels.end(), [](std::uint8_t v) { return v == 77; }));

    // Each reduced pixel is the rounded mean of the pixels whose centres lie
    // in its footprint, whatever loops compute it; the remainder beyond the
    // last whole footprint is left out.
    LumaImage noisy;
    noisy.width = 203;
    noisy.height = 101;
    noisy.sourceRect = QRect(0, 0, 203, 101);
    QRandomGenerator random(11);
    for (int i = 0; i < noisy.width * noisy.height; ++i)
        noisy.pixels.push_back(std::uint8_t(random.bounded(256)));
    for (const double ratio : {4.0, 3.0, 2.5, 1.5}) {
        SCOPED_TRACE(ratio);
        const LumaImage out = reduceLuma(noisy, ratio);
        ASSERT_EQ(out.width, int(203 / ratio));
        const auto first = [&](int i) { return int(std::ceil(i * ratio - 0.5)); };
        for (int y = 0; y < out.height; ++y) {
            for (int x = 0; x < out.width; ++x) {
                int sum = 0, count = 0;
                for (int sy = first(y); sy < first(y + 1); ++sy) {
                    for (int sx = first(x); sx < first(x + 1); ++sx, ++count)
                        sum += noisy.row(sy)[sx];
                }
                ASSERT_EQ(out.row(y)[x], (sum + count / 2) / count) << x << "," << y;
            }
        }
    }
}

// The cases a screen at 1/8 is likeliest to miss, each read by it.
TEST_F(ScreenedDetection, HardCasesAreRead)
{
    const QSize large(6000, 4000);
    struct Case {
        const char *what;
        QString payload;
        Symbology symbology;
        CodeSpec shape;
        double blur;
    };
    const Case cases[] = {
        {"a small card near an edge", QStringLiteral("EDGE-1"), Symbology::QRCode, shape(144, {0.04, 0.9}, 10), 0},
        {"a card filling the frame", QStringLiteral("CLOSE-2"), Symbology::QRCode, shape(3400, {0.5, 0.5}, 3), 0},
        {"a blurred card", QStringLiteral("BLUR-3"), Symbology::QRCode, shape(260, {0.7, 0.3}, -20, 0.05), 2},
        {"a Data Matrix", QStringLiteral("DM-4"), Symbology::DataMatrix, shape(220, {0.3, 0.6}, 15, 0.05), 1},
        {"a barcode", QStringLiteral("BAR-2024-5"), Symbology::Code128, shape(0, {0.6, 0.7}, 4), 0},
        {"an upright barcode", QStringLiteral("UP6"), Symbology::Code39, shape(0, {0.2, 0.35}, 90), 0},
    };
    quint32 seed = 700;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray jpeg = cardPhoto(c.payload, c.symbology, large, ++seed, c.shape, c.blur);
        DetectionResult result;
        EXPECT_EQ(textsWith(jpeg, DetectionStrategy::Screened, &result), QStringList{c.payload});
        EXPECT_FALSE(result.possibleCard);
    }
    // A photo without a card: nothing read, nothing marked.
    DetectionResult ordinary;
    EXPECT_TRUE(textsWith(encodeJpeg(makeBackground(large, 707), 92), DetectionStrategy::Screened, &ordinary).isEmpty());
    EXPECT_TRUE(ordinary.readable);
    EXPECT_FALSE(ordinary.possibleCard);
}

// Whatever the region search reads on a varied set, the screen reads too, and
// nothing else.
TEST_F(ScreenedDetection, ReadsEverythingTheRegionSearchReads)
{
    const QSize sizes[] = {{6000, 4000}, {4000, 6000}, {4000, 3000}, {5472, 3648}};
    const Symbology symbologies[]
        = {Symbology::QRCode, Symbology::DataMatrix, Symbology::QRCode, Symbology::Code128, Symbology::DataMatrix, Symbology::Code39};
    constexpr int cCards = 12;
    int readByRegions = 0;
    for (int i = 0; i < cCards + 2; ++i) {
        const QSize size = sizes[i % 4];
        const int shortSide = std::min(size.width(), size.height());
        const bool card = i < cCards;
        const QString payload = QStringLiteral("V%1-%2").arg(i).arg((i * 7919) % 1000);
        const Symbology symbology = symbologies[i % 6];
        const bool linear = symbology == Symbology::Code128 || symbology == Symbology::Code39;
        // 3.6 to 22 % of the short side, spread over the frame, edges included.
        const int side = linear ? 0 : int(shortSide * (0.036 + 0.184 * ((i * 5) % cCards) / (cCards - 1)));
        const QPointF center(0.08 + 0.84 * ((i * 7) % 11) / 10.0, 0.1 + 0.8 * ((i * 3) % 7) / 6.0);
        const CodeSpec code = shape(side, center, linear ? (i % 2) * 90 : (i * 47) % 360 - 180, linear ? 0 : 0.15 * (i % 4) / 3);
        const QByteArray jpeg = card ? cardPhoto(payload, symbology, size, quint32(800 + i), code, i % 3)
                                     : encodeJpeg(makeBackground(size, quint32(800 + i)), 92);
        SCOPED_TRACE(testing::Message() << "photo " << i << " side " << side << " " << payload.toStdString());
        const QStringList before = textsWith(jpeg, DetectionStrategy::Regions);
        const QStringList now = textsWith(jpeg, DetectionStrategy::Screened);
        readByRegions += before.contains(payload) ? 1 : 0;
        for (const QString &text : before)
            EXPECT_TRUE(now.contains(text)) << "lost " << text.toStdString();
        for (const QString &text : now)
            EXPECT_TRUE(card && text == payload) << "false code " << text.toStdString();
    }
    // The set is worth comparing only when the region search reads it.
    EXPECT_GE(readByRegions, cCards - 2);
}

} // namespace
