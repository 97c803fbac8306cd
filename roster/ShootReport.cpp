#include "roster/ShootReport.h"

#include "browser/SectionModel.h"
#include "imaging/PhotoMetadata.h"
#include "naming/CameraGrouping.h"
#include "naming/FileNameScheme.h"
#include "naming/PhotoOrdering.h"

#include <QHash>
#include <QtConcurrent/QtConcurrentMap>

namespace sorrelby {

namespace {

void readMetadata(ReportPhoto &photo)
{
    const std::optional<PhotoProperties> properties = readPhotoProperties(photo.path);
    photo.camera = cameraKeyFor(properties, photo.path);
    if (properties) {
        std::optional<QDateTime> date = exifDate(*properties, cExifDateTimeOriginal);
        if (!date)
            date = exifDate(*properties, cExifDateTimeDigitized);
        if (date)
            photo.captureTime = *date;
    }
    if (!photo.captureTime.isValid()) {
        if (const std::optional<FileAttributes> attributes = fileops::attributes(photo.path))
            photo.captureTime = attributes->creationDate;
    }
}

ReportPhoto photoNamed(const QString &path, const QString &sourceName, int tag)
{
    ReportPhoto photo;
    photo.path = path;
    photo.fileName = sourceName;
    const CheckedPhoto fromName = checkedPhotoFromName(sourceName, tag);
    photo.code = fromName.code;
    photo.isCard = fromName.isCard;
    return photo;
}

} // namespace

std::vector<ReportPhoto> readReportPhotos(const QStringList &paths, int nameFormatTag)
{
    initializeMetadataLibrary();
    std::vector<ReportPhoto> photos;
    photos.reserve(size_t(paths.size()));
    for (const QString &path : paths)
        photos.push_back(photoNamed(path, fileNameOf(path), nameFormatTag));
    QtConcurrent::blockingMap(photos, readMetadata);
    return photos;
}

std::optional<std::vector<ReportPhoto>> readSourceFolder(const QString &folder, int nameFormatTag, QString *error)
{
    const std::optional<QStringList> listed = ImageDirectoryLoader::getFilesURLFromFolderClass(folder, error);
    if (!listed)
        return std::nullopt;
    const QStringList ordered = sortImageUrls(*listed, SortDirection::Ascending).value_or(*listed);
    return readReportPhotos(ordered, nameFormatTag);
}

std::vector<ReportPhoto> readDeliveredPhotos(const QList<DeliveredPhoto> &delivered, int nameFormatTag)
{
    initializeMetadataLibrary();
    std::vector<ReportPhoto> photos;
    photos.reserve(size_t(delivered.size()));
    for (const DeliveredPhoto &d : delivered) {
        ReportPhoto photo = photoNamed(d.deliveredPath, fileNameOf(d.sourceName), nameFormatTag);
        photo.deliveredPath = d.deliveredPath;
        photos.push_back(std::move(photo));
    }
    QtConcurrent::blockingMap(photos, readMetadata);
    return photos;
}

const RosterSubject *ShootReport::rosterSubjectOf(int subject) const
{
    if (!roster || subject < 0 || size_t(subject) >= check.subjects.size())
        return nullptr;
    const int row = check.subjects[size_t(subject)].rosterRow;
    return row >= 0 ? &roster->subjects[size_t(row)] : nullptr;
}

QString ShootReport::nameOf(int subject) const
{
    const RosterSubject *row = rosterSubjectOf(subject);
    return row ? row->displayName() : QString();
}

QString ShootReport::groupOf(int subject) const
{
    const RosterSubject *row = rosterSubjectOf(subject);
    return row ? row->group : QString();
}

ShootReport makeShootReport(const QString &source, std::shared_ptr<const Roster> roster, std::vector<ReportPhoto> photos)
{
    ShootReport report;
    report.source = source;
    report.roster = std::move(roster);
    report.photos = std::move(photos);
    std::vector<CheckedPhoto> checked;
    checked.reserve(report.photos.size());
    QHash<QString, int> cameraNumbers;
    for (const ReportPhoto &photo : report.photos) {
        auto camera = cameraNumbers.constFind(photo.camera);
        if (camera == cameraNumbers.constEnd())
            camera = cameraNumbers.insert(photo.camera, int(cameraNumbers.size()));
        checked.push_back({photo.code, photo.isCard, photo.captureTime.isValid() ? photo.captureTime.toMSecsSinceEpoch() : 0, *camera});
    }
    report.check = checkShoot(report.roster.get(), checked);
    return report;
}

QString reportTime(const QDateTime &time)
{
    return time.isValid() ? time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

} // namespace sorrelby
