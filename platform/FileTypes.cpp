#include "platform/FileTypes.h"

#include <QFileInfo>
#include <QMimeDatabase>
#include <QMimeType>

#include <algorithm>

namespace sorrelby::filetypes {

namespace {

const QString cOctetStream = QStringLiteral("application/octet-stream");

// The default match mode trusts the extension, so the content decides here.
// The extension only refines what the content allows: RAW formats are TIFF
// inside (or unknown to the content rules) and known only by their extension.
QMimeType typeOf(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return {};
    QMimeDatabase db;
    const QMimeType byContent = db.mimeTypeForFile(info, QMimeDatabase::MatchContent);
    const QMimeType byName = db.mimeTypeForFile(info, QMimeDatabase::MatchExtension);
    if (byName.isValid() && !byName.isDefault()) {
        if (!byContent.isValid() || byContent.name() == cOctetStream || byName.inherits(byContent.name()))
            return byName;
    }
    return byContent;
}

bool isImageType(const QMimeType &type)
{
    if (!type.isValid())
        return false;
    if (type.name().startsWith(QLatin1String("image/")))
        return true;
    const QStringList ancestors = type.allAncestors();
    return std::any_of(ancestors.begin(), ancestors.end(), [](const QString &name) { return name.startsWith(QLatin1String("image/")); });
}

} // namespace

QString typeName(const QString &path)
{
    const QMimeType type = typeOf(path);
    if (!type.isValid() || type.isDefault())
        return {};
    return type.name();
}

bool isImage(const QString &path)
{
    return isImageType(typeOf(path));
}

bool isJpeg(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return false;
    const QMimeType type = QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchContent);
    return type.isValid() && type.inherits(QStringLiteral("image/jpeg"));
}

} // namespace sorrelby::filetypes
