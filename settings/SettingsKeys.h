#pragma once
// Every settings key the program reads or writes, by the exact text stored
// files rely on, and the constants every part of the program shares. Code
// outside settings/ names a key only through these constants.

#include <QLatin1StringView>
#include <QSize>

namespace sorrelby {

// Shared constants.
inline constexpr QLatin1StringView cStringForUNASSIGNED_PHOTOS{"UNASSIGNED_PHOTOS"};
inline constexpr QLatin1StringView cDefaultComponentSeparator1{"_"};
inline constexpr QSize cDefaultItemSize{200, 200};
inline constexpr double cMinScaleFactor = 0.75;
inline constexpr double cMaxScaleFactor = 3.0;

// Folder locations.
inline constexpr QLatin1StringView cPrefSourcePath{"prefSourcePath"};
inline constexpr QLatin1StringView cPrefSourcePathAliasData{"prefSourcePathAliasData"};
inline constexpr QLatin1StringView cPrefSourcePathIsValid{"prefSourcePathIsValid"};
inline constexpr QLatin1StringView cPrefSourcePathFactory{"prefSourcePathFactory"};
inline constexpr QLatin1StringView cPrefSourcePathForHotFolderMode{"prefSourcePathForHotFolderMode"};
inline constexpr QLatin1StringView cPrefDestinationPath{"prefDestinationPath"};
inline constexpr QLatin1StringView cPrefDestinationPathAliasData{"prefDestinationPathAliasData"};
inline constexpr QLatin1StringView cPrefDestinationPathIsValid{"prefDestinationPathIsValid"};
inline constexpr QLatin1StringView cPrefDestinationPathFactory{"prefDestinationPathFactory"};
inline constexpr QLatin1StringView cPrefHotFolderPath{"prefHotFolderPath"};
inline constexpr QLatin1StringView cPrefHotFolderPathAliasData{"prefHotFolderPathAliasData"};
inline constexpr QLatin1StringView cPrefHotFolderPathIsValid{"prefHotFolderPathIsValid"};
inline constexpr QLatin1StringView cPrefHotFolderPathFactory{"prefHotFolderPathFactory"};
inline constexpr QLatin1StringView cPrefFolderParams{"prefFolderParams"};
inline constexpr QLatin1StringView cPrefAlwaysUseOstrinAsSourcePath{"prefAlwaysUseOstrinAsSourcePath"};

// Reassignment.
inline constexpr QLatin1StringView cPrefRadioSet1SelectedTag{"prefRadioSet1SelectedTag"};
inline constexpr QLatin1StringView cPrefAlwaysPromptForReassignmentMode{"prefAlwaysPromptForReassignmentMode"};
inline constexpr QLatin1StringView cPrefReverseAssignBarcode{"prefReverseAssignBarcode"};
inline constexpr QLatin1StringView cPrefReassignPromptString{"prefReassignPromptString"};
inline constexpr QLatin1StringView cPrefReassignWindowFrame{"prefReassignWindowFrame"};
inline constexpr QLatin1StringView cPrefCheckReassignedBarcodeLength{"prefCheckReassignedBarcodeLength"};
inline constexpr QLatin1StringView cPrefReassignedBarcodeRequiredLength{"prefReassignedBarcodeRequiredLength"};
inline constexpr QLatin1StringView cPrefDoReassignAllTheseToUnknownStringFormat{"prefDoReassignAllTheseToUnknownStringFormat"};
inline constexpr QLatin1StringView cPrefLastUserInfo{"prefLastUserInfo"};
inline constexpr QLatin1StringView cPrefReassignPromptDict{"prefReassignPromptDict"};

// Companion flags and the shell.
inline constexpr QLatin1StringView cPrefIsStandAloneApp{"prefIsStandAloneApp"};
inline constexpr QLatin1StringView cPrefOstrinReverseScan{"prefOstrinReverseScan"};
inline constexpr QLatin1StringView cPrefOstrinDisableScan{"prefOstrinDisableScan"};
inline constexpr QLatin1StringView cPrefVersionString{"prefVersionString"};

// Naming and delivery tags.
inline constexpr QLatin1StringView cPrefOriginalNameFormatTag{"prefOriginalNameFormatTag"};
inline constexpr QLatin1StringView cPrefMoveUnasignedPhotoMethodTag{"prefMoveUnasignedPhotoMethodTag"};
inline constexpr QLatin1StringView cPrefDateFormatterTag{"prefDateFormatterTag"};
inline constexpr QLatin1StringView cPrefDailyFolderDateFormat{"prefDailyFolderDateFormat"};
inline constexpr QLatin1StringView cPrefDailyFolderDateFormatExample{"prefDailyFolderDateFormatExample"};
inline constexpr QLatin1StringView cPrefEnableUserDefinedDateFormatter{"prefEnableUserDefinedDateFormatter"};
inline constexpr QLatin1StringView cPrefUserDefinedDateFormatter{"prefUserDefinedDateFormatter"};
inline constexpr QLatin1StringView cPrefDoUnassignedProcess{"prefDoUnassignedProcess"};
inline constexpr QLatin1StringView cPrefKeepLastQRCodeFile{"prefKeepLastQRCodeFile"};
inline constexpr QLatin1StringView cPrefDecodeForUrlString{"prefDecodeForUrlString"};
inline constexpr QLatin1StringView cPrefAdjustFilenameWithDash{"prefAdjustFilenameWithDash"};

// Detection, cameras and the photos being listed.
inline constexpr QLatin1StringView cPrefCanSupportVisionFramework{"prefCanSupportVisionFramework"};
inline constexpr QLatin1StringView cPrefUseAutoDecodeQRMethod{"prefUseAutoDecodeQRMethod"};
inline constexpr QLatin1StringView cPrefDoTryToAutoDecodeAfterCopying{"prefDoTryToAutoDecodeAfterCopying"};
inline constexpr QLatin1StringView cPrefCheckForMultiCameras{"prefCheckForMultiCameras"};
inline constexpr QLatin1StringView cPrefRotateImages180{"prefRotateImages180"};
inline constexpr QLatin1StringView cPrefCamerasToRotate180asString{"prefCamerasToRotate180asString"};
inline constexpr QLatin1StringView cPrefDoDelayToWaitForValidPhoto{"prefDoDelayToWaitForValidPhoto"};
inline constexpr QLatin1StringView cPrefDelayToWaitForValidPhotoInSeconds{"prefDelayToWaitForValidPhotoInSeconds"};
inline constexpr QLatin1StringView cPrefInputFolderSortKeyList{"prefInputFolderSortKeyList"};
inline constexpr QLatin1StringView cPrefInputFolderSortKeySelectedIndex{"prefInputFolderSortKeySelectedIndex"};
inline constexpr QLatin1StringView cPrefInputFolderSortOrderKeyList{"prefInputFolderSortOrderKeyList"};
inline constexpr QLatin1StringView cPrefInputFolderSortOrderKeySelectedIndex{"prefInputFolderSortOrderKeySelectedIndex"};

// Camera cards.
inline constexpr QLatin1StringView cPrefCameraCardFolderNames{"prefCameraCardFolderNames"};
inline constexpr QLatin1StringView cPrefTempMountVolume{"prefTempMountVolume"};
inline constexpr QLatin1StringView cPrefStatusString{"prefStatusString"};
inline constexpr QLatin1StringView cPrefAccessoryString1{"prefAccessoryString1"};

// The window.
inline constexpr QLatin1StringView cPrefWindowTitle{"prefWindowTitle"};
inline constexpr QLatin1StringView cPrefWindowAutoSave{"prefWindowAutoSave"};
inline constexpr QLatin1StringView cPrefItemScaleFactor{"prefBrowserItemScaleFactor"};

// Class lists: the roster chosen for each source folder (folder path -> roster
// path; a folder's own roster.csv needs no entry), and whether delivery
// writes the report of what it delivered into the daily folder when a
// roster is open.
inline constexpr QLatin1StringView cPrefRosterPaths{"prefRosterPaths"};
inline constexpr QLatin1StringView cPrefWriteDeliveryReport{"prefWriteDeliveryReport"};

// Hot folder mode and the daily quit and relaunch.
inline constexpr QLatin1StringView cPrefEnableHotFolderMode{"prefEnableHotFolderMode"};
inline constexpr QLatin1StringView cPrefDateOfLastProcessedHotFolder{"prefDateOfLastProcessedHotFolder"};
// Hot folder delivery leaves a possible unread card and the photos after it
// (until the next card) in the source folder for a person to check.
inline constexpr QLatin1StringView cPrefHoldBackAfterUnreadCard{"prefHoldBackAfterUnreadCard"};
// Hot folder intake takes a camera's RAW file with its JPEG of the same name
// (or alone when no JPEG comes), so a RAW+JPEG camera leaves nothing behind.
inline constexpr QLatin1StringView cPrefHotFolderTakeRawFiles{"prefHotFolderTakeRawFiles"};
inline constexpr QLatin1StringView cPrefDoDailyQuitRelaunch{"prefDoDailyQuitRelaunch"};
inline constexpr QLatin1StringView cPrefDailyRelaunchTime{"prefDailyRelaunchTime"};
inline constexpr QLatin1StringView cPrefDailyRelaunchTimeFactory{"prefDailyRelaunchTimeFactory"};
inline constexpr QLatin1StringView cPrefDailyScheduledTime2{"prefDailyScheduledTime2"};
inline constexpr QLatin1StringView cPrefTempDailyRelaunchTime{"prefTempDailyRelaunchTime"};
inline constexpr QLatin1StringView cPrefNextScheduledTime{"prefNextScheduledLaunchctlTime"};
inline constexpr QLatin1StringView cPrefNextScheduledDisplay{"prefNextScheduledLaunchctlTimeDisplayString"};

// Stored reassignment mode.
enum class ReassignMode : int { defaultmode = 200, mode201 = 201, mode202 = 202 };

} // namespace sorrelby
