// The reassign dialog without its window: scan rules, the manual and auto
// renames (never replacing, codes cleaned), the guarded scan step, the
// navigation with its sounds, automatic detection, and the mode prompt's
// choice.

#include "imaging/PhotoMetadata.h"
#include "naming/FileNameScheme.h"
#include "reassign/ReassignModeChoice.h"
#include "reassign/ReassignRenames.h"
#include "tests/testkit/ReassignFixture.h"
#include "tests/testkit/photos/CardGenerator.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QUrl>

#include <future>

#include <unistd.h>

using namespace sorrelby;
using namespace sorrelby::testkit;

TEST_F(Reassign, ScanRulesTakeTheFirstLineAndCheckTheLength)
{
    EXPECT_EQ(firstScanLine(QStringLiteral("ABC123\r\nXYZ")), QStringLiteral("ABC123"));
    EXPECT_EQ(firstScanLine(QStringLiteral("  B77 \n\n\nC88\n")), QStringLiteral("B77"));
    EXPECT_EQ(firstScanLine(QStringLiteral(" \r\n ")), QString());

    // A short scan is refused and the code scanned before stays; the beeps
    // and the emptied field are ReassignWindow.ShortScanIsRefused...'s.
    settings.setValue(cPrefCheckReassignedBarcodeLength, true);
    settings.setValue(cPrefReassignedBarcodeRequiredLength, 6);
    ReassignSession session;
    session.viewDidLoad();
    ASSERT_TRUE(session.doValidateTextField(QStringLiteral("OLD111")));
    EXPECT_FALSE(session.doValidateTextField(QStringLiteral("12345")));
    EXPECT_EQ(session.code(), QStringLiteral("OLD111"));
    EXPECT_TRUE(session.doValidateTextField(QStringLiteral("ABC123\r\nXYZ")));
    EXPECT_EQ(session.code(), QStringLiteral("ABC123"));
}

// Coded, unknown and camera-named photos, one already under the code, one
// whose code merely starts alike, a RAW file, a card photo, and another
// camera's photo whose new name is taken: one code for all, nothing replaced.
TEST_F(Reassign, ManualModeGivesEveryPhotoTheOneCodeNeverReplacingAndRunsAgainAfterAKill)
{
    QStringList paths = writeFilesInOrder(folder,
                                          {"SMITH_JOHN_IMG_0411-qrcode.JPG", "A1234_IMG_0412.JPG", "unknown_IMG_0413.JPG", "IMG_0414.JPG",
                                           "SMITH_JANE_IMG_0415.JPG", "SMITH_JANE0_IMG_0416.JPG", "A1234_DSC01234.NEF", "A9_IMG_0415.JPG"});
    // File URLs and paths both arrive.
    paths[3] = QUrl::fromLocalFile(paths[3]).toString();
    std::optional<ReassignReport> report = reassignAllToCode(paths, QStringLiteral(" SMITH_JANE "));
    ASSERT_TRUE(report);
    EXPECT_EQ(lines(files()),
              lines({"A9_IMG_0415.JPG", "SMITH_JANE_A1234_DSC01234.NEF", "SMITH_JANE_IMG_0411-qrcode.JPG", "SMITH_JANE_IMG_0412.JPG",
                     "SMITH_JANE_IMG_0413.JPG", "SMITH_JANE_IMG_0414.JPG", "SMITH_JANE_IMG_0415.JPG", "SMITH_JANE_IMG_0416.JPG"}));
    EXPECT_EQ(report->renamed.size(), 6);
    EXPECT_EQ(report->unchanged, QStringList{at(QStringLiteral("SMITH_JANE_IMG_0415.JPG"))});
    ASSERT_EQ(report->kept.size(), 1);
    EXPECT_TRUE(report->kept.first().startsWith(QStringLiteral("A9_IMG_0415.JPG: "))) << report->kept.first().toStdString();
    // Each photo still holds its own bytes.
    EXPECT_EQ(readFile(at(QStringLiteral("SMITH_JANE_IMG_0415.JPG"))),
              standIn(QStringLiteral("SMITH_JANE_IMG_0415.JPG"), "photo SMITH_JANE_IMG_0415.JPG"));
    EXPECT_EQ(readFile(at(QStringLiteral("A9_IMG_0415.JPG"))), standIn(QStringLiteral("A9_IMG_0415.JPG"), "photo A9_IMG_0415.JPG"));
    EXPECT_EQ(readFile(at(QStringLiteral("SMITH_JANE_IMG_0416.JPG"))),
              standIn(QStringLiteral("SMITH_JANE0_IMG_0416.JPG"), "photo SMITH_JANE0_IMG_0416.JPG"));

    // The same request again, as after a kill: every photo is found under
    // its new name and nothing moves.
    report = reassignAllToCode(paths, QStringLiteral("SMITH_JANE"));
    ASSERT_TRUE(report);
    EXPECT_TRUE(report->renamed.isEmpty());
    EXPECT_EQ(report->renamedBefore.size(), 6);
    EXPECT_EQ(report->renamedBefore.value(paths[1]), at(QStringLiteral("SMITH_JANE_IMG_0412.JPG")));
    EXPECT_EQ(report->kept.size(), 1);
    EXPECT_EQ(files().size(), 8);

    // A move killed between its link and its unlink is finished: one photo,
    // one name, its bytes intact.
    const QString linked = writeFilesInOrder(folder, {QStringLiteral("IMG_0417.JPG")}).first();
    ASSERT_EQ(::link(QFile::encodeName(linked).constData(), QFile::encodeName(at(QStringLiteral("SMITH_JANE_IMG_0417.JPG"))).constData()),
              0);
    report = reassignAllToCode({linked}, QStringLiteral("SMITH_JANE"));
    ASSERT_TRUE(report);
    EXPECT_EQ(report->renamed.value(linked), at(QStringLiteral("SMITH_JANE_IMG_0417.JPG")));
    EXPECT_FALSE(QFile::exists(linked));
    EXPECT_EQ(readFile(at(QStringLiteral("SMITH_JANE_IMG_0417.JPG"))), standIn(QStringLiteral("IMG_0417.JPG"), "photo IMG_0417.JPG"));

    // A photo that is neither there nor under its new name is reported; a
    // code that cannot name a file touches nothing.
    report = reassignAllToCode({at(QStringLiteral("IMG_0499.JPG"))}, QStringLiteral("SMITH_JANE"));
    ASSERT_TRUE(report);
    ASSERT_EQ(report->kept.size(), 1);
    EXPECT_TRUE(report->kept.first().startsWith(QStringLiteral("IMG_0499.JPG: "))) << report->kept.first().toStdString();
    const QStringList before = files();
    EXPECT_FALSE(reassignAllToCode({at(QStringLiteral("SMITH_JANE_IMG_0414.JPG"))}, QStringLiteral("\x01..")));
    EXPECT_EQ(lines(files()), lines(before));
}

TEST_F(Reassign, AutoModeNamesOnlyThePhotosGivenACode)
{
    const QStringList paths
        = writeFilesInOrder(folder,
                            {QStringLiteral("IMG_0410.JPG"), QStringLiteral("IMG_0411.JPG"), QStringLiteral("IMG_0412.JPG"),
                             QStringLiteral("A1_IMG_0413.JPG"), QStringLiteral("IMG_0414.JPG")});
    QMap<QString, QString> codes;
    codes.insert(paths[1], QStringLiteral("X9"));
    codes.insert(paths[2], QStringLiteral("  "));
    codes.insert(paths[3], QStringLiteral("Y7"));
    codes.insert(paths[4], QStringLiteral("..."));
    const CodePhotoRenames renames = reassignCodePhotos(codes, paths);
    EXPECT_EQ(lines(files()),
              lines({QStringLiteral("IMG_0410.JPG"), QStringLiteral("IMG_0412.JPG"), QStringLiteral("IMG_0414.JPG"),
                     QStringLiteral("X9_IMG_0411-qrcode.JPG"), QStringLiteral("Y7_IMG_0413-qrcode.JPG")}));
    EXPECT_EQ(
        lines(renames.decodeList),
        lines({paths[0], at(QStringLiteral("X9_IMG_0411-qrcode.JPG")), paths[2], at(QStringLiteral("Y7_IMG_0413-qrcode.JPG")), paths[4]}));
    EXPECT_EQ(renames.report.kept.size(), 1); // the code that cannot name a photo
}

TEST_F(Reassign, SessionOpensSortedAndStepsOnceAtATime)
{
    const QStringList paths = writeFilesInOrder(
        folder,
        {QStringLiteral("IMG_0003.JPG"), QStringLiteral("IMG_0001.JPG"), QStringLiteral("IMG_0004.JPG"), QStringLiteral("IMG_0002.JPG")});
    ReassignSession session;
    QStringList shown;
    QObject::connect(&session, &ReassignSession::photoChanged, [&](int, const QString &path) { shown << path; });
    session.viewDidLoad();
    postPhotos(paths, paths);
    ASSERT_TRUE(session.sortedurlstochange);
    EXPECT_EQ(lines(*session.sortedurlstochange), lines({paths[1], paths[3], paths[0], paths[2]}));
    EXPECT_EQ(session.curindex, 0);
    EXPECT_EQ(shown, QStringList{paths[1]});

    // A step lasts until its photo is on screen: the scans that arrive
    // before are not taken, however long that takes, and a photo seen
    // earlier does not end it.
    EXPECT_TRUE(session.doTextFieldActionNew3(QStringLiteral("B77"), QStringLiteral("right")));
    EXPECT_FALSE(session.doTextFieldActionNew3(QStringLiteral("C88"), QStringLiteral("right")));
    spinFor(200);
    session.photoShown(paths[1]);
    EXPECT_TRUE(session.isInsideAction);
    EXPECT_FALSE(session.doTextFieldActionNew3(QStringLiteral("C88"), QStringLiteral("right")));
    session.photoShown(paths[3]);
    EXPECT_FALSE(session.isInsideAction);
    EXPECT_EQ(session.curindex, 1);
    EXPECT_EQ(session.code(), QStringLiteral("B77"));
    EXPECT_EQ(session.curindexString, QStringLiteral("1"));
    drain();
    EXPECT_EQ(soundCount(QStringLiteral("Glass")), 1);

    // Reverse order: opens on the last photo, Enter moves back.
    settings.setValue(cPrefReverseAssignBarcode, true);
    ReassignSession reversed;
    showPhotosOf(reversed);
    reversed.viewDidLoad();
    postPhotos(paths, paths);
    EXPECT_EQ(reversed.curindex, 3);
    EXPECT_TRUE(reversed.doTextFieldActionNew3(QStringLiteral("B77"), QStringLiteral("right")));
    ASSERT_TRUE(waitUntil([&] { return !reversed.isInsideAction; }));
    EXPECT_EQ(reversed.curindex, 2);
}

TEST_F(Reassign, SessionReassignsByHandAndReportsWhatKeptItsName)
{
    const QStringList paths = writeFilesInOrder(
        folder, {QStringLiteral("A1_IMG_0412.JPG"), QStringLiteral("IMG_0413.JPG"), QStringLiteral("B77_IMG_0413.JPG")});
    const QStringList selected{paths[0], paths[1]};
    {
        ReassignSession session;
        session.viewDidLoad();
        postPhotos(selected, paths);
        // No code: a sheet, nothing renamed, the dialog stays.
        EXPECT_FALSE(session.doReassign3());
        ASSERT_TRUE(waitUntil([&] { return !alerts.shown().empty(); }));
        EXPECT_EQ(lines(alertTitles()), lines({QStringLiteral("! NO BARCODE ENTERED !")}));
        EXPECT_TRUE(posted(QStringLiteral("myRefreshId")).empty());

        bool closed = false;
        QObject::connect(&session, &ReassignSession::closeRequested, [&] { closed = true; });
        ASSERT_TRUE(session.doValidateTextField(QStringLiteral("B77")));
        EXPECT_TRUE(session.doReassign3());
        EXPECT_FALSE(session.doReassign3()); // a second press while the first runs
        ASSERT_TRUE(waitUntil([&] { return closed; }));
    }
    drain();
    EXPECT_EQ(lines(files()),
              lines({QStringLiteral("B77_IMG_0412.JPG"), QStringLiteral("B77_IMG_0413.JPG"), QStringLiteral("IMG_0413.JPG")}));
    ASSERT_EQ(posted(QStringLiteral("myRefreshId")).size(), 1);
    EXPECT_EQ(posted(QStringLiteral("myRefreshId")).front().value(QStringLiteral("command")).toString(), QStringLiteral("refresh"));
    ASSERT_TRUE(waitUntil([&] { return alerts.shown().size() == 2; }));
    const Alert kept = alerts.shown().back();
    EXPECT_EQ(kept.messageText, QStringLiteral("!!! Some Photos Kept Their Names !!!"));
    EXPECT_TRUE(kept.informativeText.contains(QStringLiteral("IMG_0413.JPG"))) << kept.informativeText.toStdString();
}

TEST_F(Reassign, AutoModeGivesCodesToCardPhotosAndHandsTheListOn)
{
    settings.setValue(cPrefRadioSet1SelectedTag, 202);
    settings.setValue(QStringLiteral("prefUseAutoDecodeQRMethod"), false);
    const QStringList paths = writeFilesInOrder(
        folder,
        {QStringLiteral("IMG_0410.JPG"), QStringLiteral("IMG_0411.JPG"), QStringLiteral("IMG_0412.JPG"), QStringLiteral("IMG_0413.JPG")});
    ReassignSession session;
    showPhotosOf(session);
    session.viewDidLoad();
    postPhotos({paths[1], paths[2], paths[3]}, paths);
    auto step = [&](const QString &text, const QString &direction) {
        ASSERT_TRUE(session.doTextFieldActionNew3(text, direction));
        ASSERT_TRUE(waitUntil([&] { return !session.isInsideAction; }));
    };
    step(QStringLiteral("X9"), QStringLiteral("right"));
    // The code of the photo left does not follow to the next one: arrows
    // on the photos without a card store nothing for them.
    EXPECT_EQ(session.code(), QString());
    step(session.code(), QStringLiteral("right"));
    step(QString(), QStringLiteral("left"));
    step(QString(), QStringLiteral("left"));
    EXPECT_EQ(session.code(), QStringLiteral("X9"));
    ASSERT_TRUE(session.doReassign3());
    ASSERT_TRUE(waitUntil([&] { return !posted(QStringLiteral("myAutoDecodeProcess3")).empty(); }));
    EXPECT_EQ(lines(files()),
              lines({QStringLiteral("IMG_0410.JPG"), QStringLiteral("IMG_0412.JPG"), QStringLiteral("IMG_0413.JPG"),
                     QStringLiteral("X9_IMG_0411-qrcode.JPG")}));
    const QVariantMap info = posted(QStringLiteral("myAutoDecodeProcess3")).front();
    EXPECT_EQ(info.value(QStringLiteral("command")).toString(), QStringLiteral("autodecodeqrcodes"));
    EXPECT_EQ(lines(info.value(QStringLiteral("fulSortedlUrlList")).toStringList()),
              lines({paths[0], at(QStringLiteral("X9_IMG_0411-qrcode.JPG")), paths[2], paths[3]}));
    EXPECT_TRUE(posted(QStringLiteral("myRefreshId")).empty());
}

TEST_F(Reassign, AutoModeDetectsTheCodeOrSoundsTheErrorAndNeverOverridesAScan)
{
    initializeMetadataLibrary();
    settings.setValue(cPrefRadioSet1SelectedTag, 202);
    const QString card = at(QStringLiteral("IMG_0501.JPG"));
    const QString plain = at(QStringLiteral("IMG_0502.JPG"));
    const QString late = at(QStringLiteral("IMG_0503.JPG"));
    PhotoSpec spec;
    spec.size = QSize(640, 480);
    ASSERT_TRUE(writeCardPhoto(card, QStringLiteral("K42"), spec));
    ASSERT_TRUE(writePhoto(plain, spec));
    ASSERT_TRUE(writeCardPhoto(late, QStringLiteral("L5"), spec));

    ReassignSession session;
    showPhotosOf(session);
    QList<int> shakes;
    QObject::connect(&session, &ReassignSession::shakeRequested, [&](ReassignSession::ShakeTarget target, int count) {
        if (target == ReassignSession::ShakeTarget::FieldContainer)
            shakes << count;
    });
    session.viewDidLoad();
    postPhotos({card, plain, late}, {card, plain, late});
    auto step = [&](const QString &text) {
        ASSERT_TRUE(session.doTextFieldActionNew3(text, QStringLiteral("right")));
        ASSERT_TRUE(waitUntil([&] { return !session.isInsideAction; }));
    };
    ASSERT_TRUE(waitUntil([&] { return session.code() == QStringLiteral("K42"); }));
    step(QStringLiteral("K42"));
    ASSERT_TRUE(waitUntil([&] { return !shakes.isEmpty(); }));
    drain();
    EXPECT_EQ(shakes, QList<int>{2});
    EXPECT_EQ(soundCount(QStringLiteral("Sosumi")), 3);
    EXPECT_EQ(session.code(), QString());
    ASSERT_TRUE(session.sortedurlsWithBarcodes);
    EXPECT_EQ(session.sortedurlsWithBarcodes->value(card), QStringLiteral("K42"));

    // The last photo's detection is still running when a code is scanned on
    // it: the scan is the code, and the late detection is dropped.
    std::promise<void> gate;
    bool opened = false;
    auto open = [&] {
        if (!std::exchange(opened, true))
            gate.set_value();
    };
    const auto openOnFailure = qScopeGuard(open);
    ReassignSession::getDecoderQueue().async([held = gate.get_future().share()] { held.wait(); });
    step(QString());
    EXPECT_EQ(session.currentPath(), late);
    step(QStringLiteral("M1"));
    open();
    drain();
    EXPECT_EQ(session.code(), QStringLiteral("M1"));
    EXPECT_EQ(session.sortedurlsWithBarcodes->value(late), QStringLiteral("M1"));
}

TEST_F(Reassign, ModePromptStoresTheChoiceAndGoesOnWithTheSectionAction)
{
    settings.setValue(cPrefRadioSet1SelectedTag, 200);
    EXPECT_FALSE(chooseReassignMode(201));
    EXPECT_EQ(settings.intValue(cPrefRadioSet1SelectedTag), 200);
    EXPECT_EQ(soundCount(QStringLiteral("beep")), 1);

    // Without the section action kept: the mode is stored, nothing opens.
    settings.remove(cPrefLastUserInfo);
    EXPECT_TRUE(chooseReassignMode(202));
    EXPECT_EQ(settings.intValue(cPrefRadioSet1SelectedTag), 202);
    spinFor(300);
    EXPECT_TRUE(posted(QStringLiteral("myCustomId")).empty());

    const QVariantMap info{{QStringLiteral("title"), QStringLiteral("ID[1] = B77")},
                           {QStringLiteral("sectionid"), QStringLiteral("1")},
                           {QStringLiteral("command"), QStringLiteral("dosomething")}};
    settings.setValue(cPrefLastUserInfo, info);
    EXPECT_TRUE(chooseReassignMode(200));
    EXPECT_TRUE(posted(QStringLiteral("myCustomId")).empty()); // not before the prompt has closed
    ASSERT_TRUE(waitUntil([&] { return !posted(QStringLiteral("myCustomId")).empty(); }));
    EXPECT_EQ(posted(QStringLiteral("myCustomId")).front(), info);
    EXPECT_EQ(settings.intValue(cPrefRadioSet1SelectedTag), 200);
}
