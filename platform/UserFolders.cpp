#include "platform/UserFolders.h"

#include <QDir>
#include <QStandardPaths>

namespace sorrelby::userfolders {

namespace {

QString xdg(const char *variable, const QString &fallbackBelowHome)
{
    const QString value = qEnvironmentVariable(variable);
    // The XDG rules ignore relative paths.
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::cleanPath(home() + QLatin1Char('/') + fallbackBelowHome);
}

} // namespace

QString home()
{
    return QDir::homePath();
}

QString stateHome()
{
    return xdg("XDG_STATE_HOME", QStringLiteral(".local/state"));
}

QString configHome()
{
    return xdg("XDG_CONFIG_HOME", QStringLiteral(".config"));
}

QString dataHome()
{
    return xdg("XDG_DATA_HOME", QStringLiteral(".local/share"));
}

QString runtimeDir()
{
    const QString value = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!value.isEmpty() && QDir(value).exists())
        return QDir::cleanPath(value);
    return QDir::tempPath();
}

QString logFolder()
{
    return stateHome() + QStringLiteral("/Vemo");
}

QString logFilePath()
{
    return logFolder() + QStringLiteral("/" SORRELBY_BUNDLE_NAME ".log");
}

QString temporaryFolder()
{
    return QDir::tempPath() + QStringLiteral("/" SORRELBY_BUNDLE_ID);
}

QString expandTilde(const QString &path)
{
    if (path == QLatin1String("~"))
        return home();
    if (path.startsWith(QLatin1String("~/")))
        return home() + path.mid(1);
    return path;
}

} // namespace sorrelby::userfolders
