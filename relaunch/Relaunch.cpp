#include "relaunch/Relaunch.h"

#include "platform/BundleResources.h"
#include "platform/Log.h"
#include "relaunch/Watchdog.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QTimeZone>

namespace sorrelby {

namespace {

const QString cClass = QStringLiteral("Relaunch");

void note(QStringView operation, const QString &detail = {})
{
    logOp(cClass, operation, detail);
}

} // namespace

void Relaunch::setupWatchdog()
{
    Watchdog::autoRelaunchUnless(cRelaunchesBeforeEscape, cRelaunchWindowSeconds, [](int, double) { return false; });
}

void Relaunch::setupDefaultLaunchCtlDate(const QDateTime &now)
{
    const QString op = QStringLiteral("setupDefaultLaunchCtlDate");
    Settings &settings = Settings::shared();
    const QVariant stored = settings.value(cPrefDailyRelaunchTime);
    if (stored.isValid()) {
        settings.setValue(cPrefNextScheduledTime, stored);
        settings.remove(cPrefNextScheduledDisplay);
    } else {
        QDateTime newDate = now;
        newDate.setTime(QTime(0, 6));
        settings.setValue(cPrefDailyRelaunchTime, newDate);
        settings.setValue(cPrefDailyScheduledTime2, newDate);
        settings.setValue(cPrefNextScheduledTime, newDate);
        note(op, QStringLiteral("newDate is set to: ") + newDate.toString(Qt::ISODate));
    }
    const QDateTime next = convertToNextLaunchCtlDate(now);
    note(op, QStringLiteral("sPrefNextScheduledTime is: ") + next.toString(Qt::ISODate));
    note(op, QStringLiteral("NEXT REBOOT Time is: ") + displayString(next));
}

QDateTime Relaunch::convertToNextLaunchCtlDate(const QDateTime &now)
{
    const QString op = QStringLiteral("convertToNextLaunchCtlDate");
    Settings &settings = Settings::shared();
    note(op, QStringLiteral("User's current time in their preference format:") + displayString(now));
    const QDateTime timeOfDay = settings.dateValue(cPrefDailyScheduledTime2);
    if (!timeOfDay.isValid())
        return {};
    const QDateTime next = convertToNextLaunchCtlDate2(timeOfDay, now);
    settings.setValue(cPrefNextScheduledTime, next);
    settings.setValue(cPrefNextScheduledDisplay, displayString(next));
    return next;
}

QDateTime Relaunch::convertToNextLaunchCtlDate2(const QDateTime &timeOfDay, const QDateTime &now)
{
    const QString op = QStringLiteral("convertToNextLaunchCtlDate2");
    if (!timeOfDay.isValid() || !now.isValid())
        return {};
    // Only the wall-clock hour and minute count, as they were set.
    const QTime time(timeOfDay.time().hour(), timeOfDay.time().minute());
    // In now's own time zone (or local time).
    const auto onDay = [&](const QDate &day) {
        QDateTime date = now;
        date.setDate(day);
        date.setTime(time);
        return date;
    };
    QDateTime next = onDay(now.date());
    if (now >= next) {
        note(op, QStringLiteral("current date is AFTER/LATER than nextLaunchDate..."));
        // Tomorrow's date at that time, not 86400 s on: a day with a daylight
        // saving change is 23 or 25 hours long.
        next = onDay(now.date().addDays(1));
        note(op, QStringLiteral("adjusted nextLaunchDate: ") + next.toString(Qt::ISODate));
    } else {
        note(op, QStringLiteral("current date is EARLIER than nextLaunchDate..."));
    }
    return next;
}

QString Relaunch::displayString(const QDateTime &date)
{
    return QLocale().toString(date, QLocale::LongFormat);
}

bool Relaunch::relaunch(const QString &sender, int launchFlags, const std::function<void()> &terminate)
{
    const QString path = helperExecutable(QStringLiteral("relaunch"));
    note(u"relaunch(_:)",
         QStringLiteral("Inside %1 => %2...info = [sender = %3, LSLaunchFlags = %4]")
             .arg(cClass, QStringLiteral("relaunch(_:)"), sender)
             .arg(launchFlags));
    if (!QFileInfo(path).isExecutable()) {
        note(u"relaunch(_:)", QStringLiteral("missing %1! Not quitting.").arg(path));
        return false;
    }
    qint64 helperPid = 0;
    if (!QProcess::startDetached(
            path,
            {QCoreApplication::applicationFilePath(), QString::number(QCoreApplication::applicationPid()), QString::number(launchFlags)},
            {}, &helperPid)) {
        note(u"relaunch(_:)", QStringLiteral("cannot start %1. Not quitting.").arg(path));
        return false;
    }
    note(u"relaunch(_:)", QStringLiteral("%1 started as PID %2").arg(path).arg(helperPid));
    terminate();
    return true;
}

} // namespace sorrelby
