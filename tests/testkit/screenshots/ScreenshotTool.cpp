// sorrelby-screenshots OUTFOLDER: renders the main window on a generated
// shoot (offscreen or under Xvfb) into PNG files, for the README. Runs in a
// temporary HOME of its own; the user's settings are never touched.

#include "app/MainWindow.h"
#include "browser/SectionItemModel.h"
#include "browser/widgets/BrowserView.h"
#include "browser/widgets/PhotoPreview.h"
#include "browser/widgets/SectionGridView.h"
#include "imaging/PhotoMetadata.h"
#include "intake/widgets/LoadCardViewController.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/VolumeMonitor.h"
#include "platform/widgets/QtAlertPresenter.h"
#include "preferences/widgets/PreferencesViewController.h"
#include "reassign/widgets/PromptReassignModeViewController.h"
#include "reassign/widgets/ReassignViewController.h"
#include "relaunch/SetQuitRelaunchViewController.h"
#include "roster/RosterController.h"
#include "roster/widgets/RosterPanel.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"
#include "shoot/widgets/CopyToMainFolderViewController.h"
#include "tests/testkit/photos/RosterGenerator.h"
#include "tests/testkit/photos/ShootGenerator.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QThread>

#include <cstdio>
#include <functional>

using namespace sorrelby;

namespace {

bool waitUntil(const std::function<bool()> &pred, int timeoutMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

void settle(int ms = 400)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool thumbnailsOnScreen(BrowserView *browser)
{
    for (const int row : browser->grid()->visibleRows()) {
        if (browser->controller()->model()->index(row).data(Qt::DecorationRole).value<QImage>().isNull())
            return false;
    }
    return true;
}

bool save(QWidget *window, const QString &folder, const QString &name)
{
    settle();
    const QString path = folder + QLatin1Char('/') + name;
    const bool ok = window->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/data")));
    qputenv("XDG_STATE_HOME", QFile::encodeName(home.path() + QStringLiteral("/state")));
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Vemo"));
    QApplication::setApplicationName(QStringLiteral(SORRELBY_BUNDLE_NAME));
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: sorrelby-screenshots OUTFOLDER\n");
        return 2;
    }
    const QString out = QDir(args[1]).absolutePath();
    QDir().mkpath(out);
    initializeMetadataLibrary();
    Settings::shared().registerFactoryDefaults();

    // A morning's shoot: two photos before the first card, then six
    // children, each a card and five portraits, already decoded.
    testkit::ShootSpec spec;
    spec.subjects = 6;
    spec.photosPerSubject = 5;
    spec.photosBeforeFirstCard = 2;
    spec.size = QSize(900, 600);
    spec.codes = {QStringLiteral("A1042"), QStringLiteral("A1043"), QStringLiteral("A1044"),
                  QStringLiteral("B2001"), QStringLiteral("B2002"), QStringLiteral("B2003")};
    const QString source = home.path() + QStringLiteral("/Sorrelby");
    const std::optional<testkit::Shoot> shoot = testkit::writeShoot(source, spec);
    if (!shoot) {
        std::fprintf(stderr, "could not generate the shoot\n");
        return 1;
    }
    for (const testkit::ShootPhoto &photo : shoot->photos) {
        if (photo.expectedName != photo.fileName)
            QFile::rename(source + QLatin1Char('/') + photo.fileName, source + QLatin1Char('/') + photo.expectedName);
    }
    QFile::remove(shoot->manifestPath);

    SerialQueue work(QStringLiteral("com.halvane.vemo.sorrelby.decodequeue"));
    MainWindow window(nullptr, &work);
    window.resize(1280, 860);
    window.show();
    BrowserView *browser = window.browser();
    ViewController *controller = browser->controller();
    controller->pathtophotos = source;
    controller->refreshAllSections();
    controller->doSegmentedContrl(1);
    bool ok = waitUntil([&] { return controller->reloadCount() > 0; });
    ok = ok && waitUntil([&] { return thumbnailsOnScreen(browser); });
    ok = ok && save(&window, out, QStringLiteral("browser.png"));

    // Three portraits of one child selected.
    SectionItemModel *model = controller->model();
    for (int item : {1, 2, 4})
        controller->selectionModel()->select(model->indexForPath({2, item}), QItemSelectionModel::Select);
    browser->grid()->scrollTo(model->index(model->headerRow(2)), QAbstractItemView::PositionAtTop);
    waitUntil([&] { return thumbnailsOnScreen(browser); });
    ok = ok && save(&window, out, QStringLiteral("browser-selection.png"));
    controller->doDeselectAll();

    // A Shift range in shoot order over two rows, scrolled so that the
    // section's header sticks at the top over its photos.
    SectionGridView *grid = browser->grid();
    grid->setCurrentIndex(model->indexForPath({3, 3}));
    grid->selectRangeTo(model->indexForPath({3, 5}));
    grid->scrollTo(model->indexForPath({3, 0}), QAbstractItemView::PositionAtTop);
    grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->value() + 90);
    waitUntil([&] { return thumbnailsOnScreen(browser); });
    ok = ok && save(&window, out, QStringLiteral("browser-range.png"));
    controller->doDeselectAll();

    // Larger cells get a sharper decode.
    for (int i = 0; i < 30; ++i)
        controller->doSegmentedContrl(2);
    settle(1500);
    ok = ok && save(&window, out, QStringLiteral("browser-large.png"));
    controller->doSegmentedContrl(1);

    // Space: the photo large inside the window.
    browser->grid()->setCurrentIndex(model->indexForPath({3, 1}));
    browser->showPreview();
    settle(1500);
    ok = ok && save(&window, out, QStringLiteral("browser-preview.png"));
    browser->preview()->hide();

    // The class list: roster.csv in the source folder names a seventh child
    // nobody photographed and leaves one code off. The panel, a row clicked,
    // and the headers with the children's names.
    testkit::RosterSpec rosterSpec;
    rosterSpec.leftOut = {5};
    rosterSpec.absent = 1;
    testkit::writeRoster(source + QStringLiteral("/roster.csv"), *shoot, rosterSpec);
    const int beforeRoster = controller->reloadCount();
    controller->refreshAllSections();
    ok = ok && waitUntil([&] { return controller->reloadCount() > beforeRoster && window.roster().roster() && !window.roster().isBusy(); });
    const int rosterRow = window.roster().model()->rowOfCode(QStringLiteral("A1044"));
    window.rosterPanel()->list()->setCurrentIndex(window.roster().model()->index(rosterRow));
    window.rosterPanel()->showRow(rosterRow);
    waitUntil([&] { return thumbnailsOnScreen(browser); });
    ok = ok && save(&window, out, QStringLiteral("browser-roster.png"));

    // The report as web pages, as File > Export Report... writes it.
    const ReportExportResult html = exportShootReport(source, window.roster().roster(), ReportFormat::Html,
                                                      home.path() + QStringLiteral("/Sorrelby-report"), shoot->nameFormatTag());
    if (html.ok) {
        QTextBrowser page;
        page.resize(1000, 760);
        page.setSource(QUrl::fromLocalFile(html.path));
        page.show();
        ok = ok && save(&page, out, QStringLiteral("report-html.png"));
    } else {
        std::fprintf(stderr, "no HTML report: %s\n", qPrintable(html.error));
        ok = false;
    }
    window.rosterPanel()->hide();

    // The reassign dialog over one child's photos, a code scanned; then the
    // mode prompt.
    QStringList photos;
    for (int item = 0; item < controller->imageDirectoryLoader().numberOfItemsInSection(3); ++item) {
        if (const ImageFilePtr file = controller->imageDirectoryLoader().imageFileForIndexPath({3, item}))
            photos << file->fileurl;
    }
    ReassignViewController *reassign = showReassignWindow(&window);
    reassign->resize(720, 640);
    NotificationCenter::defaultCenter().post(QStringLiteral("myReassignId"),
                                             {{QStringLiteral("command"), QStringLiteral("dosomething")},
                                              {QStringLiteral("urlstochange"), photos},
                                              {QStringLiteral("fulSortedlUrlList"), photos}});
    reassign->findChild<QLineEdit *>(QStringLiteral("ibNSTextField"))->setText(QStringLiteral("B2001"));
    waitUntil([&] { return !reassign->shownImagePath().isEmpty(); });
    ok = ok && save(reassign, out, QStringLiteral("reassign.png"));
    reassign->doCancel();
    PromptReassignModeViewController *prompt = showReassignModePrompt(&window);
    ok = ok && save(prompt, out, QStringLiteral("reassign-prompt.png"));
    prompt->reject();

    // The progress dialog halfway through a detecting pass.
    CopyToMainFolderViewController *dialog = showCopyToMainFolderWindow(&window, window.progress());
    CopyToMainFolderController &progress = dialog->controller();
    progress.fProgressString = QStringLiteral("Found/Decoded QRCodes:\n\nA1042, A1043, A1044");
    progress.fProgressItemString = QStringLiteral("Decoding Item: 21");
    progress.buttonTitle = QStringLiteral("Abort Process");
    progress.barVisible = true;
    progress.busy = true;
    progress.fMaxItemsToProcess = int(shoot->photos.size());
    progress.fItemsProcessed = 21;
    progress.fCountString = QStringLiteral("21 of %1").arg(shoot->photos.size());
    progress.fPhotoInHand = shoot->photos.at(20).fileName;
    progress.fTimeLeftString = QStringLiteral("About 15 s left");
    progress.showChanged();
    dialog->adjustSize();
    ok = ok && save(dialog, out, QStringLiteral("progress-decode.png"));

    // Delivering, then the summary of a delivery with a photo left behind.
    const QString main = home.path() + QStringLiteral("/Pictures/Sorrelby/Main/05-01-2024");
    progress.fProgressString = QStringLiteral("Copying TO:\n ") + main + QStringLiteral("/B2001_DSC_0027.JPG");
    progress.fProgressItemString.clear();
    progress.buttonTitle = QStringLiteral("close");
    progress.fItemsProcessed = 27;
    progress.fCountString = QStringLiteral("27 of %1").arg(shoot->photos.size());
    progress.fPhotoInHand = QStringLiteral("B2001_DSC_0027.JPG");
    progress.fTimeLeftString = QStringLiteral("A few seconds left");
    progress.showChanged();
    dialog->adjustSize();
    ok = ok && save(dialog, out, QStringLiteral("progress-deliver.png"));
    DeliveryBatchResult batch;
    batch.destPath = main;
    batch.counters = {.moved = 29, .trashed = 5, .unassigned = 2, .total = 38, .allowed = 30};
    batch.unassignedPath = home.path() + QStringLiteral("/Pictures/Sorrelby/Main/UNASSIGNED_PHOTOS/05-01-2024");
    batch.keptCodePhotos = {QStringLiteral("B2003_DSC_0033-qrcode.JPG")};
    batch.failures = {QStringLiteral("not moved: B2002_DSC_0031.JPG: Permission denied")};
    DeliverySummary summary = makeDeliverySummary(batch.counters, false);
    Alert sheet;
    sheet.style = AlertStyle::Warning;
    sheet.messageText = summary.title;
    sheet.informativeText = summary.message + QStringLiteral("\n\n") + describeWhereabouts(batch).join(QLatin1Char('\n'));
    QtAlertPresenter sheets;
    sheets.beginSheet(sheet, dialog, {});
    settle();
    if (auto *box = dialog->findChild<QMessageBox *>()) {
        ok = ok && save(box, out, QStringLiteral("delivery-summary.png"));
        box->close();
    }
    dialog->hide();

    // Hot folder mode: red frame and the blinking label.
    Settings::shared().setValue(QStringLiteral("prefEnableHotFolderMode"), true);
    settle(300);
    ok = ok && save(&window, out, QStringLiteral("browser-hotfolder.png"));

    // The Preferences window: its folders and the daily sub-folder.
    Settings::shared().setValue(cPrefSourcePath, source);
    Settings::shared().setValue(cPrefDestinationPath, QString(home.path() + QStringLiteral("/Pictures/Sorrelby/Main")));
    Settings::shared().setValue(cPrefHotFolderPath, QString(home.path() + QStringLiteral("/Pictures/Sorrelby/Hot")));
    PreferencesViewController preferences;
    preferences.resize(720, 560);
    preferences.show();
    auto *tabs = preferences.findChild<QTabWidget *>(QStringLiteral("ibTabView1"));
    ok = ok && save(&preferences, out, QStringLiteral("preferences-folders.png"));
    if (tabs)
        tabs->setCurrentIndex(2);
    ok = ok && save(&preferences, out, QStringLiteral("preferences-delivery.png"));
    preferences.hide();

    // The first start: an empty source folder shows how photos come in.
    Settings::shared().setValue(QStringLiteral("prefEnableHotFolderMode"), false);
    const QString empty = home.path() + QStringLiteral("/Pictures/Sorrelby/Source");
    QDir().mkpath(empty);
    controller->pathtophotos = empty;
    const int reloads = controller->reloadCount();
    controller->refreshAllSections();
    ok = ok && waitUntil([&] { return controller->reloadCount() > reloads; });
    ok = ok && save(&window, out, QStringLiteral("browser-empty.png"));

    // The card window waiting for a card, and the relaunch time dialog.
    FakeVolumeMonitor volumes(home.path() + QStringLiteral("/volumes"));
    LoadCardViewController card(volumes, &window);
    card.show();
    waitUntil([] { return false; }, 300);
    ok = ok && save(&card, out, QStringLiteral("card.png"));
    card.hide();
    Settings::shared().setValue(QStringLiteral("prefDoDailyQuitRelaunch"), true);
    SetQuitRelaunchViewController relaunch([] { return QDateTime::currentDateTime(); }, &window);
    relaunch.show();
    ok = ok && save(&relaunch, out, QStringLiteral("relaunch-time.png"));
    return ok ? 0 : 1;
}
