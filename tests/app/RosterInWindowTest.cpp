// The class list in the real window, offscreen, with the real engine: a
// decoded shoot whose source folder holds its roster.csv (X001 missing, S002
// photographed twice, S003 only a card, S004 not on the roster, one photo
// without a code). The panel's marks, the headers' names, a row clicked
// scrolling the photos, the question before delivery (cancelled, then
// answered), and on disk the delivered photos with the report beside them
// and the roster left in the source folder. Then a roster with mistakes, one
// opened by hand, and an export.

#include "tests/testkit/fixtures/RosterInWindowScene.h"

using namespace sorrelby::testkit::rosterinwindow;

TEST_F(RosterInWindow, PanelHeadersScrollQuestionAndDeliveryWithItsReport)
{
    const QString rosterFile = source + QStringLiteral("/roster.csv");
    const std::optional<RosterShoot> made = makeRosterShoot(source, rosterFile);
    ASSERT_TRUE(made);
    settings.setValue(cPrefOriginalNameFormatTag, made->shoot.nameFormatTag());
    const QByteArray rosterBytes = readFile(rosterFile);

    WindowScene scene(workQueue, monitor, QSize(900, 600));
    MainWindow &window = scene.window;
    BrowserView *browser = window.browser();
    ViewController *controller = browser->controller();
    ASSERT_TRUE(checked(window));
    ASSERT_TRUE(window.roster().roster()) << "roster.csv in the source folder is taken by itself";
    EXPECT_EQ(window.roster().rosterPath(), rosterFile);

    // The panel holds the marks read from the photos on disk (every mark and
    // the grouping are the panel model's own tests).
    RosterPanel *panel = window.findChild<RosterPanel *>(QStringLiteral("rosterPanel"));
    ASSERT_TRUE(panel);
    EXPECT_TRUE(panel->isVisible());
    const RosterPanelModel *rows = window.roster().model();
    EXPECT_EQ(marksOfCode(*rows, QStringLiteral("X001")), unsigned(MarkMissing));
    EXPECT_EQ(marksOfCode(*rows, QStringLiteral("S002")), unsigned(MarkPhotographedTwice));
    EXPECT_EQ(rows->index(rows->rowCount() - 1).data(RosterPanelModel::KindRole).toInt(), int(RosterPanelRow::Kind::WithoutCode));
    EXPECT_TRUE(panel->summary()->text().contains(QStringLiteral("roster.csv")));

    // The headers say who each code is.
    const int s005 = sectionOfCode(*controller, QStringLiteral("S005"));
    ASSERT_GE(s005, 0);
    EXPECT_EQ(controller->model()->index(controller->model()->headerRow(s005)).data(SectionItemModel::SubjectRole).toString(),
              subjectLabel(made->rows, QStringLiteral("S005")));

    // A row clicked brings its section to the top of the photos.
    SectionGridView *grid = browser->grid();
    grid->verticalScrollBar()->setValue(0);
    const int s003 = sectionOfCode(*controller, QStringLiteral("S003"));
    ASSERT_GE(s003, 0);
    clickRow(panel->list(), rows->rowOfCode(QStringLiteral("S003")));
    const QModelIndex firstOf3 = controller->model()->indexForPath({s003, 0});
    EXPECT_GT(grid->verticalScrollBar()->value(), 0);
    EXPECT_GE(grid->visualRect(firstOf3).top(), 0);
    EXPECT_LT(grid->visualRect(firstOf3).top(), grid->viewport()->height() / 2);

    // Delivery asks first, naming who to look at; Cancel delivers nothing.
    const QStringList before = entriesOf(source);
    alerts.queueAnswer(0);
    browser->action(QStringLiteral("deliver"))->trigger();
    ASSERT_TRUE(waitUntil([&] { return alerts.shown().size() == 1u; }));
    const QString asked = alerts.shown().front().informativeText;
    for (const char *code : {"X001", "S003", "S004"})
        EXPECT_TRUE(asked.contains(QLatin1String(code))) << asked.toStdString();
    EXPECT_FALSE(asked.contains(QStringLiteral("S002"))) << "photographed twice is no reason to stop";
    workQueue.sync([] {});
    EXPECT_EQ(entriesOf(source), before);

    // Asked again and answered: delivered.
    alerts.clear();
    alerts.queueAnswer(1);
    browser->action(QStringLiteral("deliver"))->trigger();
    ASSERT_TRUE(waitUntil([&] { return alerts.shown().size() == 1u; }));
    const QStringList delivered = deliveredNames(made->shoot);
    const QString daily = dailyFolderWithReport(window);
    ASSERT_FALSE(daily.isEmpty()) << lines(filesBelow(mainFolder));

    // The photos and the report in the daily folder; the roster stays home.
    QStringList inDaily = entriesOf(daily);
    const QStringList reports = QDir(daily).entryList({QStringLiteral("sorrelby-report-*.csv")});
    ASSERT_EQ(reports.size(), 1);
    inDaily.removeAll(reports.first());
    EXPECT_EQ(lines(inDaily), sortedLines(delivered));
    EXPECT_FALSE(filesBelow(mainFolder).join(u'\n').contains(QStringLiteral("roster.csv")));
    EXPECT_EQ(readFile(rosterFile), rosterBytes);
    const QString report = QString::fromUtf8(readFile(daily + u'/' + reports.first()));
    EXPECT_TRUE(report.contains(reportCsvHeader().first()));
    for (const QString &name : std::as_const(delivered))
        EXPECT_TRUE(report.contains(daily + u'/' + name)) << name.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("X001")));
}

TEST_F(RosterInWindow, MistakesAreNamedARosterOpenedByHandIsKeptAndTheReportExported)
{
    const QString lists = makeTempFolder(QStringLiteral("lists"));
    const std::optional<RosterShoot> made = makeRosterShoot(source, lists + QStringLiteral("/class-3.csv"));
    ASSERT_TRUE(made);
    settings.setValue(cPrefOriginalNameFormatTag, made->shoot.nameFormatTag());
    // The folder's own list has a row without a code.
    ASSERT_TRUE(writeFile(source + QStringLiteral("/roster.csv"), "Code,First Name,Last Name,Class\nS001,Ann,Berg,3A\n,Ole,Dahl,3A\n"));

    WindowScene scene(workQueue, monitor, QSize(900, 600));
    MainWindow &window = scene.window;
    ASSERT_TRUE(checked(window));
    ASSERT_TRUE(waitUntil([&] { return !alerts.shown().empty(); }));
    EXPECT_TRUE(alerts.shown().front().informativeText.contains(QStringLiteral("line 3, column 1")))
        << alerts.shown().front().informativeText.toStdString();
    EXPECT_FALSE(window.roster().roster());
    EXPECT_EQ(window.roster().model()->rowOfCode(QStringLiteral("X001")), -1);

    // File > Open Roster...: the good list, kept for this folder.
    alerts.clear();
    QStringList asked;
    window.setFileChooser([&](QWidget *, const FileChoice &choice, std::function<void(std::optional<QString>)> done) {
        asked << choice.title;
        done(asked.size() == 1 ? made->rosterPath : mainFolder + QStringLiteral("/class-3.json"));
    });
    const int reloads = window.browser()->controller()->reloadCount();
    window.openRosterAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return window.roster().rosterPath() == made->rosterPath && !window.roster().isBusy(); }));
    const RosterPanelModel *rows = window.roster().model();
    EXPECT_EQ(marksOfCode(*rows, QStringLiteral("X001")), unsigned(MarkMissing));
    EXPECT_EQ(rosterPathForFolder(settings, source), made->rosterPath);
    EXPECT_EQ(reloads, window.browser()->controller()->reloadCount()) << "opening a roster does not reload the photos";

    // File > Export Report... as JSON, off the GUI thread.
    window.exportReportAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return !alerts.shown().empty(); }, 60000));
    EXPECT_EQ(alerts.shown().front().messageText, QStringLiteral("Report Written")) << alerts.shown().front().informativeText.toStdString();
    const QJsonObject json = QJsonDocument::fromJson(readFile(mainFolder + QStringLiteral("/class-3.json"))).object();
    EXPECT_FALSE(json.isEmpty());
    EXPECT_TRUE(isReportFile(mainFolder + QStringLiteral("/class-3.json"), ReportFormat::Json));

    // Exporting over a file that is no report is refused; the file stays.
    ASSERT_TRUE(writeFile(mainFolder + QStringLiteral("/class-3.json"), "my own notes"));
    alerts.clear();
    asked.clear();
    asked << QStringLiteral("skip the roster answer");
    window.exportReportAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return !alerts.shown().empty(); }, 60000));
    EXPECT_EQ(alerts.shown().front().messageText, QStringLiteral("!!! Report NOT Written !!!"));
    EXPECT_EQ(readFile(mainFolder + QStringLiteral("/class-3.json")), QByteArray("my own notes"));
}
