#include "naming/PhotoRename.h"

#include "naming/FileNameScheme.h"
#include "naming/RawPairs.h"
#include "platform/FileOps.h"
#include "platform/FolderAbilities.h"
#include "platform/Log.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <algorithm>
#include <memory>
#include <mutex>

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

struct Observers {
    std::mutex mutex;
    std::vector<std::pair<std::uint64_t, std::shared_ptr<RenameObserver>>> entries;
    std::uint64_t next = 1;

    static Observers &shared()
    {
        static Observers *observers = new Observers; // outlives every thread that renames
        return *observers;
    }
};

void tellObservers(const PhotoRename &rename)
{
    Observers &observers = Observers::shared();
    std::vector<std::pair<std::uint64_t, std::shared_ptr<RenameObserver>>> targets;
    {
        std::lock_guard lock(observers.mutex);
        targets = observers.entries;
    }
    const RenameEvent event{rename.from, rename.to, rename.kind};
    for (const auto &[token, observer] : targets) {
        {
            // One removed by an earlier observer of this rename hears nothing.
            std::lock_guard lock(observers.mutex);
            const bool stillThere = std::any_of(observers.entries.cbegin(), observers.entries.cend(),
                                                [t = token](const auto &entry) { return entry.first == t; });
            if (!stillThere)
                continue;
        }
        (*observer)(event);
    }
}

PhotoRename keptWith(const QString &path, RenameKind kind, const QString &why)
{
    PhotoRename kept;
    kept.from = path;
    kept.kind = kind;
    kept.why = why;
    return kept;
}

QString codeRefused(const QString &text)
{
    return QStringLiteral("the code [") + printablePayload(text) + QStringLiteral("] cannot name a photo");
}

// The name for an already clean code, then the move.
PhotoRename renameToCleanCode(const QString &path, const QString &code, int tag, RenameKind kind)
{
    const QString name = fileNameOf(path);
    const std::optional<QString> newName
        = kind == RenameKind::CardPhoto ? cardNameWithCode(name, code, tag) : nameWithCode(name, code, tag);
    if (!newName)
        return keptWith(path, kind, codeRefused(code));
    return renamePhoto(path, *newName, kind);
}

PhotoRename renameToText(const QString &path, const QString &text, int tag, RenameKind kind)
{
    if (const std::optional<QString> code = codeForRename(text))
        return renameToCleanCode(path, *code, tag, kind);
    return keptWith(path, kind, codeRefused(text));
}

} // namespace

std::optional<QString> codeForRename(const QString &text)
{
    return safeCodeFromPayload(text.trimmed());
}

namespace {

PhotoRename renameOne(const QString &path, const QString &newName, RenameKind kind)
{
    PhotoRename rename;
    rename.from = path;
    rename.kind = kind;
    if (!isSafeFileName(newName)) {
        // A caller's name never leads a photo out of its folder, hides it or
        // spoils a listing.
        rename.why = QStringLiteral("[") + printablePayload(newName) + QStringLiteral("] is not a file name");
        note(QStringLiteral("refused to rename ") + path + QStringLiteral(": ") + rename.why);
        return rename;
    }
    const QString folder = folderOf(path);
    // The folder's drive may refuse some characters of a code (exFAT, SMB).
    const QString written = nameForFolder(folder.isEmpty() ? QStringLiteral(".") : folder, newName);
    rename.to = folder.isEmpty() || folder.endsWith(u'/') ? folder + written : QString(folder + u'/' + written);
    if (rename.to == path) {
        rename.outcome = PhotoRename::AlreadyNamed;
        return rename;
    }
    const FileResult moved = fileops::moveNoReplace(path, rename.to);
    if (moved) {
        note(QStringLiteral("renamed ") + path + QStringLiteral(" TO ") + rename.to);
        rename.outcome = PhotoRename::Renamed;
        tellObservers(rename);
        return rename;
    }
    const std::optional<FileAttributes> source = fileops::attributes(path);
    const std::optional<FileAttributes> target = fileops::attributes(rename.to);
    if (!source && target && target->isRegularFile) {
        // Renamed by an earlier run that was interrupted before it could say
        // so; its observers were told then or never, not now.
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
            tellObservers(rename);
            return rename;
        }
    }
    rename.why = target ? QStringLiteral("the name %1 is already taken").arg(fileNameOf(rename.to)) : moved.error;
    note(QStringLiteral("FAILED to rename ") + path + QStringLiteral(" TO ") + rename.to + QStringLiteral(": ") + moved.error);
    return rename;
}

} // namespace

PhotoRename renamePhoto(const QString &path, const QString &newName, RenameKind kind)
{
    const QStringList raws = rawCompanionsOf(path);
    if (raws.isEmpty())
        return renameOne(path, newName, kind);

    // Every name the pair needs is checked before the JPEG moves: a pair is
    // never split by a name taken in advance.
    QStringList rawNames;
    for (const QString &raw : raws) {
        const QString target = companionPath(folderOf(path) + u'/' + newName, raw);
        const QString rawName = fileNameOf(target);
        // Looked for as the drive writes it, as renameOne will.
        const QString written = folderOf(target) + u'/' + nameForFolder(folderOf(target), rawName);
        if (target != raw && written != raw && (!isSafeFileName(rawName) || fileops::exists(written))) {
            PhotoRename kept = keptWith(path, kind, QStringLiteral("the name %1 its RAW file needs is already taken").arg(rawName));
            note(QStringLiteral("refused to rename ") + path + QStringLiteral(": ") + kept.why);
            return kept;
        }
        rawNames << rawName;
    }
    PhotoRename rename = renameOne(path, newName, kind);
    if (!rename)
        return rename;
    for (qsizetype i = 0; i < raws.size(); ++i) {
        const PhotoRename companion = renameOne(raws[i], rawNames[i], kind);
        if (companion) {
            rename.companions << companion.to;
        } else {
            rename.companionProblems << fileNameOf(raws[i])
                    + QStringLiteral(": could not follow its JPEG to %1: %2").arg(fileNameOf(rename.to), companion.why);
            note(QStringLiteral("PAIR SPLIT: ") + rename.companionProblems.last());
        }
    }
    return rename;
}

PhotoRename renamePhotoToCode(const QString &path, const QString &text, int tag)
{
    return renameToText(path, text, tag, RenameKind::Coded);
}

PhotoRename renamePhotoToCardCode(const QString &path, const QString &text, int tag)
{
    return renameToText(path, text, tag, RenameKind::CardPhoto);
}

PhotoRename revertPhoto(const QString &path, int tag)
{
    if (checkIfIsOriginal(path, tag)) {
        PhotoRename already;
        already.outcome = PhotoRename::AlreadyNamed;
        already.kind = RenameKind::Reverted;
        already.from = already.to = path;
        return already;
    }
    const QString original = getOriginalName(path, tag);
    if (original == fileNameOf(path))
        return keptWith(path, RenameKind::Reverted, QStringLiteral("no camera name can be read from its name"));
    return renamePhoto(path, original, RenameKind::Reverted);
}

QStringList RenameRun::kept() const
{
    QStringList lines;
    for (const PhotoRename &rename : renames) {
        if (!rename)
            lines << fileNameOf(rename.from) + QStringLiteral(": ") + rename.why;
        lines << rename.companionProblems;
    }
    return lines;
}

std::optional<RenameRun> renamePhotosToCode(const QStringList &paths, const QString &text)
{
    const std::optional<QString> code = codeForRename(text);
    if (!code) {
        note(QStringLiteral("no usable code in [") + printablePayload(text) + QStringLiteral("]: nothing renamed"));
        return std::nullopt;
    }
    // One read for the whole run: the names must not change format halfway.
    const int tag = Settings::shared().intValue(cPrefOriginalNameFormatTag);
    RenameRun run;
    run.code = *code;
    run.renames.reserve(size_t(paths.size()));
    for (const QString &path : paths)
        run.renames.push_back(renameToCleanCode(path, *code, tag, RenameKind::Coded));
    return run;
}

QString keptNamesText(const QStringList &kept, const QString &code)
{
    const QString what = code.isEmpty() ? QStringLiteral("their codes") : QStringLiteral("the code ") + printablePayload(code);
    return QStringLiteral("\n%1 photo(s) could not take %2 and were left as they were:\n\n").arg(kept.size()).arg(what)
        + kept.join(QLatin1Char('\n')) + QStringLiteral("\n");
}

RenameObservation &RenameObservation::operator=(RenameObservation &&other) noexcept
{
    if (this != &other) {
        reset();
        m_token = std::exchange(other.m_token, 0);
    }
    return *this;
}

void RenameObservation::reset()
{
    if (m_token == 0)
        return;
    Observers &observers = Observers::shared();
    std::lock_guard lock(observers.mutex);
    std::erase_if(observers.entries, [t = m_token](const auto &entry) { return entry.first == t; });
    m_token = 0;
}

RenameObservation observeRenames(RenameObserver observer)
{
    Observers &observers = Observers::shared();
    std::lock_guard lock(observers.mutex);
    const std::uint64_t token = observers.next++;
    observers.entries.emplace_back(token, std::make_shared<RenameObserver>(std::move(observer)));
    return RenameObservation(token);
}

} // namespace sorrelby
