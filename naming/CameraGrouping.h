#pragma once
// Camera keys and the grouping of photos by camera, for shoots where several
// cameras write into one folder. A key is the make's first word followed by
// the body's serial number, upper case: NIKON3012345, CANON2281012345. Photos
// without maker-note data take the serial from their camera name (CANONIMG
// for IMG_0412.JPG, A1_IMG_0413.JPG and A1_IMG_0414-qrcode.JPG alike);
// "xyz" stands in for a missing serial, "ven" for a missing make, and
// unreadable photos share the key INVALID. Stateless; safe from any thread.

#include "imaging/PhotoMetadata.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace sorrelby {

inline constexpr QLatin1StringView cInvalidCameraKey{"INVALID"};

// The camera key of a photo.
QString getCameraSerialNumber(const QString &path);

// The camera key from already read properties (none: unreadable) and the
// photo's path (for the name fallback, through getOriginalName and so
// cPrefOriginalNameFormatTag).
QString cameraKeyFor(const std::optional<PhotoProperties> &properties, const QString &path);

// Photos by camera key, each list in input order (photos whose key cannot be
// formed are left out; an empty input gives an empty map). The order of the
// cameras means nothing.
using CameraGroups = QMap<QString, QStringList>;
CameraGroups doCreateDictionaryOfCameraImages(const QStringList &paths);

} // namespace sorrelby
