#include "reassign/ReassignSession.h"

#include "naming/CardCode.h"
#include "naming/FileNameScheme.h"
#include "naming/PhotoRename.h"
#include "platform/AlertPresenter.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/MainThreadObserver.h"
#include "platform/SoundPlayer.h"
#include "reassign/ReassignRenames.h"
#include "settings/PreferenceOps.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QThread>

namespace sorrelby {

namespace {

const QString cClass = QStringLiteral("ReassignViewController");
// About the length of the theme's error sound, so the three plays are heard
// one after the other.
constexpr unsigned long cErrorSoundMs = 450;

void note(QStringView operation, const QString &detail = {})
{
    logOp(cClass, operation, detail);
}

Settings &settings()
{
    return Settings::shared();
}

void sleepSeconds(double seconds)
{
    QThread::msleep(static_cast<unsigned long>(seconds * 1000));
}

} // namespace

ReassignSession::ReassignSession(QObject *parent)
    : QObject(parent)
{ }

ReassignSession::~ReassignSession() = default;

SerialQueue &ReassignSession::getWorkingQueue()
{
    static SerialQueue *queue = [] {
        auto *made = new SerialQueue(QStringLiteral("com.halvane.vemo.sorrelby.workingQueue"));
        made->setChangesFiles(true);
        return made;
    }();
    return *queue;
}

SerialQueue &ReassignSession::getSoundQueue()
{
    static SerialQueue *queue = new SerialQueue(QStringLiteral("com.halvane.vemo.sorrelby.workingQueue2"));
    return *queue;
}

SerialQueue &ReassignSession::getDecoderQueue()
{
    static SerialQueue *queue = new SerialQueue(QStringLiteral("com.halvane.vemo.sorrelby.workingQueue3"));
    return *queue;
}

QString ReassignSession::currentPath() const
{
    if (!sortedurlstochange || curindex < 0 || curindex >= sortedurlstochange->size())
        return {};
    return photoPathOf(sortedurlstochange->at(curindex));
}

void ReassignSession::setCode(const QString &code)
{
    ++m_codeGeneration;
    if (code == m_code)
        return;
    m_code = code;
    Q_EMIT codeChanged(m_code);
}

// ---- opening

void ReassignSession::viewDidLoad()
{
    note(u"viewDidLoad()");
    if (m_observers.empty()) {
        m_observers.push_back(observeOnMainThread(this, QStringLiteral("myReassignId"), &ReassignSession::doNotification1));
    }
    setCode(QString());
    m_checkLength = settings().boolValue(cPrefCheckReassignedBarcodeLength);
    m_requiredLength = settings().intValue(cPrefReassignedBarcodeRequiredLength);
    m_lengthPrompt = requiredLengthPrompt(m_requiredLength);
    m_prompt = settings().stringValue(cPrefReassignPromptString);
    isInsideAction = false;
    sortedurlsWithBarcodes = QMap<QString, QString>();
    m_autoMode = preferenceops::isAutoReassignMode();
    Q_EMIT unknownButtonHidden(m_autoMode);
    fShowAutoDecodeQRStatus
        = m_autoMode && settings().boolValue(cPrefCanSupportVisionFramework) && settings().boolValue(cPrefUseAutoDecodeQRMethod);
    Q_EMIT promptsChanged();
}

void ReassignSession::viewWillDisappear()
{
    m_observers.clear();
}

void ReassignSession::doNotification1(const Notification &notification)
{
    const QVariantMap &info = notification.userInfo;
    note(u"doNotification1(_:)", QStringLiteral("command = ") + info.value(QStringLiteral("command")).toString());
    // The mode chosen in the prompt holds for the whole session.
    m_autoMode = preferenceops::isAutoReassignMode();
    Q_EMIT unknownButtonHidden(m_autoMode);
    m_prompt = reassignPrompt();
    if (info.contains(QStringLiteral("fulSortedlUrlList")))
        fullUrlList = info.value(QStringLiteral("fulSortedlUrlList")).toStringList();
    const QVariant urls = info.value(QStringLiteral("urlstochange"));
    m_unknownTitle = sorrelby::unknownButtonTitle(urls.toStringList().size());
    Q_EMIT promptsChanged();
    sortedurlsWithBarcodes = QMap<QString, QString>();
    setUrlsToChange(urls.isValid() ? std::optional<QStringList>(urls.toStringList()) : std::nullopt);
    m_reverse = settings().boolValue(cPrefReverseAssignBarcode);
    if (!sortedurlstochange || sortedurlstochange->isEmpty())
        return;
    showPhotoAt(m_reverse ? int(sortedurlstochange->size()) - 1 : 0);
}

void ReassignSession::setUrlsToChange(const std::optional<QStringList> &urls)
{
    if (!urls) {
        note(u"setUrlsToChange(_:)", QStringLiteral("passed nil for urls ????????"));
        return;
    }
    urlstochange = *urls;
    sortedurlstochange = sortedByUrl(*urls);
}

// ---- one step per scan

bool ReassignSession::doTextFieldActionNew3(const QString &fieldText, const QString &direction)
{
    if (isInsideAction) {
        note(u"doTextFieldActionNew3(_:forDirection:)", QStringLiteral("....ALREDY in progress... exiting..."));
        return false;
    }
    isInsideAction = true;
    m_awaitedPhoto.clear();
    Q_EMIT stepStarted();
    m_stepValid = doValidateTextField(fieldText);
    if (m_stepValid) {
        Q_EMIT imageHidden();
        const QString where = direction.toLower();
        if (where == QLatin1String("left"))
            m_reverse ? doRightButton() : doLeftButton();
        else if (where == QLatin1String("leftend"))
            m_reverse ? doGoToEnd() : doGoToBeginning();
        else if (where == QLatin1String("rightend"))
            m_reverse ? doGoToBeginning() : doGoToEnd();
        else
            m_reverse ? doLeftButton() : doRightButton();
    }
    // A refused scan leaves the photo as it is, and without photos there
    // is none to wait for.
    if (isInsideAction && m_awaitedPhoto.isEmpty())
        finishStep();
    return true;
}

void ReassignSession::photoShown(const QString &path)
{
    if (isInsideAction && !m_awaitedPhoto.isEmpty() && path == m_awaitedPhoto)
        finishStep();
}

void ReassignSession::finishStep()
{
    if (!isInsideAction)
        return;
    isInsideAction = false;
    m_awaitedPhoto.clear();
    // A refused scan has had its three beeps; no confirmation on top.
    if (m_stepValid)
        getSoundQueue().async([] { SoundPlayer::shared().play(QStringLiteral("Glass")); });
    Q_EMIT stepFinished();
}

bool ReassignSession::doValidateTextField(const std::optional<QString> &fieldText)
{
    if (!fieldText) {
        note(u"doValidateTextField(_:)", QStringLiteral("....sender is nil.. just returning false..."));
        return false;
    }
    const QString code = firstScanLine(*fieldText);
    if (!scanLengthAccepted(code, m_checkLength, m_requiredLength)) {
        Q_EMIT shakeRequested(ShakeTarget::Field, 3);
        note(u"doValidateTextField(_:)", QStringLiteral("....Invalid Scan [") + printablePayload(code) + QStringLiteral("]..."));
        Q_EMIT fieldEmptied();
        beepOnSoundQueue(3, 0.2);
        return false;
    }
    setCode(code);
    return true;
}

// ---- moving between photos

void ReassignSession::doRightButton()
{
    if (!sortedurlstochange || sortedurlstochange->isEmpty())
        return;
    const int count = int(sortedurlstochange->size());
    int next = curindex + 1;
    if (next >= count) {
        beepOnSoundQueue(1, 0);
        note(u"doRightButton(_:)", QStringLiteral("....just beeped"));
        next = count - 1;
    }
    // Stored even when staying on the last photo, so the code scanned there
    // is not lost when its view is refreshed.
    setupBarcodeArray();
    showPhotoAt(next);
}

void ReassignSession::doLeftButton()
{
    if (!sortedurlstochange || sortedurlstochange->isEmpty())
        return;
    int next = curindex - 1;
    if (next < 0) {
        beepOnSoundQueue(1, 0);
        note(u"doLeftButton(_:)", QStringLiteral("....just beeped"));
        next = 0;
    }
    setupBarcodeArray();
    showPhotoAt(next);
}

void ReassignSession::doGoToBeginning()
{
    if (!sortedurlstochange || sortedurlstochange->isEmpty())
        return;
    setupBarcodeArray();
    showPhotoAt(0);
}

void ReassignSession::doGoToEnd()
{
    if (!sortedurlstochange || sortedurlstochange->isEmpty())
        return;
    setupBarcodeArray();
    showPhotoAt(int(sortedurlstochange->size()) - 1);
}

void ReassignSession::showPhotoAt(int index)
{
    curindex = index;
    curindexString = QString::number(index);
    const QString path = currentPath();
    note(u"showPhoto", QStringLiteral("photo to show = ") + path);
    if (isInsideAction && !path.isEmpty())
        m_awaitedPhoto = path;
    bool detect = false;
    if (!sortedurlsWithBarcodes) {
        beepOnSoundQueue(2, 0.2);
    } else if (!m_autoMode) {
        // One code for all: a photo looked at before the scan must not
        // bring back the empty field it was left with.
    } else if (const auto found = sortedurlsWithBarcodes->constFind(path); found != sortedurlsWithBarcodes->constEnd()) {
        setCode(*found);
        note(u"showPhoto", QStringLiteral("....indexcode = ") + printablePayload(*found));
    } else {
        note(u"showPhoto", QStringLiteral("....OOPS indexcode crapped out"));
        // Each photo has its own code: the previous photo's code left in the
        // field would otherwise be stored for this one by the next arrow
        // press and make it a card photo too.
        setCode(QString());
        detect = true;
    }
    Q_EMIT photoChanged(index, path);
    if (detect)
        tryToDoAutoDecodeQRCodes(path);
}

void ReassignSession::setupBarcodeArray()
{
    updateBarcodeArray();
    if (!m_autoMode)
        Q_EMIT fieldTextSelectionRequested();
}

bool ReassignSession::updateBarcodeArray()
{
    const QString path = currentPath();
    if (path.isEmpty() || !sortedurlsWithBarcodes)
        return false;
    sortedurlsWithBarcodes->insert(path, m_code);
    note(u"updateBarcodeArray(forPath:withCode:)", QStringLiteral("....Saved = true"));
    return true;
}

// ---- automatic detection and sounds

void ReassignSession::tryToDoAutoDecodeQRCodes(const QString &path)
{
    if (!m_autoMode) {
        note(u"tryToDoAutoDecodeQRCodes(_:)", QStringLiteral("....auto reassign mode == FALSE..."));
        return;
    }
    if (!settings().boolValue(cPrefCanSupportVisionFramework)) {
        note(u"tryToDoAutoDecodeQRCodes(_:)", QStringLiteral("....Vision.framework NOT supported..."));
        return;
    }
    if (!settings().boolValue(cPrefUseAutoDecodeQRMethod))
        return;
    if (fShowAutoDecodeQRStatus)
        Q_EMIT autoDecodeStatusChanged(QStringLiteral("Looking for a code..."));
    const QPointer<ReassignSession> self(this);
    const quint64 generation = m_codeGeneration;
    getDecoderQueue().async([self, path, generation] {
        const std::optional<QString> code = path.isEmpty() ? std::nullopt : doAutoQRCode(path);
        mainqueue::async([self, path, generation, code] {
            if (!self)
                return;
            // The user may have moved on: a code belongs only to the photo
            // it was read from, and a code entered meanwhile wins over it.
            if (self->currentPath() != path || self->m_codeGeneration != generation) {
                note(u"tryToDoAutoDecodeQRCodes(_:)",
                     QStringLiteral("result for a photo no longer shown, or a code was entered since - dropped: ") + path);
                return;
            }
            if (code) {
                note(u"tryToDoAutoDecodeQRCodes(_:)", QStringLiteral("autodecoded qrcode = ") + *code);
                // The length check applies to a detected code too: one it
                // refuses is not taken.
                self->doValidateTextField(*code);
                if (self->fShowAutoDecodeQRStatus)
                    Q_EMIT self->autoDecodeStatusChanged(QStringLiteral("Code found: ") + *code);
                return;
            }
            self->playErrorSound();
            Q_EMIT self->shakeRequested(ShakeTarget::FieldContainer, 2);
            if (self->fShowAutoDecodeQRStatus)
                Q_EMIT self->autoDecodeStatusChanged(QStringLiteral("No code found"));
        });
    });
}

void ReassignSession::playErrorSound()
{
    getSoundQueue().async([] {
        for (int mysoundloopcount = 0; mysoundloopcount < 3; ++mysoundloopcount) {
            SoundPlayer::shared().play(QStringLiteral("Sosumi"));
            QThread::msleep(cErrorSoundMs);
        }
    });
}

void ReassignSession::beepOnSoundQueue(int times, double pauseAfterEach)
{
    getSoundQueue().async([times, pauseAfterEach] {
        for (int i = 0; i < times; ++i) {
            SoundPlayer::shared().beep();
            sleepSeconds(pauseAfterEach);
        }
    });
}

// ---- reassigning

bool ReassignSession::doReassign3()
{
    if (m_reassigning || isInsideAction) {
        note(u"doReassign3(_:)", QStringLiteral("a scan or a reassign is still being handled - ignored"));
        beepOnSoundQueue(1, 0);
        return false;
    }
    if (m_autoMode) {
        setupBarcodeArray();
        doReassignBarcodeArrayOnly();
        return m_reassigning;
    }
    const QString code = m_code.trimmed();
    if (code.isEmpty()) {
        beginNoBarcodeSheet();
        return false;
    }
    reassignManually();
    return true;
}

void ReassignSession::doReassignBarcodeArrayOnly()
{
    setupBarcodeArray();
    lookuptranslatedurls = QMap<QString, QString>();
    if (!sortedurlsWithBarcodes) {
        note(u"doReassignBarcodeArrayOnly()", QStringLiteral("....oops self.sortedurlsWithBarcodes returned nil???"));
        return;
    }
    m_reassigning = true;
    Q_EMIT reassignStarted();
    const QMap<QString, QString> codes = *sortedurlsWithBarcodes;
    const QStringList full = fullUrlList.value_or(QStringList());
    const QPointer<ReassignSession> self(this);
    getWorkingQueue().async([self, codes, full] {
        const CodePhotoRenames renames = reassignCodePhotos(codes, full);
        mainqueue::async([self, renames] {
            if (self) {
                self->lookuptranslatedurls = renames.report.renamed;
                Q_EMIT self->closeRequested();
            }
            // The renames are done whatever became of the dialog: the
            // followers get their codes.
            NotificationCenter::defaultCenter().post(QStringLiteral("myAutoDecodeProcess3"),
                                                     {{QStringLiteral("command"), QStringLiteral("autodecodeqrcodes")},
                                                      {QStringLiteral("fulSortedlUrlList"), renames.decodeList}});
            reportKeptNames(renames.report.kept, {});
        });
    });
}

void ReassignSession::reassignManually()
{
    const QString code = m_code.trimmed();
    m_reassigning = true;
    Q_EMIT reassignStarted();
    const QStringList urls = urlstochange;
    const QPointer<ReassignSession> self(this);
    getWorkingQueue().async([self, urls, code] {
        const std::optional<ReassignReport> report = reassignAllToCode(urls, code);
        mainqueue::async([self, report, code] {
            if (!report) {
                // Nothing was touched; the dialog stays for another code.
                if (self) {
                    self->m_reassigning = false;
                    self->beginNoBarcodeSheet();
                }
                return;
            }
            note(u"doReassign3(_:)",
                 QStringLiteral("Done reassigning one code to all selected photos... about to dismissViewController..."));
            if (self)
                Q_EMIT self->closeRequested();
            NotificationCenter::defaultCenter().post(QStringLiteral("myRefreshId"),
                                                     {{QStringLiteral("command"), QStringLiteral("refresh")}});
            reportKeptNames(report->kept, code);
        });
    });
}

void ReassignSession::beginNoBarcodeSheet()
{
    const QPointer<ReassignSession> self(this);
    globalqueue::async([self] {
        mainqueue::async([self] {
            Alert alert;
            alert.style = AlertStyle::Warning;
            alert.messageText = QStringLiteral("! NO BARCODE ENTERED !");
            alert.informativeText = QStringLiteral("Please enter a valid barcode.");
            AlertPresenter::shared().beginSheet(alert, self ? self->m_sheetWindow.data() : nullptr, {});
        });
    });
}

void ReassignSession::doSetAsUnknownButton()
{
    if (m_autoMode) {
        // Hidden in auto mode: UNKNOWN would name a card photo there.
        note(u"doSetAsUnknownButton(_:)", QStringLiteral("not in auto mode - ignored"));
        return;
    }
    setCode(QStringLiteral("UNKNOWN"));
    doReassign3();
}

void ReassignSession::doClearButton()
{
    setCode(QString());
}

void reportKeptNames(const QStringList &kept, const QString &code)
{
    if (kept.isEmpty())
        return;
    Alert alert;
    alert.style = AlertStyle::Warning;
    alert.messageText = QStringLiteral("!!! Some Photos Kept Their Names !!!");
    alert.informativeText = keptNamesText(kept, code);
    showAlertOnMain(alert);
}

} // namespace sorrelby
