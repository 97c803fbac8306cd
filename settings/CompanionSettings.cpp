#include "settings/CompanionSettings.h"

#include "platform/Log.h"
#include "platform/UserFolders.h"

#include <QFile>
#include <QMap>
#include <QXmlStreamReader>

namespace sorrelby {

namespace {

const QString cClass = QStringLiteral("AppDelegate");

void note(QStringView operation, const QString &detail)
{
    logOp(cClass, operation, detail);
}

const QString cOp = QStringLiteral("getOstrinObjectForKey(_:)");

// The entries of the file's <map>; none when the file holds no map.
std::optional<QMap<QString, QString>> readMap(QFile &file)
{
    QXmlStreamReader xml(&file);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("map"))
        return std::nullopt;
    QMap<QString, QString> entries;
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("entry")) {
            const QXmlStreamAttributes attributes = xml.attributes();
            if (attributes.hasAttribute(QLatin1String("key")))
                entries.insert(attributes.value(QLatin1String("key")).toString(), attributes.value(QLatin1String("value")).toString());
        }
        xml.skipCurrentElement();
    }
    if (xml.hasError())
        return std::nullopt;
    return entries;
}

QString describe(const QMap<QString, QString> &entries)
{
    QStringList parts;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it)
        parts << it.key() + QStringLiteral(" = \"") + it.value() + QLatin1Char('"');
    return QStringLiteral("{ ") + parts.join(QStringLiteral("; ")) + QStringLiteral(" }");
}

} // namespace

QString ostrinPrefsFilePath()
{
    return userfolders::home() + QStringLiteral("/.java/.userPrefs/Ostrin/prefs.xml");
}

std::optional<QString> getOstrinObjectForKey(const QString &key)
{
    QFile file(ostrinPrefsFilePath());
    if (!file.exists()) {
        note(cOp, QStringLiteral("BAD - cannot find the pref yet...."));
        return std::nullopt;
    }
    const auto entries = file.open(QIODevice::ReadOnly) ? readMap(file) : std::nullopt;
    if (!entries) {
        note(cOp, QStringLiteral("Ostrin pref does NOT exist YET??"));
        return std::nullopt;
    }
    note(cOp, QStringLiteral("ostrinsprefs is type: map"));
    note(cOp, QStringLiteral("Ostrin prefs = ") + describe(*entries));
    const auto it = entries->constFind(key);
    if (it == entries->cend())
        return std::nullopt;
    return *it;
}

std::optional<QString> getOstrinSavePath()
{
    return getOstrinObjectForKey(QStringLiteral("savepath"));
}

} // namespace sorrelby
