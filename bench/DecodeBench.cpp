// bench-decode: how fast the decode passes go.
//   - the name-carrying pass over 2,000 photos (first run renames 1,800 of
//     them, a second run finds every name already right);
//   - the detecting pass over a generated shoot of 24 MP photos with one
//     detection worker and with two, with the share of readable cards found
//     (recall) and the share of photos that got exactly their expected name.
// Everything happens in a temporary folder; settings are isolated there too.

#include "bench/BenchRun.h"
#include "naming/DecodePass.h"
#include "platform/FileOps.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>

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
