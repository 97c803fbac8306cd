// The two decode passes on photos whose capture order is given by their
// modification times. The name-carrying pass needs no image content; the
// detecting pass runs with a fake detector here (the real one runs over
// generated shoots in the decode command's tests).

#include "tests/testkit/fixtures/DecodePassScene.h"

using namespace sorrelby::testkit::decodepass;

class NameCarryingPassTest : public ::testing::Test {
protected:
    void SetUp() override { Settings::shared().registerFactoryDefaults(); }
};
using DetectingPassTest = NameCarryingPassTest;

TEST_F(NameCarryingPassTest, WorkedExampleAndRunningItAgain)
{
    const QString folder = makeTempFolder();
    const QStringList paths = writeFilesInOrder(
        folder, {"IMG_0001.JPG", "A1_IMG_0002-qrcode.JPG", "IMG_0003.JPG", "B2_IMG_0004.JPG", "B7_IMG_0005-qrcode.JPG", "IMG_0006.JPG"});
    const QStringList expected{"IMG_0001.JPG",    "A1_IMG_0002-qrcode.JPG", "A1_IMG_0003.JPG",
                               "A1_IMG_0004.JPG", "B7_IMG_0005-qrcode.JPG", "B7_IMG_0006.JPG"};
    Recorder recorder;
    NameCarryingPass pass;
    // Handed in reverse: the pass orders by capture time itself.
    QStringList reversed = paths;
    std::reverse(reversed.begin(), reversed.end());
    pass.doAutoDecodeQRAction3(reversed, recorder.progress(), recorder.completion());

    EXPECT_EQ(lines(namesByTime(folder)), lines(expected));
    EXPECT_EQ(recorder.positions, (QList<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(recorder.messages.first(), message("<no code found>"));
    EXPECT_EQ(recorder.messages[1], message("A1"));
    EXPECT_EQ(recorder.messages.last(), message("A1, B7"));
    EXPECT_EQ(recorder.completions, 1);
    ASSERT_EQ(pass.summaries().size(), 1);
    EXPECT_EQ(pass.summaries()[0].renamed, 3);

    // Again over the renamed photos: the same names, nothing touched.
    QStringList again;
    for (const QString &name : expected)
        again << folder + QLatin1Char('/') + name;
    NameCarryingPass second;
    second.doAutoDecodeQRAction3(again);
    EXPECT_EQ(lines(namesByTime(folder)), lines(expected));
    EXPECT_EQ(second.summaries()[0].renamed, 0);
}

TEST_F(NameCarryingPassTest, ReverseAssignCarriesCodesBackwards)
{
    Settings::shared().setValue(QStringLiteral("prefReverseAssignBarcode"), true);
    const QString folder = makeTempFolder();
    const QStringList paths = writeFilesInOrder(
        folder, {"IMG_0001.JPG", "IMG_0002.JPG", "A1_IMG_0003-qrcode.JPG", "IMG_0004.JPG", "B7_IMG_0005-qrcode.JPG", "IMG_0006.JPG"});
    Recorder recorder;
    NameCarryingPass().doAutoDecodeQRAction3(paths, recorder.progress(), recorder.completion());
    EXPECT_EQ(lines(namesByTime(folder)),
              lines((QStringList{"A1_IMG_0001.JPG", "A1_IMG_0002.JPG", "A1_IMG_0003-qrcode.JPG", "B7_IMG_0004.JPG",
                                 "B7_IMG_0005-qrcode.JPG", "IMG_0006.JPG"})));
    EXPECT_EQ(recorder.messages.last(), message("B7, A1"));
}

TEST_F(NameCarryingPassTest, EdgeCasesOfOneSequence)
{
    const QString folder = makeTempFolder();
    // Two cards in a row, a card that gave no code (named as a plain photo),
    // an unknown-marked photo, a photo with another code, a photo that
    // already has the code, and a card at the end.
    const QStringList names{"DSC_0001.JPG",    "A1_DSC_0002-qrcode.JPG", "B2_DSC_0003-qrcode.JPG",
                            "DSC_0004.JPG",    "UNKNOWN_DSC_0005.JPG",   "C3_DSC_0006.JPG",
                            "B2_DSC_0007.JPG", "DSC_0008.JPG",           "D4_DSC_0009-qrcode.JPG"};
    const QStringList paths = writeFilesInOrder(folder, names);
    Recorder recorder;
    NameCarryingPass().doAutoDecodeQRAction3(paths, recorder.progress(), recorder.completion());
    EXPECT_EQ(lines(entriesOf(folder)),
              lines((QStringList{"A1_DSC_0002-qrcode.JPG", "B2_DSC_0003-qrcode.JPG", "B2_DSC_0004.JPG", "B2_DSC_0005.JPG",
                                 "B2_DSC_0006.JPG", "B2_DSC_0007.JPG", "B2_DSC_0008.JPG", "D4_DSC_0009-qrcode.JPG", "DSC_0001.JPG"})));
    EXPECT_EQ(recorder.messages.last(), message("A1, B2, D4"));
    EXPECT_EQ(recorder.positions.size(), names.size());

    // An empty list: no progress, one completion.
    Recorder empty;
    NameCarryingPass().doAutoDecodeQRAction3({}, empty.progress(), empty.completion());
    EXPECT_TRUE(empty.positions.isEmpty());
    EXPECT_EQ(empty.completions, 1);
}

TEST_F(NameCarryingPassTest, TakenNamesNeverReplaceAFileAndNeverKeepAWrongCode)
{
    const QString folder = makeTempFolder();
    const QStringList paths = writeFilesInOrder(folder, {"A1_IMG_0002-qrcode.JPG", "B2_IMG_0003.JPG", "B2_IMG_0004.JPG"});
    // Outside the walk: the coded name of the first photo and the original
    // name of the second are taken.
    writeFilesInOrder(folder, {"A1_IMG_0003.JPG", "IMG_0004.JPG"});
    NameCarryingPass pass;
    pass.doAutoDecodeQRAction3(paths);
    // IMG_0003 could not take A1's name, so it went back to its camera name
    // rather than stay with B2; IMG_0004's camera name is taken, but the code
    // still replaces B2 in front of it (A1_B2_IMG_0004 would read as A1_B2).
    EXPECT_EQ(lines(entriesOf(folder)),
              lines((QStringList{"A1_IMG_0002-qrcode.JPG", "A1_IMG_0003.JPG", "A1_IMG_0004.JPG", "IMG_0003.JPG", "IMG_0004.JPG"})));
    EXPECT_EQ(readFile(folder + "/A1_IMG_0003.JPG"), standIn(QStringLiteral("A1_IMG_0003.JPG"), "photo A1_IMG_0003.JPG"));
    EXPECT_EQ(readFile(folder + "/IMG_0004.JPG"), standIn(QStringLiteral("IMG_0004.JPG"), "photo IMG_0004.JPG"));
    EXPECT_EQ(pass.summaries()[0].failed, 1);
    EXPECT_EQ(pass.summaries()[0].renamed, 1);
}

TEST_F(NameCarryingPassTest, CameraSplitDecodesEachNikonAndCanonOnItsOwn)
{
    const QString folder = makeTempFolder();
    // Two bodies shooting alternately, and a third make that is not decoded.
    const QStringList paths
        = writeFilesInOrder(folder,
                            {"N1_DSC_0001-qrcode.JPG", "C1_IMG_0001-qrcode.JPG", "DSC_0002.JPG", "IMG_0002.JPG", "N2_DSC_0003-qrcode.JPG",
                             "IMG_0003.JPG", "DSC_0004.JPG", "X1_SNY_0001-qrcode.JPG", "SNY_0002.JPG"});
    const auto grouper = groupByNamePrefix;
    Settings::shared().setValue(QStringLiteral("prefCheckForMultiCameras"), true);
    Recorder recorder;
    NameCarryingPass pass(grouper);
    pass.doAutoDecodeQRAction3New(paths, recorder.progress(), recorder.completion());
    EXPECT_EQ(
        lines(entriesOf(folder)),
        lines((QStringList{"C1_IMG_0001-qrcode.JPG", "C1_IMG_0002.JPG", "C1_IMG_0003.JPG", "N1_DSC_0001-qrcode.JPG", "N1_DSC_0002.JPG",
                           "N2_DSC_0003-qrcode.JPG", "N2_DSC_0004.JPG", "SNY_0002.JPG", "X1_SNY_0001-qrcode.JPG"})));
    EXPECT_EQ(recorder.completions, 1);
    EXPECT_EQ(recorder.positions.size(), 7); // the third camera is not walked
    EXPECT_EQ(pass.summaries().size(), 2);

    // Hot folder mode splits too; a grouping that fails renames nothing.
    Settings::shared().setValue(QStringLiteral("prefCheckForMultiCameras"), false);
    Settings::shared().setValue(QStringLiteral("prefEnableHotFolderMode"), true);
    Recorder failing;
    NameCarryingPass([](const QStringList &) {
        return std::optional<QMap<QString, QStringList>>();
    }).doAutoDecodeQRAction3New(QDir(folder).entryList(QDir::Files), failing.progress(), failing.completion());
    EXPECT_TRUE(failing.positions.isEmpty());
    EXPECT_EQ(failing.completions, 1);

    // Without the split the interleaved photos form one sequence.
    Settings::shared().setValue(QStringLiteral("prefEnableHotFolderMode"), false);
    const QString single = makeTempFolder();
    const QStringList singlePaths = writeFilesInOrder(single, {"N1_DSC_0001-qrcode.JPG", "C1_IMG_0001-qrcode.JPG", "DSC_0002.JPG"});
    NameCarryingPass(grouper).doAutoDecodeQRAction3New(singlePaths);
    EXPECT_TRUE(QFile::exists(single + "/C1_DSC_0002.JPG"));
}

TEST_F(DetectingPassTest, NamesCardsAndFollowersExactlyWithAnyNumberOfWorkers)
{
    for (int workers : {1, 2}) {
        SCOPED_TRACE(workers);
        const QString folder = makeTempFolder();
        const QStringList paths = writeFilesInOrder(
            folder, {"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG", "A1_IMG_0004.JPG", "IMG_0005.JPG", "IMG_0006.JPG"});
        DetectingPass pass(tableDetector({{"IMG_0002.JPG", "A1"}, {"IMG_0005.JPG", "B2"}, {"IMG_0006.JPG", "C3"}}));
        pass.setWorkerCount(workers);
        PassEvents events(pass);
        const DecodeSummary summary = pass.run(paths);
        // A photo that already carries the code keeps its name.
        EXPECT_EQ(lines(namesByTime(folder)),
                  lines((QStringList{"IMG_0001.JPG", "A1_IMG_0002-qrcode.JPG", "A1_IMG_0003.JPG", "A1_IMG_0004.JPG",
                                     "B2_IMG_0005-qrcode.JPG", "C3_IMG_0006-qrcode.JPG"})));
        EXPECT_EQ(events.positions, (QList<int>{1, 2, 3, 4, 5, 6}));
        EXPECT_EQ(events.counts, QList<int>(6, 6));
        EXPECT_EQ(lines(events.found), lines((QStringList{message("A1"), message("A1, B2"), message("A1, B2, C3")})));
        EXPECT_EQ(events.finished, 1);
        EXPECT_EQ(summary.renamed, 4);
        EXPECT_FALSE(summary.aborted);
    }
}

TEST_F(DetectingPassTest, CodesHoldingSeparatorsNameCardsAndFollowersWhole)
{
    const QString folder = makeTempFolder();
    // B2_IMG_0003 kept a code because its camera name was taken.
    const QStringList paths
        = writeFilesInOrder(folder, {"IMG_0001.JPG", "IMG_0002.JPG", "B2_IMG_0003.JPG", "IMG_0004.JPG", "IMG_0005.JPG"});
    writeFilesInOrder(folder, {"IMG_0003.JPG"});
    DetectingPass pass(payloadDetector({{"IMG_0001.JPG", "SMITH_JOHN"}, {"IMG_0004.JPG", "SMITH_JANE"}}));
    const DecodeSummary summary = pass.run(paths);
    EXPECT_EQ(lines(entriesOf(folder)),
              lines((QStringList{"IMG_0003.JPG", "SMITH_JANE_IMG_0004-qrcode.JPG", "SMITH_JANE_IMG_0005.JPG",
                                 "SMITH_JOHN_IMG_0001-qrcode.JPG", "SMITH_JOHN_IMG_0002.JPG", "SMITH_JOHN_IMG_0003.JPG"})));
    EXPECT_EQ(summary.message(), message("SMITH_JOHN, SMITH_JANE"));
    EXPECT_EQ(summary.failed, 0);
}

TEST_F(DetectingPassTest, ParallelDetectionGivesTheNamesOfAOneByOneWalk)
{
    // A long shoot with codes in random places; the detector is slow on some
    // photos so that the workers finish out of order.
    QRandomGenerator random(7);
    QStringList names;
    QHash<QString, QString> codes;
    for (int i = 1; i <= 300; ++i) {
        const QString name = QStringLiteral("DSC_%1.JPG").arg(i, 4, 10, QLatin1Char('0'));
        names << name;
        if (random.bounded(10) == 0)
            codes.insert(name, QStringLiteral("K%1").arg(i));
    }
    QStringList expected;
    QString current;
    for (const QString &name : names) {
        const bool card = codes.contains(name);
        if (card)
            current = codes.value(name);
        expected << (current.isEmpty() ? name : current + "_" + name.chopped(4) + (card ? "-qrcode" : "") + ".JPG");
    }
    for (int workers : {1, 2, 8}) {
        SCOPED_TRACE(workers);
        const QString folder = makeTempFolder();
        const QStringList paths = writeFilesInOrder(folder, names);
        const auto table = tableDetector(codes);
        DetectingPass pass([&](const QString &path) {
            if (QFileInfo(path).fileName().endsWith("3.JPG"))
                QThread::usleep(300);
            return table(path);
        });
        pass.setWorkerCount(workers);
        int last = 0;
        pass.setProgressHandler([&](int position, int) { EXPECT_EQ(position, ++last); });
        pass.run(paths);
        EXPECT_EQ(lines(namesByTime(folder)), lines(expected));
        EXPECT_EQ(last, 300);
    }
}

TEST_F(DetectingPassTest, AbortFinishesThePhotoBeingHandledAndStops)
{
    for (int workers : {1, 2}) {
        SCOPED_TRACE(workers);
        const QString folder = makeTempFolder();
        QStringList names;
        for (int i = 1; i <= 40; ++i)
            names << QStringLiteral("IMG_%1.JPG").arg(i, 4, 10, QLatin1Char('0'));
        const QStringList paths = writeFilesInOrder(folder, names);
        DetectingPass pass(tableDetector({{"IMG_0002.JPG", "A1"}}));
        pass.setWorkerCount(workers);
        // The user presses "Abort Process" while the fifth photo is handled.
        pass.setProgressHandler([&](int position, int) {
            if (position == 5)
                pass.abort();
        });
        const DecodeSummary summary = pass.run(paths);
        EXPECT_TRUE(summary.aborted);
        EXPECT_EQ(summary.photos, 5);
        const QStringList after = namesByTime(folder);
        EXPECT_EQ(lines(after.mid(0, 5)),
                  lines((QStringList{"IMG_0001.JPG", "A1_IMG_0002-qrcode.JPG", "A1_IMG_0003.JPG", "A1_IMG_0004.JPG", "A1_IMG_0005.JPG"})));
        EXPECT_EQ(lines(after.mid(5)), lines(names.mid(5)));
    }
    // Aborted before the walk starts: nothing is renamed.
    const QString folder = makeTempFolder();
    const QStringList paths = writeFilesInOrder(folder, {"IMG_0001.JPG", "IMG_0002.JPG"});
    DetectingPass pass(tableDetector({{"IMG_0001.JPG", "A1"}}));
    pass.abort();
    EXPECT_TRUE(pass.run(paths).aborted);
    EXPECT_EQ(lines(namesByTime(folder)), lines((QStringList{"IMG_0001.JPG", "IMG_0002.JPG"})));
}

TEST_F(DetectingPassTest, RunsOnAQueueAndReportsOnTheMainThread)
{
    const QString folder = makeTempFolder();
    const QStringList paths = writeFilesInOrder(folder, {"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"});
    SerialQueue queue(QStringLiteral("com.halvane.vemo.sorrelby.decodequeue"));
    DetectingPass pass(tableDetector({{"IMG_0002.JPG", "A1"}}));
    PassEvents events(pass);
    pass.doAutoDecodeQRAction(paths, queue);
    ASSERT_TRUE(waitUntil([&] { return events.summary.has_value(); }));
    EXPECT_FALSE(events.offMain);
    EXPECT_EQ(events.positions, (QList<int>{1, 2, 3}));
    EXPECT_EQ(events.summary->message(), message("A1"));
    EXPECT_EQ(lines(namesByTime(folder)), lines((QStringList{"IMG_0001.JPG", "A1_IMG_0002-qrcode.JPG", "A1_IMG_0003.JPG"})));
}

TEST_F(DetectingPassTest, CameraSplitWalksEachNikonAndCanonOnItsOwn)
{
    // Two bodies shooting alternately, and a third make that is left alone.
    const QStringList names{"DSC_0001.JPG", "IMG_0001.JPG", "DSC_0002.JPG", "IMG_0002.JPG", "DSC_0003.JPG",
                            "IMG_0003.JPG", "IMG_0004.JPG", "DSC_0004.JPG", "SNY_0001.JPG", "SNY_0002.JPG"};
    const QHash<QString, QString> cards{{"DSC_0001.JPG", "N1"}, {"IMG_0001.JPG", "C1"}, {"DSC_0003.JPG", "N2"}, {"SNY_0001.JPG", "X1"}};
    Settings::shared().setValue(QStringLiteral("prefCheckForMultiCameras"), true);
    for (int workers : {1, 2}) {
        SCOPED_TRACE(workers);
        const QString folder = makeTempFolder();
        DetectingPass pass(tableDetector(cards));
        pass.setCameraGrouper(groupByNamePrefix);
        pass.setWorkerCount(workers);
        PassEvents events(pass);
        const DecodeSummary summary = pass.run(writeFilesInOrder(folder, names));
        EXPECT_EQ(
            lines(entriesOf(folder)),
            lines((QStringList{"C1_IMG_0001-qrcode.JPG", "C1_IMG_0002.JPG", "C1_IMG_0003.JPG", "C1_IMG_0004.JPG", "N1_DSC_0001-qrcode.JPG",
                               "N1_DSC_0002.JPG", "N2_DSC_0003-qrcode.JPG", "N2_DSC_0004.JPG", "SNY_0001.JPG", "SNY_0002.JPG"})));
        EXPECT_EQ(events.positions, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8}));
        EXPECT_EQ(events.counts, QList<int>(8, 8));
        EXPECT_EQ(events.finished, 1);
        EXPECT_EQ(summary.renamed, 8);
    }

    // Hot folder mode splits too; a grouping that fails renames nothing and
    // still finishes.
    Settings::shared().setValue(QStringLiteral("prefCheckForMultiCameras"), false);
    Settings::shared().setValue(QStringLiteral("prefEnableHotFolderMode"), true);
    const QString folder = makeTempFolder();
    DetectingPass pass(tableDetector(cards));
    pass.setCameraGrouper([](const QStringList &) { return std::optional<QMap<QString, QStringList>>(); });
    PassEvents events(pass);
    EXPECT_EQ(pass.run(writeFilesInOrder(folder, names)).photos, 0);
    EXPECT_EQ(events.finished, 1);
    EXPECT_EQ(entriesOf(folder).filter(QStringLiteral("1_")).size(), 0); // no code given
    Settings::shared().setValue(QStringLiteral("prefEnableHotFolderMode"), false);
}

TEST_F(DetectingPassTest, HostilePayloadsAndNamesNeverLeaveTheFolder)
{
    for (const bool decodeUrls : {false, true}) {
        SCOPED_TRACE(decodeUrls ? "addresses decoded" : "addresses kept");
        Settings::shared().setValue(QStringLiteral("prefDecodeForUrlString"), decodeUrls);
        const QString root = makeTempFolder(QStringLiteral("root"));
        const QString folder = makeFolder(root + QStringLiteral("/shoot/source"));
        makeFolder(root + QStringLiteral("/shoot/sib"));
        const HostileCardRun shoot
            = hostileCardRun([](qsizetype n) { return QStringLiteral("DSC_%1.JPG").arg(n, 4, 10, QLatin1Char('0')); });
        DetectingPass pass(payloadDetector(shoot.payloads));
        EXPECT_EQ(pass.run(writeFilesInOrder(folder, shoot.names)).failed, 0);
        QStringList expected = shoot.expectedNames(decodeUrls).replaceInStrings(QRegularExpression(QStringLiteral("^")), "shoot/source/");
        expected.sort();
        EXPECT_EQ(lines(everyFileBelow(root)), lines(expected));
    }
    Settings::shared().setValue(QStringLiteral("prefDecodeForUrlString"), false);

    // Card-photo names already in the folder that would hide or spoil the
    // followers' names count as photos, not cards.
    const QString folder = makeTempFolder();
    const QStringList paths = writeFilesInOrder(
        folder, {"A1_DSC_0001-qrcode.JPG", "._DSC_0002-qrcode.JPG", "DSC_0003.JPG", "B\x01_DSC_0004-qrcode.JPG", "DSC_0005.JPG"});
    NameCarryingPass pass;
    pass.doAutoDecodeQRAction3(paths);
    EXPECT_EQ(lines(everyFileBelow(folder)),
              lines((QStringList{"A1_DSC_0001-qrcode.JPG", "A1_DSC_0002.JPG", "A1_DSC_0003.JPG", "A1_DSC_0004.JPG", "A1_DSC_0005.JPG"})));
    EXPECT_EQ(pass.summaries().value(0).summary, QStringLiteral("A1"));
}

TEST_F(DetectingPassTest, PossibleUnreadCardsAreMarkedCountedAndCarriedOnToTheNamePass)
{
    const QString folder = makeTempFolder();
    const QStringList paths
        = writeFilesInOrder(folder, {"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG", "IMG_0004.JPG", "IMG_0005.JPG", "IMG_0006.JPG"});
    // IMG_0003 looks like a card but is not read; IMG_0005 shows a payload
    // whose control character must not pass for the card "ABCD".
    QHash<QString, QString> payloads{{"IMG_0001.JPG", "A1"}, {"IMG_0005.JPG", "AB\nCD"}};
    const auto reader = [&payloads](const QString &path) {
        const QString name = QFileInfo(path).fileName();
        DetectionResult detection;
        detection.readable = true;
        for (const auto &[photo, text] : payloads.asKeyValueRange()) {
            if (name.contains(photo.chopped(4)))
                detection.codes.append(DetectedCode{text, QStringLiteral("QRCode"), {}});
        }
        if (name.contains(QLatin1String("IMG_0003"))) {
            detection.possibleCard = true;
            detection.possibleCardWhy = QStringLiteral("a code was located but not read");
        }
        return cardFromDetection(detection);
    };
    DetectingPass pass;
    pass.setCardReader(reader);
    const DecodeSummary summary = pass.run(paths);
    // Named like any other photo (a mark, never a guess)...
    EXPECT_EQ(lines(namesByTime(folder)),
              lines((QStringList{"A1_IMG_0001-qrcode.JPG", "A1_IMG_0002.JPG", "A1_IMG_0003.JPG", "A1_IMG_0004.JPG", "A1_IMG_0005.JPG",
                                 "A1_IMG_0006.JPG"})));
    ASSERT_EQ(summary.possibleUnreadCards.size(), 2);
    EXPECT_TRUE(summary.possibleUnreadCards[0].startsWith(QLatin1String("IMG_0003.JPG: a code was located")));
    EXPECT_TRUE(summary.possibleUnreadCards[1].startsWith(QLatin1String("IMG_0005.JPG: its code [AB\\u000aCD]")));
    // ...and marked on the file, which the renames kept.
    if (!setPossibleUnreadCardMark(folder + "/A1_IMG_0002.JPG", QStringLiteral("probe")))
        GTEST_SKIP() << "no extended attributes on " << folder.toStdString();
    EXPECT_EQ(possibleUnreadCardMark(folder + "/A1_IMG_0003.JPG"), QStringLiteral("a code was located but not read"));
    EXPECT_TRUE(possibleUnreadCardMark(folder + "/A1_IMG_0005.JPG").has_value());
    EXPECT_FALSE(possibleUnreadCardMark(folder + "/A1_IMG_0004.JPG").has_value());

    // The name-carrying pass counts the marks it meets.
    NameCarryingPass carrying;
    carrying.doAutoDecodeQRAction3(QDir(folder).entryList(QDir::Files).replaceInStrings(QRegularExpression("^"), folder + "/"));
    ASSERT_EQ(carrying.summaries().size(), 1);
    EXPECT_EQ(carrying.summaries()[0].possibleUnreadCards.size(), 3); // the probe too

    // Read at last, a card loses its mark; so does a photo read as no card.
    payloads.insert("IMG_0005.JPG", "B2");
    DetectingPass again;
    again.setCardReader([&](const QString &path) { return path.contains(QLatin1String("IMG_0003")) ? CardReading{} : reader(path); });
    const DecodeSummary second = again.run(QDir(folder).entryList(QDir::Files).replaceInStrings(QRegularExpression("^"), folder + "/"));
    EXPECT_TRUE(second.possibleUnreadCards.isEmpty());
    for (const QString &file : QDir(folder).entryList(QDir::Files))
        EXPECT_FALSE(possibleUnreadCardMark(folder + "/" + file).has_value()) << file.toStdString();
    EXPECT_TRUE(QFile::exists(folder + "/B2_IMG_0005-qrcode.JPG"));
}
