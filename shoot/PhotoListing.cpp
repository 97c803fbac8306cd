#include "shoot/PhotoListing.h"

#include "platform/Log.h"
#include "settings/PreferenceOps.h"

#include <QDateTime>

namespace sorrelby {

std::optional<PhotoListing> listPhotos(const QString &folder, QString *error)
{
    const QString kClass = QStringLiteral("ImageDirectoryLoader");
    const QString operation = QStringLiteral("getFilesURLFromFolder(_:)");
    std::optional<FolderScan> scan = scanPhotoFolder(folder, error);
    if (!scan)
        return std::nullopt;

    const std::optional<double> delay = preferenceops::validPhotoDelay();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    PhotoListing listing;
    listing.leftAlone = std::move(scan->leftAlone);
    listing.photos.reserve(qsizetype(scan->photos.size()));
    for (const ScannedPhoto &photo : scan->photos) {
        if (delay && now < photo.attributes.creationDate.addMSecs(qint64(*delay * 1000.0))) {
            logOp(kClass, operation, QStringLiteral("too young, left for a later reload: ") + photo.path);
            continue;
        }
        listing.photos.append(photo.path);
    }
    for (const LeftAlone &file : std::as_const(listing.leftAlone))
        logOp(kClass, operation, QStringLiteral("left alone: ") + file.name + QStringLiteral(": ") + file.reason);
    return listing;
}

std::optional<QStringList> photosInFolder(const QString &folder, QString *error)
{
    std::optional<PhotoListing> listing = listPhotos(folder, error);
    if (!listing)
        return std::nullopt;
    return std::move(listing->photos);
}

} // namespace sorrelby
