#include "browser/widgets/BrowserView.h"

#include "browser/PhotoOpener.h"
#include "browser/ThumbnailService.h"
#include "browser/Thumbnails.h"
#include "browser/widgets/Animations.h"
#include "browser/widgets/PhotoPreview.h"
#include "browser/widgets/SectionGridView.h"
#include "platform/AlertPresenter.h"
#include "platform/Dispatch.h"
#include "platform/FolderScan.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QAction>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace sorrelby {

namespace {

// Large enough for a cell at scale 3.0.
constexpr int cSharpSide = 640;

} // namespace

BrowserView::BrowserView(ViewControllerOptions options, QWidget *parent)
    : QWidget(parent)
    , m_small(std::make_unique<ThumbnailService>())
    , m_sharp(
          std::make_unique<ThumbnailService>(0, 96LL * 1024 * 1024, [](const QString &path) { return makeThumbnail(path, cSharpSide); }))
    , m_controller(new ViewController(std::move(options), this))
    , m_openPhoto([](const QString &path, std::function<void(bool)> done) { openWithDesktopViewer(path, std::move(done)); })
{
    setObjectName(QStringLiteral("browserView"));
    m_controller->model()->setThumbnailServices(m_small.get(), m_sharp.get());

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    buildBar();
    // Files the grid does not show are counted here, never dropped in silence.
    m_notShownLabel = new QLabel(this);
    m_notShownLabel->setObjectName(QStringLiteral("notShownLabel"));
    m_notShownLabel->setTextFormat(Qt::RichText);
    m_notShownLabel->setContentsMargins(8, 0, 8, 0);
    m_notShownLabel->hide();
    connect(m_notShownLabel, &QLabel::linkActivated, this, &BrowserView::showNotShownFiles);
    layout->addWidget(m_notShownLabel);
    m_grid = new SectionGridView(this);
    m_grid->setSectionModel(m_controller->model());
    m_grid->setSelectionModel(m_controller->selectionModel());
    layout->addWidget(m_grid, 1);
    buildPlaceholder();
    layout->addWidget(m_placeholder, 1);
    m_preview = new PhotoPreview(this);

    ViewController *c = m_controller;
    connect(c, &ViewController::itemSizeChanged, this, [this](const QSizeF &size) {
        m_grid->setItemSize(size);
        m_grid->setScale(m_controller->itemScaleFactor);
    });
    connect(c, &ViewController::scrollRequested, this,
            [this](const QModelIndex &index) { m_grid->scrollTo(index, QAbstractItemView::PositionAtBottom); });
    connect(c, &ViewController::segueRequested, this, &BrowserView::segueRequested);
    connect(c, &ViewController::windowTitleRequested, this, [this](const QString &title) { window()->setWindowTitle(title); });
    connect(c, &ViewController::reloaded, this, &BrowserView::updateEmptyState);
    connect(c, &ViewController::reloaded, this, [this] {
        updateNotShownLabel();
        const QString title = ViewController::formWindowTitle(m_controller->pathtophotos);
        if (window()->windowTitle() != title)
            window()->setWindowTitle(title);
    });
    connect(m_grid, &SectionGridView::headerButtonClicked, c, &ViewController::doButton);
    connect(m_grid, &SectionGridView::photosDropped, c, &ViewController::acceptDrop);
    connect(m_grid, &SectionGridView::deleteRequested, c, &ViewController::deleteSelected);
    connect(m_grid, &SectionGridView::previewRequested, this, &BrowserView::showPreview);
    connect(m_grid, &SectionGridView::zoomRequested, c, [c](int step) { c->doSegmentedContrl(step > 0 ? 2 : 0); });
    connect(m_grid, &QAbstractItemView::doubleClicked, this, &BrowserView::openPhoto);
    connect(m_preview, &PhotoPreview::stepRequested, this, &BrowserView::stepPreview);
    connect(m_preview, &PhotoPreview::closed, m_grid, [this] { m_grid->setFocus(); });

    const QPointer<BrowserView> self(this);
    m_hotFolderObserver = Settings::shared().observe(cPrefEnableHotFolderMode, [self](const QVariant &, const QVariant &) {
        mainqueue::async([self] {
            if (self) {
                self->updateHotFolderLabel();
                self->updateEmptyState();
            }
        });
    });
    updateHotFolderLabel();
    updateEmptyState();
}

BrowserView::~BrowserView()
{
    Settings::shared().removeObserver(m_hotFolderObserver);
}

QAction *BrowserView::addAction(const QString &name, const QString &text, const QKeySequence &shortcut, void (BrowserView::*slot)())
{
    auto *action = new QAction(text, this);
    action->setObjectName(name);
    if (!shortcut.isEmpty()) {
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
    }
    connect(action, &QAction::triggered, this, slot);
    QWidget::addAction(action);
    m_actions << action;
    return action;
}

QAction *BrowserView::action(const QString &objectName) const
{
    for (QAction *action : m_actions) {
        if (action->objectName() == objectName)
            return action;
    }
    return nullptr;
}

void BrowserView::buildBar()
{
    // A tool bar folds what does not fit into its extension menu, so a
    // narrow window keeps every action.
    auto *bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("browserBar"));
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    bar->setContentsMargins(4, 2, 4, 0);
    auto button = [&](QAction *action) {
        bar->addAction(action);
        QWidget *tool = bar->widgetForAction(action);
        tool->setObjectName(action->objectName() + QStringLiteral("Button"));
        return tool;
    };
    auto gap = [&] {
        auto *space = new QWidget(bar);
        space->setFixedWidth(10);
        bar->addWidget(space);
    };

    QAction *sections
        = addAction(QStringLiteral("showHideSections"), tr("Sections"), QKeySequence(Qt::CTRL | Qt::Key_G), &BrowserView::doToggleSections);
    sections->setCheckable(true);
    sections->setChecked(true);
    sections->setToolTip(tr("One section per code, or one list"));
    ibShowHideButton = qobject_cast<QToolButton *>(button(sections));
    ibShowHideButton->setObjectName(QStringLiteral("ibShowHideButton"));
    gap();
    // The size control: smaller, actual size, larger.
    button(addAction(QStringLiteral("smaller"), QStringLiteral("\u2212"), QKeySequence::ZoomOut, &BrowserView::doSmaller))
        ->setToolTip(tr("Smaller"));
    button(addAction(QStringLiteral("resetSize"), QStringLiteral("1:1"), QKeySequence(Qt::CTRL | Qt::Key_0), &BrowserView::doResetSize))
        ->setToolTip(tr("Actual size"));
    QAction *larger = addAction(QStringLiteral("larger"), QStringLiteral("+"), QKeySequence::ZoomIn, &BrowserView::doLarger);
    // Ctrl+= too: on most keyboards "+" needs Shift.
    larger->setShortcuts({QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    button(larger)->setToolTip(tr("Larger"));
    gap();
    button(addAction(QStringLiteral("refresh"), tr("Refresh"), QKeySequence::Refresh, &BrowserView::doRefresh));
    button(addAction(QStringLiteral("deselectAll"), tr("Deselect All"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A),
                     &BrowserView::doDeselect));
    // The grid handles the Delete key itself; this is the menu's way in.
    button(addAction(QStringLiteral("delete"), tr("Delete..."), QKeySequence(), &BrowserView::doDelete));
    // The header buttons' action for the section of the selection, from the keyboard.
    addAction(QStringLiteral("reassign"), tr("Reassign Selected Photos..."), QKeySequence(Qt::CTRL | Qt::Key_E), &BrowserView::doReassign);
    gap();
    button(addAction(QStringLiteral("revert"), tr("Revert to Camera Names"), QKeySequence(), &BrowserView::doRevert));
    button(addAction(QStringLiteral("redecode"), tr("Revert and Decode Again"), QKeySequence(), &BrowserView::doRedecode));
    button(addAction(QStringLiteral("decode"), tr("Decode"), QKeySequence(Qt::CTRL | Qt::Key_D), &BrowserView::doDecode));
    // The mode's label and the finishing action stand beside the bar, never
    // folded into its extension menu however narrow the window.
    ibHotFolderTextfield = new QLabel(tr("HOT FOLDER MODE"), this);
    ibHotFolderTextfield->setObjectName(QStringLiteral("hotfoldermodetextfield"));
    ibHotFolderTextfield->setStyleSheet(
        QStringLiteral("QLabel { color: white; background: #b00000; font-weight: bold; padding: 3px 8px; border-radius: 4px; }"));
    auto *finish = new QToolBar(this);
    finish->setObjectName(QStringLiteral("finishBar"));
    finish->setToolButtonStyle(Qt::ToolButtonTextOnly);
    finish->setContentsMargins(4, 2, 4, 0);
    QAction *deliver = addAction(QStringLiteral("deliver"), tr("Finish: Deliver to Main Folder"), QKeySequence(Qt::CTRL | Qt::Key_Return),
                                 &BrowserView::doDeliver);
    finish->addAction(deliver);
    QWidget *deliverButton = finish->widgetForAction(deliver);
    deliverButton->setObjectName(QStringLiteral("deliverButton"));
    deliverButton->setStyleSheet(QStringLiteral("QToolButton { font-weight: bold; }"));
    finish->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    ibHotFolderTextfield->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    row->addWidget(bar, 1);
    row->addWidget(ibHotFolderTextfield, 0, Qt::AlignVCenter);
    row->addWidget(finish);
    static_cast<QVBoxLayout *>(layout())->addLayout(row);

    m_undo = new QAction(tr("Undo"), this);
    m_undo->setObjectName(QStringLiteral("undo"));
    m_undo->setShortcut(QKeySequence::Undo);
    connect(m_undo, &QAction::triggered, m_controller, &ViewController::undo);
    m_redo = new QAction(tr("Redo"), this);
    m_redo->setObjectName(QStringLiteral("redo"));
    QList<QKeySequence> redoKeys{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)};
    for (const QKeySequence &keys : QKeySequence::keyBindings(QKeySequence::Redo)) {
        if (!redoKeys.contains(keys))
            redoKeys << keys; // a key twice would be ambiguous
    }
    m_redo->setShortcuts(redoKeys);
    connect(m_redo, &QAction::triggered, m_controller, &ViewController::redo);
    for (QAction *edit : {m_undo, m_redo}) {
        edit->setShortcutContext(Qt::WindowShortcut);
        QWidget::addAction(edit);
    }
}

void BrowserView::buildPlaceholder()
{
    m_placeholder = new QWidget(this);
    m_placeholder->setObjectName(QStringLiteral("emptyFolderPlaceholder"));
    m_placeholder->setAutoFillBackground(true);
    QPalette dark = m_placeholder->palette();
    dark.setColor(QPalette::Window, Qt::black);
    dark.setColor(QPalette::WindowText, QColor(0xdd, 0xdd, 0xdd));
    m_placeholder->setPalette(dark);
    m_placeholderText = new QLabel(m_placeholder);
    m_placeholderText->setObjectName(QStringLiteral("emptyFolderText"));
    m_placeholderText->setTextFormat(Qt::RichText);
    m_placeholderText->setAlignment(Qt::AlignCenter);
    m_placeholderText->setWordWrap(true);
    auto *loadCard = new QPushButton(tr("Load New Card..."), m_placeholder);
    loadCard->setObjectName(QStringLiteral("placeholderLoadCard"));
    connect(loadCard, &QPushButton::clicked, this, [this] { Q_EMIT segueRequested(QString(cSegueLoadCard)); });
    auto *preferences = new QPushButton(tr("Preferences..."), m_placeholder);
    preferences->setObjectName(QStringLiteral("placeholderPreferences"));
    connect(preferences, &QPushButton::clicked, this, [this] { Q_EMIT segueRequested(QString(cSeguePreferences)); });
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(loadCard);
    buttons->addWidget(preferences);
    buttons->addStretch();
    auto *column = new QVBoxLayout(m_placeholder);
    column->addStretch();
    column->addWidget(m_placeholderText);
    column->addLayout(buttons);
    column->addStretch();
}

void BrowserView::updateEmptyState()
{
    const bool empty = m_controller->model()->loader().numberOfItems() == 0;
    // Nothing to act on: the photo actions wait for photos.
    for (const char *name : {"delete", "revert", "redecode", "decode", "deliver"}) {
        if (QAction *a = action(QLatin1String(name)))
            a->setEnabled(!empty);
    }
    if (empty) {
        const QString folder = m_controller->pathtophotos.toHtmlEscaped();
        const QString comeIn = ViewController::hotFolderMode()
            ? tr("Hot folder mode is on: photos appear here as they are shot.")
            : tr("Insert a camera card and choose <b>File &#9656; Load New Card...</b> (Ctrl+L),<br>"
                 "or turn on hot folder mode in Preferences to take photos in as they are shot.");
        m_placeholderText->setText(tr("<p style='font-size:large'><b>No photos here yet</b></p>"
                                      "<p>Photos are sorted in <b>%1</b>;<br>this folder and the main folder they are delivered to "
                                      "are set in Preferences (Ctrl+,).</p><p>%2</p>")
                                       .arg(folder, comeIn));
    }
    if (m_grid->isHidden() == empty && m_placeholder->isHidden() == !empty)
        return;
    m_grid->setVisible(!empty);
    m_placeholder->setVisible(empty);
    // The grid gets its place now, not at the next turn of the event loop:
    // whoever reloaded may scroll it at once.
    layout()->activate();
}

void BrowserView::start()
{
    m_controller->setSheetWindow(window());
    QTimer::singleShot(200, this, [this] {
        m_controller->initializeView();
        m_grid->setItemSize(m_controller->itemSize());
        m_grid->setScale(m_controller->itemScaleFactor);
        m_grid->setFocus();
    });
}

void BrowserView::updateHotFolderLabel()
{
    const bool on = ViewController::hotFolderMode();
    if (on == !ibHotFolderTextfield->isHidden() && on == (ibHotFolderTextfield->graphicsEffect() != nullptr))
        return;
    ibHotFolderTextfield->setVisible(on);
    if (on)
        flashOnOff(ibHotFolderTextfield, -1);
    else
        stopFlashing(ibHotFolderTextfield);
}

void BrowserView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_preview->setGeometry(m_grid->geometry());
}

void BrowserView::openPhoto(const QModelIndex &index)
{
    const QString path = index.data(SectionItemModel::FilePathRole).toString();
    if (path.isEmpty())
        return;
    m_openPhoto(path, [view = QPointer<BrowserView>(this), path](bool opened) {
        if (!opened && view)
            view->sayNoProgramOpened(path);
    });
}

void BrowserView::sayNoProgramOpened(const QString &path)
{
    Alert alert;
    alert.style = AlertStyle::Warning;
    alert.messageText = tr("!!! No Program to Open the Photo !!!");
    alert.informativeText = tr("\nNo image viewer took %1.\nInstall one (an image viewer of your desktop) or press Space to see the photo "
                               "large here.\n")
                                .arg(QFileInfo(path).fileName());
    AlertPresenter::shared().beginSheet(alert, window(), {});
}

void BrowserView::updateNotShownLabel()
{
    const qsizetype count = m_controller->imageDirectoryLoader().leftAlone().size();
    m_notShownLabel->setVisible(count > 0);
    if (count > 0)
        m_notShownLabel->setText((count == 1 ? tr("1 file not shown") : tr("%1 files not shown").arg(count))
                                 + QStringLiteral(" — <a href=\"why\">") + tr("why") + QStringLiteral("</a>"));
}

void BrowserView::showNotShownFiles()
{
    const QList<LeftAlone> &files = m_controller->imageDirectoryLoader().leftAlone();
    if (files.isEmpty())
        return;
    Alert alert;
    alert.style = AlertStyle::Informational;
    alert.messageText = tr("Files Not Shown");
    alert.informativeText = QLatin1Char('\n') + describeLeftAlone(files).join(QLatin1Char('\n'))
        + tr("\n\nThey stay in the folder as they are: they are not sorted nor delivered.\n");
    AlertPresenter::shared().beginSheet(alert, window(), {});
}

void BrowserView::showPreview()
{
    QModelIndex index = m_grid->currentIndex();
    const QModelIndexList selected = m_controller->selectionModel()->selectedIndexes();
    if ((!index.isValid() || !m_controller->selectionModel()->isSelected(index)) && !selected.isEmpty())
        index = selected.first();
    const QString path = index.data(SectionItemModel::FilePathRole).toString();
    if (path.isEmpty())
        return;
    m_preview->setGeometry(m_grid->geometry());
    m_preview->showPhoto(path, index.data(Qt::DecorationRole).value<QImage>());
}

void BrowserView::stepPreview(int step)
{
    SectionItemModel *model = m_controller->model();
    int row = m_grid->currentIndex().row();
    do {
        row += step;
    } while (row >= 0 && row < model->rowCount() && model->isHeaderRow(row));
    if (row < 0 || row >= model->rowCount())
        return;
    const QModelIndex index = model->index(row);
    m_grid->setCurrentIndex(index); // selects it alone
    m_grid->scrollTo(index);
    m_preview->showPhoto(index.data(SectionItemModel::FilePathRole).toString(), index.data(Qt::DecorationRole).value<QImage>());
}

void BrowserView::doRefresh()
{
    m_controller->refreshAllSections();
}
void BrowserView::doDeselect()
{
    m_controller->doDeselectAll();
}
void BrowserView::doDelete()
{
    m_controller->deleteSelected();
}
void BrowserView::doRevert()
{
    m_controller->doRevertToOriginalAction();
}
void BrowserView::doRedecode()
{
    m_controller->doAutoDecodeQRAction();
}
void BrowserView::doDecode()
{
    m_controller->doAutoDecodeQRAction3();
}
void BrowserView::doDeliver()
{
    if (!m_deliveryGate) {
        m_controller->finishProcessAction();
        return;
    }
    const QPointer<BrowserView> self(this);
    m_deliveryGate([self] {
        if (self)
            self->m_controller->finishProcessAction();
    });
}
void BrowserView::doSmaller()
{
    m_controller->doSegmentedContrl(0);
}
void BrowserView::doResetSize()
{
    m_controller->doSegmentedContrl(1);
}
void BrowserView::doLarger()
{
    m_controller->doSegmentedContrl(2);
}
void BrowserView::doReassign()
{
    // The section of the photo in hand when it is selected, else of the
    // first photo selected.
    SectionItemModel *model = m_controller->model();
    QModelIndex index = m_grid->currentIndex();
    QItemSelectionModel *selection = m_controller->selectionModel();
    if (!index.isValid() || model->isHeaderRow(index.row()) || !selection->isSelected(index)) {
        QModelIndexList selected = selection->selectedIndexes();
        std::sort(selected.begin(), selected.end());
        if (!selected.isEmpty())
            index = selected.first();
    }
    const int section = index.isValid() ? model->sectionOfRow(index.row()) : 0;
    if (section >= 0 && section < model->sectionCount())
        m_controller->doButton(section);
}

void BrowserView::doToggleSections()
{
    m_controller->showHideSections(action(QStringLiteral("showHideSections"))->isChecked());
}

} // namespace sorrelby
