#include "browser/widgets/BrowserView.h"

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
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
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
    , m_openPhoto([](const QString &path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); })
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
    connect(m_grid, &QAbstractItemView::doubleClicked, this, &BrowserView::openPhoto);
    connect(m_preview, &PhotoPreview::stepRequested, this, &BrowserView::stepPreview);
    connect(m_preview, &PhotoPreview::closed, m_grid, [this] { m_grid->setFocus(); });

    const QPointer<BrowserView> self(this);
    m_hotFolderObserver = Settings::shared().observe(cPrefEnableHotFolderMode, [self](const QVariant &, const QVariant &) {
        mainqueue::async([self] {
            if (self)
                self->updateHotFolderLabel();
        });
    });
    updateHotFolderLabel();
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
    button(addAction(QStringLiteral("larger"), QStringLiteral("+"), QKeySequence::ZoomIn, &BrowserView::doLarger))
        ->setToolTip(tr("Larger"));
    gap();
    button(addAction(QStringLiteral("refresh"), tr("Refresh"), QKeySequence::Refresh, &BrowserView::doRefresh));
    button(addAction(QStringLiteral("deselectAll"), tr("Deselect All"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A),
                     &BrowserView::doDeselect));
    // The grid handles the Delete key itself; this is the menu's way in.
    button(addAction(QStringLiteral("delete"), tr("Delete..."), QKeySequence(), &BrowserView::doDelete));
    gap();
    button(addAction(QStringLiteral("revert"), tr("Revert to Camera Names"), QKeySequence(), &BrowserView::doRevert));
    button(addAction(QStringLiteral("redecode"), tr("Revert and Decode Again"), QKeySequence(), &BrowserView::doRedecode));
    button(addAction(QStringLiteral("decode"), tr("Decode"), QKeySequence(Qt::CTRL | Qt::Key_D), &BrowserView::doDecode));
    auto *stretch = new QWidget(bar);
    stretch->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar->addWidget(stretch);
    ibHotFolderTextfield = new QLabel(tr("HOT FOLDER MODE"), bar);
    ibHotFolderTextfield->setObjectName(QStringLiteral("hotfoldermodetextfield"));
    ibHotFolderTextfield->setStyleSheet(
        QStringLiteral("QLabel { color: white; background: #b00000; font-weight: bold; padding: 3px 8px; border-radius: 4px; }"));
    m_hotFolderLabelAction = bar->addWidget(ibHotFolderTextfield);
    gap();
    button(addAction(QStringLiteral("deliver"), tr("Finish: Deliver to Main Folder"), QKeySequence(Qt::CTRL | Qt::Key_Return),
                     &BrowserView::doDeliver))
        ->setStyleSheet(QStringLiteral("QToolButton { font-weight: bold; }"));
    layout()->addWidget(bar);
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
    if (on == m_hotFolderLabelAction->isVisible() && on == (ibHotFolderTextfield->graphicsEffect() != nullptr))
        return;
    // A widget in a tool bar is shown and hidden through its action.
    m_hotFolderLabelAction->setVisible(on);
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
    if (path.isEmpty() || m_openPhoto(path))
        return;
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
    m_controller->finishProcessAction();
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
void BrowserView::doToggleSections()
{
    m_controller->showHideSections(action(QStringLiteral("showHideSections"))->isChecked());
}

} // namespace sorrelby
