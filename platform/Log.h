#pragma once
// The log call every class uses. Lines go through Qt's logging, whose
// message handler (installed by the log file) writes each line with a single
// write to standard error, which is redirected into the log file.

#include <QString>
#include <QStringView>

namespace sorrelby {

// "Class -> operation....detail", the shape of every operation's log line.
QString opLine(QStringView className, QStringView operation, QStringView detail = {});

// Writes one line (or several, when text holds line breaks) to the log.
void logLine(const QString &text);

// logLine(opLine(...)).
void logOp(QStringView className, QStringView operation, QStringView detail = {});

// The same for parts built with QStringBuilder, which give no view.
inline void logOp(const QString &className, const QString &operation, const QString &detail)
{
    logOp(QStringView(className), QStringView(operation), QStringView(detail));
}

} // namespace sorrelby
