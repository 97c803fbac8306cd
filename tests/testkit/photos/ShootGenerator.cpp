#include "tests/testkit/photos/ShootGenerator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

namespace sorrelby::testkit {

namespace {

QString defaultCode(int subject)
{
    return QStringLiteral("S%1").arg(subject + 1, 3, 10, QLatin1Char('0'));
}

QString baseOf(const QString &name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.left(dot) : name;
}

QString extOf(const QString &name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.mid(dot + 1) : QString();
}

QString nameWithCode(const QString &fileName, const QString &code, bool card)
{
    if (code.isEmpty())
        return fileName;
    QString name = code + QLatin1Char('_') + baseOf(fileName);
    if (card)
        name += QStringLiteral("-qrcode");
    const QString ext = extOf(fileName);
    return ext.isEmpty() ? name : name + QLatin1Char('.') + ext;
}

// Carries codes along one sequence of photos (indexes into photos): a
// readable card sets the code, everything else takes the current one.
template<typename Assign> void carryCodes(QList<ShootPhoto> &photos, const QList<int> &sequence, Assign assign)
{
    QString current;
    for (int i : sequence) {
        ShootPhoto &p = photos[i];
        if (p.isCard && p.readableCard)
            current = codeOfPayload(p.payload);
        assign(p, current);
    }
}

struct Shot {
    int camera;
    int subject;
    bool card;
};

quint64 mix(quint64 a, quint64 b)
{
    quint64 z = a * 0x9E3779B97F4A7C15ull ^ (b + 0x632BE59BD9B4E019ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double unit(quint64 h, int salt)
{
    return double(mix(h, quint64(salt)) >> 11) * (1.0 / 9007199254740992.0);
}

// A card held up a little differently each time; variation 1 is the full
// range, 0 a flat, centred, sharp card.
CardPhotoSpec cardSpecFor(const ShootSpec &spec, const ShootPhoto &photo, const PhotoSpec &base, quint64 h, double variation)
{
    CardPhotoSpec card = cardPhotoSpec(photo.readableCard ? photo.payload : QString(), base, spec.symbology);
    if (spec.varyCards) {
        const bool linear = spec.symbology == Symbology::Code128 || spec.symbology == Symbology::Code39;
        // zxing-cpp 1.4 finds tilted Data Matrix symbols less reliably.
        if (spec.symbology == Symbology::DataMatrix)
            variation *= 0.5;
        CodeSpec &code = card.codes[0];
        code.center = QPointF(0.5 + (unit(h, 1) - 0.5) * 0.2 * variation, 0.45 + (unit(h, 2) - 0.5) * 0.16 * variation);
        code.rotation = (unit(h, 3) - 0.5) * 16 * variation;
        code.perspective = unit(h, 4) * 0.08 * variation;
        if (!linear) {
            code.side = int(std::min(base.size.width(), base.size.height()) * (0.25 + 0.08 * unit(h, 5)));
            // Thin bars do not survive blur; square modules do.
            card.blur = unit(h, 6) * 0.6 * variation;
        }
    }
    return card;
}

} // namespace

QString codeOfPayload(const QString &payload)
{
    if (!payload.contains(QLatin1Char('/')))
        return payload;
    return payload.trimmed().replace(QLatin1Char('/'), QLatin1Char(':'));
}

QStringList Shoot::fileNames() const
{
    QStringList names;
    for (const ShootPhoto &p : photos)
        names << p.fileName;
    return names;
}

QStringList Shoot::paths() const
{
    QStringList list;
    for (const ShootPhoto &p : photos)
        list << folder + QLatin1Char('/') + p.fileName;
    return list;
}

QStringList Shoot::expectedNames(bool cameraSplit) const
{
    QStringList names;
    for (const ShootPhoto &p : photos)
        names << (cameraSplit ? p.expectedName : p.expectedNameWithoutCameraSplit);
    return names;
}

Shoot planShoot(const QString &folder, const ShootSpec &spec)
{
    Shoot shoot;
    shoot.folder = QDir::cleanPath(QDir(folder).absolutePath());
    shoot.manifestPath = spec.manifestPath;
    shoot.cameras = spec.cameras.isEmpty() ? QList<CameraSpec>{nikonCamera()} : spec.cameras;
    const int cameras = int(shoot.cameras.size());

    // Each camera's shots in its own order, and the order of a shoot where
    // the cameras take turns block by block.
    QList<QList<Shot>> perCamera(cameras);
    QList<Shot> blocks;
    auto add = [&](const Shot &shot) {
        perCamera[shot.camera].append(shot);
        blocks.append(shot);
    };
    for (int c = 0; c < cameras; ++c)
        for (int k = 0; k < spec.photosBeforeFirstCard; ++k)
            add({c, -1, false});
    auto photograph = [&](int s) {
        const int photos = spec.cardOnlySubjects.contains(s) ? 0 : spec.photosPerSubject;
        for (int c = 0; c < cameras; ++c) {
            if (!spec.sameSubjects && s % cameras != c)
                continue;
            add({c, s, true});
            for (int k = 0; k < photos; ++k)
                add({c, s, false});
        }
    };
    for (int s = 0; s < spec.subjects; ++s)
        photograph(s);
    for (const int s : spec.comeBackSubjects) {
        if (s >= 0 && s < spec.subjects)
            photograph(s);
    }
    QList<Shot> order;
    if (spec.interleave) {
        QList<int> next(cameras, 0);
        for (bool more = true; more;) {
            more = false;
            for (int c = 0; c < cameras; ++c) {
                if (next[c] < perCamera[c].size()) {
                    order.append(perCamera[c][next[c]++]);
                    more = true;
                }
            }
        }
    } else {
        order = blocks;
    }

    // Cameras sharing a name pattern count from different thousands so that
    // their names do not collide in one folder.
    QList<int> frame(cameras);
    for (int c = 0; c < cameras; ++c) {
        int sharing = 0;
        for (int o = 0; o < c; ++o)
            if (shoot.cameras[o].namePrefix == shoot.cameras[c].namePrefix && shoot.cameras[o].nameStyle == shoot.cameras[c].nameStyle)
                ++sharing;
        frame[c] = (spec.firstFrameNumber > 0 ? spec.firstFrameNumber : 1) + 1000 * sharing;
    }

    const QDateTime start = spec.start.isValid() ? spec.start : QDateTime(QDate(2024, 5, 1), QTime(9, 0, 0));
    QList<QList<int>> cameraSequences(cameras);
    QList<int> all;
    for (int shotIndex = 0; shotIndex < order.size(); ++shotIndex) {
        const Shot &shot = order[shotIndex];
        const CameraSpec &camera = shoot.cameras[shot.camera];
        ShootPhoto p;
        p.shot = shotIndex;
        p.camera = shot.camera;
        p.subject = shot.subject;
        p.isCard = shot.card;
        if (shot.card) {
            p.payload = shot.subject < spec.codes.size() ? spec.codes[shot.subject] : defaultCode(shot.subject);
            p.readableCard = !spec.unreadableCardSubjects.contains(shot.subject);
        }
        p.captureTime = spec.millisecondsBetween > 0 ? start.addMSecs(qint64(shotIndex) * spec.millisecondsBetween)
                                                     : start.addSecs(qint64(shotIndex) * std::max(1, spec.secondsBetween));
        p.fileTime = p.captureTime;
        const int frameNumber = frame[shot.camera]++;
        QList<ShootPhoto> files;
        if (spec.files != ShotFiles::Raw) {
            p.fileName = camera.fileName(frameNumber);
            files.append(p);
        }
        if (spec.files != ShotFiles::Jpeg) {
            p.fileName = camera.rawFileName(frameNumber);
            p.raw = true;
            files.append(p);
        }
        // Equal capture times are ordered by name.
        std::sort(files.begin(), files.end(), [](const ShootPhoto &a, const ShootPhoto &b) { return a.fileName < b.fileName; });
        for (const ShootPhoto &file : std::as_const(files)) {
            cameraSequences[shot.camera].append(int(shoot.photos.size()));
            all.append(int(shoot.photos.size()));
            shoot.photos.append(file);
        }
    }
    for (const QList<int> &sequence : cameraSequences) {
        carryCodes(shoot.photos, sequence, [](ShootPhoto &p, const QString &code) {
            p.expectedCode = code;
            p.expectedName = nameWithCode(p.fileName, code, p.isCard && p.readableCard);
        });
    }
    carryCodes(shoot.photos, all, [](ShootPhoto &p, const QString &code) {
        p.expectedNameWithoutCameraSplit = nameWithCode(p.fileName, code, p.isCard && p.readableCard);
    });
    if (spec.fileTimes == FileTimes::Equal) {
        // Copied an hour after the shoot, all in the same second.
        for (ShootPhoto &p : shoot.photos)
            p.fileTime = start.addSecs(3600);
    } else if (spec.fileTimes == FileTimes::Shuffled && shoot.photos.size() > 1) {
        // Reversed, then every other pair swapped: no photo keeps its place
        // and the file-date order is far from the capture order.
        QList<QDateTime> times;
        for (const ShootPhoto &p : std::as_const(shoot.photos))
            times.prepend(p.captureTime);
        for (qsizetype i = 0; i + 1 < times.size(); i += 4)
            times.swapItemsAt(i, i + 1);
        for (qsizetype i = 0; i < shoot.photos.size(); ++i)
            shoot.photos[i].fileTime = times[i];
    }
    for (ShootPhoto &p : shoot.photos) {
        p.cameraKey = shoot.cameras[p.camera].expectedCameraKey(p.fileName);
        p.cameraKeyAfterDecode = shoot.cameras[p.camera].expectedCameraKey(p.expectedName);
    }
    return shoot;
}

bool writeShootPhoto(const Shoot &shoot, const ShootSpec &spec, int index, const QString &folder)
{
    initializePhotoKit();
    if (index < 0 || index >= shoot.photos.size())
        return false;
    const ShootPhoto &p = shoot.photos[index];
    const QString path = folder + QLatin1Char('/') + p.fileName;
    // The manifest must not lie: a readable card must read as its payload
    // (at two scales, see readsAsIntended) and nothing else may read as a
    // code. When zxing-cpp disagrees the card is held straighter (or the
    // scene changed) and tried again. Checking costs a detection pass, so
    // plain photos are checked only up to 4 MP (tests); card photos always.
    const QStringList wanted = p.isCard && p.readableCard ? QStringList{p.payload} : QStringList{};
    const bool check = p.isCard || qint64(spec.size.width()) * spec.size.height() <= 4'000'000;
    constexpr int attempts = 4;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        // By shot, so that a RAW and its JPEG show the same picture.
        const quint64 h = mix(spec.seed, quint64(p.shot) + (quint64(attempt) << 32));
        PhotoSpec photo;
        photo.size = spec.size;
        photo.seed = quint32(h);
        photo.exif.camera = shoot.cameras.value(p.camera);
        photo.exif.captureTime = p.captureTime;
        photo.exif.subSecondDigits = spec.subSecondDigits;
        const double variation = 1.0 - double(attempt) / (attempts - 1);
        QImage image;
        double module = 0;
        if (p.isCard) {
            const CardPhotoSpec card = cardSpecFor(spec, p, photo, h, variation);
            module = moduleSize(card.codes[0], photo.size);
            image = renderCardPhoto(card);
        } else {
            image = makeBackground(photo.size, photo.seed);
        }
        if (image.isNull())
            return false;
        // A RAW file is read through its preview, so that is what must read.
        const QByteArray picture = p.raw ? makeRawPreview(image, 0, photo.quality) : encodeJpeg(image, photo.quality);
        const QByteArray bytes = picture.isEmpty() ? QByteArray()
            : p.raw                                ? makeRawLike(picture, image, photo.exif)
                                                   : addExif(picture, image, photo.exif);
        if (bytes.isEmpty())
            return false;
        if (!check || (p.isCard ? readsAsIntended(picture, wanted, module) : readCodesInJpeg(picture).isEmpty()))
            return writeFileBytes(path, bytes, p.fileTime.isValid() ? p.fileTime : p.captureTime);
    }
    qWarning("testkit: %s does not read as intended", qUtf8Printable(p.fileName));
    return false;
}

std::optional<Shoot> writeShoot(const QString &folder, const ShootSpec &spec)
{
    initializePhotoKit();
    Shoot shoot = planShoot(folder, spec);
    if (!QDir().mkpath(shoot.folder))
        return std::nullopt;

    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
    auto work = [&] {
        for (int i = next++; i < shoot.photos.size() && !failed; i = next++) {
            if (!writeShootPhoto(shoot, spec, i, shoot.folder))
                failed = true;
        }
    };
    const int threads = std::clamp(spec.threads > 0 ? spec.threads : QThread::idealThreadCount(), 1, std::max(1, int(shoot.photos.size())));
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t)
        pool.emplace_back(work);
    work();
    for (std::thread &t : pool)
        t.join();
    if (failed)
        return std::nullopt;

    if (!spec.manifestPath.isEmpty()) {
        QDir().mkpath(QFileInfo(spec.manifestPath).absolutePath());
        QSaveFile file(spec.manifestPath);
        const QByteArray json = QJsonDocument(shoot.toJson()).toJson(QJsonDocument::Indented);
        if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit()) {
            qWarning("testkit: cannot write %s", qUtf8Printable(spec.manifestPath));
            return std::nullopt;
        }
    }
    return shoot;
}

int Shoot::nameFormatTag() const
{
    int parts = 0;
    for (const CameraSpec &c : cameras) {
        if (parts != 0 && parts != c.namePartCount())
            return -1;
        parts = c.namePartCount();
    }
    return parts - 1;
}

QJsonObject Shoot::toJson() const
{
    QJsonArray cameraList;
    for (const CameraSpec &c : cameras) {
        cameraList.append(QJsonObject{
            {QStringLiteral("make"), c.make},
            {QStringLiteral("model"), c.model},
            {QStringLiteral("bodySerial"), c.bodySerial},
            {QStringLiteral("makerNoteSerial"), c.writesMakerNote() ? c.makerNoteSerial : QString()},
            {QStringLiteral("namePrefix"), c.namePrefix},
            {QStringLiteral("nameParts"), c.namePartCount()},
        });
    }
    QJsonArray photoList;
    for (const ShootPhoto &p : photos) {
        photoList.append(QJsonObject{
            {QStringLiteral("fileName"), p.fileName},
            {QStringLiteral("shot"), p.shot},
            {QStringLiteral("raw"), p.raw},
            {QStringLiteral("camera"), p.camera},
            {QStringLiteral("subject"), p.subject},
            {QStringLiteral("isCard"), p.isCard},
            {QStringLiteral("readableCard"), p.readableCard},
            {QStringLiteral("payload"), p.payload},
            {QStringLiteral("code"), p.expectedCode},
            {QStringLiteral("expectedName"), p.expectedName},
            {QStringLiteral("expectedNameWithoutCameraSplit"), p.expectedNameWithoutCameraSplit},
            {QStringLiteral("cameraKey"), p.cameraKey},
            {QStringLiteral("cameraKeyAfterDecode"), p.cameraKeyAfterDecode},
            {QStringLiteral("captureTime"), p.captureTime.toOffsetFromUtc(p.captureTime.offsetFromUtc()).toString(Qt::ISODate)},
            {QStringLiteral("exifDate"), exifDateText(p.captureTime)},
            {QStringLiteral("captureTimeMs"), double(p.captureTime.toMSecsSinceEpoch())},
            {QStringLiteral("fileTimeMs"), double(p.fileTime.toMSecsSinceEpoch())},
        });
    }
    return QJsonObject{
        {QStringLiteral("folder"), folder},
        {QStringLiteral("nameFormatTag"), nameFormatTag()},
        {QStringLiteral("cameras"), cameraList},
        {QStringLiteral("photos"), photoList},
    };
}

std::optional<Shoot> readManifest(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject root = doc.object();
    Shoot shoot;
    shoot.folder = root.value(QStringLiteral("folder")).toString();
    shoot.manifestPath = path;
    for (const QJsonValue &v : root.value(QStringLiteral("cameras")).toArray()) {
        const QJsonObject o = v.toObject();
        CameraSpec c;
        c.make = o.value(QStringLiteral("make")).toString();
        c.model = o.value(QStringLiteral("model")).toString();
        c.bodySerial = o.value(QStringLiteral("bodySerial")).toString();
        c.makerNoteSerial = o.value(QStringLiteral("makerNoteSerial")).toString();
        c.namePrefix = o.value(QStringLiteral("namePrefix")).toString();
        c.nameStyle = o.value(QStringLiteral("nameParts")).toInt() == 1 ? NameStyle::OnePart : NameStyle::TwoParts;
        shoot.cameras.append(c);
    }
    for (const QJsonValue &v : root.value(QStringLiteral("photos")).toArray()) {
        const QJsonObject o = v.toObject();
        ShootPhoto p;
        p.fileName = o.value(QStringLiteral("fileName")).toString();
        p.shot = o.value(QStringLiteral("shot")).toInt();
        p.raw = o.value(QStringLiteral("raw")).toBool();
        p.camera = o.value(QStringLiteral("camera")).toInt();
        p.subject = o.value(QStringLiteral("subject")).toInt();
        p.isCard = o.value(QStringLiteral("isCard")).toBool();
        p.readableCard = o.value(QStringLiteral("readableCard")).toBool();
        p.payload = o.value(QStringLiteral("payload")).toString();
        p.expectedCode = o.value(QStringLiteral("code")).toString();
        p.expectedName = o.value(QStringLiteral("expectedName")).toString();
        p.expectedNameWithoutCameraSplit = o.value(QStringLiteral("expectedNameWithoutCameraSplit")).toString();
        p.cameraKey = o.value(QStringLiteral("cameraKey")).toString();
        p.cameraKeyAfterDecode = o.value(QStringLiteral("cameraKeyAfterDecode")).toString();
        p.captureTime = QDateTime::fromMSecsSinceEpoch(qint64(o.value(QStringLiteral("captureTimeMs")).toDouble()));
        p.fileTime = o.contains(QStringLiteral("fileTimeMs"))
            ? QDateTime::fromMSecsSinceEpoch(qint64(o.value(QStringLiteral("fileTimeMs")).toDouble()))
            : p.captureTime;
        shoot.photos.append(p);
    }
    if (shoot.folder.isEmpty() || shoot.photos.isEmpty())
        return std::nullopt;
    return shoot;
}

} // namespace sorrelby::testkit
