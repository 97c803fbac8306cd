// bench-roster-panel: what a reload of a large school day costs the GUI
// thread in the roster panel and the section headers, 5,000 subjects and
// 50,000 photos (a card and nine portraits each), the panel and the grid on
// screen (offscreen):
//   - roster_panel_snapshot_ms: the check, the panel's rows and the headers'
//     names, made on a worker thread at every reload (names already read);
//   - roster_panel_gui_ms: the GUI thread's part: the new rows swapped into
//     the panel's model, the names handed to the grid's model, and the event
//     loop run until both views have laid out and painted.
// Each figure is the median of seven runs; the worst run is given too.

#include "bench/BenchOutput.h"
#include "browser/SectionItemModel.h"
#include "browser/widgets/PhotoCellDelegate.h"
#include "browser/widgets/SectionGridView.h"
#include "roster/RosterPanelModel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>

#include <algorithm>

using namespace sorrelby;
using sorrelby::bench::benchLine;
using sorrelby::bench::note;

namespace {

constexpr int cSubjects = 5000;
constexpr int cPhotosPerSubject = 10;
constexpr int cTag = 1;

QString codeOf(int subject)
{
    return QStringLiteral("C%1").arg(subject, 5, 10, QLatin1Char('0'));
}

std::shared_ptr<const Roster> roster()
{
    QByteArray csv = "Code;First Name;Last Name;Class\n";
    for (int s = 0; s < cSubjects - 10; ++s)
        csv += QStringLiteral("%1;Emma;Larsen %2;%3\n").arg(codeOf(s)).arg(s).arg(s / 25).toUtf8();
    for (int s = 0; s < 20; ++s)
        csv += QStringLiteral("X%1;Noah;Berg;absent\n").arg(s).toUtf8();
    return std::make_shared<const Roster>(Roster::fromCsv(csv));
}

template<typename Work> std::pair<double, double> medianAndWorstMs(int runs, Work work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work(i);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.back()};
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(bench::quietLog);
    QApplication app(argc, argv);
    bench::coresLine("roster_panel");

    const std::shared_ptr<const Roster> list = roster();
    QStringList paths;
    std::vector<CheckedPhoto> photos;
    std::vector<int> sections;
    const qint64 start = QDateTime(QDate(2024, 5, 1), QTime(8, 0)).toMSecsSinceEpoch();
    for (int s = 0; s < cSubjects; ++s) {
        for (int k = 0; k < cPhotosPerSubject; ++k) {
            const int frame = s * cPhotosPerSubject + k + 1;
            const QString name = codeOf(s) + QStringLiteral("_DSC_%1").arg(frame, 5, 10, QLatin1Char('0'))
                + (k == 0 ? QStringLiteral("-qrcode.JPG") : QStringLiteral(".JPG"));
            paths.append(QStringLiteral("/shoot/") + name);
            CheckedPhoto photo = checkedPhotoFromName(name, cTag);
            photo.captureMs = start + qint64(frame) * 2000;
            photos.push_back(photo);
            sections.push_back(s);
        }
    }

    std::vector<std::shared_ptr<RosterSnapshot>> fresh;
    const auto [snapshotMs, snapshotWorst]
        = medianAndWorstMs(7, [&](int) { fresh.push_back(std::make_shared<RosterSnapshot>(makeRosterSnapshot(photos, sections, list))); });
    benchLine("roster_panel_snapshot_ms", snapshotMs, "ms");
    // Each reload brings names the grid has not shown yet (equal ones are skipped).
    for (size_t i = 0; i < fresh.size(); ++i)
        fresh[i]->subjectLabels.insert(codeOf(0), QString::number(i));

    auto loader = std::make_shared<ImageDirectoryLoader>();
    loader->setupDataForUrls(paths);
    SectionItemModel gridModel;
    gridModel.setLoader(loader);
    SectionGridView grid;
    grid.setItemDelegate(new PhotoCellDelegate(&grid));
    grid.setSectionModel(&gridModel);
    grid.resize(1100, 900);
    grid.show();
    RosterPanelModel panelModel;
    QListView panel;
    panel.setUniformItemSizes(true);
    panel.setModel(&panelModel);
    panel.resize(300, 900);
    panel.show();
    panelModel.setSnapshot(fresh.back());
    QCoreApplication::processEvents();

    const auto [guiMs, guiWorst] = medianAndWorstMs(7, [&](int i) {
        panelModel.setSnapshot(fresh[size_t(i)]);
        gridModel.setSubjectLabels(fresh[size_t(i)]->subjectLabels);
        // Layout and paint of both views, as the event loop runs them next.
        QCoreApplication::processEvents();
        panel.viewport()->repaint();
        grid.viewport()->repaint();
    });
    benchLine("roster_panel_gui_ms", guiMs, "ms");
    benchLine("roster_panel_gui_worst_ms", guiWorst, "ms");
    if (panelModel.rowCount() < cSubjects)
        note(QStringLiteral("unexpected panel: %1 rows").arg(panelModel.rowCount()));
    return 0;
}
