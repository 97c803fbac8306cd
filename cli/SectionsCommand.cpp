// `sections [--json] [--single] [--roster FILE] FOLDER`: the browser's
// section table of a folder (index, section key, number of photos, file
// names), as text or JSON; with a roster each code's subject, group and marks
// too, and the photos that may be cards nobody read. Nothing is renamed and
// no thumbnail is made.

#include "browser/SectionModel.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "roster/ShootReport.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace sorrelby::cli {

namespace {

const QString kUsage = commandUsage("sections");

QStringList fileNamesOfSection(const ImageDirectoryLoader &loader, int section)
{
    QStringList names;
    const int count = loader.numberOfItemsInSection(section);
    for (int item = 0; item < count; ++item) {
        if (const ImageFilePtr file = loader.imageFileForIndexPath({section, item}))
            names.append(file->fileName);
    }
    return names;
}

// The section's photos that may be unread cards, with why.
QList<ImageFilePtr> possibleUnreadCardsOfSection(const ImageDirectoryLoader &loader, int section)
{
    QList<ImageFilePtr> files;
    const int count = loader.numberOfItemsInSection(section);
    for (int item = 0; item < count; ++item) {
        if (const ImageFilePtr file = loader.imageFileForIndexPath({section, item}); file && file->possibleUnreadCard)
            files.append(file);
    }
    return files;
}

// The roster's subject of a section: the subject of its first photo's code.
int subjectOfSection(const ImageDirectoryLoader &loader, const ShootReport &report, int section)
{
    if (loader.singleSectionMode || section >= int(loader.sectionsAttributesArray.size()) || loader.numberOfItemsInSection(section) == 0)
        return -1;
    const size_t first = size_t(loader.sectionsAttributesArray[size_t(section)].sectionOffset);
    return first < report.check.subjectOfPhoto.size() ? report.check.subjectOfPhoto[first] : -1;
}

QJsonObject rosterAsJson(const ShootReport &report)
{
    QJsonArray missing;
    for (size_t s = 0; s < report.check.subjects.size(); ++s) {
        if (report.check.subjects[s].has(MarkMissing))
            missing.append(QJsonObject{{QStringLiteral("code"), report.check.subjects[s].code},
                                       {QStringLiteral("name"), report.nameOf(int(s))},
                                       {QStringLiteral("group"), report.groupOf(int(s))}});
    }
    return QJsonObject{{QStringLiteral("path"), report.roster->path},
                       {QStringLiteral("summary"), report.check.summary()},
                       {QStringLiteral("missing"), missing}};
}

QJsonObject sectionsAsJson(const ImageDirectoryLoader &loader, const QString &folder, const ShootReport *report)
{
    QJsonArray sections;
    for (int s = 0; s < int(loader.sectionsAttributesArray.size()); ++s) {
        const std::optional<QString> key = loader.barcodeidForSection(s);
        QJsonObject section;
        section.insert(QStringLiteral("index"), s);
        section.insert(QStringLiteral("key"), key ? QJsonValue(*key) : QJsonValue(QJsonValue::Null));
        section.insert(QStringLiteral("offset"), loader.sectionsAttributesArray[size_t(s)].sectionOffset);
        section.insert(QStringLiteral("count"), loader.numberOfItemsInSection(s));
        section.insert(QStringLiteral("files"), QJsonArray::fromStringList(fileNamesOfSection(loader, s)));
        QJsonArray unread;
        for (const ImageFilePtr &file : possibleUnreadCardsOfSection(loader, s))
            unread.append(QJsonObject{{QStringLiteral("file"), file->fileName}, {QStringLiteral("why"), *file->possibleUnreadCard}});
        section.insert(QStringLiteral("possibleUnreadCards"), unread);
        if (report) {
            const int subject = subjectOfSection(loader, *report, s);
            const unsigned marks = subject >= 0 ? report->check.subjects[size_t(subject)].marks : 0;
            section.insert(QStringLiteral("name"), report->nameOf(subject));
            section.insert(QStringLiteral("group"), report->groupOf(subject));
            section.insert(QStringLiteral("marks"), QJsonArray::fromStringList(markKeys(marks)));
        }
        sections.append(section);
    }
    QJsonObject root;
    root.insert(QStringLiteral("folder"), folder);
    root.insert(QStringLiteral("photos"), loader.numberOfItems());
    root.insert(QStringLiteral("singleSectionMode"), loader.singleSectionMode);
    root.insert(QStringLiteral("sortKey"), ImageDirectoryLoader::selectedSortKey());
    root.insert(QStringLiteral("descending"), ImageDirectoryLoader::selectedSortDescending());
    root.insert(QStringLiteral("sections"), sections);
    if (report)
        root.insert(QStringLiteral("roster"), rosterAsJson(*report));
    return root;
}

void printSectionsAsText(const ImageDirectoryLoader &loader, const ShootReport *report)
{
    printOut(QStringLiteral("%1 photos in %2 section(s)").arg(loader.numberOfItems()).arg(loader.sectionsAttributesArray.size()));
    for (int s = 0; s < int(loader.sectionsAttributesArray.size()); ++s) {
        const std::optional<QString> key = loader.barcodeidForSection(s);
        QString line = QStringLiteral("%1\t%2\t%3").arg(s).arg(key ? *key : QStringLiteral("-")).arg(loader.numberOfItemsInSection(s));
        if (report) {
            const int subject = subjectOfSection(loader, *report, s);
            const unsigned marks = subject >= 0 ? report->check.subjects[size_t(subject)].marks : 0;
            line += u'\t' + report->nameOf(subject) + u'\t' + report->groupOf(subject) + u'\t' + markText(marks);
        }
        const QList<ImageFilePtr> unread = possibleUnreadCardsOfSection(loader, s);
        if (!unread.isEmpty())
            line += QStringLiteral("\t%1 possible unread card%2").arg(unread.size()).arg(unread.size() == 1 ? "" : "s");
        printOut(line);
        for (const QString &name : fileNamesOfSection(loader, s)) {
            const bool marked
                = std::any_of(unread.cbegin(), unread.cend(), [&](const ImageFilePtr &file) { return file->fileName == name; });
            printOut(QStringLiteral("\t\t\t") + name + (marked ? QStringLiteral("\tpossible unread card") : QString()));
        }
    }
}

} // namespace

int runSectionsCommand(const QStringList &args)
{
    bool json = false;
    bool single = false;
    QString rosterPath;
    QStringList operands;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == QLatin1String("--json"))
            json = true;
        else if (arg == QLatin1String("--single"))
            single = true;
        else if (arg == QLatin1String("--roster") && i + 1 >= args.size())
            return usageError(kUsage, QStringLiteral("--roster needs a file"));
        else if (arg == QLatin1String("--roster"))
            rosterPath = args[++i];
        else if (arg.startsWith(QLatin1String("--roster=")))
            rosterPath = arg.mid(9);
        else if (isOption(arg))
            return usageError(kUsage, QStringLiteral("unknown option ") + arg);
        else
            operands.append(arg);
    }
    const std::optional<QString> folder = singleFolder(operands, QStringLiteral("sections"), kUsage);
    if (!folder)
        return kExitUsage;

    ImageDirectoryLoader loader;
    loader.singleSectionMode = single;
    std::shared_ptr<const Roster> roster;
    if (!rosterPath.isEmpty()) {
        auto read = std::make_shared<Roster>(Roster::fromFile(absolutePath(rosterPath)));
        for (const RosterProblem &problem : std::as_const(read->problems))
            printErr(QStringLiteral(SORRELBY_EXECUTABLE ": %1: %2").arg(read->path, problem.text()));
        if (!read->isUsable())
            return kExitFailure;
        roster = std::move(read);
    }
    if (!loader.loadDataForFolderWithUrl(*folder))
        return unreadableFolder(*folder, loader.lastError());
    // The check over the loader's own order, so sections and photos line up.
    std::optional<ShootReport> report;
    if (roster) {
        const int tag = Settings::shared().intValue(cPrefOriginalNameFormatTag);
        report = makeShootReport(*folder, roster, readReportPhotos(loader.fSortedUrls.value_or(QStringList()), tag));
    }
    const ShootReport *checked = report ? &*report : nullptr;
    if (json)
        printOut(QString::fromUtf8(QJsonDocument(sectionsAsJson(loader, *folder, checked)).toJson(QJsonDocument::Indented)).trimmed());
    else
        printSectionsAsText(loader, checked);
    return reportLeftAlone(loader.leftAlone(), *folder) > 0 ? kExitIssues : kExitOk;
}

} // namespace sorrelby::cli
