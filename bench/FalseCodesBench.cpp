// bench-false-codes: codes read where there are none. A false code is the
// worst fault detection can have (the photos after it go to a subject that
// does not exist), so this counts them over card-free photos from the test
// kit's generator (2,000 by default, sizes from 1200 x 800 to 2400 x 1600,
// landscape and portrait):
//   - the shipped detection (and with --naive the reference strategy too):
//     every code it reports is a false code;
//   - a survey of every symbology the installed zxing-cpp knows, read with
//     the shipped options: per symbology, the photos where it read a code.
//     This is what decides which symbologies are worth reading.
// Options: --photos N, --first-seed S, --size WxH (one size for all),
// --naive, --invert (survey with zxing-cpp 2.x's inverted pass on),
// --verbose.

#include "bench/BenchOutput.h"
#include "imaging/CodeDetection.h"
#include "imaging/CodeSymbologies.h"
#include "imaging/LumaImage.h"
#include "imaging/PhotoMetadata.h"
#include "tests/testkit/photos/PhotoGenerator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QMutex>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrent>

#include <atomic>
#include <ctime>

using namespace sorrelby;
using namespace sorrelby::bench;

namespace {

const QList<QSize> cSizes{{1200, 800}, {800, 1200}, {1800, 1200}, {1200, 1800}, {2400, 1600}};

// Every symbology this zxing-cpp knows, one by one; not Micro QR before 2.0,
// whose sampling aborts the process on some pictures (imaging/CodeSymbologies.h).
QList<ZXing::BarcodeFormat> knownFormats(ZXing::BarcodeFormats group)
{
    QList<ZXing::BarcodeFormat> formats;
    for (auto format : group) {
        if (!SORRELBY_ZXING_AT_LEAST(2, 0) && format == ZXing::BarcodeFormat::MicroQRCode)
            continue;
        formats.append(format);
    }
    return formats;
}

ZXing::BarcodeFormats without(ZXing::BarcodeFormats formats, ZXing::BarcodeFormat dropped)
{
    ZXing::BarcodeFormats kept;
    for (auto format : formats) {
        if (format != dropped)
            kept |= format;
    }
    return kept;
}

// Reads the picture with every symbology of `group`, with the shipped
// options otherwise; a symbology that read something is taken out and the
// rest read again, so that one false read does not hide another.
void surveyGroup(const LumaImage &luma, ZXing::BarcodeFormats group, bool linear, bool invert, QStringList &found)
{
    auto options = zxingcompat::readerOptions();
    options.setTryHarder(true).setTryDownscale(false);
#if SORRELBY_ZXING_AT_LEAST(2, 0)
    options.setTryInvert(invert);
#else
    Q_UNUSED(invert)
#endif
    if (linear)
        options.setTryRotate(false).setMaxNumberOfSymbols(1); // as shipped: see CodeDetection.cpp
    else
        options.setTryRotate(true);
    const ZXing::ImageView whole(luma.pixels.data(), luma.width, luma.height, ZXing::ImageFormat::Lum);
    for (bool turned : linear ? QList<bool>{false, true} : QList<bool>{false}) {
        ZXing::BarcodeFormats left = group;
        while (!left.empty()) {
            options.setFormats(left);
            bool read = false;
            for (const auto &result : ZXing::ReadBarcodes(turned ? whole.rotated(90) : whole, options)) {
                if (!result.isValid())
                    continue;
                const QString name = QString::fromLatin1(ZXing::ToString(result.format()));
                const bool known
                    = std::any_of(found.cbegin(), found.cend(), [&](const QString &f) { return f.startsWith(name + QLatin1Char('=')); });
                if (!known)
                    found.append(name + QLatin1Char('=') + QString::fromStdString(result.text()));
                left = without(left, result.format());
                read = true;
            }
            if (!read)
                break;
        }
    }
}

struct PhotoOutcome {
    QStringList regions; // codes the shipped detection reported
    QStringList naive;
    QStringList survey;  // "Symbology=text" of every symbology that read
    bool marked = false; // called a possible unread card by the shipped detection
    double regionsCpuMs = 0, plainCpuMs = 0;
};

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

PhotoOutcome examine(quint32 seed, QSize size, bool naive, bool invert)
{
    PhotoOutcome outcome;
    const QByteArray jpeg = testkit::encodeJpeg(testkit::makeBackground(size, seed), 92);
    const QList<DetectionStrategy> strategies
        = naive ? QList{DetectionStrategy::Screened, DetectionStrategy::Naive} : QList{DetectionStrategy::Screened};
    for (DetectionStrategy strategy : strategies) {
        DetectionOptions options;
        options.strategy = strategy;
        const double before = threadCpuMs();
        const DetectionResult result = detectCodesInData(jpeg, options);
        if (strategy == DetectionStrategy::Screened) {
            outcome.regionsCpuMs = threadCpuMs() - before;
            outcome.marked = result.possibleCard;
        }
        for (const DetectedCode &code : result.codes)
            (strategy == DetectionStrategy::Screened ? outcome.regions : outcome.naive)
                .append(code.symbology + QLatin1Char('=') + code.text);
    }
    // Today's search without the closer looks, for the cost they add.
    DetectionOptions plain;
    plain.strategy = DetectionStrategy::RegionsWithoutEscalation;
    const double before = threadCpuMs();
    detectCodesInData(jpeg, plain);
    outcome.plainCpuMs = threadCpuMs() - before;
    QString error;
    const LumaImage luma = decodeLuma(jpeg, 1, &error);
    if (luma.isNull())
        return outcome;
    const ZXing::BarcodeFormats all = ZXing::BarcodeFormat::Any;
    ZXing::BarcodeFormats matrix, linear;
    for (auto format : knownFormats(all))
        (ZXing::BarcodeFormats(ZXing::BarcodeFormat::LinearCodes).testFlag(format) ? linear : matrix) |= format;
    surveyGroup(luma, matrix, false, invert, outcome.survey);
    surveyGroup(luma, linear, true, invert, outcome.survey);
    return outcome;
}

QString symbologyOf(const QString &found)
{
    return found.section(QLatin1Char('='), 0, 0);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quietLog);
    QCommandLineParser parser;
    const QCommandLineOption photosOption(QStringLiteral("photos"), QStringLiteral("Card-free photos."), QStringLiteral("n"),
                                          QStringLiteral("2000"));
    const QCommandLineOption seedOption(QStringLiteral("first-seed"), QStringLiteral("Seed of the first photo."), QStringLiteral("n"),
                                        QStringLiteral("20000"));
    const QCommandLineOption sizeOption(QStringLiteral("size"), QStringLiteral("One size for all photos."), QStringLiteral("WxH"));
    const QCommandLineOption naiveOption(QStringLiteral("naive"), QStringLiteral("The reference strategy too."));
    const QCommandLineOption invertOption(QStringLiteral("invert"), QStringLiteral("Survey with the inverted pass on."));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"), QStringLiteral("One line per photo that read something."));
    parser.addOptions({photosOption, seedOption, sizeOption, naiveOption, invertOption, verboseOption});
    parser.addHelpOption();
    parser.process(app);

    initializeMetadataLibrary();
    testkit::initializePhotoKit();
    const int photos = std::max(1, parser.value(photosOption).toInt());
    const quint32 firstSeed = parser.value(seedOption).toUInt();
    QList<QSize> sizes = cSizes;
    if (parser.isSet(sizeOption)) {
        const QStringList parts = parser.value(sizeOption).split(QLatin1Char('x'));
        sizes = {QSize(parts.value(0).toInt(), parts.value(1).toInt())};
    }
    const bool naive = parser.isSet(naiveOption);
    const bool invert = parser.isSet(invertOption);
    const bool verbose = parser.isSet(verboseOption);

    benchLine(QStringLiteral("false_zxing_version"),
              QStringLiteral("%1.%2.%3").arg(ZXING_VERSION_MAJOR).arg(ZXING_VERSION_MINOR).arg(ZXING_VERSION_PATCH));
    QList<int> indexes;
    for (int i = 0; i < photos; ++i)
        indexes.append(i);
    QElapsedTimer timer;
    timer.start();
    std::atomic<int> done{0};
    const QList<PhotoOutcome> outcomes = QtConcurrent::blockingMapped<QList<PhotoOutcome>>(indexes, [&](int i) {
        PhotoOutcome outcome = examine(firstSeed + quint32(i), sizes[i % sizes.size()], naive, invert);
        if (const int n = ++done; n % 250 == 0)
            note(QStringLiteral("bench-false-codes: %1 of %2 photos").arg(n).arg(photos));
        return outcome;
    });

    int regions = 0, naiveCodes = 0, marked = 0;
    double regionsCpuMs = 0, plainCpuMs = 0;
    QMap<QString, int> byFormat;
    for (const ZXing::BarcodeFormat format : knownFormats(ZXing::BarcodeFormat::Any))
        byFormat.insert(QString::fromLatin1(ZXing::ToString(format)), 0);
    for (int i = 0; i < photos; ++i) {
        const PhotoOutcome &o = outcomes[i];
        regions += int(o.regions.size());
        naiveCodes += int(o.naive.size());
        marked += o.marked ? 1 : 0;
        regionsCpuMs += o.regionsCpuMs;
        plainCpuMs += o.plainCpuMs;
        for (const QString &found : o.survey)
            ++byFormat[symbologyOf(found)];
        if (verbose && o.marked)
            note(QStringLiteral("seed %1: marked as a possible card").arg(firstSeed + quint32(i)));
        if (verbose && !(o.regions.isEmpty() && o.naive.isEmpty() && o.survey.isEmpty()))
            note(QStringLiteral("seed %1 %2x%3: regions [%4] naive [%5] survey [%6]")
                     .arg(firstSeed + quint32(i))
                     .arg(sizes[i % sizes.size()].width())
                     .arg(sizes[i % sizes.size()].height())
                     .arg(o.regions.join(QLatin1Char(',')), o.naive.join(QLatin1Char(',')), o.survey.join(QLatin1Char(','))));
    }
    benchLine(QStringLiteral("false_photos"), QString::number(photos), "photos");
    benchLine(QStringLiteral("false_codes_regions"), QString::number(regions), "codes");
    if (naive)
        benchLine(QStringLiteral("false_codes_naive"), QString::number(naiveCodes), "codes");
    benchLine(QStringLiteral("false_marked_possible_cards"), QString::number(marked), "photos");
    benchLine(QStringLiteral("false_cpu_ms_per_photo_regions"), QString::number(regionsCpuMs / std::max(1, photos), 'f', 2), "ms");
    benchLine(QStringLiteral("false_cpu_ms_per_photo_plain"), QString::number(plainCpuMs / std::max(1, photos), 'f', 2), "ms");
    for (auto it = byFormat.cbegin(); it != byFormat.cend(); ++it)
        benchLine(QStringLiteral("false_survey_%1").arg(it.key()), QString::number(it.value()),
                  invert ? "photos (inverted pass on)" : "photos");
    benchLine("false_seconds", timer.nsecsElapsed() / 1e9, "s");
    return 0;
}
