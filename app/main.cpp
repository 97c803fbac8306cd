// vemo-sorrelby: command-line requests run without a display; everything else
// opens the window.

#include "app/AppDelegate.h"
#include "app/HotFolderMonitorFactory.h"
#include "app/MainWindow.h"
#include "app/cli/CommandLine.h"
#include "imaging/PhotoMetadata.h"
#include "platform/AlertPresenter.h"
#include "platform/widgets/QtAlertPresenter.h"
#include "support/LogFile.h"

#include <QApplication>

#include <memory>

namespace {

// Folders named on the command line (options such as "--autorelaunched" are
// not folders).
QStringList folderArguments(const QStringList &arguments)
{
    QStringList folders;
    for (const QString &argument : arguments.mid(1)) {
        if (!argument.startsWith(QLatin1Char('-')))
            folders << argument;
    }
    return folders;
}

} // namespace

int main(int argc, char **argv)
{
    if (const auto status = sorrelby::cli::runIfCommandLine(argc, argv))
        return *status;

    sorrelby::installLogMessageHandler();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Vemo"));
    QApplication::setApplicationName(QStringLiteral(SORRELBY_BUNDLE_NAME));
    QApplication::setApplicationVersion(QStringLiteral(SORRELBY_VERSION));
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

    int status = 0;
    {
        sorrelby::AppDelegateOptions options;
        options.monitorFactory = sorrelby::makeHotFolderMonitorFactory();
        sorrelby::AppDelegate delegate(std::move(options));
        if (delegate.isRefused()) {
            sorrelby::AlertPresenter::setShared(nullptr);
            return 0;
        }
        sorrelby::MainWindow window;
        delegate.setMainWindow(&window);
        delegate.applicationWillFinishLaunching();
        window.show();
        delegate.applicationDidFinishLaunching();
        delegate.openFiles(folderArguments(QCoreApplication::arguments()));
        status = app.exec();
    }
    sorrelby::AlertPresenter::setShared(nullptr);
    return status;
}
