#pragma once
// The content of the main window: the bar of actions (sections switch, size
// control, refresh, deselect, delete, revert, decode, deliver, the blinking
// hot folder label), the photo grid and the large preview. A thin layer over
// the ViewController, which it owns with the two thumbnail services; it
// turns clicks, keys and drops into the controller's actions and shows what
// the controller asks for. An empty folder shows a short guide instead of
// the grid, and the photo actions wait for photos. GUI thread.

#include "browser/ViewController.h"

#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QToolButton;

namespace sorrelby {

class PhotoPreview;
class SectionGridView;
class ThumbnailService;

class BrowserView : public QWidget {
    Q_OBJECT
public:
    explicit BrowserView(ViewControllerOptions options, QWidget *parent = nullptr);
    ~BrowserView() override;

    ViewController *controller() const { return m_controller; }
    SectionGridView *grid() const { return m_grid; }
    PhotoPreview *preview() const { return m_preview; }
    QLabel *hotFolderLabel() const { return ibHotFolderTextfield; }
    // "N files not shown - why" under the bar; hidden when every file shows.
    QLabel *notShownLabel() const { return m_notShownLabel; }
    // Opens a photo in the desktop's viewer and calls done(false) when none
    // took it, maybe later (tests replace it).
    using PhotoOpener = std::function<void(const QString &path, std::function<void(bool opened)> done)>;
    void setPhotoOpener(PhotoOpener opener) { m_openPhoto = std::move(opener); }
    ThumbnailService *thumbnailService() const { return m_small.get(); }
    // Asked before the deliver action delivers (the class list's question);
    // it calls proceed to go on. The automatic delivery of hot folder mode
    // never comes here.
    void setDeliveryGate(std::function<void(std::function<void()> proceed)> gate) { m_deliveryGate = std::move(gate); }

    // Start-up: the controller's initializeView 0.2 s from now.
    void start();

    // The actions of the bar, for the window's menus.
    QList<QAction *> photoActions() const { return m_actions; }
    QAction *action(const QString &objectName) const;
    // Edit > Undo and Redo (not in the bar).
    QAction *undoAction() const { return m_undo; }
    QAction *redoAction() const { return m_redo; }

    // Opens the selected (or current) photo large.
    void showPreview();

Q_SIGNALS:
    void segueRequested(const QString &identifier);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QAction *addAction(const QString &name, const QString &text, const QKeySequence &shortcut, void (BrowserView::*slot)());
    void buildBar();
    // What an empty folder shows instead of the grid: where the folders are
    // and how photos come in.
    void buildPlaceholder();
    void updateEmptyState();
    void updateHotFolderLabel();
    void updateNotShownLabel();
    void showNotShownFiles();
    void stepPreview(int step);
    void openPhoto(const QModelIndex &index);
    void sayNoProgramOpened(const QString &path);
    void doRefresh();
    void doDeselect();
    void doDelete();
    void doRevert();
    void doRedecode();
    void doDecode();
    void doDeliver();
    void doSmaller();
    void doResetSize();
    void doLarger();
    void doToggleSections();
    void doReassign();

    std::unique_ptr<ThumbnailService> m_small;
    std::unique_ptr<ThumbnailService> m_sharp;
    ViewController *m_controller = nullptr;
    SectionGridView *m_grid = nullptr;
    PhotoPreview *m_preview = nullptr;
    QWidget *m_placeholder = nullptr;
    QLabel *m_placeholderText = nullptr;
    QLabel *ibHotFolderTextfield = nullptr;
    QLabel *m_notShownLabel = nullptr;
    PhotoOpener m_openPhoto;
    std::function<void(std::function<void()> proceed)> m_deliveryGate;
    QToolButton *ibShowHideButton = nullptr;
    QList<QAction *> m_actions;
    QAction *m_undo = nullptr;
    QAction *m_redo = nullptr;
    quint64 m_hotFolderObserver = 0;
};

} // namespace sorrelby
