// bench-roster: the roster check at the size of a large school day, 5,000
// subjects and 50,000 photos (a card and nine portraits each), without
// touching photo files:
//   - roster_update_ms: what the window runs on every reload: each photo's
//     code and card flag from its name (a NameReader that read the names at
//     the reload before, one in a hundred renamed since), then the check
//     against the roster (capture times and cameras are known by then);
//   - roster_update_cold_ms: the same with every name new (the first load,
//     or a reload after the whole folder was decoded again);
//   - roster_read_ms: reading the 5,000-row roster CSV;
//   - roster_report_csv_s / roster_report_json_s: the report of the 50,000
//     photos (metadata already read), checked and written to a file.
// The roster panel's share of a reload is measured by bench-roster-panel.
// Each figure is the median of seven runs.

#include "bench/BenchRun.h"
#include "browser/SectionItemModel.h"
#include "platform/FileOps.h"
#include "roster/ReportFiles.h"
#include "roster/RosterPanelModel.h"

#include <QElapsedTimer>

#include <algorithm>

using namespace sorrelby;
using sorrelby::bench::benchLine;
using sorrelby::bench::note;

namespace {

constexpr int cSubjects = 5000;
constexpr int cPhotosPerSubject = 10; // the card and nine portraits
constexpr int cTag = 1;

QString codeOf(int subject)
{
    return QStringLiteral("C%1").arg(subject, 5, 10, QLatin1Char('0'));
}

// The roster: every subject but the last ten, and twenty never photographed.
QByteArray rosterCsv()
{
    QByteArray csv = "Code;First Name;Last Name;Class;Notes\n";
    for (int s = 0; s < cSubjects - 10; ++s)
        csv += QStringLiteral("%1;Emma;Larsen %2;%3;\n").arg(codeOf(s)).arg(s).arg(s / 25).toUtf8();
    for (int s = 0; s < 20; ++s)
        csv += QStringLiteral("X%1;Noah;Berg;absent;\n").arg(s).toUtf8();
    return csv;
}

struct Photo {
    QString name;
    qint64 captureMs;
};

std::vector<Photo> shootPhotos()
{
    std::vector<Photo> photos;
    photos.reserve(size_t(cSubjects) * cPhotosPerSubject);
    const qint64 start = QDateTime(QDate(2024, 5, 1), QTime(8, 0)).toMSecsSinceEpoch();
    for (int s = 0; s < cSubjects; ++s) {
        for (int k = 0; k < cPhotosPerSubject; ++k) {
            const int frame = s * cPhotosPerSubject + k + 1;
            const QString camera = QStringLiteral("DSC_%1").arg(frame, 5, 10, QLatin1Char('0'));
            photos.push_back({codeOf(s) + u'_' + camera + (k == 0 ? QStringLiteral("-qrcode.JPG") : QStringLiteral(".JPG")),
                              start + qint64(frame) * 2000});
        }
    }
    return photos;
}

template<typename Work> double medianMs(int runs, Work work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    bench::IsolatedRun run(argc, argv, "roster");
    if (!run.isValid())
        return 1;

    const QByteArray csv = rosterCsv();
    Roster roster;
    benchLine("roster_read_ms", medianMs(7, [&] { roster = Roster::fromCsv(csv); }), "ms");
    if (!roster.isUsable() || roster.subjects.size() != size_t(cSubjects + 10)) {
        note(QStringLiteral("the roster did not read: %1 rows").arg(roster.subjects.size()));
        return 1;
    }

    std::vector<Photo> photos = shootPhotos();
    ShootCheck check;
    const auto update = [&](NameReader &names) {
        QStringList fileNames;
        fileNames.reserve(qsizetype(photos.size()));
        for (const Photo &photo : photos)
            fileNames.append(photo.name);
        std::vector<CheckedPhoto> checked = names.read(fileNames);
        for (size_t i = 0; i < photos.size(); ++i)
            checked[i].captureMs = photos[i].captureMs;
        check = checkShoot(&roster, checked);
    };
    benchLine("roster_update_cold_ms",
              medianMs(7,
                       [&] {
                           NameReader names(cTag);
                           update(names);
                       }),
              "ms");
    NameReader names(cTag);
    update(names);
    int round = 0;
    const double warm = medianMs(7, [&] {
        // One photo in a hundred reassigned since the last reload.
        for (size_t i = size_t(round++); i < photos.size(); i += 100)
            photos[i].name = QStringLiteral("R%1_").arg(round) + photos[i].name.section(u'_', 1);
        update(names);
    });
    benchLine("roster_update_ms", warm, "ms");
    photos = shootPhotos();
    update(names);
    if (check.missing != 20 || check.notOnRoster != 10 || check.subjectOfPhoto.size() != photos.size())
        note(QStringLiteral("unexpected check: ") + check.summary());

    // The report's photos as reading the folder would give them.
    auto shared = std::make_shared<const Roster>(roster);
    std::vector<ReportPhoto> reportPhotos;
    reportPhotos.reserve(photos.size());
    for (const Photo &photo : photos) {
        ReportPhoto p;
        p.path = QStringLiteral("/shoot/") + photo.name;
        p.fileName = photo.name;
        const CheckedPhoto c = checkedPhotoFromName(photo.name, cTag);
        p.code = c.code;
        p.isCard = c.isCard;
        p.captureTime = QDateTime::fromMSecsSinceEpoch(photo.captureMs);
        p.camera = QStringLiteral("NIKON3012345");
        reportPhotos.push_back(std::move(p));
    }
    const QString output = run.root() + QStringLiteral("/report");
    const auto write = [&](ReportFormat format) {
        const ShootReport report = makeShootReport(QStringLiteral("/shoot"), shared, reportPhotos);
        const QByteArray bytes = format == ReportFormat::Csv ? reportCsv(report) : reportJson(report);
        if (!fileops::writeFileAtomically(output, bytes))
            note(QStringLiteral("could not write ") + output);
    };
    benchLine("roster_report_csv_s", medianMs(7, [&] { write(ReportFormat::Csv); }) / 1000.0, "s");
    benchLine("roster_report_json_s", medianMs(7, [&] { write(ReportFormat::Json); }) / 1000.0, "s");

    return 0;
}
