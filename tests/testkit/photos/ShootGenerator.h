#pragma once
// Whole shoots: for each subject a card photo followed by that subject's
// photos, from one or more cameras, written into a folder under the names
// the cameras give them, with capture dates (Exif and modification time)
// increasing in capture order. A JSON manifest tells, for every photo, what
// the decode pass must make of it, so tests and benchmarks can check the
// result without knowing how it was made.
//
// writeShoot() renders photos on several threads; call it from one thread
// at a time (initializePhotoKit() runs on the calling thread first).

#include "tests/testkit/photos/CardGenerator.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

namespace sorrelby::testkit {

// Which files each shot leaves behind.
enum class ShotFiles {
    Jpeg,       // DSC_0001.JPG
    Raw,        // DSC_0001.NEF (the camera's RAW extension), a RAW-like file
    RawAndJpeg, // both, with the same picture and capture time
};

// The modification times the photos' files get.
enum class FileTimes {
    Capture,  // the capture time, as a copy that keeps file times leaves them
    Equal,    // one time for all, as a copy that does not keep them leaves them
    Shuffled, // the capture times of other photos of the shoot
};

struct ShootSpec {
    int subjects = 3;
    int photosPerSubject = 3; // besides the card
    QList<CameraSpec> cameras{nikonCamera()};
    // Every camera photographs every subject (two angles of one set); when
    // false the subjects alternate between the cameras (separate stations).
    bool sameSubjects = true;
    // The cameras' shots alternate in time instead of one camera's block of
    // shots after the other's.
    bool interleave = false;
    QSize size{640, 480};
    QStringList codes; // payload of each subject's card; missing ones: "S001", "S002", ...
    Symbology symbology = Symbology::QRCode;
    QDateTime start;             // first capture; invalid: 1 May 2024 09:00:00 local time
    int secondsBetween = 2;      // between two consecutive shots of the shoot
    int millisecondsBetween = 0; // instead of secondsBetween when > 0 (bursts)
    int subSecondDigits = 0;     // SubSecTimeOriginal digits (ExifSpec); 0: none
    FileTimes fileTimes = FileTimes::Capture;
    int photosBeforeFirstCard = 0;     // per camera, shot before its first card
    QList<int> unreadableCardSubjects; // subjects (0-based) whose card shows no code
    QList<int> cardOnlySubjects;       // subjects (0-based) whose card is followed by no photo
    // Subjects (0-based) who come back at the end of the shoot: their card
    // and photos once more, after every other subject.
    QList<int> comeBackSubjects;
    bool varyCards = true; // tilt, move and soften each card a little
    // Each readable card reads as its payload with zxing-cpp at two scales
    // (full and half size unless its modules are too wide for that, see
    // readsAsIntended), and no other photo reads as a code (photos up to
    // 4 MP): a photo that does not is made again with a straighter card or
    // another scene.
    ShotFiles files = ShotFiles::Jpeg;
    int firstFrameNumber = 0; // 0: 1, or 1001, 2001, ... for cameras sharing a name pattern
    quint32 seed = 1;
    int threads = 0;      // 0: one per core
    QString manifestPath; // where to write manifest.json; empty: none
};

struct ShootPhoto {
    QString fileName; // as the camera named it
    int shot = 0;     // the capture it belongs to (RAW+JPEG: two photos a shot)
    bool raw = false; // a RAW-like file
    int camera = 0;   // index into the cameras
    int subject = -1; // -1: shot before the camera's first card
    bool isCard = false;
    bool readableCard = false;              // a card that shows a code
    QString payload;                        // the card's payload
    QString expectedCode;                   // the code the photo must end with; empty: none
    QString expectedName;                   // its name after decoding each camera's photos on their own
    QString expectedNameWithoutCameraSplit; // after decoding all photos as one sequence
    QString cameraKey;                      // the camera key of the photo as written
    QString cameraKeyAfterDecode;           // ... and under its expected name
    QDateTime captureTime;                  // Exif dates
    QDateTime fileTime;                     // modification time (see FileTimes)
};

struct Shoot {
    QString folder;
    QString manifestPath;
    QList<CameraSpec> cameras;
    QList<ShootPhoto> photos; // in capture order (a shot's files by name)

    QStringList fileNames() const; // camera names, capture order
    QStringList paths() const;
    QStringList expectedNames(bool cameraSplit = true) const;
    // The "prefOriginalNameFormatTag" that fits every camera's names (parts
    // - 1), or -1 when the cameras disagree.
    int nameFormatTag() const;
    QJsonObject toJson() const;
};

// The code the naming code makes of a card's payload with its default
// settings ("/" cannot stand in a file name and becomes ":").
QString codeOfPayload(const QString &payload);

// The plan of a shoot (names, codes, times) without writing anything.
Shoot planShoot(const QString &folder, const ShootSpec &spec);

// Writes one planned photo (index into shoot.photos) into folder under its
// camera name: for photos that arrive one by one, as into a hot folder.
// Existing files of the same name are replaced.
bool writeShootPhoto(const Shoot &shoot, const ShootSpec &spec, int index, const QString &folder);

// Writes the photos (and the manifest when asked); none when any photo or
// the manifest could not be written. Existing files of the same names are
// replaced.
std::optional<Shoot> writeShoot(const QString &folder, const ShootSpec &spec);

// Reads a manifest written by writeShoot(); none when unreadable.
std::optional<Shoot> readManifest(const QString &path);

} // namespace sorrelby::testkit
