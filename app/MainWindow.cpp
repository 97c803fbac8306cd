#include "app/MainWindow.h"

namespace sorrelby {

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral(SORRELBY_BUNDLE_NAME));
    resize(1024, 720);
}

} // namespace sorrelby
