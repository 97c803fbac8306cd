#include "relaunch/SetQuitRelaunchViewController.h"

#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "relaunch/Relaunch.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>

namespace sorrelby {

namespace {

const QString cClass = QStringLiteral("SetQuitRelaunchViewController");

void note(QStringView operation, const QString &detail = {})
{
    logOp(cClass, operation, detail);
}

} // namespace

SetQuitRelaunchViewController::SetQuitRelaunchViewController(std::function<QDateTime()> clock, QWidget *parent)
    : QDialog(parent)
    , fClock(std::move(clock))
{
    setObjectName(QStringLiteral("setQuitRelaunchDialog"));
    setWindowTitle(tr("Daily Quit and Relaunch"));
    setWindowModality(Qt::WindowModal);

    fTimeEdit = new QTimeEdit(this);
    fTimeEdit->setObjectName(QStringLiteral("relaunchTimeEdit"));
    fTimeEdit->setDisplayFormat(QStringLiteral("HH:mm"));
    fStatusLabel = new QLabel(this);
    fStatusLabel->setObjectName(QStringLiteral("statusLabel"));
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *save = buttons->addButton(tr("Save"), QDialogButtonBox::AcceptRole);
    save->setObjectName(QStringLiteral("saveButton"));
    save->setDefault(true);
    QPushButton *reset = buttons->addButton(tr("Reset to Factory"), QDialogButtonBox::ResetRole);
    reset->setObjectName(QStringLiteral("resetToFactoryButton"));
    QPushButton *cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Quit and relaunch every day at:"), this));
    layout->addWidget(fTimeEdit);
    layout->addWidget(fStatusLabel);
    layout->addWidget(buttons);

    connect(save, &QPushButton::clicked, this, &SetQuitRelaunchViewController::ibSaveButton);
    connect(reset, &QPushButton::clicked, this, &SetQuitRelaunchViewController::ibResetToFactory);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(fTimeEdit, &QTimeEdit::timeChanged, this, [](QTime time) {
        Settings &settings = Settings::shared();
        // Only a change by the user is written back.
        if (settings.dateValue(cPrefTempDailyRelaunchTime).time() != time)
            settings.setValue(cPrefTempDailyRelaunchTime, QDateTime(QDate::currentDate(), time));
    });

    Settings &settings = Settings::shared();
    const QString op = QStringLiteral("viewDidLoad()");
    note(op, QString(cPrefDailyRelaunchTime) + QStringLiteral(" is: ") + settings.dateValue(cPrefDailyRelaunchTime).toString(Qt::ISODate));
    note(op,
         QString(cPrefDailyScheduledTime2) + QStringLiteral(" is: ") + settings.dateValue(cPrefDailyScheduledTime2).toString(Qt::ISODate));
    const QVariant scheduled = settings.value(cPrefDailyScheduledTime2);
    if (scheduled.isValid())
        settings.setValue(cPrefTempDailyRelaunchTime, scheduled);
    const QPointer<SetQuitRelaunchViewController> self(this);
    fObserverToken = settings.observe(cPrefTempDailyRelaunchTime, [self](const QVariant &, const QVariant &) {
        mainqueue::async([self] {
            if (self)
                self->showTempTime();
        });
    });
    showTempTime();
    QTimer::singleShot(0, this, [this] { fTimeEdit->setFocus(); });
}

SetQuitRelaunchViewController::~SetQuitRelaunchViewController()
{
    Settings::shared().removeObserver(fObserverToken);
}

void SetQuitRelaunchViewController::showTempTime()
{
    const QDateTime temp = Settings::shared().dateValue(cPrefTempDailyRelaunchTime);
    if (temp.isValid() && fTimeEdit->time() != temp.time()) {
        const QSignalBlocker blocker(fTimeEdit);
        fTimeEdit->setTime(temp.time());
    }
    updateTempNextTriggerDateString();
}

void SetQuitRelaunchViewController::updateTempNextTriggerDateString()
{
    const QDateTime temp = Settings::shared().dateValue(cPrefTempDailyRelaunchTime);
    const QDateTime next = Relaunch::convertToNextLaunchCtlDate2(temp, fClock());
    fStatusString = QStringLiteral("Next Startup Date will be set to:\n") + (next.isValid() ? Relaunch::displayString(next) : QString());
    fStatusLabel->setText(fStatusString);
}

void SetQuitRelaunchViewController::ibSaveButton()
{
    Settings &settings = Settings::shared();
    const QDateTime time = QDateTime(QDate::currentDate(), fTimeEdit->time());
    note(u"ibSaveButton(_:)", QStringLiteral("saving out new scheduled date to: ") + time.toString(Qt::ISODate));
    // The scheduled time first: the change of the relaunch time re-arms the
    // timer from it.
    settings.setValue(cPrefDailyScheduledTime2, time);
    settings.setValue(cPrefDailyRelaunchTime, time);
    accept();
}

void SetQuitRelaunchViewController::ibResetToFactory()
{
    note(u"ibResetToFactory(_:)");
    Settings &settings = Settings::shared();
    settings.setValue(cPrefTempDailyRelaunchTime, settings.value(cPrefDailyRelaunchTimeFactory));
}

} // namespace sorrelby
