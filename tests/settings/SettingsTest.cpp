#include "tests/testkit/fixtures/SettingsScene.h"

#include <QFile>

#include <chrono>
#include <future>

using namespace sorrelby::testkit::settingsscene;

TEST(Settings, DefaultsAnswerWhileTheUserHasNoValueAndAreNeverWritten)
{
    const QString path = freshIniPath();
    Settings settings(path);
    settings.registerDefaults({{QStringLiteral("prefA"), 5}, {QStringLiteral("prefB"), QStringLiteral("factory")}});

    EXPECT_EQ(settings.value(QStringLiteral("prefA")), QVariant(5));
    EXPECT_TRUE(settings.contains(QStringLiteral("prefA")));
    EXPECT_FALSE(settings.hasUserValue(QStringLiteral("prefA")));

    settings.setValue(QStringLiteral("prefA"), 7);
    EXPECT_EQ(settings.intValue(QStringLiteral("prefA")), 7);
    settings.flush();
    EXPECT_TRUE(fileText(path).contains(QStringLiteral("prefA=7")));
    EXPECT_FALSE(fileText(path).contains(QStringLiteral("prefB")));

    settings.remove(QStringLiteral("prefA"));
    EXPECT_EQ(settings.intValue(QStringLiteral("prefA")), 5);
    settings.flush();
    EXPECT_FALSE(fileText(path).contains(QStringLiteral("prefA")));

    // A key nobody knows answers empty.
    const QString unknown = QStringLiteral("prefNobodyKnows");
    EXPECT_FALSE(settings.value(unknown).isValid());
    EXPECT_FALSE(settings.contains(unknown));
    EXPECT_FALSE(settings.optionalString(unknown).has_value());
    EXPECT_FALSE(settings.optionalString(QStringLiteral("prefA")).has_value()); // an int is no string
    EXPECT_EQ(settings.optionalString(QStringLiteral("prefB")), QStringLiteral("factory"));

    // A fresh store on the same file sees only the user's own values.
    Settings reread(path);
    EXPECT_FALSE(reread.contains(QStringLiteral("prefA")));
}

TEST(Settings, EveryKindRoundTripsThroughTheFile)
{
    const QString path = freshIniPath();
    const QDateTime local(QDate(2024, 5, 1), QTime(9, 30, 15, 250));
    const QDateTime utc = QDateTime::fromString(QStringLiteral("2023-12-31T23:59:59.999Z"), Qt::ISODateWithMs);
    const QVariantMap folderParams{
        {QStringLiteral("prefSourcePath"),
         QVariantMap{{QStringLiteral("keyForDestinationPath"), QStringLiteral("prefSourcePath")},
                     {QStringLiteral("defaultFactoryPath"), QStringLiteral("/home/x/Source")}}},
        {QStringLiteral("nested"),
         QVariantMap{{QStringLiteral("flag"), true},
                     {QStringLiteral("count"), 3},
                     {QStringLiteral("ratio"), 0.5},
                     {QStringLiteral("when"), local},
                     {QStringLiteral("bytes"), QByteArray("\0\1\2", 3)},
                     {QStringLiteral("list"), QStringList{QStringLiteral("a")}}}},
    };
    const QVariantList sortKeys{
        QVariantMap{{QStringLiteral("key"), QStringLiteral("creationDate")}, {QStringLiteral("title"), QStringLiteral("Capture Time")}}};
    const QList<std::pair<QString, QVariant>> values{
        {QStringLiteral("boolTrue"), true},
        {QStringLiteral("boolFalse"), false},
        {QStringLiteral("int"), 200},
        {QStringLiteral("negative"), -17},
        {QStringLiteral("big"), QVariant(qlonglong(1) << 40)},
        {QStringLiteral("doubleWhole"), 2.0},
        {QStringLiteral("doubleFraction"), 0.1},
        {QStringLiteral("text"), QStringLiteral("plain")},
        {QStringLiteral("textLikeInt"), QStringLiteral("200")},
        {QStringLiteral("textLikeBool"), QStringLiteral("true")},
        {QStringLiteral("textLikeDouble"), QStringLiteral("1.5")},
        {QStringLiteral("textWithAt"), QStringLiteral("@Variant(x)")},
        {QStringLiteral("textEmpty"), QString()},
        {QStringLiteral("textSpecial"), QStringLiteral(" a,b=c; d\n\"e\" ")},
        {QStringLiteral("dateLocal"), local},
        {QStringLiteral("dateUtc"), utc},
        {QStringLiteral("bytes"), QByteArray("\0bookmark\xff", 10)},
        {QStringLiteral("listEmpty"), QStringList()},
        {QStringLiteral("listOne"), QStringList{QStringLiteral("DCIM")}},
        {QStringLiteral("listTwo"), QStringList{QStringLiteral("a,b"), QStringLiteral("@c")}},
        {QStringLiteral("listOfMaps"), sortKeys},
        {QStringLiteral("prefFolderParams"), folderParams},
        {QStringLiteral("prefLastUserInfo"), QVariantMap{{QStringLiteral("command"), QStringLiteral("reassign")}}},
    };
    {
        Settings writer(path);
        for (const auto &[key, value] : values)
            writer.setValue(key, value);
        for (const auto &[key, value] : values)
            EXPECT_EQ(writer.value(key).metaType(), value.metaType()) << qPrintable(key);
    }
    Settings reader(path);
    for (const auto &[key, value] : values) {
        const QVariant back = reader.value(key);
        EXPECT_EQ(back.metaType(), value.metaType()) << qPrintable(key);
        EXPECT_EQ(back, value) << qPrintable(key) << " came back as " << qPrintable(back.toString());
    }
    EXPECT_EQ(reader.dateValue(QStringLiteral("dateLocal")).time().msec(), 250);
    EXPECT_EQ(reader.dateValue(QStringLiteral("dateUtc")).timeSpec(), Qt::UTC);
    EXPECT_EQ(reader.mapValue(QStringLiteral("prefFolderParams"))
                  .value(QStringLiteral("nested"))
                  .toMap()
                  .value(QStringLiteral("when"))
                  .toDateTime(),
              local);
    EXPECT_TRUE(reader.contains(QStringLiteral("listEmpty")));

    // Scalars stay readable for someone editing the file.
    const QString text = fileText(path);
    EXPECT_TRUE(text.contains(QStringLiteral("boolTrue=true")));
    EXPECT_TRUE(text.contains(QStringLiteral("int=200")));
    EXPECT_TRUE(text.contains(QStringLiteral("doubleWhole=2.0")));

    // Hand-written plain values read as their kinds.
    testkit::writeFile(path, QByteArrayLiteral("[General]\nflag=false\ncount=6\ndelay=2.5\n"));
    Settings edited(path);
    EXPECT_EQ(edited.value(QStringLiteral("flag")), QVariant(false));
    EXPECT_EQ(edited.value(QStringLiteral("count")), QVariant(6));
    EXPECT_EQ(edited.value(QStringLiteral("delay")), QVariant(2.5));
}

TEST(Settings, ObserversHearOldAndNewOnEveryChangeFromAnyThread)
{
    Settings settings(freshIniPath());
    settings.registerDefaults({{QStringLiteral("prefKey"), 1}});
    std::vector<Change> changes;
    std::mutex changesMutex;
    const auto token = settings.observe(QStringLiteral("prefKey"), [&](const QVariant &o, const QVariant &n) {
        // Runs without the store's lock held: another thread may read.
        std::thread reader([&] { (void)settings.value(QStringLiteral("prefKey")); });
        reader.join();
        std::lock_guard lock(changesMutex);
        changes.push_back({o, n, std::this_thread::get_id()});
    });
    settings.observe(QStringLiteral("otherKey"), [&](const QVariant &, const QVariant &) { ADD_FAILURE(); });

    settings.setValue(QStringLiteral("prefKey"), 2);
    settings.remove(QStringLiteral("prefKey"));
    settings.remove(QStringLiteral("prefKey")); // nothing to remove: no change
    std::thread::id worker;
    std::thread thread([&] {
        worker = std::this_thread::get_id();
        settings.setValue(QStringLiteral("prefKey"), 3);
    });
    thread.join();

    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0].oldValue, QVariant(1));
    EXPECT_EQ(changes[0].newValue, QVariant(2));
    EXPECT_EQ(changes[1].oldValue, QVariant(2));
    EXPECT_EQ(changes[1].newValue, QVariant(1));
    EXPECT_EQ(changes[2].newValue, QVariant(3));
    EXPECT_EQ(changes[2].thread, worker);

    settings.removeObserver(token);
    settings.setValue(QStringLiteral("prefKey"), 4);
    EXPECT_EQ(changes.size(), 3u);
}

TEST(Settings, OverridesWinForTheRunAndNeverReachTheFile)
{
    const QString path = freshIniPath();
    Settings settings(path);
    settings.registerDefaults({{QStringLiteral("prefMode"), 200}});
    settings.setValue(QStringLiteral("prefMode"), 202);
    QVariant seenNew;
    settings.observe(QStringLiteral("prefMode"), [&](const QVariant &, const QVariant &n) { seenNew = n; });

    settings.setOverride(QStringLiteral("prefMode"), 201);
    EXPECT_EQ(settings.intValue(QStringLiteral("prefMode")), 201);
    EXPECT_EQ(seenNew, QVariant(201));
    EXPECT_EQ(settings.dictionaryRepresentation().value(QStringLiteral("prefMode")), QVariant(201));

    // The program's own writes to an overridden key stay in the run too.
    settings.setValue(QStringLiteral("prefMode"), 200);
    EXPECT_EQ(settings.intValue(QStringLiteral("prefMode")), 200);
    settings.setOverride(QStringLiteral("prefNew"), QStringLiteral("run only"));
    settings.remove(QStringLiteral("prefMode"));
    EXPECT_EQ(settings.intValue(QStringLiteral("prefMode")), 200); // the factory value, not the user's 202
    settings.flush();

    Settings reread(path);
    EXPECT_EQ(reread.intValue(QStringLiteral("prefMode")), 202);
    EXPECT_FALSE(reread.contains(QStringLiteral("prefNew")));
    EXPECT_FALSE(fileText(path).contains(QStringLiteral("201")));
}

TEST(Settings, ParseForKeyFollowsTheKindOfTheKey)
{
    Settings settings(freshIniPath());
    settings.registerDefaults({
        {QStringLiteral("flag"), false},
        {QStringLiteral("count"), 6},
        {QStringLiteral("delay"), 2.0},
        {QStringLiteral("when"), QDateTime(QDate(2020, 1, 1), QTime(0, 6))},
        {QStringLiteral("names"), QStringList{QStringLiteral("DCIM")}},
        {QStringLiteral("params"), QVariantMap{}},
        {QStringLiteral("title"), QStringLiteral("Sorrelby")},
    });
    for (const auto &[text, expected] : std::vector<std::pair<QString, bool>>{{QStringLiteral("true"), true},
                                                                              {QStringLiteral("YES"), true},
                                                                              {QStringLiteral("1"), true},
                                                                              {QStringLiteral("false"), false},
                                                                              {QStringLiteral("no"), false},
                                                                              {QStringLiteral("0"), false}})
        EXPECT_EQ(settings.parseForKey(QStringLiteral("flag"), text), QVariant(expected)) << qPrintable(text);
    EXPECT_FALSE(settings.parseForKey(QStringLiteral("flag"), QStringLiteral("maybe")).isValid());
    EXPECT_EQ(settings.parseForKey(QStringLiteral("count"), QStringLiteral(" 8 ")), QVariant(8));
    EXPECT_FALSE(settings.parseForKey(QStringLiteral("count"), QStringLiteral("8x")).isValid());
    EXPECT_EQ(settings.parseForKey(QStringLiteral("delay"), QStringLiteral("1.5")), QVariant(1.5));
    EXPECT_EQ(settings.parseForKey(QStringLiteral("when"), QStringLiteral("23:45")).toDateTime(),
              QDateTime(QDate::currentDate(), QTime(23, 45)));
    EXPECT_EQ(settings.parseForKey(QStringLiteral("when"), QStringLiteral("2024-05-01T09:30:00Z")).toDateTime(),
              QDateTime::fromString(QStringLiteral("2024-05-01T09:30:00Z"), Qt::ISODate));
    EXPECT_FALSE(settings.parseForKey(QStringLiteral("when"), QStringLiteral("noon")).isValid());
    EXPECT_EQ(settings.parseForKey(QStringLiteral("names"), QStringLiteral("DCIM, PRIVATE,,")),
              QVariant(QStringList{QStringLiteral("DCIM"), QStringLiteral("PRIVATE")}));
    EXPECT_EQ(settings.parseForKey(QStringLiteral("params"), QStringLiteral("{\"a\": 1}")),
              QVariant(QVariantMap{{QStringLiteral("a"), 1}}));
    EXPECT_EQ(settings.parseForKey(QStringLiteral("title"), QStringLiteral("12")), QVariant(QStringLiteral("12")));
    EXPECT_EQ(settings.parseForKey(QStringLiteral("unknownKey"), QStringLiteral("yes")), QVariant(QStringLiteral("yes")));
    // The current value's kind counts too.
    settings.setValue(QStringLiteral("userOnly"), 3);
    EXPECT_EQ(settings.parseForKey(QStringLiteral("userOnly"), QStringLiteral("4")), QVariant(4));
}

TEST(Settings, ReassignModeValidationKeepsOnlyTheOfferedModes)
{
    const QString path = freshIniPath();
    Settings settings(path);
    settings.registerDefaults({{cPrefRadioSet1SelectedTag, 200}});
    validateReassignMode(settings);
    EXPECT_FALSE(settings.hasUserValue(cPrefRadioSet1SelectedTag)); // the factory value is not copied

    for (const auto &[stored, expected] : std::vector<std::pair<int, int>>{{201, 200}, {202, 202}, {200, 200}, {7, 200}, {-1, 200}}) {
        settings.setValue(cPrefRadioSet1SelectedTag, stored);
        validateReassignMode(settings);
        EXPECT_EQ(settings.intValue(cPrefRadioSet1SelectedTag), expected) << stored;
        settings.flush();
        EXPECT_EQ(Settings(path).intValue(cPrefRadioSet1SelectedTag), expected) << stored;
    }

    Settings bare(freshIniPath());
    validateReassignMode(bare);
    EXPECT_EQ(bare.intValue(cPrefRadioSet1SelectedTag), 200);
}

TEST(Settings, ConcurrentWritersLoseNothing)
{
    const QString path = freshIniPath();
    Settings settings(path);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&settings, t] {
            for (int i = 0; i < 25; ++i)
                settings.setValue(QStringLiteral("k%1_%2").arg(t).arg(i), i);
        });
    }
    for (auto &thread : threads)
        thread.join();
    settings.flush();
    Settings reread(path);
    for (int t = 0; t < 4; ++t) {
        for (int i = 0; i < 25; ++i)
            EXPECT_EQ(reread.value(QStringLiteral("k%1_%2").arg(t).arg(i)), QVariant(i));
    }
}

TEST(Settings, SyncReadsWhatAnotherWriterStored)
{
    const QString path = freshIniPath();
    Settings mine(path);
    Settings other(path);
    QVariant heard;
    mine.observe(QStringLiteral("prefHotFolderPath"), [&](const QVariant &, const QVariant &n) { heard = n; });
    other.setValue(QStringLiteral("prefHotFolderPath"), QStringLiteral("/hot"));
    other.flush();
    mine.sync();
    EXPECT_EQ(mine.stringValue(QStringLiteral("prefHotFolderPath")), QStringLiteral("/hot"));
    EXPECT_EQ(heard, QVariant(QStringLiteral("/hot")));
}

// A writer killed between making QSettings' lock file and writing itself into
// it leaves it empty; QLockFile would wait 30 s for it to go stale.
TEST(Settings, AnEmptyLockAStoppedWriterLeftDoesNotHoldUpTheNextWrite)
{
    const QString path = freshIniPath();
    QFile lock(path + QStringLiteral(".lock"));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    ASSERT_TRUE(lock.setFileTime(QDateTime::currentDateTime().addSecs(-10), QFileDevice::FileModificationTime));
    lock.close();

    Settings settings(path);
    settings.setValue(QStringLiteral("prefHotFolderPath"), QStringLiteral("/hot"));
    auto flushed = std::async(std::launch::async, [&] { settings.flush(); });
    ASSERT_EQ(flushed.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_FALSE(lock.exists());
    EXPECT_EQ(Settings(path).stringValue(QStringLiteral("prefHotFolderPath")), QStringLiteral("/hot"));

    // Left just now, as by a copy killed right before this one started.
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.close();
    settings.setValue(QStringLiteral("prefHotFolderPath"), QStringLiteral("/hot2"));
    flushed = std::async(std::launch::async, [&] { settings.flush(); });
    ASSERT_EQ(flushed.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_FALSE(lock.exists());
    EXPECT_EQ(Settings(path).stringValue(QStringLiteral("prefHotFolderPath")), QStringLiteral("/hot2"));
}
