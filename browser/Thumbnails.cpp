#include "browser/Thumbnails.h"

#include "imaging/PhotoMetadata.h"
#include "platform/FileOps.h"
#include "platform/Log.h"

#include <QImageReader>
#include <QTransform>

namespace sorrelby {

namespace {

void note(const QString &detail)
{
    logOp(QStringLiteral("ImageFile"), QStringLiteral("getThumbnailImage(_:)"), detail);
}

QImage fitWithin(const QImage &image, int maxSide)
{
    if (image.isNull() || (image.width() <= maxSide && image.height() <= maxSide))
        return image;
    return image.scaled(maxSide, maxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QImage fromPreview(const QString &path, int maxSide)
{
    const std::optional<EmbeddedPreview> preview = embeddedPreview(path, maxSide);
    if (!preview)
        return {};
    QImage image;
    if (!image.loadFromData(preview->data))
        return {};
    return applyOrientation(fitWithin(image, maxSide), preview->orientation);
}

QImage fromPicture(const QString &path, int maxSide)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > maxSide || size.height() > maxSide))
        reader.setScaledSize(size.scaled(maxSide, maxSide, Qt::KeepAspectRatio));
    QImage image;
    if (!reader.read(&image)) {
        note(QStringLiteral("cannot read ") + path + QStringLiteral(": ") + reader.errorString());
        return {};
    }
    return fitWithin(image, maxSide);
}

} // namespace

QImage applyOrientation(const QImage &image, int orientation)
{
    switch (orientation) {
    case 2:
        return image.mirrored(true, false);
    case 3:
        return image.transformed(QTransform().rotate(180));
    case 4:
        return image.mirrored(false, true);
    case 5:
        return image.mirrored(true, false).transformed(QTransform().rotate(270));
    case 6:
        return image.transformed(QTransform().rotate(90));
    case 7:
        return image.mirrored(true, false).transformed(QTransform().rotate(90));
    case 8:
        return image.transformed(QTransform().rotate(270));
    default:
        return image;
    }
}

QImage makeThumbnail(const QString &path, int maxSide)
{
    // The readers below open by path and would wait for ever on a FIFO.
    if (const FileResult readable = fileops::checkReadableFile(path); !readable) {
        note(QStringLiteral("cannot read ") + path + QStringLiteral(": ") + readable.error);
        return {};
    }
    QImage thumbnail = fromPreview(path, maxSide);
    if (thumbnail.isNull())
        thumbnail = fromPicture(path, maxSide);
    return thumbnail;
}

} // namespace sorrelby
