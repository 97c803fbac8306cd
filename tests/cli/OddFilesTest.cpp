// Odd files in the folders, through the commands run as programs: nothing
// waits on a FIFO, nothing is hidden, nothing is sorted that is no photo,
// and whatever stays behind is named and makes the exit status say so.

#include "tests/testkit/fixtures/OddFilesScene.h"

using namespace sorrelby::testkit::oddfiles;

TEST(OddFiles, EveryCommandGivenAFifoReturnsWithTheReason)
{
    const QString source = makeTempFolder(QStringLiteral("source"));
    const QString fifo = source + QStringLiteral("/DSC_0004.JPG");
    makeFifo(fifo);
    writeRaw(source, "A1_DSC_0003-qrcode.JPG", jpeg(1));

    for (const char *command : {"detect", "info"}) {
        const ProgramRun given = run({command, fifo});
        EXPECT_FALSE(given.crashed) << command;
        EXPECT_EQ(given.exitCode, 3) << command << given.err.toStdString();
        EXPECT_TRUE(given.err.contains(QStringLiteral("not a regular file"))) << command << given.err.toStdString();
    }
    // The folder commands name it and leave it.
    const QString main = makeTempFolder(QStringLiteral("main"));
    const QString line = QStringLiteral("DSC_0004.JPG: not a regular file");
    for (const QStringList &args : {QStringList{"sections", source}, QStringList{"decode", source},
                                    QStringList{"decode", "--detect", source}, QStringList{"deliver", source, main}}) {
        const ProgramRun folder = run(settingsFor(source) + args);
        EXPECT_EQ(folder.exitCode, 3) << args.join(' ').toStdString() << folder.err.toStdString();
        EXPECT_TRUE(folder.err.contains(line)) << args.join(' ').toStdString() << folder.err.toStdString();
    }
    const ProgramRun quiet = run(settingsFor(source) + QStringList{"--quiet", "sections", source});
    EXPECT_EQ(quiet.exitCode, 3);
    EXPECT_TRUE(quiet.err.contains(QStringLiteral("1 file(s) left in ") + source)) << quiet.err.toStdString();
    EXPECT_FALSE(quiet.err.contains(line)) << quiet.err.toStdString();

    const QString hot = makeTempFolder(QStringLiteral("hot"));
    makeFifo(hot + QStringLiteral("/DSC_0005.JPG"));
    const ProgramRun intake = run(settingsFor(source) + QStringList{"intake", hot, source});
    EXPECT_EQ(intake.exitCode, 3) << intake.err.toStdString();
    EXPECT_TRUE(intake.err.contains(QStringLiteral("DSC_0005.JPG: not a regular file"))) << intake.err.toStdString();

    const QString card = makeTempFolder(QStringLiteral("card"));
    const QString camera = makeFolder(card + QStringLiteral("/DCIM/100NIKON"));
    writeRaw(camera, "DSC_0006.JPG", jpeg(2));
    makeFifo(camera + QStringLiteral("/DSC_0007.JPG"));
    const QString cardSource = makeTempFolder(QStringLiteral("cardsource"));
    const ProgramRun copied = run(settingsFor(cardSource) + QStringList{"card", card});
    EXPECT_EQ(copied.exitCode, 3) << copied.err.toStdString();
    EXPECT_TRUE(copied.err.contains(QStringLiteral("DCIM/100NIKON/DSC_0007.JPG: not a regular file"))) << copied.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(cardSource + QStringLiteral("/DSC_0006.JPG")) || QDir(cardSource).entryList(QDir::Files).size() == 1)
        << copied.out.toStdString();

    // Nothing moved the FIFOs anywhere.
    EXPECT_TRUE(fileops::attributes(fifo).has_value());
    EXPECT_TRUE(fileops::attributes(hot + QStringLiteral("/DSC_0005.JPG")).has_value());
}

TEST(OddFiles, NamesThatAreNotUtf8AreLeftInPlaceAndSaidByEveryCommand)
{
    // The hot folder: two photos under such names, an empty file and noise.
    const QString hot = makeTempFolder(QStringLiteral("hot"));
    const QString source = makeTempFolder(QStringLiteral("source"));
    writeRaw(hot, "DSC_0001.JPG", jpeg(1));
    writeRaw(hot, "DSC_0002\xff\xfe.JPG", jpeg(2));
    writeRaw(hot, "\xc3(DSC_0003.JPG", jpeg(3));
    writeRaw(hot, "DSC_0004.JPG", {});
    writeRaw(hot, "DSC_0005.JPG", noise());
    const ProgramRun intake = run(settingsFor(source) + QStringList{"intake", hot, source});
    EXPECT_EQ(intake.exitCode, 3) << intake.err.toStdString();
    EXPECT_EQ(intake.out, QStringLiteral("1 photo(s) moved\n"));
    for (const QString &said :
         {QStringLiteral("DSC_0002\\xff\\xfe.JPG: name is not valid UTF-8"), QStringLiteral("\\xc3(DSC_0003.JPG: name is not valid UTF-8"),
          QStringLiteral("DSC_0004.JPG: empty file"), QStringLiteral("DSC_0005.JPG: not a photo")})
        EXPECT_TRUE(intake.err.contains(said)) << said.toStdString() << "\n" << intake.err.toStdString();
    EXPECT_EQ(rawNames(hot), (QList<QByteArray>{"DSC_0002\xff\xfe.JPG", "DSC_0004.JPG", "DSC_0005.JPG", "\xc3(DSC_0003.JPG"}));

    // The source folder after a card: one photo each side of the U+FFFD
    // question, and two more that cannot be carried.
    const QString shoot = makeTempFolder(QStringLiteral("shoot"));
    writeRaw(shoot, "A1_DSC_0010-qrcode.JPG", jpeg(10));
    writeRaw(shoot, "DSC_0011.JPG", jpeg(11));
    writeRaw(shoot, "DSC_0012\xff\xfe.JPG", jpeg(12));
    writeRaw(shoot, "\xc3(DSC_0013.JPG", jpeg(13));
    writeRaw(shoot, "DSC_0014\xff.JPG", jpeg(14));
    writeRaw(shoot, "DSC_0014\xef\xbf\xbd.JPG", jpeg(15));
    const QStringList unsortable{QStringLiteral("DSC_0012\\xff\\xfe.JPG: name is not valid UTF-8"),
                                 QStringLiteral("\\xc3(DSC_0013.JPG: name is not valid UTF-8"),
                                 QStringLiteral("DSC_0014\\xff.JPG: name is not valid UTF-8")};
    const auto saysAll = [&](const ProgramRun &done, const char *what) {
        EXPECT_EQ(done.exitCode, 3) << what << done.err.toStdString();
        for (const QString &said : unsortable)
            EXPECT_TRUE(done.err.contains(said)) << what << ": " << said.toStdString() << "\n" << done.err.toStdString();
        EXPECT_FALSE(done.err.contains(QStringLiteral("No such file"))) << what << done.err.toStdString();
    };

    const ProgramRun decoded = run(settingsFor(shoot) + QStringList{"decode", shoot});
    saysAll(decoded, "decode");
    EXPECT_EQ(rawNames(shoot),
              (QList<QByteArray>{"A1_DSC_0010-qrcode.JPG", "A1_DSC_0011.JPG", "A1_DSC_0014\xef\xbf\xbd.JPG", "DSC_0012\xff\xfe.JPG",
                                 "DSC_0014\xff.JPG", "\xc3(DSC_0013.JPG"}));
    const ProgramRun sections = run(settingsFor(shoot) + QStringList{"sections", shoot});
    saysAll(sections, "sections");
    EXPECT_TRUE(sections.out.contains(QString::fromUtf8("A1_DSC_0014\xef\xbf\xbd.JPG"))) << sections.out.toStdString();

    const QString main = makeTempFolder(QStringLiteral("main"));
    const ProgramRun delivered = run(settingsFor(shoot) + QStringList{"deliver", shoot, main});
    saysAll(delivered, "deliver");
    EXPECT_EQ(rawNames(main), (QList<QByteArray>{"A1_DSC_0011.JPG", "A1_DSC_0014\xef\xbf\xbd.JPG"}));
    // Each left where it was, and the card with them? No: its photos are
    // delivered, so it went to the trash; only the three stay.
    EXPECT_EQ(rawNames(shoot), (QList<QByteArray>{"DSC_0012\xff\xfe.JPG", "DSC_0014\xff.JPG", "\xc3(DSC_0013.JPG"}));
}

TEST(OddFiles, FilesThatAreNoPhotosAreNeitherCodedNorDelivered)
{
    const QString shoot = makeTempFolder(QStringLiteral("shoot"));
    writeRaw(shoot, "A1_DSC_0020-qrcode.JPG", jpeg(20));
    writeRaw(shoot, "DSC_0021.JPG", jpeg(21));
    writeRaw(shoot, "DSC_0022.JPG", noise());
    writeRaw(shoot, "DSC_0023.JPG", png());
    writeRaw(shoot, "DSC_0024.png", png());

    const ProgramRun decoded = run(settingsFor(shoot) + QStringList{"decode", shoot});
    EXPECT_EQ(decoded.exitCode, 3) << decoded.err.toStdString();
    EXPECT_TRUE(decoded.err.contains(QStringLiteral("DSC_0022.JPG: not a photo"))) << decoded.err.toStdString();
    EXPECT_TRUE(decoded.err.contains(QStringLiteral("DSC_0023.JPG: not a photo (its content is PNG, its name says JPEG)")))
        << decoded.err.toStdString();
    // A PNG under its own name is a photo like the others.
    EXPECT_EQ(rawNames(shoot),
              (QList<QByteArray>{"A1_DSC_0020-qrcode.JPG", "A1_DSC_0021.JPG", "A1_DSC_0024.png", "DSC_0022.JPG", "DSC_0023.JPG"}));

    const QString main = makeTempFolder(QStringLiteral("main"));
    const ProgramRun delivered = run(settingsFor(shoot) + QStringList{"deliver", shoot, main});
    EXPECT_EQ(delivered.exitCode, 3) << delivered.err.toStdString();
    EXPECT_EQ(rawNames(main), (QList<QByteArray>{"A1_DSC_0021.JPG", "A1_DSC_0024.png"}));
    EXPECT_EQ(rawNames(shoot), (QList<QByteArray>{"DSC_0022.JPG", "DSC_0023.JPG"}));
    EXPECT_EQ(readFile(shoot + QStringLiteral("/DSC_0022.JPG")), noise());
}

TEST(OddFiles, UnknownSettingsAreRefusedWithTheNearestKey)
{
    const QString folder = makeTempFolder();
    ProgramRun refused = run({"settings", "prefDestinatonPath=" + folder});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("did you mean prefDestinationPath?"))) << refused.err.toStdString();
    refused = run({"settings", "bogusKey=1"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("unknown setting \"bogusKey\""))) << refused.err.toStdString();
    // A good key beside a bad one is not stored either.
    refused = run({"settings", "prefKeepLastQRCodeFile=1", "prefKeepLastQRCodeFil=1"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("did you mean prefKeepLastQRCodeFile?"))) << refused.err.toStdString();
    const ProgramRun stored = run({"settings"});
    EXPECT_EQ(stored.exitCode, 0);
    EXPECT_FALSE(stored.out.contains(QStringLiteral("bogusKey"))) << stored.out.toStdString();
    EXPECT_FALSE(stored.out.contains(QStringLiteral("prefDestinatonPath"))) << stored.out.toStdString();
    EXPECT_EQ(run({"settings", "prefKeepLastQRCodeFile"}).out, QStringLiteral("prefKeepLastQRCodeFile=false\n"));
    EXPECT_EQ(run({"settings", "prefDestinatonPath"}).exitCode, 2);

    // The same for --set on a command, before the command does anything.
    refused = run({"--set", "prefDestinatonPath=" + folder, "sections", folder});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("did you mean prefDestinationPath?"))) << refused.err.toStdString();
    EXPECT_TRUE(refused.out.isEmpty()) << refused.out.toStdString();
    EXPECT_EQ(run({"sections", "--set", "prefKeepLastQRCodeFile=1", folder}).exitCode, 0);
}

// Killed after each file-changing step, then run again: the photos end up in
// the main folder once each, the card in the trash, and the odd files stay in
// the source folder exactly as they were, named by both runs.
TEST(OddFiles, DeliverKilledAtEveryStepLeavesTheOddFilesAndLosesNoPhoto)
{
    const QString source = makeTempFolder(QStringLiteral("source"));
    const QString main = makeTempFolder(QStringLiteral("main"));
    const QString trash = userfolders::dataHome() + QStringLiteral("/Trash/files");
    const QStringList args = settingsFor(source) + QStringList{"deliver", source, main};
    const QList<QByteArray> odd{"DSC_0032\xff.JPG", "DSC_0033.JPG", "DSC_0034.JPG"};
    const auto prepare = [&] {
        emptyFolder(source);
        emptyFolder(main);
        QDir(userfolders::dataHome() + QStringLiteral("/Trash")).removeRecursively();
        writeRaw(source, "A1_DSC_0030-qrcode.JPG", jpeg(30));
        writeRaw(source, "A1_DSC_0031.JPG", jpeg(31));
        writeRaw(source, "A1_DSC_0035.JPG", jpeg(35));
        writeRaw(source, odd[0], jpeg(32));
        writeRaw(source, odd[1], noise());
        makeFifo(source + QStringLiteral("/DSC_0034.JPG"));
    };
    prepare();
    const QMultiMap<QByteArray, QString> photos = contentCensus({source});

    const KillSweepReport report = sweepApp("deliver with odd files", args, prepare, [&](int) {
        QStringList problems
            = rerunProblems(args, QStringLiteral("DSC_0032\\xff.JPG: name is not valid UTF-8"), photos, {source, main, trash});
        QList<QByteArray> left = rawNames(source);
        if (left != odd)
            problems << QStringLiteral("the source folder holds %1 entries, not the three odd files").arg(left.size());
        if (rawNames(main) != QList<QByteArray>{"A1_DSC_0031.JPG", "A1_DSC_0035.JPG"})
            problems << QStringLiteral("the main folder holds %1 entries").arg(rawNames(main).size());
        return problems;
    });
    EXPECT_GT(report.points, 0);
    EXPECT_EQ(report.killed, report.points);
    EXPECT_TRUE(report.problems.isEmpty()) << report.problems.join(u'\n').toStdString();
}

// The same for a hot folder pass.
TEST(OddFiles, IntakeKilledAtEveryStepLeavesTheOddFilesAndLosesNoPhoto)
{
    const QString hot = makeTempFolder(QStringLiteral("hot"));
    const QString source = makeTempFolder(QStringLiteral("source"));
    const QStringList args = settingsFor(source) + QStringList{"intake", hot, source};
    const QList<QByteArray> odd{"DSC_0042\xff.JPG", "DSC_0043.JPG", "DSC_0044.JPG", "DSC_0045.JPG"};
    const auto prepare = [&] {
        emptyFolder(hot);
        emptyFolder(source);
        writeRaw(hot, "DSC_0040.JPG", jpeg(40));
        writeRaw(hot, "DSC_0041.JPG", jpeg(41));
        writeRaw(hot, odd[0], jpeg(42));
        writeRaw(hot, odd[1], noise());
        writeRaw(hot, odd[2], {});
        makeFifo(hot + QStringLiteral("/DSC_0045.JPG"));
    };
    prepare();
    const QMultiMap<QByteArray, QString> photos = contentCensus({hot});

    const KillSweepReport report = sweepApp("intake with odd files", args, prepare, [&](int) {
        QStringList problems = rerunProblems(args, QStringLiteral("DSC_0045.JPG: not a regular file"), photos, {hot, source});
        if (rawNames(hot) != odd)
            problems << QStringLiteral("the hot folder holds %1 entries, not the four odd files").arg(rawNames(hot).size());
        if (rawNames(source) != QList<QByteArray>{"DSC_0040.JPG", "DSC_0041.JPG"})
            problems << QStringLiteral("the source folder holds %1 entries").arg(rawNames(source).size());
        return problems;
    });
    EXPECT_GT(report.points, 0);
    EXPECT_EQ(report.killed, report.points);
    EXPECT_TRUE(report.problems.isEmpty()) << report.problems.join(u'\n').toStdString();
}

// A FIFO given where a command reads one file: the photo to reassign, the
// class list of sections and report.
TEST(OddFiles, AFifoGivenAsPhotoOrClassListReturnsWithTheReason)
{
    const QString source = makeTempFolder(QStringLiteral("source"));
    writeRaw(source, "A1_DSC_0001-qrcode.JPG", jpeg(1));
    const QString fifo = source + QStringLiteral("/DSC_0002.JPG");
    makeFifo(fifo);
    const QString list = makeTempFolder(QStringLiteral("list")) + QStringLiteral("/roster.csv");
    makeFifo(list);

    const ProgramRun reassigned = run(settingsFor(source) + QStringList{"reassign", "B2", fifo});
    EXPECT_EQ(reassigned.exitCode, 1) << reassigned.err.toStdString();
    EXPECT_TRUE(reassigned.err.contains(QStringLiteral("DSC_0002.JPG: not a regular file"))) << reassigned.err.toStdString();
    for (const char *command : {"sections", "report"}) {
        const ProgramRun given = run(settingsFor(source) + QStringList{command, "--roster", list, source});
        EXPECT_EQ(given.exitCode, 1) << command << given.err.toStdString();
        EXPECT_TRUE(given.err.contains(QStringLiteral("cannot read the roster: not a regular file"))) << command << given.err.toStdString();
    }
    EXPECT_TRUE(fileops::attributes(fifo).has_value());
}

// A JPEG's first bytes before noise, and a photo cut off before its picture:
// no reader opens either, so neither is coded nor delivered as a portrait.
TEST(OddFiles, AJpegWithoutAPictureIsNeitherCodedNorDelivered)
{
    const QString shoot = makeTempFolder(QStringLiteral("shoot"));
    writeRaw(shoot, "A1_DSC_0050-qrcode.JPG", jpeg(50));
    writeRaw(shoot, "DSC_0051.JPG", jpeg(51));
    writeRaw(shoot, "DSC_0052.JPG", QByteArray("\xFF\xD8\xFF\xE0", 4) + noise());
    const QByteArray photo = jpeg(53);
    writeRaw(shoot, "DSC_0053.JPG", photo.left(photo.indexOf("\xFF\xC0")));

    const ProgramRun decoded = run(settingsFor(shoot) + QStringList{"decode", shoot});
    EXPECT_EQ(decoded.exitCode, 3) << decoded.err.toStdString();
    for (const char *name : {"DSC_0052.JPG", "DSC_0053.JPG"})
        EXPECT_TRUE(decoded.err.contains(QLatin1String(name) + QStringLiteral(": not a photo (no picture in its JPEG data)")))
            << name << decoded.err.toStdString();
    const QString main = makeTempFolder(QStringLiteral("main"));
    const ProgramRun delivered = run(settingsFor(shoot) + QStringList{"deliver", shoot, main});
    EXPECT_EQ(delivered.exitCode, 3) << delivered.err.toStdString();
    EXPECT_EQ(rawNames(main), QList<QByteArray>{"A1_DSC_0051.JPG"});
    EXPECT_EQ(rawNames(shoot), (QList<QByteArray>{"DSC_0052.JPG", "DSC_0053.JPG"}));
}

// Files the program may not read: named with the reason and counted, the
// exit status says so, and each stays where it was. Root reads every file,
// so as root the commands run as "nobody".
TEST(OddFiles, UnreadableFilesAreNamedCountedAndLeft)
{
    const UnprivilegedRuns runs;
    if (!runs.possible())
        GTEST_SKIP() << "running as root without setpriv to drop it";
    ASSERT_TRUE(runs.top().isValid());
    const QString top = runs.top().path();
    const QString home = runs.home();
    const QString hot = makeFolder(top + QStringLiteral("/hot"));
    const QString source = makeFolder(top + QStringLiteral("/source"));
    const QString main = makeFolder(top + QStringLiteral("/main"));
    writeRaw(source, "A1_DSC_0060-qrcode.JPG", jpeg(60));
    writeRaw(source, "DSC_0061.JPG", jpeg(61));
    writeRaw(source, "DSC_0062.JPG", jpeg(62));
    writeRaw(hot, "DSC_0063.JPG", jpeg(63));
    writeRaw(hot, "DSC_0064.JPG", jpeg(64));
    for (const QString &locked : QStringList{source + QStringLiteral("/DSC_0062.JPG"), hot + QStringLiteral("/DSC_0064.JPG")})
        ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0), 0);
    runs.handOver({top, home, hot, source, main});
    const auto runAs = [&](const QStringList &args) { return runs.run(settingsFor(source) + args); };

    const ProgramRun decoded = runAs({"decode", source});
    EXPECT_EQ(decoded.exitCode, 3) << decoded.err.toStdString();
    EXPECT_TRUE(decoded.err.contains(QStringLiteral("DSC_0062.JPG: unreadable: Permission denied"))) << decoded.err.toStdString();
    const ProgramRun quiet = runAs({"--quiet", "sections", source});
    EXPECT_EQ(quiet.exitCode, 3);
    EXPECT_TRUE(quiet.err.contains(QStringLiteral("1 file(s) left in ") + source)) << quiet.err.toStdString();
    EXPECT_FALSE(quiet.err.contains(QStringLiteral("DSC_0062.JPG"))) << quiet.err.toStdString();

    const ProgramRun delivered = runAs({"deliver", source, main});
    EXPECT_EQ(delivered.exitCode, 3) << delivered.err.toStdString();
    EXPECT_TRUE(delivered.err.contains(QStringLiteral("DSC_0062.JPG: unreadable: Permission denied"))) << delivered.err.toStdString();
    EXPECT_EQ(rawNames(main), QList<QByteArray>{"A1_DSC_0061.JPG"});
    EXPECT_EQ(rawNames(source), QList<QByteArray>{"DSC_0062.JPG"});

    const ProgramRun intake = runAs({"intake", hot, source});
    EXPECT_EQ(intake.exitCode, 3) << intake.err.toStdString();
    EXPECT_EQ(intake.out, QStringLiteral("1 photo(s) moved\n"));
    EXPECT_TRUE(intake.err.contains(QStringLiteral("DSC_0064.JPG: unreadable: Permission denied"))) << intake.err.toStdString();
    EXPECT_EQ(rawNames(hot), QList<QByteArray>{"DSC_0064.JPG"});
}

// A station that drains its hot folder and goes does not call a folder with
// files left in it empty.
TEST(OddFiles, WatchUntilIdleSaysWhatItLeftInTheHotFolder)
{
    const QString hot = makeTempFolder(QStringLiteral("hot"));
    const QString source = makeTempFolder(QStringLiteral("source"));
    const QString main = makeTempFolder(QStringLiteral("main"));
    writeRaw(hot, "DSC_0070.JPG", jpeg(70));
    writeRaw(hot, "DSC_0071.JPG", {});
    const QStringList args{"--set", "prefHotFolderPath=" + hot, "--set", "prefDestinationPath=" + main, "watch", "--until-idle"};
    const ProgramRun watched = run(settingsFor(source) + args);
    EXPECT_EQ(watched.exitCode, 3) << watched.out.toStdString() << watched.err.toStdString();
    EXPECT_TRUE(watched.out.contains(QStringLiteral("DSC_0071.JPG: empty file"))) << watched.out.toStdString();
    EXPECT_TRUE(watched.out.contains(QStringLiteral("idle: 1 file(s) left in the hot folder"))) << watched.out.toStdString();
    EXPECT_EQ(rawNames(hot), QList<QByteArray>{"DSC_0071.JPG"});
    EXPECT_EQ(rawNames(source), QList<QByteArray>{"DSC_0070.JPG"});
}
