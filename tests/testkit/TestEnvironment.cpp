#include "tests/testkit/TestEnvironment.h"

#include "platform/FileOps.h"
#include "settings/Settings.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <QUuid>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace sorrelby::testkit {

namespace {

// Removed when the process that made it ends; a forked child that exits
// normally must not take its parent's folders away.
struct TestRoot {
    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/sorrelby-test-XXXXXX")};
    pid_t owner = ::getpid();
    TestRoot() { dir.setAutoRemove(false); }
    ~TestRoot()
    {
        if (::getpid() == owner)
            dir.remove();
    }
};

QTemporaryDir *rootDir()
{
    static TestRoot root;
    return &root.dir;
}

struct OtherFsCleanup {
    QString path;
    ~OtherFsCleanup()
    {
        if (!path.isEmpty())
            QDir(path).removeRecursively();
    }
};

} // namespace

void isolateUserFolders()
{
    const QString root = rootDir()->path();
    auto make = [&](const char *var, const QString &sub) {
        const QString path = root + QLatin1Char('/') + sub;
        QDir().mkpath(path);
        qputenv(var, QFile::encodeName(path));
    };
    make("HOME", QStringLiteral("home"));
    make("XDG_CONFIG_HOME", QStringLiteral("home/.config"));
    make("XDG_STATE_HOME", QStringLiteral("home/.local/state"));
    make("XDG_DATA_HOME", QStringLiteral("home/.local/share"));
    make("XDG_CACHE_HOME", QStringLiteral("home/.cache"));
    make("XDG_RUNTIME_DIR", QStringLiteral("runtime"));
    ::chmod(QFile::encodeName(root + QStringLiteral("/runtime")).constData(), 0700);
    // The one-copy lock of the programs a test runs, away from the user's.
    qputenv("SORRELBY_INSTANCE_FOLDER", QFile::encodeName(root + QStringLiteral("/runtime")));
    make("TMPDIR", QStringLiteral("tmp"));
    QStandardPaths::setTestModeEnabled(true);
}

QString testRoot()
{
    return rootDir()->path();
}

QString makeTempFolder(const QString &hint)
{
    const QString path
        = testRoot() + QStringLiteral("/work/") + hint + QLatin1Char('-') + QUuid::createUuid().toString(QUuid::Id128).left(8);
    QDir().mkpath(path);
    return path;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(data) == data.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString makeFolder(const QString &path)
{
    EXPECT_TRUE(QDir().mkpath(path)) << path.toStdString();
    return QDir::cleanPath(path);
}

QDateTime firstCaptureTime()
{
    return QDateTime(QDate(2024, 5, 1), QTime(9, 0, 0));
}

QByteArray standIn(const QString &name, const QByteArray &text)
{
    // Real pictures stay as they are.
    for (const QByteArray &magic : {QByteArray("\xFF\xD8\xFF"), QByteArray("II*\0", 4), QByteArray("MM\0*", 4), QByteArray("\x89PNG")}) {
        if (text.startsWith(magic))
            return text;
    }
    const QString extension = QFileInfo(name).suffix().toLower();
    static const QStringList raw{QStringLiteral("nef"), QStringLiteral("cr2"), QStringLiteral("arw"),
                                 QStringLiteral("dng"), QStringLiteral("tif"), QStringLiteral("tiff")};
    if (raw.contains(extension))
        return QByteArray("II*\0", 4) + text;
    if (extension == QLatin1String("png"))
        return QByteArray("\x89PNG\r\n\x1A\n", 8) + text;
    // A JPEG's start and a frame header (one pixel, one component), the text
    // in a comment after it: enough for the folder listing to see a picture.
    static const QByteArray head("\xFF\xD8\xFF\xC0\x00\x0B\x08\x00\x01\x00\x01\x01\x01\x11\x00\xFF\xFE", 17);
    const qsizetype length = qMin<qsizetype>(text.size() + 2, 0xFFFF);
    return head + char(length >> 8) + char(length & 0xFF) + text;
}

QStringList writeFilesInOrder(const QString &folder, const QStringList &names, const QByteArray &content)
{
    QStringList paths;
    for (int i = 0; i < names.size(); ++i) {
        const QString path = folder + QLatin1Char('/') + names[i];
        EXPECT_TRUE(writeFile(path, standIn(names[i], content.isEmpty() ? "photo " + names[i].toUtf8() : content))) << path.toStdString();
        EXPECT_TRUE(fileops::setModificationDate(path, firstCaptureTime().addSecs(i))) << path.toStdString();
        paths << path;
    }
    return paths;
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

QStringList filesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

std::string lines(const QStringList &list)
{
    return list.join(QLatin1Char('\n')).toStdString();
}

std::string sortedLines(QStringList list)
{
    list.sort();
    return lines(list);
}

pid_t forkQuietly()
{
    Settings::flushAll();
    QThreadPool::globalInstance()->waitForDone();
    return ::fork();
}

bool waitUntil(const std::function<bool()> &pred, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

void spinFor(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
}

void storeUserSetting(const QString &key, const QVariant &value)
{
    Settings::shared().setValue(key, value);
    Settings::shared().flush();
}

QString otherFileSystemFolder()
{
    static OtherFsCleanup cleanup;
    if (!cleanup.path.isEmpty())
        return cleanup.path;
    const QByteArray shm = "/dev/shm";
    struct statfs a {
    }, b{};
    if (::statfs(shm.constData(), &a) != 0 || ::statfs(QFile::encodeName(testRoot()).constData(), &b) != 0)
        return {};
    struct stat sa {
    }, sb{};
    if (::stat(shm.constData(), &sa) != 0 || ::stat(QFile::encodeName(testRoot()).constData(), &sb) != 0 || sa.st_dev == sb.st_dev)
        return {};
    const QString path = QStringLiteral("/dev/shm/sorrelby-test-") + QUuid::createUuid().toString(QUuid::Id128).left(12);
    if (!QDir().mkpath(path))
        return {};
    cleanup.path = path;
    return path;
}

ProgramRun runProgram(const QString &program, const QStringList &args, int timeoutMs, const QProcessEnvironment &environment)
{
    QProcess process;
    if (!environment.isEmpty())
        process.setProcessEnvironment(environment);
    process.start(program, args);
    EXPECT_TRUE(process.waitForFinished(timeoutMs)) << program.toStdString();
    return {process.exitCode(), process.exitStatus() == QProcess::CrashExit, QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace sorrelby::testkit
