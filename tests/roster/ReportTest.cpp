// Reports of generated shoots: the marks from real files and metadata, the
// CSV and JSON read back field by field, the HTML pages with their
// thumbnails, and the folders a report may not write into.

#include "tests/testkit/fixtures/RosterReportScene.h"

using namespace sorrelby::testkit::rosterreport;

TEST(RosterReport, GeneratedShootAsCsvAndJson)
{
    const std::optional<Scene> made = scene();
    ASSERT_TRUE(made);
    const ShootReport &report = made->report;
    const Shoot &shoot = made->made.shoot;
    ASSERT_EQ(report.photos.size(), size_t(shoot.photos.size()));
    EXPECT_EQ(marksOf(report).toStdString(),
              "S001 3 \nS002 6 photographed twice\nS003 1 only a card\nS005 3 \nS006 3 \nX001 0 missing\n"
              "S004 3 not on the roster");
    EXPECT_EQ(report.check.photosWithoutCode, 1);

    // Every photo's row, checked against what the shoot was made of.
    const CsvTable table = parseCsv(reportCsv(report));
    ASSERT_FALSE(table.problem);
    ASSERT_EQ(table.records.size(), shoot.photos.size() + 2); // the header and X001's row
    EXPECT_EQ(table.records[0].fields.mid(0, 9), reportCsvHeader());
    EXPECT_EQ(table.records[0].fields.mid(9), (QStringList{"Notes"}));
    for (const ShootPhoto &photo : shoot.photos) {
        const auto row = std::find_if(table.records.cbegin(), table.records.cend(),
                                      [&](const CsvRecord &r) { return r.fields.value(0) == photo.expectedName; });
        ASSERT_NE(row, table.records.cend()) << photo.expectedName.toStdString();
        const QStringList &f = row->fields;
        const RosterRow *roster = rowOf(made->made.rows, photo.expectedCode);
        EXPECT_EQ(f[1], photo.expectedCode);
        EXPECT_EQ(f[2], roster ? roster->firstName + u' ' + roster->lastName : QString()) << f[0].toStdString();
        EXPECT_EQ(f[3], roster ? roster->group : QString());
        EXPECT_EQ(f[4], photo.captureTime.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        EXPECT_EQ(f[5], photo.cameraKeyAfterDecode);
        EXPECT_EQ(f[6], photo.isCard ? QStringLiteral("card") : QStringLiteral("portrait"));
        EXPECT_EQ(f[8], QString());
    }
    const QStringList missing = table.records.last().fields;
    EXPECT_EQ(missing.mid(0, 4),
              (QStringList{"", "X001", rowOf(made->made.rows, "X001")->firstName + u' ' + rowOf(made->made.rows, "X001")->lastName, "3B"}));
    EXPECT_EQ(missing.mid(6), (QStringList{"missing", "missing", "", "absent on the day"}));

    const QJsonObject json = QJsonDocument::fromJson(reportJson(report)).object();
    const QJsonObject summary = json.value(QStringLiteral("summary")).toObject();
    EXPECT_EQ(summary.value(QStringLiteral("photos")).toInt(), shoot.photos.size());
    EXPECT_EQ(summary.value(QStringLiteral("missing")).toInt(), 1);
    EXPECT_EQ(summary.value(QStringLiteral("onlyCard")).toInt(), 1);
    EXPECT_EQ(summary.value(QStringLiteral("photographedTwice")).toInt(), 1);
    EXPECT_EQ(summary.value(QStringLiteral("notOnRoster")).toInt(), 1);
    EXPECT_EQ(summary.value(QStringLiteral("photosWithoutCode")).toInt(), 1);
    const QJsonArray subjects = json.value(QStringLiteral("subjects")).toArray();
    ASSERT_EQ(subjects.size(), 7);
    const QJsonObject s002 = subjects[1].toObject();
    EXPECT_EQ(s002.value(QStringLiteral("marks")).toArray(), QJsonArray{QStringLiteral("twice")});
    EXPECT_EQ(s002.value(QStringLiteral("visits")).toArray().size(), 2);
    const QJsonArray photos = json.value(QStringLiteral("photos")).toArray();
    ASSERT_EQ(photos.size(), shoot.photos.size());
    EXPECT_TRUE(photos[0].toObject().value(QStringLiteral("code")).isNull()); // before the first card
    EXPECT_EQ(photos[1].toObject().value(QStringLiteral("kind")).toString(), QStringLiteral("card"));

    // Only files this report wrote may be written over.
    const QString csvFile = makeTempFolder(QStringLiteral("out")) + QStringLiteral("/report.csv");
    ASSERT_TRUE(writeFile(csvFile, reportCsv(report)));
    EXPECT_TRUE(isReportFile(csvFile, ReportFormat::Csv));
    EXPECT_FALSE(isReportFile(csvFile, ReportFormat::Json));
    EXPECT_FALSE(isReportFile(made->made.rosterPath, ReportFormat::Csv));
}

TEST(RosterReport, HtmlPagesWithThumbnails)
{
    const std::optional<Scene> made = scene();
    ASSERT_TRUE(made);
    const ShootReport &report = made->report;
    const QString out = makeTempFolder(QStringLiteral("html")) + QStringLiteral("/report");
    int lastDone = 0;
    const HtmlReportResult result = writeHtmlReport(report, out, [&](int done, int total) {
        EXPECT_GE(done, lastDone);
        EXPECT_LE(done, total);
        lastDone = done;
    });
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.thumbnails, int(report.photos.size()));
    EXPECT_EQ(result.pages, 5); // index, 3A, 3B, not on the roster, without a code

    // The subjects to look at come first on the index, before the pages.
    const QString index = QString::fromUtf8(readFile(out + QStringLiteral("/index.html")));
    const qsizetype pages = index.indexOf(QStringLiteral("<h2>Pages</h2>"));
    for (const char *text : {"Missing", "X001", "Not on the roster", "S004", "Only a card", "S003", "Photographed twice"})
        EXPECT_LT(index.indexOf(QString::fromUtf8(text)), pages) << text;

    // Every subject on its group's page with its name, and each of its
    // photos as a thumbnail file beside the page.
    const QRegularExpression image(QStringLiteral("<img src=\"([^\"]+)\" alt=\"([^\"]+)\""));
    int images = 0;
    for (const QString &page : QDir(out).entryList({QStringLiteral("*.html")})) {
        const QString html = QString::fromUtf8(readFile(out + u'/' + page));
        for (auto match = image.globalMatch(html); match.hasNext(); ++images) {
            const QRegularExpressionMatch m = match.next();
            QImageReader reader(out + u'/' + m.captured(1));
            const QSize size = reader.size();
            EXPECT_TRUE(size.isValid() && std::max(size.width(), size.height()) <= 160) << m.captured(1).toStdString();
        }
    }
    EXPECT_EQ(images, int(report.photos.size()));
    const QString group3A = QString::fromUtf8(readFile(out + QStringLiteral("/group-1.html")));
    const QString group3B = QString::fromUtf8(readFile(out + QStringLiteral("/group-2.html")));
    for (const RosterRow &row : made->made.rows) {
        const QString &page = row.group == QLatin1String("3A") ? group3A : group3B;
        EXPECT_TRUE(page.contains(htmlEscaped(row.code + QStringLiteral(" · ") + row.firstName + u' ' + row.lastName)))
            << row.code.toStdString();
    }
    EXPECT_TRUE(QString::fromUtf8(readFile(out + QStringLiteral("/not-on-roster.html"))).contains(QStringLiteral("S004")));
    EXPECT_FALSE(group3A.contains(QStringLiteral("O'Neil"))); // escaped: O&#39;Neil
    EXPECT_FALSE(index.contains(QStringLiteral("http")));     // nothing from a network

    // Again into the same folder with fewer photos: the earlier report's
    // files go, so no stale thumbnail stays.
    ShootReport fewer
        = makeShootReport(report.source, report.roster, std::vector<ReportPhoto>(report.photos.begin(), report.photos.begin() + 4));
    ASSERT_TRUE(writeHtmlReport(fewer, out).ok);
    EXPECT_EQ(QDir(out + QStringLiteral("/thumbs")).entryList(QDir::Files).size(), 4);

    // A folder holding anything else is refused and left as it was.
    const QString foreign = makeTempFolder(QStringLiteral("foreign"));
    ASSERT_TRUE(writeFile(foreign + QStringLiteral("/index.html"), "mine"));
    const HtmlReportResult refused = writeHtmlReport(report, foreign);
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(refused.error.contains(QStringLiteral("holds other files")));
    EXPECT_EQ(entriesOf(foreign), QStringList{"index.html"});
    EXPECT_EQ(readFile(foreign + QStringLiteral("/index.html")), QByteArray("mine"));
}
