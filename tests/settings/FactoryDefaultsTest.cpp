#include "settings/FactoryDefaults.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"
#include "tests/testkit/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace sorrelby;

TEST(FactoryDefaults, FreshStoreAnswersEveryFolderWithoutTouchingTheUserFile)
{
    const QString path = testkit::makeTempFolder(QStringLiteral("fresh")) + QStringLiteral("/Sorrelby.conf");
    Settings settings(path);
    settings.registerFactoryDefaults();
    const QString pictures = QDir::homePath() + QStringLiteral("/Pictures/Sorrelby/");

    const QVariantMap params = settings.mapValue(cPrefFolderParams);
    ASSERT_EQ(params.size(), 3);
    const std::pair<QLatin1StringView, QString> folders[] = {
        {cPrefSourcePath, QStringLiteral("Source")},
        {cPrefDestinationPath, QStringLiteral("Main")},
        {cPrefHotFolderPath, QStringLiteral("Hot")},
    };
    for (const auto &[key, name] : folders) {
        const QVariantMap request = params.value(key).toMap();
        EXPECT_EQ(request.value(QStringLiteral("keyForDestinationPath")).toString(), key);
        EXPECT_EQ(request.value(QStringLiteral("keyForDestinationPathIsValid")).toString(), key + QStringLiteral("IsValid"));
        EXPECT_EQ(request.value(QStringLiteral("keyForDestinationPathAliasData")).toString(), key + QStringLiteral("AliasData"));
        EXPECT_EQ(request.value(QStringLiteral("defaultFactoryPath")).toString(), pictures + name);
        EXPECT_EQ(settings.stringValue(key), pictures + name);
        EXPECT_EQ(settings.stringValue(key + QStringLiteral("Factory")), pictures + name);
        EXPECT_FALSE(settings.contains(key + QStringLiteral("AliasData")));
    }
    EXPECT_EQ(settings.stringValue(cPrefSourcePathForHotFolderMode), pictures + QStringLiteral("Source"));

    EXPECT_FALSE(QFile::exists(path)); // registering writes nothing
    settings.setValue(QStringLiteral("prefWindowTitle"), QStringLiteral("Mine"));
    EXPECT_FALSE(QString::fromUtf8(testkit::readFile(path)).contains(QStringLiteral("prefSourcePath")));
}

TEST(FactoryDefaults, JsonConventionsGiveTheirKinds)
{
    QString error;
    const QVariantMap values = factoryDefaultsFromJson(QByteArrayLiteral(R"({
        "time": {"$date": "00:06"},
        "iso": {"$date": "2024-05-01T09:30:00Z"},
        "badDate": {"$date": "soon"},
        "bytes": {"$bytes": "AAEC"},
        "delay": {"$double": 2},
        "whole": 3,
        "fraction": 0.25,
        "home": "~/Pictures",
        "notHome": "a~/b",
        "none": null,
        "texts": ["a", "b"],
        "entries": [{"key": "name", "when": {"$date": "12:00"}}],
        "nested": {"inner": {"path": "~/x"}}
    })"),
                                                       &error);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(values.value(QStringLiteral("time")).toDateTime(), QDateTime(QDate::currentDate(), QTime(0, 6)));
    EXPECT_EQ(values.value(QStringLiteral("iso")).toDateTime(), QDateTime::fromString(QStringLiteral("2024-05-01T09:30:00Z"), Qt::ISODate));
    EXPECT_FALSE(values.contains(QStringLiteral("badDate")));
    EXPECT_EQ(values.value(QStringLiteral("bytes")), QVariant(QByteArray("\0\1\2", 3)));
    EXPECT_EQ(values.value(QStringLiteral("delay")).metaType().id(), QMetaType::Double);
    EXPECT_EQ(values.value(QStringLiteral("whole")), QVariant(3));
    EXPECT_EQ(values.value(QStringLiteral("fraction")), QVariant(0.25));
    EXPECT_EQ(values.value(QStringLiteral("home")).toString(), QDir::homePath() + QStringLiteral("/Pictures"));
    EXPECT_EQ(values.value(QStringLiteral("notHome")).toString(), QStringLiteral("a~/b"));
    EXPECT_FALSE(values.contains(QStringLiteral("none")));
    EXPECT_EQ(values.value(QStringLiteral("texts")), QVariant(QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(values.value(QStringLiteral("entries")).toList().first().toMap().value(QStringLiteral("when")).toDateTime().time(),
              QTime(12, 0));
    EXPECT_EQ(
        values.value(QStringLiteral("nested")).toMap().value(QStringLiteral("inner")).toMap().value(QStringLiteral("path")).toString(),
        QDir::homePath() + QStringLiteral("/x"));

    EXPECT_TRUE(factoryDefaultsFromJson(QByteArrayLiteral("{ broken"), &error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
}
