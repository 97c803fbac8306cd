#include "tests/testkit/fixtures/FileOpsScene.h"

using namespace sorrelby;

using namespace sorrelby::testkit::fileopsscene;

TEST(FileOps, MoveAcrossFileSystemsKeepsContentAndTimeAndNeverReplaces)
{
    const QString other = testkit::otherFileSystemFolder();
    if (other.isEmpty())
        GTEST_SKIP() << "no second file system";
    const QString dir = testkit::makeTempFolder();
    const QString source = dir + QStringLiteral("/DSC_0001.JPG");
    const QByteArray content = patterned(3 * 1024 * 1024 + 17, 31);
    ASSERT_TRUE(testkit::writeFile(source, content));
    ASSERT_TRUE(fileops::setModificationDate(source, cPast));

    const QString target = other + QStringLiteral("/DSC_0001.JPG");
    const FileResult moved = fileops::moveNoReplace(source, target);
    ASSERT_TRUE(moved) << moved.error.toStdString();
    EXPECT_FALSE(fileops::exists(source));
    EXPECT_EQ(testkit::readFile(target), content);
    EXPECT_EQ(mtimeOf(target), cPast);
    EXPECT_TRUE(hiddenEntries(other).isEmpty());

    // Back onto a file that is in the way: nothing changes on either side.
    ASSERT_TRUE(testkit::writeFile(source, "newer"));
    EXPECT_FALSE(fileops::moveNoReplace(target, source));
    EXPECT_EQ(testkit::readFile(source), "newer");
    EXPECT_EQ(testkit::readFile(target), content);
    EXPECT_TRUE(hiddenEntries(dir).isEmpty());

    // A folder travels with everything in it.
    const QString folder = dir + QStringLiteral("/shoot");
    ASSERT_TRUE(testkit::writeFile(folder + QStringLiteral("/a.jpg"), "a"));
    ASSERT_TRUE(testkit::writeFile(folder + QStringLiteral("/inner/b.jpg"), "b"));
    ASSERT_TRUE(fileops::setModificationDate(folder + QStringLiteral("/inner/b.jpg"), cPast));
    ASSERT_TRUE(fileops::moveNoReplace(folder, other + QStringLiteral("/shoot")));
    EXPECT_FALSE(fileops::exists(folder));
    EXPECT_EQ(testkit::readFile(other + QStringLiteral("/shoot/a.jpg")), "a");
    EXPECT_EQ(testkit::readFile(other + QStringLiteral("/shoot/inner/b.jpg")), "b");
    EXPECT_EQ(mtimeOf(other + QStringLiteral("/shoot/inner/b.jpg")), cPast);
    EXPECT_TRUE(hiddenEntries(other).isEmpty());
}

TEST(FileOps, FailedMoveAcrossFileSystemsLeavesTheSourceAndNoCopy)
{
    const QString other = testkit::otherFileSystemFolder();
    if (other.isEmpty())
        GTEST_SKIP() << "no second file system";
    const QString dir = testkit::makeTempFolder();
    const QString source = dir + QStringLiteral("/IMG_0002.JPG");
    ASSERT_TRUE(testkit::writeFile(source, "card photo"));

    // The target folder does not exist: fails before anything is written.
    EXPECT_FALSE(fileops::moveNoReplace(source, other + QStringLiteral("/missing/IMG_0002.JPG")));
    EXPECT_EQ(testkit::readFile(source), "card photo");

    // The source cannot be removed (a read-only card): the copy is taken back.
    if (!lockFolder(dir))
        GTEST_SKIP() << "cannot protect a folder here";
    const QString target = other + QStringLiteral("/IMG_0002.JPG");
    const FileResult moved = fileops::moveNoReplace(source, target);
    unlockFolder(dir);
    EXPECT_FALSE(moved);
    EXPECT_FALSE(moved.error.isEmpty());
    EXPECT_EQ(testkit::readFile(source), "card photo");
    EXPECT_FALSE(fileops::exists(target));
    EXPECT_TRUE(hiddenEntries(other).isEmpty());
}

TEST(FileOps, CopyKeepsTimeAndPermissionsAndNeverReplaces)
{
    const QString dir = testkit::makeTempFolder();
    const QString from = dir + QStringLiteral("/a.jpg");
    const QString to = dir + QStringLiteral("/copy/a.jpg");
    ASSERT_TRUE(testkit::writeFile(from, "photo"));
    ASSERT_TRUE(fileops::createFolder(dir + QStringLiteral("/copy")));
    ::chmod(QFile::encodeName(from).constData(), 0640);
    ASSERT_TRUE(fileops::setModificationDate(from, cPast));

    const FileResult copied = fileops::copyNoReplace(from, to);
    ASSERT_TRUE(copied) << copied.error.toStdString();
    EXPECT_EQ(testkit::readFile(to), "photo");
    EXPECT_EQ(testkit::readFile(from), "photo");
    EXPECT_EQ(mtimeOf(to), cPast);
    EXPECT_EQ(fileops::attributes(to)->mode & 07777, 0640u);

    ASSERT_TRUE(testkit::writeFile(from, "changed"));
    EXPECT_FALSE(fileops::copyNoReplace(from, to));
    EXPECT_EQ(testkit::readFile(to), "photo");
    EXPECT_TRUE(hiddenEntries(dir + QStringLiteral("/copy")).isEmpty());
}

TEST(FileOps, TrashKeepsEveryFileWithItsInfo)
{
    // The data folder may be missing on a fresh account; trashing creates it.
    const QString dataHome = userfolders::dataHome();
    QDir(dataHome).removeRecursively();
    const QString dir = testkit::makeTempFolder();
    const QString first = dir + QStringLiteral("/IMG_0003.JPG");
    ASSERT_TRUE(testkit::writeFile(first, "one"));

    QString trashed;
    const FileResult result = fileops::moveToTrash(first, &trashed);
    ASSERT_TRUE(result) << result.error.toStdString();
    EXPECT_FALSE(fileops::exists(first));
    EXPECT_EQ(trashed, dataHome + QStringLiteral("/Trash/files/IMG_0003.JPG"));
    EXPECT_EQ(testkit::readFile(trashed), "one");
    const QByteArray info = testkit::readFile(dataHome + QStringLiteral("/Trash/info/IMG_0003.JPG.trashinfo"));
    EXPECT_TRUE(info.startsWith("[Trash Info]\nPath=")) << info.constData();
    EXPECT_TRUE(info.contains(QFile::encodeName(first))) << info.constData();
    EXPECT_TRUE(info.contains("DeletionDate="));

    // A second file of the same name does not replace the first.
    ASSERT_TRUE(testkit::writeFile(first, "two"));
    QString second;
    ASSERT_TRUE(fileops::moveToTrash(first, &second));
    EXPECT_NE(second, trashed);
    EXPECT_TRUE(second.startsWith(dataHome + QStringLiteral("/Trash/files/")));
    EXPECT_EQ(testkit::readFile(second), "two");
    EXPECT_EQ(testkit::readFile(trashed), "one");
    EXPECT_TRUE(QFile::exists(dataHome + QStringLiteral("/Trash/info/") + QFileInfo(second).fileName() + QStringLiteral(".trashinfo")));
    EXPECT_FALSE(fileops::moveToTrash(first));

    // On another volume the file stays on that volume.
    const QString other = testkit::otherFileSystemFolder();
    if (other.isEmpty())
        return;
    const QString remote = other + QStringLiteral("/IMG_0004.JPG");
    ASSERT_TRUE(testkit::writeFile(remote, "remote"));
    QString remoteTrashed;
    const FileResult remoteResult = fileops::moveToTrash(remote, &remoteTrashed);
    ASSERT_TRUE(remoteResult) << remoteResult.error.toStdString();
    EXPECT_FALSE(fileops::exists(remote));
    EXPECT_EQ(testkit::readFile(remoteTrashed), "remote");
    EXPECT_FALSE(remoteTrashed.startsWith(dataHome));
    EXPECT_TRUE(remoteTrashed.contains(QStringLiteral("/.Trash")));
    EXPECT_TRUE(QFile::exists(trashInfoOf(remoteTrashed)));
    removeFromVolumeTrash(remoteTrashed);
}

TEST(FileOps, AttributesGiveTheEarlierOfBirthAndModification)
{
    const QString dir = testkit::makeTempFolder();
    const QString path = dir + QStringLiteral("/a.jpg");
    ASSERT_TRUE(testkit::writeFile(path, "12345"));
    const QDateTime now = QDateTime::currentDateTime();

    ASSERT_TRUE(fileops::setModificationDate(path, cPast));
    auto a = fileops::attributes(path);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->size, 5);
    EXPECT_TRUE(a->isRegularFile);
    EXPECT_FALSE(a->isDirectory);
    EXPECT_EQ(a->modificationDate, cPast);
    EXPECT_EQ(a->creationDate, cPast); // a copy that kept its time sorts by capture time

    const QDateTime future = now.addDays(2);
    ASSERT_TRUE(fileops::setModificationDate(path, future));
    a = fileops::attributes(path);
    ASSERT_TRUE(a);
    EXPECT_LE(a->creationDate, a->modificationDate);
    EXPECT_TRUE(a->creationDate == future || a->creationDate < now.addSecs(60));

    const auto folder = fileops::attributes(dir);
    ASSERT_TRUE(folder);
    EXPECT_TRUE(folder->isDirectory);
    EXPECT_FALSE(fileops::attributes(dir + QStringLiteral("/missing")));
    EXPECT_FALSE(fileops::setModificationDate(dir + QStringLiteral("/missing"), cPast));
}

TEST(FileOps, ClearWriteProtectionUnlocksCopiesOfLockedFiles)
{
    const QString dir = testkit::makeTempFolder();
    const QString path = dir + QStringLiteral("/locked.jpg");
    ASSERT_TRUE(testkit::writeFile(path, "x"));
    ::chmod(QFile::encodeName(path).constData(), 0444);
    ASSERT_FALSE(fileops::attributes(path)->mode & S_IWUSR);
    ASSERT_TRUE(fileops::clearWriteProtection(path));
    EXPECT_TRUE(fileops::attributes(path)->mode & S_IWUSR);
    EXPECT_TRUE(fileops::attributes(path)->isWritable);

    if (setImmutable(path, true)) {
        ::chmod(QFile::encodeName(path).constData(), 0444);
        const FileResult cleared = fileops::clearWriteProtection(path);
        setImmutable(path, false); // whatever happened, leave a removable file
        EXPECT_TRUE(cleared) << cleared.error.toStdString();
        EXPECT_TRUE(fileops::attributes(path)->mode & S_IWUSR);
    }
    EXPECT_FALSE(fileops::clearWriteProtection(dir + QStringLiteral("/missing")));
}

TEST(FileOps, FoldersRemovalAndAtomicWrites)
{
    const QString dir = testkit::makeTempFolder();
    const QString deep = dir + QStringLiteral("/a/b/c");
    ASSERT_TRUE(fileops::createFolder(deep));
    EXPECT_TRUE(fileops::createFolder(deep)); // present already
    ASSERT_TRUE(testkit::writeFile(deep + QStringLiteral("/f.txt"), "old"));
    EXPECT_FALSE(fileops::createFolder(deep + QStringLiteral("/f.txt")));
    EXPECT_FALSE(fileops::createFolder(deep + QStringLiteral("/f.txt/g")));

    ::chmod(QFile::encodeName(deep + QStringLiteral("/f.txt")).constData(), 0600);
    ASSERT_TRUE(fileops::writeFileAtomically(deep + QStringLiteral("/f.txt"), "new"));
    EXPECT_EQ(testkit::readFile(deep + QStringLiteral("/f.txt")), "new");
    EXPECT_EQ(fileops::attributes(deep + QStringLiteral("/f.txt"))->mode & 07777, 0600u);
    EXPECT_TRUE(hiddenEntries(deep).isEmpty());

    // A writer killed half way leaves its temporary; the next write of the
    // name, or a sweep of the folder, removes it, but never one still in use.
    const QString marker = deep + QStringLiteral("/.mydatefile");
    ASSERT_TRUE(diedOfKill(statusOfChildKilledAfter(1, [&] { return int(fileops::writeFileAtomically(marker, "date").ok); })));
    ASSERT_EQ(hiddenEntries(deep).size(), 1);
    const QString inUse = deep + QStringLiteral("/.mydatefile.sorrelby-inuse123");
    ASSERT_TRUE(testkit::writeFile(inUse, "another writer's"));
    {
        const LockedFile held(inUse);
        ASSERT_TRUE(fileops::writeFileAtomically(marker, "date"));
        EXPECT_EQ(hiddenEntries(deep), QStringList{QFileInfo(inUse).fileName()});
    }
    ASSERT_TRUE(testkit::writeFile(deep + QStringLiteral("/.DSC_0001.JPG.sorrelby-abcdefgh"), "half a turned photo"));
    EXPECT_EQ(fileops::removeLeftoverTemporaries(deep), 2);
    EXPECT_TRUE(hiddenEntries(deep).isEmpty());
    ASSERT_TRUE(fileops::removeFile(marker));

    EXPECT_FALSE(fileops::removeFile(deep)); // not empty
    EXPECT_TRUE(fileops::removeFile(deep + QStringLiteral("/f.txt")));
    EXPECT_TRUE(fileops::removeFile(deep));
    EXPECT_FALSE(fileops::removeFile(deep));
    ASSERT_TRUE(testkit::writeFile(dir + QStringLiteral("/a/b/g.txt"), "g"));
    EXPECT_TRUE(fileops::removeRecursively(dir + QStringLiteral("/a")));
    EXPECT_FALSE(fileops::exists(dir + QStringLiteral("/a")));
    EXPECT_FALSE(fileops::removeRecursively(dir + QStringLiteral("/a")));
}

// As the file system is, without no-replace renames, and without hard links
// either: a move never replaces, whatever it has to fall back on.
TEST(FileOps, MovesNeverReplaceWhateverTheFileSystemOffers)
{
    const QString dir = testkit::makeTempFolder();
    const QString other = testkit::otherFileSystemFolder();
    // 3: not even plain rename onto the claimed name (the copy way).
    for (const int limits : {0, 1, 2, 3}) {
        SCOPED_TRACE(limits);
        const SimulatedLimits limited(limits > 0, limits > 1, limits > 2);
        const QString a = dir + QStringLiteral("/a.jpg");
        const QString b = dir + QStringLiteral("/b.jpg");
        const QString c = dir + QStringLiteral("/sub/c.jpg");
        ASSERT_TRUE(testkit::writeFile(a, "alpha"));
        ASSERT_TRUE(testkit::writeFile(b, "beta"));
        const FileResult clash = fileops::moveNoReplace(a, b);
        EXPECT_FALSE(clash);
        EXPECT_TRUE(clash.error.contains(a)) << clash.error.toStdString();
        EXPECT_TRUE(clash.error.contains(qt_error_string(EEXIST))) << clash.error.toStdString();
        EXPECT_EQ(testkit::readFile(a), "alpha");
        EXPECT_EQ(testkit::readFile(b), "beta");
        EXPECT_FALSE(fileops::moveNoReplace(a, a));
        EXPECT_EQ(testkit::readFile(a), "alpha");
        EXPECT_FALSE(fileops::moveNoReplace(a, c)); // no such folder
        EXPECT_TRUE(fileops::exists(a));
        ASSERT_TRUE(fileops::createFolder(dir + QStringLiteral("/sub")));
        EXPECT_TRUE(fileops::moveNoReplace(a, c));
        EXPECT_FALSE(fileops::exists(a));
        EXPECT_EQ(testkit::readFile(c), "alpha");
        EXPECT_FALSE(fileops::moveNoReplace(dir + QStringLiteral("/missing.jpg"), dir + QStringLiteral("/x.jpg")));

        const QString folder = dir + QStringLiteral("/folder");
        ASSERT_TRUE(fileops::createFolder(folder + QStringLiteral("/inner")));
        EXPECT_FALSE(fileops::moveNoReplace(folder + QStringLiteral("/inner"), dir + QStringLiteral("/folder")));
        EXPECT_TRUE(fileops::moveNoReplace(folder, dir + QStringLiteral("/moved")));
        EXPECT_TRUE(fileops::attributes(dir + QStringLiteral("/moved/inner"))->isDirectory);

        if (!other.isEmpty()) {
            ASSERT_TRUE(testkit::writeFile(other + QStringLiteral("/c.jpg"), "in the way"));
            EXPECT_FALSE(fileops::moveNoReplace(c, other + QStringLiteral("/c.jpg")));
            EXPECT_EQ(testkit::readFile(other + QStringLiteral("/c.jpg")), "in the way");
            EXPECT_TRUE(fileops::moveNoReplace(c, other + QStringLiteral("/d.jpg")));
            EXPECT_EQ(testkit::readFile(other + QStringLiteral("/d.jpg")), "alpha");
            EXPECT_TRUE(hiddenEntries(other).isEmpty());
            fileops::removeFile(other + QStringLiteral("/c.jpg"));
            fileops::removeFile(other + QStringLiteral("/d.jpg"));
        }
        EXPECT_TRUE(hiddenEntries(dir).isEmpty());
        fileops::removeRecursively(dir + QStringLiteral("/moved"));
        fileops::removeRecursively(dir + QStringLiteral("/sub"));
        fileops::removeFile(b);
        fileops::removeFile(c);
    }
}

// Without renameat2's flag and hard links a move claims its name with an
// exclusive create and a marker: killed after any step, the photo is whole
// under exactly one name once the folder's leftovers are cleaned, and a file
// that only looks like an unfinished claim is never touched.
TEST(FileOps, AClaimedMoveKilledAtAnyStepLosesNothingAndLeavesNothing)
{
    const QString dir = testkit::makeTempFolder();
    const QString other = testkit::otherFileSystemFolder();
    const QByteArray content = patterned(700000, 13);
    struct Case {
        bool noRenameOver;
        bool acrossFileSystems;
    };
    for (const Case c : {Case{false, false}, Case{true, false}, Case{false, true}, Case{true, true}}) {
        if (c.acrossFileSystems && other.isEmpty())
            continue;
        SCOPED_TRACE(QStringLiteral("rename over %1, across %2").arg(!c.noRenameOver).arg(c.acrossFileSystems).toStdString());
        const QString source = dir + QStringLiteral("/DSC_0001.JPG");
        const QString folder = testkit::makeFolder((c.acrossFileSystems ? other : dir) + QStringLiteral("/claims"));
        const QString target = folder + QStringLiteral("/A1_DSC_0001.JPG");
        int steps = 0;
        for (int point = 1; point <= 12 && (steps == 0 || point <= steps); ++point) {
            SCOPED_TRACE(point);
            QDir(folder).removeRecursively();
            testkit::makeFolder(folder);
            ASSERT_TRUE(testkit::writeFile(source, content));
            const int status = statusOfChildKilledAfter(point, [&] {
                const SimulatedLimits limited(true, true, c.noRenameOver, true);
                return fileops::moveNoReplace(source, target).ok ? 10 + faults::stepsTaken() : 1;
            });
            ASSERT_NE(status, -1);
            if (WIFEXITED(status)) {
                ASSERT_GE(WEXITSTATUS(status), 10) << "the move failed";
                steps = WEXITSTATUS(status) - 10; // ran to its end: all points seen
                break;
            }
            ASSERT_TRUE(diedOfKill(status));
            // The restart: leftovers go, the move is made again where needed.
            const SimulatedLimits limited(true, true, c.noRenameOver, true);
            fileops::removeLeftoverTemporaries(folder);
            if (fileops::exists(source)) {
                const FileResult again = fileops::moveNoReplace(source, target);
                ASSERT_TRUE(again) << again.error.toStdString();
            }
            EXPECT_FALSE(fileops::exists(source));
            EXPECT_EQ(testkit::readFile(target), content);
            EXPECT_EQ(testkit::lines(testkit::entriesOf(folder)), testkit::lines({QStringLiteral("A1_DSC_0001.JPG")}));
        }
        EXPECT_GE(steps, 3); // marker, claim, placement at least
    }

    // A stale marker for a name held by some other file: that file stays.
    const QString folder = testkit::makeFolder(dir + QStringLiteral("/foreign"));
    const QString photo = folder + QStringLiteral("/B2_DSC_0002.JPG");
    ASSERT_TRUE(testkit::writeFile(photo, QByteArray()));
    ASSERT_TRUE(testkit::writeFile(folder + QStringLiteral("/.B2_DSC_0002.JPG.sorrelby-Abcd1234"), "sorrelby-claim 1 2\n/nowhere\n"));
    EXPECT_EQ(fileops::removeLeftoverTemporaries(folder), 1);
    EXPECT_TRUE(fileops::exists(photo));
}

// Killed between the steps of a copy to another file system or of trashing,
// a restart ends with exactly the files of a clean run: no hidden copy beside
// the target, no info file without its file, no second name in the trash.
TEST(FileOps, RestartAfterAKillLeavesExactlyACleanRunsFiles)
{
    using fileops::detail::KillPoint;
    const QString dir = testkit::makeTempFolder();
    const QString other = testkit::otherFileSystemFolder();
    if (!other.isEmpty()) {
        const QByteArray content = patterned(2 * 1024 * 1024 + 5, 7);
        // Unnamed copies first, then as on file systems that have none.
        for (const bool unnamed : {true, false}) {
            SCOPED_TRACE(unnamed);
            const SimulatedLimits limited(false, false, false, !unnamed);
            const QString source = dir + QStringLiteral("/DSC_0001.JPG");
            const QString folder = testkit::makeFolder(other + (unnamed ? QStringLiteral("/unnamed") : QStringLiteral("/named")));
            const QString target = folder + QStringLiteral("/A1_DSC_0001.JPG");
            ASSERT_TRUE(testkit::writeFile(source, content));
            ASSERT_TRUE(fileops::setModificationDate(source, cPast));

            ASSERT_TRUE(killedAt(KillPoint::CopyFlushed, [&] { fileops::moveNoReplace(source, target); }));
            EXPECT_EQ(testkit::readFile(source), content);
            EXPECT_FALSE(fileops::exists(target));
            // Only a file system without unnamed files shows the killed copy.
            EXPECT_EQ(hiddenEntries(folder).size(), unnamed ? 0 : 1);

            // A copy another process is still making is left alone.
            const QString inProgress = folder + QStringLiteral("/.A1_DSC_0001.JPG.sorrelby-Busy1234");
            ASSERT_TRUE(testkit::writeFile(inProgress, "half"));
            const LockedFile busy(inProgress);

            const FileResult moved = fileops::moveNoReplace(source, target);
            ASSERT_TRUE(moved) << moved.error.toStdString();
            EXPECT_FALSE(fileops::exists(source));
            EXPECT_EQ(testkit::readFile(target), content);
            EXPECT_EQ(mtimeOf(target), cPast);
            EXPECT_EQ(testkit::lines(testkit::entriesOf(folder)),
                      testkit::lines({QStringLiteral(".A1_DSC_0001.JPG.sorrelby-Busy1234"), QStringLiteral("A1_DSC_0001.JPG")}));
        }
    }

    const QString trash = userfolders::dataHome() + QStringLiteral("/Trash");
    QDir(trash).removeRecursively();
    const QString card = dir + QStringLiteral("/A1_IMG_0007-qrcode.JPG");
    ASSERT_TRUE(testkit::writeFile(card, "card"));
    ASSERT_TRUE(killedAt(KillPoint::TrashInfoWritten, [&] { fileops::moveToTrash(card); }));
    EXPECT_EQ(testkit::readFile(card), "card");
    EXPECT_EQ(testkit::lines(testkit::entriesOf(trash + QStringLiteral("/info"))),
              testkit::lines({QStringLiteral("A1_IMG_0007-qrcode.JPG.trashinfo")}));
    QString trashed;
    ASSERT_TRUE(fileops::moveToTrash(card, &trashed));
    EXPECT_EQ(trashed, trash + QStringLiteral("/files/A1_IMG_0007-qrcode.JPG"));
    EXPECT_EQ(testkit::readFile(trashed), "card");
    EXPECT_EQ(testkit::lines(testkit::entriesOf(trash + QStringLiteral("/files"))),
              testkit::lines({QStringLiteral("A1_IMG_0007-qrcode.JPG")}));
    EXPECT_EQ(testkit::lines(testkit::entriesOf(trash + QStringLiteral("/info"))),
              testkit::lines({QStringLiteral("A1_IMG_0007-qrcode.JPG.trashinfo")}));
    const QByteArray info = testkit::readFile(trash + QStringLiteral("/info/A1_IMG_0007-qrcode.JPG.trashinfo"));
    EXPECT_EQ(info.count("[Trash Info]"), 1) << info.constData();
    EXPECT_TRUE(info.contains(QFile::encodeName(card))) << info.constData();

    // An info file whose trashing is still under way is not an orphan.
    const QString second = dir + QStringLiteral("/B2_IMG_0008-qrcode.JPG");
    ASSERT_TRUE(testkit::writeFile(second, "second"));
    const QString busyInfo = trash + QStringLiteral("/info/B2_IMG_0008-qrcode.JPG.trashinfo");
    ASSERT_TRUE(testkit::writeFile(busyInfo, "[Trash Info]\n"));
    {
        const LockedFile busy(busyInfo);
        ASSERT_TRUE(fileops::moveToTrash(second, &trashed));
    }
    EXPECT_EQ(trashed, trash + QStringLiteral("/files/B2_IMG_0008-qrcode.2.JPG"));
    EXPECT_EQ(testkit::readFile(busyInfo), "[Trash Info]\n");
}

// The fault plans the kill and fault sweeps of the commands rely on: steps
// are counted where they happen, a planned failure stops a copy half way
// without leaving anything, and a kill lands right after its step.
TEST(FileOps, FaultPlansCountStepsFailThemAndKillAtThem)
{
    const QString folder = testkit::makeTempFolder();
    const QString otherRoot = testkit::otherFileSystemFolder();
    const QString other = otherRoot.isEmpty() ? QString() : testkit::makeFolder(otherRoot + QStringLiteral("/faults"));
    const QString photo = folder + QStringLiteral("/DSC_0001.JPG");
    ASSERT_TRUE(testkit::writeFile(photo, QByteArray(300000, 'p')));

    faults::setPlan({});
    faults::Plan counting;
    counting.stepLog = folder + QStringLiteral("/../steps.log");
    faults::setPlan(counting);
    ASSERT_TRUE(fileops::moveNoReplace(photo, folder + QStringLiteral("/A_DSC_0001.JPG")));
    EXPECT_EQ(faults::stepsTaken(), 1);
    ASSERT_TRUE(fileops::moveNoReplace(folder + QStringLiteral("/A_DSC_0001.JPG"), photo));
    EXPECT_EQ(testkit::readFile(counting.stepLog).count('\n'), 2);

    if (!other.isEmpty()) {
        faults::Plan full;
        full.failAfter = 0;
        full.error = ENOSPC;
        faults::setPlan(full);
        const FileResult moved = fileops::moveNoReplace(photo, other + QStringLiteral("/DSC_0001.JPG"));
        faults::setPlan({});
        EXPECT_FALSE(moved);
        EXPECT_TRUE(moved.error.contains(qt_error_string(ENOSPC))) << moved.error.toStdString();
        EXPECT_TRUE(QFile::exists(photo));
        EXPECT_TRUE(testkit::entriesOf(other).isEmpty()) << testkit::lines(testkit::entriesOf(other));
    }

    // Killed right after the first step of a move to the trash: the step is on disk, the next is not.
    EXPECT_TRUE(diedOfKill(statusOfChildKilledAfter(1, [&] { return int(fileops::moveToTrash(photo).ok); })));
    EXPECT_TRUE(QFile::exists(photo));
    EXPECT_TRUE(fileops::moveToTrash(photo)); // the restart finishes it
    EXPECT_FALSE(QFile::exists(photo));
}
