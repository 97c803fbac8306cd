// bench-soak: hot folder mode under a tethered shoot. A simulated capture
// tool writes 1,000 generated photos of two cameras (Nikon and Canon, shots
// interleaved, a card before each subject, one card unreadable) into the hot
// folder at about 10 photos a second, in sets of 100 with a short pause
// between; every seventh photo is written in four chunks over a second, as a
// slow transfer does. Meanwhile `vemo-sorrelby
// watch` runs on the hot, source and destination folders. Afterwards every
// photo is looked for by its content: each must be exactly once in the
// destination folder under the name its shoot's cards prescribe, or, for a
// card photo, kept in the source folder under its card-photo name (or thrown
// into the trash by delivery).
//
//   BENCH soak_lost <n>                       photos found nowhere
//   BENCH soak_misnamed <n>                   photos found, but not exactly once where and as expected
//   BENCH soak_seconds_after_last_write <s>   from the last write to the last photo delivered

#include "bench/BenchRun.h"
#include "settings/SettingsKeys.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace sorrelby::bench;
using namespace sorrelby::testkit;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int cSubjects = 50;
constexpr int cPhotosPerSubject = 9; // besides the card, per camera
// About 10 photos a second: 100 photos in 7.5 s, then a pause of 2.5 s
// (the next set), so deliveries happen during the shoot and the card photos
// kept by one must serve the next.
constexpr double cSecondsBetweenPhotos = 0.075;
constexpr int cPhotosPerSet = 100;
constexpr double cPauseBetweenSets = 2.5;
constexpr int cChunkedEvery = 7;
constexpr int cChunks = 4;
constexpr auto cChunkGap = std::chrono::milliseconds(300);
constexpr int cGiveUpSeconds = 240;

QByteArray digest(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
}

ShootSpec shootSpec()
{
    ShootSpec spec;
    spec.subjects = cSubjects;
    spec.photosPerSubject = cPhotosPerSubject;
    spec.cameras = {nikonCamera(), canonCamera()};
    spec.interleave = true;
    spec.unreadableCardSubjects = {17};
    spec.seed = 7;
    return spec;
}

struct Write {
    Clock::duration at;
    int photo = 0;
    int chunk = 0; // of chunks
    int chunks = 1;
};

// Writes chunk `chunk` of `chunks` of bytes into path (appending); the last
// one sets the capture time as the file's modification time, as the
// generated photos carry it.
bool writeChunk(const QString &path, const QByteArray &bytes, int chunk, int chunks, const QDateTime &captureTime)
{
    const qsizetype begin = bytes.size() * chunk / chunks;
    const qsizetype end = bytes.size() * (chunk + 1) / chunks;
    const int flags = O_WRONLY | O_CLOEXEC | (chunk == 0 ? O_CREAT | O_EXCL : O_APPEND);
    const int fd = ::open(QFile::encodeName(path).constData(), flags, 0644);
    if (fd < 0)
        return false;
    const ssize_t written = ::write(fd, bytes.constData() + begin, size_t(end - begin));
    ::close(fd);
    if (written != end - begin)
        return false;
    if (chunk + 1 == chunks) {
        const qint64 ms = captureTime.toMSecsSinceEpoch();
        const struct timespec times[2] = {{ms / 1000, (ms % 1000) * 1000000}, {ms / 1000, (ms % 1000) * 1000000}};
        ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
    }
    return true;
}

struct Found {
    QString where; // "dest", "source", "trash", "hot"
    QString relativePath;
};

void scan(const QString &folder, const QString &where, const QHash<QByteArray, int> &byDigest, QHash<int, QList<Found>> &found,
          int &strangers)
{
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (QFileInfo(path).fileName() == QLatin1String(".mydatefile") || path.endsWith(QLatin1String(".trashinfo")))
            continue;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const auto match = byDigest.constFind(digest(file.readAll()));
        if (match == byDigest.cend()) {
            ++strangers;
            note(QStringLiteral("not a photo of the shoot (damaged?): ") + path);
            continue;
        }
        found[match.value()].append({where, QDir(folder).relativeFilePath(path)});
    }
}

} // namespace

int main(int argc, char **argv)
{
    qInstallMessageHandler(quietLog);
    QCoreApplication app(argc, argv);
    const QString appPath = QStringLiteral(SORRELBY_APP_PATH);
    if (!QFileInfo(appPath).isExecutable()) {
        note(QStringLiteral("bench-soak: cannot find ") + appPath);
        return 1;
    }

    const ShootSpec spec = shootSpec();
    const std::optional<Shoot> shoot = cachedShoot(QStringLiteral("soak-shoot-v1"), spec);
    if (!shoot) {
        note(QStringLiteral("bench-soak: cannot generate the shoot"));
        return 1;
    }
    QList<QByteArray> contents;
    QHash<QByteArray, int> byDigest;
    for (int i = 0; i < shoot->photos.size(); ++i) {
        QFile file(shoot->paths()[i]);
        if (!file.open(QIODevice::ReadOnly)) {
            note(QStringLiteral("bench-soak: cannot read ") + file.fileName());
            return 1;
        }
        contents.append(file.readAll());
        byDigest.insert(digest(contents.last()), i);
    }

    QTemporaryDir root;
    const QString home = root.path() + QStringLiteral("/home");
    const QString hot = root.path() + QStringLiteral("/hot");
    const QString source = root.path() + QStringLiteral("/source");
    const QString main = root.path() + QStringLiteral("/main");
    for (const QString &folder :
         QStringList{home, hot, source, main, root.path() + QStringLiteral("/run"), root.path() + QStringLiteral("/tmp")})
        QDir().mkpath(folder);
    ::chmod(QFile::encodeName(root.path() + QStringLiteral("/run")).constData(), 0700);

    // The watcher in its own user folders, on the folders of this run.
    QProcess watch;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    environment.insert(QStringLiteral("XDG_STATE_HOME"), home + QStringLiteral("/.local/state"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), root.path() + QStringLiteral("/run"));
    environment.insert(QStringLiteral("SORRELBY_INSTANCE_FOLDER"), root.path() + QStringLiteral("/run"));
    environment.insert(QStringLiteral("TMPDIR"), root.path() + QStringLiteral("/tmp"));
    watch.setProcessEnvironment(environment);
    watch.setStandardOutputFile(root.path() + QStringLiteral("/watch.out"));
    watch.setStandardErrorFile(root.path() + QStringLiteral("/watch.err"));
    watch.start(appPath,
                {QStringLiteral("watch"), QStringLiteral("--set"), QString(sorrelby::cPrefHotFolderPath) + u'=' + hot,
                 QStringLiteral("--set"), QString(sorrelby::cPrefSourcePath) + u'=' + source, QStringLiteral("--set"),
                 QString(sorrelby::cPrefDestinationPath) + u'=' + main, QStringLiteral("--set"),
                 QString(sorrelby::cPrefOriginalNameFormatTag) + u'=' + QString::number(shoot->nameFormatTag())});
    if (!watch.waitForStarted(10000)) {
        note(QStringLiteral("bench-soak: cannot start watch"));
        return 1;
    }
    QThread::msleep(1500);

    // The capture tool; some photos in chunks.
    std::vector<Write> writes;
    for (int i = 0; i < shoot->photos.size(); ++i) {
        const int setsBefore = i / cPhotosPerSet;
        const double seconds = i * cSecondsBetweenPhotos + setsBefore * cPauseBetweenSets;
        const auto start = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
        const int chunks = i % cChunkedEvery == 3 ? cChunks : 1;
        for (int c = 0; c < chunks; ++c)
            writes.push_back({start + c * cChunkGap, i, c, chunks});
    }
    std::stable_sort(writes.begin(), writes.end(), [](const Write &a, const Write &b) { return a.at < b.at; });
    note(QStringLiteral("writing %1 photos into the hot folder...").arg(shoot->photos.size()));
    std::atomic<int> writeFailures{0};
    const Clock::time_point t0 = Clock::now();
    Clock::time_point lastWrite = t0;
    std::thread tool([&] {
        for (const Write &w : writes) {
            std::this_thread::sleep_until(t0 + w.at);
            const ShootPhoto &photo = shoot->photos[w.photo];
            if (!writeChunk(hot + QLatin1Char('/') + photo.fileName, contents[w.photo], w.chunk, w.chunks, photo.captureTime))
                ++writeFailures;
        }
        lastWrite = Clock::now();
    });
    tool.join();

    // Done when every photo that is not a readable card is in the main
    // folder and the hot folder is empty.
    int expectedDelivered = 0;
    for (const ShootPhoto &photo : shoot->photos)
        expectedDelivered += photo.isCard && photo.readableCard ? 0 : 1;
    auto deliveredCount = [&] {
        int count = 0;
        QDirIterator it(main, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            ++count;
        }
        return count;
    };
    double secondsAfterLastWrite = -1;
    while (Clock::now() - lastWrite < std::chrono::seconds(cGiveUpSeconds)) {
        if (deliveredCount() >= expectedDelivered && QDir(hot).entryList(QDir::Files).isEmpty()) {
            secondsAfterLastWrite = std::chrono::duration<double>(Clock::now() - lastWrite).count();
            break;
        }
        QThread::msleep(100);
    }
    if (secondsAfterLastWrite < 0)
        note(QStringLiteral("bench-soak: gave up waiting %1 s after the last write").arg(cGiveUpSeconds));

    watch.terminate(); // SIGTERM: the photo in hand is finished
    const bool ended = watch.waitForFinished(60000);
    if (!ended || watch.exitStatus() != QProcess::NormalExit || watch.exitCode() != 0)
        note(QStringLiteral("bench-soak: watch did not end cleanly (exit code %1)").arg(watch.exitCode()));

    // Where every photo ended up, by content.
    QHash<int, QList<Found>> found;
    int strangers = 0;
    scan(main, QStringLiteral("dest"), byDigest, found, strangers);
    scan(source, QStringLiteral("source"), byDigest, found, strangers);
    scan(home + QStringLiteral("/.local/share/Trash/files"), QStringLiteral("trash"), byDigest, found, strangers);
    scan(hot, QStringLiteral("hot"), byDigest, found, strangers);

    int lost = 0;
    int misnamed = 0;
    int kept = 0;
    int trashed = 0;
    for (int i = 0; i < shoot->photos.size(); ++i) {
        const ShootPhoto &photo = shoot->photos[i];
        const QList<Found> places = found.value(i);
        if (places.isEmpty()) {
            ++lost;
            note(QStringLiteral("LOST: ") + photo.fileName);
            continue;
        }
        bool right = places.size() == 1;
        const Found &place = places.first();
        const QStringList parts = place.relativePath.split(QLatin1Char('/'));
        if (photo.isCard && photo.readableCard) {
            if (place.where == QLatin1String("source")) {
                right = right && place.relativePath == photo.expectedName;
                ++kept;
            } else {
                right = right && place.where == QLatin1String("trash");
                ++trashed;
            }
        } else if (photo.expectedCode.isEmpty()) {
            right = right && place.where == QLatin1String("dest") && parts.size() == 3 && parts[0] == QLatin1String("UNASSIGNED_PHOTOS")
                && parts[2] == photo.expectedName;
        } else {
            right = right && place.where == QLatin1String("dest") && parts.size() == 2 && parts[0] != QLatin1String("UNASSIGNED_PHOTOS")
                && parts[1] == photo.expectedName;
        }
        if (!right) {
            ++misnamed;
            QStringList where;
            for (const Found &f : places)
                where << f.where + QLatin1Char(':') + f.relativePath;
            note(QStringLiteral("MISNAMED: %1 expected %2, found %3")
                     .arg(photo.fileName, photo.expectedName, where.join(QStringLiteral(", "))));
        }
    }

    QFile out(root.path() + QStringLiteral("/watch.out"));
    int passes = 0;
    int deliveries = 0;
    if (out.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : out.readAll().split('\n')) {
            passes += line.contains(" pass: ") ? 1 : 0;
            deliveries += line.contains(" delivery: ") ? 1 : 0;
        }
    }
    note(
        QStringLiteral("%1 photos written (%2 write failures), %3 passes, %4 deliveries, %5 card photos kept, %6 trashed, %7 unknown files")
            .arg(shoot->photos.size())
            .arg(writeFailures.load())
            .arg(passes)
            .arg(deliveries)
            .arg(kept)
            .arg(trashed)
            .arg(strangers));

    benchLine("soak_lost", lost, "photos");
    benchLine("soak_misnamed", misnamed, "photos");
    benchLine("soak_seconds_after_last_write", secondsAfterLastWrite, "s");
    if (qEnvironmentVariableIsSet("SORRELBY_BENCH_KEEP")) {
        root.setAutoRemove(false);
        note(QStringLiteral("kept ") + root.path());
    }
    return 0;
}
