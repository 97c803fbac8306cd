// The rename service: whatever text or name it is handed, a photo stays in
// its folder, visible, under one clean name, and never replaces another
// photo; its observers hear of each rename made, once.

#include "naming/PhotoRename.h"
#include "naming/FileNameScheme.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"
#include "tests/testkit/FuseVolume.h"
#include "tests/testkit/HostilePayloads.h"
#include "tests/testkit/TestEnvironment.h"

#include <QFile>

#include <gtest/gtest.h>

#include <mutex>
#include <unistd.h>

using namespace sorrelby;
using namespace sorrelby::testkit;

TEST(RenameService, TextFromOutsideNeverLeadsAPhotoOutOfItsFolder)
{
    Settings::shared().setValue(cPrefOriginalNameFormatTag, 1);
    Settings::shared().setValue(cPrefDecodeForUrlString, false);
    const QString root = makeTempFolder(QStringLiteral("rename"));
    const QString folder = makeFolder(root + QStringLiteral("/shoot"));
    const QString photo = writeFilesInOrder(folder, {QStringLiteral("IMG_0001.JPG")}).first();

    // Names built elsewhere: none may climb out, reach into a sub-folder,
    // hide the photo, carry a line break, or be too long for the disk.
    const QStringList unsafe{QStringLiteral("../IMG_0001.JPG"),
                             QStringLiteral("sub/IMG_0001.JPG"),
                             QStringLiteral(".IMG_0001.JPG"),
                             QStringLiteral(".."),
                             QStringLiteral("A\nB_IMG_0001.JPG"),
                             QStringLiteral("A") + QChar(0) + QStringLiteral("_X.JPG"),
                             QString(),
                             QString(250, QChar(0x00E9)) + QStringLiteral(".JPG")};
    for (const QString &name : unsafe) {
        const PhotoRename rename = renamePhoto(photo, name);
        EXPECT_EQ(rename.outcome, PhotoRename::Kept) << printablePayload(name).toStdString();
        EXPECT_FALSE(rename.why.isEmpty());
    }
    EXPECT_EQ(lines(entriesOf(root)), lines({QStringLiteral("shoot")}));
    EXPECT_EQ(lines(entriesOf(folder)), lines({QStringLiteral("IMG_0001.JPG")}));

    // Codes typed, scanned or dropped: each is cleaned into one name in the
    // folder or refused, the photo untouched then.
    QString current = photo;
    for (const HostilePayload &payload : hostilePayloads()) {
        const PhotoRename rename = renamePhotoToCode(current, payload.text, 1);
        const std::string shown = printablePayload(payload.text).toStdString();
        if (payload.refused) {
            EXPECT_EQ(rename.outcome, PhotoRename::Kept) << shown;
            continue;
        }
        ASSERT_TRUE(rename) << shown << " " << rename.why.toStdString();
        EXPECT_TRUE(QFile::exists(rename.to)) << shown;
        EXPECT_EQ(folderOf(rename.to), folder) << shown;
        EXPECT_TRUE(isSafeFileName(fileNameOf(rename.to))) << shown;
        EXPECT_TRUE(fileNameOf(rename.to).endsWith(QStringLiteral("_IMG_0001.JPG"))) << shown;
        current = rename.to;
    }
    EXPECT_EQ(entriesOf(folder).size(), 1);
    EXPECT_EQ(renamePhotoToCode(current, QStringLiteral("  Smith/John\r\n"), 1).to, folder + QStringLiteral("/Smith:John_IMG_0001.JPG"));
}

TEST(RenameService, ObserversHearOfEachRenameMadeOnce)
{
    Settings::shared().setValue(cPrefOriginalNameFormatTag, 1);
    const QString folder = makeTempFolder(QStringLiteral("observed"));
    const QStringList paths
        = writeFilesInOrder(folder,
                            {QStringLiteral("IMG_0001.JPG"), QStringLiteral("B77_IMG_0002.JPG"), QStringLiteral("IMG_0003.JPG"),
                             QStringLiteral("IMG_0004.JPG"), QStringLiteral("A1_IMG_0005.JPG")});
    const QString at = folder + QLatin1Char('/');
    std::mutex mutex;
    QStringList heard;
    RenameObservation observation = observeRenames([&](const RenameEvent &event) {
        static const char *const kinds[] = {"coded", "card", "reverted", "named"};
        std::lock_guard lock(mutex);
        heard << fileNameOf(event.from) + QStringLiteral(" -> ") + fileNameOf(event.to) + QLatin1Char(' ')
                + QLatin1String(kinds[int(event.kind)]);
    });

    // A move cut short between its link and its unlink, and one finished
    // by an earlier run: the first is finished and heard of, the second was
    // made before and is not.
    ASSERT_EQ(::link(QFile::encodeName(paths[2]).constData(), QFile::encodeName(at + QStringLiteral("B77_IMG_0003.JPG")).constData()), 0);
    ASSERT_TRUE(QFile::rename(paths[3], at + QStringLiteral("B77_IMG_0004.JPG")));
    writeFilesInOrder(folder, {QStringLiteral("B77_IMG_0005.JPG")}, "taken");

    const std::optional<RenameRun> run = renamePhotosToCode(paths, QStringLiteral("B77"));
    ASSERT_TRUE(run);
    EXPECT_EQ(run->kept(), QStringList{QStringLiteral("A1_IMG_0005.JPG: the name B77_IMG_0005.JPG is already taken")});
    EXPECT_EQ(readFile(at + QStringLiteral("B77_IMG_0005.JPG")), standIn(QStringLiteral("B77_IMG_0005.JPG"), "taken"));
    EXPECT_EQ(renamePhotoToCardCode(at + QStringLiteral("B77_IMG_0002.JPG"), QStringLiteral("C9"), 1).outcome, PhotoRename::Renamed);
    EXPECT_EQ(revertItemToOriginalNew(at + QStringLiteral("B77_IMG_0001.JPG")), at + QStringLiteral("IMG_0001.JPG"));
    EXPECT_FALSE(revertItemToOriginalNew(at + QStringLiteral("IMG_0001.JPG")));
    EXPECT_EQ(
        heard,
        (QStringList{QStringLiteral("IMG_0001.JPG -> B77_IMG_0001.JPG coded"), QStringLiteral("IMG_0003.JPG -> B77_IMG_0003.JPG coded"),
                     QStringLiteral("B77_IMG_0002.JPG -> C9_IMG_0002-qrcode.JPG card"),
                     QStringLiteral("B77_IMG_0001.JPG -> IMG_0001.JPG reverted")}));

    // Once the observation ends, nothing more is heard.
    observation.reset();
    EXPECT_TRUE(renamePhoto(at + QStringLiteral("IMG_0001.JPG"), QStringLiteral("IMG_0001-1.JPG")));
    EXPECT_EQ(heard.size(), 4);
}

// On an exFAT drive a code with ":" (a card's "/") is written with its
// stand-in, reads back as the card said, and naming it again is a no-op.
TEST(RenameService, PhotosOnAnExfatDriveTakeCodesTheDriveRefuses)
{
    const testkit::ExfatVolume drive(testkit::makeTempFolder(QStringLiteral("exfat")) + QStringLiteral("/mnt"));
    if (!drive.unavailable().isEmpty())
        GTEST_SKIP() << "exFAT through FUSE unavailable: " << drive.unavailable().toStdString();
    const QString folder = drive.mountPoint() + QLatin1Char('/');
    ASSERT_TRUE(testkit::writeFile(folder + QStringLiteral("DSC_7810.JPG"), "one"));
    ASSERT_TRUE(testkit::writeFile(folder + QStringLiteral("DSC_7811.JPG"), "two"));

    const PhotoRename first = renamePhotoToCode(folder + QStringLiteral("DSC_7810.JPG"), QStringLiteral("Smith John/Class 3"), 1);
    ASSERT_EQ(first.outcome, PhotoRename::Renamed) << first.why.toStdString();
    EXPECT_EQ(fileNameOf(first.to), QStringLiteral("Smith John\uFF1AClass 3_DSC_7810.JPG"));
    EXPECT_EQ(codeOfName(first.to, 1), QStringLiteral("Smith John:Class 3"));
    EXPECT_EQ(renamePhotoToCode(first.to, QStringLiteral("Smith John:Class 3"), 1).outcome, PhotoRename::AlreadyNamed);

    const PhotoRename second = renamePhotoToCardCode(folder + QStringLiteral("DSC_7811.JPG"), QStringLiteral("Smith John?Class 3"), 1);
    ASSERT_EQ(second.outcome, PhotoRename::Renamed) << second.why.toStdString();
    EXPECT_EQ(doGetQRCodeFromFileName(second.to, 1), QStringLiteral("Smith John?Class 3"));
    EXPECT_EQ(testkit::readFile(first.to), "one");
    EXPECT_EQ(testkit::readFile(second.to), "two");

    // A pair whose RAW name, as the drive writes it, is taken moves neither
    // file: the JPEG never goes ahead under a code its RAW cannot follow.
    ASSERT_TRUE(testkit::writeFile(folder + QStringLiteral("DSC_7812.JPG"), "three"));
    ASSERT_TRUE(testkit::writeFile(folder + QStringLiteral("DSC_7812.NEF"), "three raw"));
    ASSERT_TRUE(testkit::writeFile(folder + QStringLiteral("Smith John\uFF1AClass 4_DSC_7812.NEF"), "another raw"));
    const PhotoRename pair = renamePhotoToCode(folder + QStringLiteral("DSC_7812.JPG"), QStringLiteral("Smith John/Class 4"), 1);
    EXPECT_EQ(pair.outcome, PhotoRename::Kept) << fileNameOf(pair.to).toStdString();
    EXPECT_EQ(testkit::readFile(folder + QStringLiteral("DSC_7812.JPG")), "three");
    EXPECT_EQ(testkit::readFile(folder + QStringLiteral("DSC_7812.NEF")), "three raw");
    EXPECT_EQ(testkit::readFile(folder + QStringLiteral("Smith John\uFF1AClass 4_DSC_7812.NEF")), "another raw");
}
