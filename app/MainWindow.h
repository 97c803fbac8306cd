#pragma once
// The main window. Until the browser lands it is an empty shell with the
// menu. Its menu commands and the folders dropped on it are handed to the
// application object, which connects to the actions and to filesDropped.

#include <QMainWindow>

class QAction;

namespace sorrelby {

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);

    QAction *loadNewCardAction() const { return m_loadNewCard; }
    QAction *preferencesAction() const { return m_preferences; }
    QAction *selectAllAction() const { return m_selectAll; }
    QAction *quitAction() const { return m_quit; }

Q_SIGNALS:
    // Local files or folders dropped on the window.
    void filesDropped(const QStringList &paths);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QAction *m_loadNewCard = nullptr;
    QAction *m_preferences = nullptr;
    QAction *m_selectAll = nullptr;
    QAction *m_quit = nullptr;
};

} // namespace sorrelby
