#pragma once
// The main window: the browser (the shoot grouped by code) with the menus.
// It also plays the window controller's part: the frame is kept in the
// settings and restored at the next start, and the background turns red
// while hot folder mode is on. Dialogs are opened by segues; those whose
// dialogs have not landed yet only log. Menu commands and the folders
// dropped outside the grid go to the application object, which connects to
// the actions and to filesDropped. GUI thread.

#include <QMainWindow>
#include <QTimer>

#include <memory>

class QAction;

namespace sorrelby {

class BrowserView;
class HotFolderDelivery;
class SerialQueue;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // The browser's work queue (the hot folder chain's) when none is given.
    explicit MainWindow(QWidget *parent = nullptr, SerialQueue *workQueue = nullptr);
    ~MainWindow() override;

    QAction *loadNewCardAction() const { return m_loadNewCard; }
    QAction *preferencesAction() const { return m_preferences; }
    QAction *selectAllAction() const { return m_selectAll; }
    QAction *quitAction() const { return m_quit; }
    BrowserView *browser() const { return m_browser; }

    // Loads the source folder 0.2 s from now.
    void startBrowser();

    // Red while cPrefEnableHotFolderMode is on, light grey otherwise.
    void myChangeColor();
    QColor backgroundColor() const;
    // Shows another folder in the browser (not the source folder setting).
    void openAnotherFolder();
    void performSegue(const QString &identifier);

Q_SIGNALS:
    // Local files or folders dropped on the window.
    void filesDropped(const QStringList &paths);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void saveFrame();

    QAction *m_loadNewCard = nullptr;
    QAction *m_preferences = nullptr;
    QAction *m_selectAll = nullptr;
    QAction *m_quit = nullptr;
    BrowserView *m_browser = nullptr;
    QTimer m_saveFrame;
    quint64 m_hotFolderObserver = 0;
    SerialQueue *m_workQueue = nullptr;
    // Delivers after each hot folder refresh, in the progress dialog.
    std::unique_ptr<HotFolderDelivery> m_hotFolderDelivery;
};

} // namespace sorrelby
