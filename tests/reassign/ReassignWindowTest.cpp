// The reassign dialog and the mode prompt offscreen. Scanner input is
// simulated as a barcode scanner sends it: the code's keys, then Enter, with
// scans arriving back to back and one arriving halfway through a step.

#include "tests/testkit/fixtures/ReassignWindowScene.h"

using namespace sorrelby::testkit::reassignwindow;

TEST_F(ReassignWindow, OneWholeScanPerStepNeverTwoNorAHalf)
{
    const QStringList paths
        = writeFilesInOrder(folder, {QStringLiteral("A1_IMG_0001.JPG"), QStringLiteral("IMG_0002.JPG"), QStringLiteral("IMG_0003.JPG")});
    auto dialog = open(paths, paths);
    QLineEdit *input = field(dialog.get());
    ASSERT_TRUE(input);
    ASSERT_TRUE(waitUntil([&] { return dialog->shownImagePath() == paths[0]; }));

    // Two scans back to back: the second arrives while the first is handled.
    scan(input, QStringLiteral("B77"));
    EXPECT_TRUE(dialog->session().isInsideAction);
    scan(input, QStringLiteral("C88"));
    ASSERT_TRUE(idle(*dialog));
    EXPECT_EQ(dialog->session().curindex, 1);
    EXPECT_EQ(dialog->session().code(), QStringLiteral("B77"));
    EXPECT_EQ(input->text(), QStringLiteral("B77"));
    EXPECT_TRUE(input->isVisible());

    // A scan that starts during a step and ends after it: none of it counts.
    scan(input, QStringLiteral("D99"));
    typeText(input, QStringLiteral("XY"));
    ASSERT_TRUE(idle(*dialog));
    scan(input, QStringLiteral("Z1"));
    ASSERT_TRUE(idle(*dialog));
    EXPECT_EQ(dialog->session().curindex, 2);
    EXPECT_EQ(dialog->session().code(), QStringLiteral("D99"));

    // The next whole scan replaces the code shown; on the last photo it
    // beeps and stays.
    scan(input, QStringLiteral("E55"));
    ASSERT_TRUE(idle(*dialog));
    EXPECT_EQ(dialog->session().curindex, 2);
    EXPECT_EQ(dialog->session().code(), QStringLiteral("E55"));
    drain();
    EXPECT_EQ(soundCount(QStringLiteral("beep")), 1);
    EXPECT_EQ(soundCount(QStringLiteral("Glass")), 3);

    button(dialog.get(), "reassignButton")->click();
    ASSERT_TRUE(waitUntil([&] { return !dialog->isVisible(); }));
    drain();
    EXPECT_EQ(lines(entriesOf(folder)),
              lines({QStringLiteral("E55_IMG_0001.JPG"), QStringLiteral("E55_IMG_0002.JPG"), QStringLiteral("E55_IMG_0003.JPG")}));
    EXPECT_EQ(posted(QStringLiteral("myRefreshId")).size(), 1);
}

TEST_F(ReassignWindow, KeysAndScansReachTheRenamesWithoutWritingTheSettings)
{
    const QStringList paths = writeFilesInOrder(folder,
                                                {QStringLiteral("IMG_0001.JPG"), QStringLiteral("IMG_0002.JPG"),
                                                 QStringLiteral("A1_IMG_0003.JPG"), QStringLiteral("IMG_0004.JPG")});
    // The dialog was opened once before: its frame is kept.
    open(paths, paths)->doCancel();
    std::mutex mutex;
    QStringList renamed;
    const RenameObservation observation = observeRenames([&](const RenameEvent &event) {
        std::lock_guard lock(mutex);
        renamed << fileNameOf(event.from) + QStringLiteral(" -> ") + fileNameOf(event.to);
    });
    // The settings file as it is; the walk below must not write it at all.
    settings.flush();
    const QByteArray stored = readFile(settings.filePath());
    const ino_t before = inodeOf(settings.filePath());
    ASSERT_NE(before, ino_t(0));

    // Arrows, the buttons and two scans, then ReAssign: the last code
    // counts. The dialog's order: A1_IMG_0003, IMG_0001, IMG_0002, IMG_0004.
    auto dialog = open(paths, paths);
    QLineEdit *input = field(dialog.get());
    ASSERT_TRUE(waitUntil([&] { return dialog->shownImagePath() == paths[2]; }));
    auto step = [&](const std::function<void()> &press, int index) {
        press();
        ASSERT_TRUE(idle(*dialog));
        EXPECT_EQ(dialog->session().curindex, index);
    };
    step([&] { sendKey(input, Qt::Key_Right); }, 1);
    step([&] { sendKey(input, Qt::Key_End); }, 3);
    step([&] { sendKey(input, Qt::Key_Left); }, 2);
    step([&] { scan(input, QStringLiteral("B77")); }, 3);
    step([&] { sendKey(input, Qt::Key_Home); }, 0);
    step([&] { sendKey(input, Qt::Key_Left); }, 0);
    step([&] { scan(input, QStringLiteral("C88")); }, 1);
    step([&] { button(dialog.get(), "rightButton")->click(); }, 2);
    EXPECT_EQ(dialog->shownImagePath(), paths[1]);
    button(dialog.get(), "reassignButton")->click();
    ASSERT_TRUE(waitUntil([&] { return !dialog->isVisible(); }));
    drain();
    EXPECT_EQ(soundCount(QStringLiteral("beep")), 1);
    EXPECT_EQ(lines(entriesOf(folder)),
              lines({QStringLiteral("C88_IMG_0001.JPG"), QStringLiteral("C88_IMG_0002.JPG"), QStringLiteral("C88_IMG_0003.JPG"),
                     QStringLiteral("C88_IMG_0004.JPG")}));
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(sortedLines(renamed),
                  sortedLines({QStringLiteral("A1_IMG_0003.JPG -> C88_IMG_0003.JPG"), QStringLiteral("IMG_0001.JPG -> C88_IMG_0001.JPG"),
                               QStringLiteral("IMG_0002.JPG -> C88_IMG_0002.JPG"), QStringLiteral("IMG_0004.JPG -> C88_IMG_0004.JPG")}));
    }
    settings.flush();
    EXPECT_EQ(inodeOf(settings.filePath()), before) << "the settings file was written";
    EXPECT_EQ(readFile(settings.filePath()).toStdString(), stored.toStdString());
}

TEST_F(ReassignWindow, ShortScanIsRefusedWithTheShakeAndThreeBeeps)
{
    settings.setValue(cPrefCheckReassignedBarcodeLength, true);
    settings.setValue(cPrefReassignedBarcodeRequiredLength, 6);
    const QStringList paths
        = writeFilesInOrder(folder, {QStringLiteral("IMG_0001.JPG"), QStringLiteral("IMG_0002.JPG"), QStringLiteral("IMG_0003.JPG")});
    auto dialog = open(paths, paths);
    QLineEdit *input = field(dialog.get());
    EXPECT_EQ(dialog->findChild<QLabel *>(QStringLiteral("promptLabel2"))->text(), QStringLiteral("( Barcode must be 6 digits. )"));
    const QPoint home = input->pos();
    bool moved = false;
    scan(input, QStringLiteral("12345"));
    EXPECT_TRUE(input->text().isEmpty());
    ASSERT_TRUE(
        waitUntil([&] { return (moved = moved || input->pos() != home) && input->pos() == home && !dialog->session().isInsideAction; }));
    EXPECT_EQ(dialog->session().curindex, 0);
    drain();
    EXPECT_EQ(soundCount(QStringLiteral("beep")), 3);
    EXPECT_EQ(soundCount(QStringLiteral("Glass")), 0);

    scan(input, QStringLiteral("123456"));
    ASSERT_TRUE(idle(*dialog));
    input->selectAll();
    scan(input, QStringLiteral("1234567"));
    ASSERT_TRUE(idle(*dialog));
    EXPECT_EQ(dialog->session().curindex, 2);
    EXPECT_EQ(dialog->session().code(), QStringLiteral("1234567"));
}

TEST_F(ReassignWindow, UnknownButtonNamesItsCountAndIsHiddenInAutoMode)
{
    settings.setValue(cPrefDoReassignAllTheseToUnknownStringFormat, QStringLiteral("Set [val1] photos to unknown"));
    const QStringList paths = writeFilesInOrder(folder,
                                                {QStringLiteral("IMG_0412.JPG"), QStringLiteral("IMG_0413.JPG"),
                                                 QStringLiteral("A1_IMG_0414.JPG"), QStringLiteral("IMG_0415.JPG")});
    {
        auto dialog = open(paths, paths);
        QPushButton *unknown = button(dialog.get(), "unknownButton");
        EXPECT_EQ(unknown->text(), QStringLiteral("Set 4 photos to unknown"));
        EXPECT_TRUE(unknown->isVisible());
        unknown->click();
        ASSERT_TRUE(waitUntil([&] { return !dialog->isVisible(); }));
    }
    drain();
    EXPECT_EQ(lines(entriesOf(folder)),
              lines({QStringLiteral("UNKNOWN_IMG_0412.JPG"), QStringLiteral("UNKNOWN_IMG_0413.JPG"), QStringLiteral("UNKNOWN_IMG_0414.JPG"),
                     QStringLiteral("UNKNOWN_IMG_0415.JPG")}));

    settings.setValue(cPrefRadioSet1SelectedTag, 202);
    settings.setValue(QStringLiteral("prefUseAutoDecodeQRMethod"), false);
    auto dialog = open(paths, paths);
    EXPECT_FALSE(button(dialog.get(), "unknownButton")->isVisible());
}

TEST_F(ReassignWindow, FrameIsRememberedAndCancelRenamesNothing)
{
    EXPECT_FALSE(frameFromString(QStringLiteral("{{40, 50}, {0, 600}}")));
    EXPECT_FALSE(frameFromString(QStringLiteral("garbage")));

    settings.setValue(cPrefReassignWindowFrame, QStringLiteral("{{40, 50}, {700, 600}}"));
    const QStringList paths = writeFilesInOrder(folder, {QStringLiteral("IMG_0001.JPG"), QStringLiteral("IMG_0002.JPG")});
    auto dialog = open(paths, paths);
    EXPECT_EQ(dialog->size(), QSize(700, 600));
    dialog->resize(760, 610);
    scan(field(dialog.get()), QStringLiteral("B77"));
    ASSERT_TRUE(idle(*dialog));
    button(dialog.get(), "cancelButton")->click();
    EXPECT_FALSE(dialog->isVisible());
    const std::optional<QRect> kept = frameFromString(settings.stringValue(cPrefReassignWindowFrame));
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->size(), QSize(760, 610));
    drain();
    EXPECT_EQ(lines(entriesOf(folder)), lines({QStringLiteral("IMG_0001.JPG"), QStringLiteral("IMG_0002.JPG")}));
    EXPECT_TRUE(posted(QStringLiteral("myRefreshId")).empty());
}

TEST_F(ReassignWindow, FromTheBrowserThroughThePromptByCardPhoto)
{
    // The browser lists pictures only, and at once.
    settings.setValue(QStringLiteral("prefDoDelayToWaitForValidPhoto"), false);
    ASSERT_TRUE(writePicturesInOrder(folder, {"B77_IMG_1000.JPG", "B77_IMG_1001.JPG", "C11_IMG_1002.JPG"}));
    SerialQueue workQueue(QStringLiteral("com.halvane.vemo.sorrelby.decodequeue"));
    MainWindow window(nullptr, &workQueue);
    window.resize(1000, 700);
    window.show();
    ViewController *controller = window.browser()->controller();
    controller->pathtophotos = folder;
    controller->registerObservers();
    controller->refreshAllSections();
    ASSERT_TRUE(waitUntil([&] { return controller->reloadCount() > 0 && !controller->isLoading(); }));

    // Through the prompt: auto mode, a code for the first card photo; the
    // followers are left to the decode pass.
    settings.setValue(cPrefAlwaysPromptForReassignmentMode, true);
    settings.setValue(QStringLiteral("prefUseAutoDecodeQRMethod"), false);
    const int section = sectionOfCode(*controller, QStringLiteral("B77"));
    ASSERT_GE(section, 0);
    selectSection(*controller, section);
    controller->doButton(section);
    PromptReassignModeViewController *prompt = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (prompt = window.findChild<PromptReassignModeViewController *>()); }));
    EXPECT_FALSE(window.findChild<ReassignViewController *>());
    prompt->findChild<QPushButton *>(QStringLiteral("autoModeButton"))->click();
    EXPECT_EQ(settings.intValue(cPrefRadioSet1SelectedTag), 202);
    ReassignViewController *dialog = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (dialog = window.findChild<ReassignViewController *>()) && dialog->session().sortedurlstochange; }));
    EXPECT_FALSE(button(dialog, "unknownButton")->isVisible());
    scan(field(dialog), QStringLiteral("X9"));
    ASSERT_TRUE(idle(*dialog));
    button(dialog, "reassignButton")->click();
    ASSERT_TRUE(waitUntil([&] { return !posted(QStringLiteral("myAutoDecodeProcess3")).empty(); }));
    // The browser's engine then carries the card's code to the photos after it.
    const std::string decoded
        = lines({QStringLiteral("X9_IMG_1000-qrcode.JPG"), QStringLiteral("X9_IMG_1001.JPG"), QStringLiteral("X9_IMG_1002.JPG")});
    EXPECT_TRUE(waitUntil([&] { return lines(entriesOf(folder)) == decoded; })) << lines(entriesOf(folder));
    const QStringList decode
        = posted(QStringLiteral("myAutoDecodeProcess3")).front().value(QStringLiteral("fulSortedlUrlList")).toStringList();
    ASSERT_EQ(decode.size(), 3);
    EXPECT_EQ(decode.first(), folder + QStringLiteral("/X9_IMG_1000-qrcode.JPG"));
    workQueue.sync([] {});
}
