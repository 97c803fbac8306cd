#include "naming/PhotoRename.h"

#include "naming/FileNameScheme.h"
#include "platform/FileOps.h"
#include "platform/Log.h"

namespace sorrelby {

namespace {

constexpr QStringView cClass = u"PhotoRename";

void note(const QString &detail)
{
    logOp(cClass, u"renamePhoto()", detail);
}

bool isOneFile(const std::optional<FileAttributes> &a, const std::optional<FileAttributes> &b)
{
    return a && b && a->isRegularFile && b->isRegularFile && a->device == b->device && a->inode == b->inode;
}

} // namespace

PhotoRename renamePhoto(const QString &path, const QString &newName)
{
    PhotoRename rename;
    rename.from = path;
    const QString folder = folderOf(path);
    rename.to = folder.isEmpty() || folder.endsWith(u'/') ? folder + newName : QString(folder + u'/' + newName);
    if (rename.to == path) {
        rename.outcome = PhotoRename::AlreadyNamed;
        return rename;
    }
    const FileResult moved = fileops::moveNoReplace(path, rename.to);
    if (moved) {
        note(QStringLiteral("renamed ") + path + QStringLiteral(" TO ") + rename.to);
        rename.outcome = PhotoRename::Renamed;
        return rename;
    }
    const std::optional<FileAttributes> source = fileops::attributes(path);
    const std::optional<FileAttributes> target = fileops::attributes(rename.to);
    if (!source && target && target->isRegularFile) {
        // Renamed by an earlier run that was interrupted before it could say so.
        note(path + QStringLiteral(" is gone and ") + rename.to + QStringLiteral(" is there: renamed before"));
        rename.outcome = PhotoRename::AlreadyNamed;
        rename.foundRenamed = true;
        return rename;
    }
    if (isOneFile(source, target)) {
        // A move killed between link and unlink left one photo under two
        // names; dropping the old name loses nothing.
        if (const FileResult removed = fileops::removeFile(path)) {
            note(QStringLiteral("finished the interrupted rename of ") + path + QStringLiteral(" TO ") + rename.to);
            rename.outcome = PhotoRename::Renamed;
            return rename;
        }
    }
    rename.why = target ? QStringLiteral("the name %1 is already taken").arg(fileNameOf(rename.to)) : moved.error;
    note(QStringLiteral("FAILED to rename ") + path + QStringLiteral(" TO ") + rename.to + QStringLiteral(": ") + moved.error);
    return rename;
}

PhotoRename renamePhotoToCode(const QString &path, const QString &code, int tag)
{
    if (const std::optional<QString> name = nameWithCode(fileNameOf(path), code, tag))
        return renamePhoto(path, *name);
    PhotoRename kept;
    kept.from = path;
    kept.why = QStringLiteral("the code [") + printablePayload(code) + QStringLiteral("] cannot name a photo");
    return kept;
}

QString keptNamesText(const QStringList &kept, const QString &code)
{
    const QString what = code.isEmpty() ? QStringLiteral("their codes") : QStringLiteral("the code ") + printablePayload(code);
    return QStringLiteral("\n%1 photo(s) could not take %2 and were left as they were:\n\n").arg(kept.size()).arg(what)
        + kept.join(QLatin1Char('\n')) + QStringLiteral("\n");
}

} // namespace sorrelby
