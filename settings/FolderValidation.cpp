#include "settings/FolderValidation.h"

#include "platform/AlertPresenter.h"
#include "platform/Log.h"
#include "platform/UserFolders.h"
#include "settings/FolderReference.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <mutex>
#include <sys/stat.h>

namespace sorrelby::foldervalidation {

namespace {

const QString cClass = QStringLiteral("PreferencesViewController");

void note(QStringView operation, const QString &detail)
{
    logOp(cClass, operation, detail);
}

// One request at a time: the start-up checks validate the same folders on
// two threads at once, and interleaved reads and writes of one folder's
// settings would report a sound folder as missing.
std::recursive_mutex &validationMutex()
{
    static std::recursive_mutex mutex;
    return mutex;
}

QString standardised(const QString &path)
{
    return QDir::cleanPath(QFileInfo(userfolders::expandTilde(path)).absoluteFilePath());
}

// Creates the folder with its intermediate folders; logs the outcome.
void createFolderLogged(const QString &op, const QString &path)
{
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(path).toStdString()), ec);
    if (ec)
        note(op, QStringLiteral("....createDirectory[") + path + QStringLiteral("] has ERROR = ") + QString::fromStdString(ec.message()));
    else
        note(op, QStringLiteral("....createDirectory[") + path + QStringLiteral("] was created or already there...."));
}

QString existingAncestor(QString path)
{
    while (!path.isEmpty() && path != QLatin1String("/") && !QFileInfo(path).isDir())
        path = QFileInfo(path).path();
    return path.isEmpty() ? QStringLiteral("/") : path;
}

void showFailureAlert(const QString &pathKey, const std::optional<QString> &storedPath)
{
    Alert alert;
    alert.style = AlertStyle::Critical;
    alert.messageText = cUnableToLocatePathMessage;
    if (storedPath && !storedPath->isEmpty())
        alert.informativeText = pathKey + QStringLiteral(":\n\n") + *storedPath + QStringLiteral("\n\n");
    else
        alert.informativeText = QStringLiteral("\nUnable to find path for ") + pathKey + QStringLiteral(":\n???????? \n\n");
    showAlertOnMain(alert);
}

} // namespace

QVariantMap makeRequest(const QString &pathKey, const QString &validKey, const QString &aliasKey, const std::optional<QString> &factoryPath)
{
    QVariantMap request;
    request.insert(cKeyForDestinationPath, pathKey);
    request.insert(cKeyForDestinationPathIsValid, validKey);
    request.insert(cKeyForDestinationPathAliasData, aliasKey);
    if (factoryPath)
        request.insert(cDefaultFactoryPath, *factoryPath);
    return request;
}

QVariantMap requestForFolder(const QString &pathKey)
{
    return makeRequest(pathKey, pathKey + QStringLiteral("IsValid"), pathKey + QStringLiteral("AliasData"),
                       Settings::shared().optionalString(pathKey + QStringLiteral("Factory")));
}

bool mayRecreateAt(const QString &path, const QByteArray &reference)
{
    bool local = false;
    if (!MyBookmarkDataKit::isLocal(&local, reference) || !local)
        return false;
    const QString ancestor = existingAncestor(standardised(path));
    if (MyBookmarkDataKit::isInTrash(ancestor))
        return false;
    const QString recordedFsid = MyBookmarkDataKit::getResourceObjectForKey(QStringLiteral("fsid"), reference).toString();
    if (!recordedFsid.isEmpty())
        return MyBookmarkDataKit::fileSystemId(ancestor) == recordedFsid;
    struct stat st { };
    const QString recordedDevice = MyBookmarkDataKit::getResourceObjectForKey(QStringLiteral("device"), reference).toString();
    return !recordedDevice.isEmpty() && ::stat(QFile::encodeName(ancestor).constData(), &st) == 0
        && QString::number(quint64(st.st_dev)) == recordedDevice;
}

bool validate(const QVariantMap &request, bool showAlert)
{
    const QString op = showAlert ? QStringLiteral("validateFolderPath(_:)") : QStringLiteral("validateFolderPath2(_:)");
    const QString pathKey = request.value(cKeyForDestinationPath).toString();
    const QString validKey = request.value(cKeyForDestinationPathIsValid).toString();
    const QString aliasKey = request.value(cKeyForDestinationPathAliasData).toString();
    note(op,
         QStringLiteral("keyForDestinationPath[") + pathKey + QStringLiteral("] keyForDestinationPathIsValid[") + validKey
             + QStringLiteral("] keyForDestinationPathAliasData[") + aliasKey + QLatin1Char(']'));
    if (request.contains(cDoesNotExistKey))
        note(op, QStringLiteral("doesNotExistKey = ") + request.value(cDoesNotExistKey).toString());
    if (pathKey.isEmpty() || validKey.isEmpty() || aliasKey.isEmpty()) {
        note(op, QStringLiteral("request without its keys, nothing to validate...."));
        return false;
    }

    std::lock_guard lock(validationMutex());
    Settings &settings = Settings::shared();
    settings.setValue(validKey, false);
    const QByteArray alias = settings.bytesValue(aliasKey);
    // A path that only the factory values give is not one the user chose:
    // it is the factory folder, made and referenced below like one.
    const bool factoryValueOnly
        = !settings.hasUserValue(pathKey) && settings.registeredDefaults().value(pathKey) == settings.value(pathKey);
    const std::optional<QString> storedPath = factoryValueOnly && alias.isEmpty() ? std::nullopt : settings.optionalString(pathKey);
    bool ok = false;

    if (!alias.isEmpty()) {
        QString resolved;
        bool stale = false;
        const auto found = MyBookmarkDataKit::urlForBookmark(alias, &stale);
        const bool trashed = found && MyBookmarkDataKit::isInTrash(*found);
        bool didResolve = found && !trashed;
        if (didResolve)
            resolved = *found;
        else
            note(op,
                 trashed ? QStringLiteral("the folder is in the trash: ") + *found
                         : QStringLiteral("Unable to resolve as bookmark data...."));
        bool local = false;
        // A folder thrown away stays thrown away; only one that vanished is
        // made again.
        if (!didResolve && !trashed && MyBookmarkDataKit::isLocal(&local, alias) && storedPath && !storedPath->isEmpty()) {
            if (mayRecreateAt(*storedPath, alias)) {
                note(op, QStringLiteral("will try to create local folder at: ") + *storedPath);
                createFolderLogged(op, standardised(*storedPath));
                didResolve = MyBookmarkDataKit::resolveAliasFromData(alias, &resolved, &stale);
            } else {
                note(op, QStringLiteral("not creating ") + *storedPath + QStringLiteral(": its volume is not mounted there...."));
            }
        }
        if (!didResolve) {
            note(op,
                 QStringLiteral("WHAT????? BOOOOO didresolve = NO for path[") + storedPath.value_or(QString()) + QStringLiteral("]..."));
        } else {
            note(op, QStringLiteral("Great didResolve = yes"));
            settings.setValue(validKey, true);
            if (storedPath != resolved)
                settings.setValue(pathKey, resolved);
            if (stale)
                MyBookmarkDataKit::savePath(resolved, aliasKey);
            ok = true;
        }
    } else {
        note(op, QStringLiteral("....No aliasData - so check if path as string is nil or not - if not nil - try to create aliasdta...."));
        if (storedPath && !storedPath->isEmpty()) {
            const bool exists = QFileInfo(*storedPath).isDir();
            note(op, *storedPath + (exists ? QStringLiteral(" EXISTS") : QStringLiteral(" DOES NOT EXist?????")));
            // The reference is made now; the next validation succeeds with it.
            if (exists && MyBookmarkDataKit::savePath(*storedPath, aliasKey))
                settings.setValue(validKey, true);
        } else {
            note(op, QStringLiteral("....NEED to Check pref - nil path...."));
            const QString factory = request.value(cDefaultFactoryPath).toString();
            if (!factory.isEmpty()) {
                const QString path = standardised(factory);
                if (!QFileInfo(path).isDir())
                    createFolderLogged(op, path);
                if (QFileInfo(path).isDir() && MyBookmarkDataKit::savePath(path, aliasKey)) {
                    settings.setValue(validKey, true);
                    settings.setValue(pathKey, path);
                    ok = true;
                }
            }
        }
    }

    if (!ok && showAlert)
        showFailureAlert(pathKey, storedPath);
    return ok;
}

} // namespace sorrelby::foldervalidation
