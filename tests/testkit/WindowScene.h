#pragma once
// The application and its main window as main() makes them, shown offscreen
// on a fake volume monitor and a work queue of the test's own: the scene of
// the tests that drive the real window through a road.

#include "app/AppDelegate.h"
#include "app/MainWindow.h"
#include "browser/SectionItemModel.h"
#include "browser/ViewController.h"
#include "tests/testkit/TestEnvironment.h"

#include <QSize>

namespace sorrelby::testkit {

// The section whose header names `code`; -1 when none does.
inline int sectionOfCode(const ViewController &controller, const QString &code)
{
    const SectionItemModel *model = controller.model();
    for (int s = 0; s < model->sectionCount(); ++s) {
        if (model->index(model->headerRow(s)).data().toString().endsWith(QStringLiteral(" = ") + code))
            return s;
    }
    return -1;
}

struct WindowScene {
    WindowScene(SerialQueue &workQueue, VolumeMonitor &monitor, const QSize &size = {})
        : app(options())
        , window(nullptr, &workQueue)
    {
        if (size.isValid())
            window.resize(size);
        window.setVolumeMonitor(&monitor);
        app.setMainWindow(&window);
        window.show();
        window.startBrowser();
    }

    static AppDelegate::Options options()
    {
        AppDelegate::Options o;
        o.routeLog = false;
        o.instanceFolder = makeTempFolder(QStringLiteral("instance"));
        o.terminate = [] {};
        return o;
    }

    AppDelegate app;
    MainWindow window;
};

} // namespace sorrelby::testkit
