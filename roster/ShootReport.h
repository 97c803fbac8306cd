#pragma once
// The photos of a shoot as a report lists them, and the report itself: every
// photo with its code, capture time, camera and, once delivered, where it
// went; the roster it is checked against; the check's result.
//
// The same report serves a source folder (readSourceFolder) and a delivery
// (readDeliveredPhotos, given where each photo went), so delivery can write
// the report of what it delivered. Reading metadata runs on a thread pool;
// call the readers from one thread at a time, off the GUI thread.

#include "roster/Roster.h"
#include "roster/ShootCheck.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace sorrelby {

struct ReportPhoto {
    QString path;     // where it is read from: the source folder, or where it was delivered
    QString fileName; // its name in the source folder
    std::optional<QString> code;
    bool isCard = false;
    QDateTime captureTime; // Exif capture time, else the file's creation date; invalid when neither
    QString camera;        // the camera key
    QString deliveredPath; // empty unless delivered
};

// The photos at the paths, in their order, with code and card flag from the
// file name and capture time and camera key from the metadata.
std::vector<ReportPhoto> readReportPhotos(const QStringList &paths, int nameFormatTag);

// The photos of a source folder as the window lists them, in capture order;
// none (with *error) when the folder cannot be read.
std::optional<std::vector<ReportPhoto>> readSourceFolder(const QString &folder, int nameFormatTag, QString *error = nullptr);

// A photo as delivery placed it: its name in the source folder (which holds
// the code; a delivered name may carry a "c<k>" suffix) and its path now.
struct DeliveredPhoto {
    QString sourceName;
    QString deliveredPath;
};
std::vector<ReportPhoto> readDeliveredPhotos(const QList<DeliveredPhoto> &delivered, int nameFormatTag);

struct ShootReport {
    QString source;                       // the folder the photos came from (or went to, for a delivery)
    std::shared_ptr<const Roster> roster; // null: no roster
    std::vector<ReportPhoto> photos;
    ShootCheck check;

    const RosterSubject *rosterSubjectOf(int subject) const;
    QString nameOf(int subject) const;  // "" off the roster
    QString groupOf(int subject) const; // "" off the roster
};

// Checks the photos against the roster (cameras told apart by their keys).
ShootReport makeShootReport(const QString &source, std::shared_ptr<const Roster> roster, std::vector<ReportPhoto> photos);

// Capture times as reports show them: "2024-05-01 09:00:04", "" when unknown.
QString reportTime(const QDateTime &time);

} // namespace sorrelby
