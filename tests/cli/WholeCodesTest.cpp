// Codes holding "_" through every command that reads or writes them: the
// hot folder names the cards, both passes carry the codes, `sections`
// groups by them, `reassign` replaces them and `deliver` keeps the newest
// card of each. Two families named alike must never merge.

#include "tests/testkit/fixtures/WholeCodesScene.h"

using namespace sorrelby::testkit::wholecodes;

TEST(WholeCodes, FamiliesNamedAlikeStayApartFromIntakeToDelivery)
{
    // The Smiths' John comes back after Jane for a second sitting.
    ShootSpec spec = shootSpec(3, 2);
    spec.codes = {QStringLiteral("SMITH_JOHN_A"), QStringLiteral("SMITH_JANE"), QStringLiteral("SMITH_JOHN_A")};
    const QString hot = makeTempFolder(QStringLiteral("hot"));
    const QString source = makeTempFolder(QStringLiteral("source"));
    const std::optional<Shoot> shoot = writeShoot(hot, spec);
    ASSERT_TRUE(shoot);
    ASSERT_EQ(shoot->nameFormatTag(), 1);

    // The hot folder names each card with its whole code; the name-carrying
    // pass hands it on whole.
    ProgramRun run = runApp({"intake", hot, source});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    run = runApp({"decode", source});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("Found/Decoded QRCodes:\n\nSMITH_JOHN_A, SMITH_JANE, SMITH_JOHN_A\n"));
    EXPECT_EQ(lines(entriesOf(source)), sortedLines(shoot->expectedNames()));
    const QStringList threeSittings{"SMITH_JOHN_A:3", "SMITH_JANE:3", "SMITH_JOHN_A:3"};
    EXPECT_EQ(lines(sectionKeys(source)), lines(threeSittings));

    // The detecting pass reads the cards again and names alike.
    run = runApp({"decode", "--detect", source});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(lines(entriesOf(source)), sortedLines(shoot->expectedNames()));

    // The second sitting's photos go to another code.
    QStringList secondSitting;
    for (const ShootPhoto &photo : shoot->photos) {
        if (photo.subject == 2 && !photo.isCard)
            secondSitting << source + QLatin1Char('/') + photo.expectedName;
    }
    ASSERT_EQ(secondSitting.size(), 2);
    run = runApp(QStringList{"reassign", "SMITH_JOHN_JR"} + secondSitting);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(lines(sectionKeys(source)), lines({"SMITH_JOHN_A:3", "SMITH_JANE:3", "SMITH_JOHN_A:1", "SMITH_JOHN_JR:2"}));

    // Delivery keeps the newest card of each of the two newest codes: the
    // second John card and Jane's; the first John card goes.
    const QString main = makeTempFolder(QStringLiteral("main"));
    run = runApp({"deliver", "--set", "prefKeepLastQRCodeFile=true", source, main});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const ShootPhoto &johnCard = shoot->photos.at(0);
    const ShootPhoto &janeCard = shoot->photos.at(3);
    const ShootPhoto &secondJohnCard = shoot->photos.at(6);
    ASSERT_TRUE(johnCard.isCard && janeCard.isCard && secondJohnCard.isCard);
    EXPECT_EQ(lines(entriesOf(source)), sortedLines({janeCard.expectedName, secondJohnCard.expectedName}));
    QStringList delivered;
    for (const ShootPhoto &photo : shoot->photos) {
        if (photo.isCard)
            continue;
        delivered << (photo.subject == 2 ? QStringLiteral("SMITH_JOHN_JR_") + photo.fileName : photo.expectedName);
    }
    EXPECT_EQ(lines(fileNamesBelow(main)), sortedLines(delivered));
}
