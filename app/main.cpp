// vemo-sorrelby-window: the window's program. vemo-sorrelby hands over to it
// when the arguments ask for no command.

#include "app/AppDelegate.h"
#include "app/MainWindow.h"
#include "cli/CommandLine.h"
#include "hotfolder/HotFolderMonitorFactory.h"
#include "imaging/PhotoMetadata.h"
#include "platform/AlertPresenter.h"
#include "platform/widgets/DesktopFileRevealer.h"
#include "platform/widgets/QtAlertPresenter.h"
#include "support/LogFile.h"

#include <QApplication>

#include <cstdlib>
#include <memory>
#include <vector>

namespace {

const char *const cNoDisplay = SORRELBY_EXECUTABLE ": no display to open the window on; the commands work without one (see --help)";

bool mayHaveDisplay()
{
    return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsSet("DISPLAY")
        || qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
}

QtMessageHandler g_logHandler = nullptr;
struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};
std::vector<HeldMessage> g_heldMessages;

// Qt aborts (with a core dump) when the display named cannot be reached,
// after several lines about plugins; one line of ours says it instead. What
// Qt says while the display is being opened is held back until it is open.
void startupMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg) {
        sorrelby::cli::printErr(QString::fromUtf8(cNoDisplay));
        std::_Exit(1);
    }
    g_heldMessages.push_back({type, QByteArray(context.category ? context.category : "default"), message});
}

void replayHeldMessages()
{
    for (const HeldMessage &held : g_heldMessages)
        g_logHandler(held.type, QMessageLogContext(nullptr, 0, nullptr, held.category.constData()), held.text);
    g_heldMessages.clear();
}

} // namespace

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const sorrelby::cli::Invocation invocation = sorrelby::cli::parseInvocation(arguments);
    if (invocation.kind != sorrelby::cli::Invocation::Window) {
        sorrelby::cli::printErr(QStringLiteral(SORRELBY_WINDOW_EXECUTABLE
                                               ": the window's program; commands, help and the version are " SORRELBY_EXECUTABLE "'s"));
        return sorrelby::cli::kExitUsage;
    }

    if (!mayHaveDisplay()) {
        sorrelby::cli::printErr(QString::fromUtf8(cNoDisplay));
        return 1;
    }
    sorrelby::installLogMessageHandler();
    g_logHandler = qInstallMessageHandler(startupMessageHandler);
    QApplication app(argc, argv);
    qInstallMessageHandler(g_logHandler);
    replayHeldMessages();
    QApplication::setOrganizationName(QStringLiteral("Vemo"));
    QApplication::setApplicationName(QStringLiteral(SORRELBY_BUNDLE_NAME));
    QApplication::setApplicationVersion(QStringLiteral(SORRELBY_VERSION));
    // Wayland desktops match the window to the installed desktop entry by this.
    QGuiApplication::setDesktopFileName(QStringLiteral(SORRELBY_BUNDLE_ID));
    QApplication::setQuitOnLastWindowClosed(true);
    // Before any worker thread touches photo metadata.
    sorrelby::initializeMetadataLibrary();

    // Without a screen nobody could answer an alert: they are then logged and
    // answered with their first button.
    std::unique_ptr<sorrelby::QtAlertPresenter> presenter;
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal")) {
        presenter = std::make_unique<sorrelby::QtAlertPresenter>();
        sorrelby::AlertPresenter::setShared(presenter.get());
    }
    sorrelby::DesktopFileRevealer revealer;
    sorrelby::FileRevealer::setShared(&revealer);

    int status = 0;
    {
        sorrelby::AppDelegateOptions options;
        options.monitorFactory = sorrelby::makeHotFolderMonitorFactory();
        options.watchdog = true;
        sorrelby::AppDelegate delegate(std::move(options));
        if (delegate.isRefused()) {
            sorrelby::AlertPresenter::setShared(nullptr);
            sorrelby::FileRevealer::setShared(nullptr);
            return 0;
        }
        sorrelby::MainWindow window;
        delegate.setMainWindow(&window);
        delegate.applicationWillFinishLaunching();
        window.show();
        window.startBrowser();
        delegate.applicationDidFinishLaunching();
        delegate.openFiles(invocation.folders);
        status = app.exec();
    }
    sorrelby::AlertPresenter::setShared(nullptr);
    sorrelby::FileRevealer::setShared(nullptr);
    return status;
}
