#pragma once
// The delivery and decode progress dialog: window-modal over the browser, a
// thin window over CopyToMainFolderController, which runs the work and holds
// what is shown. GUI thread.
//
// The browser's segue "dummyButtonSegue6" calls showCopyToMainFolderWindow().

#include "delivery/CopyToMainFolderController.h"

#include <QDialog>
#include <QPointer>

class QLabel;
class QProgressBar;
class QPushButton;

namespace sorrelby {

class CopyToMainFolderViewController : public QDialog {
    Q_OBJECT
public:
    explicit CopyToMainFolderViewController(CopyToMainFolderOptions options, QWidget *parent = nullptr);
    ~CopyToMainFolderViewController() override;

    CopyToMainFolderController &controller() { return m_controller; }

public Q_SLOTS:
    void doButton1();
    // Escape: the one button, whatever it says.
    void reject() override;

protected:
    void hideEvent(QHideEvent *event) override;

private:
    void showState();

    CopyToMainFolderController m_controller;
    QLabel *ibProgressTextField = nullptr;
    QLabel *m_itemTextField = nullptr;
    QProgressBar *ibProgressIndicator = nullptr;
    QProgressBar *ibProgressIndicatorBar = nullptr;
    QPushButton *ibButton1 = nullptr;
    bool m_dismissing = false;
};

// The segue's work: the dialog over parent, the one already open when there
// is one (two would both answer the same request). GUI thread.
CopyToMainFolderViewController *showCopyToMainFolderWindow(QWidget *parent, SerialQueue *workQueue);

// A prepared delivery run here, on the work queue, shown in the dialog over
// parent (opened when needed): the hot folder delivery of the window.
DeliveryRunResult deliverInCopyToMainFolderWindow(const QPointer<QWidget> &parent, SerialQueue *workQueue, DeliveryRun &run);

} // namespace sorrelby
