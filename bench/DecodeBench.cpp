// bench-decode: how fast the decode passes go.
//   - the name-carrying pass over 2,000 photos (first run renames 1,800 of
//     them, a second run finds every name already right);
//   - the detecting pass over a generated shoot of 24 MP photos with one
//     detection worker and with two, with the share of readable cards found
//     (recall) and the share of photos that got exactly their expected name;
//   - the same pass with one worker, the shipped detection and the plain
//     search without closer looks side by side, twice each in turn: wall
//     rate and processor time per photo (the machine may be busy).
// Everything happens in a temporary folder; settings are isolated there too.

#include "bench/BenchRun.h"
#include "imaging/CodeDetection.h"
#include "naming/CardCode.h"
#include "naming/DecodePass.h"
#include "platform/FileOps.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>

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

    // Old and new in turn, so that both see the same load.
    const auto cpuSeconds = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    };
    struct Totals {
        double seconds = 0, cpu = 0;
        int photos = 0;
    };
    Totals plain, shipped;
    for (int round = 0; round < 4; ++round) {
        const bool isPlain = round % 2 == 0;
        const QString folder = linkedCopy(*shoot, root + QStringLiteral("/side%1").arg(round));
        QStringList paths;
        for (const testkit::ShootPhoto &photo : shoot->photos)
            paths << folder + QLatin1Char('/') + photo.fileName;
        DetectingPass pass(isPlain ? DetectingPass::Detector([](const QString &path) {
            DetectionOptions options;
            options.strategy = DetectionStrategy::RegionsWithoutEscalation;
            return codeFromDetection(detectCodes(path, options));
        })
                                   : DetectingPass::Detector());
        pass.setWorkerCount(1);
        const double cpuBefore = cpuSeconds();
        timer.restart();
        const DecodeSummary summary = pass.run(paths);
        Totals &totals = isPlain ? plain : shipped;
        totals.seconds += timer.nsecsElapsed() / 1e9;
        totals.cpu += cpuSeconds() - cpuBefore;
        totals.photos += summary.photos;
    }
    for (const auto &[name, totals] : {std::pair{"plain", plain}, std::pair{"shipped", shipped}}) {
        benchLine(QStringLiteral("decode_detect_24mp_1worker_%1").arg(QLatin1String(name)),
                  QString::number(totals.photos / std::max(1e-9, totals.seconds), 'f', 2), "photos/s");
        benchLine(QStringLiteral("decode_detect_24mp_cpu_ms_per_photo_%1").arg(QLatin1String(name)),
                  QString::number(1e3 * totals.cpu / std::max(1, totals.photos), 'f', 1), "ms");
    }
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
    detectingPass(quick ? 2 : 4, quick ? 2 : 5);
    return 0;
}
