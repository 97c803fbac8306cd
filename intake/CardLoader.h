#pragma once
// The card window's engine (LoadCardViewController without its widgets):
// waits for a camera card, judges every mounted volume by its camera folders
// (cPrefCameraCardFolderNames), asks about volumes without them, offers a
// card already inserted, and runs the copy from card, one at a time, on its
// own serial queue. The status line is mirrored into cPrefStatusString.
// After a copy with decoding after copying on, it asks for the folder the
// photos went into to be decoded (the window hands that to the folder's
// shoot engine).
//
// Lives on the main thread, which receives the monitor's signals and answers
// the alerts; the monitor must outlive it. Destruction waits for a running
// copy to end.

#include "intake/CardCopy.h"

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace sorrelby {

class SerialQueue;
class VolumeMonitor;

inline constexpr QLatin1StringView cPleaseInsertCard{"Please Insert CARD..."};

// The folder names of cPrefCameraCardFolderNames, trimmed, empty ones left out.
QStringList cameraCardFolderNames();
// The first camera folder (by the setting's order) on a volume; none when it
// has none.
std::optional<QString> cameraFolderOnVolume(const QString &volumePath);
// The platform's recovery volume ("Recovery HD", any letter case) is never a card.
bool isRecoveryVolume(const QString &volumePath);
// Where today's delivery puts the photos without a code; empty without a
// main folder.
QString unassignedFolderOfToday();

class CardLoader : public QObject {
    Q_OBJECT
public:
    // Sheets are shown on `window` (may be null).
    explicit CardLoader(VolumeMonitor &monitor, QObject *window = nullptr, QObject *parent = nullptr);
    ~CardLoader() override;

    QString statusString() const { return m_status; }
    // Sets the status line and its mirror cPrefStatusString. Main thread.
    void setStatusString(const QString &status);

    // The window loaded and is about to appear: status reset, observers on,
    // the existing card check.
    void start();
    // The window goes away: observers off, status reset.
    void stop();

    void addobserversForCard();
    void removeobserversForCard();

    // userInfo: "NSDevicePath" (the volume), optional "NOTE".
    void volumeDidMount(const QVariantMap &userInfo);
    void volumeDidUnMount(const QString &volumePath);

    // A volume (by path) that holds a camera folder and can be unmounted.
    bool isCameraCardVolume(const QString &volumePath) const;
    std::optional<QMap<QString, QString>> getFileSystemInfoForPath(const QString &path) const;
    // Offers the first inserted camera card in a sheet; true when one was found.
    bool checkExistingVolumes();

    // Copies a card folder (or a folder chosen by hand) on the copy queue.
    void processNewCard(const std::optional<QString> &folder);
    // The photos set aside as unassigned at today's delivery, brought back in
    // as a card (they stay in the unassigned folder too).
    void doSelectUnassigedFolder();

    bool isCopying() const { return m_copying > 0; }
    // Asked, on this thread, to decode the folder a card was copied into.
    // Without it "myAutoDecodeProcess" is posted for the browser.
    void setDecodeAfterCopy(std::function<void(const QString &folder)> decode) { m_decode = std::move(decode); }
    // Copies (and ejects) run on `queue` instead of the loader's own: the
    // shoot engines' queue, so that no operation on a folder overlaps a copy
    // into it. The queue must outlive the loader.
    void setCopyQueue(SerialQueue *queue) { m_shared = queue; }
    // Tests: no 0.4 s pause after the eject.
    void setPauseAfterEject(CardCopy::Pause pause) { m_pause = std::move(pause); }

Q_SIGNALS:
    void statusChanged(const QString &status);
    void progressChanged(const sorrelby::CardCopyProgress &progress);
    void copyStarted();
    void copyFinished(const sorrelby::CardCopyResult &result);

private:
    void askAboutVolume(const QString &messageText, const QString &volumePath, bool asCameraCard);
    void ejectLater(const QString &volumePath);
    void finished(const CardCopyResult &result);
    void startCopy(const CardCopyOptions &options);
    // Photos of the source folder under a coded name (not delivered yet).
    static int undeliveredCodedPhotos(const QString &sourceFolder);

    VolumeMonitor &m_monitor;
    QPointer<QObject> m_window;
    QString m_status = QString(cPleaseInsertCard);
    QMetaObject::Connection m_mountConnection;
    QMetaObject::Connection m_unmountConnection;
    SerialQueue &copyQueue() const { return m_shared ? *m_shared : *m_queue; }

    std::unique_ptr<SerialQueue> m_queue;
    SerialQueue *m_shared = nullptr;
    // Held by a job on the shared queue while it runs; the loader's end
    // waits for it, and jobs that start after that do nothing.
    struct Lifetime {
        std::mutex running;
        bool alive = true;
    };
    std::shared_ptr<Lifetime> m_lifetime = std::make_shared<Lifetime>();
    CardCopy::Pause m_pause;
    std::function<void(const QString &folder)> m_decode;
    int m_copying = 0;
};

} // namespace sorrelby

Q_DECLARE_METATYPE(sorrelby::CardCopyProgress)
Q_DECLARE_METATYPE(sorrelby::CardCopyResult)
