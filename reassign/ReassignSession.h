#pragma once
// The reassign dialog's state and steps, without a window: the photos handed
// over by the browser, the photo being looked at, the code of each photo
// (auto mode), one guarded step per scan or arrow press, automatic code
// detection, the sounds, and the renames at the end. The dialog
// (widgets/ReassignViewController) shows what this writes to the settings
// and turns clicks and keys into the calls below.
//
// Owned by its dialog; lives on the GUI thread. Renames run on the work
// queue, detection on the decoder queue, every sound on the sound queue;
// results come back to the GUI thread and are dropped once the session is
// gone.

#include "platform/NotificationCenter.h"

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace sorrelby {

class SerialQueue;

class ReassignSession : public QObject {
    Q_OBJECT
public:
    enum class ShakeTarget { Field, FieldContainer };

    explicit ReassignSession(QObject *parent = nullptr);
    ~ReassignSession() override;

    // The three queues of the dialog, created once and shared.
    static SerialQueue &getWorkingQueue(); // scan steps, renames
    static SerialQueue &getSoundQueue();   // every beep and sound
    static SerialQueue &getDecoderQueue(); // automatic code detection

    // Opening: the keys the controls show are reset, "myReassignId" observed.
    void viewDidLoad();
    void viewWillAppear();
    // Stops observing.
    void viewWillDisappear();
    void doNotification1(const Notification &notification);
    void setUrlsToChange(const std::optional<QStringList> &urls);

    // One scan (the field's text ended by a line break) or arrow press, in
    // the direction "left", "right", "leftend" or "rightend". False when
    // ignored because the previous one is still being handled.
    bool doTextFieldActionNew3(const QString &fieldText, const QString &direction);
    // The field's text as a code: the first line, stored when it passes the
    // length check; false (shake, three beeps) when it is too short.
    bool doValidateTextField(const std::optional<QString> &fieldText);

    void doLeftButton();
    void doRightButton();
    void doGoToBeginning();
    void doGoToEnd();
    void setupBarcodeArray();
    bool updateBarcodeArray();
    void tryToDoAutoDecodeQRCodes(const QString &path);
    void playErrorSound();

    // The reassign button: renames, then the dialog closes. False when
    // ignored (a step or a reassign in progress, no code in manual mode).
    bool doReassign3();
    void doSetAsUnknownButton();
    void doClearButton();

    bool isAutoMode() const;
    bool isReassigning() const { return m_reassigning; }
    QString currentPath() const;
    // The window sheets are attached to (none in tests).
    void setSheetWindow(QObject *window) { m_sheetWindow = window; }

    // State, by the names the rest of the program knows.
    QString curindexString;
    int curindex = 0;
    QStringList urlstochange;
    std::optional<QStringList> sortedurlstochange;
    std::optional<QMap<QString, QString>> sortedurlsWithBarcodes;
    std::optional<QMap<QString, QString>> lookuptranslatedurls;
    bool isInsideAction = false;
    std::optional<QStringList> fullUrlList;
    bool fShowAutoDecodeQRStatus = true;

Q_SIGNALS:
    // A step began: the field is hidden and takes no input until stepFinished.
    void stepStarted();
    void imageHidden();
    void stepFinished();
    void fieldEmptied();
    void fieldTextSelectionRequested();
    void shakeRequested(ReassignSession::ShakeTarget target, int count);
    void unknownButtonHidden(bool hidden);
    void autoDecodeStatusChanged(const QString &status);
    void reassignStarted();
    // Renames are done (or nothing was to be done): the dialog closes.
    void closeRequested();

private:
    void showPhotoAt(int index);
    void doReassignBarcodeArrayOnly();
    void reassignManually();
    void beginNoBarcodeSheet();
    static void beepOnSoundQueue(int times, double pauseAfterEach);

    std::vector<ObserverRegistration> m_observers;
    QPointer<QObject> m_sheetWindow;
    bool m_reassigning = false;
    // A step has taken its scan but not yet moved to the next photo.
    bool m_movePending = false;
};

// After the run: the photos that kept their names, in an alert (nothing when
// every photo was renamed or already carried its code).
void reportKeptNames(const QStringList &kept, const QString &code);

} // namespace sorrelby
