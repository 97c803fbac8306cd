#include "preferences/widgets/PreferencesViewController.h"

#include "platform/Dispatch.h"
#include "platform/FileRevealer.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "settings/PreferenceOps.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace sorrelby {

namespace {

// A tab's page that scrolls when the screen is too small for it, rather than
// pushing the window past the screen's edge. It asks for its page's whole
// size, so that at the default size nothing scrolls.
class TabScrollArea : public QScrollArea {
public:
    explicit TabScrollArea(QWidget *page)
    {
        setObjectName(page->objectName() + QStringLiteral("Scroll"));
        setFrameShape(QFrame::NoFrame);
        setWidgetResizable(true);
        setWidget(page);
    }
    QSize sizeHint() const override { return widget()->sizeHint() + QSize(2 * frameWidth(), 2 * frameWidth()); }
};

const QString cClass = QStringLiteral("PreferencesViewController");
const FolderRole cRoles[] = {FolderRole::Source, FolderRole::Destination, FolderRole::HotFolder};

PreferencesViewController::RelaunchTimeOpener &relaunchTimeOpener()
{
    static PreferencesViewController::RelaunchTimeOpener opener;
    return opener;
}

Settings &store()
{
    return Settings::shared();
}

QCheckBox *check(QWidget *parent, const QString &text, const QString &key, std::function<void()> after = {})
{
    auto *box = new QCheckBox(text, parent);
    box->setObjectName(key);
    box->setChecked(store().boolValue(key));
    QObject::connect(box, &QCheckBox::toggled, box, [key, after = std::move(after)](bool on) {
        store().setValue(key, on);
        if (after)
            after();
    });
    return box;
}

QLineEdit *field(QWidget *parent, const QString &key)
{
    auto *edit = new QLineEdit(store().stringValue(key), parent);
    edit->setObjectName(key);
    QObject::connect(edit, &QLineEdit::editingFinished, edit, [edit, key] {
        if (edit->text() != store().stringValue(key))
            store().setValue(key, edit->text());
    });
    return edit;
}

QSpinBox *intField(QWidget *parent, const QString &key, int min, int max)
{
    auto *spin = new QSpinBox(parent);
    spin->setObjectName(key);
    spin->setRange(min, max);
    spin->setValue(store().intValue(key));
    QObject::connect(spin, &QSpinBox::valueChanged, spin, [key](int value) { store().setValue(key, value); });
    return spin;
}

// Radio buttons whose tags are stored under key.
QButtonGroup *radios(QWidget *parent, QBoxLayout *layout, const QString &key, const std::vector<std::pair<int, QString>> &choices,
                     std::function<void(int)> chosen)
{
    auto *group = new QButtonGroup(parent);
    group->setObjectName(key);
    const int current = store().intValue(key);
    for (const auto &[tag, text] : choices) {
        auto *button = new QRadioButton(text, parent);
        button->setObjectName(key + QLatin1Char('_') + QString::number(tag));
        button->setChecked(tag == current);
        group->addButton(button, tag);
        layout->addWidget(button);
    }
    QObject::connect(group, &QButtonGroup::idClicked, parent, std::move(chosen));
    return group;
}

// A choice from a list of {"title", "key"} entries; the index is stored.
QComboBox *listChoice(QWidget *parent, const QString &listKey, const QString &indexKey)
{
    auto *combo = new QComboBox(parent);
    combo->setObjectName(indexKey);
    for (const QVariant &entry : store().value(listKey).toList()) {
        const QVariantMap map = entry.toMap();
        combo->addItem(map.value(QStringLiteral("title"), entry.toString()).toString());
    }
    combo->setCurrentIndex(store().intValue(indexKey));
    QObject::connect(combo, &QComboBox::activated, combo, [indexKey](int index) {
        store().setValue(indexKey, index);
        logOp(cClass, u"ibClickOnSortKeyMethod(_:)", QString(QStringLiteral(".... selectedTag = ") + QString::number(index)));
        // The browser lists the folder again in the new order.
        NotificationCenter::defaultCenter().post(QStringLiteral("myRefreshId"), {{QStringLiteral("command"), QStringLiteral("refresh")}});
    });
    return combo;
}

void chooseWithOpenPanel(QWidget *parent, const FolderPanelSpec &spec, std::function<void(std::optional<QString>)> done)
{
    QFileDialog *panel = makeFolderPanel(parent, spec);
    QObject::connect(panel, &QFileDialog::finished, panel, [panel, done = std::move(done)](int result) {
        const QStringList chosen = panel->selectedFiles();
        done(result == QDialog::Accepted && !chosen.isEmpty() ? std::optional<QString>(chosen.first()) : std::nullopt);
    });
    panel->open(); // a sheet on the Preferences window
}

} // namespace

FolderPanelFilter::FolderPanelFilter(QStringList badPaths, QObject *parent)
    : QSortFilterProxyModel(parent)
    , m_badPaths(std::move(badPaths))
{ }

Qt::ItemFlags FolderPanelFilter::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QSortFilterProxyModel::flags(index);
    const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
    if (!files)
        return flags;
    const QFileInfo info = files->fileInfo(mapToSource(index));
    const QString canonical = info.canonicalFilePath();
    const QString path = canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
    if (m_badPaths.contains(path))
        flags &= ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return flags;
}

QFileDialog *makeFolderPanel(QWidget *parent, const FolderPanelSpec &spec)
{
    auto *panel = new QFileDialog(parent, spec.title, spec.startFolder);
    panel->setObjectName(QStringLiteral("fOpenPanel"));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setOption(QFileDialog::DontUseNativeDialog, true); // the filter needs Qt's own panel
    panel->setFileMode(QFileDialog::Directory);
    panel->setOption(QFileDialog::ShowDirsOnly, true);
    panel->setLabelText(QFileDialog::Accept, spec.prompt);
    panel->setLabelText(QFileDialog::LookIn, spec.message);
    panel->setProxyModel(new FolderPanelFilter(spec.badPaths, panel));
    return panel;
}

void PreferencesViewController::setRelaunchTimeOpener(RelaunchTimeOpener opener)
{
    relaunchTimeOpener() = std::move(opener);
}

PreferencesViewController::PreferencesViewController(QWidget *parent)
    : QDialog(parent)
    , m_chooser(chooseWithOpenPanel)
{
    setObjectName(QStringLiteral("PreferencesViewController"));
    setWindowTitle(QStringLiteral("Preferences"));
    ibTabView1 = new QTabWidget(this);
    ibTabView1->setObjectName(QStringLiteral("ibTabView1"));
    ibTabView1->addTab(new TabScrollArea(makeFoldersTab()), QStringLiteral("Folders"));
    ibTabView1->addTab(new TabScrollArea(makeNamingTab()), QStringLiteral("Sorting and Naming"));
    ibTabView1->addTab(new TabScrollArea(makeDeliveryTab()), QStringLiteral("Delivery"));
    ibTabView1->addTab(new TabScrollArea(makeDetectionTab()), QStringLiteral("Detection and Cameras"));
    ibTabView1->addTab(new TabScrollArea(makeReassignmentTab()), QStringLiteral("Reassignment"));
    ibTabView1->addTab(new TabScrollArea(makeMaintenanceTab()), QStringLiteral("Maintenance"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(ibTabView1);
    // Every tab whole, as far as the screen allows (Qt would otherwise take
    // two thirds of the screen at most).
    if (const QScreen *where = screen()) {
        const QSize room = where->availableSize() - QSize(40, 80);
        resize(sizeHint().boundedTo(room.expandedTo(minimumSizeHint())));
    }

    observe(cPrefEnableHotFolderMode, &PreferencesViewController::setHotFolderInfoString);
    for (FolderRole role : cRoles)
        observe(PreferencesActions::pathKey(role), &PreferencesViewController::showFolders);
    observe(cPrefNextScheduledDisplay, &PreferencesViewController::showNextRelaunch);
    setHotFolderInfoString();
    showFolders();
    showNextRelaunch();
}

void PreferencesViewController::showNextRelaunch()
{
    m_nextRelaunch->setText(store().stringValue(cPrefNextScheduledDisplay));
}

PreferencesViewController::~PreferencesViewController()
{
    // Closed with a panel still open: the panel goes first, while its answer
    // can still be taken, and hot folder mode must not stay off.
    qDeleteAll(findChildren<QFileDialog *>());
    if (m_actions.isChoosingFolder())
        m_actions.finishChoosingFolder(FolderRole::Source, std::nullopt);
    for (quint64 token : m_observers)
        Settings::shared().removeObserver(token);
}

void PreferencesViewController::observe(const QString &key, void (PreferencesViewController::*refresh)())
{
    const QPointer<PreferencesViewController> self(this);
    m_observers.push_back(Settings::shared().observe(key, [self, refresh](const QVariant &, const QVariant &) {
        mainqueue::async([self, refresh] {
            if (self)
                (self.data()->*refresh)();
        });
    }));
}

QWidget *PreferencesViewController::makeFoldersTab()
{
    auto *tab = new QWidget(this);
    tab->setObjectName(QStringLiteral("foldersTab"));
    auto *layout = new QVBoxLayout(tab);
    const QString titles[] = {QStringLiteral("Source Folder (the shoot being sorted)"), QStringLiteral("Destination (Main) Folder"),
                              QStringLiteral("Hot Folder (watched in hot folder mode)")};
    const char *changeNames[] = {"ibChangeSourcePath", "ibChangeDestPath", "ibChangeHotFolderPath"};
    const int revealTags[] = {cRevealSourceFolder, cRevealDestinationFolder, cRevealHotFolder};
    void (PreferencesViewController::*changers[])()
        = {&PreferencesViewController::ibChangeSourcePath, &PreferencesViewController::ibChangeDestPath,
           &PreferencesViewController::ibChangeHotFolderPath};
    for (int i = 0; i < 3; ++i) {
        auto *box = new QGroupBox(titles[i], tab);
        auto *row = new QHBoxLayout(box);
        m_folderLabels[i] = new QLabel(box);
        m_folderLabels[i]->setObjectName(PreferencesActions::pathKey(cRoles[i]) + QStringLiteral("Label"));
        m_folderLabels[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        m_folderLabels[i]->setMinimumWidth(360);
        row->addWidget(m_folderLabels[i], 1);
        auto *change = new QPushButton(QStringLiteral("Change..."), box);
        change->setObjectName(QString::fromLatin1(changeNames[i]));
        connect(change, &QPushButton::clicked, this, changers[i]);
        row->addWidget(change);
        auto *reveal = new QPushButton(QStringLiteral("Show"), box);
        reveal->setObjectName(QStringLiteral("ibRevealInFinder_%1").arg(revealTags[i]));
        connect(reveal, &QPushButton::clicked, this, [this, tag = revealTags[i]] { ibRevealInFinder(tag); });
        row->addWidget(reveal);
        layout->addWidget(box);
    }
    layout->addWidget(check(tab, QStringLiteral("Always use Ostrin's save folder as the source folder"), cPrefAlwaysUseOstrinAsSourcePath,
                            [] { PreferencesActions::ibClickedOnAlwaysUseOstrinPath(); }));

    auto *hotBox = new QGroupBox(QStringLiteral("Hot Folder Mode"), tab);
    auto *hotRow = new QHBoxLayout(hotBox);
    m_hotFolderInfo = new QLabel(hotBox);
    m_hotFolderInfo->setObjectName(QStringLiteral("ibHotFolderInfoString"));
    hotRow->addWidget(m_hotFolderInfo, 1);
    m_hotFolderButton = new QPushButton(hotBox);
    m_hotFolderButton->setObjectName(QStringLiteral("ibToggleHotFolderModeButton"));
    connect(m_hotFolderButton, &QPushButton::clicked, this, &PreferencesViewController::ibClickedOnEnableHotFolderAction);
    hotRow->addWidget(m_hotFolderButton);
    layout->addWidget(hotBox);
    layout->addStretch();
    return tab;
}

QWidget *PreferencesViewController::makeNamingTab()
{
    auto *tab = new QWidget(this);
    tab->setObjectName(QStringLiteral("namingTab"));
    auto *layout = new QVBoxLayout(tab);
    auto *names = new QGroupBox(QStringLiteral("Camera file names have"), tab);
    auto *namesLayout = new QVBoxLayout(names);
    radios(names, namesLayout, cPrefOriginalNameFormatTag,
           {{0, QStringLiteral("1 part (DSC01234.JPG)")},
            {1, QStringLiteral("2 parts (IMG_0412.JPG)")},
            {2, QStringLiteral("3 parts (A_B_0412.JPG)")}},
           [](int tag) {
               store().setValue(cPrefOriginalNameFormatTag, tag);
               logOp(cClass, u"ibClickOnOriginalPhotoNameFormat(_:)",
                     QString(QStringLiteral(".... selectedTag = ") + QString::number(tag)));
               // Sections come from the names: the browser reads them again.
               NotificationCenter::defaultCenter().post(QStringLiteral("myRefreshId"),
                                                        {{QStringLiteral("command"), QStringLiteral("refresh")}});
           });
    layout->addWidget(names);

    auto *sort = new QFormLayout;
    sort->addRow(QStringLiteral("Sort photos by:"), listChoice(tab, cPrefInputFolderSortKeyList, cPrefInputFolderSortKeySelectedIndex));
    sort->addRow(QStringLiteral("Order:"), listChoice(tab, cPrefInputFolderSortOrderKeyList, cPrefInputFolderSortOrderKeySelectedIndex));
    layout->addLayout(sort);
    layout->addWidget(
        check(tab, QStringLiteral("Codes that are web addresses: use the last part of the address"), cPrefDecodeForUrlString));
    layout->addWidget(check(tab, QStringLiteral("Hot folder: put a dash before the last character of the camera name's first part"),
                            cPrefAdjustFilenameWithDash));
    layout->addStretch();
    return tab;
}

QWidget *PreferencesViewController::makeDeliveryTab()
{
    auto *tab = new QWidget(this);
    tab->setObjectName(QStringLiteral("deliveryTab"));
    auto *layout = new QVBoxLayout(tab);
    auto *daily = new QGroupBox(QStringLiteral("Daily sub-folder in the main folder"), tab);
    auto *dailyLayout = new QVBoxLayout(daily);
    const QDateTime now = QDateTime::currentDateTime();
    const QString styles[] = {QStringLiteral("Short"), QStringLiteral("Medium"), QStringLiteral("Long"), QStringLiteral("Full")};
    std::vector<std::pair<int, QString>> choices{{0, QStringLiteral("No daily sub-folder")}, {1, QStringLiteral("MM-dd-yyyy")}};
    for (int style = 0; style < 4; ++style)
        choices.emplace_back(style + 2,
                             styles[style] + QStringLiteral(" date (") + preferenceops::formatDateStyle(now, style) + QLatin1Char(')'));
    choices.emplace_back(6, QStringLiteral("My own format:"));
    m_dateFormats = radios(daily, dailyLayout, cPrefDateFormatterTag, choices, [this](int tag) { ibClickOnDateFormatter(tag); });
    m_userPattern = new QLineEdit(store().stringValue(cPrefUserDefinedDateFormatter), daily);
    m_userPattern->setObjectName(cPrefUserDefinedDateFormatter);
    m_userPattern->setPlaceholderText(cDefaultUserDateFormat);
    connect(m_userPattern, &QLineEdit::editingFinished, this, &PreferencesViewController::userPatternEdited);
    dailyLayout->addWidget(m_userPattern);
    m_example = new QLabel(daily);
    m_example->setObjectName(cPrefDailyFolderDateFormatExample);
    dailyLayout->addWidget(m_example);
    layout->addWidget(daily);
    // Today's name, not the example stored on another day.
    const auto pattern = store().optionalString(cPrefDailyFolderDateFormat);
    m_example->setText(
        QStringLiteral("Folder for photos delivered now: ")
        + (pattern && !pattern->isEmpty() ? preferenceops::performDateFormatString(*pattern) : QString(cNotCreatingSubFolder)));

    auto *unassigned = new QGroupBox(QStringLiteral("Photos without a code"), tab);
    auto *unassignedLayout = new QVBoxLayout(unassigned);
    unassignedLayout->addWidget(check(unassigned, QStringLiteral("Handle photos without a code at delivery"), cPrefDoUnassignedProcess));
    radios(unassigned, unassignedLayout, cPrefMoveUnasignedPhotoMethodTag,
           {{1, QStringLiteral("Move them into UNASSIGNED_PHOTOS in the main folder")},
            {0, QStringLiteral("Leave them in the source folder")}},
           [](int tag) {
               store().setValue(cPrefMoveUnasignedPhotoMethodTag, tag);
               logOp(cClass, u"ibClickOnMoveUnassignedPhotoMethod(_:)",
                     QString(QStringLiteral("ibClickOnHandleUnassignedPhoto selected tag = ") + QString::number(tag)));
           });
    layout->addWidget(unassigned);
    layout->addWidget(check(tab, QStringLiteral("Keep the last code photo in the source folder"), cPrefKeepLastQRCodeFile));
    layout->addStretch();
    return tab;
}

QWidget *PreferencesViewController::makeDetectionTab()
{
    auto *tab = new QWidget(this);
    tab->setObjectName(QStringLiteral("detectionTab"));
    auto *layout = new QVBoxLayout(tab);
    layout->addWidget(check(tab, QStringLiteral("Find codes automatically"), cPrefUseAutoDecodeQRMethod));
    layout->addWidget(check(tab, QStringLiteral("Find codes right after copying a card"), cPrefDoTryToAutoDecodeAfterCopying));
    layout->addWidget(check(tab, QStringLiteral("Photos may come from several cameras"), cPrefCheckForMultiCameras));
    auto *delayRow = new QHBoxLayout;
    delayRow->addWidget(check(tab, QStringLiteral("Wait until a photo is complete:"), cPrefDoDelayToWaitForValidPhoto));
    auto *delay = new QDoubleSpinBox(tab);
    delay->setObjectName(cPrefDelayToWaitForValidPhotoInSeconds);
    delay->setRange(1.0, 60.0);
    delay->setSingleStep(0.5);
    delay->setSuffix(QStringLiteral(" s"));
    delay->setValue(store().doubleValue(cPrefDelayToWaitForValidPhotoInSeconds));
    connect(delay, &QDoubleSpinBox::valueChanged, this,
            [](double seconds) { store().setValue(cPrefDelayToWaitForValidPhotoInSeconds, seconds); });
    delayRow->addWidget(delay);
    delayRow->addStretch();
    layout->addLayout(delayRow);

    auto *cameras = new QGroupBox(QStringLiteral("Cameras held upside down"), tab);
    auto *camerasLayout = new QFormLayout(cameras);
    camerasLayout->addRow(check(cameras, QStringLiteral("Turn their photos by 180 degrees"), cPrefRotateImages180));
    QLineEdit *serials = field(cameras, cPrefCamerasToRotate180asString);
    serials->setPlaceholderText(QStringLiteral("serial numbers, separated by commas"));
    camerasLayout->addRow(QStringLiteral("Serial numbers:"), serials);
    layout->addWidget(cameras);
    auto *cards = new QFormLayout;
    cards->addRow(QStringLiteral("Folders that mark a camera card:"), field(tab, cPrefCameraCardFolderNames));
    layout->addLayout(cards);
    layout->addStretch();
    return tab;
}

QWidget *PreferencesViewController::makeReassignmentTab()
{
    auto *tab = new QWidget(this);
    tab->setObjectName(QStringLiteral("reassignmentTab"));
    auto *layout = new QVBoxLayout(tab);
    auto *modes = new QGroupBox(QStringLiteral("Reassigning selected photos"), tab);
    auto *modesLayout = new QVBoxLayout(modes);
    QButtonGroup *group = radios(modes, modesLayout, cPrefRadioSet1SelectedTag,
                                 {{int(ReassignMode::defaultmode), QStringLiteral("Scan or type the code for the photos")},
                                  {int(ReassignMode::mode202), QStringLiteral("Take the codes from the card photos among them")}},
                                 [](int) {});
    connect(group, &QButtonGroup::idClicked, this, [group](int tag) {
        PreferencesActions::ibHandleRadioSet1(tag);
        if (QAbstractButton *button = group->button(store().intValue(cPrefRadioSet1SelectedTag)))
            button->setChecked(true);
    });
    layout->addWidget(modes);
    layout->addWidget(check(tab, QStringLiteral("Always ask which way to reassign"), cPrefAlwaysPromptForReassignmentMode));
    layout->addWidget(check(tab, QStringLiteral("Assign codes in reverse order"), cPrefReverseAssignBarcode));
    auto *lengthRow = new QHBoxLayout;
    lengthRow->addWidget(check(tab, QStringLiteral("Check the length of a scanned code:"), cPrefCheckReassignedBarcodeLength));
    lengthRow->addWidget(intField(tab, cPrefReassignedBarcodeRequiredLength, 1, 64));
    lengthRow->addWidget(new QLabel(QStringLiteral("characters"), tab));
    lengthRow->addStretch();
    layout->addLayout(lengthRow);
    layout->addStretch();
    return tab;
}

QWidget *PreferencesViewController::makeMaintenanceTab()
{
    auto *tab = new QWidget(this);
    tab->setObjectName(QStringLiteral("maintenanceTab"));
    auto *layout = new QVBoxLayout(tab);
    auto *show = new QGroupBox(QStringLiteral("Show in the file manager"), tab);
    auto *showLayout = new QVBoxLayout(show);
    const std::pair<int, QString> reveals[]
        = {{cRevealSourceFolder, QStringLiteral("Source Folder")}, {cRevealDestinationFolder, QStringLiteral("Destination Folder")},
           {cRevealHotFolder, QStringLiteral("Hot Folder")},       {cRevealTemporaryFolder, QStringLiteral("Temporary Folder")},
           {cRevealLogFiles, QStringLiteral("Log Files")},         {cRevealCrashNotes, QStringLiteral("Crash Notes")}};
    for (const auto &[tag, text] : reveals) {
        auto *button = new QPushButton(text, show);
        button->setObjectName(QStringLiteral("ibRevealInFinder_%1").arg(tag));
        if (tag == cRevealSourceFolder || tag == cRevealDestinationFolder || tag == cRevealHotFolder)
            button->setObjectName(button->objectName() + QStringLiteral("_maintenance"));
        connect(button, &QPushButton::clicked, this, [this, tag = tag] { ibRevealInFinder(tag); });
        showLayout->addWidget(button);
    }
    layout->addWidget(show);

    auto *relaunch = new QGroupBox(QStringLiteral("Daily quit and relaunch"), tab);
    auto *relaunchLayout = new QVBoxLayout(relaunch);
    relaunchLayout->addWidget(check(relaunch, QStringLiteral("Quit and relaunch every day"), cPrefDoDailyQuitRelaunch));
    m_nextRelaunch = new QLabel(relaunch);
    m_nextRelaunch->setObjectName(cPrefNextScheduledDisplay);
    relaunchLayout->addWidget(m_nextRelaunch);
    auto *setTime = new QPushButton(QStringLiteral("Set Relaunch Time..."), relaunch);
    setTime->setObjectName(QStringLiteral("setRelaunchTimeButton"));
    connect(setTime, &QPushButton::clicked, this, [this] {
        Q_EMIT relaunchTimeRequested();
        if (relaunchTimeOpener())
            relaunchTimeOpener()(this);
        else
            logOp(cClass, u"setRelaunchTime", QStringLiteral("no relaunch time dialog in this build yet, nothing opened"));
    });
    relaunchLayout->addWidget(setTime);
    layout->addWidget(relaunch);
    layout->addStretch();
    return tab;
}

void PreferencesViewController::showFolders()
{
    for (int i = 0; i < 3; ++i)
        m_folderLabels[i]->setText(store().stringValue(PreferencesActions::pathKey(cRoles[i])));
}

void PreferencesViewController::setHotFolderInfoString()
{
    m_hotFolderInfo->setText(PreferencesActions::hotFolderInfoString());
    m_hotFolderButton->setText(PreferencesActions::hotFolderButtonTitle());
}

void PreferencesViewController::ibChangeHotFolderPath()
{
    changeFolder(FolderRole::HotFolder);
}

void PreferencesViewController::ibChangeSourcePath()
{
    changeFolder(FolderRole::Source);
}

void PreferencesViewController::ibChangeDestPath()
{
    changeFolder(FolderRole::Destination);
}

void PreferencesViewController::changeFolder(FolderRole role)
{
    if (m_actions.isChoosingFolder())
        return; // one panel at a time
    const FolderPanelSpec spec = m_actions.beginChoosingFolder(role);
    const QPointer<PreferencesViewController> self(this);
    m_chooser(this, spec, [self, role](std::optional<QString> chosen) {
        if (!self)
            return;
        self->m_actions.finishChoosingFolder(role, chosen);
        self->showFolders();
    });
}

void PreferencesViewController::ibClickedOnEnableHotFolderAction()
{
    AlertPresenter::shared().beginSheet(PreferencesActions::hotFolderModeAlert(), this,
                                        [](AlertAnswer answer) { PreferencesActions::applyHotFolderModeAnswer(answer); });
}

void PreferencesViewController::ibRevealInFinder(int tag)
{
    PreferencesActions::ibRevealInFinder(tag, m_revealer ? *m_revealer : FileRevealer::shared());
}

void PreferencesViewController::ibClickOnDateFormatter(int tag)
{
    const DateFormatResult result = PreferencesActions::ibClickOnDateFormatter(tag);
    if (!result.accepted) {
        if (QAbstractButton *previous = m_dateFormats->button(store().intValue(cPrefDateFormatterTag)))
            previous->setChecked(true);
        refuse(QStringLiteral("!!! Invalid Date Format !!!"), result.problem);
        return;
    }
    m_example->setText(QStringLiteral("Folder for photos delivered now: ") + result.example
                       + (result.notice.isEmpty() ? QString() : QStringLiteral("\n") + result.notice));
}

void PreferencesViewController::userPatternEdited()
{
    if (m_userPattern->text().trimmed() == store().stringValue(cPrefUserDefinedDateFormatter).trimmed())
        return;
    const DateFormatResult result = PreferencesActions::setUserDefinedDateFormatter(m_userPattern->text());
    if (!result.accepted) {
        m_userPattern->setText(store().stringValue(cPrefUserDefinedDateFormatter));
        refuse(QStringLiteral("!!! Invalid Date Format !!!"), result.problem);
        return;
    }
    const QString example = store().stringValue(cPrefDailyFolderDateFormatExample);
    const QString notice = PreferencesActions::dailyFolderNotice(example);
    m_example->setText(QStringLiteral("Folder for photos delivered now: ") + example
                       + (notice.isEmpty() ? QString() : QStringLiteral("\n") + notice));
}

void PreferencesViewController::refuse(const QString &message, const QString &problem)
{
    Alert alert;
    alert.style = AlertStyle::Critical;
    alert.messageText = message;
    alert.informativeText = QLatin1Char('\n') + problem + QStringLiteral("\n\n");
    AlertPresenter::shared().beginSheet(alert, this, {});
}

PreferencesViewController *showPreferencesWindow(QWidget *parent)
{
    static QPointer<PreferencesViewController> open;
    if (!open) {
        open = new PreferencesViewController(parent);
        open->setAttribute(Qt::WA_DeleteOnClose);
    }
    open->show();
    open->raise();
    open->activateWindow();
    return open;
}

} // namespace sorrelby
