// sorrelby-testkit: makes the generated test photos by hand, for demos,
// benchmarks and trying the application on a realistic shoot.
//
//   sorrelby-testkit photo OUT.jpg [--size WxH] [--camera nikon|canon|sony|none] ...
//   sorrelby-testkit card OUT.jpg PAYLOAD [--symbology qr|datamatrix|code128|code39|pdf417] [--side PX] [--rotate DEG] ...
//   sorrelby-testkit shoot FOLDER [--subjects N] [--photos N] [--cameras nikon,canon] [--interleave] [--files raw+jpeg] ...
//                          [--roster FILE [--leave-out LIST] [--absent N]] [--card-only LIST] [--come-back LIST]
//                          [--burst-ms MS] [--subsec DIGITS] [--file-times capture|equal|shuffled]
//
// OUT.NEF, OUT.CR2, ... write a RAW-like file carrying the picture as its preview.

#include "tests/testkit/photos/RosterGenerator.h"
#include "tests/testkit/photos/ShootGenerator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>

using namespace sorrelby::testkit;

namespace {

void fail(const QString &message)
{
    std::fprintf(stderr, "sorrelby-testkit: %s\n", qUtf8Printable(message));
}

std::optional<QSize> parseSize(const QString &text)
{
    const QStringList parts = text.toLower().split(QLatin1Char('x'));
    bool okW = false, okH = false;
    if (parts.size() != 2)
        return std::nullopt;
    const QSize size(parts[0].toInt(&okW), parts[1].toInt(&okH));
    if (!okW || !okH || size.width() < 16 || size.height() < 16 || size.width() > 12000 || size.height() > 12000)
        return std::nullopt;
    return size;
}

std::optional<QList<int>> parseInts(const QString &text)
{
    QList<int> values;
    for (const QString &piece : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        values << piece.trimmed().toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    return values;
}

struct Options {
    QCommandLineParser parser;
    QCommandLineOption size{QStringLiteral("size"), QStringLiteral("Photo size (default 6000x4000; shoot: 1200x800)."),
                            QStringLiteral("WxH"), QStringLiteral("6000x4000")};
    QCommandLineOption camera{QStringLiteral("camera"), QStringLiteral("nikon, canon, sony or none."), QStringLiteral("name"),
                              QStringLiteral("nikon")};
    QCommandLineOption serial{QStringLiteral("serial"), QStringLiteral("Camera serial number."), QStringLiteral("text")};
    QCommandLineOption seed{QStringLiteral("seed"), QStringLiteral("Picture seed."), QStringLiteral("n"), QStringLiteral("1")};
    QCommandLineOption date{QStringLiteral("date"), QStringLiteral("Capture time, yyyy-MM-dd HH:mm:ss (default now)."),
                            QStringLiteral("time")};
    QCommandLineOption orientation{QStringLiteral("orientation"), QStringLiteral("Exif orientation (1-8)."), QStringLiteral("n"),
                                   QStringLiteral("1")};
    QCommandLineOption quality{QStringLiteral("quality"), QStringLiteral("JPEG quality."), QStringLiteral("q"), QStringLiteral("92")};
    QCommandLineOption noThumbnail{QStringLiteral("no-thumbnail"), QStringLiteral("No embedded thumbnail.")};
    QCommandLineOption symbology{QStringLiteral("symbology"), QStringLiteral("qr, datamatrix, code128, code39 or pdf417."),
                                 QStringLiteral("name"), QStringLiteral("qr")};
    QCommandLineOption side{QStringLiteral("side"), QStringLiteral("Code width in pixels."), QStringLiteral("px"), QStringLiteral("0")};
    QCommandLineOption rotate{QStringLiteral("rotate"), QStringLiteral("Card rotation in degrees."), QStringLiteral("deg"),
                              QStringLiteral("0")};
    QCommandLineOption perspective{QStringLiteral("perspective"), QStringLiteral("Card tilt, 0 to 0.3."), QStringLiteral("f"),
                                   QStringLiteral("0")};
    QCommandLineOption bend{QStringLiteral("bend"), QStringLiteral("Card bowed, share of the code's side, 0 to 0.05."), QStringLiteral("f"),
                            QStringLiteral("0")};
    QCommandLineOption blur{QStringLiteral("blur"), QStringLiteral("Blur radius in pixels."), QStringLiteral("px"), QStringLiteral("0")};
    QCommandLineOption noise{QStringLiteral("noise"), QStringLiteral("Noise over the card, 0 to 64."), QStringLiteral("n"),
                             QStringLiteral("6")};
    QCommandLineOption at{QStringLiteral("at"), QStringLiteral("Card centre, relative (0.5,0.5)."), QStringLiteral("x,y"),
                          QStringLiteral("0.5,0.5")};
    QCommandLineOption second{QStringLiteral("second"), QStringLiteral("A second card with this payload, right of the first."),
                              QStringLiteral("payload")};
    QCommandLineOption subjects{QStringLiteral("subjects"), QStringLiteral("Subjects."), QStringLiteral("n"), QStringLiteral("5")};
    QCommandLineOption photos{QStringLiteral("photos"), QStringLiteral("Photos per subject besides the card."), QStringLiteral("n"),
                              QStringLiteral("4")};
    QCommandLineOption cameras{QStringLiteral("cameras"), QStringLiteral("Comma-separated cameras."), QStringLiteral("list"),
                               QStringLiteral("nikon")};
    QCommandLineOption interleave{QStringLiteral("interleave"), QStringLiteral("The cameras' shots alternate in time.")};
    QCommandLineOption stations{QStringLiteral("stations"), QStringLiteral("Subjects alternate between the cameras.")};
    QCommandLineOption codes{QStringLiteral("codes"), QStringLiteral("Comma-separated card payloads."), QStringLiteral("list")};
    QCommandLineOption before{QStringLiteral("before-first-card"), QStringLiteral("Photos per camera before its first card."),
                              QStringLiteral("n"), QStringLiteral("0")};
    QCommandLineOption unreadable{QStringLiteral("unreadable"), QStringLiteral("Subjects (1-based) whose card has no code."),
                                  QStringLiteral("list")};
    QCommandLineOption manifest{QStringLiteral("manifest"), QStringLiteral("Where to write manifest.json."), QStringLiteral("path")};
    QCommandLineOption files{QStringLiteral("files"), QStringLiteral("Files a shot leaves: jpeg, raw or raw+jpeg."), QStringLiteral("kind"),
                             QStringLiteral("jpeg")};
    QCommandLineOption threads{QStringLiteral("threads"), QStringLiteral("Threads (default: one per core)."), QStringLiteral("n"),
                               QStringLiteral("0")};
    QCommandLineOption roster{QStringLiteral("roster"), QStringLiteral("Also write a roster (class list) of the shoot as CSV."),
                              QStringLiteral("file")};
    QCommandLineOption leaveOut{QStringLiteral("leave-out"), QStringLiteral("Subjects (1-based) left off the roster."),
                                QStringLiteral("list")};
    QCommandLineOption absent{QStringLiteral("absent"), QStringLiteral("Roster rows for subjects never photographed."), QStringLiteral("n"),
                              QStringLiteral("0")};
    QCommandLineOption cardOnly{QStringLiteral("card-only"), QStringLiteral("Subjects (1-based) with a card photo and no portrait."),
                                QStringLiteral("list")};
    QCommandLineOption comeBack{QStringLiteral("come-back"), QStringLiteral("Subjects (1-based) photographed once more at the end."),
                                QStringLiteral("list")};
    QCommandLineOption burst{QStringLiteral("burst-ms"), QStringLiteral("Milliseconds between shots (a burst) instead of 2 s."),
                             QStringLiteral("ms"), QStringLiteral("0")};
    QCommandLineOption subSeconds{QStringLiteral("subsec"), QStringLiteral("Digits of SubSecTimeOriginal (0: none)."), QStringLiteral("n"),
                                  QStringLiteral("0")};
    QCommandLineOption fileTimes{QStringLiteral("file-times"), QStringLiteral("File modification times: capture, equal or shuffled."),
                                 QStringLiteral("kind"), QStringLiteral("capture")};

    Options()
    {
        parser.setApplicationDescription(QStringLiteral("Generates camera-like test photos, card photos and whole shoots."));
        parser.addHelpOption();
        parser.addPositionalArgument(QStringLiteral("command"),
                                     QStringLiteral("photo OUT.jpg | card OUT.jpg PAYLOAD | shoot FOLDER (OUT.NEF, OUT.CR2: RAW-like)"));
        parser.addOptions({size,    camera,  serial,      seed,     date,     orientation, quality,    noThumbnail, symbology,
                           side,    rotate,  perspective, bend,     blur,     noise,       at,         second,      subjects,
                           photos,  cameras, interleave,  stations, codes,    before,      unreadable, manifest,    files,
                           threads, roster,  leaveOut,    absent,   cardOnly, comeBack,    burst,      subSeconds,  fileTimes});
    }

    int integer(const QCommandLineOption &option, bool &ok) const
    {
        bool good = false;
        const int value = parser.value(option).toInt(&good);
        if (!good) {
            fail(QStringLiteral("--%1 wants a whole number").arg(option.names().constFirst()));
            ok = false;
        }
        return value;
    }

    double real(const QCommandLineOption &option, bool &ok) const
    {
        bool good = false;
        const double value = parser.value(option).toDouble(&good);
        if (!good) {
            fail(QStringLiteral("--%1 wants a number").arg(option.names().constFirst()));
            ok = false;
        }
        return value;
    }
};

std::optional<CameraSpec> cameraOption(const Options &o, const QString &name)
{
    if (name.trimmed().toLower() == QLatin1String("none"))
        return CameraSpec{};
    bool known = false;
    CameraSpec camera = cameraByName(name, &known);
    if (!known) {
        fail(QStringLiteral("unknown camera: ") + name);
        return std::nullopt;
    }
    if (o.parser.isSet(o.serial)) {
        camera.bodySerial = o.parser.value(o.serial);
        if (!camera.makerNoteSerial.isEmpty())
            camera.makerNoteSerial = camera.bodySerial;
    }
    return camera;
}

std::optional<PhotoSpec> photoOptions(const Options &o)
{
    PhotoSpec spec;
    const auto size = parseSize(o.parser.value(o.size));
    if (!size) {
        fail(QStringLiteral("--size wants WxH, for example 6000x4000"));
        return std::nullopt;
    }
    spec.size = *size;
    bool ok = true;
    spec.seed = quint32(o.integer(o.seed, ok));
    spec.quality = std::clamp(o.integer(o.quality, ok), 1, 100);
    spec.exif.orientation = o.integer(o.orientation, ok);
    spec.exif.thumbnail = !o.parser.isSet(o.noThumbnail);
    const QString camera = o.parser.value(o.camera);
    if (camera.trimmed().toLower() != QLatin1String("none")) {
        const auto c = cameraOption(o, camera);
        if (!c)
            return std::nullopt;
        spec.exif.camera = *c;
    }
    spec.exif.captureTime = QDateTime::currentDateTime();
    if (o.parser.isSet(o.date)) {
        spec.exif.captureTime = QDateTime::fromString(o.parser.value(o.date), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!spec.exif.captureTime.isValid()) {
            fail(QStringLiteral("--date wants yyyy-MM-dd HH:mm:ss"));
            return std::nullopt;
        }
    }
    if (!ok)
        return std::nullopt;
    return spec;
}

void report(const QString &path, const QElapsedTimer &timer)
{
    std::printf("wrote %s (%.2f MB) in %lld ms\n", qUtf8Printable(path), double(QFileInfo(path).size()) / 1e6, timer.elapsed());
}

int runPhoto(const Options &o, const QStringList &args)
{
    if (args.size() != 2) {
        fail(QStringLiteral("usage: photo OUT.jpg [options]"));
        return 2;
    }
    const auto spec = photoOptions(o);
    if (!spec)
        return 2;
    QElapsedTimer timer;
    timer.start();
    if (!writePhoto(args[1], *spec))
        return 1;
    report(args[1], timer);
    return 0;
}

int runCard(const Options &o, const QStringList &args)
{
    if (args.size() != 3) {
        fail(QStringLiteral("usage: card OUT.jpg PAYLOAD [options]"));
        return 2;
    }
    const auto photo = photoOptions(o);
    const auto symbology = symbologyByName(o.parser.value(o.symbology));
    if (!symbology)
        fail(QStringLiteral("unknown symbology: ") + o.parser.value(o.symbology));
    const auto at = o.parser.value(o.at).split(QLatin1Char(','));
    bool ok = photo && symbology && at.size() == 2;
    CardPhotoSpec spec = cardPhotoSpec(args[2], photo.value_or(PhotoSpec{}), symbology.value_or(Symbology::QRCode));
    CodeSpec &code = spec.codes[0];
    code.side = o.integer(o.side, ok);
    code.rotation = o.real(o.rotate, ok);
    code.perspective = o.real(o.perspective, ok);
    code.bend = o.real(o.bend, ok);
    if (at.size() == 2)
        code.center = QPointF(at[0].toDouble(), at[1].toDouble());
    spec.blur = o.real(o.blur, ok);
    spec.noise = o.integer(o.noise, ok);
    if (o.parser.isSet(o.second)) {
        CodeSpec other = code;
        other.payload = o.parser.value(o.second);
        code.center.rx() -= 0.22;
        other.center.rx() += 0.22;
        spec.codes.append(other);
    }
    if (!ok)
        return 2;
    QElapsedTimer timer;
    timer.start();
    if (!writeCardPhoto(args[1], spec))
        return 1;
    report(args[1], timer);
    return 0;
}

int runShoot(const Options &o, const QStringList &args)
{
    if (args.size() != 2) {
        fail(QStringLiteral("usage: shoot FOLDER [options]"));
        return 2;
    }
    ShootSpec spec;
    bool ok = true;
    const auto size = parseSize(o.parser.isSet(o.size) ? o.parser.value(o.size) : QStringLiteral("1200x800"));
    if (!size) {
        fail(QStringLiteral("--size wants WxH, for example 6000x4000"));
        ok = false;
    }
    spec.size = size.value_or(QSize());
    spec.subjects = o.integer(o.subjects, ok);
    spec.photosPerSubject = o.integer(o.photos, ok);
    spec.photosBeforeFirstCard = o.integer(o.before, ok);
    spec.threads = o.integer(o.threads, ok);
    spec.seed = quint32(o.integer(o.seed, ok));
    spec.interleave = o.parser.isSet(o.interleave);
    spec.millisecondsBetween = o.integer(o.burst, ok);
    spec.subSecondDigits = o.integer(o.subSeconds, ok);
    const QString fileTimes = o.parser.value(o.fileTimes).toLower();
    if (fileTimes == QLatin1String("equal")) {
        spec.fileTimes = FileTimes::Equal;
    } else if (fileTimes == QLatin1String("shuffled")) {
        spec.fileTimes = FileTimes::Shuffled;
    } else if (fileTimes != QLatin1String("capture")) {
        fail(QStringLiteral("--file-times wants capture, equal or shuffled"));
        ok = false;
    }
    spec.sameSubjects = !o.parser.isSet(o.stations);
    spec.cameras.clear();
    for (const QString &name : o.parser.value(o.cameras).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const auto camera = cameraOption(o, name);
        if (camera)
            spec.cameras << *camera;
        else
            ok = false;
    }
    const QString files = o.parser.value(o.files).toLower();
    if (files == QLatin1String("raw")) {
        spec.files = ShotFiles::Raw;
    } else if (files == QLatin1String("raw+jpeg")) {
        spec.files = ShotFiles::RawAndJpeg;
    } else if (files != QLatin1String("jpeg")) {
        fail(QStringLiteral("--files wants jpeg, raw or raw+jpeg"));
        ok = false;
    }
    if (o.parser.isSet(o.codes))
        spec.codes = o.parser.value(o.codes).split(QLatin1Char(','));
    if (const auto symbology = symbologyByName(o.parser.value(o.symbology)))
        spec.symbology = *symbology;
    else
        ok = false;
    // Lists of 1-based subjects, kept 0-based.
    const auto subjectList = [&](const QCommandLineOption &option) {
        QList<int> subjects;
        if (!o.parser.isSet(option))
            return subjects;
        const auto given = parseInts(o.parser.value(option));
        if (!given) {
            fail(QStringLiteral("--%1 wants subject numbers, for example 1,3").arg(option.names().constFirst()));
            ok = false;
        }
        for (int s : given.value_or(QList<int>{}))
            subjects << s - 1;
        return subjects;
    };
    spec.unreadableCardSubjects = subjectList(o.unreadable);
    spec.cardOnlySubjects = subjectList(o.cardOnly);
    spec.comeBackSubjects = subjectList(o.comeBack);
    RosterSpec roster;
    roster.leftOut = subjectList(o.leaveOut);
    roster.absent = o.integer(o.absent, ok);
    spec.manifestPath = o.parser.isSet(o.manifest) ? o.parser.value(o.manifest) : args[1] + QStringLiteral("/../manifest.json");
    spec.manifestPath = QFileInfo(spec.manifestPath).absoluteFilePath();
    if (!ok || spec.subjects < 0 || spec.photosPerSubject < 0)
        return 2;
    QElapsedTimer timer;
    timer.start();
    const auto shoot = writeShoot(args[1], spec);
    if (!shoot)
        return 1;
    std::printf("wrote %lld photos into %s in %lld ms; manifest %s\n", qlonglong(shoot->photos.size()), qUtf8Printable(shoot->folder),
                timer.elapsed(), qUtf8Printable(spec.manifestPath));
    if (o.parser.isSet(o.roster)) {
        const QString path = QFileInfo(o.parser.value(o.roster)).absoluteFilePath();
        if (!writeRoster(path, *shoot, roster)) {
            fail(QStringLiteral("cannot write ") + path);
            return 1;
        }
        std::printf("wrote the roster %s\n", qUtf8Printable(path));
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sorrelby-testkit"));
    initializePhotoKit();
    Options options;
    options.parser.process(app);
    const QStringList args = options.parser.positionalArguments();
    const QString command = args.value(0);
    if (command == QLatin1String("photo"))
        return runPhoto(options, args);
    if (command == QLatin1String("card"))
        return runCard(options, args);
    if (command == QLatin1String("shoot"))
        return runShoot(options, args);
    options.parser.showHelp(2);
}
