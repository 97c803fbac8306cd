#pragma once
// The log file of the process. TRUVO_Log owns it: at start it rolls an
// oversized file over into its "_old" companion, opens it for appending and
// points standard error (fd 2) at it, so everything the process (and its
// children) writes to standard error lands in the file. Lines logged before a
// file is set are kept in memory and written first. Every operation is safe
// from any thread; each line reaches the file with a single write.

#include <QString>

#include <QtGlobal>

namespace sorrelby {

class TRUVO_Log {
public:
    // A file at least this large is rolled over when it is set.
    static constexpr qint64 cRollOverSize = 52428800;
    // The "_old" file never grows beyond this.
    static constexpr qint64 cMaxOldLogSize = 52428800;
    // Lines held before a file is set; the oldest go first when it is full.
    static constexpr qsizetype cEarlyBufferLimit = 1000000;
    static constexpr qsizetype cEarlyBufferDrop = 10000;

    TRUVO_Log() = delete;

    // Routes the log into the file at path, rolling it over first when it has
    // reached rollOverSize (which then also caps the "_old" file). Returns
    // whether the file could be opened; when not, the process keeps logging to
    // its ordinary standard error and the early lines stay in memory.
    static bool setLogFile(const QString &path, qint64 rollOverSize = cRollOverSize);

    static void rollLogFileIfNecessary(const QString &path);
    // Moves the file at path onto the end of toPath (the "_old" file beside
    // it when empty) once it has reached atSize, cuts the old file from its
    // front so it starts on a whole line and holds at most keepAtMost bytes,
    // then empties the current file. Returns whether the file was rolled.
    // The current file is left untouched when the old one cannot be written.
    static bool rollLogFile(const QString &path, const QString &toPath, qint64 atSize, qint64 keepAtMost = cMaxOldLogSize);
    // "<name>_old.<ext>", or "<name>_old.log" for a path without extension.
    static QString oldLogFilePath(const QString &path);

    // Levels: 0 info, 1 (and 5 up) debug, 2 debug2, 3 error, 4 warning.
    static void logLevel(int level, const QString &message);
    // Level 1, one logger line per line of text.
    static void debug(const QString &message);
    static void err(const QString &message);
    // Logs at level 3 and ends the process with status 1.
    [[noreturn]] static void fatal(const QString &message);

    static void setShouldLogToStdErr(bool on);
    static void setShouldLogAppName(bool on);
    static void setApplicationName(const QString &name);

    // "[yyyy/MM/dd HH:mm:ss.SSS +hhmm]" for now.
    static QString logDateString();

    // The standardised path of the file in use, empty before one is set.
    static QString logFilePath();
};

// Installs the Qt message handler that writes every Qt message (ours and Qt's
// own) as one line "yyyy-MM-dd HH:mm:ss.zzz name[pid:tid] text" with a single
// write to standard error. Call it first thing in main().
void installLogMessageHandler();

// Creates the log folder when missing, then TRUVO_Log::setLogFile(path).
bool routeLogToFile(const QString &path);

} // namespace sorrelby
