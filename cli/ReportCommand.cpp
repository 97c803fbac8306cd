// `report FOLDER [--roster FILE] [--format csv|html|json] [--output PATH]`:
// the photos of a source folder checked against a roster (FILE, else a
// roster.csv in FOLDER, else none), as CSV or JSON on standard output (or in
// PATH) or as HTML pages in a folder. The check's summary and every subject
// to look at go to standard error. Nothing in FOLDER is changed; a file or
// folder that is no report of ours is never written over.

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "naming/FileNameScheme.h"
#include "platform/FileOps.h"
#include "roster/HtmlReport.h"
#include "roster/ReportFiles.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

namespace sorrelby::cli {

namespace {

const QString kUsage = commandUsage("report");

struct ReportOptions {
    QString folder;
    QString roster;
    QString output;
    ReportFormat format = ReportFormat::Csv;
};

// The value of "--name VALUE" or "--name=VALUE" at args[i] (i moves past it).
std::optional<QString> optionValue(const QStringList &args, qsizetype &i, const QString &name, QString &problem)
{
    const QString &arg = args[i];
    if (arg.startsWith(name + u'='))
        return arg.mid(name.size() + 1);
    if (arg != name)
        return std::nullopt;
    if (i + 1 >= args.size()) {
        problem = name + QStringLiteral(" needs a value");
        return std::nullopt;
    }
    return args[++i];
}

std::optional<ReportOptions> parse(const QStringList &args, int &status)
{
    ReportOptions options;
    QStringList operands;
    QString problem;
    for (qsizetype i = 0; i < args.size() && problem.isEmpty(); ++i) {
        if (const auto roster = optionValue(args, i, QStringLiteral("--roster"), problem)) {
            options.roster = *roster;
        } else if (const auto output = optionValue(args, i, QStringLiteral("--output"), problem)) {
            options.output = *output;
        } else if (const auto format = optionValue(args, i, QStringLiteral("--format"), problem)) {
            const std::optional<ReportFormat> named = reportFormatNamed(*format);
            if (!named)
                problem = QStringLiteral("--format wants csv, html or json, not \"%1\"").arg(*format);
            options.format = named.value_or(ReportFormat::Csv);
        } else if (problem.isEmpty() && isOption(args[i])) {
            problem = QStringLiteral("unknown option ") + args[i];
        } else if (problem.isEmpty()) {
            operands.append(args[i]);
        }
    }
    if (!problem.isEmpty()) {
        status = usageError(kUsage, problem);
        return std::nullopt;
    }
    const std::optional<QString> folder = singleFolder(operands, QStringLiteral("report"), kUsage);
    if (!folder) {
        status = kExitUsage;
        return std::nullopt;
    }
    options.folder = absolutePath(*folder);
    return options;
}

// The roster asked for, or the folder's own; null without one. False (the
// problems printed) when it cannot be used.
bool loadRoster(const ReportOptions &options, std::shared_ptr<const Roster> &roster)
{
    QString path = options.roster;
    if (path.isEmpty()) {
        const QString own = options.folder + u'/' + cRosterFileName;
        if (!QFileInfo(own).isFile())
            return true;
        path = own;
    }
    auto read = std::make_shared<Roster>(Roster::fromFile(absolutePath(path)));
    for (const RosterProblem &problem : std::as_const(read->problems))
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": %1: %2").arg(read->path, problem.text()));
    if (!read->isUsable())
        return false;
    roster = std::move(read);
    return true;
}

void printSubjectsToLookAt(const ShootReport &report)
{
    for (size_t s = 0; s < report.check.subjects.size(); ++s) {
        const SubjectStatus &status = report.check.subjects[s];
        if (!status.marks)
            continue;
        QString line = markText(status.marks) + QStringLiteral(": ") + printablePayload(status.code);
        const QString name = report.nameOf(int(s));
        const QString group = report.groupOf(int(s));
        if (!name.isEmpty())
            line += u' ' + name;
        if (!group.isEmpty())
            line += QStringLiteral(" (") + group + u')';
        for (qsizetype v = 0; v < status.visitTimes.size(); ++v)
            line += (v == 0 ? QStringLiteral(" at ") : QStringLiteral(", "))
                + reportTime(QDateTime::fromMSecsSinceEpoch(status.visitTimes[v]));
        printErr(line);
    }
    printErr(report.check.summary());
}

void showProgress(int done, int total)
{
    static const bool terminal = ::isatty(STDERR_FILENO) == 1;
    if (!terminal)
        return;
    std::fprintf(stderr, done < total ? "\r\033[Kthumbnails and pages %d/%d" : "\r\033[K", done, total);
    std::fflush(stderr);
}

int writeFileReport(const ReportOptions &options, const ShootReport &report)
{
    const QByteArray bytes = options.format == ReportFormat::Json ? reportJson(report) : reportCsv(report);
    if (options.output.isEmpty() || options.output == QLatin1String("-")) {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        std::fflush(stdout);
        return kExitOk;
    }
    const QString target = absolutePath(options.output);
    if (fileops::exists(target) && !isReportFile(target, options.format)) {
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": \"%1\" exists and is no report; give another --output").arg(target));
        return kExitFailure;
    }
    const FileResult written = fileops::writeFileAtomically(target, bytes);
    if (!written) {
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": cannot write \"%1\": %2").arg(target, written.error));
        return kExitFailure;
    }
    return kExitOk;
}

int writeHtml(const ReportOptions &options, const ShootReport &report)
{
    // By default in the working folder, but never inside the source folder,
    // whose every file delivery and card copying take for a photo.
    QString folder = absolutePath(options.output);
    if (options.output.isEmpty()) {
        const QString name = QFileInfo(options.folder).fileName() + QStringLiteral("-report");
        const QString here = QDir::currentPath();
        const bool inside = here == options.folder || here.startsWith(options.folder + u'/');
        folder = QDir(inside ? folderOf(options.folder) : here).absoluteFilePath(name);
    }
    const HtmlReportResult result = writeHtmlReport(report, folder, showProgress);
    if (!result.ok) {
        showProgress(1, 1);
        printErr(QStringLiteral(SORRELBY_EXECUTABLE ": ") + result.error);
        return kExitFailure;
    }
    printErr(QStringLiteral("wrote %1 (%2 pages, %3 thumbnails)").arg(result.indexPath).arg(result.pages).arg(result.thumbnails));
    if (result.unreadable > 0)
        printErr(QStringLiteral("%1 photo(s) could not be read for a thumbnail").arg(result.unreadable));
    return kExitOk;
}

} // namespace

int runReportCommand(const QStringList &args)
{
    int status = kExitOk;
    const std::optional<ReportOptions> options = parse(args, status);
    if (!options)
        return status;
    std::shared_ptr<const Roster> roster;
    if (!loadRoster(*options, roster))
        return kExitFailure;

    QString error;
    const int tag = Settings::shared().intValue(cPrefOriginalNameFormatTag);
    std::optional<std::vector<ReportPhoto>> photos = readSourceFolder(options->folder, tag, &error);
    if (!photos)
        return unreadableFolder(options->folder, error);
    const ShootReport report = makeShootReport(options->folder, roster, std::move(*photos));

    status = options->format == ReportFormat::Html ? writeHtml(*options, report) : writeFileReport(*options, report);
    if (status != kExitOk)
        return status;
    printSubjectsToLookAt(report);
    return report.check.hasIssues() ? kExitIssues : kExitOk;
}

} // namespace sorrelby::cli
