#include "settings/KnownKeys.h"

#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <algorithm>
#include <vector>

namespace sorrelby {

namespace {

QStringList declaredKeys()
{
    return {
        QString(cPrefSourcePath),
        QString(cPrefSourcePathAliasData),
        QString(cPrefSourcePathIsValid),
        QString(cPrefSourcePathFactory),
        QString(cPrefSourcePathForHotFolderMode),
        QString(cPrefDestinationPath),
        QString(cPrefDestinationPathAliasData),
        QString(cPrefDestinationPathIsValid),
        QString(cPrefDestinationPathFactory),
        QString(cPrefHotFolderPath),
        QString(cPrefHotFolderPathAliasData),
        QString(cPrefHotFolderPathIsValid),
        QString(cPrefHotFolderPathFactory),
        QString(cPrefFolderParams),
        QString(cPrefAlwaysUseOstrinAsSourcePath),
        QString(cPrefRadioSet1SelectedTag),
        QString(cPrefAlwaysPromptForReassignmentMode),
        QString(cPrefReverseAssignBarcode),
        QString(cPrefReassignPromptString),
        QString(cPrefReassignWindowFrame),
        QString(cPrefCheckReassignedBarcodeLength),
        QString(cPrefReassignedBarcodeRequiredLength),
        QString(cPrefDoReassignAllTheseToUnknownStringFormat),
        QString(cPrefLastUserInfo),
        QString(cPrefReassignPromptDict),
        QString(cPrefIsStandAloneApp),
        QString(cPrefOstrinReverseScan),
        QString(cPrefOstrinDisableScan),
        QString(cPrefVersionString),
        QString(cPrefOriginalNameFormatTag),
        QString(cPrefMoveUnasignedPhotoMethodTag),
        QString(cPrefDateFormatterTag),
        QString(cPrefDailyFolderDateFormat),
        QString(cPrefDailyFolderDateFormatExample),
        QString(cPrefEnableUserDefinedDateFormatter),
        QString(cPrefUserDefinedDateFormatter),
        QString(cPrefDoUnassignedProcess),
        QString(cPrefKeepLastQRCodeFile),
        QString(cPrefDecodeForUrlString),
        QString(cPrefAdjustFilenameWithDash),
        QString(cPrefCanSupportVisionFramework),
        QString(cPrefUseAutoDecodeQRMethod),
        QString(cPrefDoTryToAutoDecodeAfterCopying),
        QString(cPrefCheckForMultiCameras),
        QString(cPrefRotateImages180),
        QString(cPrefCamerasToRotate180asString),
        QString(cPrefDoDelayToWaitForValidPhoto),
        QString(cPrefDelayToWaitForValidPhotoInSeconds),
        QString(cPrefInputFolderSortKeyList),
        QString(cPrefInputFolderSortKeySelectedIndex),
        QString(cPrefInputFolderSortOrderKeyList),
        QString(cPrefInputFolderSortOrderKeySelectedIndex),
        QString(cPrefCameraCardFolderNames),
        QString(cPrefTempMountVolume),
        QString(cPrefStatusString),
        QString(cPrefAccessoryString1),
        QString(cPrefWindowTitle),
        QString(cPrefWindowAutoSave),
        QString(cPrefItemScaleFactor),
        QString(cPrefRosterPaths),
        QString(cPrefWriteDeliveryReport),
        QString(cPrefEnableHotFolderMode),
        QString(cPrefDateOfLastProcessedHotFolder),
        QString(cPrefDoDailyQuitRelaunch),
        QString(cPrefDailyRelaunchTime),
        QString(cPrefDailyRelaunchTimeFactory),
        QString(cPrefDailyScheduledTime2),
        QString(cPrefTempDailyRelaunchTime),
        QString(cPrefNextScheduledTime),
        QString(cPrefNextScheduledDisplay),
    };
}

// Edit distance, letter case ignored: "prefdestinationpath" is the same key mistyped.
int distance(const QString &a, const QString &b)
{
    const QString x = a.toLower();
    const QString y = b.toLower();
    std::vector<int> row(size_t(y.size()) + 1);
    for (size_t j = 0; j < row.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 1; i <= x.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= y.size(); ++j) {
            const int above = row[size_t(j)];
            row[size_t(j)] = std::min({above + 1, row[size_t(j - 1)] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row.back();
}

} // namespace

QStringList knownSettingsKeys(const Settings &settings)
{
    QStringList keys = declaredKeys() + settings.registeredDefaults().keys();
    keys.sort();
    keys.removeDuplicates();
    return keys;
}

std::optional<QString> unknownSettingsKeyProblem(const Settings &settings, const QString &key)
{
    const QStringList known = knownSettingsKeys(settings);
    if (known.contains(key))
        return std::nullopt;
    QString nearest;
    int best = 0;
    for (const QString &candidate : known) {
        const int d = distance(key, candidate);
        if (nearest.isEmpty() || d < best) {
            nearest = candidate;
            best = d;
        }
    }
    QString problem = QStringLiteral("unknown setting \"%1\"").arg(key);
    // Far off, a suggestion would only mislead.
    if (!nearest.isEmpty() && best <= std::max<qsizetype>(3, key.size() / 3))
        problem += QStringLiteral(" (did you mean %1?)").arg(nearest);
    else
        problem += QStringLiteral(" (\"settings\" lists the known ones)");
    return problem;
}

} // namespace sorrelby
