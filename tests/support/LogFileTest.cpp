#include "tests/testkit/fixtures/LogFileScene.h"

using namespace sorrelby;

using namespace sorrelby::testkit::logfile;

TEST(LogFile, RollOverMovesLargeFilesIntoTheOldFileCutAtALineBoundary)
{
    const QString folder = testkit::makeTempFolder(QStringLiteral("roll"));
    const QString current = folder + QStringLiteral("/Sorrelby.log");
    const QString old = folder + QStringLiteral("/Sorrelby_old.log");
    constexpr qint64 limit = 5000; // stands for 50 MiB

    // A small file is left alone.
    const QByteArray small = numberedLines(1, 1000);
    ASSERT_TRUE(testkit::writeFile(current, small));
    EXPECT_FALSE(rollInChild(current, QString(), limit, limit));
    EXPECT_EQ(testkit::readFile(current), small);
    EXPECT_FALSE(QFile::exists(old));

    // 60 "MiB" with no old file: the old file gets the last whole lines.
    const QByteArray big = numberedLines(1, 6000);
    ASSERT_TRUE(testkit::writeFile(current, big));
    ::chmod(QFile::encodeName(current).constData(), 0600);
    EXPECT_TRUE(rollInChild(current, QString(), limit, limit));
    expectWholeLineTail(testkit::readFile(old), big, limit);
    EXPECT_TRUE(QFileInfo(current).exists());
    EXPECT_EQ(QFileInfo(current).size(), 0);
    EXPECT_EQ(modeOf(old), 0664);
    EXPECT_EQ(modeOf(current), 0664);

    // 45 "MiB" old + 50 "MiB" current: the old file ends with all of the
    // current one and is cut to the limit.
    const QByteArray oldPart = numberedLines(1, 4500);
    const QByteArray currentPart = numberedLines(5000, limit);
    ASSERT_TRUE(testkit::writeFile(old, oldPart));
    ASSERT_TRUE(testkit::writeFile(current, currentPart));
    EXPECT_TRUE(rollInChild(current, QString(), limit, limit));
    const QByteArray rolled = testkit::readFile(old);
    expectWholeLineTail(rolled, oldPart + currentPart, limit);
    EXPECT_EQ(QFileInfo(current).size(), 0);

    // Together below the limit: appended whole, into a chosen target.
    const QString target = folder + QStringLiteral("/elsewhere.log");
    ASSERT_TRUE(testkit::writeFile(target, "first\n"));
    ASSERT_TRUE(testkit::writeFile(current, "second\n"));
    EXPECT_TRUE(rollInChild(current, target, 3, limit));
    EXPECT_EQ(testkit::readFile(target), QByteArray("first\nsecond\n"));

    // An old file that cannot be written keeps the current file intact.
    const QString blocked = folder + QStringLiteral("/blocked_old.log");
    QDir().mkpath(blocked);
    ASSERT_TRUE(testkit::writeFile(current, big));
    EXPECT_FALSE(rollInChild(current, blocked, limit, limit));
    EXPECT_EQ(testkit::readFile(current), big);
}

TEST(LogFile, SettingTheFileWritesEarlyLinesFirstAndCapturesStandardError)
{
    const QString folder = testkit::makeTempFolder(QStringLiteral("redirect"));
    const QString path = folder + QStringLiteral("/Vemo/Sorrelby.log");
    const QByteArray before = numberedLines(1, 300);
    ASSERT_TRUE(testkit::writeFile(path, before));

    const int status = runInChild([&] {
        silenceStdErr();
        installLogMessageHandler();
        TRUVO_Log::logLevel(0, QStringLiteral("early info"));
        TRUVO_Log::debug(QStringLiteral("early two\nearly three"));
        qInfo("qt before the file");
        if (!TRUVO_Log::setLogFile(path, 200))
            ::_exit(2);
        qInfo("qt info line");
        std::fprintf(stderr, "raw stderr line\n");
        TRUVO_Log::err(QStringLiteral("logger error line"));
        // Threads writing at once must not interleave within a line.
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([t] {
                for (int i = 0; i < 200; ++i)
                    qInfo("thread %d line %d %s", t, i, QByteArray(100, char('a' + t)).constData());
            });
        for (auto &thread : threads)
            thread.join();
    });
    ASSERT_EQ(status, 0);

    // The file was over the size given, so it was rolled first.
    const QByteArray old = testkit::readFile(folder + QStringLiteral("/Vemo/Sorrelby_old.log"));
    EXPECT_TRUE(old.startsWith("line ") && before.endsWith(old));
    EXPECT_EQ(modeOf(path), 0664);
    const QStringList lines = linesOf(path);
    ASSERT_GE(lines.size(), 8);
    const QRegularExpression logger(QStringLiteral(R"(^(I|D|E) \[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3} [+-]\d{4}\] (.*)$)"));
    const QRegularExpression qt(QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \S+\[\d+:\d+\] (.*)$)"));
    auto loggerText = [&](int i) { return logger.match(lines[i]).captured(2); };
    EXPECT_EQ(loggerText(0), QStringLiteral("early info"));
    EXPECT_EQ(loggerText(1), QStringLiteral("early two"));
    EXPECT_EQ(loggerText(2), QStringLiteral("early three"));
    EXPECT_EQ(qt.match(lines[3]).captured(1), QStringLiteral("qt before the file"));
    EXPECT_EQ(loggerText(4), QStringLiteral("Rolling log file."));
    EXPECT_EQ(lines.filter(QStringLiteral("qt info line")).size(), 1);
    EXPECT_EQ(qt.match(lines.filter(QStringLiteral("qt info line")).value(0)).captured(1), QStringLiteral("qt info line"));
    EXPECT_TRUE(lines.contains(QStringLiteral("raw stderr line")));
    EXPECT_TRUE(lines.filter(QRegularExpression(QStringLiteral(R"(^E \[.*\] logger error line$)"))).size() == 1);

    const QStringList threadLines = lines.filter(QStringLiteral(" thread "));
    EXPECT_EQ(threadLines.size(), 800);
    const QRegularExpression whole(QStringLiteral(R"(\] thread (\d) line \d+ ([a-d]){100}$)"));
    for (const QString &line : threadLines) {
        const auto m = whole.match(line);
        ASSERT_TRUE(m.hasMatch()) << qPrintable(line);
        EXPECT_EQ(m.captured(2).at(0).unicode() - 'a', m.captured(1).toInt());
    }
}

TEST(LogFile, UnopenableFileKeepsLinesInMemoryUntilAFileWorks)
{
    const QString folder = testkit::makeTempFolder(QStringLiteral("fallback"));
    const QString path = folder + QStringLiteral("/missing/Sorrelby.log");
    const QString errors = folder + QStringLiteral("/stderr.txt");

    const int status = runInChild([&] {
        const int fd = ::open(QFile::encodeName(errors).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, STDERR_FILENO);
        TRUVO_Log::logLevel(0, QStringLiteral("kept"));
        if (TRUVO_Log::setLogFile(path))
            ::_exit(2);
        std::fprintf(stderr, "still ordinary stderr\n");
        if (!routeLogToFile(path))
            ::_exit(3);
        TRUVO_Log::logLevel(0, QStringLiteral("after"));
    });
    ASSERT_EQ(status, 0);
    const QByteArray err = testkit::readFile(errors);
    EXPECT_TRUE(err.contains(QByteArray("Failed to open log file at " + QFile::encodeName(path) + "; error 2 \"")));
    EXPECT_TRUE(err.contains("still ordinary stderr"));
    const QStringList lines = linesOf(path);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("] kept")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("] after")));
}

TEST(LogFile, EarlyBufferDropsItsOldestLinesPastAMillionCharacters)
{
    const QString path = testkit::makeTempFolder(QStringLiteral("buffer")) + QStringLiteral("/Sorrelby.log");
    const int status = runInChild([&] {
        silenceStdErr();
        for (int i = 0; i < 1500; ++i)
            TRUVO_Log::logLevel(0, QStringLiteral("early %1 ").arg(i, 4, 10, QLatin1Char('0')) + QString(1000, QLatin1Char('e')));
        if (!TRUVO_Log::setLogFile(path))
            ::_exit(2);
    });
    ASSERT_EQ(status, 0);
    const qint64 size = QFileInfo(path).size();
    EXPECT_GT(size, TRUVO_Log::cEarlyBufferLimit - TRUVO_Log::cEarlyBufferDrop - 2000);
    EXPECT_LE(size, TRUVO_Log::cEarlyBufferLimit + 2000);
    const QStringList lines = linesOf(path);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral("I [")));
    EXPECT_FALSE(lines.first().contains(QStringLiteral("early 0000 ")));
    EXPECT_TRUE(lines.last().contains(QStringLiteral("early 1499 ")));
}
