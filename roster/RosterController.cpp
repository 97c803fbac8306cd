#include "roster/RosterController.h"

#include "browser/SectionModel.h"
#include "platform/FileOps.h"
#include "platform/Log.h"
#include "roster/HtmlReport.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>

namespace sorrelby {

namespace {

void note(const QString &what)
{
    logOp(u"RosterController", u"roster", what);
}

QString cleanFolder(const QString &folder)
{
    return QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}

// What tells one version of a roster file from the next.
struct FileStamp {
    QString path;
    qint64 size = -1;
    QDateTime modified;
    bool operator==(const FileStamp &) const = default;
};

FileStamp stampOf(const QString &path)
{
    FileStamp stamp{path, -1, {}};
    if (const std::optional<FileAttributes> attributes = fileops::attributes(path)) {
        stamp.size = attributes->size;
        stamp.modified = attributes->modificationDate;
    }
    return stamp;
}

QStringList problemLines(const Roster &roster)
{
    QStringList lines;
    for (const RosterProblem &problem : roster.problems)
        lines << problem.text();
    return lines;
}

} // namespace

QString rosterPathForFolder(const Settings &settings, const QString &folder)
{
    if (folder.isEmpty())
        return {};
    const QString clean = cleanFolder(folder);
    const QString chosen = settings.mapValue(QString(cPrefRosterPaths)).value(clean).toString();
    if (!chosen.isEmpty() && QFileInfo(chosen).isFile())
        return chosen;
    const QString own = clean + u'/' + cRosterFileName;
    return QFileInfo(own).isFile() ? own : QString();
}

void rememberRosterForFolder(Settings &settings, const QString &folder, const QString &rosterPath)
{
    QVariantMap chosen = settings.mapValue(QString(cPrefRosterPaths));
    if (rosterPath.isEmpty())
        chosen.remove(cleanFolder(folder));
    else
        chosen.insert(cleanFolder(folder), QFileInfo(rosterPath).absoluteFilePath());
    settings.setValue(QString(cPrefRosterPaths), chosen);
}

QStringList subjectsToLookAt(const RosterSnapshot &snapshot)
{
    QStringList lines;
    if (!snapshot.roster)
        return lines;
    for (size_t s = 0; s < snapshot.check.subjects.size(); ++s) {
        const SubjectStatus &status = snapshot.check.subjects[s];
        const unsigned asked = status.marks & (MarkMissing | MarkOnlyCard | MarkNotOnRoster);
        if (!asked)
            continue;
        QString line = markText(asked) + QStringLiteral(": ") + status.code;
        if (const QString name = snapshot.nameOf(int(s)); !name.isEmpty())
            line += u' ' + name;
        if (const QString group = snapshot.groupOf(int(s)); !group.isEmpty())
            line += QStringLiteral(" (") + group + u')';
        lines << line;
    }
    return lines;
}

std::optional<Alert> deliveryQuestion(const RosterSnapshot &snapshot)
{
    const QStringList lines = subjectsToLookAt(snapshot);
    if (lines.isEmpty())
        return std::nullopt;
    // A long list would push the buttons off the screen; the panel has it all.
    constexpr qsizetype cShown = 25;
    QString list = lines.mid(0, cShown).join(u'\n');
    if (lines.size() > cShown)
        list += QStringLiteral("\n... and %1 more (see the roster panel)").arg(lines.size() - cShown);
    Alert alert;
    alert.style = AlertStyle::Warning;
    alert.messageText = QStringLiteral("Deliver with %1 subject(s) to look at?").arg(lines.size());
    alert.informativeText = QStringLiteral("\nThe class list says:\n\n") + list + QStringLiteral("\n");
    alert.buttons = {QStringLiteral("Cancel"), QStringLiteral("Deliver Anyway")};
    return alert;
}

ReportExportResult exportShootReport(const QString &folder, std::shared_ptr<const Roster> roster, ReportFormat format,
                                     const QString &target, int nameFormatTag, const std::function<void(int, int)> &progress)
{
    ReportExportResult result;
    result.path = target;
    QString error;
    std::optional<std::vector<ReportPhoto>> photos = readSourceFolder(folder, nameFormatTag, &error);
    if (!photos) {
        result.error = QStringLiteral("The folder %1 cannot be read: %2").arg(folder, error);
        return result;
    }
    const ShootReport report = makeShootReport(folder, std::move(roster), std::move(*photos));
    if (format == ReportFormat::Html) {
        const HtmlReportResult html = writeHtmlReport(report, target, progress);
        result.ok = html.ok;
        result.error = html.error;
        result.path = html.indexPath.isEmpty() ? target : html.indexPath;
        return result;
    }
    // Never over a file the user made.
    if (fileops::exists(target) && !isReportFile(target, format)) {
        result.error = QStringLiteral("\"%1\" exists and is no report: choose another name.").arg(target);
        return result;
    }
    const FileResult written = fileops::writeFileAtomically(target, format == ReportFormat::Json ? reportJson(report) : reportCsv(report));
    result.ok = written.ok;
    result.error = written.error;
    return result;
}

struct RosterController::Cache {
    std::mutex mutex;
    std::unique_ptr<NameReader> names;
    FileStamp stamp;
    std::shared_ptr<const Roster> roster; // the roster of stamp, usable or not
};

RosterController::RosterController(Settings &settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_model(new RosterPanelModel(this))
    , m_cache(std::make_shared<Cache>())
{
    qRegisterMetaType<ReportExportResult>();
}

RosterController::~RosterController() = default;

void RosterController::setFolder(const QString &folder)
{
    m_folder = folder;
}

void RosterController::openRoster(const QString &path)
{
    const QString file = QFileInfo(path).absoluteFilePath();
    const QPointer<RosterController> self(this);
    QThreadPool::globalInstance()->start([self, file] {
        auto roster = std::make_shared<const Roster>(Roster::fromFile(file));
        QMetaObject::invokeMethod(QCoreApplication::instance(), [self, file, roster] {
            if (!self)
                return;
            if (!roster->isUsable()) {
                note(QStringLiteral("refused ") + file + QStringLiteral(": ") + problemLines(*roster).join(QStringLiteral("; ")));
                Q_EMIT self->rosterRefused(file, problemLines(*roster));
                return;
            }
            note(QStringLiteral("opened ") + file + QStringLiteral(" for ") + self->m_folder);
            rememberRosterForFolder(self->m_settings, self->m_folder, file);
            self->update(self->m_loader);
        });
    });
}

void RosterController::update(std::shared_ptr<const ImageDirectoryLoader> loader)
{
    m_loader = loader ? std::move(loader) : std::make_shared<const ImageDirectoryLoader>();
    const quint64 generation = ++m_generation;
    ++m_inFlight;
    const QString path = rosterPathForFolder(m_settings, m_folder);
    const int tag = m_settings.intValue(cPrefOriginalNameFormatTag);
    const QPointer<RosterController> self(this);
    QThreadPool::globalInstance()->start([self, generation, path, tag, cache = m_cache, loader = m_loader] {
        std::shared_ptr<const Roster> roster;
        QStringList problems;
        std::shared_ptr<const RosterSnapshot> snapshot;
        {
            std::lock_guard lock(cache->mutex);
            if (path.isEmpty()) {
                cache->stamp = {};
                cache->roster.reset();
            } else if (const FileStamp stamp = stampOf(path); !(stamp == cache->stamp) || !cache->roster) {
                cache->stamp = stamp;
                cache->roster = std::make_shared<const Roster>(Roster::fromFile(path));
                // Said once per version of the file, not at every reload.
                problems = problemLines(*cache->roster);
            }
            if (cache->roster && cache->roster->isUsable())
                roster = cache->roster;
            if (!cache->names || cache->names->nameFormatTag() != tag)
                cache->names = std::make_unique<NameReader>(tag);
            snapshot = std::make_shared<const RosterSnapshot>(makeRosterSnapshot(*loader, roster, *cache->names));
        }
        QMetaObject::invokeMethod(QCoreApplication::instance(), [=] {
            if (self)
                self->apply(generation, snapshot, roster, path, problems);
        });
    });
}

void RosterController::apply(quint64 generation, std::shared_ptr<const RosterSnapshot> snapshot, std::shared_ptr<const Roster> roster,
                             const QString &rosterPath, const QStringList &problems)
{
    --m_inFlight;
    if (!problems.isEmpty())
        Q_EMIT rosterRefused(rosterPath, problems);
    if (generation != m_generation)
        return;
    m_roster = std::move(roster);
    m_rosterPath = m_roster ? rosterPath : QString();
    m_snapshot = std::move(snapshot);
    m_model->setSnapshot(m_snapshot);
    Q_EMIT updated();
}

bool RosterController::exportReport(ReportFormat format, const QString &target)
{
    if (m_exporting)
        return false;
    m_exporting = true;
    const QPointer<RosterController> self(this);
    const int tag = m_settings.intValue(cPrefOriginalNameFormatTag);
    QThreadPool::globalInstance()->start([self, folder = m_folder, roster = m_roster, format, target, tag] {
        const ReportExportResult result = exportShootReport(folder, roster, format, target, tag, [self](int done, int total) {
            QMetaObject::invokeMethod(QCoreApplication::instance(), [self, done, total] {
                if (self)
                    Q_EMIT self->exportProgressed(done, total);
            });
        });
        QMetaObject::invokeMethod(QCoreApplication::instance(), [self, result] {
            if (!self)
                return;
            self->m_exporting = false;
            note(result.ok ? QStringLiteral("report written: ") + result.path : QStringLiteral("report not written: ") + result.error);
            Q_EMIT self->exportFinished(result);
        });
    });
    return true;
}

} // namespace sorrelby
