#pragma once
// The progress dialog: window-modal over the browser, a thin window over
// CopyToMainFolderController, which follows the shoot engines and holds what
// is shown. The dialog only shows; closing it stops nothing. GUI thread.
//
// The browser's segue "dummyButtonSegue6" calls showCopyToMainFolderWindow().

#include "shoot/CopyToMainFolderController.h"

#include <QDialog>
#include <QPointer>

class QLabel;
class QProgressBar;
class QPushButton;

namespace sorrelby {

class CopyToMainFolderViewController : public QDialog {
    Q_OBJECT
public:
    // The controller must outlive the dialog.
    explicit CopyToMainFolderViewController(CopyToMainFolderController &controller, QWidget *parent = nullptr);
    ~CopyToMainFolderViewController() override;

    CopyToMainFolderController &controller() { return m_controller; }

public Q_SLOTS:
    void doButton1();
    // Escape: the one button, whatever it says.
    void reject() override;

private:
    void showState();

    CopyToMainFolderController &m_controller;
    QLabel *ibProgressTextField = nullptr;
    QLabel *m_itemTextField = nullptr;
    QLabel *m_countTextField = nullptr;
    QLabel *m_photoTextField = nullptr;
    QLabel *m_timeLeftTextField = nullptr;
    QProgressBar *ibProgressIndicator = nullptr;
    QProgressBar *ibProgressIndicatorBar = nullptr;
    QPushButton *ibButton1 = nullptr;
    bool m_dismissing = false;
};

// The segue's work: the dialog over parent showing `controller`, the one
// already open when there is one. GUI thread.
CopyToMainFolderViewController *showCopyToMainFolderWindow(QWidget *parent, CopyToMainFolderController &controller);

} // namespace sorrelby
