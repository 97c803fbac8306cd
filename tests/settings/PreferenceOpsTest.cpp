#include "settings/PreferenceOps.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"
#include "tests/testkit/TestEnvironment.h"

#include <QDateTime>

#include <gtest/gtest.h>

using namespace sorrelby;

// Settings are written in the background: done before the process ends.
class PreferenceOps : public ::testing::Test {
protected:
    void TearDown() override { Settings::shared().flush(); }
};

TEST_F(PreferenceOps, CamerasToTurnUpsideDown)
{
    Settings &settings = Settings::shared();
    EXPECT_TRUE(preferenceops::getCamerasForUpsideDown().isEmpty());
    settings.setValue(QStringLiteral("prefCamerasToRotate180asString"), QStringLiteral(" ,,3001234, 3005678 ,\n,3001234,\n"));
    EXPECT_EQ(preferenceops::getCamerasForUpsideDown(), (QSet<QString>{QStringLiteral("3001234"), QStringLiteral("3005678")}));
    // Serials may hold spaces; a list of nothing but separators is empty.
    EXPECT_EQ(preferenceops::parseSerialList(QStringLiteral("A 12, B 7")), (QStringList{QStringLiteral("A 12"), QStringLiteral("B 7")}));
    EXPECT_TRUE(preferenceops::parseSerialList(QStringLiteral(" ,,\n, ")).isEmpty());
}

TEST_F(PreferenceOps, CompletenessDelayIsAtLeastOneSecondAndStoredSo)
{
    Settings &settings = Settings::shared();
    const QString delayKey = QStringLiteral("prefDelayToWaitForValidPhotoInSeconds");
    settings.setValue(QStringLiteral("prefDoDelayToWaitForValidPhoto"), false);
    settings.setValue(delayKey, 0.25);
    EXPECT_FALSE(preferenceops::validPhotoDelay());
    settings.setValue(QStringLiteral("prefDoDelayToWaitForValidPhoto"), true);
    settings.setValue(delayKey, 2.5);
    EXPECT_EQ(preferenceops::validPhotoDelay(), 2.5);
    settings.setValue(delayKey, 0.25);
    EXPECT_EQ(preferenceops::validPhotoDelay(), 1.0);
    EXPECT_TRUE(testkit::waitUntil([&] { return settings.doubleValue(delayKey) == 1.0; }));
}

TEST_F(PreferenceOps, DailyFolderIsTodayThreeHoursAgoUnderTheStoredPattern)
{
    Settings &settings = Settings::shared();
    EXPECT_FALSE(preferenceops::getDailyFolderNameC());
    EXPECT_FALSE(preferenceops::getDuplicateFolderPathC(cPrefDestinationPath, cPrefDailyFolderDateFormat));

    settings.setValue(cPrefDestinationPath, QStringLiteral("/photos/Main"));
    EXPECT_EQ(preferenceops::getDuplicateFolderPathC(cPrefDestinationPath, cPrefDailyFolderDateFormat), QStringLiteral("/photos/Main"));

    // Either side of a midnight that may pass while the test runs.
    auto expected = [](const QString &qtPattern) { return QStringList{QDateTime::currentDateTime().addSecs(-10800).toString(qtPattern)}; };
    QStringList allowed = expected(QStringLiteral("yyyyMMdd"));
    settings.setValue(cPrefDailyFolderDateFormat, QStringLiteral("yyyyMMdd"));
    const auto name = preferenceops::getDailyFolderNameC();
    allowed += expected(QStringLiteral("yyyyMMdd"));
    ASSERT_TRUE(name);
    EXPECT_TRUE(allowed.contains(*name)) << name->toStdString();
    EXPECT_EQ(preferenceops::getDuplicateFolderPathC(cPrefDestinationPath, cPrefDailyFolderDateFormat),
              QStringLiteral("/photos/Main/") + *name);

    // Literal text and an empty pattern.
    const QDateTime when(QDate(2024, 5, 1), QTime(9, 30));
    EXPECT_EQ(preferenceops::formatDate(when, QStringLiteral("'Shoot' MM-dd-yyyy")), QStringLiteral("Shoot 05-01-2024"));
    EXPECT_EQ(preferenceops::formatDate(when, QString()), QString());

    // A pattern written into the settings file by hand never names a folder
    // that climbs out of the main folder, hides or breaks a line.
    EXPECT_EQ(preferenceops::performDateFormatString(QStringLiteral("dd/MM/yyyy"), when), QStringLiteral("01:05:2024"));
    for (const QString &bad : {QStringLiteral("'..'"), QStringLiteral("'.'yyyy"), QStringLiteral("yyyy'\n'MM")})
        EXPECT_EQ(preferenceops::performDateFormatString(bad, when), QString()) << bad.toStdString();
    settings.setValue(cPrefDailyFolderDateFormat, QStringLiteral("'..'"));
    EXPECT_EQ(preferenceops::getDuplicateFolderPathC(cPrefDestinationPath, cPrefDailyFolderDateFormat), QStringLiteral("/photos/Main"));
}
