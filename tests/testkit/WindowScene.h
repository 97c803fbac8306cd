#pragma once
// The application and its main window as main() makes them, shown offscreen
// on a fake volume monitor and a work queue of the test's own: the scene of
// the tests that drive the real window through a road.

#include "app/AppDelegate.h"
#include "app/MainWindow.h"
#include "tests/testkit/TestEnvironment.h"

#include <QSize>

namespace sorrelby::testkit {

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
