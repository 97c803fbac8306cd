#include "cli/CommandLine.h"

#include "cli/Commands.h"
#include "platform/SingleInstance.h"
#include "preferences/PreferencesActions.h"
#include "settings/KnownKeys.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"
#include "settings/VersionInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace sorrelby::cli {

namespace {

const char *const cUsage = "Usage: " SORRELBY_EXECUTABLE " [FOLDER]\n"
                           "       " SORRELBY_EXECUTABLE " [OPTIONS] COMMAND [OPTIONS] ARGS";

QString helpText()
{
    QString text = QString::fromUtf8(cUsage)
        + QStringLiteral("\n\n"
                         "Sorts portrait shoots by the code cards photographed before each subject.\n"
                         "Without a command the window opens (showing FOLDER when given).\n\n"
                         "Commands:\n");
    // Two columns: the command's form, then what it does.
    const QLatin1String gap("   ");
    qsizetype width = 0;
    for (const Command &c : commands())
        width = std::max(width, QString::fromUtf8(c.synopsis).indexOf(gap));
    for (const Command &c : commands()) {
        const QString synopsis = QString::fromUtf8(c.synopsis);
        const qsizetype split = synopsis.indexOf(gap);
        text += QStringLiteral("  ") + synopsis.left(split).leftJustified(width + 3) + synopsis.mid(split + 3) + QLatin1Char('\n');
    }
    text += QStringLiteral("\nOptions:\n"
                           "  --set KEY=VALUE   use this setting for this run only (not stored)\n"
                           "  --verbose         show the log lines on standard error\n"
                           "  --quiet           count the files left alone instead of naming each\n"
                           "  -h, --help        show this help\n"
                           "  -v, --version     show the version\n\n"
                           "\"" SORRELBY_EXECUTABLE " COMMAND --help\" tells more about a command.\n"
                           "Exit status: 0 done, 1 failed, 2 wrong usage, 3 done with photos not handled.");
    return text;
}

bool isHelp(const QString &arg)
{
    return arg == QLatin1String("--help") || arg == QLatin1String("-h");
}

bool isVersion(const QString &arg)
{
    return arg == QLatin1String("--version") || arg == QLatin1String("-v");
}

QString withoutDashes(QString arg)
{
    while (arg.startsWith(QLatin1Char('-')))
        arg.remove(0, 1);
    return arg;
}

// Qt's own options that take a value ("-platform offscreen", "-style Fusion"):
// the value is no folder.
bool isQtOptionWithValue(const QString &option)
{
    const QString arg = withoutDashes(option);
    static const QStringList withValue{QStringLiteral("platform"),        QStringLiteral("platformpluginpath"),
                                       QStringLiteral("platformtheme"),   QStringLiteral("plugin"),
                                       QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowicon"),
                                       QStringLiteral("qwindowtitle"),    QStringLiteral("session"),
                                       QStringLiteral("style"),           QStringLiteral("stylesheet"),
                                       QStringLiteral("display"),         QStringLiteral("geometry"),
                                       QStringLiteral("title"),           QStringLiteral("name")};
    return withValue.contains(arg);
}

// The options the window takes besides Qt's with a value: the watchdog's
// "--autorelaunched" and Qt's switches. Anything else is a typo, which must
// not open the window.
bool isWindowSwitch(const QString &option)
{
    const QString arg = withoutDashes(option);
    static const QStringList switches{QStringLiteral("autorelaunched"), QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                                      QStringLiteral("nograb"),         QStringLiteral("dograb"),  QStringLiteral("sync"),
                                      QStringLiteral("testability")};
    return switches.contains(arg) || arg.startsWith(QLatin1String("qmljsdebugger="));
}

} // namespace

namespace {
QtMessageHandler g_previousHandler = nullptr;
bool g_filterInstalled = false;
bool g_quiet = false; // --quiet: files left alone are counted, not named

void filterInfoLines(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtInfoMsg || type == QtDebugMsg)
        return;
    if (g_previousHandler && g_previousHandler != filterInfoLines)
        g_previousHandler(type, context, message);
    else
        printErr(message);
}
} // namespace

void installInfoLogFilter(bool verbose)
{
    if (verbose || g_filterInstalled)
        return;
    g_filterInstalled = true;
    g_previousHandler = qInstallMessageHandler(filterInfoLines);
}

void printOut(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void printErr(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

bool isWorkersOption(const QString &arg)
{
    return arg == QLatin1String("--workers") || arg.startsWith(QLatin1String("--workers="));
}

std::optional<int> takeWorkersOption(const QStringList &args, qsizetype &i)
{
    const QString &arg = args[i];
    QString value;
    if (arg.contains(QLatin1Char('=')))
        value = arg.section(QLatin1Char('='), 1);
    else if (i + 1 < args.size())
        value = args[++i];
    bool ok = false;
    const int workers = value.toInt(&ok);
    if (!ok || workers < 1 || workers > 64)
        return std::nullopt;
    return workers;
}

bool isOption(const QString &arg)
{
    return arg.startsWith(QLatin1Char('-')) && arg != QLatin1String("-");
}

int usageError(const QString &usage, const QString &problem)
{
    // "Usage: vemo-sorrelby decode ...": the third word names the command.
    const QString word = usage.section(QLatin1Char(' '), 2, 2);
    const QString more = commandNamed(word) ? QStringLiteral(SORRELBY_EXECUTABLE " ") + word + QStringLiteral(" --help")
                                            : QStringLiteral(SORRELBY_EXECUTABLE " --help");
    QString text = usage + QStringLiteral("\nTry '") + more + QStringLiteral("' for more information.");
    if (!problem.isEmpty())
        text.prepend(QStringLiteral(SORRELBY_EXECUTABLE ": %1\n").arg(problem));
    printErr(text);
    return kExitUsage;
}

std::optional<QStringList> plainOperands(const QStringList &args, const QString &usage, qsizetype count)
{
    for (const QString &arg : args) {
        if (isOption(arg)) {
            usageError(usage, QStringLiteral("unknown option ") + arg);
            return std::nullopt;
        }
    }
    if (args.isEmpty() || (count > 0 && args.size() != count)) {
        usageError(usage);
        return std::nullopt;
    }
    return args;
}

std::optional<QString> singleFolder(const QStringList &operands, const QString &command, const QString &usage)
{
    if (operands.size() == 1)
        return operands.first();
    usageError(usage, operands.isEmpty() ? QString() : command + QStringLiteral(" takes one folder"));
    return std::nullopt;
}

int unreadableFolder(const QString &folder, const QString &reason)
{
    printErr(QStringLiteral(SORRELBY_EXECUTABLE ": cannot read the folder \"%1\": %2").arg(folder, reason));
    return kExitFailure;
}

int reportLeftAlone(const QList<LeftAlone> &files, const QString &folder)
{
    if (files.isEmpty())
        return 0;
    if (g_quiet) {
        printErr(QStringLiteral("%1 file(s) left in %2 (without --quiet each is named with its reason)").arg(files.size()).arg(folder));
        return int(files.size());
    }
    for (const QString &line : describeLeftAlone(files))
        printErr(QStringLiteral("left in %1: ").arg(folder) + line);
    return int(files.size());
}

QString absolutePath(const QString &operand)
{
    return QDir::cleanPath(QFileInfo(operand).absoluteFilePath());
}

bool takeInstanceLock(SingleInstance &instance, const QString &advice)
{
    if (instance.tryToRun())
        return true;
    const qint64 other = instance.otherProcessId();
    printErr(QStringLiteral(SORRELBY_EXECUTABLE ": another copy is already running for this user (PID %1): %2")
                 .arg(other > 0 ? QString::number(other) : QStringLiteral("unknown"), advice));
    return false;
}

QString applySetOptions(QStringList &args)
{
    Settings &settings = Settings::shared();
    QStringList folderKeys;
    bool patternGiven = false;
    for (qsizetype i = 0; i < args.size();) {
        QString assignment;
        if (args[i] == QLatin1String("--set")) {
            if (i + 1 >= args.size())
                return QStringLiteral("--set needs KEY=VALUE");
            assignment = args[i + 1];
            args.remove(i, 2);
        } else if (args[i].startsWith(QLatin1String("--set="))) {
            assignment = args[i].mid(6);
            args.remove(i);
        } else {
            ++i;
            continue;
        }
        const qsizetype eq = assignment.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return QStringLiteral("--set needs KEY=VALUE, got \"%1\"").arg(assignment);
        const QString key = assignment.left(eq);
        if (const std::optional<QString> problem = unknownSettingsKeyProblem(settings, key))
            return QStringLiteral("--set: ") + *problem;
        QString text = assignment.mid(eq + 1);
        const bool folder = PreferencesActions::roleOfPathKey(key).has_value();
        if (folder && !text.isEmpty())
            text = absolutePath(text);
        const QVariant value = settings.parseForKey(key, text);
        if (!value.isValid())
            return QStringLiteral("--set %1: \"%2\" is not a value for it").arg(key, text);
        settings.setOverride(key, value);
        patternGiven = patternGiven || key == cPrefDailyFolderDateFormat;
        if (folder) {
            // The folder of this run wins over the user's stored reference,
            // which would lead back to the stored folder.
            for (const QString &suffix : {QStringLiteral("AliasData"), QStringLiteral("IsValid")})
                settings.setOverride(key + suffix, QVariant());
            folderKeys.removeAll(key);
            folderKeys << key;
        }
    }
    // Checked once all are in, so that folders given together are checked
    // against each other, with the preferences' own checks. A folder that does
    // not exist yet is the command's business; one inside another never is.
    for (const QString &key : std::as_const(folderKeys)) {
        const QString path = settings.stringValue(key);
        if (path.isEmpty())
            continue;
        const FolderRole role = *PreferencesActions::roleOfPathKey(key);
        const std::optional<QString> problem
            = QFileInfo::exists(path) ? PreferencesActions::folderProblem(role, path) : PreferencesActions::nestingProblem(role, path);
        if (problem)
            return QStringLiteral("--set %1=%2 refused: %3").arg(key, path, *problem);
    }
    if (patternGiven) {
        const QString pattern = settings.stringValue(cPrefDailyFolderDateFormat);
        if (!pattern.isEmpty()) {
            if (const std::optional<QString> problem = PreferencesActions::dailyFolderPatternProblem(pattern))
                return QStringLiteral("--set %1=%2 refused: %3").arg(QString(cPrefDailyFolderDateFormat), pattern, *problem);
        }
    }
    return {};
}

Invocation parseInvocation(const QStringList &arguments)
{
    Invocation invocation;
    // The options every command takes may also stand before its name.
    QStringList leading;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (isHelp(arg)) {
            invocation.kind = Invocation::Help;
            return invocation;
        }
        if (isVersion(arg)) {
            invocation.kind = Invocation::Version;
            return invocation;
        }
        if (arg == QLatin1String("--set") && i + 1 < arguments.size()) {
            leading << arg << arguments[++i];
            continue;
        }
        if (arg.startsWith(QLatin1String("--set")) || arg == QLatin1String("--verbose") || arg == QLatin1String("--quiet")) {
            leading << arg;
            continue;
        }
        if (isOption(arg)) {
            if (isQtOptionWithValue(arg)) {
                ++i;
                continue;
            }
            if (isWindowSwitch(arg))
                continue;
            invocation.kind = Invocation::Usage;
            invocation.problem = QStringLiteral("unknown option ") + arg;
            return invocation;
        }
        if (const Command *command = commandNamed(arg)) {
            invocation.kind = Invocation::RunCommand;
            invocation.command = command;
            invocation.args = leading + arguments.mid(i + 1);
            return invocation;
        }
        if (!QFileInfo(arg).isDir()) {
            invocation.kind = Invocation::Usage;
            invocation.problem = QFileInfo::exists(arg) ? QStringLiteral("\"%1\" is not a folder").arg(arg)
                                                        : QStringLiteral("no such command or folder: \"%1\"").arg(arg);
            return invocation;
        }
        invocation.folders << arg;
    }
    // Command options are a command's: the window takes none of them.
    if (!leading.isEmpty()) {
        invocation.kind = Invocation::Usage;
        invocation.problem = leading.first() + QStringLiteral(" goes with a command");
    }
    return invocation;
}

std::optional<int> runIfCommandLine(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const Invocation invocation = parseInvocation(arguments);
    switch (invocation.kind) {
    case Invocation::Window:
        return std::nullopt;
    case Invocation::Usage:
        return usageError(QString::fromUtf8(cUsage), invocation.problem);
    case Invocation::Help:
        printOut(helpText());
        return kExitOk;
    case Invocation::Version:
        printOut(versionText());
        return kExitOk;
    case Invocation::RunCommand:
        break;
    }

    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Vemo"));
    QCoreApplication::setApplicationName(QStringLiteral(SORRELBY_BUNDLE_NAME));
    QCoreApplication::setApplicationVersion(QStringLiteral(SORRELBY_VERSION));
    const Command *command = invocation.command;
    QStringList args = invocation.args;
    if (std::any_of(args.cbegin(), args.cend(), isHelp)) {
        printOut(commandHelp(*command));
        return kExitOk;
    }
    if (std::any_of(args.cbegin(), args.cend(), isVersion)) {
        printOut(versionText());
        return kExitOk;
    }
    // Log lines would bury a command's own output; --verbose lets them through.
    const bool verbose = args.removeAll(QStringLiteral("--verbose")) > 0;
    installInfoLogFilter(verbose);
    g_quiet = args.removeAll(QStringLiteral("--quiet")) > 0;
    Settings::shared().registerFactoryDefaults();
    if (const QString error = applySetOptions(args); !error.isEmpty())
        return usageError(QString::fromUtf8(command->usage), error);
    const int status = command->run(args);
    // Settings stored on the main queue (observers expect them there) would
    // die with the process: run what was queued, then write what is pending.
    QCoreApplication::sendPostedEvents();
    Settings::shared().flush();
    return status;
}

} // namespace sorrelby::cli
