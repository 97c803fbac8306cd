// Opening a photo in the desktop's viewer: the launcher's exit status, not
// its start, tells whether a program took the photo.

#include "browser/PhotoOpener.h"

#include "tests/testkit/TestEnvironment.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

using namespace sorrelby;
using namespace sorrelby::testkit;

namespace {

QString writeLauncher(const QString &folder, const QString &name, const QByteArray &body)
{
    const QString path = folder + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("#!/bin/sh\n" + body + "\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

std::optional<bool> openWith(const QString &launcher, const QString &photo)
{
    std::optional<bool> answer;
    int calls = 0;
    openWithDesktopViewer(
        photo,
        [&](bool opened) {
            answer = opened;
            ++calls;
        },
        launcher);
    waitUntil([&] { return answer.has_value(); }, 30000);
    spinFor(50); // a second answer would come now
    EXPECT_LE(calls, 1) << launcher.toStdString();
    return answer;
}

TEST(PhotoOpener, OnlyALauncherThatEndsWellOpenedThePhoto)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString photo = dir.path() + QStringLiteral("/A1 IMG_0001.JPG");
    const QString said = dir.path() + QStringLiteral("/said");
    const QString viewer = writeLauncher(dir.path(), QStringLiteral("viewer"), "printf '%s' \"$1\" > '" + QFile::encodeName(said) + "'");
    EXPECT_EQ(openWith(viewer, photo), std::optional<bool>(true));
    QFile told(said);
    ASSERT_TRUE(told.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(told.readAll()), photo); // one argument, spaces and all

    // xdg-open without a program for the type, one whose program failed,
    // and no launcher at all.
    EXPECT_EQ(openWith(writeLauncher(dir.path(), QStringLiteral("none"), "exit 3"), photo), std::optional<bool>(false));
    EXPECT_EQ(openWith(writeLauncher(dir.path(), QStringLiteral("failed"), "exit 4"), photo), std::optional<bool>(false));
    EXPECT_EQ(openWith(dir.path() + QStringLiteral("/missing"), photo), std::optional<bool>(false));
}

} // namespace
