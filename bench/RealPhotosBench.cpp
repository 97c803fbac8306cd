// bench-real DIR: how many real photos detection reads, per condition. DIR
// holds one folder per condition (blurred, close, glare, ...), each with
// imageNNN.jpg photos; a text file beside a photo (imageNNN.txt) may name the
// expected payloads, one a line (lines of numbers, "SETS" and "#" comments
// are corner lists and ignored). A photo counts as read when detection reads
// a payload (an expected one, when any are named), whether or not the naming
// layer would make a code of it: this measures reading, not cleaning.
// Without DIR it prints how to use it and does nothing, so `make bench`
// passes it by. Options: --strategy screened|regions|plain|naive|all (several runs side
// by side), --verbose (one line per photo), --workers N.

#include "bench/BenchOutput.h"
#include "imaging/CodeDetection.h"
#include "imaging/PhotoMetadata.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrent>

#include <sys/resource.h>

using namespace sorrelby;
using namespace sorrelby::bench;

namespace {

struct Photo {
    QString condition;
    QString path;
    QStringList expected; // empty: any payload counts
};

QStringList expectedTexts(const QString &photoPath)
{
    QFile file(QFileInfo(photoPath).path() + u'/' + QFileInfo(photoPath).completeBaseName() + QStringLiteral(".txt"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression numbers(QStringLiteral("^[-+0-9.eE\\s]*$"));
    QStringList texts;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        const QString text = line.trimmed();
        if (text.isEmpty() || text.startsWith(u'#') || text == QLatin1String("SETS") || numbers.match(text).hasMatch())
            continue;
        texts.append(text);
    }
    return texts;
}

QList<Photo> listPhotos(const QString &root)
{
    QList<Photo> photos;
    const QDir dir(root);
    for (const QString &condition : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QDir folder(dir.filePath(condition));
        for (const QString &name : folder.entryList({QStringLiteral("*.jpg"), QStringLiteral("*.jpeg"), QStringLiteral("*.JPG"),
                                                     QStringLiteral("*.png"), QStringLiteral("*.PNG")},
                                                    QDir::Files, QDir::Name)) {
            const QString path = folder.filePath(name);
            photos.append({condition, path, expectedTexts(path)});
        }
    }
    return photos;
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void runStrategy(const QString &name, DetectionStrategy strategy, const QList<Photo> &photos, int workers, bool verbose)
{
    QThreadPool pool;
    pool.setMaxThreadCount(workers);
    const double cpuBefore = processCpuSeconds();
    const QList<DetectionResult> results
        = QtConcurrent::blockingMapped<QList<DetectionResult>>(&pool, photos, [strategy](const Photo &photo) {
              DetectionOptions options;
              options.strategy = strategy;
              return detectCodes(photo.path, options);
          });
    const double cpu = processCpuSeconds() - cpuBefore;

    QMap<QString, QPair<int, int>> perCondition; // read, total
    int read = 0, flagged = 0;
    for (qsizetype i = 0; i < photos.size(); ++i) {
        const Photo &photo = photos[i];
        const DetectionResult &result = results[i];
        QStringList texts;
        for (const DetectedCode &code : result.codes)
            texts.append(code.text);
        const bool hit = photo.expected.isEmpty()
            ? !texts.isEmpty()
            : std::any_of(texts.cbegin(), texts.cend(), [&](const QString &text) { return photo.expected.contains(text); });
        auto &counts = perCondition[photo.condition];
        counts.first += hit ? 1 : 0;
        ++counts.second;
        read += hit ? 1 : 0;
        flagged += !hit && result.possibleCard ? 1 : 0;
        if (verbose)
            note(QStringLiteral("%1 %2 %3 %4[%5]%6")
                     .arg(name, QDir(photo.path).dirName().isEmpty() ? photo.path : photo.path.section(u'/', -2),
                          hit ? QStringLiteral("READ") : QStringLiteral("MISS"),
                          result.readBy.isEmpty() ? QString() : QStringLiteral("by ") + result.readBy + QLatin1Char(' '), texts.join(u','),
                          result.possibleCard ? QStringLiteral(" possible card: ") + result.possibleCardWhy : QString()));
    }
    for (auto it = perCondition.cbegin(); it != perCondition.cend(); ++it)
        benchLine(QStringLiteral("real_read_%1_%2").arg(name, it.key()),
                  QStringLiteral("%1/%2").arg(it.value().first).arg(it.value().second), "photos");
    benchLine(
        QStringLiteral("real_read_%1").arg(name),
        QStringLiteral("%1/%2 (%3 %)").arg(read).arg(photos.size()).arg(100.0 * read / std::max<qsizetype>(1, photos.size()), 0, 'f', 1),
        "photos");
    benchLine(QStringLiteral("real_flagged_unread_%1").arg(name), QString::number(flagged), "photos");
    benchLine(QStringLiteral("real_cpu_ms_per_photo_%1").arg(name),
              QString::number(1e3 * cpu / std::max<qsizetype>(1, photos.size()), 'f', 1), "ms");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quietLog);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Reading of real photos, one folder per condition."));
    const QCommandLineOption strategyOption(QStringLiteral("strategy"), QStringLiteral("screened, regions, plain, naive or all."),
                                            QStringLiteral("name"), QStringLiteral("screened"));
    const QCommandLineOption workersOption(QStringLiteral("workers"), QStringLiteral("Threads."), QStringLiteral("n"), QStringLiteral("2"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"), QStringLiteral("One line per photo."));
    parser.addOptions({strategyOption, workersOption, verboseOption});
    parser.addPositionalArgument(QStringLiteral("DIR"), QStringLiteral("One folder per condition of photos."));
    parser.addHelpOption();
    parser.process(app);
    if (parser.positionalArguments().size() != 1) {
        note(QStringLiteral("usage: bench-real DIR [--strategy screened|regions|plain|naive|all] [--workers N] [--verbose]\n"
                            "  DIR: one folder per condition of real photos (imageNNN.jpg, expected payloads in imageNNN.txt when known).\n"
                            "bench-real: no DIR given, nothing measured."));
        return 0;
    }
    const QList<Photo> photos = listPhotos(parser.positionalArguments().first());
    if (photos.isEmpty()) {
        note(QStringLiteral("bench-real: no photos in ") + parser.positionalArguments().first());
        return 1;
    }
    initializeMetadataLibrary();
    const int workers = std::max(1, parser.value(workersOption).toInt());
    const bool verbose = parser.isSet(verboseOption);
    const QString wanted = parser.value(strategyOption);
    const QList<QPair<QString, DetectionStrategy>> strategies{
        {QStringLiteral("screened"), DetectionStrategy::Screened},
        {QStringLiteral("regions"), DetectionStrategy::Regions},
        {QStringLiteral("plain"), DetectionStrategy::RegionsWithoutEscalation},
        {QStringLiteral("naive"), DetectionStrategy::Naive},
    };
    bool ran = false;
    for (const auto &[name, strategy] : strategies) {
        if (wanted == QLatin1String("all") || wanted == name) {
            runStrategy(name, strategy, photos, workers, verbose);
            ran = true;
        }
    }
    if (!ran) {
        note(QStringLiteral("bench-real: unknown strategy ") + wanted);
        return 2;
    }
    return 0;
}
