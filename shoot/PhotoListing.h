#pragma once
// The photos of a source folder as every operation on it sees them: the
// regular, non-hidden photo files directly inside it, old enough when the
// completeness delay (cPrefDoDelayToWaitForValidPhoto) is on, in listing
// order, and the files it leaves alone with their reasons. Safe from any
// thread.

#include "platform/FolderScan.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace sorrelby {

struct PhotoListing {
    QStringList photos;
    // Files that are no photos of the shoot (too young photos are not among
    // them: a later reload takes them).
    QList<LeftAlone> leftAlone;
};

// None when the folder cannot be listed (*error says why, when given).
std::optional<PhotoListing> listPhotos(const QString &folder, QString *error = nullptr);
std::optional<QStringList> photosInFolder(const QString &folder, QString *error = nullptr);

} // namespace sorrelby
