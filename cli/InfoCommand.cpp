// `info FILE...`: what the metadata of each photo says, one line per file:
// path, capture date, camera key, orientation and pixel size, separated by
// tabs ("-" where the photo does not say). Exit 3 when a file could not be
// read.

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "imaging/PhotoMetadata.h"
#include "naming/CameraGrouping.h"
#include "platform/FileOps.h"

namespace sorrelby::cli {

namespace {

const QString kUsage = commandUsage("info");
const QString kUnknown = QStringLiteral("-");

QString captureDateText(const PhotoProperties &properties)
{
    std::optional<QDateTime> date = exifDate(properties, cExifDateTimeOriginal);
    if (!date)
        date = exifDate(properties, cExifDateTimeDigitized);
    return date ? date->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : kUnknown;
}

} // namespace

int runInfoCommand(const QStringList &args)
{
    const std::optional<QStringList> files = plainOperands(args, kUsage);
    if (!files)
        return kExitUsage;
    initializeMetadataLibrary();
    int unreadable = 0;
    for (const QString &path : *files) {
        const FileResult readable = fileops::checkReadableFile(path);
        const std::optional<PhotoProperties> properties = readable ? readPhotoProperties(path) : std::nullopt;
        if (!readable) {
            ++unreadable;
            printErr(QStringLiteral(SORRELBY_EXECUTABLE ": cannot read %1: %2").arg(path, readable.error));
        } else if (!properties) {
            ++unreadable;
            printErr(QStringLiteral(SORRELBY_EXECUTABLE ": cannot read the metadata of ") + path);
        }
        const PhotoProperties known = properties.value_or(PhotoProperties());
        const QString size
            = known.pixelWidth && known.pixelHeight ? QStringLiteral("%1x%2").arg(*known.pixelWidth).arg(*known.pixelHeight) : kUnknown;
        printOut(QStringList{path, captureDateText(known), cameraKeyFor(properties, path),
                             known.orientation ? QString::number(*known.orientation) : kUnknown, size}
                     .join(QLatin1Char('\t')));
    }
    return unreadable > 0 ? kExitIssues : kExitOk;
}

} // namespace sorrelby::cli
