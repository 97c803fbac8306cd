#pragma once
// The main window: the browser (the shoot grouped by code) with the menus.
// It also plays the window controller's part: the frame is kept in the
// settings and restored at the next start, and the background turns red
// while hot folder mode is on. Dialogs are opened by segues; those whose
// dialogs have not landed yet only log. The progress dialog comes up by
// itself when a shoot engine begins a decode, a delivery or a hot folder
// batch, and a card copied in the card window is decoded by its folder's
// engine. The class list of the folder shown is checked at every reload and
// shown in the roster panel and the section headers. Menu commands and the folders dropped outside the grid go to the
// application object, which connects to the actions and to filesDropped.
// GUI thread.

#include <QMainWindow>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QMenu;

namespace sorrelby {

class BrowserView;
class CopyToMainFolderController;
class DeliveryReporter;
class RosterController;
class RosterPanel;
class SerialQueue;
class ShootEngines;
class VolumeMonitor;

// What a file chooser is asked for.
struct FileChoice {
    QString title;
    QStringList nameFilters;
    QString directory;
    QString defaultName; // save choosers
    bool save = false;
};
// Answers the file chosen, or none when cancelled (tests answer at once).
using FileChooser = std::function<void(QWidget *parent, const FileChoice &choice, std::function<void(std::optional<QString>)> done)>;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Without a work queue, the shared one and the engines of the process
    // (those of the hot folder chain); with one, engines of its own on it.
    explicit MainWindow(QWidget *parent = nullptr, SerialQueue *workQueue = nullptr);
    ~MainWindow() override;

    QAction *loadNewCardAction() const { return m_loadNewCard; }
    QAction *preferencesAction() const { return m_preferences; }
    QAction *selectAllAction() const { return m_selectAll; }
    QAction *quitAction() const { return m_quit; }
    QAction *openRosterAction() const { return m_openRoster; }
    QAction *exportReportAction() const { return m_exportReport; }
    RosterController &roster() const { return *m_roster; }
    RosterPanel *rosterPanel() const { return m_rosterPanel; }
    void setFileChooser(FileChooser chooser) { m_chooser = std::move(chooser); }
    BrowserView *browser() const { return m_browser; }
    ShootEngines &engines() const { return *m_engines; }
    CopyToMainFolderController &progress() const { return *m_progress; }

    // Loads the source folder 0.2 s from now.
    void startBrowser();

    // Red while cPrefEnableHotFolderMode is on, light grey otherwise.
    void myChangeColor();
    QColor backgroundColor() const;
    // Shows another folder in the browser (not the source folder setting).
    void openAnotherFolder();
    void performSegue(const QString &identifier);
    // The volumes the card window watches (the mount table when none).
    void setVolumeMonitor(VolumeMonitor *monitor) { m_volumeMonitor = monitor; }

Q_SIGNALS:
    // Local files or folders dropped on the window.
    void filesDropped(const QStringList &paths);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void saveFrame();
    void buildRoster(QMenu *file, QAction *before, QMenu *view);
    void doOpenRoster();
    void doExportReport();
    void askBeforeDelivery(std::function<void()> proceed);
    // Gives the grid the keyboard back when the dialog goes.
    void returnFocusAfter(QWidget *dialog);

    QAction *m_loadNewCard = nullptr;
    QAction *m_preferences = nullptr;
    QAction *m_selectAll = nullptr;
    QAction *m_quit = nullptr;
    QAction *m_openRoster = nullptr;
    QAction *m_exportReport = nullptr;
    RosterController *m_roster = nullptr;
    RosterPanel *m_rosterPanel = nullptr;
    DeliveryReporter *m_reporter = nullptr;
    FileChooser m_chooser;
    QString m_rosterShown; // the roster the panel last came up for
    BrowserView *m_browser = nullptr;
    QTimer m_saveFrame;
    quint64 m_hotFolderObserver = 0;
    SerialQueue *m_workQueue = nullptr;
    VolumeMonitor *m_volumeMonitor = nullptr;
    std::unique_ptr<ShootEngines> m_ownEngines;
    ShootEngines *m_engines = nullptr;
    CopyToMainFolderController *m_progress = nullptr;
};

} // namespace sorrelby
