#pragma once
// Photo metadata through Exiv2: capture dates, camera identity, orientation
// and pixel size, and the 180-degree turn of photos from cameras mounted
// upside down (the orientation tag only; the compressed image data stays
// byte for byte as it was).
//
// This is the one place that talks to Exiv2: its exceptions are caught here
// and its log goes into ours. Call initializeMetadataLibrary() once on the
// main thread before any thread reads metadata. The operations keep no state
// and may run on any thread; two of them must not work on one file at once.

#include "platform/FileOps.h"

#include <QDateTime>
#include <QMap>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

namespace sorrelby {

// Exif keys of the capture dates (intake passes the digitized one).
inline constexpr QLatin1StringView cExifDateTimeOriginal{"DateTimeOriginal"};
inline constexpr QLatin1StringView cExifDateTimeDigitized{"DateTimeDigitized"};

// Orientation codes of Exif/TIFF.
inline constexpr int cOrientationNormal = 1;
inline constexpr int cOrientationUpsideDown = 3;

// Prepares Exiv2 for use from several threads and routes its warnings and
// errors into our log. Idempotent; call on the main thread first.
void initializeMetadataLibrary();

// What the metadata of the first image of a file says.
struct PhotoProperties {
    std::optional<int> orientation; // Exif.Image.Orientation
    std::optional<int> pixelWidth;  // from the picture itself
    std::optional<int> pixelHeight;
    QMap<QString, QString> exif; // Exif.Photo.<tag> -> value as text
    QMap<QString, QString> tiff; // Exif.Image.<tag> -> value as text
    // Decoded maker-note data (Exif.Nikon3.*, Exif.Canon.*, ...). Only the
    // serial numbers are kept: "BodySerialNumber", "SerialNumber",
    // "InternalSerialNumber" (the first of each name found).
    bool hasAuxiliaryExif = false;
    QMap<QString, QString> auxiliaryExif;
};

// None when the file cannot be opened or holds no image metadata (logged).
std::optional<PhotoProperties> readPhotoProperties(const QString &path);

// The serial of the camera body: the maker note's body serial, else its
// serial, else its internal serial, else the Exif body serial; none when
// there is none.
std::optional<QString> photoSerialNumber(const PhotoProperties &properties);

// The date under `key` of already read properties ("DateTimeOriginal" or
// "Exif.Photo.DateTimeOriginal"), read as local time.
std::optional<QDateTime> exifDate(const PhotoProperties &properties, const QString &key);

// The capture time the camera's clock wrote: DateTimeOriginal refined by
// SubSecTimeOriginal when present, in milliseconds of that wall clock read
// as if it were UTC. Exif keeps no time zone, so this orders photos and is
// no moment in time. Reads the metadata only, never the picture; none when
// the photo carries no valid DateTimeOriginal or cannot be read.
std::optional<qint64> captureClockMsecs(const QString &path);
// The same from the two texts ("2024:05:01 13:45:10", "37" = 0.37 s).
std::optional<qint64> parseCaptureClock(const QString &dateTime, const QString &subSeconds);

// The date under `key` of the Exif dictionary ("DateTimeDigitized", or a full
// Exiv2 key), read as local time; none when absent or not a date.
std::optional<QDateTime> getPhotoDate(const QString &path, const QString &key);

// The file's attributes; none when unreadable (logged).
std::optional<FileAttributes> getFileAttributes(const QString &path);

// Orientation 1 and wider than high.
bool isLandscapeAndNormalOrientation(const QString &path);

// Sets the orientation to 3 by rewriting the metadata of a copy beside the
// file and renaming the copy over it; the image data is not touched and the
// modification date is put back. JPEG only. False (logged) on any failure,
// the file then being left as it was.
bool doSetForOrientation180(const QString &path);

// Turns the photo when cPrefRotateImages180 is on, its camera's serial is in
// cPrefCamerasToRotate180asString and it is landscape with orientation 1.
// True when it was turned.
bool rotateUpsideDownIfAllowed(const QString &path);

// An embedded preview picture (the Exif thumbnail or a maker's larger
// preview), stored the way the main picture is: `orientation` applies to it.
struct EmbeddedPreview {
    QByteArray data; // encoded, usually JPEG
    QSize size;
    int orientation = cOrientationNormal;
};

// The smallest embedded preview whose longer side is at least minLongSide;
// none when the file has no such preview or cannot be read.
std::optional<EmbeddedPreview> embeddedPreview(const QString &path, int minLongSide);

// The largest embedded preview (a RAW file's full-size or 1620 px JPEG
// rather than its 160 px thumbnail); none when the file has no preview or
// cannot be read.
std::optional<EmbeddedPreview> largestEmbeddedPreview(const QString &path);

// The file's type ("image/jpeg"), judged by content; none when unknown.
std::optional<QString> UTI(const QString &path);

} // namespace sorrelby
