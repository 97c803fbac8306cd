// Copying a card off, with folders standing for cards and the fake volume
// monitor: what is copied, that the copy is complete before anything is set
// aside and every photo placed before the card is ejected, that only earlier
// photos go to the trash, and where the photos land.

#include "tests/testkit/fixtures/CardCopyScene.h"

using namespace sorrelby::testkit::cardcopy;

namespace {

TEST_F(CardCopyTest, CopiesOnlyCameraPhotosUnlockedThenEjectsAndPlaces)
{
    const QString locked = photo(dcim + QStringLiteral("/DSC_0001.JPG"), 1);
    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0444), 0);
    photo(dcim + QStringLiteral("/DSC_0002.JPG"), 2);
    // The counter wrapped: the same name in the next camera folder.
    const QString wrapped = photo(makeFolder(card + QStringLiteral("/DCIM/101NIKON")) + QStringLiteral("/DSC_0001.JPG"), 3);
    // Not camera names, hidden, inside a package, not an image.
    photo(dcim + QStringLiteral("/A123_DSC_0004.JPG"), 4);
    writeFile(dcim + QStringLiteral("/catalog.db"), "catalogue");
    photo(dcim + QStringLiteral("/.DSC_0005.JPG"), 5);
    photo(makeFolder(card + QStringLiteral("/Library.photoslibrary")) + QStringLiteral("/DSC_0006.JPG"), 6);
    writeFile(dcim + QStringLiteral("/DSC_0007.MOV"), "a clip, not a photo");
    const QStringList cardBefore = filesBelow(card);
    // A run cut short left a photo in the staging folder: it may be the only
    // copy, so it is placed, not thrown away.
    const QByteArray leftover = readFile(photo(shoot + QStringLiteral("/.copyOfCard/DSC_0999.JPG"), 9));

    const CardCopyResult result = copy.run(options(dcim.section(QLatin1Char('/'), 0, -2)));

    EXPECT_EQ(result.outcome, CardCopyResult::Outcome::Placed) << result.statusLine.toStdString();
    EXPECT_EQ(entriesOf(source),
              (QStringList{QStringLiteral("DSC_0001.JPG"), QStringLiteral("DSC_0001c1.JPG"), QStringLiteral("DSC_0002.JPG"),
                           QStringLiteral("DSC_0999.JPG")}))
        << lines(entriesOf(source));
    EXPECT_EQ(readFile(source + QStringLiteral("/DSC_0999.JPG")), leftover);
    EXPECT_EQ(result.recovered, 1);
    EXPECT_EQ(result.recoveryLines.value(0), QStringLiteral("1 photos recovered from an interrupted card copy"));
    EXPECT_EQ(readFile(source + QStringLiteral("/DSC_0001.JPG")), readFile(locked));
    EXPECT_EQ(readFile(source + QStringLiteral("/DSC_0001c1.JPG")), readFile(wrapped));
    EXPECT_TRUE(QFileInfo(source + QStringLiteral("/DSC_0001.JPG")).permissions() & QFileDevice::WriteOwner); // (root writes anyway)
    EXPECT_EQ(QFileInfo(source + QStringLiteral("/DSC_0001.JPG")).lastModified(), QFileInfo(locked).lastModified());
    EXPECT_EQ(result.skipped, 2); // A123_DSC_0004.JPG and catalog.db
    EXPECT_EQ(result.notImages, 1);
    EXPECT_TRUE(trashHolds(QStringLiteral("DSC_0007.MOV"), "a clip, not a photo"));
    EXPECT_EQ(filesBelow(card), cardBefore);

    // Staged beside the source folder, on its file system, and gone after.
    EXPECT_EQ(result.stagingFolder, shoot + QStringLiteral("/.copyOfCard"));
    EXPECT_FALSE(fileops::exists(result.stagingFolder));
    EXPECT_TRUE(result.ejected);
    EXPECT_EQ(monitor.ejected(), QStringList{card});
    // The copy renames nothing: whoever ran it has the photos decoded.
    EXPECT_EQ(posted, QStringList{QStringLiteral("myRefreshId")});
    EXPECT_TRUE(result.decodeWanted);

    EXPECT_TRUE(statusLines.contains(QStringLiteral("Copying Files from Card...")));
    EXPECT_TRUE(statusLines.contains(QStringLiteral("Copying Photo: DSC_0002.JPG")));
    EXPECT_TRUE(statusLines.contains(QStringLiteral("Transferring Photo: DSC_0001c1.JPG")));
    EXPECT_TRUE(statusLines.indexOf(QStringLiteral("Done - Copying Files from Card..."))
                < statusLines.indexOf(QStringLiteral("Transferring Photo: DSC_0001.JPG")));
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last().photosDone, 4);
    EXPECT_EQ(progress.last().photosTotal, 4);
    EXPECT_EQ(progress.last().bytesDone, progress.last().bytesTotal);
}

TEST_F(CardCopyTest, ASecondCardSetsAsideOnlyTheFirstCardsPhotosAndACardCopiedAgainKeepsItsOwn)
{
    const QByteArray firstBytes = readFile(photo(dcim + QStringLiteral("/DSC_0101.JPG"), 11));
    photo(dcim + QStringLiteral("/DSC_0102.JPG"), 12);
    ASSERT_TRUE(copy.run(options(card)).ok());
    // Renamed by the decode pass meanwhile, not yet delivered.
    ASSERT_TRUE(fileops::moveNoReplace(source + QStringLiteral("/DSC_0101.JPG"), source + QStringLiteral("/A77_DSC_0101.JPG")));

    // The same card again: its photos stay as they are, whatever their names
    // now, and nothing goes to the trash.
    const CardCopyResult again = copy.run(options(card));
    EXPECT_TRUE(again.ok()) << again.statusLine.toStdString();
    EXPECT_EQ(entriesOf(source), (QStringList{QStringLiteral("A77_DSC_0101.JPG"), QStringLiteral("DSC_0102.JPG")}));
    EXPECT_EQ(again.setAside, 0);
    EXPECT_EQ(again.alreadyThere, 2);
    EXPECT_FALSE(trashHolds(QStringLiteral("A77_DSC_0101.JPG"), firstBytes));

    // Folders and files that are no photos (the shoot's class list among
    // them) are no earlier photos: they stay.
    const QString delivered = photo(makeFolder(source + QStringLiteral("/Main/03-01-2026")) + QStringLiteral("/K7_DSC_0100.JPG"), 7);
    ASSERT_TRUE(writeFile(source + QStringLiteral("/notes.txt"), "the assistant's notes"));
    ASSERT_TRUE(writeFile(source + QStringLiteral("/roster.csv"), "Code,Name\nA77,Ann\n"));
    const QString second = monitor.mount(QStringLiteral("CARD2"), false);
    photo(makeFolder(second + QStringLiteral("/DCIM/100CANON")) + QStringLiteral("/IMG_0201.JPG"), 21);
    const CardCopyResult result = copy.run(options(second));

    EXPECT_TRUE(result.ok());
    EXPECT_EQ(
        entriesOf(source),
        (QStringList{QStringLiteral("IMG_0201.JPG"), QStringLiteral("Main"), QStringLiteral("notes.txt"), QStringLiteral("roster.csv")}));
    EXPECT_TRUE(fileops::exists(delivered));
    EXPECT_EQ(result.setAside, 2);
    EXPECT_TRUE(trashHolds(QStringLiteral("A77_DSC_0101.JPG"), firstBytes));
    EXPECT_TRUE(result.statusLine.contains(QStringLiteral("2 earlier photos set aside in the Trash"))) << result.statusLine.toStdString();
}

TEST_F(CardCopyTest, TheCardIsEjectedOnlyOnceEveryPhotoIsPlaced)
{
    WatchingMonitor watching(makeTempFolder(QStringLiteral("media2")), source);
    const QString volume = watching.mount(QStringLiteral("NIKON"), false);
    photo(makeFolder(volume + QStringLiteral("/DCIM/100NIKON")) + QStringLiteral("/DSC_0001.JPG"), 1);
    photo(volume + QStringLiteral("/DCIM/100NIKON/DSC_0002.JPG"), 2);
    CardCopy ejecting(&watching);
    ejecting.setPause([](double) {});
    CardCopyOptions o = options(volume);
    o.ejectVolume = volume;

    EXPECT_TRUE(ejecting.run(o).ok());
    EXPECT_EQ(watching.atEject, (QStringList{QStringLiteral("DSC_0001.JPG"), QStringLiteral("DSC_0002.JPG")}));
    EXPECT_FALSE(watching.stagingAtEject);
}

TEST_F(CardCopyTest, ACopyFailureLeavesTheCardMountedAndTheSourceFolderAlone)
{
    photo(dcim + QStringLiteral("/DSC_0001.JPG"), 1);
    photo(dcim + QStringLiteral("/DSC_0002.JPG"), 2);
    photo(dcim + QStringLiteral("/DSC_0003.JPG"), 3);
    const QString earlier = photo(source + QStringLiteral("/B12_DSC_0900.JPG"), 9);
    copy.setCopier([](const QString &from, const QString &to) {
        if (from.endsWith(QLatin1String("DSC_0002.JPG")))
            return FileResult::failure(QStringLiteral("Input/output error"));
        return fileops::copyNoReplace(from, to);
    });

    const CardCopyResult result = copy.run(options(card));

    EXPECT_EQ(result.outcome, CardCopyResult::Outcome::CopyFailed);
    EXPECT_EQ(result.failed, QStringList{dcim + QStringLiteral("/DSC_0002.JPG")});
    EXPECT_TRUE(result.statusLine.contains(QStringLiteral("DSC_0002.JPG"))) << result.statusLine.toStdString();
    EXPECT_TRUE(result.statusLine.contains(QStringLiteral("NOT ejected")));
    EXPECT_TRUE(monitor.ejected().isEmpty());
    EXPECT_EQ(monitor.mountedVolumes(), QStringList{card});
    EXPECT_EQ(entriesOf(source), QStringList{QStringLiteral("B12_DSC_0900.JPG")});
    EXPECT_TRUE(fileops::exists(earlier));
    EXPECT_EQ(filesBelow(card).size(), 3);
    EXPECT_FALSE(fileops::exists(result.stagingFolder));
    EXPECT_FALSE(result.decodeWanted);

    // A short copy that claims success is caught by the size check too.
    copy.setCopier([](const QString &from, const QString &to) {
        fileops::copyNoReplace(from, to);
        QFile(to).resize(10);
        return FileResult::success();
    });
    EXPECT_EQ(copy.run(options(card)).outcome, CardCopyResult::Outcome::CopyFailed);
    EXPECT_TRUE(monitor.ejected().isEmpty());
    EXPECT_TRUE(fileops::exists(earlier));
}

TEST_F(CardCopyTest, HotFolderModePlacesIntoTheHotFolderAndLeavesTheSourceFolder)
{
    const QString first = photo(dcim + QStringLiteral("/DSC_0001.JPG"), 1);
    photo(dcim + QStringLiteral("/DSC_0002.JPG"), 2);
    writeFile(dcim + QStringLiteral("/DSC_0003.MOV"), "clip");
    const QString earlier = photo(source + QStringLiteral("/B12_DSC_0900.JPG"), 9);
    // The same photo already in the hot folder, and another under a name of the card.
    ASSERT_TRUE(fileops::copyNoReplace(first, hot + QStringLiteral("/DSC_0001.JPG")));
    photo(hot + QStringLiteral("/DSC_0002.JPG"), 99);

    CardCopyOptions o = options(card);
    o.hotFolderMode = true;
    const CardCopyResult result = copy.run(o);

    EXPECT_TRUE(result.ok()) << result.statusLine.toStdString();
    EXPECT_EQ(entriesOf(hot),
              (QStringList{QStringLiteral("DSC_0001.JPG"), QStringLiteral("DSC_0002.JPG"), QStringLiteral("DSC_0002c1.JPG"),
                           QStringLiteral("DSC_0003.MOV")}))
        << lines(entriesOf(hot));
    EXPECT_TRUE(fileops::exists(earlier));
    EXPECT_EQ(result.setAside, 0);
    EXPECT_EQ(result.stagingFolder, shoot + QStringLiteral("/.copyOfCard"));
    EXPECT_EQ(posted, QStringList{QStringLiteral("myRefreshId")});
}

TEST_F(CardCopyTest, ACardThatDoesNotFitIsRefusedBeforeAnythingIsCopied)
{
    // The source folder is the top of a small volume: staging goes inside it.
    LoopVolume small(makeTempFolder(QStringLiteral("small")) + QStringLiteral("/disk"), 8);
    if (!small.unavailable().isEmpty())
        GTEST_SKIP() << small.unavailable().toStdString();
    const QString earlier = photo(small.mountPoint() + QStringLiteral("/B12_DSC_0900.JPG"), 9);
    photo(dcim + QStringLiteral("/DSC_0001.JPG"), 1);
    QFile big(dcim + QStringLiteral("/DSC_0002.JPG"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(qint64(40) << 20)); // sparse
    big.close();

    CardCopyOptions o = options(card);
    o.sourceFolder = small.mountPoint();
    EXPECT_EQ(stagingFolderFor(small.mountPoint()), small.mountPoint() + QStringLiteral("/.copyOfCard"));
    const CardCopyResult result = copy.run(o);

    EXPECT_EQ(result.outcome, CardCopyResult::Outcome::NoRoom);
    EXPECT_TRUE(result.statusLine.contains(QStringLiteral("does NOT fit"))) << result.statusLine.toStdString();
    EXPECT_FALSE(statusLines.contains(QStringLiteral("Copying Photo: DSC_0001.JPG")));
    EXPECT_FALSE(fileops::exists(result.stagingFolder));
    EXPECT_TRUE(fileops::exists(earlier));
    EXPECT_TRUE(monitor.ejected().isEmpty());
}

TEST_F(CardCopyTest, OptionsFromTheSettingsEjectOnlyTheVolumeTheCardIsOn)
{
    settings.setValue(cPrefSourcePath, source);
    settings.setValue(QStringLiteral("prefTempMountVolume"), card);
    EXPECT_EQ(CardCopyOptions::fromSettings(dcim).ejectVolume, std::optional<QString>(card));
    // A folder elsewhere (chosen by hand, the unassigned photos) ejects nothing,
    // nor does a volume whose name merely starts like the card's.
    EXPECT_FALSE(CardCopyOptions::fromSettings(shoot).ejectVolume);
    EXPECT_FALSE(CardCopyOptions::fromSettings(card + QStringLiteral(" 2/DCIM")).ejectVolume);
    settings.setValue(QStringLiteral("prefDoTryToAutoDecodeAfterCopying"), false);
    EXPECT_FALSE(CardCopyOptions::fromSettings(dcim).autoDecode);
}

} // namespace
