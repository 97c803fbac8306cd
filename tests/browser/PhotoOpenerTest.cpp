// Opening a photo in the desktop's viewer: the launcher's exit status, not
// its start, tells whether a program took the photo.

#include "tests/testkit/fixtures/PhotoOpenerScene.h"

#include <QFile>
#include <QTemporaryDir>

using namespace sorrelby::testkit::photoopener;

namespace {

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
