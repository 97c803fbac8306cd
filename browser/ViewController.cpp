#include "browser/ViewController.h"

#include "naming/FileNameScheme.h"
#include "naming/PhotoRename.h"
#include "naming/RawPairs.h"
#include "naming/RenameJournal.h"
#include "platform/Dispatch.h"
#include "platform/FileOps.h"
#include "platform/Log.h"
#include "platform/MainThreadObserver.h"
#include "platform/SoundPlayer.h"
#include "platform/UserFolders.h"
#include "settings/PreferenceOps.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"
#include "shoot/ShootEngine.h"

#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QSet>
#include <QTimer>
#include <QUrl>

#include <atomic>

namespace sorrelby {

namespace {

const QString cClass = QStringLiteral("ViewController");

void note(QStringView operation, const QString &detail = {})
{
    logOp(cClass, operation, detail);
}

QString command(const Notification &notification)
{
    return notification.userInfo.value(QStringLiteral("command")).toString();
}

Alert sheet(AlertStyle style, const QString &message, const QString &informative, const QStringList &buttons = {QStringLiteral("OK")})
{
    Alert alert;
    alert.style = style;
    alert.messageText = message;
    alert.informativeText = informative;
    alert.buttons = buttons;
    return alert;
}

// A dropped location as a path: file URLs and plain paths both arrive.
QString locationToPath(const QString &location)
{
    const QUrl url(location);
    if (url.isLocalFile())
        return QDir::cleanPath(url.toLocalFile());
    return QDir::cleanPath(location);
}

} // namespace

ViewController::ViewController(Options options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_model(new SectionItemModel(this))
    , m_selection(new QItemSelectionModel(m_model, this))
    , m_loadQueue(std::make_unique<SerialQueue>(QStringLiteral("com.halvane.vemo.sorrelby.loadqueue")))
{
    Q_ASSERT(m_options.workQueue);
    if (!m_options.engines) {
        ShootEngineOptions engineOptions;
        engineOptions.queue = m_options.workQueue;
        m_ownEngines = std::make_unique<ShootEngines>(engineOptions);
        m_options.engines = m_ownEngines.get();
    }
    connect(m_options.engines, &ShootEngines::operationFinished, this, &ViewController::showUndoResult, Qt::QueuedConnection);
}

ViewController::~ViewController()
{
    m_observers.clear();
    // Loads still queued find a newer generation and do nothing.
    m_latestLoad->store(~quint64(0));
    m_loadQueue.reset();
}

ShootEngine &ViewController::engine() const
{
    return m_options.engines->forFolder(pathtophotos.trimmed());
}

bool ViewController::hotFolderMode()
{
    return Settings::shared().boolValue(cPrefEnableHotFolderMode);
}

void ViewController::performSegue(QLatin1StringView identifier)
{
    note(u"performSegue(withIdentifier:sender:)", QString(identifier));
    Q_EMIT segueRequested(QString(identifier));
}

void ViewController::beginSheet(const Alert &alert, std::function<void(AlertAnswer)> done)
{
    note(u"beginSheet", alert.messageText + QLatin1Char(' ') + alert.informativeText.trimmed());
    AlertPresenter::shared().beginSheet(alert, m_sheetWindow.data(), std::move(done));
}

// ---- start-up and loading

void ViewController::initializeView()
{
    note(u"initializeView()");
    getDestinationPathForUnknown();
    if (const std::optional<QString> source = getPathToSourcePhotos()) {
        pathtophotos = userfolders::expandTilde(*source);
    } else if (const std::optional<QString> factory = Settings::shared().optionalString(cPrefSourcePathFactory)) {
        pathtophotos = userfolders::expandTilde(*factory);
        note(u"initializeView()", QStringLiteral("Forcing source path to factory default: ") + pathtophotos);
    }
    if (const double stored = Settings::shared().doubleValue(cPrefItemScaleFactor); stored > 0) {
        itemScaleFactor = std::clamp(stored, cMinScaleFactor, cMaxScaleFactor);
        Q_EMIT itemSizeChanged(itemSize());
    }
    showHideSections(fShowSections);
    registerObservers();
}

void ViewController::observe(const QString &name, void (ViewController::*handler)(const Notification &))
{
    m_observers.push_back(observeOnMainThread(this, name, handler));
}

void ViewController::registerObservers()
{
    if (!m_observers.empty())
        return;
    observe(QStringLiteral("myCustomId0"), &ViewController::doNotificationForButton0);
    observe(QStringLiteral("myCustomId"), &ViewController::doNotificationForButton);
    const QPointer<ViewController> self(this);
    NotificationCenter &center = NotificationCenter::defaultCenter();
    auto segueOn = [&](const QString &name, QLatin1StringView segue) {
        m_observers.emplace_back(center, center.addObserver(name, [self, segue](const Notification &) {
            mainqueue::async([self, segue] {
                if (self)
                    self->performSegue(segue);
            });
        }));
    };
    segueOn(QStringLiteral("myOpenPrefId"), cSeguePreferences);
    segueOn(QStringLiteral("myloadnewcard"), cSegueLoadCard);
    observe(QStringLiteral("myRefreshId"), &ViewController::doNotificationRefresh);
    observe(QStringLiteral("mySelectAll"), &ViewController::doNotificationForSelectAll);
    observe(QStringLiteral("vemoNotificationChangedSourcePath"), &ViewController::doNotificationAlwaysUseOstrinPath);
    observe(QStringLiteral("myAutoDecodeProcess"), &ViewController::doNotificationAutoDecodeProcess);
    observe(QStringLiteral("myAutoDecodeProcess3"), &ViewController::doNotificationAutoDecodeProcess3);
}

std::optional<QString> ViewController::getPathToSourcePhotos()
{
    return preferenceops::getValidatedPathToSourcePath();
}

void ViewController::reloadUrlsFromFolder(std::function<void()> done)
{
    const QString folder = pathtophotos.trimmed();
    if (folder.isEmpty()) {
        note(u"reloadUrlsFromFolder()", QStringLiteral("reloadUrlsFromFolder => initialFolderUrl is NIL..."));
        QTimer::singleShot(2000, this, [] {
            note(u"reloadUrlsFromFolder()", QStringLiteral("....initialFolderUrl is NIL...need to open prefs..."));
            NotificationCenter::defaultCenter().post(QStringLiteral("myOpenPrefId"),
                                                     {{QStringLiteral("command"), QStringLiteral("openpref")}});
        });
        if (done)
            done();
        return;
    }
    if (done)
        m_afterLoad.push_back(std::move(done));
    const quint64 generation = ++m_loadGeneration;
    const std::shared_ptr<std::atomic<quint64>> latest = m_latestLoad;
    latest->store(generation);
    ++m_loadsInFlight;
    const bool single = !fShowSections;
    const QPointer<ViewController> self(this);
    m_loadQueue->async([self, folder, single, generation, latest] {
        std::shared_ptr<ImageDirectoryLoader> loader;
        // Only the newest of the loads waiting here is worth doing.
        if (latest->load() == generation) {
            loader = std::make_shared<ImageDirectoryLoader>();
            loader->singleSectionMode = single;
            if (!loader->loadDataForFolderWithUrl(folder))
                loader.reset(); // the previous model stays
        }
        mainqueue::async([self, loader, generation] {
            if (self)
                self->applyLoad(loader, generation);
        });
    });
}

void ViewController::applyLoad(std::shared_ptr<ImageDirectoryLoader> loader, quint64 generation)
{
    --m_loadsInFlight;
    if (generation != m_loadGeneration)
        return; // a newer load is on its way
    if (loader) {
        loader->doMyInitStuff();
        m_selection->clear();
        m_model->setLoader(std::move(loader));
        ++m_reloads;
        Q_EMIT reloaded();
    }
    const std::vector<std::function<void()>> jobs = std::exchange(m_afterLoad, {});
    for (const auto &job : jobs)
        job();
}

void ViewController::refreshAllSections(std::function<void()> done)
{
    doDeselectAll();
    reloadUrlsFromFolder(std::move(done));
}

void ViewController::showHideSections(bool showSections)
{
    doDeselectAll();
    fShowSections = showSections;
    refreshAllSections();
}

void ViewController::loadDataForNewFolderWithUrl(const QString &folder)
{
    pathtophotos = folder;
    refreshAllSections();
    Q_EMIT windowTitleRequested(QFileInfo(folder).fileName());
}

void ViewController::doNotificationAlwaysUseOstrinPath(const Notification &)
{
    const std::optional<QString> source = getPathToSourcePhotos();
    if (!source)
        return;
    const QString previous = pathtophotos;
    pathtophotos = *source;
    if (pathtophotos != previous)
        refreshAllSections();
}

QStringList ViewController::sortedUrls() const
{
    return imageDirectoryLoader().fSortedUrls.value_or(QStringList());
}

// ---- size, selection

QSizeF ViewController::itemSize() const
{
    return QSizeF(cDefaultItemSize) * itemScaleFactor;
}

void ViewController::doSegmentedContrl(int segment)
{
    double scale = itemScaleFactor;
    // To the next quarter: a scale stored on the old 0.02 grain (1.06) goes
    // to 1.25 or 1.0, never past a quarter.
    const double quarters = scale / cScaleStep;
    switch (segment) {
    case 0:
        scale = std::max(cMinScaleFactor, (std::ceil(quarters - 1e-6) - 1) * cScaleStep);
        note(u"doSegmentedContrl(_:)", QStringLiteral("do REDUCE size..."));
        break;
    case 1:
        scale = 1.0;
        note(u"doSegmentedContrl(_:)", QStringLiteral("do RESET ..."));
        break;
    case 2:
        scale = std::min(cMaxScaleFactor, (std::floor(quarters + 1e-6) + 1) * cScaleStep);
        note(u"doSegmentedContrl(_:)", QStringLiteral("do INCREASE size..."));
        break;
    default:
        break;
    }
    itemScaleFactor = std::clamp(std::round(scale * 1e6) / 1e6, cMinScaleFactor, cMaxScaleFactor);
    Settings::shared().setValue(cPrefItemScaleFactor, itemScaleFactor);
    Q_EMIT itemSizeChanged(itemSize());
}

QList<IndexPath> ViewController::selectedIndexPaths() const
{
    QList<IndexPath> paths;
    for (const QModelIndex &index : m_selection->selectedIndexes()) {
        if (const std::optional<IndexPath> path = m_model->indexPathForRow(index.row()))
            paths << *path;
    }
    return paths;
}

void ViewController::selectAll()
{
    QItemSelection all;
    for (int s = 0; s < m_model->sectionCount(); ++s) {
        const int header = m_model->headerRow(s);
        const int count = imageDirectoryLoader().numberOfItemsInSection(s);
        if (count > 0)
            all.select(m_model->index(header + 1), m_model->index(header + count));
    }
    m_selection->select(all, QItemSelectionModel::ClearAndSelect);
}

void ViewController::doDeselectAll()
{
    m_selection->clearSelection();
}

void ViewController::doNotificationForSelectAll(const Notification &)
{
    const int n = imageDirectoryLoader().numberOfItems();
    const int s = int(selectedIndexPaths().size());
    if (n < 1 || s != n)
        selectAll();
    else
        doDeselectAll();
}

// ---- section action

void ViewController::doButton(int section)
{
    const QString title = m_model->data(m_model->index(m_model->headerRow(section))).toString();
    note(u"doButton(_:)", QStringLiteral("sectionid = ") + QString::number(section));
    NotificationCenter::defaultCenter().post(QStringLiteral("myCustomId0"),
                                             {{QStringLiteral("title"), title},
                                              {QStringLiteral("sectionid"), QString::asprintf("%d", section)},
                                              {QStringLiteral("command"), QStringLiteral("dosomething")}});
}

void ViewController::doNotificationForButton0(const Notification &notification)
{
    Settings &settings = Settings::shared();
    const bool wanted = preferenceops::isStandaloneApp(m_options.executableName) ? settings.boolValue(cPrefAlwaysPromptForReassignmentMode)
                                                                                 : settings.boolValue(cPrefOstrinDisableScan);
    if (wanted) {
        settings.remove(cPrefLastUserInfo);
        if (!notification.userInfo.isEmpty())
            settings.setValue(cPrefLastUserInfo, notification.userInfo);
        performSegue(cSegueReassignPrompt);
        return;
    }
    QVariantMap info = notification.userInfo;
    if (info.isEmpty())
        info = {{QStringLiteral("title"), QStringLiteral("UnknownSectionTitle")},
                {QStringLiteral("sectionid"), QStringLiteral("0")},
                {QStringLiteral("command"), QStringLiteral("dosomethingBAD")}};
    NotificationCenter::defaultCenter().post(QStringLiteral("myCustomId"), info);
}

void ViewController::showNothingSelected(const QString &sectionId)
{
    const QPointer<ViewController> self(this);
    globalqueue::async([self, sectionId] {
        mainqueue::async([self, sectionId] {
            if (self)
                self->beginSheet(sheet(AlertStyle::Warning, QStringLiteral("NOTHING SELECTED INSIDE THIS SECTION"),
                                       QStringLiteral("You did NOT select any item that is inside this current section=") + sectionId));
        });
    });
}

void ViewController::doNotificationForButton(const Notification &notification)
{
    const QVariantMap &info = notification.userInfo;
    const QString sectionId = info.value(QStringLiteral("sectionid")).toString();
    note(u"doNotificationForButton(_:)",
         QStringLiteral("command = ") + command(notification) + QStringLiteral(" sectionid = ") + sectionId + QStringLiteral(" nothing = ")
             + info.value(QStringLiteral("nothing")).toString() + QStringLiteral(" title = ")
             + info.value(QStringLiteral("title")).toString());
    QList<IndexPath> selected = selectedIndexPaths();
    if (selected.isEmpty() && (imageDirectoryLoader().singleSectionMode || m_model->sectionCount() == 1)) {
        selectAll();
        selected = selectedIndexPaths();
    }
    if (selected.isEmpty()) {
        showNothingSelected(sectionId);
        return;
    }
    bool ok = false;
    const int section = sectionId.toInt(&ok, 10);
    QStringList toChange;
    for (const IndexPath &path : selected) {
        const ImageFilePtr file = imageDirectoryLoader().imageFileForIndexPath(path);
        if (!file)
            continue;
        if (ok && path.section == section)
            toChange << file->fileurl;
        else
            note(u"doNotificationForButton(_:)",
                 QStringLiteral("Ignoring selected item #%1 in DIFFERENT section %2").arg(path.item).arg(path.section));
    }
    if (toChange.isEmpty()) {
        showNothingSelected(sectionId);
        return;
    }
    note(u"doNotificationForButton(_:)", QStringLiteral("Will performSegue withIdentifier = dummyButtonSegue1"));
    performSegue(cSegueReassign);
    NotificationCenter::defaultCenter().post(QStringLiteral("myReassignId"),
                                             {{QStringLiteral("command"), QStringLiteral("dosomething")},
                                              {QStringLiteral("urlstochange"), toChange},
                                              {QStringLiteral("fulSortedlUrlList"), sortedUrls()}});
}

// ---- drop

bool ViewController::acceptDrop(const QStringList &locations, int section)
{
    const QString op = QStringLiteral("acceptDrop");
    if (hotFolderMode()) {
        note(op, QStringLiteral(".... currently in hot folder - so cannot drop!!!!!"));
        SoundPlayer::shared().beep();
        return false;
    }
    const std::optional<QString> key = codeForSection(imageDirectoryLoader(), section);
    // The section's key comes from a file name; the rename service cleans it
    // before it names another file.
    const QString code = key ? codeForRename(*key).value_or(QString()) : QString();
    if (code.isEmpty()) {
        note(op, QStringLiteral("section %1 has no code - drop refused").arg(section));
        SoundPlayer::shared().beep();
        return false;
    }
    note(op, QStringLiteral("NEED TO RENAME these files with barcodeid[") + code + QLatin1Char(']'));
    // Only photos this browser shows are renamed: a file dragged in from
    // elsewhere is not ours to rename.
    const QStringList shown = sortedUrls();
    const QSet<QString> ours(shown.cbegin(), shown.cend());
    QStringList photos;
    for (const QString &location : locations) {
        const QString path = locationToPath(location);
        if (ours.contains(path))
            photos << path;
        else
            note(op, QStringLiteral("not a photo of the source folder, left alone: ") + location);
    }
    if (photos.isEmpty()) {
        SoundPlayer::shared().beep();
        return false;
    }
    const QPointer<ViewController> self(this);
    getWorkingQueue().async([self, photos, code, journal = RenameJournal(pathtophotos.trimmed())] {
        // One move from the current name to the coded one, as the reassign
        // dialog names it: a failure leaves the photo as it was.
        RenameJournal::Recording step = journal.record(JournalKind::Drop, QStringLiteral("Drop onto ") + code);
        const QStringList kept = renamePhotosToCode(photos, code).value_or(RenameRun()).kept();
        step.finish();
        mainqueue::async([self, kept, code] {
            if (!self)
                return;
            self->refreshAllSections();
            if (!kept.isEmpty())
                self->beginSheet(
                    sheet(AlertStyle::Warning, QStringLiteral("!!! Some Photos Kept Their Names !!!"), keptNamesText(kept, code)));
        });
    });
    return true;
}

// ---- delete

void ViewController::deleteSelected()
{
    QStringList urls;
    for (const IndexPath &path : selectedIndexPaths()) {
        if (const ImageFilePtr file = imageDirectoryLoader().imageFileForIndexPath(path)) {
            note(u"delete(_:)", QStringLiteral("url to DELETE is: ") + file->fileurl);
            urls << file->fileurl;
        }
    }
    if (urls.isEmpty()) {
        SoundPlayer::shared().beep();
        beginSheet(sheet(AlertStyle::Warning, QStringLiteral("OOPs - Nothing To Delete"),
                         QStringLiteral("You must mark one or more image(s) to be deleted.")));
        return;
    }
    const QPointer<ViewController> self(this);
    beginSheet(sheet(AlertStyle::Warning, QStringLiteral("DELETE All the Marked Photos?"),
                     QStringLiteral("There are %1 items marked").arg(urls.size()),
                     {QStringLiteral("NO - Do Nothing"), QStringLiteral("YES DELETE")}),
               [self, urls](AlertAnswer answer) {
                   if (answer != 1) {
                       note(u"delete(_:)", QStringLiteral("NO - Do Nothing"));
                       return;
                   }
                   if (self)
                       self->deleteURLS(urls);
               });
}

void ViewController::deleteURLS(const QStringList &urls)
{
    const QPointer<ViewController> self(this);
    getWorkingQueue().async([self, urls, trash = m_options.trash, journal = RenameJournal(pathtophotos.trimmed())] {
        RenameJournal::Recording step = journal.record(JournalKind::Delete, QStringLiteral("Delete"));
        QStringList kept;
        // A JPEG's RAW file goes with it; the journal brings both back.
        QStringList files;
        for (const QString &url : urls)
            files << rawCompanionsOf(url) << url;
        for (const QString &url : std::as_const(files)) {
            // A photo that cannot go to the trash stays: deleting it outright
            // would lose what cannot be shot again.
            QString trashedPath;
            if (const FileResult trashed = trash(url, &trashedPath); !trashed) {
                note(u"deleteURLS(_:indexPaths:)",
                     QStringLiteral("cannot move to the trash, kept: ") + url + QStringLiteral(": ") + trashed.error);
                kept << fileNameOf(url) + QStringLiteral(": ") + trashed.error;
            } else if (!trashedPath.isEmpty()) {
                step.add({url, trashedPath, true});
            }
        }
        step.finish();
        mainqueue::async([self, kept] {
            if (!self)
                return;
            self->refreshAllSections();
            if (!kept.isEmpty())
                self->beginSheet(
                    sheet(AlertStyle::Critical, QStringLiteral("!!! Unable to Move to Trash !!!"),
                          QStringLiteral("\nThese photos were NOT deleted:\n\n") + kept.join(QLatin1Char('\n')) + QStringLiteral("\n\n")));
        });
    });
}

// ---- revert and decode

void ViewController::askBeforeTakingHandCodes(const QString &action, std::function<void()> proceed)
{
    // The journal is read off the window's thread: after a few decodes of a
    // large shoot it is no longer small.
    const QPointer<ViewController> self(this);
    m_loadQueue->async([self, journal = engine().journal(), action, proceed = std::move(proceed)]() mutable {
        const int handCoded = journal.handCodedSinceDecode();
        mainqueue::async([self, handCoded, action, proceed = std::move(proceed)]() mutable {
            if (self)
                self->confirmTakingHandCodes(handCoded, action, std::move(proceed));
        });
    });
}

void ViewController::confirmTakingHandCodes(int handCoded, const QString &action, std::function<void()> proceed)
{
    if (handCoded == 0) {
        proceed();
        return;
    }
    note(u"askBeforeTakingHandCodes", QStringLiteral("%1 photo(s) carry codes given by hand").arg(handCoded));
    beginSheet(sheet(AlertStyle::Warning, QStringLiteral("Throw Away Codes Given by Hand?"),
                     QStringLiteral("\n%1 photo(s) were given their codes by hand (reassign or drop) since the last decode.\n\n"
                                    "%2 takes these codes away. Edit > Undo brings them back.\n")
                         .arg(handCoded)
                         .arg(action),
                     {QStringLiteral("Cancel"), action}),
               [proceed = std::move(proceed)](AlertAnswer answer) {
                   if (answer == 1)
                       proceed();
                   else
                       note(u"askBeforeTakingHandCodes", QStringLiteral("Cancel"));
               });
}

void ViewController::doRevertToOriginalAction()
{
    const QPointer<ViewController> self(this);
    askBeforeTakingHandCodes(QStringLiteral("Revert to Camera Names"), [self] {
        if (self)
            self->revertAfterHotFolderWarning();
    });
}

void ViewController::revertAfterHotFolderWarning()
{
    const QPointer<ViewController> self(this);
    auto revert = [self] {
        // The engine lists the folder when the revert's turn comes and posts
        // the refresh after it.
        if (self)
            self->engine().revert();
    };
    if (!hotFolderMode()) {
        revert();
        return;
    }
    beginSheet(
        sheet(AlertStyle::Critical, QStringLiteral("WARNING - HOT FOLDER MODE ENABLED"),
              QStringLiteral("You are currently in the Hot Folder Mode!\n\nPlease make sure you want to revert back to originals!!!\n\n"),
              {QStringLiteral("Cancel"), QStringLiteral("Revert To Originals")}),
        [revert](AlertAnswer answer) {
            if (answer == 1)
                revert();
        });
}

void ViewController::doAutoDecodeQRAction()
{
    const QPointer<ViewController> self(this);
    askBeforeTakingHandCodes(QStringLiteral("Revert and Decode Again"), [self] {
        if (self)
            self->redecodeAfterHotFolderWarning();
    });
}

void ViewController::redecodeAfterHotFolderWarning()
{
    if (!hotFolderMode()) {
        doAutoDecodeQRActionACTUAL();
        return;
    }
    const QPointer<ViewController> self(this);
    beginSheet(
        sheet(AlertStyle::Critical, QStringLiteral("WARNING - HOT FOLDER MODE ENABLED"),
              QStringLiteral(
                  "You are currently in the Hot Folder Mode!\n\nPlease make sure you want to revert to original and re-code all photos ??"
                  "?!!!\n\n"),
              {QStringLiteral("Cancel"), QStringLiteral("Revert and Re-Decode")}),
        [self](AlertAnswer answer) {
            if (answer == 1 && self)
                self->doAutoDecodeQRActionACTUAL();
        });
}

void ViewController::doAutoDecodeQRActionACTUAL()
{
    if (!Settings::shared().boolValue(cPrefCanSupportVisionFramework)) {
        note(u"doAutoDecodeQRActionACTUAL()", QStringLiteral(".... Vision.framework NOT Supported..."));
        return;
    }
    // After whatever the engines are doing: the photos decoded are those in
    // the folder when its turn comes, not those shown now.
    engine().revertAndDecode();
}

void ViewController::doNotificationAutoDecodeProcess(const Notification &)
{
    doAutoDecodeQRAction();
}

void ViewController::doAutoDecodeQRAction3()
{
    engine().carryCodes();
}

void ViewController::doNotificationAutoDecodeProcess3(const Notification &notification)
{
    // The list it carries is what its poster saw; the engine lists afresh.
    if (!notification.userInfo.value(QStringLiteral("fulSortedlUrlList")).isValid())
        return;
    engine().carryCodes();
}

// ---- undo

void ViewController::undo()
{
    engine().undo();
}

void ViewController::redo()
{
    engine().redo();
}

void ViewController::showUndoResult(const ShootResult &result)
{
    if (result.operation != ShootOperation::Undo && result.operation != ShootOperation::Redo)
        return;
    if (QDir::cleanPath(result.folder) != QDir::cleanPath(QFileInfo(pathtophotos.trimmed()).absoluteFilePath()))
        return;
    const bool undo = result.operation == ShootOperation::Undo;
    if (result.outcome == ShootResult::Outcome::NotRun) {
        note(undo ? u"undo" : u"redo", result.reason);
        SoundPlayer::shared().beep();
        return;
    }
    if (result.problems.isEmpty())
        return;
    beginSheet(sheet(AlertStyle::Warning,
                     undo ? QStringLiteral("!!! Some Photos Could Not Be Restored !!!")
                          : QStringLiteral("!!! Some Photos Could Not Be Redone !!!"),
                     QStringLiteral("\n%1 %2: %3 photo(s) were left as they were, nothing was replaced:\n\n")
                             .arg(undo ? QStringLiteral("Undo") : QStringLiteral("Redo"), result.undoLabel)
                             .arg(result.problems.size())
                         + result.problems.join(QLatin1Char('\n')) + QStringLiteral("\n")));
}

// ---- refresh and delivery

void ViewController::doNotificationRefresh(const Notification &notification)
{
    const bool deliver
        = notification.userInfo.value(QStringLiteral("autocopytomainfolder")).toString().compare(QLatin1String("yes"), Qt::CaseInsensitive)
        == 0;
    // Only a refresh that asks for it goes to the end: after a reassign, a
    // decode or an undo the photographer stays with the section in hand.
    const bool toBottom
        = notification.userInfo.value(QStringLiteral("scrollto")).toString().compare(QLatin1String("bottom"), Qt::CaseInsensitive) == 0;
    // The scroll waits for the new model rather than for a fixed time.
    refreshAllSections([this, deliver, toBottom] {
        QTimer::singleShot(200, this, [this, deliver, toBottom] {
            if (toBottom)
                scrollToBottom();
            if (deliver)
                QTimer::singleShot(1000, this, [this] { finishProcessAction(); });
        });
    });
}

void ViewController::scrollToBottom()
{
    const int sections = m_model->sectionCount();
    if (sections == 1) {
        note(u"scrollToBottom(_:)", QStringLiteral("scrollToBottom(_:) => only one section - so nothing to scroll..."));
        return;
    }
    const int last = sections - 1;
    const int item = imageDirectoryLoader().numberOfItemsInSection(last) - 1;
    if (last < 1 || item < 0) {
        note(u"scrollToBottom(_:)", QStringLiteral(" => negative value not allowed - lastsection = %1 item = %2").arg(last).arg(item));
        return;
    }
    Q_EMIT scrollRequested(m_model->indexForPath({last, item}));
}

void ViewController::finishProcessAction()
{
    const std::optional<QString> dest = formPathToImageInsideMainImagesFolder(QString());
    const QString src = pathtophotos;
    // Delivery makes today's sub-folder itself; what must exist is the main
    // folder it goes into.
    const std::optional<QString> mainFolder = Settings::shared().optionalString(cPrefDestinationPath);
    const bool mainExists = mainFolder && !mainFolder->isEmpty() && QFileInfo(userfolders::expandTilde(*mainFolder)).isDir();
    if (dest && !src.isEmpty() && mainExists) {
        note(u"finishProcessAction(_:)", QStringLiteral("srcpath = ") + src + QStringLiteral(" destpath = ") + *dest);
        engine().deliver(*dest);
        return;
    }
    const QString text = QStringLiteral("\nOne or more folder is missing or not set?\nPlease Check These Folders:\n\nsrcPath = ")
        + (src.isEmpty() ? QStringLiteral("nil") : src) + QStringLiteral("\n\ndestPath = ") + dest.value_or(QStringLiteral("nil"))
        + QStringLiteral("\n\n\n");
    beginSheet(sheet(AlertStyle::Critical, QStringLiteral("OOPS - Missing Folders?"), text,
                     {QStringLiteral("OK"), QStringLiteral("Open Prefs...")}),
               [](AlertAnswer answer) {
                   if (answer == 1)
                       NotificationCenter::defaultCenter().post(QStringLiteral("myOpenPrefId"),
                                                                {{QStringLiteral("command"), QStringLiteral("openpref")}});
               });
}

// ---- folder paths

std::optional<QString> ViewController::getDailyFolderName(const std::optional<QString> &dateFormatKey)
{
    return preferenceops::getDailyFolderNameC(dateFormatKey.value_or(QString(cPrefDailyFolderDateFormat)));
}

std::optional<QString> ViewController::getDuplicateFolderPath(const std::optional<QString> &folderKey,
                                                              const std::optional<QString> &dateFormatKey)
{
    if (!folderKey) {
        note(u"getDuplicateFolderPath(_:withDateFormat:)", QStringLiteral("....destFolderPath is NIL?????"));
        return std::nullopt;
    }
    return preferenceops::getDuplicateFolderPathC(*folderKey, dateFormatKey.value_or(QString(cPrefDailyFolderDateFormat)));
}

std::optional<QString> ViewController::formPathToImageInsideMainImagesFolder(const QString &name)
{
    const std::optional<QString> folder = getDuplicateFolderPath(QString(cPrefDestinationPath), QString(cPrefDailyFolderDateFormat));
    if (!folder) {
        note(u"formPathToImageInsideMainImagesFolder(_:)", QStringLiteral("....oops...desired folder path is NIL!!!!"));
        return std::nullopt;
    }
    const QString result = name.isEmpty() ? *folder : QDir::cleanPath(*folder + QLatin1Char('/') + name);
    note(u"formPathToImageInsideMainImagesFolder(_:)", QStringLiteral("result = ") + result);
    return result;
}

std::optional<QString> ViewController::getDestinationPathForUnknown()
{
    const QString op = QStringLiteral("getDestinationPathForUnknown()");
    Settings &settings = Settings::shared();
    if (!settings.boolValue(cPrefDoUnassignedProcess)) {
        note(op, QStringLiteral(".... NOT allowing prefDoUnassignedProcess"));
        return std::nullopt;
    }
    const std::optional<QString> destination = settings.optionalString(cPrefDestinationPath);
    if (!destination || destination->trimmed().isEmpty())
        return std::nullopt; // nothing to form it under, so nothing is made
    QStringList levels{QDir::cleanPath(userfolders::expandTilde(*destination) + QLatin1Char('/') + cStringForUNASSIGNED_PHOTOS)};
    if (const std::optional<QString> daily = getDailyFolderName(); daily && !daily->isEmpty())
        levels << preferenceops::dailyFolderPath(levels.first(), *daily);
    const QString path = levels.last();
    note(op, QStringLiteral("destFolderPath = ") + path);
    // One level at a time: a main folder whose drive is not mounted is never
    // made on the disk beneath.
    for (const QString &level : std::as_const(levels)) {
        if (const FileResult made = fileops::makeOneFolder(level); !made) {
            note(op, QStringLiteral("....Found Error = ") + made.error);
            return path;
        }
    }
    note(op, QStringLiteral("createDirectoryAtURL = ") + QUrl::fromLocalFile(path).toString());
    return path;
}

QString ViewController::formWindowTitle(const std::optional<QString> &path)
{
    const QString base = path && !path->isEmpty() ? *path : QStringLiteral("<UnknownSourceFolderPath>");
    const QString title = base + QStringLiteral(" - ") + QStringLiteral(SORRELBY_BUNDLE_NAME);
    Settings::shared().setValue(cPrefWindowTitle, title);
    note(u"formWindowTitle(forPath:)", QStringLiteral("will return: ") + title);
    return title;
}

} // namespace sorrelby
