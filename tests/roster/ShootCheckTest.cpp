// The check of a shoot against its roster, on photos given by name, capture
// time and camera: the four marks, the photos without a code, and when a
// card seen again is a second visit.

#include "tests/testkit/fixtures/ShootCheckScene.h"

using namespace sorrelby::testkit::shootcheck;

TEST(ShootCheck, MarksAgainstTheRoster)
{
    const Roster roster = Roster::fromCsv("Code,First Name,Last Name,Class\n"
                                          "A1,Emma,Larsen,3B\nA2,Noah,Berg,3B\nA3,Ida,Holm,3A\n"
                                          "A4,Theo,Dahl,3A\nA5,Alma,Lund,3A\nSMITH_JOHN,John,Smith,3A\n");
    ASSERT_TRUE(roster.isUsable());
    const std::vector<CheckedPhoto> photos{
        shot("IMG_0001.JPG", 0), // before the first card
        shot("A1_IMG_0002-qrcode.JPG", 1),
        shot("A1_IMG_0003.JPG", 2),
        shot("A1_IMG_0004.JPG", 3),
        shot("A5_IMG_0005-qrcode.JPG", 4),
        shot("A5_IMG_0006.JPG", 5),
        shot("A3_IMG_0007-qrcode.JPG", 6), // a card and no portrait
        shot("A2_IMG_0008-qrcode.JPG", 7),
        shot("A2_IMG_0009.JPG", 8),
        shot("Z9_IMG_0010-qrcode.JPG", 9),
        shot("Z9_IMG_0011.JPG", 10), // a stray card
        shot("SMITH_JOHN_IMG_0012-qrcode.JPG", 11),
        shot("SMITH_JOHN_IMG_0013.JPG", 12),
        shot("A5_IMG_0014-qrcode.JPG", 20),
        shot("A5_IMG_0015.JPG", 21), // Alma came back
        shot("unknown_IMG_0016.JPG", 22),
        shot("a1_IMG_0017.JPG", 23), // letter case counts
    };
    const ShootCheck check = checkShoot(&roster, photos);
    ASSERT_EQ(check.subjects.size(), 8u);
    QStringList seen;
    for (const SubjectStatus &s : check.subjects)
        seen.append(QStringLiteral("%1 %2/%3 [%4]").arg(s.code).arg(s.photos).arg(s.cards).arg(markText(s.marks)));
    EXPECT_EQ(seen.join(u'\n').toStdString(),
              "A1 3/1 []\n"
              "A2 2/1 []\n"
              "A3 1/1 [only a card]\n"
              "A4 0/0 [missing]\n"
              "A5 4/2 [photographed twice]\n"
              "SMITH_JOHN 2/1 []\n"
              "Z9 2/1 [not on the roster]\n"
              "a1 1/0 [not on the roster]");
    EXPECT_EQ(check.subjects[4].visitTimes, (QList<qint64>{4000, 20000}));
    EXPECT_EQ(check.subjects[6].rosterRow, -1);
    EXPECT_EQ(check.subjectOfPhoto[0], -1);
    EXPECT_EQ(check.subjectOfPhoto[1], 0);
    EXPECT_EQ(check.subjectOfPhoto[15], -1);
    EXPECT_EQ(check.photosWithoutCode, 2);
    EXPECT_EQ(check.summary(),
              QStringLiteral("7 of 8 subjects photographed; 1 missing, 1 only a card, 1 photographed "
                             "twice, 2 not on the roster, 2 photos without a code"));
    EXPECT_TRUE(check.hasIssues());

    // Without a roster every code is a subject, in the order first seen,
    // and nobody is missing or off the list.
    const ShootCheck bare = checkShoot(nullptr, photos);
    QStringList codes;
    for (const SubjectStatus &s : bare.subjects)
        codes.append(s.code + (s.marks ? u' ' + markText(s.marks) : QString()));
    EXPECT_EQ(codes, (QStringList{"A1", "A5 photographed twice", "A3 only a card", "A2", "Z9", "SMITH_JOHN", "a1"}));
    EXPECT_EQ(bare.missing + bare.notOnRoster, 0);
}

TEST(ShootCheck, ASecondVisitNeedsAnotherSubjectBetween)
{
    // Two cameras at two angles of one set, their shots alternating: every
    // subject's card on both, once.
    EXPECT_EQ(twice({shot("A_IMG_0001-qrcode.JPG", 0, 0), shot("A_IMG_1001-qrcode.JPG", 1, 1), shot("B_IMG_0002-qrcode.JPG", 10, 0),
                     shot("B_IMG_1002-qrcode.JPG", 11, 1)}),
              QStringList());
    // The card taken again at once, and a RAW+JPEG pair of one card.
    EXPECT_EQ(twice({shot("C_IMG_0001-qrcode.JPG", 0), shot("C_IMG_0002-qrcode.JPG", 1), shot("D_IMG_0003-qrcode.NEF", 5),
                     shot("D_IMG_0003-qrcode.JPG", 5)}),
              QStringList());
    // Back on the same camera after another subject.
    EXPECT_EQ(twice({shot("E_IMG_0001-qrcode.JPG", 0), shot("F_IMG_0002-qrcode.JPG", 5), shot("E_IMG_0003-qrcode.JPG", 9)}),
              QStringList{"E"});
    // Two stations: seen at one, then at the other after it photographed
    // someone else, or while the first went on with others.
    EXPECT_EQ(twice({shot("G_IMG_0001-qrcode.JPG", 0, 0), shot("H_IMG_1001-qrcode.JPG", 5, 1), shot("G_IMG_1002-qrcode.JPG", 9, 1)}),
              QStringList{"G"});
    EXPECT_EQ(twice({shot("K_IMG_0001-qrcode.JPG", 0, 0), shot("L_IMG_0002-qrcode.JPG", 5, 0), shot("K_IMG_1001-qrcode.JPG", 9, 1)}),
              QStringList{"K"});
    // Photos of others between two cards are no visit of theirs: only cards count.
    EXPECT_EQ(twice({shot("M_IMG_0001-qrcode.JPG", 0), shot("N_IMG_0002.JPG", 5), shot("M_IMG_0003-qrcode.JPG", 9)}), QStringList());
    // Three visits give three times.
    const ShootCheck thrice
        = checkShoot(nullptr,
                     {shot("P_IMG_0001-qrcode.JPG", 0), shot("Q_IMG_0002-qrcode.JPG", 5), shot("P_IMG_0003-qrcode.JPG", 9),
                      shot("Q_IMG_0004-qrcode.JPG", 12), shot("P_IMG_0005-qrcode.JPG", 15)});
    EXPECT_EQ(thrice.subjects[0].visitTimes, (QList<qint64>{0, 9000, 15000}));
    EXPECT_EQ(thrice.subjects[1].visitTimes, (QList<qint64>{5000, 12000}));
}

TEST(ShootCheck, NamesReadAsTheNamingLayerReadsThem)
{
    const QStringList names{"A1_IMG_0001.JPG",      "A1_IMG_0002-QRCODE.JPG",  "IMG_0003-qrcode.JPG",   "IMG_0004.JPG",
                            "unknown_IMG_0005.JPG", "UNKNOWNX_IMG_0006.JPG",   "unk_nown_IMG_0007.JPG", "?A_IMG_0008.JPG",
                            "_IMG_0009.JPG",        "SMITH_JOHN_IMG_0010.NEF", "A1_IMG_0011c1.JPG"};
    NameReader reader(cTag);
    for (int round = 0; round < 2; ++round) {
        const std::vector<CheckedPhoto> read = reader.read(names);
        ASSERT_EQ(read.size(), size_t(names.size()));
        for (qsizetype i = 0; i < names.size(); ++i) {
            const QString &name = names[i];
            const bool noSubject = checkIfIsOriginal(name, cTag) || checkIfUnknownItem(name) || name.startsWith(u'?');
            EXPECT_EQ(read[size_t(i)].isCard, checkIfQRCodeItem(name)) << name.toStdString();
            EXPECT_EQ(read[size_t(i)].code, noSubject ? std::nullopt : codeOfName(name, cTag)) << name.toStdString();
        }
    }
    // A round forgets the names it was not asked for.
    EXPECT_EQ(reader.size(), names.size());
    EXPECT_EQ(reader.read({QStringLiteral("B2_IMG_0001.JPG")})[0].code, QStringLiteral("B2"));
    EXPECT_EQ(reader.size(), 1);
}
