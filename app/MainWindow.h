#pragma once
// The main window. Until the browser lands it is an empty shell with the menu.

#include <QMainWindow>

namespace sorrelby {

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
};

} // namespace sorrelby
