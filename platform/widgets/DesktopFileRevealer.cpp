#include "platform/widgets/DesktopFileRevealer.h"

#include "platform/Log.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace sorrelby {

namespace {

void openContainingFolders(const QStringList &paths)
{
    QStringList opened;
    for (const QString &path : paths) {
        const QString folder = QFileInfo(path).absolutePath();
        if (opened.contains(folder))
            continue;
        opened << folder;
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
            logOp(u"DesktopFileRevealer", u"showItems", QString(QStringLiteral("could not open folder ") + folder));
    }
}

} // namespace

void DesktopFileRevealer::showItems(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openContainingFolders(paths);
        return;
    }
    QStringList uris;
    for (const QString &path : paths)
        uris << QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    QDBusMessage call
        = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
                                         QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << uris << QString();
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), nullptr);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [paths](QDBusPendingCallWatcher *finished) {
        const QDBusPendingReply<> reply = *finished;
        if (reply.isError()) {
            logOp(u"DesktopFileRevealer", u"showItems", QString(QStringLiteral("file manager did not answer: ") + reply.error().message()));
            openContainingFolders(paths);
        }
        finished->deleteLater();
    });
}

void DesktopFileRevealer::openFolder(const QString &path)
{
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        logOp(u"DesktopFileRevealer", u"openFolder", QString(QStringLiteral("could not open folder ") + path));
}

} // namespace sorrelby
