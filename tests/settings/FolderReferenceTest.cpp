#include "tests/testkit/fixtures/FolderReferenceScene.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace sorrelby;
using namespace sorrelby::testkit::folderreference;

TEST_F(FolderReference, RenamedOrMovedFolderIsFoundAgainAndReportedStale)
{
    const QString root = testkit::makeTempFolder(QStringLiteral("refs"));
    const QString original = testkit::makeFolder(root + QStringLiteral("/shoots/Source"));
    const auto data = MyBookmarkDataKit::bookmarkForURL(original);
    ASSERT_TRUE(data);

    bool stale = true;
    EXPECT_EQ(MyBookmarkDataKit::urlForBookmark(*data, &stale), original);
    EXPECT_FALSE(stale);

    // Renamed in place.
    const QString renamed = root + QStringLiteral("/shoots/Source 2024");
    ASSERT_TRUE(renamePath(original, renamed));
    EXPECT_EQ(MyBookmarkDataKit::urlForBookmark(*data, &stale), renamed);
    EXPECT_TRUE(stale);

    // Moved elsewhere on the volume, under another parent and deeper down.
    const QString moved = root + QStringLiteral("/archive/2024/May/Source 2024");
    ASSERT_TRUE(renamePath(renamed, moved));
    QString resolved;
    EXPECT_TRUE(MyBookmarkDataKit::resolveAliasFromData(*data, &resolved, &stale));
    EXPECT_EQ(resolved, moved);
    EXPECT_TRUE(stale);

    // A folder of the same name made where the old one stood is not taken
    // for the moved one.
    testkit::makeFolder(original);
    EXPECT_EQ(MyBookmarkDataKit::urlForBookmark(*data, &stale), moved);
}

// A folder moved to the user's trash is refused by the folder checks (their
// tests); a trash on another volume is one too.
TEST_F(FolderReference, TrashesOfOtherVolumesCountAsTrash)
{
    EXPECT_TRUE(MyBookmarkDataKit::isInTrash(QStringLiteral("/media/u/DISK/.Trash-1000/files/Main")));
    EXPECT_TRUE(MyBookmarkDataKit::isInTrash(QStringLiteral("/media/u/DISK/.Trash/1000/files/Main")));
    EXPECT_TRUE(MyBookmarkDataKit::isInTrash(userfolders::dataHome() + QStringLiteral("/Trash/files/Main")));
    EXPECT_FALSE(MyBookmarkDataKit::isInTrash(QStringLiteral("/home/u/Photos.Trash/Main")));
    EXPECT_FALSE(MyBookmarkDataKit::isInTrash(testkit::makeTempFolder(QStringLiteral("trash"))));
}

TEST_F(FolderReference, GoneFolderIsNotFoundUnlessOneStandsAtItsPathAgain)
{
    const QString root = testkit::makeTempFolder(QStringLiteral("gone"));
    const QString folder = testkit::makeFolder(root + QStringLiteral("/Hot"));
    const auto data = MyBookmarkDataKit::bookmarkForURL(folder);
    ASSERT_TRUE(data);
    ASSERT_TRUE(QDir(folder).removeRecursively());

    bool stale = false;
    EXPECT_FALSE(MyBookmarkDataKit::urlForBookmark(*data, &stale));
    EXPECT_FALSE(stale);
    // No reference is stored for a folder that is not there.
    EXPECT_FALSE(MyBookmarkDataKit::savePath(folder, QStringLiteral("prefX")));
    EXPECT_FALSE(MyBookmarkDataKit::savePath(QString(), QStringLiteral("prefX")));
    EXPECT_FALSE(Settings::shared().contains(QStringLiteral("prefX")));

    // Made again at the same path: that is the folder now, with fresh data
    // wanted.
    testkit::makeFolder(folder);
    EXPECT_EQ(MyBookmarkDataKit::urlForBookmark(*data, &stale), folder);
    EXPECT_TRUE(stale);
    // A file of that name is no folder.
    ASSERT_TRUE(QDir(folder).removeRecursively());
    ASSERT_TRUE(testkit::writeFile(folder, "x"));
    EXPECT_FALSE(MyBookmarkDataKit::urlForBookmark(*data, &stale));
}

TEST_F(FolderReference, RecordsVolumeValuesAndReadsThemWithoutResolving)
{
    const QString folder = testkit::makeFolder(testkit::makeTempFolder(QStringLiteral("values")) + QStringLiteral("/Source"));
    const auto data = MyBookmarkDataKit::bookmarkForURL(folder);
    ASSERT_TRUE(data);

    bool answer = false;
    EXPECT_TRUE(MyBookmarkDataKit::isLocal(&answer, *data));
    EXPECT_TRUE(answer);

    // A network volume's values, as recorded for an SMB share.
    QJsonObject o = QJsonDocument::fromJson(*data).object();
    QJsonObject smb = o.value(QLatin1String("resources")).toObject();
    smb.insert(QLatin1String("volumeIsLocal"), false);
    smb.insert(QLatin1String("volumeURLForRemounting"), QStringLiteral("SMB://studio-nas/photos"));
    o.insert(QLatin1String("resources"), smb);
    const QByteArray network = QJsonDocument(o).toJson();
    EXPECT_TRUE(MyBookmarkDataKit::isLocal(&answer, network));
    EXPECT_FALSE(answer);

    // Bytes that are no reference.
    bool stale = false;
    EXPECT_FALSE(MyBookmarkDataKit::urlForBookmark(QByteArray("not json"), &stale));
    EXPECT_FALSE(MyBookmarkDataKit::isLocal(&answer, QByteArray("{}")));
}

TEST_F(FolderReference, FolderOnAnotherFileSystemIsFoundThere)
{
    const QString other = testkit::otherFileSystemFolder();
    if (other.isEmpty())
        GTEST_SKIP() << "no second file system";
    const QString folder = testkit::makeFolder(other + QStringLiteral("/cards/Source"));
    const auto data = MyBookmarkDataKit::bookmarkForURL(folder);
    ASSERT_TRUE(data);
    const QString renamed = other + QStringLiteral("/cards/Renamed");
    ASSERT_TRUE(renamePath(folder, renamed));
    bool stale = false;
    EXPECT_EQ(MyBookmarkDataKit::urlForBookmark(*data, &stale), renamed);
    EXPECT_TRUE(stale);
}
