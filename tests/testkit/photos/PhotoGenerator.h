#pragma once
// Camera-like JPEG photos for tests, benchmarks and demos: a busy,
// photographic-looking picture (deterministic from a seed), encoded like a
// camera's JPEG (quality 92, 4:2:0) with the Exif a camera writes: make,
// model, serials (the maker-note serial for Nikon and Canon), capture dates,
// orientation, pixel size and an embedded 160 px thumbnail.
//
// Thread-safe: the first call initialises Exiv2 once (call
// initializePhotoKit() on the main thread first when threads will follow).

#include "tests/testkit/photos/Camera.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

namespace sorrelby::testkit {

// Initialises Exiv2 (XMP toolkit) once; call on the main thread before
// worker threads generate photos. Every entry point calls it too.
void initializePhotoKit();

struct ExifSpec {
    std::optional<CameraSpec> camera; // none: no make, model or serials
    QDateTime captureTime;            // DateTimeOriginal and DateTimeDigitized; invalid: none
    // SubSecTimeOriginal: this many digits of the capture time's fraction of
    // a second (2: hundredths, as many cameras write); 0: not written.
    int subSecondDigits = 0;
    int orientation = 1;   // Exif.Image.Orientation; 0: not written
    bool thumbnail = true; // embedded Exif JPEG thumbnail, 160 px
};

struct PhotoSpec {
    QSize size{640, 480};
    quint32 seed = 1;
    int quality = 92;
    ExifSpec exif;
};

// The picture alone (Format_RGB32), deterministic from size and seed.
QImage makeBackground(const QSize &size, quint32 seed);

// JPEG bytes of an image (libjpeg-turbo, 4:2:0), no metadata.
QByteArray encodeJpeg(const QImage &image, int quality = 92);
// A small valid JPEG (32 x 24) for tests that need a picture, not a photo.
const QByteArray &smallJpeg();

// Adds Exif (and thumbnail, made from image) to JPEG bytes. Empty on failure.
QByteArray addExif(const QByteArray &jpeg, const QImage &image, const ExifSpec &exif);

// encodeJpeg() + addExif().
QByteArray makeJpeg(const QImage &image, const ExifSpec &exif, int quality = 92);

// Writes bytes to path atomically (creating folders) and sets the
// modification time when one is given. False on failure (logged).
bool writeFileBytes(const QString &path, const QByteArray &bytes, const QDateTime &modified = {});

// Encodes image with Exif and writes it to path (atomically; folders are
// created). The file's modification time is set to the capture time when
// one is given. False on failure (logged to stderr).
bool writeJpeg(const QString &path, const QImage &image, const ExifSpec &exif, int quality = 92);

// RAW-like files as cameras write them, for card and subject photos shot in
// RAW: a little-endian TIFF whose first IFD carries the camera's Exif (maker
// note included, as for JPEGs), a 160 px JPEG thumbnail in IFD1 and the
// picture as a JPEG preview in a sub-IFD, where Exiv2's preview manager finds
// it. There is no sensor data: no reader of ours decodes the file itself,
// just as none decodes a real NEF or CR2. The extension alone makes it a NEF,
// CR2, ...

// The preview: the picture scaled to longSide (0: full size), JPEG.
QByteArray makeRawPreview(const QImage &image, int longSide = 0, int quality = 92);
// The RAW-like file around a preview from makeRawPreview; empty on failure.
QByteArray makeRawLike(const QByteArray &previewJpeg, const QImage &image, const ExifSpec &exif);
// Writes a RAW-like file (atomically, modification time = capture time).
bool writeRawLike(const QString &path, const QImage &image, const ExifSpec &exif, int previewLongSide = 0, int quality = 92);
// The name ends in a RAW extension (NEF, CR2, ARW, DNG; any case).
bool isRawFileName(const QString &path);
// writeRawLike() for a RAW name, writeJpeg() otherwise.
bool writeImageFile(const QString &path, const QImage &image, const ExifSpec &exif, int quality = 92);

// A plain photo: background + Exif, written to path (RAW-like for a RAW name).
bool writePhoto(const QString &path, const PhotoSpec &spec);

// Sets the file's modification (and access) time.
bool setModificationTime(const QString &path, const QDateTime &time);

// The Exif date text "yyyy:MM:dd HH:mm:ss" of a local time.
QString exifDateText(const QDateTime &time);

} // namespace sorrelby::testkit
