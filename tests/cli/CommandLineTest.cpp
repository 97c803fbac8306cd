// The program's words outside its commands: a typo must never open (or try
// to open) the window, and without a display the window says so and ends.

#include "tests/testkit/fixtures/CommandLineScene.h"

using namespace sorrelby::testkit::commandline;

TEST(CommandLine, WordsOutsideACommandAreUsageErrorsAndNeverCrash)
{
    const QString folder = makeTempFolder(QStringLiteral("source"));
    const QString file = folder + QStringLiteral("/note.txt");
    ASSERT_TRUE(writeFile(file, "x"));

    // No such command and no such folder; a file is no folder either.
    for (const QString &word : {QStringLiteral("bogus"), file}) {
        const ProgramRun run = runWithoutDisplay({word});
        EXPECT_FALSE(run.crashed);
        EXPECT_EQ(run.exitCode, 2) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(word)) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("Usage:"))) << run.err.toStdString();
    }
    // A command's options before its name, and help or version anywhere.
    ProgramRun run = runWithoutDisplay({"--verbose", "--set", "prefKeepLastQRCodeFile=1", "sections", folder});
    EXPECT_EQ(run.exitCode, 3) << run.err.toStdString(); // the note is named as left alone
    EXPECT_TRUE(run.err.contains(QStringLiteral("registerFactoryDefaults"))) << "--verbose was not taken";
    EXPECT_EQ(runWithoutDisplay({"--set", "prefKeepLastQRCodeFile=1", "--version"}).exitCode, 0);
    // A command option with no command is no window option.
    run = runWithoutDisplay({"--set", "prefKeepLastQRCodeFile=1", folder});
    EXPECT_EQ(run.exitCode, 2) << run.err.toStdString();

    // The window without a display: one line, status 1, no abort. Qt's own
    // options and their values are the window's.
    for (const QStringList &args : {QStringList{}, QStringList{folder}, QStringList{"-style", "Fusion", folder}}) {
        run = runWithoutDisplay(args);
        EXPECT_FALSE(run.crashed);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err.trimmed().count(QLatin1Char('\n')), 0) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("no display"))) << run.err.toStdString();
    }
    // A display that is named but cannot be reached.
    QProcessEnvironment unreachable = withoutDisplay();
    unreachable.insert(QStringLiteral("DISPLAY"), QStringLiteral(":97"));
    unreachable.insert(QStringLiteral("XAUTHORITY"), folder + QStringLiteral("/none"));
    run = runApp({}, 60000, unreachable);
    EXPECT_FALSE(run.crashed);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.trimmed().count(QLatin1Char('\n')), 0) << run.err.toStdString();
}

TEST(CommandLine, HelpAndVersionGoToStdoutAndWrongUsageToStderrForEveryCommand)
{
    const QString folder = makeTempFolder(QStringLiteral("source"));

    for (const auto &[flag, start] : {std::pair{"--help", "Usage: vemo-sorrelby"},
                                      {"-h", "Usage: vemo-sorrelby"},
                                      {"--version", SORRELBY_VERSION " "},
                                      {"-v", SORRELBY_VERSION " "}}) {
        const ProgramRun run = runWithoutDisplay({flag});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
        EXPECT_TRUE(run.out.startsWith(QLatin1String(start))) << run.out.toStdString();
    }
    // A mistyped option must not open the window (nor, here, complain of
    // the missing display): it is wrong usage.
    ProgramRun run = runWithoutDisplay({"--verison"});
    EXPECT_EQ(run.exitCode, 2) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.contains(QStringLiteral("unknown option --verison"))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("Try 'vemo-sorrelby --help'"))) << run.err.toStdString();

    const QString commands[]
        = {"decode", "sections", "report", "intake", "card", "reassign", "undo", "settings", "watch", "deliver", "detect", "info"};
    for (const QString &command : commands) {
        SCOPED_TRACE(command.toStdString());
        const QString usage = QStringLiteral("Usage: vemo-sorrelby ") + command;
        // Help: usage, what it does and its options, whatever else stands there.
        run = runWithoutDisplay({command, "--set", "prefKeepLastQRCodeFile=1", "--help", folder});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
        EXPECT_TRUE(run.out.startsWith(usage)) << run.out.toStdString();
        EXPECT_TRUE(run.out.contains(QStringLiteral("--set KEY=VALUE"))) << run.out.toStdString();
        // The program's help lists the command.
        EXPECT_TRUE(runWithoutDisplay({"--help"}).out.contains(QStringLiteral("\n  ") + command + QLatin1Char(' ')));

        run = runWithoutDisplay({command, "--version"});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.out.startsWith(QStringLiteral(SORRELBY_VERSION " "))) << run.out.toStdString();

        // Wrong usage: the problem, the usage and where to read more, on
        // standard error only, status 2; nothing is done.
        for (const QStringList &args : {QStringList{command, "--bogus", folder}, QStringList{command, "--set", "nokey", folder}}) {
            run = runWithoutDisplay(args);
            EXPECT_EQ(run.exitCode, 2) << args.join(u' ').toStdString() << run.err.toStdString();
            EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
            EXPECT_TRUE(run.err.startsWith(QStringLiteral("vemo-sorrelby: "))) << run.err.toStdString();
            EXPECT_TRUE(run.err.contains(usage)) << run.err.toStdString();
            EXPECT_TRUE(run.err.contains(QStringLiteral("Try 'vemo-sorrelby ") + command + QStringLiteral(" --help'")))
                << run.err.toStdString();
        }
    }
    // Operands missing or too many: the usage, status 2.
    for (const QStringList &args : {QStringList{"decode"}, QStringList{"deliver", folder}, QStringList{"detect"},
                                    QStringList{"watch", folder}, QStringList{"card"}, QStringList{"detect", "--workers"}}) {
        run = runWithoutDisplay(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("Usage: vemo-sorrelby ") + args.first())) << run.err.toStdString();
    }
}

TEST(CommandLine, SettingsAreStoredWithThePreferencesChecks)
{
    const QString source = makeTempFolder(QStringLiteral("source"));
    const QString main = makeTempFolder(QStringLiteral("main"));
    const QString inner = makeFolder(source + QStringLiteral("/inner"));
    ProgramRun run = runApp({"settings", "prefSourcePath=" + source, "prefDestinationPath=" + main, "prefDailyFolderDateFormat=yyyy",
                             "prefCheckForMultiCameras=true"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList query{"settings", "prefDestinationPath", "prefDailyFolderDateFormat", "prefCheckForMultiCameras"};
    const QString stored = "prefDestinationPath=" + main + "\nprefDailyFolderDateFormat=yyyy\nprefCheckForMultiCameras=true\n";
    EXPECT_EQ(runApp(query).out, stored);
    // Refused, each with its reason, and nothing changed: a folder inside
    // another role's, a missing one, a pattern that is no date, a value of
    // the wrong kind.
    run = runApp({"settings", "prefDestinationPath=" + inner, "prefHotFolderPath=" + source + "/gone", "prefDailyFolderDateFormat='..'",
                  "prefCheckForMultiCameras=perhaps"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.count(QStringLiteral("not stored")), 4) << run.err.toStdString();
    EXPECT_EQ(runApp(query).out, stored);
    // The stored folders are the ones the commands then use.
    EXPECT_TRUE(runApp({"settings"}).out.contains("prefSourcePathAliasData="));
}
