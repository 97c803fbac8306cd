#include "reassign/widgets/ReassignViewController.h"

#include "browser/Thumbnails.h"
#include "browser/widgets/Animations.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace sorrelby {

namespace {

const QString cClass = QStringLiteral("ReassignViewController");
constexpr int cImageSide = 900;

QPointer<ReassignViewController> g_open;

bool isEnter(const QKeyEvent *key)
{
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

} // namespace

QString frameToString(const QRect &frame)
{
    return QStringLiteral("{{%1, %2}, {%3, %4}}").arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height());
}

std::optional<QRect> frameFromString(const QString &text)
{
    static const QRegularExpression form(QStringLiteral(R"(^\s*\{\s*\{\s*(-?\d+(?:\.\d+)?)\s*,\s*(-?\d+(?:\.\d+)?)\s*\}\s*,)"
                                                        R"(\s*\{\s*(\d+(?:\.\d+)?)\s*,\s*(\d+(?:\.\d+)?)\s*\}\s*\}\s*$)"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QRect frame(qRound(match.captured(1).toDouble()), qRound(match.captured(2).toDouble()), qRound(match.captured(3).toDouble()),
                      qRound(match.captured(4).toDouble()));
    if (frame.width() < 1 || frame.height() < 1)
        return std::nullopt;
    return frame;
}

ReassignViewController::ReassignViewController(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("ReassignViewController"));
    setWindowTitle(tr("Reassign Photos"));
    buildLayout();
    showSession();

    connect(&m_session, &ReassignSession::stepStarted, this, [this] {
        setFieldAction(false);
        ibNSTextField->setEnabled(false);
        ibNSTextField->hide();
    });
    connect(&m_session, &ReassignSession::imageHidden, this, [this] { ibNSImageView->setVisible(false); });
    connect(&m_session, &ReassignSession::stepFinished, this, [this] {
        ibNSImageView->setVisible(true);
        ibNSTextField->setEnabled(true);
        ibNSTextField->show();
        ibNSTextField->setFocus(Qt::OtherFocusReason);
        setFieldAction(true);
        update();
    });
    connect(&m_session, &ReassignSession::fieldEmptied, this, [this] { ibNSTextField->clear(); });
    connect(&m_session, &ReassignSession::fieldTextSelectionRequested, this, [this] { ibNSTextField->selectAll(); });
    connect(&m_session, &ReassignSession::shakeRequested, this, [this](ReassignSession::ShakeTarget target, int count) {
        nodLeftRight(target == ReassignSession::ShakeTarget::Field ? static_cast<QWidget *>(ibNSTextField) : m_fieldBox, count);
    });
    connect(&m_session, &ReassignSession::unknownButtonHidden, this, [this](bool hidden) { ibAssignUnknownNSButon->setHidden(hidden); });
    connect(&m_session, &ReassignSession::autoDecodeStatusChanged, m_status, &QLabel::setText);
    connect(&m_session, &ReassignSession::reassignStarted, this, [this] {
        for (QPushButton *button : std::as_const(m_buttons))
            button->setEnabled(false);
        ibNSTextField->setEnabled(false);
    });
    connect(&m_session, &ReassignSession::closeRequested, this, [this] {
        saveFrame();
        done(QDialog::Accepted);
    });

    m_session.setSheetWindow(this);
    m_session.viewDidLoad();
    restoreFrame();
    m_saveFrame.setSingleShot(true);
    m_saveFrame.setInterval(500);
    connect(&m_saveFrame, &QTimer::timeout, this, &ReassignViewController::saveFrame);
    qApp->installEventFilter(this);
}

ReassignViewController::~ReassignViewController()
{
    qApp->removeEventFilter(this);
}

void ReassignViewController::buildLayout()
{
    auto makeButton = [this](const QString &name, const QString &title, void (ReassignViewController::*action)()) {
        auto *button = new QPushButton(title, this);
        button->setObjectName(name);
        // A scanner's Enter must never press a button, and the field must
        // keep the focus.
        button->setAutoDefault(false);
        button->setDefault(false);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QPushButton::clicked, this, action);
        m_buttons << button;
        return button;
    };

    m_prompt = new QLabel(this);
    m_prompt->setObjectName(QStringLiteral("promptLabel"));
    m_prompt->setAlignment(Qt::AlignCenter);
    QFont big = m_prompt->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    m_prompt->setFont(big);
    m_prompt2 = new QLabel(this);
    m_prompt2->setObjectName(QStringLiteral("promptLabel2"));
    m_prompt2->setAlignment(Qt::AlignCenter);

    ibNSImageView = new QLabel(this);
    ibNSImageView->setObjectName(QStringLiteral("ibNSImageView"));
    ibNSImageView->setAlignment(Qt::AlignCenter);
    ibNSImageView->setMinimumSize(360, 270);
    ibNSImageView->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    ibNSImageView->setStyleSheet(QStringLiteral("background: black; color: white;"));
    QSizePolicy keepSpace = ibNSImageView->sizePolicy();
    keepSpace.setRetainSizeWhenHidden(true);
    ibNSImageView->setSizePolicy(keepSpace);

    m_position = new QLabel(this);
    m_position->setObjectName(QStringLiteral("curIndexLabel"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("autoDecodeStatusLabel"));

    auto *navigation = new QHBoxLayout;
    navigation->addWidget(
        makeButton(QStringLiteral("beginningButton"), QStringLiteral("|<"), &ReassignViewController::doBeginningButtonAction));
    navigation->addWidget(makeButton(QStringLiteral("leftButton"), QStringLiteral("<"), &ReassignViewController::doLeftButtonAction));
    navigation->addStretch();
    navigation->addWidget(m_position);
    navigation->addStretch();
    navigation->addWidget(makeButton(QStringLiteral("rightButton"), QStringLiteral(">"), &ReassignViewController::doRightButtonAction));
    navigation->addWidget(makeButton(QStringLiteral("endButton"), QStringLiteral(">|"), &ReassignViewController::doEndButtonAction));

    m_fieldBox = new QWidget(this);
    m_fieldBox->setObjectName(QStringLiteral("codeFieldBox"));
    auto *fieldRow = new QHBoxLayout(m_fieldBox);
    fieldRow->setContentsMargins(0, 0, 0, 0);
    ibNSTextField = new QLineEdit(m_fieldBox);
    ibNSTextField->setObjectName(QStringLiteral("ibNSTextField"));
    ibNSTextField->setPlaceholderText(tr("Scan or type the code, then Enter"));
    ibNSTextField->setFont(big);
    QSizePolicy fieldSpace = ibNSTextField->sizePolicy();
    fieldSpace.setRetainSizeWhenHidden(true);
    ibNSTextField->setSizePolicy(fieldSpace);
    fieldRow->addWidget(ibNSTextField, 1);
    fieldRow->addWidget(makeButton(QStringLiteral("clearButton"), tr("Clear"), &ReassignViewController::doClearButton));
    setFieldAction(true);

    ibAssignUnknownNSButon = makeButton(QStringLiteral("unknownButton"), QString(), &ReassignViewController::doSetAsUnknownButton);
    m_reassignButton = makeButton(QStringLiteral("reassignButton"), tr("ReAssign"), &ReassignViewController::doReassign);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(ibAssignUnknownNSButon);
    bottom->addStretch();
    bottom->addWidget(m_status);
    bottom->addStretch();
    bottom->addWidget(makeButton(QStringLiteral("cancelButton"), tr("Cancel"), &ReassignViewController::doCancel));
    bottom->addWidget(m_reassignButton);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_prompt);
    layout->addWidget(m_prompt2);
    layout->addWidget(ibNSImageView, 1);
    layout->addLayout(navigation);
    layout->addWidget(m_fieldBox);
    layout->addLayout(bottom);
    resize(720, 640);
}

void ReassignViewController::showSession()
{
    // The controls show the session model; nothing goes through the settings.
    connect(&m_session, &ReassignSession::codeChanged, this, [this](const QString &code) {
        if (ibNSTextField->text() != code)
            ibNSTextField->setText(code);
    });
    connect(&m_session, &ReassignSession::promptsChanged, this, [this] {
        m_prompt->setText(m_session.prompt());
        m_prompt2->setText(m_session.lengthPrompt());
        m_prompt2->setVisible(m_session.checksLength());
        ibAssignUnknownNSButon->setText(m_session.unknownButtonTitle());
    });
    connect(&m_session, &ReassignSession::photoChanged, this, [this](int index, const QString &path) {
        m_position->setText(QString::number(index));
        showImage(path);
    });
}

void ReassignViewController::showImage(const QString &path)
{
    const quint64 generation = ++m_imageGeneration;
    if (path.isEmpty()) {
        ibNSImageView->clear();
        m_shownPath.clear();
        m_session.photoShown(path);
        return;
    }
    ibNSImageView->setText(tr("Loading..."));
    const QPointer<ReassignViewController> self(this);
    globalqueue::async([self, path, generation] {
        const QImage image = makeThumbnail(path, cImageSide);
        mainqueue::async([self, path, generation, image] {
            if (!self || generation != self->m_imageGeneration)
                return;
            if (image.isNull()) {
                self->ibNSImageView->setText(tr("Cannot show %1").arg(path));
            } else {
                const QSize box = self->ibNSImageView->size();
                self->ibNSImageView->setPixmap(QPixmap::fromImage(image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
            }
            self->m_shownPath = path;
            // The step that moved here is over once its photo is seen.
            self->m_session.photoShown(path);
        });
    });
}

void ReassignViewController::setFieldAction(bool connected)
{
    if (m_fieldAction)
        disconnect(m_fieldAction);
    m_fieldAction = {};
    if (connected)
        m_fieldAction = connect(ibNSTextField, &QLineEdit::returnPressed, this, &ReassignViewController::doTextFieldAction);
}

// ---- actions

void ReassignViewController::navigate(const QString &direction)
{
    m_session.doTextFieldActionNew3(ibNSTextField->text(), direction);
}

void ReassignViewController::doLeftButtonAction()
{
    navigate(QStringLiteral("left"));
}

void ReassignViewController::doRightButtonAction()
{
    navigate(QStringLiteral("right"));
}

void ReassignViewController::doBeginningButtonAction()
{
    navigate(QStringLiteral("leftend"));
}

void ReassignViewController::doEndButtonAction()
{
    navigate(QStringLiteral("rightend"));
}

void ReassignViewController::doTextFieldAction()
{
    navigate(QStringLiteral("right"));
}

void ReassignViewController::doReassign()
{
    // What is typed but not yet entered counts, as the scanner's Enter would.
    if (!m_session.isInsideAction && !m_session.isReassigning() && !m_session.doValidateTextField(ibNSTextField->text()))
        return;
    m_session.doReassign3();
}

void ReassignViewController::doSetAsUnknownButton()
{
    m_session.doSetAsUnknownButton();
}

void ReassignViewController::doClearButton()
{
    m_session.doClearButton();
    ibNSTextField->clear();
    setFieldAction(!m_session.isInsideAction);
}

void ReassignViewController::doCancel()
{
    logOp(cClass, u"doCancel(_:)");
    saveFrame();
    close();
}

void ReassignViewController::reject()
{
    // Escape and the window's close button: nothing is renamed.
    if (m_session.isReassigning())
        return;
    saveFrame();
    QDialog::reject();
}

// ---- keys

bool ReassignViewController::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || (widget != this && !isAncestorOf(widget)))
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    if (m_session.isInsideAction || m_session.isReassigning()) {
        // A scan that starts now is not taken, nor what is left of it once
        // the step is over: everything up to its Enter goes.
        if (isEnter(key))
            m_discardingScan = false;
        else if (!key->text().isEmpty())
            m_discardingScan = true;
        return true;
    }
    if (m_discardingScan) {
        if (isEnter(key))
            m_discardingScan = false;
        return true;
    }
    if (key->modifiers() & ~(Qt::KeypadModifier)) {
        return false;
    }
    switch (key->key()) {
    case Qt::Key_Left:
        doLeftButtonAction();
        return true;
    case Qt::Key_Right:
        doRightButtonAction();
        return true;
    case Qt::Key_Home:
        doBeginningButtonAction();
        return true;
    case Qt::Key_End:
        doEndButtonAction();
        return true;
    default:
        break;
    }
    // Only the field takes an Enter.
    return isEnter(key) && widget != ibNSTextField;
}

// ---- window

void ReassignViewController::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    ibNSTextField->setFocus(Qt::OtherFocusReason);
}

void ReassignViewController::hideEvent(QHideEvent *event)
{
    m_session.viewWillDisappear();
    setFieldAction(false);
    QDialog::hideEvent(event);
}

void ReassignViewController::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    if (isVisible())
        m_saveFrame.start();
}

void ReassignViewController::moveEvent(QMoveEvent *event)
{
    QDialog::moveEvent(event);
    if (isVisible())
        m_saveFrame.start();
}

void ReassignViewController::saveFrame()
{
    // The one thing the dialog keeps, and only when it changed.
    const QString frame = frameToString(geometry());
    if (Settings::shared().stringValue(cPrefReassignWindowFrame) != frame)
        Settings::shared().setValue(cPrefReassignWindowFrame, frame);
}

void ReassignViewController::restoreFrame()
{
    if (const std::optional<QRect> frame = frameFromString(Settings::shared().stringValue(cPrefReassignWindowFrame)))
        setGeometry(*frame);
}

ReassignViewController *showReassignWindow(QWidget *parent)
{
    if (g_open) {
        g_open->raise();
        g_open->activateWindow();
        return g_open;
    }
    auto *dialog = new ReassignViewController(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    g_open = dialog;
    dialog->show();
    return dialog;
}

} // namespace sorrelby
