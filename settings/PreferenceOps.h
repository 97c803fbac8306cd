#pragma once
// Operations of the preferences that the rest of the program asks for without
// a Preferences window: the installation kind, the reassignment mode queries,
// the cameras whose photos are turned, the completeness delay, the daily
// sub-folder name, and the
// validated folder locations. Stateless; safe from any thread (alerts are
// queued on the main queue).

#include "settings/SettingsKeys.h"

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

namespace sorrelby::preferenceops {

// A stand-alone installation (no companion in charge): the executable's name
// begins with "vemo", whatever its case.
bool isStandaloneApp(const QString &executableName = QStringLiteral(SORRELBY_EXECUTABLE));

// Reassignment mode queries; both check the stored mode first (201 and any
// unknown value become 200).
bool isAutoReassignMode();
bool isAutoReassignFromBarcodePhotosOnly();

// Serial numbers from "prefCamerasToRotate180asString" (comma-separated).
QSet<QString> getCamerasForUpsideDown();
// The serial numbers of such a list, trimmed, blanks and empty pieces left out.
QStringList parseSerialList(const QString &text);

// How long after its last write a photo counts as complete, in seconds
// ("prefDelayToWaitForValidPhotoInSeconds"); none while
// "prefDoDelayToWaitForValidPhoto" is off. A delay below one second is raised
// to one, and stored so on the main queue.
std::optional<double> validPhotoDelay();

// The daily sub-folder name under a date pattern at the moment `now`: the
// moment three hours earlier (so work until 03:00 counts for the day before)
// formatted with the pattern, every "/" replaced by ":". Empty for an empty
// pattern.
QString performDateFormatString(const QString &pattern, const QDateTime &now = QDateTime::currentDateTime());

// Today's daily sub-folder name under the pattern stored at dateFormatKey:
// the moment three hours ago (so work until 03:00 counts for the day before),
// every "/" replaced by ":". None when no pattern is stored.
std::optional<QString> getDailyFolderNameC(const QString &dateFormatKey = cPrefDailyFolderDateFormat);
// The folder stored at folderPathKey with that daily name appended; the
// folder itself without a pattern; none without a folder.
std::optional<QString> getDuplicateFolderPathC(const QString &folderPathKey, const QString &dateFormatKey);
// The daily sub-folder `name` inside `folder`, written as the folder's drive
// accepts it (":" of a date has a stand-in on FAT, exFAT, NTFS and SMB); the
// folder itself for an empty name.
QString dailyFolderPath(const QString &folder, const QString &name);

// A date formatted with a Unicode date pattern in the user's locale and time
// zone (ICU), or with a date style (0 short, 1 medium, 2 long, 3 full).
QString formatDate(const QDateTime &when, const QString &pattern);
QString formatDateStyle(const QDateTime &when, int style);

// Validation of one folder request (see FolderValidation.h); no alert.
bool validateFolderPath2(const QVariantMap &params);
bool validateFolderPath(const QVariantMap &params);

// key must be "prefSourcePath", "prefDestinationPath" or "prefHotFolderPath"
// (else PreferencesError is thrown). Validates the folder's request from
// "prefFolderParams" and gives its path, or none after a path alert.
std::optional<QString> getValidatedPathFor(const QString &key);
std::optional<QString> getValidatedPathToSourcePath();
std::optional<QString> getValidatedPathToDestinationPath();
std::optional<QString> getValidatedPathToHotFolderPath();
std::optional<QString> getValidatedPathToSourcePathForHotFolderMode();
std::optional<QString> getSourceFolderPath(bool forHotFolderMode = false);
// The stored hot folder, not validated.
std::optional<QString> getHotFolderPath();

// Validates the hot folder; on failure queues the hot folder path alert when
// reportFailure is set.
bool validateHotFolderStuff(bool reportFailure = true);

} // namespace sorrelby::preferenceops
