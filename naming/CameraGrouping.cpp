#include "naming/CameraGrouping.h"

#include "platform/Log.h"

namespace sorrelby {

namespace {

const QString cClass = QStringLiteral("URL");

void note(const QString &operation, const QString &detail = {})
{
    logOp(cClass, operation, detail);
}

QString baseNameOfPath(const QString &path)
{
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.left(dot) : name;
}

std::optional<QString> serialFromFileName(const QString &path)
{
    const QStringList pieces = baseNameOfPath(path).split(QLatin1Char('_'));
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
    const std::optional<QString> serial =
        properties->hasAuxiliaryExif ? photoSerialNumber(*properties) : serialFromFileName(path);
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
