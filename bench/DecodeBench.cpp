// bench-decode: how fast the decode passes go.
//   - the name-carrying pass over 2,000 photos (first run renames 1,800 of
//     them, a second run finds every name already right);
//   - the detecting pass over a generated shoot of 24 MP photos (one card in
//     ten) with one detection worker and with two, with the share of
//     readable cards found (recall) and the share of photos that got exactly
//     their expected name;
//   - side by side on the same files, in turns so that all see the same
//     load, two workers each: the floor (every photo decoded at 1/8 and
//     nothing else), the detecting pass with the screen (shipped), the same
//     with the half-size region search it replaced, and the naive full-size
//     reader over the first photos. Printed: rates, the shipped pass as a
//     share of the floor and as a multiple of the region search, processor
//     time per photo split into decoding, screening and closer looks, and
//     resident memory per worker.
// Everything happens in a temporary folder; settings are isolated there too.

#include "bench/BenchRun.h"
#include "imaging/CodeDetection.h"
#include "imaging/LumaImage.h"
#include "naming/CardCode.h"
#include "naming/DecodePass.h"
#include "platform/FileOps.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMutex>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrent>

#include <sys/resource.h>
#include <unistd.h>

using namespace sorrelby;
using sorrelby::bench::benchLine;
using sorrelby::bench::note;

namespace {

void nameCarryingPass(const QString &root)
{
    const QString folder = root + QStringLiteral("/names");
    QDir().mkpath(folder);
    const QDateTime start(QDate(2024, 5, 1), QTime(9, 0, 0));
    const QByteArray content(4096, 'x');
    QStringList paths;
    for (int i = 0; i < 2000; ++i) {
        const QString camera = QStringLiteral("DSC_%1").arg(i + 1, 4, 10, QLatin1Char('0'));
        const QString name = i % 10 == 0 ? QStringLiteral("S%1_%2-qrcode.JPG").arg(i / 10 + 1, 3, 10, QLatin1Char('0')).arg(camera)
                                         : camera + QStringLiteral(".JPG");
        const QString path = folder + QLatin1Char('/') + name;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
            note(QStringLiteral("cannot write ") + path);
            return;
        }
        file.close();
        fileops::setModificationDate(path, start.addSecs(i));
        paths << path;
    }

    QElapsedTimer timer;
    timer.start();
    NameCarryingPass first;
    first.doAutoDecodeQRAction3(paths);
    const double firstSeconds = timer.nsecsElapsed() / 1e9;
    if (first.summaries().value(0).renamed != 1800)
        note(QStringLiteral("name-carrying pass renamed %1 photos, expected 1800").arg(first.summaries().value(0).renamed));
    benchLine("decode_name_carrying_2000", 2000 / firstSeconds, "photos/s");

    QStringList renamed;
    for (const QString &name : QDir(folder).entryList(QDir::Files))
        renamed << folder + QLatin1Char('/') + name;
    timer.restart();
    NameCarryingPass second;
    second.doAutoDecodeQRAction3(renamed);
    benchLine("decode_name_carrying_2000_rerun", 2000 / (timer.nsecsElapsed() / 1e9), "photos/s");
}

// A copy of the shoot made of hard links, so each run starts from camera names.
QString linkedCopy(const testkit::Shoot &shoot, const QString &folder)
{
    QDir().mkpath(folder);
    for (const testkit::ShootPhoto &photo : shoot.photos) {
        const QByteArray from = QFile::encodeName(shoot.folder + QLatin1Char('/') + photo.fileName);
        const QByteArray to = QFile::encodeName(folder + QLatin1Char('/') + photo.fileName);
        if (::link(from.constData(), to.constData()) != 0)
            QFile::copy(QString::fromLocal8Bit(from), QString::fromLocal8Bit(to));
    }
    return folder;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// VmRSS or VmHWM (the peak since the last resetResidentPeak) in MB.
double residentMegabytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field)) + 1).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

void resetResidentPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

struct Totals {
    double seconds = 0, cpu = 0;
    int photos = 0;
    // Summed over the photos, from the detection's own stopwatches.
    double decodeMs = 0, closeDecodeMs = 0, screenMs = 0, searchMs = 0;
    double rate() const { return photos / std::max(1e-9, seconds); }
};

// The floor: every photo read and decoded at 1/8 with two workers, nothing else.
void floorRun(const QStringList &paths, Totals &totals)
{
    QThreadPool pool;
    pool.setMaxThreadCount(2);
    const double cpuBefore = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    QtConcurrent::blockingMap(&pool, paths, [](const QString &path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return;
        QString error;
        if (decodeLuma(file.readAll(), 8, &error).isNull())
            note(QStringLiteral("bench-decode: cannot decode ") + path + QStringLiteral(": ") + error);
    });
    totals.seconds += timer.nsecsElapsed() / 1e9;
    totals.cpu += cpuSeconds() - cpuBefore;
    totals.photos += int(paths.size());
}

// The detecting pass over `paths` with two workers and one strategy.
void passRun(const QStringList &paths, DetectionStrategy strategy, Totals &totals)
{
    QMutex mutex;
    DetectingPass pass([&](const QString &path) {
        DetectionOptions options;
        options.strategy = strategy;
        const DetectionResult result = detectCodes(path, options);
        const QMutexLocker locker(&mutex);
        totals.decodeMs += result.decodeMs;
        totals.closeDecodeMs += result.closeDecodeMs;
        totals.screenMs += result.screenMs;
        totals.searchMs += result.searchMs;
        return codeFromDetection(result);
    });
    pass.setWorkerCount(2);
    const double cpuBefore = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    const DecodeSummary summary = pass.run(paths);
    totals.seconds += timer.nsecsElapsed() / 1e9;
    totals.cpu += cpuSeconds() - cpuBefore;
    totals.photos += summary.photos;
}

QStringList pathsIn(const testkit::Shoot &shoot, const QString &folder, int count = -1)
{
    QStringList paths;
    for (const testkit::ShootPhoto &photo : shoot.photos) {
        if (count >= 0 && paths.size() >= count)
            break;
        paths << folder + QLatin1Char('/') + photo.fileName;
    }
    return paths;
}

void sideBySide(const testkit::Shoot &shoot, const QString &root)
{
    Totals floor, screened, regions, naive;
    // The floor's files, read once so that every run finds them cached.
    const QStringList cached = pathsIn(shoot, shoot.folder);
    floorRun(cached, floor);
    floor = {};
    double residentBefore = 0, residentScreened = 0;
    for (int round = 0; round < 2; ++round) {
        floorRun(cached, floor);
        if (round == 0) {
            resetResidentPeak();
            residentBefore = residentMegabytes("VmRSS:");
        }
        passRun(pathsIn(shoot, linkedCopy(shoot, root + QStringLiteral("/screened%1").arg(round))), DetectionStrategy::Screened, screened);
        if (round == 0)
            residentScreened = residentMegabytes("VmHWM:");
        passRun(pathsIn(shoot, linkedCopy(shoot, root + QStringLiteral("/regions%1").arg(round))), DetectionStrategy::Regions, regions);
    }
    // The naive reader is slow: the first photos only.
    passRun(pathsIn(shoot, linkedCopy(shoot, root + QStringLiteral("/naive")), 20), DetectionStrategy::Naive, naive);

    const auto rateLine
        = [](const char *name, const Totals &totals) { benchLine(name, QString::number(totals.rate(), 'f', 2), "photos/s"); };
    rateLine("detect_floor_photos_s", floor);
    rateLine("decode_detect_24mp_2workers_screened", screened);
    rateLine("decode_detect_24mp_2workers_regions", regions);
    rateLine("decode_detect_24mp_2workers_naive", naive);
    benchLine("detect_ratio_to_floor", QString::number(screened.rate() / std::max(1e-9, floor.rate()), 'f', 2), "(target >= 0.6)");
    benchLine("detect_speedup_vs_regions", QString::number(screened.rate() / std::max(1e-9, regions.rate()), 'f', 2), "x (target >= 1.7)");
    for (const auto &[name, totals] :
         {std::pair{"floor", floor}, std::pair{"screened", screened}, std::pair{"regions", regions}, std::pair{"naive", naive}}) {
        const double photos = std::max(1, totals.photos);
        benchLine(QStringLiteral("decode_detect_24mp_cpu_ms_per_photo_%1").arg(QLatin1String(name)),
                  QString::number(1e3 * totals.cpu / photos, 'f', 1), "ms");
        if (totals.decodeMs <= 0)
            continue;
        benchLine(QStringLiteral("decode_detect_24mp_split_ms_%1").arg(QLatin1String(name)),
                  QStringLiteral("decode %1 (close look %2) screen %3 close-look search %4")
                      .arg(totals.decodeMs / photos, 0, 'f', 1)
                      .arg(totals.closeDecodeMs / photos, 0, 'f', 1)
                      .arg(totals.screenMs / photos, 0, 'f', 1)
                      .arg(totals.searchMs / photos, 0, 'f', 1),
                  "ms/photo");
    }
    benchLine("decode_detect_rss_mb_per_worker", QString::number(std::max(0.0, residentScreened - residentBefore) / 2, 'f', 0),
              "MB (peak above the idle process, per worker; target <= 150)");
}

void detectingPass(int subjects, int photosPerSubject)
{
    testkit::ShootSpec spec;
    spec.subjects = subjects;
    spec.photosPerSubject = photosPerSubject;
    spec.size = QSize(6000, 4000);
    const std::optional<testkit::Shoot> shoot
        = bench::cachedShoot(QStringLiteral("decode-shoot-%1x%2").arg(subjects).arg(photosPerSubject), spec);
    if (!shoot) {
        note(QStringLiteral("could not generate the shoot"));
        return;
    }
    // Runs work on hard links beside the cache (same file system).
    const QString root = QStringLiteral(SORRELBY_BENCH_CACHE "/decode-runs-%1").arg(QCoreApplication::applicationPid());
    QElapsedTimer timer;

    const int cores = QThread::idealThreadCount();
    for (int workers : {1, 2}) {
        if (workers > cores)
            break;
        const QString folder = linkedCopy(*shoot, root + QStringLiteral("/run%1").arg(workers));
        QStringList paths;
        for (const testkit::ShootPhoto &photo : shoot->photos)
            paths << folder + QLatin1Char('/') + photo.fileName;
        DetectingPass pass;
        pass.setWorkerCount(workers);
        timer.restart();
        const DecodeSummary summary = pass.run(paths);
        const double seconds = timer.nsecsElapsed() / 1e9;
        benchLine(workers == 1 ? "decode_detect_24mp_1worker" : "decode_detect_24mp_2workers", summary.photos / seconds, "photos/s");

        int cards = 0, found = 0, exact = 0;
        for (const testkit::ShootPhoto &photo : shoot->photos) {
            const bool named = QFile::exists(folder + QLatin1Char('/') + photo.expectedName);
            exact += named ? 1 : 0;
            if (photo.isCard && photo.readableCard) {
                ++cards;
                found += named ? 1 : 0;
            }
        }
        if (workers == 1) {
            benchLine("decode_detect_24mp_recall", cards ? double(found) / cards : 1.0, "ratio");
            benchLine("decode_detect_24mp_exact_names", double(exact) / shoot->photos.size(), "ratio");
        }
    }

    sideBySide(*shoot, root);
    QDir(root).removeRecursively();
}

} // namespace

int main(int argc, char **argv)
{
    bench::IsolatedRun run(argc, argv, "decode");
    if (!run.isValid())
        return 1;
    const QString root = run.root();

    nameCarryingPass(root);
    // BENCH_QUICK=1 keeps the detecting pass short for a smoke run.
    const bool quick = qEnvironmentVariableIntValue("BENCH_QUICK") == 1;
    detectingPass(quick ? 2 : 10, quick ? 2 : 9);
    return 0;
}
