// What the window makes of a class list, without a window: the panel's rows
// and the sections they scroll to, the question before a delivery, which
// roster belongs to a folder, and the report a delivery leaves beside the
// photos.

#include "tests/testkit/fixtures/RosterPanelScene.h"

using namespace sorrelby::testkit::rosterpanel;

TEST(RosterPanel, RowsGroupedWithMarksAndTheSectionsTheyScrollTo)
{
    const std::vector<CheckedPhoto> photos{
        shot("IMG_0001.JPG", 0), // section 0: no code
        shot("A1_IMG_0002-qrcode.JPG", 1),
        shot("A1_IMG_0003.JPG", 2), // section 1
        shot("Z9_IMG_0004-qrcode.JPG", 3),
        shot("Z9_IMG_0005.JPG", 4),        // section 2: not on the roster
        shot("A2_IMG_0006-qrcode.JPG", 5), // section 3: only a card
        shot("A1_IMG_0007-qrcode.JPG", 60),
        shot("A1_IMG_0008.JPG", 61), // section 4: A1 again
        shot("A5_IMG_0009-qrcode.JPG", 62),
        shot("A5_IMG_0010.JPG", 63), // section 5
    };
    const std::vector<int> sections{0, 1, 1, 2, 2, 3, 4, 4, 5, 5};
    auto snapshot = std::make_shared<const RosterSnapshot>(makeRosterSnapshot(photos, sections, classList()));
    RosterPanelModel model;
    model.setSnapshot(snapshot);

    // The roster's groups in the order it names them, the group-less last of
    // the roster, then the codes it lacks and the photos without a code.
    EXPECT_EQ(displayed(model),
              (QStringList{QStringLiteral("3B"),
                           QStringLiteral("A1 \u00b7 Emma Larsen \u2014 4 photo(s) \u2014 photographed twice at 09:00:01, 09:01:00"),
                           QStringLiteral("A3 \u00b7 Ida Holm \u2014 0 photo(s) \u2014 missing"), QStringLiteral("3A"),
                           QStringLiteral("A2 \u00b7 Noah Berg \u2014 1 photo(s) \u2014 only a card"),
                           QStringLiteral("A4 \u00b7 Theo Dahl \u2014 0 photo(s) \u2014 missing"), QStringLiteral("No group"),
                           QStringLiteral("A5 \u00b7 Alma \u2014 2 photo(s)"), QStringLiteral("Not on the roster"),
                           QStringLiteral("Z9 \u2014 2 photo(s) \u2014 not on the roster"),
                           QStringLiteral("Unknown! \u2014 1 photo(s) without a code")}))
        << displayed(model).join(u'\n').toStdString();
    // A subject scrolls to the section of its first photo; a missing one nowhere.
    const auto sectionOf = [&](int row) { return model.index(row).data(RosterPanelModel::SectionRole).toInt(); };
    EXPECT_EQ(sectionOf(model.rowOfCode(QStringLiteral("A1"))), 1);
    EXPECT_EQ(sectionOf(model.rowOfCode(QStringLiteral("A2"))), 3);
    EXPECT_EQ(sectionOf(model.rowOfCode(QStringLiteral("A3"))), -1);
    EXPECT_EQ(sectionOf(model.rowOfCode(QStringLiteral("Z9"))), 2);
    EXPECT_EQ(sectionOf(model.rowCount() - 1), 0);
    EXPECT_FALSE(model.flags(model.index(0)) & Qt::ItemIsSelectable);
    // The headers' names: roster subjects only.
    EXPECT_EQ(snapshot->subjectLabels.value(QStringLiteral("A1")), QStringLiteral("Emma Larsen \u00b7 3B"));
    EXPECT_EQ(snapshot->subjectLabels.value(QStringLiteral("A5")), QStringLiteral("Alma"));
    EXPECT_FALSE(snapshot->subjectLabels.contains(QStringLiteral("Z9")));

    // The question before delivery: missing, only a card and not on the
    // roster; a subject photographed twice is no reason to stop.
    const std::optional<Alert> question = deliveryQuestion(*snapshot);
    ASSERT_TRUE(question);
    EXPECT_EQ(question->buttons, (QStringList{QStringLiteral("Cancel"), QStringLiteral("Deliver Anyway")}));
    EXPECT_EQ(subjectsToLookAt(*snapshot),
              (QStringList{QStringLiteral("only a card: A2 Noah Berg (3A)"), QStringLiteral("missing: A3 Ida Holm (3B)"),
                           QStringLiteral("missing: A4 Theo Dahl (3A)"), QStringLiteral("not on the roster: Z9")}));
    // Without a roster nobody is asked anything.
    EXPECT_FALSE(deliveryQuestion(makeRosterSnapshot(photos, sections, nullptr)));

    // A large school: the question stays short, the panel has the rest.
    QByteArray csv = "Code,Name\n";
    for (int i = 0; i < 40; ++i)
        csv += "M" + QByteArray::number(i) + ",Someone\n";
    const RosterSnapshot many = makeRosterSnapshot(photos, sections, std::make_shared<const Roster>(Roster::fromCsv(csv)));
    const std::optional<Alert> longQuestion = deliveryQuestion(many);
    ASSERT_TRUE(longQuestion);
    EXPECT_TRUE(longQuestion->informativeText.contains(QStringLiteral("... and 19 more"))) << longQuestion->informativeText.toStdString();
}

TEST(RosterPanel, TheRosterOfAFolderIsTheOneChosenForItElseItsOwn)
{
    Settings settings(makeTempFolder(QStringLiteral("settings")) + QStringLiteral("/s.conf"));
    settings.registerFactoryDefaults();
    const QString folder = makeTempFolder(QStringLiteral("shoot"));
    const QString other = makeTempFolder(QStringLiteral("other"));
    EXPECT_EQ(rosterPathForFolder(settings, folder), QString());
    ASSERT_TRUE(writeFile(folder + QStringLiteral("/roster.csv"), "Code\nA1\n"));
    EXPECT_EQ(rosterPathForFolder(settings, folder), folder + QStringLiteral("/roster.csv"));

    const QString chosen = makeTempFolder(QStringLiteral("lists")) + QStringLiteral("/3b.csv");
    ASSERT_TRUE(writeFile(chosen, "Code\nA2\n"));
    rememberRosterForFolder(settings, folder + QStringLiteral("/"), chosen);
    EXPECT_EQ(rosterPathForFolder(settings, folder), chosen);
    EXPECT_EQ(rosterPathForFolder(settings, other), QString()) << "one folder's roster is not another's";
    // A chosen file gone: the folder's own again, never a stale path.
    ASSERT_TRUE(QFile::remove(chosen));
    EXPECT_EQ(rosterPathForFolder(settings, folder), folder + QStringLiteral("/roster.csv"));
    ASSERT_TRUE(writeFile(chosen, "Code\nA2\n"));
    rememberRosterForFolder(settings, folder, QString());
    EXPECT_EQ(rosterPathForFolder(settings, folder), folder + QStringLiteral("/roster.csv"));
}

TEST(RosterPanel, DeliveryReportGoesBesideThePhotosAndNeverOverAFile)
{
    const QString daily = makeTempFolder(QStringLiteral("daily"));
    const QString unassigned = makeFolder(makeTempFolder(QStringLiteral("main")) + QStringLiteral("/UNASSIGNED_PHOTOS"));
    PhotoSpec spec;
    spec.size = QSize(160, 120);
    ASSERT_TRUE(writePhoto(daily + QStringLiteral("/A1_IMG_0003.JPG"), spec));
    ASSERT_TRUE(writePhoto(daily + QStringLiteral("/A1_IMG_0004c1.JPG"), spec));
    ASSERT_TRUE(writePhoto(unassigned + QStringLiteral("/unknown_IMG_0009.JPG"), spec));

    const DeliveryRunResult run
        = runDelivering(daily,
                        {{QStringLiteral("A1_IMG_0003.JPG"), daily + QStringLiteral("/A1_IMG_0003.JPG")},
                         {QStringLiteral("A1_IMG_0004.JPG"), daily + QStringLiteral("/A1_IMG_0004c1.JPG")},
                         {QStringLiteral("Z9_IMG_0005.JPG"), daily + QStringLiteral("/Z9_IMG_0005.JPG")},
                         {QStringLiteral("unknown_IMG_0009.JPG"), unassigned + QStringLiteral("/unknown_IMG_0009.JPG")}});
    const QDateTime now(QDate(2024, 5, 1), QTime(15, 30, 5));
    // Somebody's file under the name the report would take.
    ASSERT_TRUE(writeFile(daily + QStringLiteral("/sorrelby-report-20240501-153005.csv"), "mine"));

    const DeliveryReportResult written = writeDeliveryReports(run, classList(), cTag, now);
    ASSERT_EQ(written.written, QStringList{daily + QStringLiteral("/sorrelby-report-20240501-153005-2.csv")})
        << written.errors.join(u'\n').toStdString();
    EXPECT_EQ(readFile(daily + QStringLiteral("/sorrelby-report-20240501-153005.csv")), QByteArray("mine"));
    EXPECT_EQ(written.toLookAt, QStringList{QStringLiteral("not on the roster: Z9")});
    const QString report = QString::fromUtf8(readFile(written.written.first()));
    EXPECT_TRUE(report.contains(daily + QStringLiteral("/A1_IMG_0004c1.JPG"))) << "where the photo is, under the name it took";
    EXPECT_TRUE(report.contains(unassigned + QStringLiteral("/unknown_IMG_0009.JPG")));
    EXPECT_TRUE(report.contains(QStringLiteral("Ida"))) << "the missing subjects are on the school's sheet too";
    EXPECT_TRUE(isReportFile(written.written.first(), ReportFormat::Csv));

    // A full disk: said, and nothing half-written is left behind.
    const QStringList before = entriesOf(daily);
    faults::Plan full;
    full.failAfter = 0;
    full.error = ENOSPC;
    faults::setPlan(full);
    const DeliveryReportResult refused = writeDeliveryReports(run, classList(), cTag, now.addSecs(1));
    faults::setPlan({});
    EXPECT_TRUE(refused.written.isEmpty());
    ASSERT_EQ(refused.errors.size(), 1);
    EXPECT_EQ(entriesOf(daily), before);

    // Nothing delivered, nothing written.
    EXPECT_TRUE(writeDeliveryReports(runDelivering(daily, {}), classList(), cTag, now).written.isEmpty());
}

TEST(RosterPanel, AHotFolderBatchLeavesItsReportInTheDailyFolderWithoutAsking)
{
    Settings &settings = Settings::shared();
    settings.registerFactoryDefaults();
    initializeMetadataLibrary();
    const QString source = makeTempFolder(QStringLiteral("source"));
    const QString main = makeTempFolder(QStringLiteral("main"));
    const std::optional<RosterShoot> made = makeRosterShoot(source, source + QStringLiteral("/roster.csv"));
    ASSERT_TRUE(made);
    settings.setValue(cPrefOriginalNameFormatTag, made->shoot.nameFormatTag());
    settings.setValue(cPrefDestinationPath, main);

    QuietEngines quiet;
    ShootEngines &engines = quiet.engines;
    DeliveryReporter reporter(engines, settings);
    ShootRequest batch(ShootOperation::HotFolderBatch);
    batch.destination = main + QStringLiteral("/day");
    batch.mainFolder = main;
    const ShootResult result = engines.forFolder(source).run(batch);
    ASSERT_TRUE(result.delivery) << result.describe().toStdString();

    const QStringList reports = QDir(main + QStringLiteral("/day")).entryList({QStringLiteral("sorrelby-report-*.csv")});
    ASSERT_EQ(reports.size(), 1) << lines(filesBelow(main));
    const QString report = QString::fromUtf8(readFile(main + QStringLiteral("/day/") + reports.first()));
    EXPECT_TRUE(report.contains(QStringLiteral("S001"))) << report.toStdString();
    EXPECT_TRUE(fileops::exists(source + QStringLiteral("/roster.csv")));
    EXPECT_FALSE(fileops::exists(main + QStringLiteral("/day/roster.csv")));

    // Switched off: none.
    const QString second = makeTempFolder(QStringLiteral("source"));
    ASSERT_TRUE(makeRosterShoot(second, second + QStringLiteral("/roster.csv")));
    settings.setValue(cPrefWriteDeliveryReport, false);
    batch.destination = main + QStringLiteral("/day2");
    const ShootResult off = engines.forFolder(second).run(batch);
    settings.setValue(cPrefWriteDeliveryReport, true);
    ASSERT_TRUE(off.delivery);
    EXPECT_FALSE(QDir(main + QStringLiteral("/day2")).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(QDir(main + QStringLiteral("/day2")).entryList({QStringLiteral("sorrelby-report-*.csv")}).isEmpty());
}
