#include "naming/CameraGrouping.h"

#include "naming/FileNameScheme.h"
#include "platform/Log.h"
#include "settings/SettingsKeys.h"

namespace sorrelby {

namespace {

const QString cClass = QStringLiteral("URL");

void note(const QString &operation, const QString &detail = {})
{
    logOp(cClass, operation, detail);
}

// The serial a photo without maker-note data takes from its name: the first
// piece of its camera name. The camera name, not the present one, so that a
// photo keeps its camera's key once it carries a code (A1_IMG_0002.JPG and
// IMG_0003.JPG of one camera both give IMG).
std::optional<QString> serialFromFileName(const QString &path)
{
    const QStringList pieces = baseNameOf(getOriginalName(path)).split(cDefaultComponentSeparator1);
    if (pieces.size() < 2)
        return std::nullopt;
    const QString first = pieces.first().trimmed();
    if (first.isEmpty())
        return std::nullopt;
    return first;
}

} // namespace

QString cameraKeyFor(const std::optional<PhotoProperties> &properties, const QString &path)
{
    if (!properties)
        return cInvalidCameraKey;
    const std::optional<QString> serial = properties->hasAuxiliaryExif ? photoSerialNumber(*properties) : serialFromFileName(path);
    const QString make = properties->tiff.value(QStringLiteral("Make")).trimmed().section(QLatin1Char(' '), 0, 0);
    QString key;
    if (!make.isEmpty())
        key = make + serial.value_or(QStringLiteral("xyz"));
    else if (serial)
        key = QStringLiteral("ven") + *serial;
    else
        key = QStringLiteral("invalid");
    return key.toUpper();
}

QString getCameraSerialNumber(const QString &path)
{
    return cameraKeyFor(readPhotoProperties(path), path);
}

CameraGroups doCreateDictionaryOfCameraImages(const QStringList &paths)
{
    const QString operation = QStringLiteral("doCreateDictionaryOfCameraImages()");
    note(operation);
    CameraGroups groups;
    for (const QString &path : paths) {
        const QString key = getCameraSerialNumber(path);
        if (!key.isEmpty())
            groups[key].append(path);
    }
    note(operation + QStringLiteral("...DONE."));
    return groups;
}

} // namespace sorrelby
