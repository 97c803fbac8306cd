#pragma once
// The relaunch time dialog: the user picks the time of day of the daily
// quit and relaunch and sees, while editing, the date it would next happen.
// The time being edited lives in cPrefTempDailyRelaunchTime; Save stores it
// as the relaunch time (the application object then re-arms its timer).
// Main thread; shown as a sheet of the main window, which owns it.

#include <QDateTime>
#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>

class QLabel;
class QTimeEdit;

namespace sorrelby {

class SetQuitRelaunchViewController : public QDialog {
    Q_OBJECT
public:
    // clock: the time the next date is counted from.
    explicit SetQuitRelaunchViewController(std::function<QDateTime()> clock, QWidget *parent = nullptr);
    ~SetQuitRelaunchViewController() override;

    QString statusString() const { return fStatusString; }

    void ibSaveButton();
    void ibResetToFactory();
    void updateTempNextTriggerDateString();

private:
    void showTempTime();

    std::function<QDateTime()> fClock;
    QString fStatusString;
    QTimeEdit *fTimeEdit = nullptr;
    QLabel *fStatusLabel = nullptr;
    std::uint64_t fObserverToken = 0;
};

} // namespace sorrelby
