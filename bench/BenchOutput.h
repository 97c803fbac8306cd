#pragma once
// What every benchmark prints: "BENCH <name> <value> <unit>" lines on
// standard output, notes on standard error, and the log kept quiet so that
// the figures stand out.

#include <QString>
#include <QThread>
#include <QtGlobal>

#include <cstdio>

namespace sorrelby::bench {

inline void benchLine(const char *name, double value, const char *unit)
{
    std::printf("BENCH %s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

// For figures that are not one number, such as "57/60 cards".
inline void benchLine(const QString &name, const QString &value, const char *unit = "")
{
    std::printf("BENCH %s %s %s\n", qPrintable(name), qPrintable(value), unit);
    std::fflush(stdout);
}

// "BENCH <prefix>_cores <n> cores": the machine the figures come from.
inline void coresLine(const char *prefix)
{
    std::printf("BENCH %s_cores %d cores\n", prefix, QThread::idealThreadCount());
    std::fflush(stdout);
}

inline void note(const QString &text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

// A Qt message handler that drops the log's info and debug lines.
inline void quietLog(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtInfoMsg && type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace sorrelby::bench
