#include "naming/RawPairs.h"

#include "naming/FileNameScheme.h"
#include "naming/PhotoRename.h"
#include "platform/FileOps.h"
#include "platform/Log.h"

#include <QSet>

namespace sorrelby {

namespace {

constexpr QStringView cClass = u"RawPairs";

const QStringList &rawExtensions()
{
    static const QStringList extensions{QStringLiteral("NEF"), QStringLiteral("CR2"), QStringLiteral("CR3"), QStringLiteral("ARW"),
                                        QStringLiteral("RAF"), QStringLiteral("DNG"), QStringLiteral("ORF"), QStringLiteral("RW2")};
    return extensions;
}

// The pair's key: folder and base name, the JPEG's extension dropped.
QString pairKey(const QString &path)
{
    return folderOf(path) + u'/' + baseNameOf(path);
}

QString cameraKey(const QString &path, int tag)
{
    return folderOf(path) + u'/' + cameraBaseName(fileNameOf(path), tag);
}

} // namespace

bool isRawPhotoName(const QString &nameOrPath)
{
    const QString extension = extensionOf(nameOrPath);
    return !extension.isEmpty() && rawExtensions().contains(extension, Qt::CaseInsensitive);
}

bool isJpegPhotoName(const QString &nameOrPath)
{
    const QString extension = extensionOf(nameOrPath).toLower();
    return extension == QLatin1String("jpg") || extension == QLatin1String("jpeg");
}

QString companionPath(const QString &jpegPath, const QString &raw)
{
    QString path = folderOf(jpegPath);
    path += u'/';
    path += baseNameOf(jpegPath);
    path += u'.';
    path += extensionOf(raw);
    return path;
}

QStringList rawCompanionsOf(const QString &jpegPath)
{
    QStringList found;
    if (!isJpegPhotoName(jpegPath))
        return found;
    const QString stem = folderOf(jpegPath) + u'/' + baseNameOf(jpegPath) + u'.';
    // Cameras write upper case; a tool may have lowered it.
    for (const QString &extension : rawExtensions()) {
        for (const QString &spelling : {extension, extension.toLower()}) {
            const QString candidate = stem + spelling;
            if (fileops::exists(candidate) && !found.contains(candidate))
                found << candidate;
        }
    }
    return found;
}

int PairedPhotos::companionCount() const
{
    int count = 0;
    for (const QStringList &list : raws)
        count += int(list.size());
    return count;
}

PairedPhotos pairRawCompanions(const QStringList &paths)
{
    QHash<QString, QString> jpegByKey;
    for (const QString &path : paths) {
        if (isJpegPhotoName(path))
            jpegByKey.insert(pairKey(path), path);
    }
    PairedPhotos paired;
    for (const QString &path : paths) {
        if (isRawPhotoName(path)) {
            if (const auto jpeg = jpegByKey.constFind(pairKey(path)); jpeg != jpegByKey.cend()) {
                paired.raws[*jpeg] << path;
                continue;
            }
        }
        paired.photos << path;
    }
    return paired;
}

Reunion reuniteRawPairs(const QStringList &paths, int tag)
{
    Reunion reunion;
    reunion.paths = paths;
    const PairedPhotos paired = pairRawCompanions(paths);
    QHash<QString, QStringList> jpegsByCamera;
    for (const QString &path : paired.photos) {
        if (isJpegPhotoName(path))
            jpegsByCamera[cameraKey(path, tag)] << path;
    }
    for (const QString &path : paired.photos) {
        if (!isRawPhotoName(path))
            continue;
        const QStringList jpegs = jpegsByCamera.value(cameraKey(path, tag));
        // Two JPEGs of one camera name (two bodies, a "c1" twin), or one
        // that has its RAW already, leave no way to tell where the RAW
        // belongs: it stays a photo of its own.
        if (jpegs.size() != 1 || paired.raws.contains(jpegs.first()))
            continue;
        const QString wanted = baseNameOf(jpegs.first()) + u'.' + extensionOf(path);
        const PhotoRename rename = renamePhoto(path, wanted, RenameKind::Named);
        if (!rename) {
            reunion.problems << fileNameOf(path)
                    + QStringLiteral(": cannot follow its JPEG %1: %2").arg(fileNameOf(jpegs.first()), rename.why);
            continue;
        }
        logOp(cClass, u"reuniteRawPairs()", QString(path + QStringLiteral(" follows its JPEG again as ") + rename.to));
        ++reunion.renamed;
        reunion.paths.replace(reunion.paths.indexOf(path), rename.to);
    }
    return reunion;
}

} // namespace sorrelby
