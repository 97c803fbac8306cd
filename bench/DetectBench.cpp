// bench-detect: recall, false codes and speed of code detection over a
// generated corpus of 24 MP photos: 60 card photos (code sides 150 to
// 600 px, half QR and half Data Matrix, turned up to 30 degrees, mild
// perspective, some blur) and 200 ordinary photos. Side by side: the naive
// reference (full-size decode, whole picture searched, one worker), the
// half-size region search (one worker) and the shipped screen with one and
// with two workers.
//
// --recall N: instead, N card photos that anyone reads at a glance (codes of
// 3.6 to 22 % of the short side, any rotation, perspective up to 0.15, blur
// up to a box of 1 px, QR and Data Matrix alternating, varied seeds) at
// --recall-size (3000x2000 unless given), read by the chosen strategy, the
// same without its closer looks ("plain"), the screen ("screened") and the
// reference side by side. --recall-from K starts at card K instead of 0: a
// set of cards not looked at while tuning.
// recall per size band, codes that were not the card's, photos marked as
// possible unread cards, and processor time per photo.
//
// The corpus is generated once into the build folder's bench cache and
// reused. Options: --corpus DIR (another folder with the same manifest),
// --only naive|regions|screened, --workers N, --verbose (one line per photo).

#include "bench/BenchOutput.h"
#include "imaging/CodeDetection.h"
#include "imaging/PhotoMetadata.h"
#include "tests/testkit/photos/CardGenerator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrent>

#include <atomic>

#include <sys/resource.h>

using namespace sorrelby;
using namespace sorrelby::bench;
using namespace sorrelby::testkit;

namespace {

constexpr int cCards = 60;
constexpr int cOrdinary = 200;
const QSize cPhotoSize(6000, 4000);
const QString cManifestName = QStringLiteral("manifest.tsv");

struct Entry {
    QString file;
    QString payload; // empty: an ordinary photo
    int side = 0;
};

// Deterministic variety: the i-th card of the corpus.
CardPhotoSpec cardSpec(int i, QString *payload, int *side)
{
    *side = 150 + (i / 2) * 450 / (cCards / 2 - 1);
    *payload = QStringLiteral("S%1-%2").arg(i, 2, 10, QLatin1Char('0')).arg((i * 7919 + 13) % 100000, 5, 10, QLatin1Char('0'));
    PhotoSpec photo;
    photo.size = cPhotoSize;
    photo.seed = quint32(1000 + i);
    photo.exif.camera = nikonCamera();
    photo.exif.captureTime = QDateTime(QDate(2024, 5, 1), QTime(9, 0)).addSecs(i * 60);
    CardPhotoSpec spec = cardPhotoSpec(*payload, photo, i % 2 == 0 ? Symbology::QRCode : Symbology::DataMatrix);
    CodeSpec &code = spec.codes.first();
    code.side = *side;
    code.rotation = ((i * 37) % 61) - 30;    // -30 .. 30 degrees
    code.perspective = 0.01 * ((i * 7) % 9); // 0 .. 0.08
    code.center = QPointF(0.2 + 0.1 * ((i * 3) % 7), 0.25 + 0.1 * ((i * 5) % 6));
    spec.blur = (i * 5) % 3; // 0, 1 or 2 px
    return spec;
}

QList<Entry> readManifest(const QString &folder)
{
    QFile file(folder + QLatin1Char('/') + cManifestName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<Entry> entries;
    while (!file.atEnd()) {
        const QStringList fields = QString::fromUtf8(file.readLine()).trimmed().split(QLatin1Char('\t'));
        if (fields.size() != 3)
            continue;
        entries.append({folder + QLatin1Char('/') + fields[0], fields[1], fields[2].toInt()});
    }
    for (const Entry &entry : entries) {
        if (!QFile::exists(entry.file))
            return {};
    }
    return entries;
}

QList<Entry> makeRecallCorpus(const QString &folder, int from, int count, const QSize &size)
{
    QList<Entry> entries = readManifest(folder);
    if (entries.size() == count)
        return entries;
    note(QStringLiteral("bench-detect: generating %1 recall photos in %2 (once)").arg(count).arg(folder));
    QDir().mkpath(folder);
    initializePhotoKit();
    QList<int> indexes;
    for (int i = from; i < from + count; ++i)
        indexes.append(i);
    std::atomic<int> failures{0};
    QtConcurrent::blockingMap(indexes, [&](int i) {
        QString payload;
        int side = 0;
        if (!writeCardPhoto(folder + QStringLiteral("/card_%1.jpg").arg(i, 4, 10, QLatin1Char('0')),
                            glanceCardSpec(i, count, size, &payload, &side)))
            ++failures;
    });
    if (failures > 0) {
        note(QStringLiteral("bench-detect: %1 photos could not be generated").arg(failures.load()));
        return {};
    }
    QString manifest;
    for (int i = from; i < from + count; ++i) {
        QString payload;
        int side = 0;
        glanceCardSpec(i, count, size, &payload, &side);
        manifest += QStringLiteral("card_%1.jpg\t%2\t%3\n").arg(i, 4, 10, QLatin1Char('0')).arg(payload).arg(side);
    }
    QFile file(folder + QLatin1Char('/') + cManifestName);
    if (!file.open(QIODevice::WriteOnly) || file.write(manifest.toUtf8()) < 0)
        return {};
    file.close();
    return readManifest(folder);
}

QList<Entry> makeCorpus(const QString &folder)
{
    QList<Entry> entries = readManifest(folder);
    if (entries.size() == cCards + cOrdinary)
        return entries;
    note(QStringLiteral("bench-detect: generating the corpus in %1 (once)").arg(folder));
    QDir().mkpath(folder);
    initializePhotoKit();
    QList<int> indexes;
    for (int i = 0; i < cCards + cOrdinary; ++i)
        indexes.append(i);
    std::atomic<int> failures{0};
    QtConcurrent::blockingMap(indexes, [&](int i) {
        QString payload;
        int side = 0;
        const QString file = folder + QStringLiteral("/photo_%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
        bool ok;
        if (i < cCards) {
            ok = writeCardPhoto(file, cardSpec(i, &payload, &side));
        } else {
            PhotoSpec photo;
            photo.size = cPhotoSize;
            photo.seed = quint32(5000 + i);
            photo.exif.camera = nikonCamera();
            ok = writePhoto(file, photo);
        }
        if (!ok)
            ++failures;
    });
    if (failures > 0) {
        note(QStringLiteral("bench-detect: %1 photos could not be generated").arg(failures.load()));
        return {};
    }
    QString manifest;
    for (int i = 0; i < cCards + cOrdinary; ++i) {
        QString payload;
        int side = 0;
        if (i < cCards)
            cardSpec(i, &payload, &side);
        manifest += QStringLiteral("photo_%1.jpg\t%2\t%3\n").arg(i, 3, 10, QLatin1Char('0')).arg(payload).arg(side);
    }
    QFile file(folder + QLatin1Char('/') + cManifestName);
    if (!file.open(QIODevice::WriteOnly) || file.write(manifest.toUtf8()) < 0)
        return {};
    file.close();
    return readManifest(folder);
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct RunResult {
    int cards = 0, found = 0;
    int flagged = 0;                  // card photos not read but marked as possible cards
    QMap<int, QPair<int, int>> bands; // recall: found, cards per band of the short side (%)
    int cards200 = 0, found200 = 0;   // codes of 200 to 299 px
    int cards300 = 0, found300 = 0;   // codes of 300 px and more
    int falseCodes = 0;               // codes on ordinary photos, or a wrong code on a card
    int unreadable = 0;
    int fullSizeDecodes = 0;
    double decodeMs = 0, screenMs = 0, searchMs = 0; // processor time, summed over the photos
    double cardMs = 0, ordinaryMs = 0;               // the same, split by the kind of photo
    int ordinary = 0;
    QMap<QString, int> readBy; // cards read, by the step that read them
    double seconds = 0;
    double processCpuSeconds = 0; // the whole process during the run
};

RunResult run(const QList<Entry> &entries, DetectionStrategy strategy, int workers, bool verbose, int shortSide = 4000)
{
    struct Outcome {
        DetectionResult detection;
    };
    QThreadPool pool;
    pool.setMaxThreadCount(workers);
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer timer;
    timer.start();
    const QList<DetectionResult> results
        = QtConcurrent::blockingMapped<QList<DetectionResult>>(&pool, entries, [strategy](const Entry &entry) {
              DetectionOptions options;
              options.strategy = strategy;
              return detectCodes(entry.file, options);
          });
    RunResult r;
    r.seconds = timer.nsecsElapsed() / 1e9;
    r.processCpuSeconds = processCpuSeconds() - cpuBefore;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const Entry &entry = entries[i];
        const DetectionResult &d = results[i];
        if (d.possibleCard)
            ++r.flagged;
        r.fullSizeDecodes += d.fullSizeDecodes;
        r.decodeMs += d.decodeMs;
        r.searchMs += d.searchMs;
        r.screenMs += d.screenMs;
        const double photoMs = d.decodeMs + d.screenMs + d.searchMs;
        if (!d.readable)
            ++r.unreadable;
        QStringList texts;
        for (const DetectedCode &code : d.codes)
            texts.append(code.text);
        bool hit = false;
        if (entry.payload.isEmpty()) {
            r.falseCodes += int(texts.size());
            r.ordinaryMs += photoMs;
            ++r.ordinary;
        } else {
            hit = texts.contains(entry.payload);
            r.cardMs += photoMs;
            if (hit)
                ++r.readBy[d.readBy];
            for (const QString &text : texts)
                r.falseCodes += text != entry.payload ? 1 : 0;
            ++r.cards;
            r.found += hit;
            const int percent = int(100.0 * entry.side / std::max(1, shortSide) + 1e-9);
            const int band = percent < 6 ? 0 : percent < 10 ? 6 : percent < 16 ? 10 : 16;
            r.bands[band].first += hit;
            r.bands[band].second += 1;
            if (entry.side >= 300) {
                ++r.cards300;
                r.found300 += hit;
            } else if (entry.side >= 200) {
                ++r.cards200;
                r.found200 += hit;
            }
        }
        if (verbose)
            note(QStringLiteral("%1 side %2 %3 regions %4 full %5 decode %7 search %8 [%6]%9 screen %10 looks %11 by %12")
                     .arg(QFileInfo(entry.file).fileName())
                     .arg(entry.side)
                     .arg(entry.payload.isEmpty() ? QStringLiteral("    ")
                              : hit               ? QStringLiteral("HIT ")
                                                  : QStringLiteral("MISS"))
                     .arg(d.regionsSearched)
                     .arg(d.fullSizeDecodes)
                     .arg(texts.join(QLatin1Char(',')))
                     .arg(d.decodeMs, 0, 'f', 1)
                     .arg(d.searchMs, 0, 'f', 1)
                     .arg(d.possibleCard ? QStringLiteral(" possible card: ") + d.possibleCardWhy : QString())
                     .arg(d.screenMs, 0, 'f', 1)
                     .arg(d.closerLooks)
                     .arg(d.readBy.isEmpty() ? QStringLiteral("-") : d.readBy));
    }
    return r;
}

// Which step of the escalation read the cards: a step that reads nothing on
// any set is a candidate for removal, one that reads many for a cheaper place.
void benchReadBy(const QString &name, const RunResult &r)
{
    QStringList steps;
    for (auto it = r.readBy.cbegin(); it != r.readBy.cend(); ++it)
        steps.append(QStringLiteral("%1=%2").arg(it.key().isEmpty() ? QStringLiteral("?") : it.key()).arg(it.value()));
    benchLine(QStringLiteral("detect_read_by_%1").arg(name), steps.join(QStringLiteral(", ")), "cards");
}

void report(const QString &name, const RunResult &r, int workers, int photos)
{
    const double rate = photos / std::max(1e-9, r.seconds);
    benchLine(QStringLiteral("detect_photos_per_s_%1_%2").arg(name).arg(workers), QString::number(rate, 'f', 2), "photos/s");
    // Processor time per photo: what the rate would be on idle cores,
    // whatever else the machine was doing during the run.
    benchLine(QStringLiteral("detect_cpu_ms_per_photo_%1_%2").arg(name).arg(workers),
              QString::number(1e3 * r.processCpuSeconds / photos, 'f', 1), "ms");
    if (workers != 1)
        return;
    benchLine(QStringLiteral("detect_recall_%1").arg(name), QStringLiteral("%1/%2").arg(r.found).arg(r.cards), "cards");
    benchLine(QStringLiteral("detect_recall_%1_200px").arg(name), QStringLiteral("%1/%2").arg(r.found200).arg(r.cards200), "cards");
    benchLine(QStringLiteral("detect_recall_%1_300px_up").arg(name), QStringLiteral("%1/%2").arg(r.found300).arg(r.cards300), "cards");
    benchLine(QStringLiteral("detect_false_%1").arg(name), QString::number(r.falseCodes), "codes");
    benchLine(QStringLiteral("detect_full_size_decodes_%1").arg(name), QString::number(r.fullSizeDecodes), "decodes");
    benchLine(QStringLiteral("detect_decode_ms_%1").arg(name), QString::number(r.decodeMs / photos, 'f', 1), "ms/photo");
    benchLine(QStringLiteral("detect_screen_ms_%1").arg(name), QString::number(r.screenMs / photos, 'f', 1), "ms/photo");
    benchLine(QStringLiteral("detect_search_ms_%1").arg(name), QString::number(r.searchMs / photos, 'f', 1), "ms/photo");
    benchLine(QStringLiteral("detect_ms_per_card_%1").arg(name), QString::number(r.cardMs / std::max(1, r.cards), 'f', 1), "ms");
    benchLine(QStringLiteral("detect_ms_per_ordinary_%1").arg(name), QString::number(r.ordinaryMs / std::max(1, r.ordinary), 'f', 1), "ms");
    benchReadBy(name, r);
    if (r.unreadable)
        note(QStringLiteral("bench-detect: %1 photos unreadable with %2").arg(r.unreadable).arg(name));
}

void reportRecall(const QString &name, const RunResult &r, int photos)
{
    benchReadBy(QStringLiteral("recall_") + name, r);
    static const QMap<int, QString> bandNames{
        {0, QStringLiteral("3.6-6pc")}, {6, QStringLiteral("6-10pc")}, {10, QStringLiteral("10-16pc")}, {16, QStringLiteral("16-22pc")}};
    benchLine(QStringLiteral("recall_%1").arg(name), QStringLiteral("%1/%2").arg(r.found).arg(r.cards), "cards");
    for (auto it = r.bands.cbegin(); it != r.bands.cend(); ++it)
        benchLine(QStringLiteral("recall_%1_%2").arg(name, bandNames.value(it.key())),
                  QStringLiteral("%1/%2").arg(it.value().first).arg(it.value().second), "cards");
    benchLine(QStringLiteral("recall_false_%1").arg(name), QString::number(r.falseCodes), "codes");
    benchLine(QStringLiteral("recall_unread_marked_%1").arg(name), QStringLiteral("%1/%2").arg(r.flagged).arg(r.cards - r.found),
              "unread cards marked");
    benchLine(QStringLiteral("recall_cpu_ms_per_card_%1").arg(name), QString::number(1e3 * r.processCpuSeconds / photos, 'f', 1), "ms");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quietLog);
    QCommandLineParser parser;
    const QCommandLineOption corpusOption(QStringLiteral("corpus"), QStringLiteral("Corpus folder."), QStringLiteral("dir"),
                                          QStringLiteral(SORRELBY_BENCH_CACHE "/detect-corpus-v1"));
    const QCommandLineOption onlyOption(QStringLiteral("only"), QStringLiteral("naive, regions or screened."), QStringLiteral("name"));
    const QCommandLineOption workersOption(QStringLiteral("workers"), QStringLiteral("Workers of the chosen strategy's second run."),
                                           QStringLiteral("n"), QStringLiteral("2"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"), QStringLiteral("One line per photo."));
    const QCommandLineOption recallOption(QStringLiteral("recall"), QStringLiteral("Recall run over N cards."), QStringLiteral("n"));
    const QCommandLineOption recallSizeOption(QStringLiteral("recall-size"), QStringLiteral("Photo size of the recall run."),
                                              QStringLiteral("WxH"), QStringLiteral("3000x2000"));
    const QCommandLineOption recallFromOption(QStringLiteral("recall-from"),
                                              QStringLiteral("First card of the recall run (another set of cards than 0 gives)."),
                                              QStringLiteral("n"), QStringLiteral("0"));
    parser.addOptions({corpusOption, onlyOption, workersOption, verboseOption, recallOption, recallSizeOption, recallFromOption});
    parser.addHelpOption();
    parser.process(app);

    initializeMetadataLibrary();
    if (parser.isSet(recallOption)) {
        const int count = std::max(1, parser.value(recallOption).toInt());
        const QStringList wh = parser.value(recallSizeOption).split(QLatin1Char('x'));
        const QSize size(wh.value(0).toInt(), wh.value(1).toInt());
        if (size.isEmpty()) {
            note(QStringLiteral("bench-detect: --recall-size wants WxH"));
            return 2;
        }
        const int from = std::max(0, parser.value(recallFromOption).toInt());
        const QString folder = QStringLiteral(SORRELBY_BENCH_CACHE "/recall-%1x%2-%3").arg(size.width()).arg(size.height()).arg(count)
            + (from > 0 ? QStringLiteral("-from-%1").arg(from) : QString());
        const QList<Entry> cards = makeRecallCorpus(folder, from, count, size);
        if (cards.isEmpty())
            return 1;
        const int workers = std::max(1, parser.value(workersOption).toInt());
        const int shortSide = std::min(size.width(), size.height());
        const QString only = parser.value(onlyOption);
        const QList<QPair<QString, DetectionStrategy>> strategies{{QStringLiteral("screened"), DetectionStrategy::Screened},
                                                                  {QStringLiteral("regions"), DetectionStrategy::Regions},
                                                                  {QStringLiteral("plain"), DetectionStrategy::RegionsWithoutEscalation},
                                                                  {QStringLiteral("naive"), DetectionStrategy::Naive}};
        for (const auto &[name, strategy] : strategies) {
            if (!only.isEmpty() && only != name)
                continue;
            reportRecall(name, run(cards, strategy, workers, parser.isSet(verboseOption), shortSide), int(cards.size()));
        }
        return 0;
    }
    const QList<Entry> entries = makeCorpus(parser.value(corpusOption));
    if (entries.isEmpty()) {
        note(QStringLiteral("bench-detect: no corpus"));
        return 1;
    }
    const QString only = parser.value(onlyOption);
    const bool verbose = parser.isSet(verboseOption);
    const int photos = int(entries.size());

    // Warm the page cache so that every run reads from memory alike.
    for (const Entry &entry : entries) {
        QFile file(entry.file);
        if (file.open(QIODevice::ReadOnly))
            file.readAll();
    }

    double naiveRate = 0;
    if (only.isEmpty() || only == QLatin1String("naive")) {
        const RunResult naive = run(entries, DetectionStrategy::Naive, 1, verbose);
        report(QStringLiteral("naive"), naive, 1, photos);
        naiveRate = photos / naive.seconds;
    }
    double regionsRate = 0;
    if (only.isEmpty() || only == QLatin1String("regions")) {
        const RunResult one = run(entries, DetectionStrategy::Regions, 1, verbose);
        report(QStringLiteral("regions"), one, 1, photos);
        regionsRate = photos / one.seconds;
    }
    if (only.isEmpty() || only == QLatin1String("screened")) {
        const RunResult one = run(entries, DetectionStrategy::Screened, 1, verbose);
        report(QStringLiteral("screened"), one, 1, photos);
        const int workers = std::max(2, parser.value(workersOption).toInt());
        const RunResult more = run(entries, DetectionStrategy::Screened, workers, false);
        report(QStringLiteral("screened"), more, workers, photos);
        if (naiveRate > 0)
            benchLine(QStringLiteral("detect_speedup"), QString::number(photos / one.seconds / naiveRate, 'f', 1), "x (one worker each)");
        if (regionsRate > 0)
            benchLine(QStringLiteral("detect_speedup_vs_regions"), QString::number(photos / one.seconds / regionsRate, 'f', 2),
                      "x (one worker each)");
    }
    return 0;
}
