#pragma once
// What the Preferences window does when the user acts, without the window:
// the daily sub-folder format, the folder choosers (hot folder mode held off
// while one is open, the chosen folder checked before it is stored), the hot
// folder switch, the companion folder switch, the reassignment mode and the
// reveal actions. The window only turns clicks into these calls and shows
// what they answer; tests drive them directly. Main thread.

#include "platform/AlertPresenter.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

namespace sorrelby {

class FileRevealer;

inline constexpr QLatin1StringView cNotCreatingSubFolder{"< NOT Creating SubFolder>"};
inline constexpr QLatin1StringView cDefaultUserDateFormat{"yyyyMMdd"};
inline constexpr QLatin1StringView cHotFolderEnabledInfo{"Hot Folder Mode is Currently ENABLED"};
inline constexpr QLatin1StringView cHotFolderDisabledInfo{"Hot Folder Mode is Currently DISABLED"};

enum class FolderRole { Source, Destination, HotFolder };

// Reveal actions, by the tag of their button.
enum RevealTag {
    cRevealSourceFolder = 100,
    cRevealDestinationFolder = 101,
    cRevealTemporaryFolder = 102,
    cRevealLogFiles = 103,
    cRevealCrashNotes = 104,
    cRevealHotFolder = 105,
};

// The open panel of one folder chooser.
struct FolderPanelSpec {
    QString prompt;
    QString title;
    QString message;
    QString startFolder;
    // The other two roles' folders, which the panel must not offer.
    QStringList badPaths;
};

struct DateFormatResult {
    bool accepted = false;
    QString pattern; // empty: no sub-folder
    QString example; // today's folder name, or cNotCreatingSubFolder
    QString problem; // why it was refused
    // Set when the main folder's drive cannot hold the name as it is (exFAT,
    // FAT, NTFS, SMB refuse ":" of a date): what the folder will be called.
    QString notice;
};

class PreferencesActions {
public:
    // The path settings key of a role.
    static QString pathKey(FolderRole role);

    // Daily sub-folder format by tag (0 none, 1 "MM-dd-yyyy", 2..5 the
    // locale's short..full date style as its pattern, 6 the user's own).
    // Stores tag, pattern and example when the pattern makes a safe folder
    // name; otherwise changes nothing and says why.
    static DateFormatResult ibClickOnDateFormatter(int tag, const QDateTime &now = QDateTime::currentDateTime());
    // The user's own pattern as typed: stored (and applied while tag 6 is
    // chosen) only when it makes a safe folder name; the previous one stays
    // otherwise. Blank means "yyyyMMdd".
    static DateFormatResult setUserDefinedDateFormatter(const QString &text, const QDateTime &now = QDateTime::currentDateTime());
    // The notice for a daily folder `name` in the stored main folder, or
    // empty when its drive holds the name as it is.
    static QString dailyFolderNotice(const QString &name);
    // Why a pattern cannot name daily folders (not a pattern, no date field
    // in it, or a name that would not be one safe folder name), or none.
    static std::optional<QString> dailyFolderPatternProblem(const QString &pattern, const QDateTime &now = QDateTime::currentDateTime());
    // The locale's pattern of a date style (0 short .. 3 full).
    static QString stylePattern(int style);

    // Folder choosers: begin turns hot folder mode off (remembering it),
    // finish restores it whatever the outcome, then stores the chosen folder
    // unless it is refused (alert shown). Returns whether a folder was stored.
    FolderPanelSpec beginChoosingFolder(FolderRole role);
    bool finishChoosingFolder(FolderRole role, const std::optional<QString> &chosen);
    bool isChoosingFolder() const { return m_rememberedHotFolderMode.has_value(); }
    // Why a folder cannot serve in a role: missing, not writable, or the same
    // as, inside or around another role's folder. None when it can.
    static std::optional<QString> folderProblem(FolderRole role, const QString &path);
    // Only the last of those: the same as, inside or around another role's
    // folder (which need not exist yet).
    static std::optional<QString> nestingProblem(FolderRole role, const QString &path);
    // The role whose path settings key this is, if any.
    static std::optional<FolderRole> roleOfPathKey(const QString &key);
    // Stores path (absolute, clean) as the role's folder, with its reference,
    // when it can serve; otherwise changes nothing and says why.
    static std::optional<QString> useFolder(FolderRole role, const QString &path);

    // The hot folder switch: the warning sheet, and its answer (the second
    // button stores the opposite mode; "Cancel" changes nothing).
    static Alert hotFolderModeAlert();
    static void applyHotFolderModeAnswer(AlertAnswer answer);
    static QString hotFolderInfoString();
    static QString hotFolderButtonTitle();

    // After the companion switch was stored: the companion's save folder
    // becomes the source folder when switched on; the browser reloads.
    static void ibClickedOnAlwaysUseOstrinPath();
    // Stores a reassignment mode radio (200 or 202; others ignored).
    static bool ibHandleRadioSet1(int tag);
    // Reveals by tag (100..105; others do nothing).
    static void ibRevealInFinder(int tag, FileRevealer &revealer);
    // The crash notes beside the log, newest name last.
    static QStringList crashNotes();

private:
    std::optional<bool> m_rememberedHotFolderMode;
};

} // namespace sorrelby
