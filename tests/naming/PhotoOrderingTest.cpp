#include "naming/PhotoOrdering.h"
#include "platform/FileOps.h"
#include "tests/testkit/TestEnvironment.h"

#include <QDateTime>

#include <gtest/gtest.h>

using namespace sorrelby;

namespace {

// Modification times in the past make the creation date (the earlier of
// birth and modification time) what the test says.
QString photo(const QString &folder, const QString &name, const QDateTime &taken)
{
    const QString path = folder + u'/' + name;
    EXPECT_TRUE(testkit::writeFile(path, name.toUtf8()));
    EXPECT_TRUE(fileops::setModificationDate(path, taken).ok);
    return path;
}

QDateTime at(int minute, int second = 0)
{
    return QDateTime(QDate(2021, 6, 5), QTime(10, minute, second));
}

QStringList sorted(const QStringList &paths, SortDirection direction, const QString &key = {})
{
    const auto result = sortImageUrls(paths, direction, key);
    EXPECT_TRUE(result.has_value());
    EXPECT_EQ(sortImageUrls222(paths, direction, key), result);
    return result.value_or(QStringList());
}

} // namespace

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
