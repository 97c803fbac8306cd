#include "shoot/widgets/CopyToMainFolderViewController.h"

#include "platform/Log.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace sorrelby {

namespace {

QPointer<CopyToMainFolderViewController> g_open;

} // namespace

CopyToMainFolderViewController::CopyToMainFolderViewController(CopyToMainFolderController &controller, QWidget *parent)
    : QDialog(parent)
    , m_controller(controller)
{
    setObjectName(QStringLiteral("CopyToMainFolderViewController"));
    setWindowTitle(QStringLiteral("Processing..."));
    setWindowModality(Qt::WindowModal);

    ibProgressTextField = new QLabel(this);
    ibProgressTextField->setObjectName(QStringLiteral("ibProgressTextField"));
    ibProgressTextField->setWordWrap(true);
    ibProgressTextField->setMinimumWidth(460);
    ibProgressTextField->setMinimumHeight(64);
    ibProgressTextField->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ibProgressTextField->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_itemTextField = new QLabel(this);
    m_itemTextField->setObjectName(QStringLiteral("fProgressItemString"));
    m_countTextField = new QLabel(this);
    m_countTextField->setObjectName(QStringLiteral("fCountString"));
    m_photoTextField = new QLabel(this);
    m_photoTextField->setObjectName(QStringLiteral("fPhotoInHand"));
    m_photoTextField->setTextFormat(Qt::PlainText);
    // A long name must not widen the dialog with every photo.
    m_photoTextField->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_timeLeftTextField = new QLabel(this);
    m_timeLeftTextField->setObjectName(QStringLiteral("fTimeLeftString"));
    m_timeLeftTextField->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ibProgressIndicator = new QProgressBar(this);
    ibProgressIndicator->setObjectName(QStringLiteral("ibProgressIndicator"));
    ibProgressIndicator->setRange(0, 0);
    ibProgressIndicator->setTextVisible(false);
    ibProgressIndicator->setMaximumHeight(8);
    ibProgressIndicatorBar = new QProgressBar(this);
    ibProgressIndicatorBar->setObjectName(QStringLiteral("ibProgressIndicatorBar"));
    ibProgressIndicatorBar->setFormat(QStringLiteral("%v of %m"));
    ibButton1 = new QPushButton(this);
    ibButton1->setObjectName(QStringLiteral("ibButton1"));
    ibButton1->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ibButton1);
    auto *where = new QHBoxLayout;
    where->addWidget(m_countTextField);
    where->addWidget(m_photoTextField, 1);
    where->addWidget(m_timeLeftTextField);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(ibProgressTextField);
    layout->addWidget(m_itemTextField);
    layout->addWidget(ibProgressIndicator);
    layout->addWidget(ibProgressIndicatorBar);
    layout->addLayout(where);
    layout->addLayout(buttons);

    connect(ibButton1, &QPushButton::clicked, this, &CopyToMainFolderViewController::doButton1);
    connect(&m_controller, &CopyToMainFolderController::changed, this, &CopyToMainFolderViewController::showState);
    connect(&m_controller, &CopyToMainFolderController::dismissRequested, this, [this] {
        m_dismissing = true;
        close();
    });
    m_controller.setSheetWindow(this);
    showState();
}

CopyToMainFolderViewController::~CopyToMainFolderViewController() = default;

void CopyToMainFolderViewController::showState()
{
    const CopyToMainFolderController &c = m_controller;
    ibProgressTextField->setText(c.fProgressString);
    m_itemTextField->setText(c.fProgressItemString);
    m_itemTextField->setVisible(!c.fProgressItemString.isEmpty());
    m_countTextField->setText(c.fCountString);
    m_photoTextField->setText(c.fPhotoInHand);
    m_timeLeftTextField->setText(c.fTimeLeftString);
    ibProgressIndicator->setVisible(c.busy);
    ibProgressIndicatorBar->setVisible(c.barVisible);
    ibProgressIndicatorBar->setRange(0, std::max(c.fMaxItemsToProcess, 1));
    ibProgressIndicatorBar->setValue(std::min(c.fItemsProcessed, std::max(c.fMaxItemsToProcess, 1)));
    ibButton1->setText(c.buttonTitle);
    ibButton1->setEnabled(c.buttonEnabled);
}

void CopyToMainFolderViewController::doButton1()
{
    m_controller.doButton1(ibButton1->text());
}

void CopyToMainFolderViewController::reject()
{
    // Closing the window goes through here too.
    if (m_dismissing)
        QDialog::reject();
    else
        doButton1();
}

CopyToMainFolderViewController *showCopyToMainFolderWindow(QWidget *parent, CopyToMainFolderController &controller)
{
    if (g_open && g_open->isVisible()) {
        g_open->raise();
        return g_open;
    }
    auto *dialog = new CopyToMainFolderViewController(controller, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    g_open = dialog;
    dialog->show();
    return dialog;
}

} // namespace sorrelby
