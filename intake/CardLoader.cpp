#include "intake/CardLoader.h"

#include "naming/FileNameScheme.h"
#include "platform/AlertPresenter.h"
#include "platform/Dispatch.h"
#include "platform/FileTypes.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/UserFolders.h"
#include "platform/VolumeMonitor.h"
#include "settings/PreferenceOps.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QDir>
#include <QFileInfo>

namespace sorrelby {

namespace {

const QString kClass = QStringLiteral("LoadCardViewController");

void note(QStringView operation, const QString &detail)
{
    logOp(kClass, operation, detail);
}

Alert volumeAlert(const QString &messageText, const QString &volumePath)
{
    Alert alert;
    alert.style = AlertStyle::Critical;
    alert.messageText = messageText;
    alert.informativeText
        = QStringLiteral("CARD found at:\n") + volumePath + QStringLiteral("\n\nDo you really wish to use this or eject it?");
    alert.buttons = {QStringLiteral("Eject Card"), QStringLiteral("Use This Card")};
    return alert;
}

} // namespace

QStringList cameraCardFolderNames()
{
    QStringList names;
    for (const QString &piece : Settings::shared().stringValue(cPrefCameraCardFolderNames).split(QLatin1Char(','))) {
        const QString name = piece.trimmed();
        // A name is one folder inside the volume, never a way out of it.
        if (!name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QLatin1String("..") && name != QLatin1String("."))
            names.append(name);
    }
    return names;
}

std::optional<QString> cameraFolderOnVolume(const QString &volumePath)
{
    for (const QString &name : cameraCardFolderNames()) {
        const QString candidate = volumePath + QLatin1Char('/') + name;
        note(u"volumeDidMount(_:)", QStringLiteral("checking path = ") + candidate);
        if (QFileInfo(candidate).isDir())
            return candidate;
    }
    return std::nullopt;
}

bool isRecoveryVolume(const QString &volumePath)
{
    return QFileInfo(QDir::cleanPath(volumePath)).fileName().compare(QLatin1String("Recovery HD"), Qt::CaseInsensitive) == 0;
}

CardLoader::CardLoader(VolumeMonitor &monitor, QObject *window, QObject *parent)
    : QObject(parent)
    , m_monitor(monitor)
    , m_window(window)
    , m_queue(std::make_unique<SerialQueue>(QStringLiteral("com.halvane.vemo.sorrelby.cardcopy")))
{
    qRegisterMetaType<CardCopyProgress>();
    qRegisterMetaType<CardCopyResult>();
    m_queue->setChangesFiles(true);
}

CardLoader::~CardLoader()
{
    removeobserversForCard();
    {
        const std::lock_guard<std::mutex> running(m_lifetime->running);
        m_lifetime->alive = false;
    }
    m_queue.reset(); // a running copy ends first
}

void CardLoader::setStatusString(const QString &status)
{
    m_status = status;
    Settings::shared().setValue(cPrefStatusString, status);
    Q_EMIT statusChanged(status);
}

void CardLoader::start()
{
    note(u"viewDidLoad()", {});
    setStatusString(QString(cPleaseInsertCard));
    addobserversForCard();
    checkExistingVolumes();
}

void CardLoader::stop()
{
    removeobserversForCard();
    if (!isCopying())
        setStatusString(QString(cPleaseInsertCard));
}

void CardLoader::addobserversForCard()
{
    removeobserversForCard();
    m_mountConnection = connect(&m_monitor, &VolumeMonitor::volumeDidMount, this, [this](const QString &path) {
        volumeDidMount({{QStringLiteral("NSDevicePath"), path}});
    });
    m_unmountConnection = connect(&m_monitor, &VolumeMonitor::volumeDidUnmount, this, &CardLoader::volumeDidUnMount);
}

void CardLoader::removeobserversForCard()
{
    disconnect(m_mountConnection);
    disconnect(m_unmountConnection);
}

void CardLoader::volumeDidUnMount(const QString &volumePath)
{
    note(u"volumeDidUnMount(_:)", QStringLiteral("called... ") + volumePath);
}

bool CardLoader::isCameraCardVolume(const QString &volumePath) const
{
    for (const QString &name : cameraCardFolderNames()) {
        const QString searchPath = volumePath + QLatin1Char('/') + name;
        note(u"isCameraCardVolume(_:)", QStringLiteral("searchpath = ") + searchPath);
        if (!QFileInfo(searchPath).isDir())
            continue;
        const std::optional<FileSystemInfo> info = m_monitor.fileSystemInfo(searchPath);
        if (info && info->isUnmountable) {
            note(u"isCameraCardVolume(_:)", QStringLiteral("found unmountable volume...!!!"));
            return true;
        }
    }
    return false;
}

std::optional<QMap<QString, QString>> CardLoader::getFileSystemInfoForPath(const QString &path) const
{
    const std::optional<FileSystemInfo> info = m_monitor.fileSystemInfo(path);
    if (!info)
        return std::nullopt;
    return info->toMap();
}

bool CardLoader::checkExistingVolumes()
{
    for (const QString &volume : m_monitor.mountedVolumes()) {
        if (isRecoveryVolume(volume) || !isCameraCardVolume(volume))
            continue;
        askAboutVolume(QStringLiteral("EJECT Existing CARD !!!"), volume, true);
        return true;
    }
    return false;
}

void CardLoader::askAboutVolume(const QString &messageText, const QString &volumePath, bool asCameraCard)
{
    QPointer<CardLoader> self(this);
    AlertPresenter::shared().beginSheet(volumeAlert(messageText, volumePath), m_window,
                                        [self, volumePath, asCameraCard](AlertAnswer answer) {
                                            if (!self)
                                                return;
                                            if (answer == 0) {
                                                self->ejectLater(volumePath);
                                            } else if (asCameraCard) {
                                                // Exactly as if the card had just been inserted.
                                                self->volumeDidMount({{QStringLiteral("NSDevicePath"), volumePath},
                                                                      {QStringLiteral("NOTE"), QStringLiteral("fromThisInternalApp")}});
                                            } else {
                                                // Taken as a card, so it is ejected once its photos are safe.
                                                Settings::shared().setValue(cPrefTempMountVolume, volumePath);
                                                self->processNewCard(volumePath);
                                            }
                                        });
}

void CardLoader::ejectLater(const QString &volumePath)
{
    VolumeMonitor *monitor = &m_monitor;
    copyQueue().async([monitor, volumePath, lifetime = m_lifetime] {
        const std::lock_guard<std::mutex> running(lifetime->running);
        if (lifetime->alive)
            monitor->unmountAndEject(volumePath);
    });
}

void CardLoader::volumeDidMount(const QVariantMap &userInfo)
{
    if (userInfo.isEmpty())
        return;
    const QString volume = userInfo.value(QStringLiteral("NSDevicePath")).toString();
    note(u"volumeDidMount(_:)", QStringLiteral("volume = ") + volume);
    if (volume.isEmpty())
        return;
    if (isRecoveryVolume(volume)) {
        note(u"volumeDidMount(_:)", QStringLiteral("Found the recovery volume - will ignore..."));
        return;
    }
    if (const std::optional<QString> folder = cameraFolderOnVolume(volume)) {
        Settings::shared().setValue(cPrefTempMountVolume, volume);
        processNewCard(folder);
        return;
    }
    askAboutVolume(QStringLiteral("Flash Card MAY NOT be a Camera Card !!!"), volume, false);
}

void CardLoader::processNewCard(const std::optional<QString> &folder)
{
    note(u"processNewCard(_:)", QStringLiteral("location = ") + folder.value_or(QStringLiteral("nil")));
    if (!folder)
        return;
    // Read on the main thread, where the settings are edited.
    const CardCopyOptions options = CardCopyOptions::fromSettings(*folder);
    // Coded photos not delivered yet are the photographer's work: the new
    // card sets them aside only when told to.
    const int coded = options.hotFolderMode || !options.sourceFolder ? 0 : undeliveredCodedPhotos(*options.sourceFolder);
    if (coded == 0) {
        startCopy(options);
        return;
    }
    note(u"processNewCard(_:)", QStringLiteral("%1 coded photo(s) not delivered in the source folder").arg(coded));
    Alert alert;
    alert.style = AlertStyle::Warning;
    alert.messageText = QStringLiteral("Set Aside Photos Not Delivered?");
    alert.informativeText
        = QStringLiteral("\nThe source folder holds %1 coded photo(s) that were not delivered.\n\nThe new card moves them "
                         "into the Trash (%2), from where Edit > Undo brings them back.\n")
              .arg(coded)
              .arg(userfolders::dataHome() + QStringLiteral("/Trash"));
    alert.buttons = {QStringLiteral("Cancel"), QStringLiteral("Load Card")};
    QPointer<CardLoader> self(this);
    AlertPresenter::shared().beginSheet(alert, m_window, [self, options](AlertAnswer answer) {
        if (!self)
            return;
        if (answer == 1)
            self->startCopy(options);
        else
            self->setStatusString(QStringLiteral("Card not loaded: deliver the source folder's photos first, or load the card again."));
    });
}

int CardLoader::undeliveredCodedPhotos(const QString &sourceFolder)
{
    const int tag = Settings::shared().intValue(cPrefOriginalNameFormatTag);
    int coded = 0;
    const QFileInfoList entries = QDir(sourceFolder).entryInfoList(QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (filetypes::isImage(entry.filePath()) && !checkIfIsOriginal(entry.filePath(), tag))
            ++coded;
    }
    return coded;
}

void CardLoader::startCopy(const CardCopyOptions &options)
{
    ++m_copying;
    Q_EMIT copyStarted();
    VolumeMonitor *monitor = &m_monitor;
    QPointer<CardLoader> self(this);
    const CardCopy::Pause pause = m_pause;
    copyQueue().async([monitor, self, options, pause, lifetime = m_lifetime] {
        const std::lock_guard<std::mutex> running(lifetime->running);
        if (!lifetime->alive)
            return;
        CardCopy copy(monitor);
        if (pause)
            copy.setPause(pause);
        copy.setStatusHandler([self](const QString &line) {
            mainqueue::async([self, line] {
                if (self)
                    self->setStatusString(line);
            });
        });
        copy.setProgressHandler([self](const CardCopyProgress &progress) {
            mainqueue::async([self, progress] {
                if (self)
                    Q_EMIT self->progressChanged(progress);
            });
        });
        const CardCopyResult result = copy.run(options);
        mainqueue::async([self, result] {
            if (self)
                self->finished(result);
        });
    });
}

void CardLoader::finished(const CardCopyResult &result)
{
    --m_copying;
    setStatusString(result.statusLine);
    if (result.outcome == CardCopyResult::Outcome::CopyFailed || result.outcome == CardCopyResult::Outcome::NoRoom
        || result.outcome == CardCopyResult::Outcome::SetAsideFailed || result.outcome == CardCopyResult::Outcome::PlaceFailed) {
        Alert alert;
        alert.messageText = result.outcome == CardCopyResult::Outcome::NoRoom ? QStringLiteral("!!! CARD does NOT fit !!!")
                                                                              : QStringLiteral("!!! Photos could NOT be copied !!!");
        QString details = result.statusLine;
        if (!result.failed.isEmpty())
            details = QStringLiteral("These photos could not be copied:\n") + result.failed.join(QLatin1Char('\n'))
                + QStringLiteral("\n\nThe CARD was NOT ejected and the Source Folder was not changed.");
        alert.informativeText = QLatin1Char('\n') + details + QLatin1Char('\n');
        AlertPresenter::shared().beginSheet(alert, m_window, [](AlertAnswer) {});
    }
    if (result.decodeWanted) {
        note(u"processNewCard2(_:)", QStringLiteral("decode after copying: ") + result.targetFolder);
        if (m_decode)
            m_decode(result.targetFolder);
        else
            NotificationCenter::defaultCenter().post(QStringLiteral("myAutoDecodeProcess"),
                                                     {{QStringLiteral("command"), QStringLiteral("autodecodeqrcodes")}});
    }
    Q_EMIT copyFinished(result);
}

QString unassignedFolderOfToday()
{
    // Where delivery puts today's photos without a code: the day's folder
    // inside the main folder's UNASSIGNED_PHOTOS.
    const std::optional<QString> main = Settings::shared().optionalString(cPrefDestinationPath);
    if (!main || main->trimmed().isEmpty())
        return {};
    QString folder = QDir::cleanPath(userfolders::expandTilde(*main)) + QLatin1Char('/') + cStringForUNASSIGNED_PHOTOS;
    if (const std::optional<QString> daily = preferenceops::getDailyFolderNameC(); daily && !daily->isEmpty())
        folder += QLatin1Char('/') + *daily;
    return folder;
}

void CardLoader::doSelectUnassigedFolder()
{
    note(u"doSelectUnassigedFolder(_:)", {});
    const QString folder = unassignedFolderOfToday();
    if (folder.isEmpty())
        return;
    note(u"doSelectUnassigedFolder(_:)", QStringLiteral("copyfolderpath = ") + folder);
    processNewCard(folder);
}

} // namespace sorrelby
