#include "tests/testkit/fixtures/FolderValidationScene.h"

using namespace sorrelby::testkit::foldervalidationscene;

TEST_F(FolderValidation, StoredPathWithoutReferenceGetsOneAndPassesTheNextTime)
{
    const QString folder = testkit::makeFolder(testkit::makeTempFolder(QStringLiteral("v")) + QStringLiteral("/Source"));
    settings.setValue(cPrefSourcePath, folder);

    EXPECT_FALSE(preferenceops::validateFolderPath2(sourceRequest()));
    EXPECT_FALSE(settings.bytesValue(cPrefSourcePathAliasData).isEmpty());
    EXPECT_TRUE(settings.boolValue(cPrefSourcePathIsValid));

    EXPECT_TRUE(preferenceops::validateFolderPath2(sourceRequest()));
    EXPECT_TRUE(settings.boolValue(cPrefSourcePathIsValid));
    EXPECT_EQ(settings.stringValue(cPrefSourcePath), folder);

    // A stored path where nothing exists gets no reference and stays invalid.
    settings.remove(cPrefSourcePathAliasData);
    settings.setValue(cPrefSourcePath, QString(folder + QStringLiteral("/nothing")));
    EXPECT_FALSE(preferenceops::validateFolderPath2(sourceRequest()));
    EXPECT_FALSE(preferenceops::validateFolderPath2(sourceRequest()));
    EXPECT_FALSE(settings.boolValue(cPrefSourcePathIsValid));
    EXPECT_TRUE(shownAlerts().empty());
}

TEST_F(FolderValidation, WithoutAnyPathTheFactoryFolderIsCreatedAndTaken)
{
    const QString factory = QStringLiteral("~/Pictures/Sorrelby/Source");
    const QString expected = userfolders::home() + QStringLiteral("/Pictures/Sorrelby/Source");
    ASSERT_FALSE(QFileInfo::exists(expected));

    EXPECT_TRUE(preferenceops::validateFolderPath2(sourceRequest(factory)));
    EXPECT_TRUE(QFileInfo(expected).isDir());
    EXPECT_EQ(settings.stringValue(cPrefSourcePath), expected);
    EXPECT_TRUE(settings.boolValue(cPrefSourcePathIsValid));
    EXPECT_TRUE(preferenceops::validateFolderPath2(sourceRequest(factory)));

    // A path that only the factory values give counts as no path: it is
    // made like the factory folder, without a failed first round.
    QVariantMap defaults;
    defaults.insert(cPrefDestinationPath, QString(userfolders::home() + QStringLiteral("/Pictures/Sorrelby/Main")));
    settings.registerDefaults(defaults);
    const QVariantMap destination = foldervalidation::makeRequest(
        cPrefDestinationPath, cPrefDestinationPathIsValid, cPrefDestinationPathAliasData, QStringLiteral("~/Pictures/Sorrelby/Main"));
    EXPECT_TRUE(foldervalidation::validate(destination, true));
    EXPECT_TRUE(QFileInfo(userfolders::home() + QStringLiteral("/Pictures/Sorrelby/Main")).isDir());

    // Neither path nor factory path: the request fails; only the
    // application's variant says so.
    const QVariantMap hot = foldervalidation::requestForFolder(cPrefHotFolderPath);
    EXPECT_FALSE(preferenceops::validateFolderPath2(hot));
    EXPECT_TRUE(shownAlerts().empty());
    EXPECT_FALSE(foldervalidation::validate(hot, true));
    const auto shown = shownAlerts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].messageText, QStringLiteral("!!! Unable to Mount/Locate Path !!!"));
    EXPECT_EQ(shown[0].informativeText, QStringLiteral("\nUnable to find path for prefHotFolderPath:\n???????? \n\n"));
    EXPECT_EQ(shown[0].style, AlertStyle::Critical);
}

TEST_F(FolderValidation, RenamedFolderReplacesTheStoredPathAndTrashedFolderFails)
{
    const QString root = testkit::makeTempFolder(QStringLiteral("v"));
    const QString folder = testkit::makeFolder(root + QStringLiteral("/Main"));
    settings.setValue(cPrefSourcePath, folder);
    ASSERT_TRUE(MyBookmarkDataKit::savePath(folder, cPrefSourcePathAliasData));
    const QByteArray before = settings.bytesValue(cPrefSourcePathAliasData);

    const QString renamed = root + QStringLiteral("/Main renamed");
    ASSERT_TRUE(QDir().rename(folder, renamed));
    EXPECT_TRUE(foldervalidation::validate(sourceRequest(), true));
    EXPECT_EQ(settings.stringValue(cPrefSourcePath), renamed);
    // Fresh data: the next round finds it at once.
    EXPECT_NE(settings.bytesValue(cPrefSourcePathAliasData), before);
    bool stale = true;
    EXPECT_EQ(MyBookmarkDataKit::urlForBookmark(settings.bytesValue(cPrefSourcePathAliasData), &stale), renamed);
    EXPECT_FALSE(stale);

    const QString trashed = userfolders::dataHome() + QStringLiteral("/Trash/files/Main renamed");
    QDir().mkpath(QFileInfo(trashed).path());
    ASSERT_TRUE(QDir().rename(renamed, trashed));
    EXPECT_FALSE(foldervalidation::validate(sourceRequest(), true));
    EXPECT_FALSE(settings.boolValue(cPrefSourcePathIsValid));
    EXPECT_EQ(settings.stringValue(cPrefSourcePath), renamed);
    EXPECT_FALSE(QFileInfo::exists(renamed)) << "a trashed folder is not made again";
    const auto shown = shownAlerts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].informativeText, QStringLiteral("prefSourcePath:\n\n") + renamed + QStringLiteral("\n\n"));
}

TEST_F(FolderValidation, MissingFolderIsMadeAgainOnlyOnItsOwnVolume)
{
    const QString root = testkit::makeTempFolder(QStringLiteral("v"));
    const QString folder = testkit::makeFolder(root + QStringLiteral("/shoot/Source"));
    settings.setValue(cPrefSourcePath, folder);
    ASSERT_TRUE(MyBookmarkDataKit::savePath(folder, cPrefSourcePathAliasData));
    ASSERT_TRUE(QDir(root + QStringLiteral("/shoot")).removeRecursively());

    EXPECT_TRUE(preferenceops::validateFolderPath2(sourceRequest()));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(settings.stringValue(cPrefSourcePath), folder);
    EXPECT_TRUE(preferenceops::validateFolderPath2(sourceRequest()));

    // The reference was made on a volume that is not mounted now (another
    // file system id): the folder would land on whatever disk holds the
    // mount point, so it is not made.
    QJsonObject o = QJsonDocument::fromJson(settings.bytesValue(cPrefSourcePathAliasData)).object();
    o.insert(QLatin1String("fsid"), QStringLiteral("00000000deadbeef"));
    o.insert(QLatin1String("device"), QStringLiteral("1"));
    settings.setValue(cPrefSourcePathAliasData, QJsonDocument(o).toJson());
    ASSERT_TRUE(QDir(folder).removeRecursively());
    EXPECT_FALSE(preferenceops::validateFolderPath2(sourceRequest()));
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_FALSE(settings.boolValue(cPrefSourcePathIsValid));
}

TEST_F(FolderValidation, ConcurrentChecksOfOneFreshFolderBothSucceed)
{
    const QString factory = testkit::makeTempFolder(QStringLiteral("v")) + QStringLiteral("/Factory/Source");
    std::atomic<int> done{0}, passed{0};
    for (int i = 0; i < 2; ++i) {
        globalqueue::async([&] {
            passed += preferenceops::validateFolderPath2(sourceRequest(factory)) ? 1 : 0;
            ++done;
        });
    }
    ASSERT_TRUE(testkit::waitUntil([&] { return done == 2; }));
    EXPECT_EQ(passed, 2);
    EXPECT_EQ(settings.stringValue(cPrefSourcePath), factory);
}

TEST_F(FolderValidation, PathGettersAndTheHotFolderCheck)
{
    EXPECT_FALSE(preferenceops::getValidatedPathToSourcePathForHotFolderMode());

    // No folder parameters at all.
    EXPECT_FALSE(preferenceops::getValidatedPathToSourcePath());
    auto shown = shownAlerts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].informativeText,
              QStringLiteral("\nPlease Setup Preferences for Missing/Invalid Paths:\n\nInvalid/Missing Path of Type: prefSourcePath\n\n"));
    alerts.clear();

    const QString root = testkit::makeTempFolder(QStringLiteral("v"));
    QVariantMap params;
    params.insert(cPrefSourcePath, sourceRequest(root + QStringLiteral("/Source")));
    params.insert(cPrefDestinationPath,
                  foldervalidation::makeRequest(cPrefDestinationPath, cPrefDestinationPathIsValid, cPrefDestinationPathAliasData,
                                                root + QStringLiteral("/Main")));
    settings.setValue(cPrefFolderParams, params);
    EXPECT_EQ(preferenceops::getValidatedPathToSourcePath(), root + QStringLiteral("/Source"));
    EXPECT_EQ(preferenceops::getSourceFolderPath(), root + QStringLiteral("/Source"));
    EXPECT_EQ(preferenceops::getValidatedPathToDestinationPath(), root + QStringLiteral("/Main"));
    EXPECT_TRUE(shownAlerts().empty());

    // The hot folder: reported only when asked to.
    EXPECT_FALSE(preferenceops::getHotFolderPath());
    EXPECT_FALSE(preferenceops::validateHotFolderStuff(false));
    EXPECT_TRUE(shownAlerts().empty());
    EXPECT_FALSE(preferenceops::validateHotFolderStuff());
    shown = shownAlerts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].messageText, QStringLiteral("!!! Unable to Mount/Locate Path !!!"));
    EXPECT_EQ(shown[0].informativeText,
              QStringLiteral("\nPlease Setup Preferences for Missing/Invalid Paths:\n\nInvalid/Missing HOT Folder Path\n"));

    settings.setValue(cPrefHotFolderPathFactory, QString(root + QStringLiteral("/Hot")));
    EXPECT_TRUE(preferenceops::validateHotFolderStuff());
    EXPECT_EQ(preferenceops::getHotFolderPath(), root + QStringLiteral("/Hot"));
}
