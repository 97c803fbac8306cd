// The Preferences window's actions without the window: daily folder formats
// and the patterns refused, the folder choosers with hot folder mode held off,
// the hot folder and companion switches, and the reveal actions.

#include "tests/testkit/FuseVolume.h"
#include "tests/testkit/fixtures/PreferencesActionsScene.h"

using namespace sorrelby::testkit::preferencesactions;

namespace {

TEST_F(PreferencesActionsTest, DailyFolderFormatsStoreWhatDeliveryUses)
{
    const QDateTime now(QDate(2026, 3, 9), QTime(14, 30));

    // Tag 6 with a blank own pattern names folders yyyyMMdd.
    settings.setValue(cPrefUserDefinedDateFormatter, QStringLiteral("   "));
    DateFormatResult result = PreferencesActions::ibClickOnDateFormatter(6, now);
    ASSERT_TRUE(result.accepted) << result.problem.toStdString();
    EXPECT_EQ(settings.stringValue(cPrefDailyFolderDateFormat), QStringLiteral("yyyyMMdd"));
    EXPECT_EQ(settings.stringValue(cPrefDailyFolderDateFormatExample), QStringLiteral("20260309"));
    EXPECT_FALSE(settings.boolValue(cPrefEnableUserDefinedDateFormatter));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{8}$")).match(*preferenceops::getDailyFolderNameC()).hasMatch());

    // Tags 2 to 5 store the locale's own pattern of the style, so delivery
    // names folders as the example shows.
    for (int tag = 2; tag <= 5; ++tag) {
        result = PreferencesActions::ibClickOnDateFormatter(tag, now);
        ASSERT_TRUE(result.accepted) << tag << result.problem.toStdString();
        const QString pattern = settings.stringValue(cPrefDailyFolderDateFormat);
        EXPECT_EQ(pattern, PreferencesActions::stylePattern(tag - 2));
        EXPECT_EQ(preferenceops::formatDate(now, pattern), preferenceops::formatDateStyle(now, tag - 2)) << tag;
        EXPECT_EQ(settings.stringValue(cPrefDailyFolderDateFormatExample), preferenceops::performDateFormatString(pattern, now));
        EXPECT_TRUE(settings.boolValue(cPrefEnableUserDefinedDateFormatter));
        EXPECT_EQ(settings.intValue(cPrefDateFormatterTag), tag);
    }

    // Tag 0 removes the pattern: delivery then writes into the destination
    // itself (what it does there is the delivery tests').
    result = PreferencesActions::ibClickOnDateFormatter(0, now);
    ASSERT_TRUE(result.accepted);
    EXPECT_TRUE(settings.stringValue(cPrefDailyFolderDateFormat).isEmpty()); // the factory pattern no longer answers
    EXPECT_EQ(settings.stringValue(cPrefDailyFolderDateFormatExample), QStringLiteral("< NOT Creating SubFolder>"));
    EXPECT_EQ(preferenceops::getDuplicateFolderPathC(cPrefDestinationPath, cPrefDailyFolderDateFormat), destination);
}

TEST_F(PreferencesActionsTest, BadOwnPatternIsRefusedAndThePreviousKept)
{
    const QDateTime now(QDate(2026, 3, 9), QTime(14, 30));
    ASSERT_TRUE(PreferencesActions::setUserDefinedDateFormatter(QStringLiteral("yyyy-MM-dd"), now).accepted);
    ASSERT_TRUE(PreferencesActions::ibClickOnDateFormatter(6, now).accepted);
    EXPECT_EQ(settings.stringValue(cPrefDailyFolderDateFormatExample), QStringLiteral("2026-03-09"));

    // No date at all, a climb out of the main folder, a hidden folder, a
    // line break, letters that are no date field, a name far too long, and
    // fields that name no date (day period, weekday, time).
    for (const QString &bad :
         {QStringLiteral("'..'"), QStringLiteral("'DAILY'"), QStringLiteral("abc"), QStringLiteral("EEEE"), QStringLiteral("HHmm"),
          QStringLiteral("'.'yyyyMMdd"), QStringLiteral("yyyy'\n'MM"), QStringLiteral("yyyyMMdd ihope"),
          QString(QStringLiteral("'") + QString(QStringLiteral("x")).repeated(70) + QStringLiteral("'yyyy"))}) {
        const DateFormatResult result = PreferencesActions::setUserDefinedDateFormatter(bad, now);
        EXPECT_FALSE(result.accepted) << bad.toStdString();
        EXPECT_FALSE(result.problem.isEmpty());
        EXPECT_EQ(settings.stringValue(cPrefUserDefinedDateFormatter), QStringLiteral("yyyy-MM-dd"));
        if (bad == QLatin1String("abc")) {
            EXPECT_TRUE(result.problem.contains(QStringLiteral("no date field"))) << result.problem.toStdString();
        }
        EXPECT_EQ(settings.stringValue(cPrefDailyFolderDateFormat), QStringLiteral("yyyy-MM-dd"));
    }
    // A pattern stored behind the window's back is not taken up either.
    settings.setValue(cPrefUserDefinedDateFormatter, QStringLiteral("'..'"));
    EXPECT_FALSE(PreferencesActions::ibClickOnDateFormatter(6, now).accepted);
    EXPECT_EQ(settings.stringValue(cPrefDailyFolderDateFormat), QStringLiteral("yyyy-MM-dd"));
    // "/" is allowed: it becomes ":" in the folder name.
    const DateFormatResult slashes = PreferencesActions::setUserDefinedDateFormatter(QStringLiteral("dd/MM/yyyy"), now);
    ASSERT_TRUE(slashes.accepted) << slashes.problem.toStdString();
    EXPECT_EQ(settings.stringValue(cPrefDailyFolderDateFormatExample), QStringLiteral("09:03:2026"));
}

// A main folder on an exFAT drive cannot hold the ":" a "/" of the pattern
// gives: the window says what the day's folder will be called there.
TEST_F(PreferencesActionsTest, APatternTheMainFoldersDriveCannotHoldIsFlagged)
{
    const QDateTime now(QDate(2026, 3, 9), QTime(14, 30));
    ASSERT_TRUE(PreferencesActions::setUserDefinedDateFormatter(QStringLiteral("dd/MM/yyyy"), now).accepted);
    EXPECT_TRUE(PreferencesActions::ibClickOnDateFormatter(6, now).notice.isEmpty()); // a local main folder holds it

    const ExfatVolume drive(makeTempFolder(QStringLiteral("exfat")) + QStringLiteral("/drive"));
    if (!drive.unavailable().isEmpty())
        GTEST_SKIP() << "exFAT through FUSE unavailable: " << drive.unavailable().toStdString();
    settings.setValue(cPrefDestinationPath, drive.mountPoint());
    const DateFormatResult flagged = PreferencesActions::ibClickOnDateFormatter(6, now);
    ASSERT_TRUE(flagged.accepted);
    EXPECT_EQ(flagged.example, QStringLiteral("09:03:2026"));
    EXPECT_TRUE(flagged.notice.contains(QStringLiteral("09\uFF1A03\uFF1A2026"))) << flagged.notice.toStdString();
    EXPECT_TRUE(PreferencesActions::ibClickOnDateFormatter(1, now).notice.isEmpty()); // MM-dd-yyyy fits
}

TEST_F(PreferencesActionsTest, ChoosersRefuseFoldersOfOtherRolesAndStoreAGoodOne)
{
    PreferencesActions actions;
    const FolderPanelSpec spec = actions.beginChoosingFolder(FolderRole::HotFolder);
    EXPECT_EQ(lines(spec.badPaths), lines({source, destination}));
    actions.finishChoosingFolder(FolderRole::HotFolder, std::nullopt);

    // Inside another role's folder, around one, or not writable.
    const QString inside = makeFolder(destination + QStringLiteral("/sub"));
    EXPECT_TRUE(PreferencesActions::folderProblem(FolderRole::Source, inside));
    // A source holding the main folder would lose it to the next card copy.
    EXPECT_TRUE(PreferencesActions::folderProblem(FolderRole::Source, QFileInfo(destination).path()));
    EXPECT_TRUE(PreferencesActions::folderProblem(FolderRole::Source, destination + QStringLiteral("/missing")));
    const QString locked = makeTempFolder(QStringLiteral("locked"));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    if (::geteuid() != 0) {
        EXPECT_TRUE(PreferencesActions::folderProblem(FolderRole::Destination, locked));
    }
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // A good source folder is stored with its reference; the browser reloads.
    const QString fresh = makeTempFolder(QStringLiteral("fresh"));
    settings.setValue(kHotMode, false);
    actions.beginChoosingFolder(FolderRole::Source);
    EXPECT_TRUE(actions.finishChoosingFolder(FolderRole::Source, fresh));
    EXPECT_FALSE(settings.boolValue(kHotMode));
    EXPECT_EQ(settings.stringValue(cPrefSourcePath), fresh);
    EXPECT_TRUE(settings.boolValue(cPrefSourcePathIsValid));
    EXPECT_FALSE(settings.bytesValue(cPrefSourcePathAliasData).isEmpty());
    EXPECT_EQ(sourceChanged.seen().size(), 1);
}

TEST_F(PreferencesActionsTest, CompanionSwitchAndReassignModeRadio)
{
    // The companion's save folder, created when missing, becomes the source.
    const QString companion = testRoot() + QStringLiteral("/Ostrin & Co/Capture");
    ASSERT_TRUE(writeFile(ostrinPrefsFilePath(),
                          QStringLiteral("<map><entry key=\"savepath\" value=\"%1\"/></map>")
                              .arg(QString(companion).replace(QStringLiteral("&"), QStringLiteral("&amp;")))
                              .toUtf8()));
    settings.setValue(cPrefAlwaysUseOstrinAsSourcePath, false);
    PreferencesActions::ibClickedOnAlwaysUseOstrinPath();
    EXPECT_EQ(settings.stringValue(cPrefSourcePath), source);
    settings.setValue(cPrefAlwaysUseOstrinAsSourcePath, true);
    PreferencesActions::ibClickedOnAlwaysUseOstrinPath();
    EXPECT_TRUE(QFileInfo(companion).isDir());
    EXPECT_EQ(settings.stringValue(cPrefSourcePath), companion);
    EXPECT_TRUE(settings.boolValue(cPrefSourcePathIsValid));
    EXPECT_EQ(sourceChanged.seen().size(), 2);

    // A companion folder inside the main folder is refused.
    ASSERT_TRUE(
        writeFile(ostrinPrefsFilePath(), QStringLiteral("<map><entry key=\"savepath\" value=\"%1/x\"/></map>").arg(destination).toUtf8()));
    PreferencesActions::ibClickedOnAlwaysUseOstrinPath();
    EXPECT_EQ(settings.stringValue(cPrefSourcePath), companion);
    EXPECT_EQ(alerts.shown().size(), 1u);

    EXPECT_TRUE(PreferencesActions::ibHandleRadioSet1(202));
    EXPECT_EQ(settings.intValue(cPrefRadioSet1SelectedTag), 202);
    EXPECT_FALSE(PreferencesActions::ibHandleRadioSet1(201));
    EXPECT_EQ(settings.intValue(cPrefRadioSet1SelectedTag), 202);
}

TEST_F(PreferencesActionsTest, RevealActionsListWhatExists)
{
    RecordingFileRevealer revealer;
    settings.setValue(cPrefFolderParams, settings.registeredDefaults().value(cPrefFolderParams));
    preferenceops::getValidatedPathToSourcePath(); // gives the folder its reference

    const QString logs = makeFolder(userfolders::logFolder());
    ASSERT_TRUE(writeFile(logs + QStringLiteral("/Sorrelby.log"), "log\n"));
    // Names no shell should ever see.
    const QString note1 = logs + QStringLiteral("/Sorrelby_2026-03-09 10'00\" $(x).crash");
    const QString note2 = logs + QStringLiteral("/Sorrelby_2026-03-10.crash");
    ASSERT_TRUE(writeFile(note1, "signal 11\n"));
    ASSERT_TRUE(writeFile(note2, "exit 3\n"));
    ASSERT_TRUE(writeFile(logs + QStringLiteral("/Other_2026-03-10.crash"), "x\n"));

    for (int tag : {99, 103, 104, 106, 100})
        PreferencesActions::ibRevealInFinder(tag, revealer);
    const auto calls = revealer.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(lines(calls[0].paths), lines({logs + "/Sorrelby.log"})); // no "_old" file yet
    EXPECT_EQ(lines(calls[1].paths), lines({note1, note2}));
    EXPECT_FALSE(calls[1].openFolder);
    EXPECT_TRUE(calls[2].openFolder);
    EXPECT_EQ(lines(calls[2].paths), lines({source}));
}

} // namespace
