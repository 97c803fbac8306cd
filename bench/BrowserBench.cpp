// bench-browser: the browser window on a 5,000-photo shoot whose photos carry
// embedded previews, as cameras write them. Prints
//   BENCH browser_first_screen     load to the first screen of thumbnails painted
//   BENCH browser_stall_load       longest GUI stall while that happens
//   BENCH browser_stall_scroll     longest GUI stall scrolling top to bottom
//   BENCH browser_reload_rename    a drop (a journalled rename) to its reloaded screen painted
//   BENCH browser_reload_undo      the undo of that drop to its reloaded screen painted
//   BENCH browser_rss_all          resident memory with every thumbnail loaded
// The stall is the lateness of a 10 ms timer on the GUI thread.

#include "app/MainWindow.h"
#include "bench/BenchRun.h"
#include "bench/GuiBench.h"
#include "browser/SectionItemModel.h"
#include "browser/widgets/BrowserView.h"
#include "browser/widgets/SectionGridView.h"
#include "imaging/PhotoMetadata.h"
#include "platform/Dispatch.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <functional>

#include <unistd.h>

using namespace sorrelby;
using namespace sorrelby::bench;

namespace {

// When the grid was last painted and when its last thumbnail arrived.
class PaintCounter : public QObject {
public:
    PaintCounter() { clock.start(); }
    QElapsedTimer clock;
    qint64 lastPaint = -1;
    qint64 lastThumbnail = -1;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            lastPaint = clock.nsecsElapsed();
        return false;
    }
};

bool screenHasThumbnails(BrowserView *browser)
{
    const QList<int> rows = browser->grid()->visibleRows();
    if (rows.isEmpty())
        return false;
    for (const int row : rows) {
        if (browser->controller()->model()->index(row).data(Qt::DecorationRole).value<QImage>().isNull())
            return false;
    }
    return true;
}

// From now until the screen shows every thumbnail it needs and has been
// painted after that; seconds.
double timeToPaintedScreen(BrowserView *browser, PaintCounter &counter, const std::function<void()> &start, int reloadsBefore)
{
    const qint64 started = counter.clock.nsecsElapsed();
    start();
    if (!spinUntil([&] { return browser->controller()->reloadCount() > reloadsBefore && screenHasThumbnails(browser); }))
        return -1;
    // The paint that shows the last of them.
    if (!spinUntil([&] { return counter.lastPaint > counter.lastThumbnail; }))
        return -1;
    return (counter.lastPaint - started) / 1e9;
}

double residentMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir root;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.path() + QStringLiteral("/config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.path() + QStringLiteral("/data")));
    qInstallMessageHandler(quietLog);
    QApplication app(argc, argv);
    Settings::shared().registerFactoryDefaults();
    initializeMetadataLibrary();
    coresLine("browser");

    testkit::ShootSpec spec;
    spec.subjects = 500;
    spec.photosPerSubject = 9;
    spec.size = QSize(1200, 800);
    const std::optional<testkit::Shoot> shoot = cachedShoot(QStringLiteral("browser-5000"), spec);
    if (!shoot)
        return 1;
    // The shoot as the browser sees it after decoding: hard links under the
    // decoded names, so the cached corpus keeps its camera names.
    const QString folder = QStringLiteral(SORRELBY_BENCH_CACHE "/browser-5000-decoded");
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    for (const testkit::ShootPhoto &photo : shoot->photos) {
        const QByteArray from = QFile::encodeName(shoot->folder + QLatin1Char('/') + photo.fileName);
        const QByteArray to = QFile::encodeName(folder + QLatin1Char('/') + photo.expectedName);
        if (::link(from.constData(), to.constData()) != 0) {
            note(QStringLiteral("cannot link ") + photo.fileName);
            return 1;
        }
    }
    note(QStringLiteral("%1 photos").arg(shoot->photos.size()));

    SerialQueue work(QStringLiteral("com.halvane.vemo.sorrelby.decodequeue"));
    MainWindow window(nullptr, &work);
    window.resize(1400, 900);
    window.show();
    BrowserView *browser = window.browser();
    ViewController *controller = browser->controller();
    // The engine's refresh after an undo reaches the window through these.
    controller->registerObservers();
    SectionGridView *grid = browser->grid();
    PaintCounter counter;
    grid->viewport()->installEventFilter(&counter);
    QObject::connect(controller->model(), &SectionItemModel::thumbnailArrived,
                     [&] { counter.lastThumbnail = counter.clock.nsecsElapsed(); });
    spinUntil([] { return false; }, 300); // the window settles

    StallMeter stall;
    controller->pathtophotos = folder;
    stall.start();
    const double first = timeToPaintedScreen(
        browser, counter, [&] { controller->refreshAllSections(); }, 0);
    const double loadStall = stall.stop();
    benchLine("browser_first_screen", first * 1000, "ms");
    benchLine("browser_stall_load", loadStall, "ms");

    // Top to bottom, a quarter screen every 16 ms, as a fast wheel does.
    stall.start();
    QScrollBar *bar = grid->verticalScrollBar();
    QElapsedTimer scrollTime;
    scrollTime.start();
    QTimer scroller;
    QObject::connect(&scroller, &QTimer::timeout, [&] { bar->setValue(bar->value() + bar->pageStep() / 4); });
    scroller.start(16);
    spinUntil([&] { return bar->value() >= bar->maximum(); });
    scroller.stop();
    spinUntil([&] { return screenHasThumbnails(browser); });
    const double scrollStall = stall.stop();
    benchLine("browser_stall_scroll", scrollStall, "ms");
    note(QStringLiteral("scrolled %1 px in %2 s").arg(bar->maximum()).arg(scrollTime.elapsed() / 1000.0));

    // A drop onto the next section (renamed and written to the undo journal
    // on the work queue), then the full reload it brings; then its undo.
    bar->setValue(0);
    spinUntil([&] { return screenHasThumbnails(browser); });
    const QString dropped = controller->model()->index(1).data(SectionItemModel::FilePathRole).toString();
    int reloads = controller->reloadCount();
    const double reload = timeToPaintedScreen(
        browser, counter, [&] { controller->acceptDrop({QUrl::fromLocalFile(dropped).toString()}, 1); }, reloads);
    benchLine("browser_reload_rename", reload * 1000, "ms");
    spinUntil([&] { return !controller->isLoading(); });
    reloads = controller->reloadCount();
    const double undone = timeToPaintedScreen(
        browser, counter, [&] { controller->undo(); }, reloads);
    benchLine("browser_reload_undo", undone * 1000, "ms");
    if (!QFileInfo::exists(dropped))
        note(QStringLiteral("the undo did not bring back ") + dropped);

    // Every thumbnail.
    SectionItemModel *model = controller->model();
    QList<int> all;
    for (int row = 0; row < model->rowCount(); ++row) {
        if (!model->isHeaderRow(row))
            all << row;
    }
    model->requestThumbnails(all, false);
    spinUntil([&] {
        for (const int row : all) {
            if (model->index(row).data(Qt::DecorationRole).value<QImage>().isNull())
                return false;
        }
        return true;
    });
    benchLine("browser_rss_all", residentMegabytes(), "MB");
    return 0;
}
