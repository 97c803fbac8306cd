#include "imaging/PhotoMetadata.h"

#include "platform/FileOps.h"
#include "platform/FileTypes.h"
#include "platform/Log.h"
#include "settings/PreferenceOps.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QFile>
#include <QImageReader>
#include <QTimeZone>

#include "imaging/Exiv2Compat.h"

#include <algorithm>
#include <memory>
#include <mutex>

namespace sorrelby {

namespace {

const QString cClass = QStringLiteral("URL");

void note(const QString &operation, const QString &detail = {})
{
    logOp(cClass, operation, detail);
}

void exiv2LogHandler(int level, const char *message)
{
    const char *name = level >= Exiv2::LogMsg::error ? "error" : "warning";
    logLine(QStringLiteral("Exiv2 -> %1....%2").arg(QLatin1String(name), QString::fromUtf8(message).trimmed()));
}

std::string exivPath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

// The photo at path with its metadata read; null when Exiv2 knows no such
// image. Throws as Exiv2 does: callers catch.
exiv2compat::ImagePtr openWithMetadata(const QString &path)
{
    // Exiv2 opens by path and would wait for ever on a FIFO.
    if (!fileops::checkReadableFile(path))
        return {};
    initializeMetadataLibrary();
    exiv2compat::ImagePtr image = exiv2compat::openImage(exivPath(path));
    if (image)
        image->readMetadata();
    return image;
}

QString textOf(const Exiv2::Exifdatum &datum)
{
    // Exif text values often carry trailing blanks or NULs.
    QString text = QString::fromStdString(datum.toString());
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
    return text.trimmed();
}

bool isSerialTag(const std::string &tag)
{
    return tag == "BodySerialNumber" || tag == "SerialNumber" || tag == "InternalSerialNumber";
}

// The picture's own size: Exiv2 reads the JPEG frame header; other types go
// through Qt's reader, which reads the header only.
void fillPixelSize(const Exiv2::Image &image, const QString &path, PhotoProperties &properties)
{
    if (image.pixelWidth() > 0 && image.pixelHeight() > 0) {
        properties.pixelWidth = image.pixelWidth();
        properties.pixelHeight = image.pixelHeight();
        return;
    }
    const QSize size = QImageReader(path).size();
    if (size.isValid()) {
        properties.pixelWidth = size.width();
        properties.pixelHeight = size.height();
    }
}

// The JPEG stream without its APPn and COM segments: what must not change
// when only metadata is rewritten. Empty when the stream is not understood.
QByteArray jpegImageData(const QByteArray &bytes)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype size = bytes.size();
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return {};
    QByteArray kept;
    kept.reserve(size);
    kept.append(bytes.constData(), 2);
    qsizetype pos = 2;
    while (pos + 4 <= size) {
        if (data[pos] != 0xFF)
            return {};
        const uchar marker = data[pos + 1];
        if (marker == 0xFF) { // fill byte
            ++pos;
            continue;
        }
        const qsizetype length = (qsizetype(data[pos + 2]) << 8) | data[pos + 3];
        if (length < 2 || pos + 2 + length > size)
            return {};
        const bool metadata = (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE;
        if (marker == 0xDA) { // start of scan: the rest is image data
            kept.append(bytes.constData() + pos, size - pos);
            return kept;
        }
        if (!metadata)
            kept.append(bytes.constData() + pos, 2 + length);
        pos += 2 + length;
    }
    return {};
}

QByteArray readWholeFile(const QString &path, QString *error)
{
    QFile file;
    if (const FileResult opened = fileops::openForReading(path, file); !opened) {
        *error = opened.error;
        return {};
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return {};
    }
    return bytes;
}

// The JPEG bytes with orientation 3, written by Exiv2 in memory.
QByteArray withOrientationUpsideDown(const QByteArray &bytes, QString *error)
{
    try {
        const exiv2compat::ImagePtr image = exiv2compat::openImage(bytes);
        if (!image) {
            *error = QStringLiteral("not readable");
            return {};
        }
        image->readMetadata();
        Exiv2::ExifData exif = image->exifData();
        exif["Exif.Image.Orientation"] = uint16_t(cOrientationUpsideDown);
        image->setExifData(exif);
        image->writeMetadata();
        QByteArray written = exiv2compat::contentOf(*image);
        if (written.isEmpty())
            *error = QStringLiteral("the rewritten data cannot be read back");
        return written;
    } catch (const std::exception &e) {
        *error = QString::fromUtf8(e.what());
        return {};
    }
}

} // namespace

void initializeMetadataLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::XmpParser::initialize();
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::warn);
        Exiv2::LogMsg::setHandler(exiv2LogHandler);
    });
}

std::optional<PhotoProperties> readPhotoProperties(const QString &path)
{
    try {
        const auto image = openWithMetadata(path);
        if (!image)
            return std::nullopt;
        PhotoProperties properties;
        for (const Exiv2::Exifdatum &datum : image->exifData()) {
            const std::string group = datum.groupName();
            const std::string tag = datum.tagName();
            if (group == "Image") {
                properties.tiff.insert(QString::fromStdString(tag), textOf(datum));
                if (tag == "Orientation" && datum.count() > 0)
                    properties.orientation = int(exiv2compat::intValue(datum));
            } else if (group == "Photo") {
                properties.exif.insert(QString::fromStdString(tag), textOf(datum));
            } else if (group != "MakerNote" && Exiv2::ExifTags::isMakerGroup(group)) {
                properties.hasAuxiliaryExif = true;
                const QString name = QString::fromStdString(tag);
                if (isSerialTag(tag) && !properties.auxiliaryExif.contains(name))
                    properties.auxiliaryExif.insert(name, textOf(datum));
            }
        }
        fillPixelSize(*image, path, properties);
        return properties;
    } catch (const std::exception &e) {
        note(QStringLiteral("readPhotoProperties()"),
             QStringLiteral("cannot read the metadata of ") + path + QStringLiteral(": ") + QString::fromUtf8(e.what()));
        return std::nullopt;
    }
}

std::optional<QString> photoSerialNumber(const PhotoProperties &properties)
{
    for (const char *tag : {"BodySerialNumber", "SerialNumber", "InternalSerialNumber"}) {
        const QString serial = properties.auxiliaryExif.value(QLatin1String(tag));
        if (!serial.isEmpty())
            return serial;
    }
    const QString body = properties.exif.value(QStringLiteral("BodySerialNumber"));
    if (!body.isEmpty())
        return body;
    return std::nullopt;
}

std::optional<QDateTime> exifDate(const PhotoProperties &properties, const QString &key)
{
    const QString tag = key.startsWith(QLatin1String("Exif.Photo.")) ? key.mid(11) : key;
    const QString text = properties.exif.value(tag);
    if (text.isEmpty())
        return std::nullopt;
    const QDateTime date = QDateTime::fromString(text, QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    if (!date.isValid())
        return std::nullopt;
    return date;
}

std::optional<qint64> parseCaptureClock(const QString &dateTime, const QString &subSeconds)
{
    const QDateTime date = QDateTime::fromString(dateTime.trimmed(), QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    if (!date.isValid())
        return std::nullopt;
    // Read as UTC: a local reading would drop the hour a clock change skips.
    qint64 msecs = QDateTime(date.date(), date.time(), QTimeZone::utc()).toMSecsSinceEpoch();
    // The digits of a fraction: "5" is 0.5 s, "05" 0.05 s; blanks pad.
    const QString digits = subSeconds.trimmed();
    int fraction = 0;
    int scale = 100;
    for (const QChar c : digits) {
        if (!c.isDigit())
            break;
        fraction += c.digitValue() * scale;
        scale /= 10;
        if (scale == 0)
            break;
    }
    return msecs + fraction;
}

std::optional<qint64> captureClockMsecs(const QString &path)
{
    try {
        const auto image = openWithMetadata(path);
        if (!image)
            return std::nullopt;
        const Exiv2::ExifData &exif = image->exifData();
        const auto date = exif.findKey(Exiv2::ExifKey("Exif.Photo.DateTimeOriginal"));
        if (date == exif.end())
            return std::nullopt;
        const auto sub = exif.findKey(Exiv2::ExifKey("Exif.Photo.SubSecTimeOriginal"));
        return parseCaptureClock(textOf(*date), sub == exif.end() ? QString() : textOf(*sub));
    } catch (const std::exception &e) {
        note(QStringLiteral("captureClockMsecs()"),
             QStringLiteral("cannot read the metadata of ") + path + QStringLiteral(": ") + QString::fromUtf8(e.what()));
        return std::nullopt;
    }
}

std::optional<QDateTime> getPhotoDate(const QString &path, const QString &key)
{
    const QString operation = QStringLiteral("getPhotoDate(_:)");
    const std::optional<PhotoProperties> properties = readPhotoProperties(path);
    if (!properties || properties->exif.isEmpty()) {
        note(operation, QStringLiteral("no Exif properties for key ") + key + QStringLiteral(" in ") + path);
        return std::nullopt;
    }
    const QString tag = key.startsWith(QLatin1String("Exif.Photo.")) ? key.mid(11) : key;
    const QString text = properties->exif.value(tag);
    if (text.isEmpty()) {
        note(operation, QStringLiteral("no value for key ") + key + QStringLiteral(" in ") + path);
        return std::nullopt;
    }
    note(operation, QStringLiteral("converted date to String....") + text);
    const std::optional<QDateTime> date = exifDate(*properties, key);
    if (!date)
        return std::nullopt;
    note(operation, QStringLiteral("SUCCESS convering to Date....") + date->toString(Qt::ISODate));
    return date;
}

std::optional<FileAttributes> getFileAttributes(const QString &path)
{
    std::optional<FileAttributes> attributes = fileops::attributes(path);
    if (!attributes)
        note(QStringLiteral("getFileAttributes()"), QStringLiteral("cannot read the attributes of ") + path);
    return attributes;
}

bool isLandscapeAndNormalOrientation(const QString &path)
{
    const std::optional<PhotoProperties> properties = readPhotoProperties(path);
    if (!properties || !properties->orientation || !properties->pixelWidth || !properties->pixelHeight)
        return false;
    return *properties->orientation == cOrientationNormal && *properties->pixelWidth > *properties->pixelHeight;
}

bool doSetForOrientation180(const QString &path)
{
    const QString operation = QStringLiteral("doSetForOrientation180()");
    if (!filetypes::isImage(path)) {
        note(operation, QStringLiteral("bad... not an image....") + path);
        return false;
    }
    if (!filetypes::isJpeg(path)) {
        note(operation, QStringLiteral("only JPEG photos are turned....") + path);
        return false;
    }
    const std::optional<FileAttributes> attributes = getFileAttributes(path);
    if (!attributes)
        return false;
    QString error;
    const QByteArray original = readWholeFile(path, &error);
    if (original.isEmpty()) {
        note(operation, QStringLiteral("cannot read ") + path + QStringLiteral(": ") + error);
        return false;
    }
    const QByteArray turned = withOrientationUpsideDown(original, &error);
    if (turned.isEmpty()) {
        note(operation, QStringLiteral("cannot set the orientation of ") + path + QStringLiteral(": ") + error);
        return false;
    }
    // Only metadata may differ; anything else would be a damaged photo.
    const QByteArray before = jpegImageData(original);
    if (before.isEmpty() || before != jpegImageData(turned)) {
        note(operation, QStringLiteral("the rewrite would change the image data, file left as it was....") + path);
        return false;
    }
    if (const FileResult written = fileops::writeFileAtomically(path, turned); !written) {
        note(operation, QStringLiteral("cannot write ") + path + QStringLiteral(": ") + written.error);
        return false;
    }
    // The creation date cannot be set here; the file system's birth time of
    // the new file is later than the kept modification date, which therefore
    // stays the earliest date the file reports.
    if (attributes->modificationDate.isValid()) {
        if (const FileResult dated = fileops::setModificationDate(path, attributes->modificationDate); !dated)
            note(operation, QStringLiteral("cannot put back the modification date: ") + dated.error);
    }
    note(operation, QStringLiteral("turned by 180 degrees....") + path);
    return true;
}

bool rotateUpsideDownIfAllowed(const QString &path)
{
    Settings &settings = Settings::shared();
    if (!settings.boolValue(cPrefRotateImages180))
        return false;
    const QStringList cameras = preferenceops::parseSerialList(settings.stringValue(cPrefCamerasToRotate180asString));
    if (cameras.isEmpty())
        return false;
    const std::optional<PhotoProperties> properties = readPhotoProperties(path);
    if (!properties)
        return false;
    const std::optional<QString> serial = photoSerialNumber(*properties);
    if (!serial || !cameras.contains(*serial))
        return false;
    if (!isLandscapeAndNormalOrientation(path))
        return false;
    return doSetForOrientation180(path);
}

namespace {

// Exiv2 lists the previews smallest first; `choose` picks one of them (or
// none) by index.
template<typename Choose> std::optional<EmbeddedPreview> pickPreview(const QString &path, const QString &operation, Choose choose)
{
    try {
        const auto image = openWithMetadata(path);
        if (!image)
            return std::nullopt;
        const Exiv2::PreviewManager previews(*image);
        const Exiv2::PreviewPropertiesList list = previews.getPreviewProperties();
        const std::optional<std::size_t> chosen = choose(list);
        if (!chosen)
            return std::nullopt;
        const Exiv2::PreviewImage preview = previews.getPreviewImage(list[*chosen]);
        EmbeddedPreview result;
        result.data = QByteArray(reinterpret_cast<const char *>(preview.pData()), qsizetype(preview.size()));
        result.size = QSize(int(preview.width()), int(preview.height()));
        const Exiv2::ExifData &exif = image->exifData();
        const auto orientation = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        if (orientation != exif.end() && orientation->count() > 0)
            result.orientation = int(exiv2compat::intValue(*orientation));
        return result;
    } catch (const std::exception &e) {
        note(operation, QStringLiteral("cannot read the previews of ") + path + QStringLiteral(": ") + QString::fromUtf8(e.what()));
        return std::nullopt;
    }
}

} // namespace

std::optional<EmbeddedPreview> embeddedPreview(const QString &path, int minLongSide)
{
    return pickPreview(path, QStringLiteral("embeddedPreview()"), [minLongSide](const Exiv2::PreviewPropertiesList &list) {
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (int(std::max(list[i].width_, list[i].height_)) >= minLongSide)
                return std::optional<std::size_t>(i);
        }
        return std::optional<std::size_t>();
    });
}

std::optional<EmbeddedPreview> largestEmbeddedPreview(const QString &path)
{
    return pickPreview(path, QStringLiteral("largestEmbeddedPreview()"), [](const Exiv2::PreviewPropertiesList &list) {
        return list.empty() ? std::optional<std::size_t>() : std::optional<std::size_t>(list.size() - 1);
    });
}

std::optional<QString> UTI(const QString &path)
{
    const QString type = filetypes::typeName(path);
    if (type.isEmpty())
        return std::nullopt;
    return type;
}

} // namespace sorrelby
