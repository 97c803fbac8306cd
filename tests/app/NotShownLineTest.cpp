// What the window does not show it says: the "not shown" line under the bar
// with the list behind its link, and a photo no program opens.

#include "tests/testkit/fixtures/NotShownLineScene.h"
#include "tests/testkit/fixtures/OddNamesScene.h"

#include <QTimer>

using namespace sorrelby::testkit::notshownline;

TEST_F(NotShownLine, CountsTheFilesTheGridLeavesOutAndListsThemWithWhy)
{
    const QString folder = makeTempFolder();
    const QByteArray photo = encodeJpeg(makeBackground(QSize(64, 48), 5));
    writeFilesInOrder(folder, {QStringLiteral("A1_IMG_0001.JPG"), QStringLiteral("A1_IMG_0002.JPG")}, photo);
    const auto window = windowOn(folder);
    QLabel *line = window->findChild<QLabel *>(QStringLiteral("notShownLabel"));
    ASSERT_NE(line, nullptr);
    EXPECT_FALSE(line->isVisible()); // every file shows

    ASSERT_TRUE(writeFile(folder + QStringLiteral("/A1_IMG_0003.JPG"), {}));
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder + QStringLiteral("/A1_IMG_0004.JPG")).constData(), 0644), 0);
    const QByteArray badName = oddnames::writeUnderRawName(folder, "A1_IMG_0005\xff.JPG", photo);
    ASSERT_TRUE(QFile::link(folder + QStringLiteral("/A1_IMG_0001.JPG"), folder + QStringLiteral("/A1_IMG_0006.JPG")));
    ASSERT_TRUE(writeFile(folder + QStringLiteral("/A1_IMG_0007.JPG"), "not a picture"));
    reload(*window, folder);

    EXPECT_EQ(window->browser()->controller()->imageDirectoryLoader().numberOfItems(), 2);
    ASSERT_TRUE(line->isVisible());
    EXPECT_TRUE(line->text().startsWith(QStringLiteral("5 files not shown"))) << line->text().toStdString();
    Q_EMIT line->linkActivated(QStringLiteral("why"));
    ASSERT_TRUE(waitUntil([&] { return !alerts.shown().empty(); }));
    const QString list = alerts.shown().back().informativeText;
    for (const QString &said : {QStringLiteral("A1_IMG_0003.JPG: empty file"), QStringLiteral("A1_IMG_0004.JPG: not a regular file"),
                                QStringLiteral("A1_IMG_0005\\xff.JPG: name is not valid UTF-8"),
                                QStringLiteral("A1_IMG_0006.JPG: symbolic link"), QStringLiteral("A1_IMG_0007.JPG: not a photo")})
        EXPECT_TRUE(list.contains(said)) << said.toStdString() << "\n" << list.toStdString();

    // Gone again, the line goes.
    for (const char *name : {"/A1_IMG_0003.JPG", "/A1_IMG_0004.JPG", "/A1_IMG_0006.JPG", "/A1_IMG_0007.JPG"})
        ASSERT_TRUE(QFile::remove(folder + QLatin1String(name)));
    ASSERT_EQ(::unlink(badName.constData()), 0);
    reload(*window, folder);
    EXPECT_FALSE(line->isVisible());
}

TEST_F(NotShownLine, APhotoNoProgramOpensIsSaid)
{
    const QString folder = makeTempFolder();
    writeFilesInOrder(folder, {QStringLiteral("A1_IMG_0001.JPG")}, encodeJpeg(makeBackground(QSize(64, 48), 5)));
    const auto window = windowOn(folder);
    BrowserView *browser = window->browser();
    QStringList asked;
    // A viewer that took it: nothing to say.
    browser->setPhotoOpener([](const QString &, std::function<void(bool)> done) { done(true); });
    const QModelIndex first = browser->controller()->model()->indexForPath({0, 0});
    ASSERT_TRUE(first.isValid());
    Q_EMIT browser->grid()->doubleClicked(first);
    spinFor(50);
    EXPECT_TRUE(alerts.shown().empty());
    // The answer comes after the double click has returned, as a launcher's exit does.
    browser->setPhotoOpener([&](const QString &path, std::function<void(bool)> done) {
        asked << path;
        QTimer::singleShot(10, [done] { done(false); });
    });
    Q_EMIT browser->grid()->doubleClicked(first);
    ASSERT_TRUE(waitUntil([&] { return !alerts.shown().empty(); }));
    EXPECT_EQ(asked, QStringList{folder + QStringLiteral("/A1_IMG_0001.JPG")});
    EXPECT_TRUE(alerts.shown().back().messageText.contains(QStringLiteral("No Program to Open")))
        << alerts.shown().back().messageText.toStdString();
    EXPECT_TRUE(alerts.shown().back().informativeText.contains(QStringLiteral("A1_IMG_0001.JPG")));
}
