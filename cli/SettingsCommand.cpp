// `settings [KEY | KEY=VALUE]...`: the preferences window for a script or a
// capture station. Without operands every setting is printed; KEY prints one;
// KEY=VALUE stores one in the user's settings, through the same checks as
// the window: a folder must be usable in its role (and gets its reference),
// a daily sub-folder pattern must make one plain folder name.

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "preferences/PreferencesActions.h"
#include "settings/KnownKeys.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QByteArray>
#include <QJsonDocument>

namespace sorrelby::cli {

namespace {

QString shown(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QByteArray:
        return QString::fromLatin1(value.toByteArray().toBase64());
    case QMetaType::QStringList:
        return value.toStringList().join(QLatin1Char(','));
    case QMetaType::QVariantMap:
    case QMetaType::QVariantList:
        return QString::fromUtf8(QJsonDocument::fromVariant(value).toJson(QJsonDocument::Compact));
    case QMetaType::QDateTime:
        return value.toDateTime().toString(Qt::ISODate);
    default:
        return value.toString();
    }
}

std::optional<FolderRole> folderRoleOf(const QString &key)
{
    for (FolderRole role : {FolderRole::Source, FolderRole::Destination, FolderRole::HotFolder}) {
        if (key == PreferencesActions::pathKey(role))
            return role;
    }
    return std::nullopt;
}

// Stores one assignment; the problem when it is refused.
std::optional<QString> store(const QString &key, const QString &text)
{
    Settings &settings = Settings::shared();
    if (const std::optional<FolderRole> role = folderRoleOf(key))
        return PreferencesActions::useFolder(*role, absolutePath(text));
    if (key == cPrefDailyFolderDateFormat && !text.isEmpty()) {
        if (const auto problem = PreferencesActions::dailyFolderPatternProblem(text))
            return *problem;
    }
    const QVariant value = settings.parseForKey(key, text);
    if (!value.isValid())
        return QStringLiteral("\"%1\" is not a value for %2").arg(text, key);
    settings.setValue(key, value);
    return std::nullopt;
}

} // namespace

int runSettingsCommand(const QStringList &args)
{
    const QString usage = commandUsage("settings");
    for (const QString &arg : args) {
        if (isOption(arg))
            return usageError(usage, QStringLiteral("unknown option ") + arg);
    }
    const Settings &settings = Settings::shared();
    if (args.isEmpty()) {
        const QVariantMap all = settings.dictionaryRepresentation();
        for (auto it = all.cbegin(); it != all.cend(); ++it)
            printOut(it.key() + QLatin1Char('=') + shown(it.value()));
        return kExitOk;
    }
    // Every key is checked before anything is stored: a mistyped key must not
    // leave half a configuration behind.
    for (const QString &arg : args) {
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        if (eq == 0)
            return usageError(usage, QStringLiteral("no key in \"%1\"").arg(arg));
        if (const auto problem = unknownSettingsKeyProblem(settings, eq < 0 ? arg : arg.left(eq)))
            return usageError(usage, *problem);
    }
    int refused = 0;
    for (const QString &arg : args) {
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        if (eq < 0) {
            printOut(arg + QLatin1Char('=') + shown(settings.value(arg)));
            continue;
        }
        const QString key = arg.left(eq);
        if (const std::optional<QString> problem = store(key, arg.mid(eq + 1))) {
            printErr(QStringLiteral(SORRELBY_EXECUTABLE ": %1 not stored: %2").arg(key, *problem));
            ++refused;
        }
    }
    return refused > 0 ? kExitFailure : kExitOk;
}

} // namespace sorrelby::cli
