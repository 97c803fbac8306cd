#include "platform/widgets/QtAlertPresenter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <memory>

namespace sorrelby {

namespace {

QMessageBox::Icon iconFor(AlertStyle style)
{
    switch (style) {
    case AlertStyle::Informational:
        return QMessageBox::Information;
    case AlertStyle::Warning:
        return QMessageBox::Warning;
    case AlertStyle::Critical:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

bool isCancel(const QString &title)
{
    QString plain = title;
    plain.remove(QLatin1Char('&'));
    return plain.compare(QLatin1String("Cancel"), Qt::CaseInsensitive) == 0;
}

// Fills the box; the returned list maps each button back to its index.
std::vector<QAbstractButton *> setUp(QMessageBox &box, const Alert &alert)
{
    box.setIcon(iconFor(alert.style));
    box.setWindowTitle(QStringLiteral(SORRELBY_BUNDLE_NAME));
    box.setText(alert.messageText);
    box.setInformativeText(alert.informativeText);
    const QStringList titles = alert.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : alert.buttons;
    std::vector<QAbstractButton *> buttons;
    QAbstractButton *escape = nullptr;
    for (qsizetype i = 0; i < titles.size(); ++i) {
        // The first button is the default one, as on the alert's home platform.
        const QMessageBox::ButtonRole role = i == 0 ? QMessageBox::AcceptRole
            : isCancel(titles[i])                   ? QMessageBox::RejectRole
                                                    : QMessageBox::ActionRole;
        QPushButton *button = box.addButton(titles[i], role);
        if (i == 0)
            box.setDefaultButton(button);
        if (role == QMessageBox::RejectRole && !escape)
            escape = button;
        buttons.push_back(button);
    }
    if (!escape && buttons.size() == 1)
        escape = buttons.front();
    if (escape)
        box.setEscapeButton(escape);
    return buttons;
}

AlertAnswer answerOf(const QMessageBox &box, const std::vector<QAbstractButton *> &buttons)
{
    QAbstractButton *pressed = box.clickedButton();
    if (!pressed)
        pressed = box.escapeButton();
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (buttons[i] == pressed)
            return AlertAnswer(i);
    }
    return 0;
}

} // namespace

AlertAnswer QtAlertPresenter::runModal(const Alert &alert)
{
    QMessageBox box(QApplication::activeWindow());
    const auto buttons = setUp(box, alert);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    return answerOf(box, buttons);
}

void QtAlertPresenter::beginSheet(const Alert &alert, QObject *window, std::function<void(AlertAnswer)> done)
{
    auto *parent = qobject_cast<QWidget *>(window);
    auto *box = new QMessageBox(parent ? parent->window() : nullptr);
    box->setAttribute(Qt::WA_DeleteOnClose);
    auto buttons = std::make_shared<std::vector<QAbstractButton *>>(setUp(*box, alert));
    QObject::connect(box, &QMessageBox::finished, box, [box, buttons, done = std::move(done)](int) {
        if (done)
            done(answerOf(*box, *buttons));
    });
    if (alert.autoDismissSeconds > 0) {
        QAbstractButton *first = buttons->front();
        QTimer::singleShot(int(alert.autoDismissSeconds * 1000), box, [first] { first->click(); });
    }
    if (parent)
        box->open(); // window-modal on the parent's window
    else
        box->show();
}

} // namespace sorrelby
