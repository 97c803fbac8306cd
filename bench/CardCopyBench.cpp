// bench-card: copying a camera card of 500 photos of 9 MB from one file
// system to another, side by side with `cp -r` of the same files in the same
// run. The card is a loop-mounted image in the build folder when this process
// may mount one (root, loop devices), else a folder on the build folder's
// disk; the target is /dev/shm when it is writable, else the build folder.
// The card is mounted again before every copy, so each starts with the
// card's pages out of memory. `cp -r` is followed by a sync of the target's
// file system, since a card copy counts only once it is on disk.
//   BENCH card_copy_seconds, card_cp_seconds, card_copy_mb_per_s
//   BENCH card_copy_ratio_to_cp  (cp's time / ours; target >= 0.9)
// Arguments: [photos] [megabytes per photo] (default 500 9).

#include "bench/BenchRun.h"
#include "intake/CardCopy.h"
#include "tests/testkit/photos/PhotoGenerator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <algorithm>
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

// One camera JPEG padded to `bytes` (cameras pad too), kept in the cache.
QByteArray photoBytes(qint64 bytes)
{
    const QString cached = QStringLiteral(SORRELBY_BENCH_CACHE "/card-photo-%1.jpg").arg(bytes);
    QFile file(cached);
    if (file.open(QIODevice::ReadOnly) && file.size() == bytes)
        return file.readAll();
    note(QStringLiteral("generating the card photo into %1 ...").arg(cached));
    testkit::PhotoSpec spec;
    spec.size = QSize(3000, 2000);
    spec.exif.camera = testkit::nikonCamera();
    spec.exif.captureTime = QDateTime(QDate(2024, 5, 1), QTime(9, 0));
    QByteArray jpeg = testkit::makeJpeg(testkit::makeBackground(spec.size, 1), spec.exif);
    QRandomGenerator random(7);
    while (jpeg.size() < bytes) {
        const quint32 word = random.generate();
        jpeg.append(reinterpret_cast<const char *>(&word), int(std::min<qint64>(4, bytes - jpeg.size())));
    }
    jpeg.truncate(bytes);
    QDir().mkpath(QStringLiteral(SORRELBY_BENCH_CACHE));
    testkit::writeFileBytes(cached, jpeg);
    return jpeg;
}

class Card {
public:
    Card(const QString &work, qint64 totalBytes)
        : m_mountPoint(work + QStringLiteral("/card"))
    {
        QDir().mkpath(m_mountPoint);
        const QString mkfs = QStandardPaths::findExecutable(QStringLiteral("mke2fs"));
        if (::geteuid() != 0 || mkfs.isEmpty() || !QFile::exists(QStringLiteral("/dev/loop-control")))
            return;
        m_image = QStringLiteral(SORRELBY_BENCH_CACHE "/card.img");
        QFile::remove(m_image);
        QFile image(m_image);
        if (!image.open(QIODevice::WriteOnly) || !image.resize(totalBytes + totalBytes / 10 + (64 << 20)))
            return;
        image.close();
        m_loop = run(mkfs, {QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("-t"), QStringLiteral("ext2"), m_image}) && mount();
    }
    ~Card()
    {
        if (m_loop)
            run(QStringLiteral("umount"), {m_mountPoint});
        if (!m_image.isEmpty())
            QFile::remove(m_image);
    }
    bool mount() { return run(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("loop"), m_image, m_mountPoint}); }
    // Out of memory again: unmounting drops the card's cached pages.
    bool cool()
    {
        if (!m_loop)
            return true;
        return run(QStringLiteral("umount"), {m_mountPoint}) && mount();
    }
    QString folder() const { return m_mountPoint; }
    bool isLoop() const { return m_loop; }

private:
    QString m_mountPoint;
    QString m_image;
    bool m_loop = false;
};

} // namespace

int main(int argc, char **argv)
{
    bench::IsolatedRun benchRun(argc, argv, "card");
    const QStringList args = QCoreApplication::arguments();
    const int photos = args.size() > 1 ? args[1].toInt() : 500;
    const qint64 bytes = (args.size() > 2 ? args[2].toLongLong() : 9) * 1000000;
    if (!benchRun.isValid() || photos < 1 || bytes < 100000)
        return 1;

    const QString work = QStringLiteral(SORRELBY_BENCH_CACHE "/card-work");
    QDir(work).removeRecursively();
    QDir().mkpath(work);
    Card card(work, qint64(photos) * bytes);
    QString targetRoot = QStringLiteral("/dev/shm/sorrelby-bench-card-") + QString::number(::getpid());
    if (!QDir().mkpath(targetRoot))
        targetRoot = work + QStringLiteral("/target");
    QDir().mkpath(targetRoot);
    // Gigabytes in memory: never left behind, whatever ends the run.
    struct Cleanup {
        QString folder;
        ~Cleanup() { QDir(folder).removeRecursively(); }
    } cleanup{targetRoot};
    note(QStringLiteral("card: %1 (%2), target: %3")
             .arg(card.folder(), card.isLoop() ? QStringLiteral("loop-mounted image") : QStringLiteral("folder"), targetRoot));

    const QByteArray model = photoBytes(bytes);
    const QString dcim = card.folder() + QStringLiteral("/DCIM/100NIKON");
    QDir().mkpath(dcim);
    note(QStringLiteral("writing %1 photos of %2 MB ...").arg(photos).arg(bytes / 1000000));
    for (int i = 1; i <= photos; ++i) {
        QByteArray data = model;
        // Each photo its own bytes, in the padding.
        const QByteArray tag = QByteArray::number(i).rightJustified(8, '0');
        data.replace(data.size() - tag.size(), tag.size(), tag);
        if (!testkit::writeFileBytes(dcim + QStringLiteral("/DSC_%1.JPG").arg(i, 4, 10, QLatin1Char('0')), data))
            return 1;
    }

    const QString source = targetRoot + QStringLiteral("/source");
    const QString cpTarget = targetRoot + QStringLiteral("/cp");
    double best = 1e9;
    double bestCp = 1e9;
    for (int round = 0; round < 2; ++round) {
        QDir(cpTarget).removeRecursively();
        if (!card.cool())
            return 1;
        QElapsedTimer clock;
        clock.start();
        if (!run(QStringLiteral("cp"), {QStringLiteral("-r"), card.folder() + QStringLiteral("/DCIM"), cpTarget})
            || !run(QStringLiteral("sync"), {QStringLiteral("-f"), cpTarget}))
            return 1;
        bestCp = std::min(bestCp, clock.nsecsElapsed() / 1e9);
        QDir(cpTarget).removeRecursively();

        QDir(source).removeRecursively();
        QDir().mkpath(source);
        if (!card.cool())
            return 1;
        CardCopyOptions options;
        options.cardFolder = card.folder();
        options.sourceFolder = source;
        CardCopy copy;
        copy.setPause([](double) {});
        clock.restart();
        const CardCopyResult result = copy.run(options);
        const double seconds = clock.nsecsElapsed() / 1e9;
        if (!result.ok() || result.placed.size() != photos) {
            note(QStringLiteral("the copy failed: ") + result.statusLine);
            return 1;
        }
        best = std::min(best, seconds);
        note(QStringLiteral("round %1: cp -r %2 s, card copy %3 s").arg(round + 1).arg(bestCp, 0, 'f', 2).arg(seconds, 0, 'f', 2));
    }
    QDir(work).removeRecursively();

    benchLine("card_copy_seconds", best, "s");
    benchLine("card_cp_seconds", bestCp, "s");
    benchLine("card_copy_mb_per_s", double(photos) * double(bytes) / 1e6 / best, "MB/s");
    benchLine("card_copy_ratio_to_cp", bestCp / best, "x");
    return 0;
}
