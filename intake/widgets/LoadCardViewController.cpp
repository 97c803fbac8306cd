#include "intake/widgets/LoadCardViewController.h"

#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/VolumeMonitor.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace sorrelby {

namespace {

const QString kClass = QStringLiteral("LoadCardViewController");

QString timeLeft(double seconds)
{
    if (seconds < 0)
        return QString();
    const int s = int(seconds + 0.5);
    return QStringLiteral(", %1:%2 left").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

void chooseWithOpenPanel(QWidget *parent, std::function<void(std::optional<QString>)> done)
{
    auto *panel = new QFileDialog(parent, QStringLiteral("Select Source CARD???"));
    panel->setObjectName(QStringLiteral("fOpenPanel"));
    panel->setFileMode(QFileDialog::Directory);
    panel->setOption(QFileDialog::ShowDirsOnly, true);
    panel->setOption(QFileDialog::ReadOnly, true); // no folder creation
    panel->setLabelText(QFileDialog::Accept, QStringLiteral("Select Folder ON CARD"));
    panel->setLabelText(QFileDialog::LookIn, QStringLiteral("Please Select the CARD..."));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    // The accessory under the panel: the status line and a busy indicator.
    panel->setOption(QFileDialog::DontUseNativeDialog, true);
    if (auto *grid = qobject_cast<QGridLayout *>(panel->layout())) {
        const QString status = QString(cPleaseInsertCard);
        Settings::shared().setValue(cPrefAccessoryString1, status);
        auto *accessory = new QWidget(panel);
        accessory->setObjectName(QStringLiteral("OpenPanelAccessoryViewController"));
        auto *row = new QHBoxLayout(accessory);
        row->addWidget(new QLabel(status, accessory));
        auto *busy = new QProgressBar(accessory);
        busy->setObjectName(QStringLiteral("ibProgressIndicator"));
        busy->setRange(0, 0);
        busy->setTextVisible(false);
        row->addWidget(busy);
        grid->addWidget(accessory, grid->rowCount(), 0, 1, grid->columnCount());
    }
    QObject::connect(panel, &QFileDialog::finished, panel, [panel, done = std::move(done)](int result) {
        const QStringList chosen = panel->selectedFiles();
        done(result == QDialog::Accepted && !chosen.isEmpty() ? std::optional<QString>(chosen.first()) : std::nullopt);
    });
    panel->open(); // a sheet on the card window
}

} // namespace

LoadCardViewController::LoadCardViewController(VolumeMonitor &monitor, QWidget *parent)
    : QDialog(parent)
    , m_loader(monitor, this)
    , m_chooser(chooseWithOpenPanel)
{
    setObjectName(QStringLiteral("LoadCardViewController"));
    setWindowTitle(QStringLiteral("Load New Card"));
    setModal(false);

    m_statusLabel = new QLabel(m_loader.statusString(), this);
    m_statusLabel->setObjectName(QStringLiteral("fStatusString"));
    m_statusLabel->setWordWrap(true);
    m_statusLabel->setMinimumWidth(420);

    m_notCopiedLabel = new QLabel(this);
    m_notCopiedLabel->setObjectName(QStringLiteral("notCopiedLabel"));
    m_notCopiedLabel->setWordWrap(true);
    m_notCopiedLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_notCopiedLabel->hide();

    ibProgressIndicator = new QProgressBar(this);
    ibProgressIndicator->setObjectName(QStringLiteral("ibProgressIndicator"));
    ibProgressIndicator->setRange(0, 0); // busy
    ibProgressIndicator->setTextVisible(false);

    m_copyBar = new QProgressBar(this);
    m_copyBar->setObjectName(QStringLiteral("ibCopyProgressBar"));
    m_copyBar->setRange(0, 1000);
    m_copyBar->setVisible(false);

    m_manualButton = new QPushButton(QStringLiteral("Select Folder ON CARD..."), this);
    m_manualButton->setObjectName(QStringLiteral("ibManualSelectButton"));
    ibAssignUnknownNSButon = new QPushButton(QStringLiteral("Unassigned Photos..."), this);
    ibAssignUnknownNSButon->setObjectName(QStringLiteral("ibAssignUnknownNSButon"));
    ibAssignUnknownNSButon->setVisible(false);
    auto *closeButton = new QPushButton(QStringLiteral("Close"), this);
    closeButton->setObjectName(QStringLiteral("ibCloseButton"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(ibAssignUnknownNSButon);
    buttons->addWidget(m_manualButton);
    buttons->addStretch();
    buttons->addWidget(closeButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_statusLabel);
    layout->addWidget(m_notCopiedLabel);
    layout->addWidget(ibProgressIndicator);
    layout->addWidget(m_copyBar);
    layout->addLayout(buttons);

    connect(m_manualButton, &QPushButton::clicked, this, &LoadCardViewController::doManualSelectFolder);
    connect(ibAssignUnknownNSButon, &QPushButton::clicked, this, &LoadCardViewController::doSelectUnassigedFolder);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    connect(&m_loader, &CardLoader::statusChanged, m_statusLabel, &QLabel::setText);
    connect(&m_loader, &CardLoader::progressChanged, this, &LoadCardViewController::showProgress);
    connect(&m_loader, &CardLoader::copyStarted, this, [this] {
        m_copyBar->setValue(0);
        m_copyBar->setFormat(QStringLiteral("Preparing..."));
        m_copyBar->setVisible(true);
        m_manualButton->setEnabled(false);
    });
    connect(&m_loader, &CardLoader::copyFinished, this, [this](const CardCopyResult &result) {
        showNotCopied(result.leftOnCard);
        m_manualButton->setEnabled(!m_loader.isCopying());
        if (!m_closeWhenDone || m_loader.isCopying())
            return;
        // Closed while copying: a copy that went wrong, or left files on the
        // card, must be seen before the card is wiped.
        if (!result.ok() || !result.leftOnCard.isEmpty())
            showAgain();
        else
            close();
    });
    Settings::shared().setValue(cPrefStatusString, m_loader.statusString());
    logOp(kClass, u"viewDidLoad()", {});
}

LoadCardViewController::~LoadCardViewController() = default;

void LoadCardViewController::showNotCopied(const QList<LeftAlone> &files)
{
    m_notCopiedLabel->setVisible(!files.isEmpty());
    if (files.isEmpty())
        return;
    // A card holds hundreds of files at most; the first ones tell the story.
    constexpr qsizetype cShown = 12;
    QStringList lines = describeLeftAlone(files.mid(0, cShown));
    if (files.size() > cShown)
        lines << QStringLiteral("... and %1 more (see the log)").arg(files.size() - cShown);
    m_notCopiedLabel->setText(QStringLiteral("%1 file(s) on the card not copied:\n").arg(files.size()) + lines.join(QLatin1Char('\n')));
}

void LoadCardViewController::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    ibProgressIndicator->setVisible(true);
    // Back over a copy or its report, the card in the reader is the one
    // copied: offering it again would copy it twice.
    if (m_showingAgain)
        m_loader.addobserversForCard();
    else
        m_loader.start(); // observers on, then the existing card check
}

void LoadCardViewController::showAgain()
{
    m_closeWhenDone = false;
    if (!isVisible()) {
        m_showingAgain = true;
        show();
        m_showingAgain = false;
    }
    raise();
    activateWindow();
}

void LoadCardViewController::hideEvent(QHideEvent *event)
{
    m_started = false;
    m_loader.stop();
    ibProgressIndicator->setVisible(false);
    QDialog::hideEvent(event);
}

void LoadCardViewController::closeEvent(QCloseEvent *event)
{
    // A copy under way finishes first; the window only goes out of sight.
    if (m_loader.isCopying()) {
        m_closeWhenDone = true;
        event->ignore();
        hide();
        return;
    }
    QDialog::closeEvent(event);
}

void LoadCardViewController::showProgress(const CardCopyProgress &p)
{
    const qint64 total = std::max<qint64>(p.bytesTotal, 1);
    m_copyBar->setValue(int(p.bytesDone * 1000 / total));
    m_copyBar->setFormat(QStringLiteral("%1 of %2 photos, %3 of %4 MB%5")
                             .arg(p.photosDone)
                             .arg(p.photosTotal)
                             .arg(p.bytesDone / 1000000)
                             .arg(p.bytesTotal / 1000000)
                             .arg(timeLeft(p.secondsLeft)));
}

void LoadCardViewController::doManualSelectFolder()
{
    // No card is taken from a mount while the panel is open.
    m_loader.removeobserversForCard();
    QPointer<LoadCardViewController> self(this);
    m_chooser(this, [self](std::optional<QString> folder) {
        if (!self)
            return;
        if (folder) {
            logOp(kClass, u"doManualSelectFolder(_:)", QString(QStringLiteral("url = ") + *folder));
            self->m_loader.processNewCard(folder);
            NotificationCenter::defaultCenter().post(QStringLiteral("myRefreshId"),
                                                     {{QStringLiteral("command"), QStringLiteral("refresh")}});
        }
        if (self->m_started)
            self->m_loader.addobserversForCard();
    });
}

void LoadCardViewController::doSelectUnassigedFolder()
{
    m_loader.doSelectUnassigedFolder();
}

LoadCardViewController *showLoadCardWindow(QWidget *parent, VolumeMonitor *monitor, SerialQueue *copyQueue)
{
    static QPointer<LoadCardViewController> open;
    if (open) {
        open->showAgain();
        return open;
    }
    if (!monitor) {
        // One watcher of the mount table for the life of the process.
        static MountTableVolumeMonitor *mountTable = new MountTableVolumeMonitor();
        monitor = mountTable;
    }
    auto *window = new LoadCardViewController(*monitor, parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    // Before it shows: showing offers the card already inserted.
    window->loader().setCopyQueue(copyQueue);
    open = window;
    window->show();
    return window;
}

} // namespace sorrelby
