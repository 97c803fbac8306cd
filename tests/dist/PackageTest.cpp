// The Debian package as a photographer's machine gets it: what it installs
// where, what it depends on, and desktop files the desktop accepts. Skipped
// where the Debian tools are missing.

#include "tests/testkit/fixtures/PackageScene.h"

using namespace sorrelby::testkit::package;

TEST(Package, InstallsTheProgramItsHelpersAndDesktopFilesThatValidate)
{
    if (!have("dpkg-deb") || !have("cpack"))
        GTEST_SKIP() << "dpkg-deb or cpack missing";
    const QString work = makeTempFolder(QStringLiteral("package"));
    const ProgramRun pack = runProgram(
        QStringLiteral("cpack"), {"-G", "DEB", "-B", work, "--config", QStringLiteral(SORRELBY_BINARY_DIR "/CPackConfig.cmake")}, 110000);
    ASSERT_EQ(pack.exitCode, 0) << pack.out.toStdString() << pack.err.toStdString();
    const QStringList debs = QDir(work).entryList({QStringLiteral("vemo-sorrelby_*.deb")}, QDir::Files);
    ASSERT_EQ(debs.size(), 1) << pack.out.toStdString();
    const QString deb = work + QLatin1Char('/') + debs.first();

    // The control fields: the runtime libraries come from the binaries, the
    // display plug-ins from us.
    const ProgramRun control = runProgram(QStringLiteral("dpkg-deb"), {"-f", deb});
    ASSERT_EQ(control.exitCode, 0);
    EXPECT_TRUE(control.out.contains(QStringLiteral("Package: vemo-sorrelby\n"))) << control.out.toStdString();
    EXPECT_TRUE(control.out.contains(QStringLiteral("Section: graphics"))) << control.out.toStdString();
    EXPECT_TRUE(control.out.contains(QStringLiteral("qt6-qpa-plugins"))) << control.out.toStdString();
    if (have("dpkg-shlibdeps")) {
        EXPECT_TRUE(control.out.contains(QStringLiteral("libqt6widgets6"))) << control.out.toStdString();
        EXPECT_TRUE(control.out.contains(QStringLiteral("libzxing"))) << control.out.toStdString();
    }

    const QString root = work + QStringLiteral("/root");
    ASSERT_EQ(runProgram(QStringLiteral("dpkg-deb"), {"-x", deb, root}).exitCode, 0);
    const QStringList files = filesUnder(root);
    QStringList expected{
        "usr/bin/vemo-sorrelby",
        "usr/libexec/vemo-sorrelby/vemo-sorrelby-window",
        "usr/libexec/vemo-sorrelby/watchdog",
        "usr/libexec/vemo-sorrelby/relaunch",
        "usr/share/applications/com.halvane.vemo.sorrelby.desktop",
        "usr/share/metainfo/com.halvane.vemo.sorrelby.metainfo.xml",
        "usr/share/icons/hicolor/scalable/apps/com.halvane.vemo.sorrelby.svg",
        "usr/share/man/man1/vemo-sorrelby.1.gz",
        "usr/share/bash-completion/completions/vemo-sorrelby",
        "usr/share/doc/vemo-sorrelby/copyright",
        "usr/share/doc/vemo-sorrelby/changelog.gz",
    };
    if (have("rsvg-convert")) {
        for (const char *size : {"16x16", "32x32", "48x48", "256x256"})
            expected << QStringLiteral("usr/share/icons/hicolor/%1/apps/com.halvane.vemo.sorrelby.png").arg(QLatin1String(size));
    }
    for (const QString &path : expected)
        EXPECT_TRUE(files.contains(path)) << "missing " << path.toStdString() << "\n" << files.join(u'\n').toStdString();
    // Nothing of the build besides: no tests, tools, libraries or headers.
    for (const QString &path : files) {
        EXPECT_TRUE(path.startsWith(QLatin1String("usr/share/")) || path == QLatin1String("usr/bin/vemo-sorrelby")
                    || path.startsWith(QLatin1String("usr/libexec/vemo-sorrelby/")))
            << "unexpected " << path.toStdString();
    }
    for (const QString &program :
         {QStringLiteral("usr/bin/vemo-sorrelby"), QStringLiteral("usr/libexec/vemo-sorrelby/vemo-sorrelby-window"),
          QStringLiteral("usr/libexec/vemo-sorrelby/watchdog")})
        EXPECT_TRUE(QFileInfo(root + QLatin1Char('/') + program).isExecutable()) << program.toStdString();
    // A station without a desktop runs the command line: it must not need Qt Widgets.
    if (have("readelf")) {
        const ProgramRun needed = runProgram(QStringLiteral("readelf"), {"-d", root + QStringLiteral("/usr/bin/vemo-sorrelby")});
        EXPECT_EQ(needed.exitCode, 0);
        EXPECT_TRUE(needed.out.contains(QLatin1String("libQt6Core")));
        EXPECT_FALSE(needed.out.contains(QLatin1String("libQt6Widgets"))) << needed.out.toStdString();
    }

    if (have("bash")) {
        const ProgramRun syntax
            = runProgram(QStringLiteral("bash"), {"-n", root + QStringLiteral("/usr/share/bash-completion/completions/vemo-sorrelby")});
        EXPECT_EQ(syntax.exitCode, 0) << syntax.err.toStdString();
    }

    // The program runs from where the package puts it.
    const ProgramRun version = runProgram(root + QStringLiteral("/usr/bin/vemo-sorrelby"), {"--version"});
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_TRUE(version.out.startsWith(QStringLiteral(SORRELBY_VERSION " Sorrelby"))) << version.out.toStdString();

    // The desktop entry opens folders with the program, under its icon.
    const QString desktop = root + QStringLiteral("/usr/share/applications/com.halvane.vemo.sorrelby.desktop");
    const QString entry = readText(desktop);
    for (const char *line : {"Exec=vemo-sorrelby %F\n", "Icon=com.halvane.vemo.sorrelby\n", "MimeType=inode/directory;\n",
                             "Categories=Graphics;Photography;\n"})
        EXPECT_TRUE(entry.contains(QLatin1String(line))) << line << "\n" << entry.toStdString();
    if (have("desktop-file-validate")) {
        const ProgramRun run = runProgram(QStringLiteral("desktop-file-validate"), {desktop});
        EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
        EXPECT_TRUE(run.out.trimmed().isEmpty()) << run.out.toStdString();
    }
    const QString metainfo = root + QStringLiteral("/usr/share/metainfo/com.halvane.vemo.sorrelby.metainfo.xml");
    EXPECT_TRUE(
        readText(metainfo).contains(QStringLiteral("<launchable type=\"desktop-id\">com.halvane.vemo.sorrelby.desktop</launchable>")));
    EXPECT_TRUE(readText(metainfo).contains(QStringLiteral("<screenshot type=\"default\">")));
    if (have("appstreamcli")) {
        const ProgramRun run = runProgram(QStringLiteral("appstreamcli"), {"validate", "--no-net", metainfo});
        EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    }
}

TEST(Demo, GeneratesASampleShootAndRunsTheProgramWithAHomeOfItsOwn)
{
    if (!have("bash"))
        GTEST_SKIP() << "bash missing";
    // A build folder whose program only notes how it was started.
    const QString work = makeTempFolder(QStringLiteral("demo"));
    const QString bin = work + QStringLiteral("/build/bin");
    const QString record = work + QStringLiteral("/record.txt");
    ASSERT_TRUE(QDir().mkpath(bin));
    ASSERT_TRUE(QFile::link(QStringLiteral(SORRELBY_BINARY_DIR "/bin/sorrelby-testkit"), bin + QStringLiteral("/sorrelby-testkit")));
    ASSERT_TRUE(writeFile(
        bin + QStringLiteral("/vemo-sorrelby"),
        "#!/bin/sh\n"
        "echo \"$HOME|${XDG_CONFIG_HOME-unset}|${XDG_STATE_HOME-unset}|${XDG_DATA_HOME-unset}|$TMPDIR|$*\" >> \"$DEMO_RECORD\"\n"));
    QFile::setPermissions(bin + QStringLiteral("/vemo-sorrelby"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SORRELBY_BUILD_DIR"), work + QStringLiteral("/build"));
    env.insert(QStringLiteral("DEMO_RECORD"), record);
    env.insert(QStringLiteral("TMPDIR"), work);
    const QString ownConfig = work + QStringLiteral("/own-config");
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), ownConfig);
    const ProgramRun run = runProgram(QStringLiteral("bash"), {QStringLiteral(SORRELBY_SOURCE_DIR "/scripts/demo")}, 110000, env);
    ASSERT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();

    // Two starts: the decode of the sample shoot, then the window.
    QFile file(record);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList starts = QString::fromUtf8(file.readAll()).trimmed().split(QLatin1Char('\n'));
    ASSERT_EQ(starts.size(), 2) << run.out.toStdString();
    for (const QString &start : starts) {
        const QStringList fields = start.split(QLatin1Char('|'));
        ASSERT_EQ(fields.size(), 6);
        EXPECT_TRUE(fields[0].startsWith(work + QStringLiteral("/sorrelby-demo."))) << start.toStdString();
        EXPECT_NE(fields[0], QDir::homePath());
        for (int i : {1, 2, 3})
            EXPECT_EQ(fields[i], QStringLiteral("unset")) << start.toStdString();
        EXPECT_TRUE(fields[4].startsWith(work + QStringLiteral("/sorrelby-demo."))) << start.toStdString();
    }
    const QString home = starts[0].section(QLatin1Char('|'), 0, 0);
    const QString source = home + QStringLiteral("/Pictures/Sorrelby/Source");
    EXPECT_EQ(starts[0].section(QLatin1Char('|'), 5), QStringLiteral("decode --detect ") + source);
    EXPECT_EQ(starts[1].section(QLatin1Char('|'), 5), QString());
    // Four subjects with a card and three photos each, from two cameras,
    // with photos before the first card.
    EXPECT_GE(QDir(source).entryList({QStringLiteral("*.JPG"), QStringLiteral("*.jpg")}, QDir::Files).size(), 32);
    EXPECT_FALSE(QFileInfo::exists(ownConfig)) << "the user's settings folder was touched";
}
