#include "naming/RenameJournal.h"

#include "naming/FileNameScheme.h"
#include "naming/PhotoRename.h"
#include "platform/FileOps.h"
#include "platform/Log.h"
#include "platform/UserFolders.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSet>

#include <mutex>
#include <thread>

namespace sorrelby {

namespace {

constexpr QStringView cClass = u"RenameJournal";
// Enough for a day's corrections; a decode of a whole shoot is one step.
constexpr int cMaxSteps = 20;

void note(QStringView operation, const QString &detail)
{
    logOp(cClass, operation, detail);
}

QString cleanFolder(const QString &folder)
{
    return QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}

// One lock for every journal of the process: a read, change and write of
// the file is one step.
std::mutex &fileMutex()
{
    static std::mutex *mutex = new std::mutex;
    return *mutex;
}

struct Journal {
    QList<JournalStep> undo;
    QList<JournalStep> redo;
};

JournalKind kindFromName(const QString &name)
{
    for (JournalKind kind :
         {JournalKind::Reassign, JournalKind::Drop, JournalKind::Revert, JournalKind::Decode, JournalKind::Delete, JournalKind::Card}) {
        if (journalKindName(kind) == name)
            return kind;
    }
    return JournalKind::Reassign;
}

QJsonObject toJson(const JournalStep &step)
{
    QJsonArray moves;
    for (const JournalMove &move : step.moves) {
        QJsonObject one{{QStringLiteral("from"), move.from}, {QStringLiteral("to"), move.to}};
        if (move.trashed)
            one.insert(QStringLiteral("trashed"), true);
        moves.append(one);
    }
    return {{QStringLiteral("kind"), journalKindName(step.kind)},
            {QStringLiteral("label"), step.label},
            {QStringLiteral("when"), step.when.toString(Qt::ISODate)},
            {QStringLiteral("moves"), moves}};
}

JournalStep stepFromJson(const QJsonObject &object)
{
    JournalStep step;
    step.kind = kindFromName(object.value(QStringLiteral("kind")).toString());
    step.label = object.value(QStringLiteral("label")).toString();
    step.when = QDateTime::fromString(object.value(QStringLiteral("when")).toString(), Qt::ISODate);
    for (const QJsonValue &value : object.value(QStringLiteral("moves")).toArray()) {
        const QJsonObject move = value.toObject();
        step.moves.append({move.value(QStringLiteral("from")).toString(), move.value(QStringLiteral("to")).toString(),
                           move.value(QStringLiteral("trashed")).toBool()});
    }
    return step;
}

QList<JournalStep> stepsFromJson(const QJsonArray &array)
{
    QList<JournalStep> steps;
    for (const QJsonValue &value : array)
        steps.append(stepFromJson(value.toObject()));
    return steps;
}

QJsonArray stepsToJson(const QList<JournalStep> &steps)
{
    QJsonArray array;
    for (const JournalStep &step : steps)
        array.append(toJson(step));
    return array;
}

// Call with fileMutex() held.
Journal load(const QString &folder)
{
    Journal journal;
    QFile file(RenameJournal::journalFileFor(folder));
    if (!file.exists())
        return journal;
    if (!file.open(QIODevice::ReadOnly)) {
        note(u"load()", QStringLiteral("cannot read ") + file.fileName() + QStringLiteral(": ") + file.errorString());
        return journal;
    }
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    // A file of another folder (a digest collision) is not ours to use.
    if (root.value(QStringLiteral("folder")).toString() != folder)
        return journal;
    journal.undo = stepsFromJson(root.value(QStringLiteral("undo")).toArray());
    journal.redo = stepsFromJson(root.value(QStringLiteral("redo")).toArray());
    return journal;
}

// Call with fileMutex() held. Written beside and renamed over (QSaveFile),
// not through the file operations: the journal is no photo, and the fault
// points count the steps that move photos.
bool save(const QString &folder, const Journal &journal)
{
    const QString path = RenameJournal::journalFileFor(folder);
    if (journal.undo.isEmpty() && journal.redo.isEmpty()) {
        QFile::remove(path);
        return true;
    }
    if (!QDir().mkpath(folderOf(path))) {
        note(u"save()", QStringLiteral("cannot make ") + folderOf(path));
        return false;
    }
    const QJsonObject root{{QStringLiteral("folder"), folder},
                           {QStringLiteral("undo"), stepsToJson(journal.undo)},
                           {QStringLiteral("redo"), stepsToJson(journal.redo)}};
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(root).toJson(QJsonDocument::Compact)) < 0 || !file.commit()) {
        note(u"save()", QStringLiteral("cannot write ") + path + QStringLiteral(": ") + file.errorString());
        return false;
    }
    return true;
}

// The info file the freedesktop trash keeps beside files/ for a trashed file.
QString trashInfoOf(const QString &trashed)
{
    return folderOf(folderOf(trashed)) + QStringLiteral("/info/") + fileNameOf(trashed) + QStringLiteral(".trashinfo");
}

// Moves one photo from `at` to `back` (a name in the same folder, or out of
// the trash); false with `why` when it stays.
bool moveBack(const QString &at, const QString &back, bool fromTrash, QString &why)
{
    if (fromTrash) {
        const bool inTrash = QFileInfo::exists(at);
        if (!inTrash && QFileInfo::exists(back))
            return true; // restored by an earlier, interrupted undo
        if (!inTrash) {
            why = QStringLiteral("no longer in the trash");
            return false;
        }
        if (QFileInfo::exists(back)) {
            why = QStringLiteral("the name %1 is already taken").arg(fileNameOf(back));
            return false;
        }
        if (const FileResult moved = fileops::moveNoReplace(at, back); !moved) {
            why = moved.error;
            return false;
        }
        // The trash must not list a file it no longer holds.
        if (QFileInfo::exists(trashInfoOf(at)))
            fileops::removeFile(trashInfoOf(at));
        return true;
    }
    if (folderOf(at) != folderOf(back)) {
        why = QStringLiteral("it was not renamed within its folder");
        return false;
    }
    const PhotoRename rename = renamePhoto(at, fileNameOf(back));
    if (!rename)
        why = rename.why;
    return bool(rename);
}

} // namespace

QString journalKindName(JournalKind kind)
{
    switch (kind) {
    case JournalKind::Reassign:
        return QStringLiteral("reassign");
    case JournalKind::Drop:
        return QStringLiteral("drop");
    case JournalKind::Revert:
        return QStringLiteral("revert");
    case JournalKind::Decode:
        return QStringLiteral("decode");
    case JournalKind::Delete:
        return QStringLiteral("delete");
    case JournalKind::Card:
        return QStringLiteral("card");
    }
    return {};
}

RenameJournal::RenameJournal(const QString &folder)
    : m_folder(cleanFolder(folder))
{ }

QString RenameJournal::journalFileFor(const QString &folder)
{
    const QByteArray digest = QCryptographicHash::hash(cleanFolder(folder).toUtf8(), QCryptographicHash::Sha1).toHex().left(20);
    return userfolders::dataHome() + QStringLiteral("/Vemo/Sorrelby/undo/") + QString::fromLatin1(digest) + QStringLiteral(".json");
}

// ---- recording

struct RenameJournal::Recording::State {
    QString folder;
    JournalStep step;
    std::thread::id thread = std::this_thread::get_id();
    std::mutex mutex;
    RenameObservation observation;
    bool finished = false;
};

RenameJournal::Recording::Recording(std::unique_ptr<State> state)
    : m_state(std::move(state))
{ }

RenameJournal::Recording::Recording(Recording &&other) noexcept = default;

RenameJournal::Recording::~Recording()
{
    finish();
}

void RenameJournal::Recording::add(const JournalMove &move)
{
    if (!m_state)
        return;
    std::lock_guard lock(m_state->mutex);
    m_state->step.moves.append(move);
}

void RenameJournal::Recording::finish()
{
    if (!m_state || m_state->finished)
        return;
    m_state->observation.reset();
    m_state->finished = true;
    JournalStep step;
    {
        std::lock_guard lock(m_state->mutex);
        step = m_state->step;
    }
    if (step.moves.isEmpty())
        return;
    std::lock_guard lock(fileMutex());
    Journal journal = load(m_state->folder);
    journal.undo.append(step);
    while (journal.undo.size() > cMaxSteps)
        journal.undo.removeFirst();
    journal.redo.clear();
    save(m_state->folder, journal);
    note(u"record()", QStringLiteral("%1: %2 photo(s) in %3").arg(step.label).arg(step.moves.size()).arg(m_state->folder));
}

RenameJournal::Recording RenameJournal::record(JournalKind kind, const QString &label) const
{
    auto state = std::make_unique<Recording::State>();
    state->folder = m_folder;
    state->step.kind = kind;
    state->step.label = label;
    state->step.when = QDateTime::currentDateTimeUtc();
    Recording::State *raw = state.get();
    state->observation = observeRenames([raw](const RenameEvent &event) {
        if (std::this_thread::get_id() != raw->thread || cleanFolder(folderOf(event.from)) != raw->folder)
            return;
        std::lock_guard lock(raw->mutex);
        raw->step.moves.append({event.from, event.to, false});
    });
    return Recording(std::move(state));
}

// ---- undo and redo

std::optional<JournalStep> RenameJournal::nextUndo() const
{
    std::lock_guard lock(fileMutex());
    const Journal journal = load(m_folder);
    if (journal.undo.isEmpty())
        return std::nullopt;
    return journal.undo.last();
}

std::optional<JournalStep> RenameJournal::nextRedo() const
{
    std::lock_guard lock(fileMutex());
    const Journal journal = load(m_folder);
    if (journal.redo.isEmpty())
        return std::nullopt;
    return journal.redo.last();
}

JournalReport RenameJournal::undo() const
{
    JournalReport report;
    std::lock_guard lock(fileMutex());
    Journal journal = load(m_folder);
    if (journal.undo.isEmpty())
        return report;
    const JournalStep step = journal.undo.last();
    report.ran = true;
    report.label = step.label;
    // Backwards, so a photo renamed twice in one step (reverted, then given
    // a code) walks back through its names.
    for (auto it = step.moves.crbegin(); it != step.moves.crend(); ++it) {
        QString why;
        if (moveBack(it->to, it->from, it->trashed, why))
            ++report.restored;
        else
            report.kept << fileNameOf(it->to) + QStringLiteral(": ") + why;
    }
    // Written only once every photo is back, so an undo cut short is simply
    // undone again.
    journal.undo.removeLast();
    journal.redo.append(step);
    save(m_folder, journal);
    note(u"undo()", QStringLiteral("%1: %2 restored, %3 left").arg(step.label).arg(report.restored).arg(report.kept.size()));
    return report;
}

JournalReport RenameJournal::redo() const
{
    JournalReport report;
    std::lock_guard lock(fileMutex());
    Journal journal = load(m_folder);
    if (journal.redo.isEmpty())
        return report;
    JournalStep step = journal.redo.last();
    report.ran = true;
    report.label = step.label;
    for (JournalMove &move : step.moves) {
        QString why;
        bool done = false;
        if (move.trashed) {
            QString trashed;
            if (!QFileInfo::exists(move.from) && QFileInfo::exists(move.to)) {
                done = true; // trashed by an earlier, interrupted redo
            } else if (const FileResult result = fileops::moveToTrash(move.from, &trashed)) {
                move.to = trashed;
                done = true;
            } else {
                why = result.error;
            }
        } else {
            const PhotoRename rename = renamePhoto(move.from, fileNameOf(move.to));
            done = bool(rename);
            why = rename.why;
        }
        if (done)
            ++report.restored;
        else
            report.kept << fileNameOf(move.from) + QStringLiteral(": ") + why;
    }
    journal.redo.removeLast();
    journal.undo.append(step);
    save(m_folder, journal);
    note(u"redo()", QStringLiteral("%1: %2 redone, %3 left").arg(step.label).arg(report.restored).arg(report.kept.size()));
    return report;
}

void RenameJournal::clear() const
{
    std::lock_guard lock(fileMutex());
    save(m_folder, {});
}

int RenameJournal::handCodedSinceDecode() const
{
    std::lock_guard lock(fileMutex());
    const Journal journal = load(m_folder);
    QSet<QString> coded;
    for (auto it = journal.undo.crbegin(); it != journal.undo.crend(); ++it) {
        if (it->kind == JournalKind::Decode || it->kind == JournalKind::Revert || it->kind == JournalKind::Card)
            break;
        if (it->kind != JournalKind::Reassign && it->kind != JournalKind::Drop)
            continue;
        for (const JournalMove &move : it->moves) {
            if (QFileInfo::exists(move.to))
                coded.insert(move.to);
        }
    }
    return int(coded.size());
}

} // namespace sorrelby
