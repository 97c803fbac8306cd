#pragma once
// What every benchmark prints: "BENCH <name> <value> <unit>" lines on
// standard output, notes on standard error, and the log kept quiet so that
// the figures stand out.

#include <QString>
#include <QtGlobal>

#include <cstdio>

namespace sorrelby::bench {

inline void benchLine(const char *name, double value, const char *unit)
{
    std::printf("BENCH %s %.3f %s\n", name, value, unit);
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
