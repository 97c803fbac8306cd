#pragma once
// The browser's controller: the photos of the source folder grouped by code,
// and every action the user takes on them (select, drop onto another
// section, delete, revert, decode, deliver, resize, one list or sections).
// It is also the hub the other controllers talk to through nine
// notifications, and it opens their dialogs through segues.
//
// Window-free: it owns the section model, the flat item model the grid
// shows and the selection; the window connects the grid to them and turns
// the signals below into scrolling, titles and dialogs. Lives on the GUI
// thread; listing the folder runs on a loading queue of its own. Revert,
// decode and delivery are asked of the shoot engine of the folder shown,
// which lists the folder itself when their turn comes; drops and deletions
// run on the work queue.

#include "browser/SectionItemModel.h"
#include "platform/AlertPresenter.h"
#include "platform/FileOps.h"
#include "platform/NotificationCenter.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QItemSelectionModel;

namespace sorrelby {

class SerialQueue;
class ShootEngine;
class ShootEngines;
struct ShootResult;

// Segue identifiers: what each opens.
inline constexpr QLatin1StringView cSegueReassign{"dummyButtonSegue1"};
inline constexpr QLatin1StringView cSeguePreferences{"dummyButtonSegue2"};
inline constexpr QLatin1StringView cSegueLoadCard{"dummyButtonSegue3"};
inline constexpr QLatin1StringView cSegueReassignPrompt{"dummyButtonSegue4"};
inline constexpr QLatin1StringView cSegueProgress{"dummyButtonSegue6"};

// One press of the size control: a quarter, nine presses from the smallest
// to the largest cells. Stored scales are kept as they are (older ones on a
// 0.02 grain).
inline constexpr double cScaleStep = 0.25;

struct ViewControllerOptions {
    // The work queue (drops, deletions). Required.
    SerialQueue *workQueue = nullptr;
    // The engines of the folders shown; engines of its own on workQueue when
    // null.
    ShootEngines *engines = nullptr;
    // The executable's name, which tells a stand-alone installation.
    QString executableName = QStringLiteral(SORRELBY_EXECUTABLE);
    // Moves a deleted photo to the trash (tests make it fail); says where it went.
    std::function<FileResult(const QString &path, QString *trashedPath)> trash
        = [](const QString &path, QString *trashedPath) { return fileops::moveToTrash(path, trashedPath); };
};

class ViewController : public QObject {
    Q_OBJECT
public:
    using Options = ViewControllerOptions;

    explicit ViewController(Options options, QObject *parent = nullptr);
    ~ViewController() override;

    // State, as the rest of the program knows it.
    QString pathtophotos = QStringLiteral("/Library/Desktop Pictures");
    double itemScaleFactor = 1.0;
    // The one-list / per-code switch: on = one section per code.
    bool fShowSections = true;

    SectionItemModel *model() const { return m_model; }
    QItemSelectionModel *selectionModel() const { return m_selection; }
    const ImageDirectoryLoader &imageDirectoryLoader() const { return m_model->loader(); }
    SerialQueue &getWorkingQueue() const { return *m_options.workQueue; }
    // The engine of the folder shown.
    ShootEngine &engine() const;
    // The window sheets are attached to (none in tests).
    void setSheetWindow(QObject *window) { m_sheetWindow = window; }

    // Start-up: source folder, first load, the nine observers.
    void initializeView();
    // The nine observers (once).
    void registerObservers();
    // Loads pathtophotos in the background; done() runs on this thread once
    // the new model is in place (not when the folder could not be listed).
    void reloadUrlsFromFolder(std::function<void()> done = {});
    void loadDataForNewFolderWithUrl(const QString &folder);
    // Number of loads applied so far.
    int reloadCount() const { return m_reloads; }
    bool isLoading() const { return m_loadsInFlight > 0; }

    // User actions.
    void doSegmentedContrl(int segment); // 0 smaller, 1 reset, 2 larger
    void showHideSections(bool showSections);
    void refreshAllSections(std::function<void()> done = {});
    void doDeselectAll();
    void deleteSelected();
    void doRevertToOriginalAction();
    void doAutoDecodeQRAction();
    void doAutoDecodeQRAction3();
    void doDontTouchAction() { doAutoDecodeQRAction3(); }
    void finishProcessAction();
    // Edit > Undo / Redo: the last step of the folder's journal, through its
    // engine; what could not be restored is shown once it has run.
    void undo();
    void redo();
    // A drop of photos (file URLs or paths) onto a section; false when
    // refused.
    bool acceptDrop(const QStringList &locations, int section);
    // The header button of a section.
    void doButton(int section);

    // Notification handlers.
    void doNotificationForButton0(const Notification &notification);
    void doNotificationForButton(const Notification &notification);
    void doNotificationRefresh(const Notification &notification);
    void doNotificationForSelectAll(const Notification &notification = {});
    void doNotificationAlwaysUseOstrinPath(const Notification &notification = {});
    void doNotificationAutoDecodeProcess(const Notification &notification = {});
    void doNotificationAutoDecodeProcess3(const Notification &notification);

    // Helpers of the actions.
    QList<IndexPath> selectedIndexPaths() const;
    void selectAll();
    void deleteURLS(const QStringList &urls);
    void doAutoDecodeQRActionACTUAL();
    // The photo at the end of the last section, when there is one to scroll
    // to (scrollRequested is emitted with it).
    void scrollToBottom();
    QSizeF itemSize() const;

    // Folder paths (settings keys as arguments).
    static std::optional<QString> getDailyFolderName(const std::optional<QString> &dateFormatKey = std::nullopt);
    static std::optional<QString> getDuplicateFolderPath(const std::optional<QString> &folderKey,
                                                         const std::optional<QString> &dateFormatKey);
    static std::optional<QString> formPathToImageInsideMainImagesFolder(const QString &name);
    static std::optional<QString> getDestinationPathForUnknown();
    static QString formWindowTitle(const std::optional<QString> &path);
    static std::optional<QString> getPathToSourcePhotos();

    static bool hotFolderMode();

Q_SIGNALS:
    // The window opens the dialog of the identifier (or logs that it has
    // none yet). Emitted synchronously, so a dialog may register its
    // observers before the notification that follows.
    void segueRequested(const QString &identifier);
    void scrollRequested(const QModelIndex &index);
    void itemSizeChanged(const QSizeF &size);
    void windowTitleRequested(const QString &title);
    void reloaded();

private:
    void performSegue(QLatin1StringView identifier);
    // Asks first when photos carry codes given by hand since the last decode.
    void askBeforeTakingHandCodes(const QString &action, std::function<void()> proceed);
    void confirmTakingHandCodes(int handCoded, const QString &action, std::function<void()> proceed);
    void revertAfterHotFolderWarning();
    void redecodeAfterHotFolderWarning();
    void showUndoResult(const sorrelby::ShootResult &result);
    void beginSheet(const Alert &alert, std::function<void(AlertAnswer)> done = {});
    void showNothingSelected(const QString &sectionId);
    void observe(const QString &name, void (ViewController::*handler)(const Notification &));
    void applyLoad(std::shared_ptr<ImageDirectoryLoader> loader, quint64 generation);
    QStringList sortedUrls() const;

    Options m_options;
    SectionItemModel *m_model = nullptr;
    QItemSelectionModel *m_selection = nullptr;
    QPointer<QObject> m_sheetWindow;
    std::unique_ptr<SerialQueue> m_loadQueue;
    std::unique_ptr<ShootEngines> m_ownEngines;
    std::vector<ObserverRegistration> m_observers;
    quint64 m_loadGeneration = 0;
    std::shared_ptr<std::atomic<quint64>> m_latestLoad = std::make_shared<std::atomic<quint64>>(0);
    std::vector<std::function<void()>> m_afterLoad;
    int m_loadsInFlight = 0;
    int m_reloads = 0;
};

} // namespace sorrelby
