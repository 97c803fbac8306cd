#include "tests/testkit/fixtures/PhotoOrderingScene.h"

#include <algorithm>

using namespace sorrelby::testkit::photoordering;

TEST(PhotoOrdering, CreationDateFirstThenNameInTheSameDirection)
{
    const QString folder = testkit::makeTempFolder(QStringLiteral("order"));
    const QString late = photo(folder, QStringLiteral("AAA_0001.JPG"), at(30));
    const QString third = photo(folder, QStringLiteral("IMG_0003.JPG"), at(10));
    const QString second = photo(folder, QStringLiteral("IMG_0002.JPG"), at(10));
    const QString early = photo(folder, QStringLiteral("ZZZ_0009.JPG"), at(5));
    const QStringList input{late, third, second, early};

    EXPECT_EQ(sorted(input, SortDirection::Ascending), (QStringList{early, second, third, late}));
    EXPECT_EQ(sorted(input, SortDirection::Descending), (QStringList{late, third, second, early}));
    EXPECT_EQ(sorted(input, SortDirection::Ascending, QString(cSortKeyCreationDate)), (QStringList{early, second, third, late}));
    EXPECT_EQ(sorted(input, SortDirection::Ascending, QString(cSortKeyModificationDate)), (QStringList{early, second, third, late}));
    EXPECT_EQ(sorted({}, SortDirection::Ascending), QStringList());
}

TEST(PhotoOrdering, EqualNameAndDateKeepTheInputOrder)
{
    const QString a = photo(testkit::makeTempFolder(QStringLiteral("a")), QStringLiteral("IMG_0001.JPG"), at(1));
    const QString b = photo(testkit::makeTempFolder(QStringLiteral("b")), QStringLiteral("IMG_0001.JPG"), at(1));
    const QString c = photo(testkit::makeTempFolder(QStringLiteral("c")), QStringLiteral("IMG_0001.JPG"), at(1));
    for (const auto direction : {SortDirection::Ascending, SortDirection::Descending}) {
        EXPECT_EQ(sorted({b, c, a}, direction), (QStringList{b, c, a}));
        EXPECT_EQ(sorted({c, a, b}, direction, QString(cSortKeyName)), (QStringList{c, a, b}));
    }
}

TEST(PhotoOrdering, NamesCompareLiterally)
{
    const QString folder = testkit::makeTempFolder(QStringLiteral("names"));
    const QString ten = photo(folder, QStringLiteral("IMG_10.JPG"), at(1));
    const QString nine = photo(folder, QStringLiteral("IMG_9.JPG"), at(2));
    const QString upper = photo(folder, QStringLiteral("B.JPG"), at(3));
    const QString lower = photo(folder, QStringLiteral("a.JPG"), at(4));
    const QString accented = photo(folder, QStringLiteral("\u00c9.JPG"), at(5));
    const QStringList input{lower, accented, nine, upper, ten};

    const QStringList ascending{upper, ten, nine, lower, accented};
    EXPECT_EQ(sorted(input, SortDirection::Ascending, QString(cSortKeyName)), ascending);
    EXPECT_EQ(sorted(input, SortDirection::Ascending, QString(cSortKeyLocalizedName)), ascending);
    EXPECT_EQ(sorted(input, SortDirection::Descending, QString(cSortKeyName)), (QStringList{accented, lower, nine, ten, upper}));
}

TEST(PhotoOrdering, UnreadableDatesSortByNameAfterDatedPhotos)
{
    const QString folder = testkit::makeTempFolder(QStringLiteral("gone"));
    const QString dated1 = photo(folder, QStringLiteral("M_1.JPG"), at(1));
    const QString dated2 = photo(folder, QStringLiteral("A_2.JPG"), at(2));
    const QString goneZ = folder + QStringLiteral("/Z_gone.JPG");
    const QString goneB = folder + QStringLiteral("/B_gone.JPG");
    const QStringList input{goneZ, dated2, goneB, dated1};

    // A total order even when dated and undated photos mix.
    EXPECT_EQ(sorted(input, SortDirection::Ascending), (QStringList{dated1, dated2, goneB, goneZ}));
    EXPECT_EQ(sorted(input, SortDirection::Descending), (QStringList{goneZ, goneB, dated2, dated1}));
    EXPECT_EQ(sorted({goneZ, goneB}, SortDirection::Ascending), (QStringList{goneB, goneZ}));
    // A key without a date here orders by name.
    EXPECT_EQ(sorted(input, SortDirection::Ascending, QStringLiteral("addedToDirectoryDate")), (QStringList{dated2, goneB, dated1, goneZ}));
}

TEST(PhotoOrdering, CaptureTimesInThePhotosOrderACopyThatLostItsFileDates)
{
    testkit::initializePhotoKit();
    const QString folder = testkit::makeTempFolder(QStringLiteral("exif"));
    const QDateTime copied = at(50);
    // Names against the capture order (a wrapped counter), file dates all
    // equal: only the Exif knows the order.
    const QString first = exifPhoto(folder, QStringLiteral("DSC_9999.JPG"), at(1), copied);
    const QString second = exifPhoto(folder, QStringLiteral("DSC_0001.JPG"), at(2), copied);
    const QString third = exifPhoto(folder, QStringLiteral("DSC_0000.JPG"), at(3), copied);
    EXPECT_EQ(sorted({third, first, second}, SortDirection::Ascending), (QStringList{first, second, third}));
    EXPECT_EQ(sorted({third, first, second}, SortDirection::Descending), (QStringList{third, second, first}));

    // File dates shuffled against the capture times.
    const QString a = exifPhoto(folder, QStringLiteral("A.JPG"), at(10), at(40));
    const QString b = exifPhoto(folder, QStringLiteral("B.JPG"), at(11), at(20));
    const QString c = exifPhoto(folder, QStringLiteral("C.JPG"), at(12), at(30));
    EXPECT_EQ(sorted({c, b, a}, SortDirection::Ascending), (QStringList{a, b, c}));
    // The file date stays the order of the modification-date key.
    EXPECT_EQ(sorted({c, b, a}, SortDirection::Ascending, QString(cSortKeyModificationDate)), (QStringList{b, c, a}));

    // A burst within one FAT tick: the same second in DateTimeOriginal, the
    // sub-seconds tell; without them, equal times go by name.
    const QDateTime tick = at(20, 4);
    const QString burst1 = exifPhoto(folder, QStringLiteral("Z_1.JPG"), tick.addMSecs(80), tick);
    const QString burst2 = exifPhoto(folder, QStringLiteral("Y_2.JPG"), tick.addMSecs(330), tick);
    const QString burst3 = exifPhoto(folder, QStringLiteral("X_3.JPG"), tick.addMSecs(950), tick);
    EXPECT_EQ(sorted({burst3, burst1, burst2}, SortDirection::Ascending), (QStringList{burst1, burst2, burst3}));
    const QString plain1 = exifPhoto(folder, QStringLiteral("Q_1.JPG"), tick.addMSecs(80), tick, 0);
    const QString plain2 = exifPhoto(folder, QStringLiteral("P_2.JPG"), tick.addMSecs(950), tick, 0);
    EXPECT_EQ(sorted({plain1, plain2}, SortDirection::Ascending), (QStringList{plain2, plain1}));
}

TEST(PhotoOrdering, PhotosWithoutCaptureTimeAmongOthersFallBackToFileDates)
{
    testkit::initializePhotoKit();
    const QString folder = testkit::makeTempFolder(QStringLiteral("mixed"));
    const QString a = exifPhoto(folder, QStringLiteral("A.JPG"), at(10), at(3));
    const QString b = exifPhoto(folder, QStringLiteral("B.JPG"), QDateTime(), at(2));
    const QString c = exifPhoto(folder, QStringLiteral("C.JPG"), at(12), at(1));
    // Exif alone would say a, c; with b among them the file dates decide,
    // for all three alike, so the order stays total.
    EXPECT_EQ(sorted({a, b, c}, SortDirection::Ascending), (QStringList{c, b, a}));
    EXPECT_EQ(sorted({a, c}, SortDirection::Ascending), (QStringList{a, c}));
}

// Enough photos to read their capture times on several threads: the order
// is the Exif's all the same, and one photo without a time anywhere among
// them (here the last read) still sends the whole folder to file dates.
TEST(PhotoOrdering, ManyPhotosReadOnSeveralThreadsOrderAsFew)
{
    testkit::initializePhotoKit();
    const QString folder = testkit::makeTempFolder(QStringLiteral("many"));
    constexpr int cCount = 300;
    QStringList inCaptureOrder;
    QStringList byFileDate;
    for (int i = 0; i < cCount; ++i) {
        // Names and file dates both run against the capture order.
        const QString name = QStringLiteral("DSC_%1.JPG").arg(cCount - i, 4, 10, QLatin1Char('0'));
        inCaptureOrder << exifPhoto(folder, name, at(0).addMSecs(i * 250), at(59).addSecs(-i));
    }
    byFileDate = inCaptureOrder;
    std::reverse(byFileDate.begin(), byFileDate.end());
    QStringList shuffled = inCaptureOrder;
    std::reverse(shuffled.begin(), shuffled.begin() + cCount / 2);
    EXPECT_EQ(sorted(shuffled, SortDirection::Ascending), inCaptureOrder);

    const QString undated = exifPhoto(folder, QStringLiteral("DSC_0000.JPG"), QDateTime(), at(0));
    byFileDate.prepend(undated);
    EXPECT_EQ(sorted(shuffled + QStringList{undated}, SortDirection::Ascending), byFileDate);
}

TEST(PhotoMetadata, CaptureClockReadsSubSecondsAsAFraction)
{
    const qint64 base = *parseCaptureClock(QStringLiteral("2024:05:01 13:45:10"), {});
    EXPECT_EQ(parseCaptureClock(QStringLiteral("2024:05:01 13:45:10"), QStringLiteral("5")), base + 500);
    EXPECT_EQ(parseCaptureClock(QStringLiteral("2024:05:01 13:45:10"), QStringLiteral("05")), base + 50);
    EXPECT_EQ(parseCaptureClock(QStringLiteral("2024:05:01 13:45:10"), QStringLiteral("123456")), base + 123);
    EXPECT_EQ(parseCaptureClock(QStringLiteral("2024:05:01 13:45:11"), QStringLiteral("x")), base + 1000);
    // A time a clock change skips in local time still orders.
    EXPECT_TRUE(parseCaptureClock(QStringLiteral("2024:03:31 02:30:00"), {}).has_value());
    EXPECT_FALSE(parseCaptureClock(QStringLiteral("0000:00:00 00:00:00"), {}).has_value());
    EXPECT_FALSE(parseCaptureClock(QString(), {}).has_value());
}
