// The `decode` and `sections` commands run as a program: names given to a
// generated shoot, the section table as JSON, and the exit statuses.

#include "platform/FileOps.h"
#include "tests/testkit/TestEnvironment.h"
#include "tests/testkit/photos/ShootGenerator.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

using namespace sorrelby;
using namespace sorrelby::testkit;

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

Outcome run(const QStringList &args)
{
    QProcess process;
    process.start(QStringLiteral(SORRELBY_APP_PATH), args);
    EXPECT_TRUE(process.waitForFinished(60000));
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

std::string sortedFiles(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files);
    names.removeAll(QStringLiteral("manifest.json"));
    names.sort();
    return names.join(QLatin1Char('\n')).toStdString();
}

std::string sorted(QStringList names)
{
    names.sort();
    return names.join(QLatin1Char('\n')).toStdString();
}

} // namespace

TEST(DecodeCommand, DetectingAndNameCarryingPassesOverGeneratedShoots)
{
    // One camera, a card that shows no code, photos before the first card.
    ShootSpec spec;
    spec.subjects = 3;
    spec.photosPerSubject = 2;
    spec.photosBeforeFirstCard = 1;
    spec.unreadableCardSubjects = {1};
    const QString folder = makeTempFolder(QStringLiteral("shoot"));
    const std::optional<Shoot> shoot = writeShoot(folder, spec);
    ASSERT_TRUE(shoot);
    Outcome outcome = run({"decode", "--detect", folder});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(outcome.out, QStringLiteral("Found/Decoded QRCodes:\n\nS001, S003\n"));
    EXPECT_EQ(sortedFiles(folder), sorted(shoot->expectedNames()));
    // Again: the photos go back to their camera names first, so the names stay.
    outcome = run({"decode", "--detect", folder});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(sortedFiles(folder), sorted(shoot->expectedNames()));

    // Two cameras shooting the same subjects in turn; their cards named as
    // the hot folder names them; then the name-carrying pass by camera.
    ShootSpec two;
    two.subjects = 2;
    two.photosPerSubject = 2;
    two.cameras = {nikonCamera(), canonCamera()};
    two.interleave = true;
    const QString twoFolder = makeTempFolder(QStringLiteral("two"));
    const std::optional<Shoot> twoShoot = writeShoot(twoFolder, two);
    ASSERT_TRUE(twoShoot);
    for (const ShootPhoto &photo : twoShoot->photos) {
        if (photo.isCard && photo.readableCard) {
            ASSERT_TRUE(fileops::moveNoReplace(twoFolder + "/" + photo.fileName, twoFolder + "/" + photo.expectedName));
        }
    }
    outcome = run({"decode", "--set", "prefCheckForMultiCameras=true", twoFolder});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(sortedFiles(twoFolder), sorted(twoShoot->expectedNames(true)));
    EXPECT_EQ(outcome.out.count(QStringLiteral("Found/Decoded QRCodes:")), 2);

    // With detection switched off nothing is renamed.
    const QString off = makeTempFolder(QStringLiteral("off"));
    ASSERT_TRUE(writeShoot(off, spec));
    outcome = run({"decode", "--detect", "--set", "prefCanSupportVisionFramework=false", off});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(sortedFiles(off), sorted(shoot->fileNames()));
}

TEST(DecodeCommand, SectionsAsJsonAndExitStatuses)
{
    const QString folder = makeTempFolder(QStringLiteral("source"));
    const QByteArray jpeg = encodeJpeg(makeBackground(QSize(32, 24), 1));
    const QStringList names{"A1_X_1.JPG", "A1_X_2.JPG", "B2_X_3.JPG", "A1_X_4.JPG"};
    const QDateTime start(QDate(2024, 5, 1), QTime(9, 0));
    for (int i = 0; i < names.size(); ++i) {
        ASSERT_TRUE(writeFile(folder + "/" + names[i], jpeg));
        ASSERT_TRUE(fileops::setModificationDate(folder + "/" + names[i], start.addSecs(i)));
    }
    Outcome outcome = run({"sections", "--json", folder});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    const QJsonObject table = QJsonDocument::fromJson(outcome.out.toUtf8()).object();
    EXPECT_EQ(table.value("photos").toInt(), 4);
    const QJsonArray sections = table.value("sections").toArray();
    ASSERT_EQ(sections.size(), 3);
    const QStringList keys{"A1", "B2", "A1"};
    const QList<int> offsets{0, 2, 3};
    const QList<int> counts{2, 1, 1};
    for (int s = 0; s < 3; ++s) {
        const QJsonObject section = sections[s].toObject();
        EXPECT_EQ(section.value("key").toString(), keys[s]);
        EXPECT_EQ(section.value("offset").toInt(), offsets[s]);
        EXPECT_EQ(section.value("count").toInt(), counts[s]);
    }
    EXPECT_EQ(sections[0].toObject().value("files").toArray().at(1).toString(), QStringLiteral("A1_X_2.JPG"));

    outcome = run({"sections", "--json", "--single", folder});
    EXPECT_EQ(QJsonDocument::fromJson(outcome.out.toUtf8()).object().value("sections").toArray().at(0).toObject().value("key").toString(),
              QStringLiteral("singleMode"));

    outcome = run({"sections", folder + "/missing"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_TRUE(outcome.err.contains(folder + "/missing")) << outcome.err.toStdString();
    EXPECT_EQ(run({"sections"}).exitCode, 2);
    EXPECT_EQ(run({"decode", "--bogus", folder}).exitCode, 2);
    EXPECT_EQ(run({"decode", "--set", "novalue", folder}).exitCode, 2);
    // Nothing was renamed by any of it.
    EXPECT_EQ(QDir(folder).entryList(QDir::Files, QDir::Name), (QStringList{"A1_X_1.JPG", "A1_X_2.JPG", "A1_X_4.JPG", "B2_X_3.JPG"}));
}
