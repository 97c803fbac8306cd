#include "settings/PreferenceOps.h"

#include "platform/AlertPresenter.h"
#include "platform/Dispatch.h"
#include "platform/FolderAbilities.h"
#include "platform/Log.h"
#include "settings/FolderValidation.h"
#include "settings/ReassignModeValidation.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <unicode/datefmt.h>
#include <unicode/smpdtfmt.h>

#include <algorithm>
#include <memory>

namespace sorrelby::preferenceops {

namespace {

const QString cClass = QStringLiteral("PreferencesViewController");

void note(QStringView operation, const QString &detail)
{
    logOp(cClass, operation, detail);
}

icu::Locale userLocale()
{
    return icu::Locale(QLocale::system().name().toLatin1().constData());
}

QString format(icu::DateFormat *formatter, const QDateTime &when)
{
    if (!formatter)
        return {};
    formatter->setLenient(false);
    icu::UnicodeString out;
    formatter->format(UDate(when.toMSecsSinceEpoch()), out);
    return QString(reinterpret_cast<const QChar *>(out.getBuffer()), out.length());
}

void showPathAlert(const QString &lines)
{
    Alert alert;
    alert.style = AlertStyle::Critical;
    alert.messageText = cUnableToLocatePathMessage;
    alert.informativeText = QString(cSetupMissingPathsText) + lines;
    showAlertOnMain(alert);
}

std::optional<QString> getterFor(const QString &name, const QString &key)
{
    note(name, QStringLiteral("inside ") + name + QStringLiteral("..."));
    try {
        return getValidatedPathFor(key);
    } catch (const PreferencesError &) {
        QString bare = name;
        bare.chop(2); // "()"
        note(name, bare + QStringLiteral("() inavlid path for: ") + key);
        return std::nullopt;
    }
}

} // namespace

bool isStandaloneApp(const QString &executableName)
{
    const bool standalone = !executableName.isEmpty() && executableName.toLower().startsWith(QLatin1String("vemo"));
    if (standalone) {
        note(u"isStandaloneApp()", QStringLiteral("This App is Standalone App...."));
        note(u"isStandaloneApp()", QStringLiteral("DONT Care if Ostrin is Decoding or NOT..."));
    }
    return standalone;
}

bool isAutoReassignMode()
{
    Settings &settings = Settings::shared();
    validateReassignMode(settings);
    const int mode = settings.intValue(cPrefRadioSet1SelectedTag);
    return mode == int(ReassignMode::mode201) || mode == int(ReassignMode::mode202);
}

bool isAutoReassignFromBarcodePhotosOnly()
{
    Settings &settings = Settings::shared();
    validateReassignMode(settings);
    return settings.intValue(cPrefRadioSet1SelectedTag) == int(ReassignMode::mode202);
}

QSet<QString> getCamerasForUpsideDown()
{
    const auto text = Settings::shared().optionalString(QStringLiteral("prefCamerasToRotate180asString"));
    if (!text)
        return {};
    const QStringList serials = parseSerialList(*text);
    note(u"getCamerasForUpsideDown()", QStringLiteral("list of serialnumbers = ") + serials.join(QStringLiteral(", ")));
    return QSet<QString>(serials.cbegin(), serials.cend());
}

QStringList parseSerialList(const QString &text)
{
    QStringList serials;
    for (const QString &piece : text.split(QLatin1Char(','))) {
        const QString serial = piece.trimmed();
        if (!serial.isEmpty())
            serials.append(serial);
    }
    return serials;
}

std::optional<double> validPhotoDelay()
{
    const QString delayKey = QStringLiteral("prefDelayToWaitForValidPhotoInSeconds");
    const Settings &settings = Settings::shared();
    if (!settings.boolValue(QStringLiteral("prefDoDelayToWaitForValidPhoto")))
        return std::nullopt;
    const double delay = settings.doubleValue(delayKey);
    if (delay >= 1.0)
        return delay;
    mainqueue::async([delayKey] {
        Settings &store = Settings::shared();
        if (store.doubleValue(delayKey) < 1.0)
            store.setValue(delayKey, 1.0);
    });
    return 1.0;
}

QString formatDate(const QDateTime &when, const QString &pattern)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString icuPattern(reinterpret_cast<const UChar *>(pattern.utf16()), int32_t(pattern.size()));
    icu::SimpleDateFormat formatter(icuPattern, userLocale(), status);
    if (U_FAILURE(status)) {
        note(u"formatDate",
             QStringLiteral("bad date pattern [") + pattern + QStringLiteral("]: ") + QString::fromLatin1(u_errorName(status)));
        return {};
    }
    return format(&formatter, when);
}

QString formatDateStyle(const QDateTime &when, int style)
{
    static const icu::DateFormat::EStyle styles[]
        = {icu::DateFormat::kShort, icu::DateFormat::kMedium, icu::DateFormat::kLong, icu::DateFormat::kFull};
    if (style < 0 || style > 3)
        return {};
    std::unique_ptr<icu::DateFormat> formatter(icu::DateFormat::createDateInstance(styles[style], userLocale()));
    return format(formatter.get(), when);
}

QString performDateFormatString(const QString &pattern, const QDateTime &now)
{
    if (pattern.isEmpty())
        return {};
    // The day changes at 03:00: late work still belongs to the shoot's day.
    const QString name = formatDate(now.addSecs(-10800), pattern).replace(QLatin1Char('/'), QLatin1Char(':'));
    // A pattern stored behind the Preferences window's back must not climb
    // out of the main folder or hide the day's folder: no sub-folder then.
    const bool control = std::any_of(name.cbegin(), name.cend(), [](QChar c) { return c.category() == QChar::Other_Control; });
    if (name.startsWith(QLatin1Char('.')) || control) {
        note(u"performDateFormatString",
             QStringLiteral("unsafe daily folder name from pattern [") + pattern + QStringLiteral("], none used"));
        return {};
    }
    return name;
}

std::optional<QString> getDailyFolderNameC(const QString &dateFormatKey)
{
    const QString key = dateFormatKey.isEmpty() ? QString(cPrefDailyFolderDateFormat) : dateFormatKey;
    const auto pattern = Settings::shared().optionalString(key);
    if (!pattern)
        return std::nullopt;
    return performDateFormatString(*pattern);
}

QString dailyFolderPath(const QString &folder, const QString &name)
{
    if (name.isEmpty())
        return folder;
    // The folder may not exist yet: its nearest existing ancestor decides.
    QString existing = folder;
    while (!existing.isEmpty() && existing != QLatin1String("/") && !QFileInfo(existing).isDir())
        existing = QFileInfo(existing).path();
    return QDir::cleanPath(folder + QLatin1Char('/') + nameForFolder(existing.isEmpty() ? QStringLiteral("/") : existing, name));
}

std::optional<QString> getDuplicateFolderPathC(const QString &folderPathKey, const QString &dateFormatKey)
{
    const QString op = QStringLiteral("getDuplicateFolderPathC(_:withDateFormat:)");
    const auto folder = Settings::shared().optionalString(folderPathKey);
    if (!folder || folder->isEmpty()) {
        note(op, QStringLiteral("....destFolderPath is NIL??????"));
        return std::nullopt;
    }
    QString result = *folder;
    if (const auto name = getDailyFolderNameC(dateFormatKey); name && !name->isEmpty())
        result = dailyFolderPath(result, *name);
    note(op, QStringLiteral("Final destFolderPath = ") + result);
    return result;
}

bool validateFolderPath2(const QVariantMap &params)
{
    return foldervalidation::validate(params, false);
}

bool validateFolderPath(const QVariantMap &params)
{
    return foldervalidation::validate(params, false);
}

std::optional<QString> getValidatedPathFor(const QString &key)
{
    if (key != cPrefSourcePath && key != cPrefDestinationPath && key != cPrefHotFolderPath)
        throw PreferencesError(PreferencesError::someerror1);
    Settings &settings = Settings::shared();
    const QVariantMap params = settings.mapValue(cPrefFolderParams).value(key).toMap();
    if (params.isEmpty() || !validateFolderPath2(params)) {
        showPathAlert(QStringLiteral("Invalid/Missing Path of Type: ") + key + QStringLiteral("\n\n"));
        return std::nullopt;
    }
    return settings.optionalString(key);
}

std::optional<QString> getValidatedPathToSourcePath()
{
    return getterFor(QStringLiteral("getValidatedPathToSourcePath()"), cPrefSourcePath);
}

std::optional<QString> getValidatedPathToDestinationPath()
{
    return getterFor(QStringLiteral("getValidatedPathToDestinationPath()"), cPrefDestinationPath);
}

std::optional<QString> getValidatedPathToHotFolderPath()
{
    return getterFor(QStringLiteral("getValidatedPathToHotFolderPath()"), cPrefHotFolderPath);
}

std::optional<QString> getValidatedPathToSourcePathForHotFolderMode()
{
    return getterFor(QStringLiteral("getValidatedPathToSourcePathForHotFolderMode()"), cPrefSourcePathForHotFolderMode);
}

std::optional<QString> getSourceFolderPath(bool forHotFolderMode)
{
    note(u"getSourceFolderPath(_:)",
         QStringLiteral("inside getSourceFolderPath(_:) forhotfoldermode = ")
             + (forHotFolderMode ? QStringLiteral("true") : QStringLiteral("false")));
    return forHotFolderMode ? getValidatedPathToSourcePathForHotFolderMode() : getValidatedPathToSourcePath();
}

std::optional<QString> getHotFolderPath()
{
    const auto path = Settings::shared().optionalString(cPrefHotFolderPath);
    if (!path)
        note(u"getHotFolderPath()", QStringLiteral("getHotFolderPath() pathAt[prefHotFolderPath] is nil????"));
    return path;
}

bool validateHotFolderStuff(bool reportFailure)
{
    const bool ok = foldervalidation::validate(foldervalidation::requestForFolder(cPrefHotFolderPath), false);
    note(u"validateHotFolderStuff()", ok ? QStringLiteral("hot folder is valid....") : QStringLiteral("hot folder is NOT valid...."));
    if (!ok && reportFailure)
        showPathAlert(QStringLiteral("Invalid/Missing HOT Folder Path\n"));
    return ok;
}

} // namespace sorrelby::preferenceops
