#include "app/MainWindow.h"

#include "browser/ViewController.h"
#include "browser/widgets/BrowserView.h"
#include "browser/widgets/SectionGridView.h"
#include "intake/widgets/LoadCardViewController.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "preferences/widgets/PreferencesViewController.h"
#include "reassign/widgets/PromptReassignModeViewController.h"
#include "reassign/widgets/ReassignViewController.h"
#include "roster/DeliveryReport.h"
#include "roster/RosterController.h"
#include "roster/widgets/RosterPanel.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"
#include "shoot/ShootEngine.h"
#include "shoot/widgets/CopyToMainFolderViewController.h"

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QProgressDialog>
#include <QUrl>
#include <QVBoxLayout>

namespace sorrelby {

namespace {

// Every size the build drew; empty where it could not draw them.
QIcon applicationIcon()
{
    QIcon icon;
    for (int size : {16, 32, 64, 256}) {
        const QString file = QStringLiteral(":/icons/sorrelby-%1.png").arg(size);
        if (QFile::exists(file))
            icon.addFile(file, QSize(size, size));
    }
    return icon;
}

QStringList localPaths(const QMimeData *mime)
{
    QStringList paths;
    if (!mime || !mime->hasUrls())
        return paths;
    for (const QUrl &url : mime->urls()) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    return paths;
}

// The margin around the browser, painted in the mode's colour and only
// there. Not set in the palette, and not painted under the browser: the tool
// bar draws no background of its own, so it would turn red with it.
class ModeFrame : public QWidget {
public:
    using QWidget::QWidget;
    QColor color = QColor(0xe6, 0xe6, 0xe6);
    QWidget *content = nullptr;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        QRegion margin(rect());
        if (content)
            margin -= QRegion(content->geometry());
        painter.setClipRegion(margin);
        painter.fillRect(rect(), color);
    }
};

} // namespace

MainWindow::MainWindow(QWidget *parent, SerialQueue *workQueue)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral(SORRELBY_BUNDLE_NAME));
    setWindowIcon(applicationIcon());
    resize(1180, 800);
    setAcceptDrops(true);

    m_workQueue = workQueue ? workQueue : &sharedWorkingQueue();
    if (workQueue) {
        ShootEngineOptions engineOptions;
        engineOptions.queue = workQueue;
        m_ownEngines = std::make_unique<ShootEngines>(engineOptions);
        m_engines = m_ownEngines.get();
    } else {
        m_engines = &ShootEngines::shared();
    }
    // Delivery at a pace the photographer can follow in the dialog.
    m_engines->setDeliveryPauseSeconds(0.1);
    m_progress = new CopyToMainFolderController(*m_engines, this);
    connect(m_progress, &CopyToMainFolderController::presentRequested, this, [this] { performSegue(QString(cSegueProgress)); });
    ViewControllerOptions options;
    options.workQueue = m_workQueue;
    options.engines = m_engines;
    // The coloured margin around the browser is what shows hot folder mode.
    auto *frame = new ModeFrame(this);
    frame->setObjectName(QStringLiteral("windowFrame"));
    auto *layout = new QVBoxLayout(frame);
    layout->setContentsMargins(8, 4, 8, 8);
    m_browser = new BrowserView(std::move(options), frame);
    layout->addWidget(m_browser);
    frame->content = m_browser;
    setCentralWidget(frame);
    connect(m_browser, &BrowserView::segueRequested, this, &MainWindow::performSegue);

    QMenu *file = menuBar()->addMenu(tr("&File"));
    m_loadNewCard = file->addAction(tr("Load New Card..."));
    m_loadNewCard->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    QAction *another = file->addAction(tr("Open Another Folder..."));
    another->setShortcut(QKeySequence::Open);
    connect(another, &QAction::triggered, this, &MainWindow::openAnotherFolder);
    m_preferences = file->addAction(tr("Preferences..."));
    m_preferences->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    m_preferences->setMenuRole(QAction::PreferencesRole);
    file->addSeparator();
    QAction *beforeQuit = file->addSeparator();
    m_quit = file->addAction(tr("Quit"));
    m_quit->setShortcut(QKeySequence::Quit);
    m_quit->setMenuRole(QAction::QuitRole);

    QMenu *edit = menuBar()->addMenu(tr("&Edit"));
    edit->addAction(m_browser->undoAction());
    edit->addAction(m_browser->redoAction());
    edit->addSeparator();
    m_selectAll = edit->addAction(tr("Select All"));
    m_selectAll->setShortcut(QKeySequence::SelectAll);
    QMenu *photos = menuBar()->addMenu(tr("&Photos"));
    for (QAction *action : m_browser->photoActions())
        photos->addAction(action);
    buildRoster(file, beforeQuit, menuBar()->addMenu(tr("&View")));

    if (const QByteArray frameState = Settings::shared().bytesValue(cPrefWindowAutoSave); !frameState.isEmpty())
        restoreGeometry(frameState);
    m_saveFrame.setSingleShot(true);
    m_saveFrame.setInterval(500);
    connect(&m_saveFrame, &QTimer::timeout, this, &MainWindow::saveFrame);

    const QPointer<MainWindow> self(this);
    m_hotFolderObserver = Settings::shared().observe(cPrefEnableHotFolderMode, [self](const QVariant &, const QVariant &) {
        mainqueue::after(0.1, [self] {
            if (self)
                self->myChangeColor();
        });
    });
    myChangeColor();
}

MainWindow::~MainWindow()
{
    Settings::shared().removeObserver(m_hotFolderObserver);
}

void MainWindow::startBrowser()
{
    m_browser->start();
}

QColor MainWindow::backgroundColor() const
{
    return static_cast<ModeFrame *>(centralWidget())->color;
}

void MainWindow::myChangeColor()
{
    const bool hot = Settings::shared().boolValue(cPrefEnableHotFolderMode);
    auto *frame = static_cast<ModeFrame *>(centralWidget());
    frame->color = hot ? QColor(Qt::red) : QColor(0xe6, 0xe6, 0xe6);
    frame->update();
}

void MainWindow::returnFocusAfter(QWidget *dialog)
{
    if (!dialog || dialog->property("sorrelbyReturnsFocus").toBool())
        return;
    dialog->setProperty("sorrelbyReturnsFocus", true);
    dialog->installEventFilter(this);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Keys go back to the photos once a dialog is gone, whichever way it went.
    if (event->type() == QEvent::Hide && watched->property("sorrelbyReturnsFocus").toBool()) {
        const QPointer<MainWindow> self(this);
        QTimer::singleShot(0, this, [self] {
            if (self && !QApplication::activeModalWidget()) {
                self->activateWindow();
                self->m_browser->grid()->setFocus(Qt::OtherFocusReason);
            }
        });
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::performSegue(const QString &identifier)
{
    if (identifier == cSegueLoadCard) {
        // On the engines' queue, a copy never overlaps an operation on the
        // folder it goes into; with decoding after copying on, the engine of
        // that folder decodes it once its turn comes.
        LoadCardViewController *card = showLoadCardWindow(this, m_volumeMonitor, &m_engines->queue());
        returnFocusAfter(card);
        card->loader().setDecodeAfterCopy([engines = m_engines](const QString &folder) { engines->forFolder(folder).revertAndDecode(); });
        return;
    }
    if (identifier == cSeguePreferences) {
        returnFocusAfter(showPreferencesWindow(this));
        return;
    }
    if (identifier == cSegueReassign) {
        returnFocusAfter(showReassignWindow(this));
        return;
    }
    if (identifier == cSegueReassignPrompt) {
        returnFocusAfter(showReassignModePrompt(this));
        return;
    }
    if (identifier == cSegueProgress) {
        returnFocusAfter(showCopyToMainFolderWindow(this, *m_progress));
        return;
    }
    // Each dialog's own issue wires it in here.
    logOp(u"MainWindow", u"performSegue(withIdentifier:sender:)",
          QString(identifier + QStringLiteral(": no dialog for it yet, nothing opened")));
}

void MainWindow::openAnotherFolder()
{
    auto *panel = new QFileDialog(this, tr("Please Select Another Folder"));
    panel->setFileMode(QFileDialog::Directory);
    panel->setOption(QFileDialog::ShowDirsOnly);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    connect(panel, &QFileDialog::fileSelected, this, [this](const QString &folder) {
        if (!folder.isEmpty())
            m_browser->controller()->loadDataForNewFolderWithUrl(folder);
    });
    panel->open();
}

// ---- class lists

namespace {

void chooseWithPanel(QWidget *parent, const FileChoice &choice, std::function<void(std::optional<QString>)> done)
{
    auto *panel = new QFileDialog(parent, choice.title, choice.directory);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setNameFilters(choice.nameFilters);
    if (choice.save) {
        panel->setAcceptMode(QFileDialog::AcceptSave);
        panel->selectFile(choice.defaultName);
    } else {
        panel->setFileMode(QFileDialog::ExistingFile);
    }
    QObject::connect(panel, &QFileDialog::finished, panel, [panel, done](int result) {
        const QStringList chosen = panel->selectedFiles();
        done(result == QDialog::Accepted && !chosen.isEmpty() ? std::optional<QString>(chosen.first()) : std::nullopt);
    });
    panel->open();
}

} // namespace

void MainWindow::buildRoster(QMenu *file, QAction *before, QMenu *view)
{
    m_chooser = chooseWithPanel;
    m_roster = new RosterController(Settings::shared(), this);
    m_reporter = new DeliveryReporter(*m_engines, Settings::shared(), this);
    m_rosterPanel = new RosterPanel(*m_roster, *m_browser, this);
    addDockWidget(Qt::RightDockWidgetArea, m_rosterPanel);
    // Out of the way of photographers who work without class lists; it comes
    // up when a roster is opened, and stays as the user leaves it after that.
    m_rosterPanel->hide();

    file->insertSeparator(before);
    m_openRoster = new QAction(tr("Open Roster..."), this);
    m_openRoster->setObjectName(QStringLiteral("openRoster"));
    connect(m_openRoster, &QAction::triggered, this, &MainWindow::doOpenRoster);
    file->insertAction(before, m_openRoster);
    m_exportReport = new QAction(tr("Export Report..."), this);
    file->insertAction(before, m_exportReport);
    m_exportReport->setObjectName(QStringLiteral("exportReport"));
    connect(m_exportReport, &QAction::triggered, this, &MainWindow::doExportReport);
    QAction *showPanel = m_rosterPanel->toggleViewAction();
    showPanel->setObjectName(QStringLiteral("showRosterPanel"));
    showPanel->setText(tr("Roster Panel"));
    showPanel->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    view->addAction(showPanel);

    ViewController *controller = m_browser->controller();
    connect(controller, &ViewController::reloaded, this, [this, controller] {
        m_roster->setFolder(controller->pathtophotos);
        m_roster->update(controller->model()->sharedLoader());
    });
    connect(m_roster, &RosterController::updated, this, [this] {
        if (const std::shared_ptr<const RosterSnapshot> snapshot = m_roster->snapshot())
            m_browser->controller()->model()->setSubjectLabels(snapshot->subjectLabels);
        if (m_roster->rosterPath() != m_rosterShown) {
            m_rosterShown = m_roster->rosterPath();
            if (!m_rosterShown.isEmpty())
                m_rosterPanel->show();
        }
    });
    connect(m_roster, &RosterController::rosterRefused, this, [this](const QString &path, const QStringList &problems) {
        Alert alert;
        alert.messageText = QStringLiteral("!!! Unable to Use the Class List !!!");
        alert.informativeText = QStringLiteral("\n") + path + QStringLiteral(":\n\n") + problems.join(u'\n') + QStringLiteral("\n");
        AlertPresenter::shared().beginSheet(alert, this, {});
    });
    m_browser->setDeliveryGate([this](std::function<void()> proceed) { askBeforeDelivery(std::move(proceed)); });
}

void MainWindow::askBeforeDelivery(std::function<void()> proceed)
{
    const std::shared_ptr<const RosterSnapshot> snapshot = m_roster->snapshot();
    const std::optional<Alert> question = snapshot ? deliveryQuestion(*snapshot) : std::nullopt;
    if (!question) {
        proceed();
        return;
    }
    AlertPresenter::shared().beginSheet(*question, this, [proceed](AlertAnswer answer) {
        if (answer == 1)
            proceed();
    });
}

void MainWindow::doOpenRoster()
{
    FileChoice choice;
    choice.title = tr("Open Roster");
    choice.nameFilters = {tr("Class lists (*.csv *.CSV)"), tr("All files (*)")};
    choice.directory = m_browser->controller()->pathtophotos;
    const QPointer<MainWindow> self(this);
    m_chooser(this, choice, [self](std::optional<QString> path) {
        if (self && path)
            self->m_roster->openRoster(*path);
    });
}

void MainWindow::doExportReport()
{
    if (m_roster->isExporting())
        return;
    FileChoice choice;
    choice.title = tr("Export Report");
    choice.save = true;
    choice.nameFilters = {tr("CSV (*.csv)"), tr("JSON (*.json)"), tr("Web pages, a folder (*.html)")};
    const QString folder = m_browser->controller()->pathtophotos;
    // Beside the source folder, never in it: everything in there is taken for a photo.
    choice.directory = QFileInfo(folder).path();
    choice.defaultName = QFileInfo(folder).fileName() + QStringLiteral("-report.csv");
    const QPointer<MainWindow> self(this);
    m_chooser(this, choice, [self](std::optional<QString> chosen) {
        if (!self || !chosen)
            return;
        const QFileInfo info(*chosen);
        const ReportFormat format = reportFormatNamed(info.suffix()).value_or(ReportFormat::Csv);
        QString target = *chosen;
        if (format == ReportFormat::Html)
            target = info.path() + u'/' + info.completeBaseName(); // the pages go into a folder of that name
        else if (!reportFormatNamed(info.suffix()))
            target += QStringLiteral(".csv");
        auto *progress = new QProgressDialog(tr("Writing the report..."), QString(), 0, 0, self);
        progress->setObjectName(QStringLiteral("exportProgress"));
        progress->setAttribute(Qt::WA_DeleteOnClose);
        progress->setMinimumDuration(300);
        progress->setAutoClose(false);
        progress->setAutoReset(false);
        const QPointer<QProgressDialog> bar(progress);
        connect(self->m_roster, &RosterController::exportProgressed, progress, [bar](int done, int total) {
            if (bar) {
                bar->setMaximum(total);
                bar->setValue(done);
            }
        });
        connect(self->m_roster, &RosterController::exportFinished, progress, [self, bar](const ReportExportResult &result) {
            if (bar)
                bar->close();
            if (!self)
                return;
            Alert alert;
            alert.style = result.ok ? AlertStyle::Informational : AlertStyle::Critical;
            alert.messageText = result.ok ? QStringLiteral("Report Written") : QStringLiteral("!!! Report NOT Written !!!");
            alert.informativeText = QStringLiteral("\n") + (result.ok ? result.path : result.error) + QStringLiteral("\n");
            AlertPresenter::shared().beginSheet(alert, self, {});
        });
        if (!self->m_roster->exportReport(format, target))
            progress->close();
    });
}

void MainWindow::saveFrame()
{
    Settings::shared().setValue(cPrefWindowAutoSave, saveGeometry());
}

void MainWindow::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    if (isVisible())
        m_saveFrame.start();
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (isVisible())
        m_saveFrame.start();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    saveFrame();
    QMainWindow::closeEvent(event);
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (!localPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QStringList paths = localPaths(event->mimeData());
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    Q_EMIT filesDropped(paths);
}

} // namespace sorrelby
