// The `report` command and `sections --roster` run as a program on a
// generated shoot: the roster found in the folder, the formats and where
// they go, the subjects listed on standard error, what may not be written
// over, and an HTML report killed at each of its steps.

#include "tests/testkit/fixtures/ReportCommandScene.h"

using namespace sorrelby::testkit::reportcommand;

TEST(ReportCommand, ChecksAGeneratedShootAgainstItsRoster)
{
    const QString folder = makeTempFolder(QStringLiteral("source"));
    // The roster beside the photos is found without --roster.
    const std::optional<RosterShoot> made = makeRosterShoot(folder, folder + QStringLiteral("/roster.csv"));
    ASSERT_TRUE(made);
    const qsizetype photos = made->shoot.photos.size();

    ProgramRun run = runApp({"report", folder});
    EXPECT_EQ(run.exitCode, 3) << run.err.toStdString();
    EXPECT_EQ(run.out.count(QStringLiteral("\r\n")), photos + 2); // header, photos, X001
    EXPECT_TRUE(run.out.contains(QStringLiteral(",X001,"))) << run.out.toStdString();
    const QStringList err = run.err.split(u'\n', Qt::SkipEmptyParts);
    EXPECT_EQ(err.size(), 5) << run.err.toStdString();
    EXPECT_TRUE(err.value(0).startsWith(QStringLiteral("photographed twice: S002 "))) << run.err.toStdString();
    EXPECT_TRUE(err.value(0).contains(QStringLiteral("(3A) at 2024-05-01 09:00:"))) << run.err.toStdString();
    EXPECT_TRUE(err.value(1).startsWith(QStringLiteral("only a card: S003 ")));
    EXPECT_TRUE(err.value(2).startsWith(QStringLiteral("missing: X001 ")) && err.value(2).endsWith(QStringLiteral("(3B)")));
    EXPECT_EQ(err.value(3), QStringLiteral("not on the roster: S004"));
    EXPECT_EQ(err.value(4),
              QStringLiteral("6 of 7 subjects photographed; 1 missing, 1 only a card, 1 photographed "
                             "twice, 1 not on the roster, 1 photo without a code"));

    // JSON into a file; the same again over it, as it is a report of ours.
    const QString out = makeTempFolder(QStringLiteral("out"));
    for (int round = 0; round < 2; ++round) {
        run = runApp({"report", "--format", "json", "--output", out + QStringLiteral("/report.json"), folder});
        EXPECT_EQ(run.exitCode, 3) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
    const QJsonObject json = QJsonDocument::fromJson(readFile(out + QStringLiteral("/report.json"))).object();
    EXPECT_EQ(json.value(QStringLiteral("photos")).toArray().size(), photos);
    EXPECT_EQ(json.value(QStringLiteral("roster")).toString(), made->rosterPath);

    // Nothing that is no report of ours is written over: not the roster,
    // not a folder of other files.
    const QByteArray roster = readFile(made->rosterPath);
    run = runApp({"report", "--output=" + made->rosterPath, folder});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("exists and is no report"))) << run.err.toStdString();
    EXPECT_EQ(readFile(made->rosterPath), roster);
    run = runApp({"report", "--format=html", "--output", out, folder});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("holds other files"))) << run.err.toStdString();

    run = runApp({"report", "--format", "html", "--output", out + QStringLiteral("/html"), folder});
    EXPECT_EQ(run.exitCode, 3) << run.err.toStdString();
    EXPECT_TRUE(QFile::exists(out + QStringLiteral("/html/index.html")));
    EXPECT_EQ(QDir(out + QStringLiteral("/html/thumbs")).entryList(QDir::Files).size(), photos);
    // Nothing in the source folder changed.
    QStringList names = made->shoot.expectedNames();
    names.append(QStringLiteral("roster.csv"));
    EXPECT_EQ(lines(entriesOf(folder)), sortedLines(names));

    // The window's sections with the roster's names and marks.
    run = runApp({"sections", "--json", "--roster", made->rosterPath, folder});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(sectionLines(run.out),
              "DSC  \nS001 3A \nS002 3A twice\nS003 3A only-card\nS004  not-on-roster\n"
              "S005 3B \nS006 3B \nS002 3A twice");
    const QJsonObject sections = QJsonDocument::fromJson(run.out.toUtf8()).object();
    const QJsonArray missing = sections.value(QStringLiteral("roster")).toObject().value(QStringLiteral("missing")).toArray();
    ASSERT_EQ(missing.size(), 1);
    EXPECT_EQ(missing[0].toObject().value(QStringLiteral("code")).toString(), QStringLiteral("X001"));
}

TEST(ReportCommand, WrongUsageAndBadRosters)
{
    const QString folder = makeTempFolder(QStringLiteral("source"));
    ASSERT_TRUE(writeFilesInOrder(folder, {"A1_IMG_0001-qrcode.JPG", "A1_IMG_0002.JPG"}).size() == 2);
    EXPECT_EQ(runApp({"report", "--format", "pdf", folder}).exitCode, 2);
    EXPECT_EQ(runApp({"report", "--roster"}).exitCode, 2);
    EXPECT_EQ(runApp({"report", folder, folder}).exitCode, 2);
    EXPECT_EQ(runApp({"sections", "--roster"}).exitCode, 2);
    EXPECT_EQ(runApp({"report", makeTempFolder() + QStringLiteral("/gone")}).exitCode, 1);

    // Each problem with its line and column; no report.
    const QString roster = makeTempFolder(QStringLiteral("lists")) + QStringLiteral("/class.csv");
    ASSERT_TRUE(writeFile(roster, "Code;Name\nA1;Emma\nA1;Noah\n"));
    for (const QString &command : {QStringLiteral("report"), QStringLiteral("sections")}) {
        const ProgramRun run = runApp({command, "--roster", roster, folder});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_TRUE(run.err.contains(roster + QStringLiteral(": line 3, column 1: the code \"A1\" is already on line 2")))
            << run.err.toStdString();
    }
    // Without a roster the codes found are the subjects. The stand-ins are
    // no pictures, so they are not listed: nothing to report is no issue.
    const ProgramRun bare = runApp({"report", "--format", "json", folder});
    EXPECT_EQ(bare.exitCode, 0) << bare.err.toStdString();
    EXPECT_TRUE(QJsonDocument::fromJson(bare.out.toUtf8()).object().value(QStringLiteral("roster")).isNull());
}

TEST(ReportCommand, HtmlReportKilledAtEveryStep)
{
    ShootSpec spec;
    spec.subjects = 2;
    spec.photosPerSubject = 1;
    const QString folder = makeTempFolder(QStringLiteral("source"));
    const std::optional<Shoot> shoot = writeShoot(folder, spec);
    ASSERT_TRUE(shoot);
    for (const ShootPhoto &photo : shoot->photos)
        ASSERT_TRUE(fileops::moveNoReplace(folder + u'/' + photo.fileName, folder + u'/' + photo.expectedName));
    const QString out = makeTempFolder(QStringLiteral("out")) + QStringLiteral("/html");
    const QMultiMap<QByteArray, QString> source = contentCensus({folder});
    const QStringList args{"report", "--format", "html", "--output", out, folder};
    const qsizetype photos = shoot->photos.size();

    const auto problemsAfterRestart = [&](int) {
        QStringList problems;
        if (contentCensus({folder}) != source)
            problems << QStringLiteral("the source folder changed");
        const ProgramRun rerun = runApp(args);
        if (rerun.exitCode != 0)
            problems << QStringLiteral("the restart ended with %1: %2").arg(rerun.exitCode).arg(rerun.err);
        // Exactly the report's files: no temporaries, nothing missing.
        const QStringList files = everyFileBelow(out);
        if (files.size() != photos + 3 || !files.contains(QStringLiteral("index.html"))
            || !files.contains(QStringLiteral(".sorrelby-report")))
            problems << QStringLiteral("after the restart: ") + files.join(u' ');
        return problems;
    };
    KillSweep sweep;
    sweep.program = QStringLiteral(SORRELBY_APP_PATH);
    sweep.args = args;
    sweep.prepare = [&] { QDir(out).removeRecursively(); };
    sweep.restartAndCheck = problemsAfterRestart;
    const KillSweepReport report = runKillSweep(sweep);
    std::cout << "report --format html kill sweep: " << report.points << " points, " << report.killed << " killed, "
              << report.problems.size() << " problems" << std::endl;
    EXPECT_GE(report.points, photos + 2);
    EXPECT_EQ(report.killed, report.points);
    EXPECT_TRUE(report.problems.isEmpty()) << report.problems.join(u'\n').toStdString();

    // A full disk part way: a failure that says why, the source untouched,
    // and the next run finishes the report.
    QDir(out).removeRecursively();
    FaultPlan plan;
    plan.failAfter = 4;
    plan.error = QStringLiteral("ENOSPC");
    const ProgramRun full = runWithFaults(QStringLiteral(SORRELBY_APP_PATH), args, plan);
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_TRUE(full.err.contains(QStringLiteral("No space left on device"))) << full.err.toStdString();
    EXPECT_TRUE(problemsAfterRestart(0).isEmpty());
}
