// The main window offscreen: hot folder colours, the frame kept, and the
// grid's layout, header buttons and visible-first thumbnails.

#include "tests/testkit/fixtures/BrowserWindowScene.h"

using namespace sorrelby::testkit::browserwindow;

TEST_F(BrowserWindow, RedWhileHotFolderModeIsOnAndTheFrameIsKept)
{
    MainWindow window(nullptr, &workQueue);
    window.show();
    // An icon of its own, for task bars that do not read desktop entries.
    EXPECT_FALSE(window.windowIcon().availableSizes().isEmpty());
    QLabel *label = window.findChild<QLabel *>(QStringLiteral("hotfoldermodetextfield"));
    ASSERT_TRUE(label);
    EXPECT_NE(window.backgroundColor(), QColor(Qt::red));
    EXPECT_FALSE(label->isVisible());

    settings.setValue(QStringLiteral("prefEnableHotFolderMode"), true);
    ASSERT_TRUE(waitUntil([&] { return window.backgroundColor() == QColor(Qt::red); }));
    ASSERT_TRUE(waitUntil([&] { return label->isVisible(); }));
    settings.setValue(QStringLiteral("prefEnableHotFolderMode"), false);
    ASSERT_TRUE(waitUntil([&] { return window.backgroundColor() != QColor(Qt::red) && !label->isVisible(); }));

    // A size the screen holds comes back exactly. (Qt fits a restored window
    // that is larger than its screen into it, and the offscreen screen is
    // small.)
    const QSize kept = QSize(1250, 640).boundedTo(window.screen()->availableSize() - QSize(60, 60));
    window.resize(kept);
    window.close();
    EXPECT_FALSE(settings.bytesValue(cPrefWindowAutoSave).isEmpty());
    MainWindow again(nullptr, &workQueue);
    EXPECT_EQ(again.size(), kept);
}

TEST_F(BrowserWindow, GridLayoutHeadersAndVisibleFirstThumbnails)
{
    const auto window = windowOn(folderWith(codedNames(4, 30)));
    SectionGridView *grid = window->browser()->grid();
    SectionItemModel *model = window->browser()->controller()->model();
    ASSERT_EQ(model->sectionCount(), 4);

    // Every row is found again where it is drawn, headers included.
    grid->verticalScrollBar()->setValue(grid->contentHeight() / 2);
    int checked = 0;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QRect rect = grid->visualRect(model->index(row));
        if (!grid->viewport()->rect().contains(rect.center()))
            continue;
        EXPECT_EQ(grid->indexAt(rect.center()).row(), row);
        ++checked;
    }
    EXPECT_GT(checked, 5);
    // Cells keep their size; headers span the width at every scale.
    window->browser()->controller()->doSegmentedContrl(2);
    EXPECT_EQ(grid->itemSize(), QSize(250, 250));
    EXPECT_EQ(grid->visualRect(model->index(model->headerRow(1))).width(), grid->viewport()->width());

    // The header button of section 2 asks for that section's action.
    NotificationRecorder recorder(QStringLiteral("myCustomId0"));
    grid->scrollTo(model->index(model->headerRow(2)), QAbstractItemView::PositionAtTop);
    const QPoint button = grid->headerButtonRect(2).center();
    QMouseEvent press(QEvent::MouseButtonPress, button, grid->viewport()->mapToGlobal(button), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(grid->viewport(), &press);
    const QList<QVariantMap> posted = recorder.seen();
    ASSERT_EQ(posted.size(), 1);
    EXPECT_EQ(posted.front().value(QStringLiteral("sectionid")).toString(), QStringLiteral("2"));
    EXPECT_EQ(posted.front().value(QStringLiteral("title")).toString(), QStringLiteral("ID[2] = C12"));

    // The cells on screen get their thumbnails; rows far away are not made.
    grid->verticalScrollBar()->setValue(0);
    const QList<int> visible = grid->visibleRows();
    ASSERT_FALSE(visible.isEmpty());
    ASSERT_TRUE(waitUntil([&] {
        for (const int row : grid->visibleRows()) {
            if (model->index(row).data(Qt::DecorationRole).value<QImage>().isNull())
                return false;
        }
        return true;
    }));
    const int last = model->rowCount() - 1;
    EXPECT_TRUE(model->index(last).data(Qt::DecorationRole).value<QImage>().isNull());
    EXPECT_FALSE(window->browser()->thumbnailService()->cached(model->index(last).data(SectionItemModel::FilePathRole).toString()));
}

TEST_F(BrowserWindow, KeyboardPreviewDeleteAndDragOut)
{
    const QString folder = makeTempFolder();
    const QStringList paths = writeFilesInOrder(folder, codedNames(2, 3), encodeJpeg(makeBackground(QSize(64, 48), 5)));
    const auto window = windowOn(folder);
    BrowserView *browser = window->browser();
    SectionGridView *grid = browser->grid();
    SectionItemModel *model = browser->controller()->model();

    // Space opens the selected photo large, the arrows step, Escape closes.
    grid->setCurrentIndex(model->indexForPath({0, 2}));
    press(grid, Qt::Key_Space);
    ASSERT_TRUE(browser->preview()->isVisible());
    EXPECT_EQ(browser->preview()->path(), paths[2]);
    press(browser->preview(), Qt::Key_Right); // over the next header
    EXPECT_EQ(browser->preview()->path(), paths[3]);
    EXPECT_EQ(browser->controller()->selectedIndexPaths().size(), 1);
    press(browser->preview(), Qt::Key_Escape);
    EXPECT_FALSE(browser->preview()->isVisible());

    // The Delete key asks first, like the menu.
    alerts.queueAnswer(0);
    press(grid, Qt::Key_Delete);
    ASSERT_TRUE(waitUntil([&] { return !alerts.shown().empty(); }));
    EXPECT_EQ(alerts.shown().back().messageText, QStringLiteral("DELETE All the Marked Photos?"));

    // Dragged out, photos are file URLs.
    std::unique_ptr<QMimeData> mime(model->mimeData({model->indexForPath({1, 0}), model->index(0)}));
    ASSERT_TRUE(mime);
    EXPECT_EQ(mime->urls(), QList<QUrl>{QUrl::fromLocalFile(paths[3])});
}

TEST_F(BrowserWindow, LargeCellsGetASharperPicture)
{
    const auto window = windowOn(folderWith(codedNames(1, 3), QSize(1200, 800), 7));
    ViewController *controller = window->browser()->controller();
    SectionItemModel *model = controller->model();
    const QModelIndex first = model->indexForPath({0, 0});
    ASSERT_TRUE(waitUntil([&] { return !first.data(Qt::DecorationRole).value<QImage>().isNull(); }));
    EXPECT_LE(std::max(first.data(Qt::DecorationRole).value<QImage>().width(), first.data(Qt::DecorationRole).value<QImage>().height()),
              160);
    EXPECT_TRUE(first.data(SectionItemModel::SharpImageRole).value<QImage>().isNull());

    for (int i = 0; i < 50; ++i)
        controller->doSegmentedContrl(2);
    ASSERT_TRUE(waitUntil([&] { return !first.data(SectionItemModel::SharpImageRole).value<QImage>().isNull(); }));
    // Enough pixels for a 400-point cell.
    EXPECT_GE(first.data(SectionItemModel::SharpImageRole).value<QImage>().width(), 400);
}

// Hot folder mode is the red margin and the blinking label; the bar keeps
// its colours and the finishing action stays on it at the default size.
TEST_F(BrowserWindow, HotFolderModeKeepsTheBarReadableAndDeliveryInReach)
{
    settings.remove(cPrefWindowAutoSave);
    settings.setValue(cPrefEnableHotFolderMode, true);
    MainWindow window(nullptr, &workQueue);
    window.show();
    ASSERT_TRUE(waitUntil([&] { return window.backgroundColor() == QColor(Qt::red); }));
    QLabel *label = window.findChild<QLabel *>(QStringLiteral("hotfoldermodetextfield"));
    ASSERT_TRUE(waitUntil([&] { return label->isVisible(); }));
    QCoreApplication::processEvents();

    QToolBar *bar = window.findChild<QToolBar *>(QStringLiteral("browserBar"));
    ASSERT_TRUE(bar);
    EXPECT_NE(bar->palette().color(QPalette::Window), QColor(Qt::red));
    EXPECT_NE(bar->palette().color(QPalette::Button), QColor(Qt::red));
    // As drawn in the window: the empty end of the bar, where the window
    // shows through.
    const QImage drawn = window.grab().toImage();
    const QPoint end = bar->mapTo(&window, QPoint(bar->width() - 3, bar->height() / 2)) * drawn.devicePixelRatio();
    EXPECT_NE(drawn.pixelColor(end), QColor(Qt::red));
    const QPoint margin = QPoint(2, window.height() - 3) * drawn.devicePixelRatio();
    EXPECT_EQ(drawn.pixelColor(margin), QColor(Qt::red));

    QWidget *deliver = window.findChild<QWidget *>(QStringLiteral("deliverButton"));
    ASSERT_TRUE(deliver);
    EXPECT_TRUE(deliver->isVisible());
    const QRect inWindow(deliver->mapTo(&window, QPoint(0, 0)), deliver->size());
    EXPECT_TRUE(window.rect().contains(inWindow));
    // Not folded into a tool bar's extension menu.
    for (QToolBar *toolBar : window.findChildren<QToolBar *>()) {
        if (!deliver->isAncestorOf(toolBar) && toolBar->isAncestorOf(deliver)) {
            for (QToolButton *extension : toolBar->findChildren<QToolButton *>(QStringLiteral("qt_toolbar_ext_button")))
                EXPECT_FALSE(extension->isVisible());
        }
    }
    settings.setValue(cPrefEnableHotFolderMode, false);
}

// A fresh, empty source folder shows how photos come in instead of an empty
// section, and nothing that acts on photos is offered until there are some.
TEST_F(BrowserWindow, AnEmptyFolderShowsTheWayInAndNothingToActOn)
{
    const QString folder = makeTempFolder(QStringLiteral("empty"));
    const auto window = windowOn(folder);
    BrowserView *browser = window->browser();
    QWidget *placeholder = window->findChild<QWidget *>(QStringLiteral("emptyFolderPlaceholder"));
    ASSERT_TRUE(placeholder);
    EXPECT_TRUE(placeholder->isVisible());
    EXPECT_FALSE(browser->grid()->isVisible());
    const QString text = window->findChild<QLabel *>(QStringLiteral("emptyFolderText"))->text();
    EXPECT_TRUE(text.contains(folder)) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Load New Card"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Ctrl+L"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("hot folder mode"))) << text.toStdString();
    for (const char *name : {"deliver", "decode", "redecode", "revert", "delete"})
        EXPECT_FALSE(browser->action(QLatin1String(name))->isEnabled()) << name;
    EXPECT_TRUE(browser->action(QStringLiteral("refresh"))->isEnabled());

    writeFilesInOrder(folder, {"IMG_0001.JPG"}, encodeJpeg(makeBackground(QSize(64, 48), 5)));
    ViewController *controller = browser->controller();
    const int reloads = controller->reloadCount();
    controller->refreshAllSections();
    ASSERT_TRUE(waitUntil([&] { return controller->reloadCount() > reloads && !controller->isLoading(); }));
    EXPECT_FALSE(placeholder->isVisible());
    EXPECT_TRUE(browser->grid()->isVisible());
    for (const char *name : {"deliver", "decode", "redecode", "revert", "delete"})
        EXPECT_TRUE(browser->action(QLatin1String(name))->isEnabled()) << name;
}
