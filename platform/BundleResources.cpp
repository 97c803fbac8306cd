#include "platform/BundleResources.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace sorrelby {

namespace {

// Works before (and without) an application object.
QString runningProgramFolder()
{
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath();
}

} // namespace

QString helperExecutable(const QString &name, const QString &applicationFolder)
{
    const QString folder = applicationFolder.isEmpty() ? runningProgramFolder() : applicationFolder;
    const QString beside = folder + QLatin1Char('/') + name;
    if (QFileInfo(beside).isExecutable())
        return beside;
    const QString installed = QDir::cleanPath(folder + QStringLiteral("/" SORRELBY_HELPERS_FROM_BIN "/") + name);
    return QFileInfo(installed).isExecutable() ? installed : beside;
}

} // namespace sorrelby
