// A day at the desk in the real window, offscreen, with the real engine and
// a fake volume: a card from two cameras, one of whose code cards cannot be
// read, is loaded and decoded; the photos after the unreadable card are
// picked with a Shift range and given their code by a scanner in the
// reassign dialog; a photo is dragged onto another section and the drag is
// undone; a revert is asked for and cancelled; the shoot is delivered. On
// disk every photo is then delivered once under its name, the cards are in
// the trash and nothing else changed.

#include "tests/testkit/fixtures/ShootDayInWindowScene.h"

using namespace sorrelby::testkit::shootday;

TEST_F(ShootDayInWindow, CardRangeReassignDragUndoCancelledRevertAndDelivery)
{
    // Two cameras, subjects alternating between them; the card of the third
    // subject (the Nikon's second) cannot be read.
    ShootSpec spec;
    spec.subjects = 4;
    spec.photosPerSubject = 4;
    spec.cameras = {nikonCamera(), canonCamera()};
    spec.sameSubjects = false;
    spec.codes = {QStringLiteral("S001"), QStringLiteral("S002"), QStringLiteral("S003"), QStringLiteral("S004")};
    spec.unreadableCardSubjects = {2};
    const QString volume = monitor.mount(QStringLiteral("EOS_DIGITAL"), false);
    const std::optional<Shoot> shoot = writeShoot(makeFolder(volume + QStringLiteral("/DCIM/100MIXED")), spec);
    ASSERT_TRUE(shoot);
    settings.setValue(cPrefOriginalNameFormatTag, shoot->nameFormatTag());
    const QMultiMap<QByteArray, QString> onTheCard = contentCensus({volume});

    WindowScene scene(workQueue, monitor, QSize(1000, 760));
    MainWindow &window = scene.window;
    BrowserView *browser = window.browser();
    ViewController *controller = loadedBrowser(scene);
    SectionGridView *grid = browser->grid();

    // The card, copied and decoded: the unreadable card and its subject's
    // photos carry the code before them.
    alerts.queueAnswer(1); // "Use This Card"
    window.loadNewCardAction()->trigger();
    ASSERT_TRUE(waitUntil(
        [&] {
            return lines(entriesOf(source)) == sortedLines(shoot->expectedNames()) && !controller->isLoading()
                && !window.engines().forFolder(source).isBusy();
        },
        90000))
        << lines(entriesOf(source));
    closeCardWindows(window);
    ASSERT_TRUE(waitUntil([&] { return photoNamed(*controller, shoot->photos.first().expectedName).isValid(); }));

    // The photographer picks the unreadable card and the photos after it:
    // a click, then a Shift-click a row further down.
    const QStringList wrong = namesOfSubject(*shoot, 2); // card first, in capture order
    ASSERT_EQ(wrong.size(), 5);
    click(grid, photoNamed(*controller, wrong.first()));
    click(grid, photoNamed(*controller, wrong.last()), Qt::ShiftModifier);
    ASSERT_EQ(controller->selectedIndexPaths().size(), 5);

    // Photos > Reassign..., the scanner, then the reassign button.
    int reloads = controller->reloadCount();
    browser->action(QStringLiteral("reassign"))->trigger();
    ReassignViewController *dialog = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (dialog = window.findChild<ReassignViewController *>()) && dialog->session().sortedurlstochange; }));
    EXPECT_EQ(dialog->session().urlstochange.size(), 5);
    QLineEdit *field = dialog->findChild<QLineEdit *>(QStringLiteral("ibNSTextField"));
    ASSERT_TRUE(field);
    scan(field, QStringLiteral("S003"));
    ASSERT_TRUE(waitUntil([&] { return !dialog->session().isInsideAction; }));
    dialog->findChild<QPushButton *>(QStringLiteral("reassignButton"))->click();
    QStringList fixed;
    for (const QString &name : wrong)
        fixed << QStringLiteral("S003_") + name.section(QLatin1Char('_'), 1);
    ASSERT_TRUE(waitUntil([&] {
        return QFileInfo::exists(source + QLatin1Char('/') + fixed.last()) && controller->reloadCount() > reloads
            && !controller->isLoading();
    }));
    // The keys are the photos' again once the dialog is gone.
    EXPECT_TRUE(waitUntil([&] { return QApplication::focusWidget() == grid; }));
    const QStringList reassigned = entriesOf(source);

    // A photo of S002 dragged onto S004, then Edit > Undo.
    const QString dragged = namesOfSubject(*shoot, 1, false).constLast();
    const int s004 = sectionOfCode(*controller, QStringLiteral("S004"));
    ASSERT_GE(s004, 0);
    const QModelIndex target = controller->model()->indexForPath({s004, 0});
    grid->scrollTo(target);
    const QPoint at = grid->visualRect(target).center();
    // What the grid hands on from a drop at that point (a drag of its own
    // cannot run offscreen).
    reloads = controller->reloadCount();
    ASSERT_EQ(grid->sectionAt(at), s004);
    Q_EMIT grid->photosDropped({QUrl::fromLocalFile(source + QLatin1Char('/') + dragged).toString()}, grid->sectionAt(at));
    const QString draggedThere = QStringLiteral("S004_") + dragged.section(QLatin1Char('_'), 1);
    ASSERT_TRUE(
        waitUntil([&] { return QFileInfo::exists(source + QLatin1Char('/') + draggedThere) && controller->reloadCount() > reloads; }));
    browser->undoAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return entriesOf(source) == reassigned; })) << lines(entriesOf(source));

    // Revert to Camera Names asks first (five codes given by hand); Cancel.
    alerts.clear();
    alerts.queueAnswer(0);
    browser->action(QStringLiteral("revert"))->trigger();
    ASSERT_TRUE(waitUntil([&] { return alerts.shown().size() == 1u; }));
    workQueue.sync([] {});
    EXPECT_TRUE(alerts.shown().front().informativeText.contains(QStringLiteral("5 photo(s)")))
        << alerts.shown().front().informativeText.toStdString();
    EXPECT_EQ(entriesOf(source), reassigned);

    // Delivery.
    settings.setValue(cPrefDestinationPath, mainFolder);
    browser->action(QStringLiteral("deliver"))->trigger();
    ASSERT_TRUE(waitUntil([&] { return entriesOf(source).isEmpty() && !window.engines().forFolder(source).isBusy(); }, 90000))
        << lines(entriesOf(source));
    workQueue.sync([] {});

    // Every photo once, under its name; every readable card in the trash.
    QStringList expected;
    int cards = 0;
    const QMultiMap<QByteArray, QString> delivered = contentCensus({mainFolder});
    const QMultiMap<QByteArray, QString> trashed = contentCensus({qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash/files")});
    for (const ShootPhoto &photo : shoot->photos) {
        const QByteArray digest = contentDigest(shoot->folder + QLatin1Char('/') + photo.fileName);
        if (photo.isCard && photo.readableCard) {
            ++cards;
            EXPECT_EQ(trashed.values(digest).size(), 1) << photo.fileName.toStdString();
            EXPECT_FALSE(delivered.contains(digest)) << photo.fileName.toStdString();
            continue;
        }
        const QString name
            = photo.subject == 2 ? QStringLiteral("S003_") + photo.expectedName.section(QLatin1Char('_'), 1) : photo.expectedName;
        expected << name;
        EXPECT_EQ(delivered.values(digest), QStringList{mainFolder + QLatin1Char('/') + name}) << photo.fileName.toStdString();
    }
    EXPECT_EQ(lines(filesBelow(mainFolder)), sortedLines(expected));
    EXPECT_EQ(cards, 3);
    EXPECT_EQ(trashed.size(), cards);
    // Nothing else changed: the card is as it was, the journal is gone.
    EXPECT_EQ(contentCensus({volume}), onTheCard);
    EXPECT_FALSE(RenameJournal(source).nextUndo());
}
