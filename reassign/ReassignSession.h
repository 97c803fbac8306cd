#pragma once
// The reassign session model: what the reassign dialog shows and decides,
// held in memory for as long as the dialog is open. The photos handed over
// by the browser, the photo being looked at (its index), the code in the
// field and the code given to each photo (auto mode), the mode, the prompts;
// one step per scan or arrow press, automatic code detection, the sounds,
// and the renames at the end through the rename service. Nothing of this is
// written to the settings: the dialog's frame is all that outlives it
// (widgets/ReassignViewController keeps that).
//
// One scan per step: a step starts with a scan or an arrow press and ends
// once the view has put the photo it moved to on screen (photoShown); a
// scan that arrives before is not taken, so every code is entered on the
// photo the photographer sees.
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
    static SerialQueue &getWorkingQueue(); // renames
    static SerialQueue &getSoundQueue();   // every beep and sound
    static SerialQueue &getDecoderQueue(); // automatic code detection

    // Opening: the mode, the length rule and the detection switches are
    // read once, and "myReassignId" observed.
    void viewDidLoad();
    // Stops observing.
    void viewWillDisappear();
    void doNotification1(const Notification &notification);
    void setUrlsToChange(const std::optional<QStringList> &urls);

    // One scan (the field's text ended by a line break) or arrow press, in
    // the direction "left", "right", "leftend" or "rightend". False when
    // ignored because the previous step has not finished.
    bool doTextFieldActionNew3(const QString &fieldText, const QString &direction);
    // The view shows the photo at `path`: ends the step that moved to it.
    void photoShown(const QString &path);
    // The field's text as a code: the first line, taken when it passes the
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

    bool isAutoMode() const { return m_autoMode; }
    bool isReassigning() const { return m_reassigning; }
    QString currentPath() const;
    // The code in the field.
    QString code() const { return m_code; }
    QString prompt() const { return m_prompt; }
    // "( Barcode must be <n> digits. )"; shown only with the length check on.
    QString lengthPrompt() const { return m_lengthPrompt; }
    bool checksLength() const { return m_checkLength; }
    QString unknownButtonTitle() const { return m_unknownTitle; }
    // The window sheets are attached to (none in tests).
    void setSheetWindow(QObject *window) { m_sheetWindow = window; }

    // State, by the names the rest of the program knows.
    QString curindexString;
    int curindex = 0;
    QStringList urlstochange;
    std::optional<QStringList> sortedurlstochange;
    std::optional<QMap<QString, QString>> sortedurlsWithBarcodes;
    std::optional<QMap<QString, QString>> lookuptranslatedurls;
    bool isInsideAction = false; // a step is in progress
    std::optional<QStringList> fullUrlList;
    bool fShowAutoDecodeQRStatus = true;

Q_SIGNALS:
    // A step began: the field is hidden and takes no input until stepFinished.
    void stepStarted();
    void imageHidden();
    void stepFinished();
    void codeChanged(const QString &code);
    // The photo to show; the view calls photoShown once it is on screen.
    void photoChanged(int index, const QString &path);
    void promptsChanged();
    void fieldEmptied();
    void fieldTextSelectionRequested();
    void shakeRequested(ReassignSession::ShakeTarget target, int count);
    void unknownButtonHidden(bool hidden);
    void autoDecodeStatusChanged(const QString &status);
    void reassignStarted();
    // Renames are done (or nothing was to be done): the dialog closes.
    void closeRequested();

private:
    void setCode(const QString &code);
    void showPhotoAt(int index);
    void finishStep();
    void doReassignBarcodeArrayOnly();
    void reassignManually();
    void beginNoBarcodeSheet();
    static void beepOnSoundQueue(int times, double pauseAfterEach);

    std::vector<ObserverRegistration> m_observers;
    QPointer<QObject> m_sheetWindow;
    bool m_autoMode = false;
    bool m_detects = false; // automatic detection in auto mode
    bool m_reverse = false;
    bool m_checkLength = false;
    int m_requiredLength = 0;
    QString m_code;
    // Counts every change of the code, so a detection result never replaces
    // a code entered after the detection began.
    quint64 m_codeGeneration = 0;
    QString m_prompt;
    QString m_lengthPrompt;
    QString m_unknownTitle;
    // The photo the step in progress waits to see on screen.
    QString m_awaitedPhoto;
    bool m_stepValid = false;
    bool m_reassigning = false;
};

// After the run: the photos that kept their names, in an alert (nothing when
// every photo was renamed or already carried its code).
void reportKeptNames(const QStringList &kept, const QString &code);

} // namespace sorrelby
