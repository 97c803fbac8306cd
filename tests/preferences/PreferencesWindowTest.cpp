// The Preferences window offscreen, with scripted alerts, a scripted folder
// chooser and a recording revealer: what its controls store and what they
// refuse.

#include "tests/testkit/fixtures/PreferencesWindowScene.h"

using namespace sorrelby::testkit::preferenceswindow;

namespace {

TEST_F(PreferencesWindowTest, HotFolderChooserGreysOutOtherRolesAndRestoresTheMode)
{
    // The panel itself greys out the destination; its siblings stay usable.
    const QString sibling = makeTempFolder(QStringLiteral("other"));
    QFileSystemModel files;
    files.setRootPath(QFileInfo(destination).path());
    FolderPanelFilter filter({destination, source});
    filter.setSourceModel(&files);
    EXPECT_FALSE(filter.flags(filter.mapFromSource(files.index(destination))) & Qt::ItemIsEnabled);
    EXPECT_TRUE(filter.flags(filter.mapFromSource(files.index(sibling))) & Qt::ItemIsEnabled);

    // Typed in anyway, the destination is refused; cancelled, nothing
    // changes; in both cases hot folder mode was off only while choosing.
    answers = {destination, std::nullopt, sibling};
    for (int i = 0; i < 3; ++i)
        child<QPushButton>(QStringLiteral("ibChangeHotFolderPath"))->click();
    ASSERT_EQ(specs.size(), 3u);
    EXPECT_TRUE(specs[0].badPaths.contains(destination));
    EXPECT_EQ(modeWhileOpen, (std::vector<bool>{false, false, false}));
    EXPECT_TRUE(settings.boolValue(kHotMode));
    ASSERT_EQ(alerts.shown().size(), 1u);
    EXPECT_EQ(alerts.shown().front().messageText, QStringLiteral("!!! Unable to Use This Folder !!!"));
    EXPECT_EQ(settings.stringValue(cPrefHotFolderPath), sibling);
    EXPECT_EQ(child<QLabel>(QStringLiteral("prefHotFolderPathLabel"))->text(), sibling);

    // The window closed while a panel is still open: the mode comes back.
    window->setFolderChooser([](QWidget *, const FolderPanelSpec &, std::function<void(std::optional<QString>)>) {});
    child<QPushButton>(QStringLiteral("ibChangeDestPath"))->click();
    EXPECT_FALSE(settings.boolValue(kHotMode));
    window.reset();
    EXPECT_TRUE(settings.boolValue(kHotMode));
    EXPECT_EQ(settings.stringValue(cPrefDestinationPath), destination);

    // The same with the real panel, which carries the texts and the filter.
    window = std::make_unique<PreferencesViewController>();
    window->show();
    child<QPushButton>(QStringLiteral("ibChangeDestPath"))->click();
    auto *panel = window->findChild<QFileDialog *>(QStringLiteral("fOpenPanel"));
    ASSERT_TRUE(panel);
    EXPECT_TRUE(qobject_cast<FolderPanelFilter *>(panel->proxyModel()));
    EXPECT_FALSE(settings.boolValue(kHotMode));
    window.reset();
    EXPECT_TRUE(settings.boolValue(kHotMode));
}

TEST_F(PreferencesWindowTest, HotFolderSwitchStoresTheOppositeOnlyOnItsSecondButton)
{
    auto *info = child<QLabel>(QStringLiteral("ibHotFolderInfoString"));
    auto *button = child<QPushButton>(QStringLiteral("ibToggleHotFolderModeButton"));
    EXPECT_EQ(info->text(), QStringLiteral("Hot Folder Mode is Currently ENABLED"));
    EXPECT_EQ(button->text(), QStringLiteral("Disable..."));

    alerts.queueAnswer(0); // "Cancel"
    button->click();
    spinFor(50);
    EXPECT_TRUE(settings.boolValue(kHotMode));
    alerts.queueAnswer(1); // "DISABLE Hot Folder Mode"
    button->click();
    ASSERT_TRUE(waitUntil([&] { return button->text() == QStringLiteral("Enable..."); }, 2000));
    EXPECT_FALSE(settings.boolValue(kHotMode));
    EXPECT_EQ(info->text(), QStringLiteral("Hot Folder Mode is Currently DISABLED"));
    ASSERT_EQ(alerts.shown().size(), 2u);
    EXPECT_EQ(alerts.shown()[1].buttons, QStringList({QStringLiteral("Cancel"), QStringLiteral("DISABLE Hot Folder Mode")}));
}

TEST_F(PreferencesWindowTest, ControlsStoreTheirKeysAndRefuseABadOwnPattern)
{
    // Daily folder: own pattern left blank gives yyyyMMdd, "none" removes it.
    child<QLineEdit>(cPrefUserDefinedDateFormatter)->clear();
    child<QRadioButton>(QStringLiteral("prefDateFormatterTag_6"))->click();
    EXPECT_EQ(settings.stringValue(cPrefDailyFolderDateFormat), QStringLiteral("yyyyMMdd"));
    EXPECT_TRUE(child<QLabel>(cPrefDailyFolderDateFormatExample)->text().contains(QRegularExpression(QStringLiteral("\\d{8}$"))));
    auto *own = child<QLineEdit>(cPrefUserDefinedDateFormatter);
    own->setText(QStringLiteral("'..'"));
    Q_EMIT own->editingFinished();
    EXPECT_EQ(own->text(), QStringLiteral("yyyyMMdd")); // the field shows the kept pattern again
    EXPECT_EQ(settings.stringValue(cPrefUserDefinedDateFormatter), QStringLiteral("yyyyMMdd"));
    EXPECT_EQ(settings.stringValue(cPrefDailyFolderDateFormat), QStringLiteral("yyyyMMdd"));
    ASSERT_EQ(alerts.shown().size(), 1u);
    EXPECT_EQ(alerts.shown().front().messageText, QStringLiteral("!!! Invalid Date Format !!!"));
    child<QRadioButton>(QStringLiteral("prefDateFormatterTag_0"))->click();
    EXPECT_TRUE(settings.stringValue(cPrefDailyFolderDateFormat).isEmpty());
    EXPECT_TRUE(child<QLabel>(cPrefDailyFolderDateFormatExample)->text().endsWith(QStringLiteral("< NOT Creating SubFolder>")));

    // Bound controls.
    child<QRadioButton>(QStringLiteral("prefRadioSet1SelectedTag_202"))->click();
    EXPECT_EQ(settings.intValue(cPrefRadioSet1SelectedTag), 202);
    child<QRadioButton>(QStringLiteral("prefMoveUnasignedPhotoMethodTag_0"))->click();
    EXPECT_EQ(settings.intValue(cPrefMoveUnasignedPhotoMethodTag), 0);
    child<QCheckBox>(QStringLiteral("prefDecodeForUrlString"))->click();
    EXPECT_TRUE(settings.boolValue(QStringLiteral("prefDecodeForUrlString")));
    child<QDoubleSpinBox>(QStringLiteral("prefDelayToWaitForValidPhotoInSeconds"))->setValue(0.2);
    EXPECT_DOUBLE_EQ(settings.doubleValue(QStringLiteral("prefDelayToWaitForValidPhotoInSeconds")), 1.0);
    auto *serials = child<QLineEdit>(QStringLiteral("prefCamerasToRotate180asString"));
    serials->setText(QStringLiteral("123, 456"));
    Q_EMIT serials->editingFinished();
    EXPECT_EQ(settings.stringValue(QStringLiteral("prefCamerasToRotate180asString")), QStringLiteral("123, 456"));

    // The companion switch makes the companion's folder the source.
    const QString companion = testRoot() + QStringLiteral("/Ostrin/Capture");
    ASSERT_TRUE(writeFile(QDir::homePath() + QStringLiteral("/.java/.userPrefs/Ostrin/prefs.xml"),
                          QStringLiteral("<map><entry key=\"savepath\" value=\"%1\"/></map>").arg(companion).toUtf8()));
    child<QCheckBox>(cPrefAlwaysUseOstrinAsSourcePath)->click();
    EXPECT_TRUE(settings.boolValue(cPrefAlwaysUseOstrinAsSourcePath));
    EXPECT_EQ(settings.stringValue(cPrefSourcePath), companion);

    // The reveal buttons reach the revealer (the relaunch button is the
    // daily relaunch tests').
    ASSERT_TRUE(writeFile(QDir::tempPath() + QStringLiteral("/com.halvane.vemo.sorrelby/x"), "x"));
    child<QPushButton>(QStringLiteral("ibRevealInFinder_102"))->click();
    ASSERT_EQ(revealer.calls().size(), 1u);
    EXPECT_EQ(revealer.calls()[0].paths.size(), 1);
}

} // namespace

// Every tab whole at the size the window opens with; a screen too small for
// it (here: a large font on a small screen) gets scrolling tabs, never a
// window past the screen's edge.
TEST_F(PreferencesWindowTest, EveryTabFitsTheWindowAtItsDefaultSize)
{
    const QFont normal = QApplication::font();
    for (const int points : {0, 15}) {
        if (points > 0) {
            QFont large = normal;
            large.setPointSize(points);
            QApplication::setFont(large);
        }
        // Opened as the menu opens it, at the size it chooses for itself.
        PreferencesViewController *opened = showPreferencesWindow(nullptr);
        ASSERT_TRUE(opened);
        ASSERT_TRUE(waitUntil([&] { return opened->isVisible(); }));
        const QSize minimum = opened->minimumSizeHint();
        EXPECT_GE(opened->width(), minimum.width()) << points;
        EXPECT_GE(opened->height(), minimum.height()) << points;
        const QRect screen = opened->screen()->availableGeometry();
        EXPECT_LE(opened->width(), screen.width()) << points;
        EXPECT_LE(opened->height(), screen.height()) << points;
        auto *tabs = opened->findChild<QTabWidget *>(QStringLiteral("ibTabView1"));
        ASSERT_TRUE(tabs);
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            QCoreApplication::processEvents();
            const std::string tab = tabs->tabText(i).toStdString() + " at " + std::to_string(points) + " pt";
            auto *area = qobject_cast<QScrollArea *>(tabs->widget(i));
            QWidget *page = area ? area->widget() : tabs->widget(i);
            // Never squeezed below what its controls need: what does not
            // fit scrolls.
            EXPECT_GE(page->width(), page->minimumSizeHint().width()) << tab;
            EXPECT_GE(page->height(), page->minimumSizeHint().height()) << tab;
            if (points > 0)
                continue;
            // At the usual font, everything is on view without scrolling.
            if (area) {
                EXPECT_FALSE(area->horizontalScrollBar()->isVisible()) << tab;
                EXPECT_FALSE(area->verticalScrollBar()->isVisible()) << tab;
            }
            const QWidget *shown = area ? area->viewport() : page;
            for (QWidget *control : page->findChildren<QWidget *>()) {
                if (!control->isVisibleTo(page) || control->objectName().startsWith(QLatin1String("qt_")))
                    continue;
                const QRect where(control->mapTo(shown, QPoint(0, 0)), control->size());
                EXPECT_TRUE(shown->rect().contains(where)) << tab << ": " << control->objectName().toStdString();
            }
        }
        opened->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QApplication::setFont(normal);
}
