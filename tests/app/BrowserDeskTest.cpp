// The window at the photographer's desk: Shift selects in shoot order, Ctrl
// toggles and the rubber band is drawn; headers stick and show their code;
// a reload keeps the section in hand on screen; cells grow by quarters; Edit
// > Undo and Redo, also after the window was closed and opened again, and
// of a delete; the Reassign command of the Photos menu; capture order read
// from the photos; the keys back on the grid after a dialog.

#include "tests/testkit/fixtures/BrowserDeskScene.h"

#include "imaging/PhotoMetadata.h"
#include "shoot/ShootEngine.h"
#include "tests/testkit/photos/ShootGenerator.h"
#include <QAbstractButton>
#include <QApplication>

using namespace sorrelby::testkit::browserdesk;

TEST_F(BrowserDesk, ShiftSelectsInShootOrderCtrlTogglesAndTheBandIsDrawn)
{
    const QString folder = folderWith(namesOf(QStringLiteral("S003"), 1, 5) + namesOf(QStringLiteral("S004"), 10, 16));
    const auto window = windowOn(folder);
    ViewController *controller = window->browser()->controller();
    SectionGridView *grid = window->browser()->grid();
    SectionItemModel *model = controller->model();
    ASSERT_EQ(model->sectionCount(), 2);
    // The last photo of a row, then one on the next row but not below it.
    const int columns = grid->viewport()->width() / (grid->itemSize().width() + SectionGridView::cSpacing);
    ASSERT_GE(columns, 3);
    const int from = 2 * columns - 1, to = 2 * columns + 1;
    click(grid, model->indexForPath({1, from}));
    click(grid, model->indexForPath({1, to}), Qt::ShiftModifier);
    EXPECT_EQ(selectedNames(controller), namesOf(QStringLiteral("S004"), 10 + from, 3));
    // Shift+Right reaches one further, Shift+Left back.
    key(grid, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(selectedNames(controller), namesOf(QStringLiteral("S004"), 10 + from, 4));
    key(grid, Qt::Key_Left, Qt::ShiftModifier);
    key(grid, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(selectedNames(controller), namesOf(QStringLiteral("S004"), 10 + from, 2));
    // Ctrl toggles one photo; the next Shift range starts from it.
    click(grid, model->indexForPath({1, from + 4}), Qt::ControlModifier);
    EXPECT_EQ(selectedNames(controller), namesOf(QStringLiteral("S004"), 10 + from, 2) + namesOf(QStringLiteral("S004"), 14 + from, 1));
    click(grid, model->indexForPath({1, from + 4}), Qt::ControlModifier);
    EXPECT_EQ(selectedNames(controller), namesOf(QStringLiteral("S004"), 10 + from, 2));
    // A range back across a header takes the photos between, nothing else.
    click(grid, model->indexForPath({1, 1}));
    click(grid, model->indexForPath({0, 3}), Qt::ShiftModifier);
    EXPECT_EQ(selectedNames(controller), namesOf(QStringLiteral("S003"), 4, 2) + namesOf(QStringLiteral("S004"), 10, 2));

    // A drag from the margin draws its band and selects what it crosses.
    grid->verticalScrollBar()->setValue(0);
    const QRect cell = grid->visualRect(model->indexForPath({0, 1}));
    const QPoint start(5, cell.top() - 5);
    const QPoint end = cell.center();
    mouse(grid, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    mouse(grid, QEvent::MouseMove, end, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(grid->rubberBand(), QRect(start, end).normalized());
    const QImage drawn = grid->viewport()->grab().toImage();
    EXPECT_NE(drawn.pixelColor(start + QPoint(1, 1)), QColor(Qt::black));
    EXPECT_EQ(selectedNames(controller), namesOf(QStringLiteral("S003"), 1, 2));
    mouse(grid, QEvent::MouseButtonRelease, end, Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(grid->rubberBand().isNull());
}

TEST_F(BrowserDesk, HeadersStickAtTheTopAndShowTheWholeCode)
{
    const QString folder = folderWith(namesOf(QStringLiteral("S001"), 1, 30) + namesOf(QStringLiteral("S002"), 31, 30));
    const auto window = windowOn(folder);
    SectionGridView *grid = window->browser()->grid();
    SectionItemModel *model = window->browser()->controller()->model();

    // Halfway down the first section's photos its header is still on top,
    // drawn there and answering there.
    grid->verticalScrollBar()->setValue(grid->visualRect(model->indexForPath({0, 12})).top());
    EXPECT_EQ(grid->stickySection(), 0);
    EXPECT_EQ(grid->stickyHeaderRect().top(), 0);
    EXPECT_EQ(grid->indexAt(QPoint(5, 10)).row(), model->headerRow(0));
    EXPECT_GT(grid->viewport()->grab().toImage().pixelColor(5, 5).lightness(), 100);
    NotificationRecorder posted(QStringLiteral("myCustomId0"));
    EXPECT_LT(grid->headerButtonRect(0).bottom(), SectionGridView::cHeaderHeight);
    clickAt(grid, grid->headerButtonRect(0).center());
    ASSERT_EQ(posted.seen().size(), 1);
    EXPECT_EQ(posted.seen().front().value(QStringLiteral("sectionid")).toString(), QStringLiteral("0"));
    // The next header pushes it out; at the very top nothing sticks.
    grid->scrollTo(model->index(model->headerRow(1)), QAbstractItemView::PositionAtTop);
    grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->value() + SectionGridView::cInsetTop + 20);
    EXPECT_LT(grid->stickyHeaderRect().top(), 0);
    grid->verticalScrollBar()->setValue(0);
    EXPECT_EQ(grid->stickySection(), -1);

    // A long code is whole when there is room, else cut in its middle,
    // keeping both ends, and never down to nothing.
    const QFontMetrics metrics(grid->font());
    const QString title = QStringLiteral("ID[7] = 2024-NORTHFIELD-ELEMENTARY-SMITH-JOHN-00042");
    EXPECT_EQ(PhotoCellDelegate::fittedTitle(metrics, title, metrics.horizontalAdvance(title)), title);
    const QString cut = PhotoCellDelegate::fittedTitle(metrics, title, metrics.horizontalAdvance(title) / 2);
    EXPECT_TRUE(cut.startsWith(QStringLiteral("ID[7] = 2024")) && cut.endsWith(QStringLiteral("00042")) && cut.contains(QChar(0x2026)))
        << cut.toStdString();
    const QString narrow = PhotoCellDelegate::fittedTitle(metrics, title, 0);
    EXPECT_TRUE(narrow.startsWith(QStringLiteral("ID")) && narrow.endsWith(QStringLiteral("2"))) << narrow.toStdString();

    // With who the code is: the name is cut first, then dropped; the code
    // is never given up for it.
    const QString code = QStringLiteral("ID[3] = A1042");
    const QString who = QStringLiteral("Emma Margaretha Larsen-Holm \u00b7 3B");
    const QString whole = code + QStringLiteral(" \u00b7 ") + who;
    EXPECT_EQ(PhotoCellDelegate::fittedTitleWithSubject(metrics, code, who, metrics.horizontalAdvance(whole)), whole);
    const QString shortName = PhotoCellDelegate::fittedTitleWithSubject(metrics, code, who, metrics.horizontalAdvance(whole) * 2 / 3);
    EXPECT_TRUE(shortName.startsWith(code + QStringLiteral(" \u00b7 Emma")) && shortName.endsWith(QChar(0x2026)))
        << shortName.toStdString();
    EXPECT_EQ(PhotoCellDelegate::fittedTitleWithSubject(metrics, code, who, metrics.horizontalAdvance(code) + 2), code);
    EXPECT_EQ(PhotoCellDelegate::fittedTitleWithSubject(metrics, title, who, 0), narrow);
}

TEST_F(BrowserDesk, AReassignKeepsTheSectionInHandOnScreen)
{
    const QString folder = makeTempFolder();
    const QStringList paths = writeFilesInOrder(folder, subjectNames(6, 8), smallJpeg());
    const auto window = windowOn(folder);
    ViewController *controller = window->browser()->controller();
    SectionGridView *grid = window->browser()->grid();
    SectionItemModel *model = controller->model();
    grid->scrollTo(model->index(model->headerRow(2)), QAbstractItemView::PositionAtTop);
    const int headerY = grid->visualRect(model->index(model->headerRow(2))).top();
    grid->setCurrentIndex(model->indexForPath({2, 1}));

    // A photo of the section above goes to the last section, as the reassign
    // dialog does it, and the dialog's refresh follows.
    ASSERT_TRUE(QFile::rename(paths[8], folder + QStringLiteral("/S006_DSC_0011.JPG")));
    const int before = controller->reloadCount();
    NotificationCenter::defaultCenter().post(QStringLiteral("myRefreshId"), {{QStringLiteral("command"), QStringLiteral("refresh")}});
    ASSERT_TRUE(waitUntil([&] { return controller->reloadCount() > before && !controller->isLoading(); }));
    spinFor(400); // past the refresh's scroll
    // The moved photo makes a section of its own above: S003 is another
    // section number now, and stays where it was on screen.
    int s003 = -1;
    for (int s = 0; s < model->sectionCount(); ++s) {
        if (model->index(model->headerRow(s)).data().toString().endsWith(QStringLiteral(" = S003")))
            s003 = s;
    }
    ASSERT_GE(s003, 0);
    EXPECT_EQ(grid->visualRect(model->index(model->headerRow(s003))).top(), headerY);
    // A refresh that asks for the end still goes there.
    NotificationCenter::defaultCenter().post(
        QStringLiteral("myRefreshId"),
        {{QStringLiteral("command"), QStringLiteral("refresh")}, {QStringLiteral("scrollto"), QStringLiteral("bottom")}});
    EXPECT_TRUE(waitUntil([&] { return grid->verticalScrollBar()->value() == grid->verticalScrollBar()->maximum(); }))
        << grid->verticalScrollBar()->value() << " of " << grid->verticalScrollBar()->maximum();
}

TEST_F(BrowserDesk, CellsGrowByQuartersFromTheWheelAndTheKeys)
{
    const auto window = windowOn(folderWith(namesOf(QStringLiteral("S001"), 1, 4)));
    ViewController *controller = window->browser()->controller();
    SectionGridView *grid = window->browser()->grid();
    ctrlWheel(grid, 120);
    EXPECT_DOUBLE_EQ(controller->itemScaleFactor, 1.25);
    EXPECT_EQ(grid->itemSize(), QSize(250, 250));
    ctrlWheel(grid, -120);
    ctrlWheel(grid, -120);
    EXPECT_DOUBLE_EQ(controller->itemScaleFactor, 0.75);
    EXPECT_DOUBLE_EQ(settings.doubleValue(cPrefItemScaleFactor), 0.75);
    // Ctrl+plus (also Ctrl+= without Shift) and Ctrl+minus.
    QAction *larger = window->browser()->action(QStringLiteral("larger"));
    EXPECT_TRUE(larger->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Equal)));
    EXPECT_TRUE(larger->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Plus)));
    EXPECT_TRUE(window->browser()->action(QStringLiteral("smaller"))->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Minus)));
}

TEST_F(BrowserDesk, UndoAndRedoFromTheEditMenuAlsoAfterTheWindowWasClosed)
{
    const QString folder = folderWith(namesOf(QStringLiteral("S001"), 1, 3) + namesOf(QStringLiteral("S002"), 4, 3));
    const QStringList before = entriesOf(folder);
    {
        const auto window = windowOn(folder);
        ViewController *controller = window->browser()->controller();
        const int reloads = controller->reloadCount();
        ASSERT_TRUE(controller->acceptDrop({QUrl::fromLocalFile(folder + QStringLiteral("/S001_DSC_0002.JPG")).toString()}, 1));
        ASSERT_TRUE(waitUntil([&] { return controller->reloadCount() > reloads && !controller->isLoading(); }));
        EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/S002_DSC_0002.JPG")));
    }
    // A new window on the same folder undoes the drop of the one before.
    const auto window = windowOn(folder);
    QAction *undo = editMenuAction(*window, QStringLiteral("undo"));
    QAction *redo = editMenuAction(*window, QStringLiteral("redo"));
    ASSERT_TRUE(undo && redo);
    EXPECT_EQ(undo->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_EQ(redo->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    undo->trigger();
    EXPECT_TRUE(waitUntil([&] { return entriesOf(folder) == before; })) << lines(entriesOf(folder));
    redo->trigger();
    EXPECT_TRUE(waitUntil([&] { return QFileInfo::exists(folder + QStringLiteral("/S002_DSC_0002.JPG")); }));
    undo->trigger();
    EXPECT_TRUE(waitUntil([&] { return entriesOf(folder) == before; }));
    // Nothing left: a beep, no alert and nothing moved.
    undo->trigger();
    workQueue.sync([] {});
    spinFor(50);
    EXPECT_TRUE(alerts.shown().empty());
    EXPECT_EQ(entriesOf(folder), before);

    // Reassign is in the Photos menu, for the section of the selection.
    QAction *reassign = window->browser()->action(QStringLiteral("reassign"));
    ASSERT_TRUE(reassign);
    EXPECT_FALSE(reassign->shortcut().isEmpty());
    NotificationRecorder posted(QStringLiteral("myCustomId0"));
    ViewController *controller = window->browser()->controller();
    ASSERT_TRUE(waitUntil([&] { return !controller->isLoading(); }));
    SectionItemModel *model = controller->model();
    controller->selectionModel()->select(model->indexForPath({1, 1}), QItemSelectionModel::Select);
    ASSERT_EQ(controller->selectedIndexPaths().size(), 1);
    EXPECT_EQ(controller->selectedIndexPaths().front().section, 1);
    reassign->trigger();
    ASSERT_EQ(posted.seen().size(), 1);
    EXPECT_EQ(posted.seen().front().value(QStringLiteral("sectionid")).toString(), QStringLiteral("1"));
}

// A delete from the window is one undo step: the photo comes back out of the
// trash; when its name has been taken since, nothing is replaced and the
// alert names it.
TEST_F(BrowserDesk, ADeleteComesBackOutOfTheTrashAndATakenNameIsSaid)
{
    const QString folder = makeTempFolder();
    const QStringList paths = writeFilesInOrder(folder, namesOf(QStringLiteral("S001"), 1, 3), smallJpeg());
    const QByteArray photo = readFile(paths[1]);
    const auto window = windowOn(folder);
    ViewController *controller = window->browser()->controller();
    SectionGridView *grid = window->browser()->grid();
    const TrashWatch watch; // the trash holds what the tests before put there
    const auto trashed = [&] { return watch.added(); };

    click(grid, controller->model()->indexForPath({0, 1}));
    alerts.queueAnswer(1); // "YES DELETE"
    int reloads = controller->reloadCount();
    key(grid, Qt::Key_Delete);
    ASSERT_TRUE(waitUntil([&] { return !QFileInfo::exists(paths[1]) && controller->reloadCount() > reloads && !controller->isLoading(); }));
    EXPECT_EQ(trashed().size(), 1);
    window->browser()->undoAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(paths[1]); }));
    EXPECT_EQ(readFile(paths[1]), photo);
    EXPECT_TRUE(waitUntil([&] { return trashed().isEmpty(); })) << lines(trashed());

    // Deleted again by Redo; another file takes the name; Undo leaves both.
    window->browser()->redoAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return !QFileInfo::exists(paths[1]) && trashed().size() == 1; }));
    workQueue.sync([] {});
    ASSERT_TRUE(writeFile(paths[1], "another photo since"));
    const size_t alertsBefore = alerts.shown().size();
    window->browser()->undoAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return alerts.shown().size() > alertsBefore; }));
    const Alert said = alerts.shown().back();
    EXPECT_EQ(said.messageText, QStringLiteral("!!! Some Photos Could Not Be Restored !!!"));
    EXPECT_TRUE(said.informativeText.contains(QFileInfo(paths[1]).fileName())) << said.informativeText.toStdString();
    EXPECT_EQ(readFile(paths[1]), QByteArray("another photo since"));
    ASSERT_EQ(trashed().size(), 1);
    EXPECT_EQ(readFile(TrashWatch::folder() + QLatin1Char('/') + trashed().front()), photo);
}

// A shoot copied without its file times, in bursts closer than a FAT tick:
// Revert and Decode Again sorts it by the capture times in the photos, one
// section a subject.
TEST_F(BrowserDesk, ACopyThatLostItsFileTimesDecodesIntoOneSectionASubject)
{
    ShootSpec spec;
    spec.subjects = 5;
    spec.photosPerSubject = 3;
    spec.millisecondsBetween = 400;
    spec.subSecondDigits = 2;
    spec.fileTimes = FileTimes::Shuffled;
    initializeMetadataLibrary();
    const QString folder = makeTempFolder();
    const std::optional<Shoot> shoot = writeShoot(folder, spec);
    ASSERT_TRUE(shoot);
    settings.setValue(cPrefOriginalNameFormatTag, shoot->nameFormatTag());
    const auto window = windowOn(folder);
    ViewController *controller = window->browser()->controller();

    const int reloads = controller->reloadCount();
    window->browser()->action(QStringLiteral("redecode"))->trigger();
    ASSERT_TRUE(waitUntil(
        [&] {
            return lines(entriesOf(folder)) == sortedLines(shoot->expectedNames()) && controller->reloadCount() > reloads
                && !controller->isLoading() && !window->engines().forFolder(folder).isBusy();
        },
        60000))
        << lines(entriesOf(folder));
    QStringList expected;
    for (const ShootPhoto &photo : shoot->photos) {
        if (!expected.contains(photo.expectedCode))
            expected << photo.expectedCode;
    }
    ASSERT_EQ(expected.size(), 5);
    EXPECT_EQ(sectionCodes(*controller->model()), expected);
}

// Asked twice, the preferences open once; the keys are the photos' again
// once a dialog is gone, whichever it was.
TEST_F(BrowserDesk, OnePreferencesWindowAndTheKeysGoBackToThePhotosAfterIt)
{
    const auto window = windowOn(folderWith(namesOf(QStringLiteral("S001"), 1, 2)));
    SectionGridView *grid = window->browser()->grid();
    for (int i = 0; i < 2; ++i)
        NotificationCenter::defaultCenter().post(QStringLiteral("myOpenPrefId"), {{QStringLiteral("command"), QStringLiteral("openpref")}});
    QWidget *preferences = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        return (preferences = window->findChild<QWidget *>(QStringLiteral("PreferencesViewController"))) && preferences->isVisible();
    }));
    spinFor(50);
    EXPECT_EQ(window->findChildren<QWidget *>(QStringLiteral("PreferencesViewController")).size(), 1);
    preferences->activateWindow();
    QWidget *control = preferences->findChild<QAbstractButton *>();
    ASSERT_TRUE(control);
    control->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(waitUntil([&] { return QApplication::focusWidget() == control; }));
    preferences->close();
    EXPECT_TRUE(waitUntil([&] { return QApplication::focusWidget() == grid; }))
        << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName().toStdString() : std::string("none"));
}
