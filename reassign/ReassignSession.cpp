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
const QString cCanSupportVision = QStringLiteral("prefCanSupportVisionFramework");
const QString cUseAutoDecode = QStringLiteral("prefUseAutoDecodeQRMethod");
const QString cUnknownTitle = QStringLiteral("prefReassignAsUnknownButtonTitle");
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
{
}

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

bool ReassignSession::isAutoMode() const
{
    return preferenceops::isAutoReassignMode();
}

QString ReassignSession::currentPath() const
{
    if (!sortedurlstochange || curindex < 0 || curindex >= sortedurlstochange->size())
        return {};
    return photoPathOf(sortedurlstochange->at(curindex));
}

// ---- opening

void ReassignSession::viewDidLoad()
{
    note(u"viewDidLoad()");
    if (m_observers.empty()) {
        m_observers.push_back(observeOnMainThread(this, QStringLiteral("myReassignId"), &ReassignSession::doNotification1));
    }
    settings().setValue(cPrefReassignedBarcodeString, QString());
    settings().setValue(cPrefReassignPromptString2, requiredLengthPrompt(settings().intValue(cPrefReassignedBarcodeRequiredLength)));
    isInsideAction = false;
    sortedurlsWithBarcodes = QMap<QString, QString>();
    const bool autoMode = isAutoMode();
    Q_EMIT unknownButtonHidden(autoMode);
    fShowAutoDecodeQRStatus = autoMode && settings().boolValue(cCanSupportVision) && settings().boolValue(cUseAutoDecode);
}

void ReassignSession::viewWillAppear()
{
    settings().remove(cPrefReassignImageViewPath);
}

void ReassignSession::viewWillDisappear()
{
    m_observers.clear();
}

void ReassignSession::doNotification1(const Notification &notification)
{
    const QVariantMap &info = notification.userInfo;
    note(u"doNotification1(_:)", QStringLiteral("command = ") + info.value(QStringLiteral("command")).toString());
    Q_EMIT unknownButtonHidden(isAutoMode());
    settings().setValue(cPrefReassignPromptString, reassignPrompt());
    if (info.contains(QStringLiteral("fulSortedlUrlList")))
        fullUrlList = info.value(QStringLiteral("fulSortedlUrlList")).toStringList();
    const QVariant urls = info.value(QStringLiteral("urlstochange"));
    settings().setValue(cUnknownTitle, unknownButtonTitle(urls.toStringList().size()));
    sortedurlsWithBarcodes = QMap<QString, QString>();
    setUrlsToChange(urls.isValid() ? std::optional<QStringList>(urls.toStringList()) : std::nullopt);
    if (!sortedurlstochange || sortedurlstochange->isEmpty())
        return;
    const bool reverse = settings().boolValue(cPrefReverseAssignBarcode);
    showPhotoAt(reverse ? int(sortedurlstochange->size()) - 1 : 0);
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
    m_movePending = true;
    Q_EMIT stepStarted();
    const bool valid = doValidateTextField(fieldText);
    const bool reverse = settings().boolValue(cPrefReverseAssignBarcode);
    const QString where = direction.toLower();
    const QPointer<ReassignSession> self(this);
    getWorkingQueue().async([self, valid, reverse, where] {
        if (valid) {
            mainqueue::async([self, reverse, where] {
                if (!self)
                    return;
                self->m_movePending = false;
                Q_EMIT self->imageHidden();
                if (where == QLatin1String("left"))
                    reverse ? self->doRightButton() : self->doLeftButton();
                else if (where == QLatin1String("leftend"))
                    reverse ? self->doGoToEnd() : self->doGoToBeginning();
                else if (where == QLatin1String("rightend"))
                    reverse ? self->doGoToBeginning() : self->doGoToEnd();
                else
                    reverse ? self->doLeftButton() : self->doRightButton();
            });
        }
        // Scans that arrive during this pause find the step still running
        // and are not taken.
        sleepSeconds(0.1);
        mainqueue::async([self, valid] {
            if (!self)
                return;
            // A refused scan has had its three beeps; no confirmation on top.
            if (valid)
                getSoundQueue().async([] { SoundPlayer::shared().play(QStringLiteral("Glass")); });
            Q_EMIT self->stepFinished();
            self->isInsideAction = false;
            self->m_movePending = false;
        });
    });
    return true;
}

bool ReassignSession::doValidateTextField(const std::optional<QString> &fieldText)
{
    if (!fieldText) {
        note(u"doValidateTextField(_:)", QStringLiteral("....sender is nil.. just returning false..."));
        return false;
    }
    const QString code = firstScanLine(*fieldText);
    if (!scanLengthAccepted(code, settings().boolValue(cPrefCheckReassignedBarcodeLength),
                            settings().intValue(cPrefReassignedBarcodeRequiredLength))) {
        Q_EMIT shakeRequested(ShakeTarget::Field, 3);
        note(u"doValidateTextField(_:)", QStringLiteral("....Invalid Scan [") + printablePayload(code) + QStringLiteral("]..."));
        Q_EMIT fieldEmptied();
        beepOnSoundQueue(3, 0.2);
        return false;
    }
    settings().setValue(cPrefReassignedBarcodeString, code);
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
    settings().setValue(cPrefCurIndexString, curindexString);
    const QString path = currentPath();
    settings().setValue(cPrefReassignImageViewPath, path);
    note(u"showPhoto", QStringLiteral("prefReassignImageViewPath url to save = ") + path);
    if (!sortedurlsWithBarcodes) {
        beepOnSoundQueue(2, 0.2);
        return;
    }
    if (const auto found = sortedurlsWithBarcodes->constFind(path); found != sortedurlsWithBarcodes->constEnd()) {
        settings().setValue(cPrefReassignedBarcodeString, *found);
        note(u"showPhoto", QStringLiteral("....indexcode = ") + printablePayload(*found));
        return;
    }
    note(u"showPhoto", QStringLiteral("....OOPS indexcode crapped out"));
    // In auto mode each photo has its own code: the previous photo's code
    // left in the field would otherwise be stored for this one by the next
    // arrow press and make it a card photo too.
    if (isAutoMode())
        settings().setValue(cPrefReassignedBarcodeString, QString());
    tryToDoAutoDecodeQRCodes(path);
}

void ReassignSession::setupBarcodeArray()
{
    updateBarcodeArray();
    if (!isAutoMode())
        Q_EMIT fieldTextSelectionRequested();
}

bool ReassignSession::updateBarcodeArray()
{
    const std::optional<QString> code = settings().optionalString(cPrefReassignedBarcodeString);
    const std::optional<QString> path = settings().optionalString(cPrefReassignImageViewPath);
    if (!code || !path || path->isEmpty() || !sortedurlsWithBarcodes)
        return false;
    sortedurlsWithBarcodes->insert(*path, *code);
    note(u"updateBarcodeArray(forPath:withCode:)", QStringLiteral("....Saved = true"));
    return true;
}

// ---- automatic detection and sounds

void ReassignSession::tryToDoAutoDecodeQRCodes(const QString &path)
{
    if (!isAutoMode()) {
        note(u"tryToDoAutoDecodeQRCodes(_:)", QStringLiteral("....auto reassign mode == FALSE..."));
        return;
    }
    if (!settings().boolValue(cCanSupportVision)) {
        note(u"tryToDoAutoDecodeQRCodes(_:)", QStringLiteral("....Vision.framework NOT supported..."));
        return;
    }
    if (!settings().boolValue(cUseAutoDecode))
        return;
    if (fShowAutoDecodeQRStatus)
        Q_EMIT autoDecodeStatusChanged(QStringLiteral("Looking for a code..."));
    const QPointer<ReassignSession> self(this);
    getDecoderQueue().async([self, path] {
        const std::optional<QString> code = path.isEmpty() ? std::nullopt : doAutoQRCode(path);
        mainqueue::async([self, path, code] {
            if (!self)
                return;
            // The user may have moved on: a code belongs only to the photo
            // it was read from, and a scan of that photo being handled wins
            // over it.
            if (self->currentPath() != path || self->m_movePending) {
                note(u"tryToDoAutoDecodeQRCodes(_:)", QStringLiteral("result for a photo no longer shown - dropped: ") + path);
                return;
            }
            if (code) {
                note(u"tryToDoAutoDecodeQRCodes(_:)", QStringLiteral("autodecoded qrcode = ") + *code);
                settings().setValue(cPrefReassignedBarcodeString, *code);
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
    if (isAutoMode()) {
        setupBarcodeArray();
        doReassignBarcodeArrayOnly();
        return m_reassigning;
    }
    const QString code = settings().stringValue(cPrefReassignedBarcodeString).trimmed();
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
                {{QStringLiteral("command"), QStringLiteral("autodecodeqrcodes")}, {QStringLiteral("fulSortedlUrlList"), renames.decodeList}});
            reportKeptNames(renames.report.kept, {});
        });
    });
}

void ReassignSession::reassignManually()
{
    const QString code = settings().stringValue(cPrefReassignedBarcodeString).trimmed();
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
            note(u"doReassign3(_:)", QStringLiteral("Done reassigning one code to all selected photos... about to dismissViewController..."));
            if (self)
                Q_EMIT self->closeRequested();
            NotificationCenter::defaultCenter().post(QStringLiteral("myRefreshId"), {{QStringLiteral("command"), QStringLiteral("refresh")}});
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
    if (isAutoMode()) {
        // Hidden in auto mode: UNKNOWN would name a card photo there.
        note(u"doSetAsUnknownButton(_:)", QStringLiteral("not in auto mode - ignored"));
        return;
    }
    settings().setValue(cPrefReassignedBarcodeString, QStringLiteral("UNKNOWN"));
    doReassign3();
}

void ReassignSession::doClearButton()
{
    settings().setValue(cPrefReassignedBarcodeString, QString());
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
