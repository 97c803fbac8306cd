// bench-share: delivering a shoot of 200 photos of 6 MB into a main folder on
// a FUSE share (bindfs over a folder of the build disk, standing in for a
// file server) and, in the same run, into a folder of that disk itself. The
// shoot starts on /dev/shm where writable (both deliveries then copy across
// file systems and read each copy back), else in the build folder.
//   BENCH share_local_photos_per_s, share_fuse_photos_per_s
//   BENCH share_ratio_to_local  (share / local; 1.0 = no cost of the share)
// Needs root and bindfs; says so and ends without figures otherwise.
// Arguments: [photos] [megabytes per photo] (default 200 6).

#include "bench/BenchRun.h"
#include "delivery/DeliveryRun.h"
#include "settings/SettingsKeys.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <algorithm>
#include <cstring>
#include <unistd.h>

using namespace sorrelby;
using sorrelby::bench::benchLine;
using sorrelby::bench::note;

namespace {

bool run(const QString &program, const QStringList &args)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, args);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool writeShoot(const QString &folder, int photos, qint64 bytes)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    QByteArray data(bytes, '\0');
    // A JPEG's start and frame header, so the listing takes the noise for a photo.
    const QByteArray head("\xFF\xD8\xFF\xC0\x00\x0B\x08\x00\x01\x00\x01\x01\x01\x11\x00", 15);
    data.replace(0, head.size(), head);
    QRandomGenerator random(11);
    for (qsizetype i = head.size(); i + 4 <= data.size(); i += 4) {
        const quint32 word = random.generate();
        std::memcpy(data.data() + i, &word, 4);
    }
    for (int i = 1; i <= photos; ++i) {
        const QByteArray tag = QByteArray::number(i).rightJustified(8, '0');
        data.replace(data.size() - tag.size(), tag.size(), tag);
        QFile file(folder + QStringLiteral("/SCH7:%1_DSC_%2.JPG").arg(1000 + i % 20).arg(i, 4, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
            return false;
    }
    return true;
}

// Photos per second of one delivery of the shoot into `main`.
double deliverInto(const QString &source, const QString &main, int photos)
{
    DeliveryRun delivery(Settings::shared());
    delivery.fSrcPath = source;
    delivery.fDestPath = main;
    delivery.fMainFolderPath = main;
    delivery.setPauseSeconds(0);
    QElapsedTimer clock;
    clock.start();
    const DeliveryRunResult result = delivery.finishProcessxxx();
    const double seconds = clock.nsecsElapsed() / 1e9;
    int moved = 0;
    for (const DeliveryBatchResult &batch : result.batches)
        moved += batch.counters.moved;
    if (moved != photos) {
        note(QStringLiteral("delivered %1 of %2 photos into %3").arg(moved).arg(photos).arg(main));
        return 0;
    }
    return photos / seconds;
}

} // namespace

int main(int argc, char **argv)
{
    bench::IsolatedRun isolated(argc, argv, "share");
    const QStringList args = QCoreApplication::arguments();
    const int photos = args.size() > 1 ? args[1].toInt() : 200;
    const qint64 bytes = (args.size() > 2 ? args[2].toLongLong() : 6) * 1000000;
    if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("bindfs")).isEmpty()) {
        note(QStringLiteral("bench-share needs root and bindfs (scripts/install-deps): no figures"));
        return 0;
    }
    Settings &settings = Settings::shared();
    settings.setValue(cPrefOriginalNameFormatTag, 1);
    settings.setValue(cPrefEnableHotFolderMode, false);
    settings.setValue(cPrefCheckForMultiCameras, false);

    const QString work = QStringLiteral(SORRELBY_BENCH_CACHE "/share-") + QString::number(::getpid());
    QString shootRoot = QStringLiteral("/dev/shm/sorrelby-bench-share-") + QString::number(::getpid());
    if (!QDir().mkpath(shootRoot))
        shootRoot = work + QStringLiteral("/shoot");
    const QString server = work + QStringLiteral("/server");
    const QString share = work + QStringLiteral("/share");
    const QString local = work + QStringLiteral("/local");
    QDir().mkpath(server);
    QDir().mkpath(share);
    struct Cleanup {
        QStringList folders;
        QString mount;
        ~Cleanup()
        {
            run(QStringLiteral("umount"), {mount});
            for (const QString &folder : folders)
                QDir(folder).removeRecursively();
        }
    } cleanup{{shootRoot, work}, share};
    if (!run(QStringLiteral("bindfs"), {server, share})) {
        note(QStringLiteral("bindfs could not mount here: no figures"));
        return 0;
    }
    note(QStringLiteral("%1 photos of %2 MB from %3").arg(photos).arg(bytes / 1000000).arg(shootRoot));

    double bestLocal = 0;
    double bestShare = 0;
    for (int round = 0; round < 2; ++round) {
        for (const bool onShare : {false, true}) {
            const QString source = shootRoot + QStringLiteral("/source");
            if (!writeShoot(source, photos, bytes))
                return 1;
            const QString main = onShare ? share + QStringLiteral("/main") : local;
            QDir(onShare ? server + QStringLiteral("/main") : local).removeRecursively();
            QDir().mkpath(main);
            const double rate = deliverInto(source, main, photos);
            if (rate <= 0)
                return 1;
            (onShare ? bestShare : bestLocal) = std::max(onShare ? bestShare : bestLocal, rate);
            note(QStringLiteral("round %1 %2: %3 photos/s")
                     .arg(round + 1)
                     .arg(onShare ? QStringLiteral("share") : QStringLiteral("local"))
                     .arg(rate, 0, 'f', 1));
        }
    }
    benchLine("share_local_photos_per_s", bestLocal, "photos/s");
    benchLine("share_fuse_photos_per_s", bestShare, "photos/s");
    benchLine("share_ratio_to_local", bestShare / bestLocal, "x");
    return 0;
}
