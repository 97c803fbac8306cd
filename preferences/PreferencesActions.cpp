#include "preferences/PreferencesActions.h"

#include "naming/FileNameScheme.h"
#include "platform/FileRevealer.h"
#include "platform/FolderAbilities.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/UserFolders.h"
#include "settings/CompanionSettings.h"
#include "settings/FolderReference.h"
#include "settings/PreferenceOps.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"
#include "support/LogFile.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <unicode/datefmt.h>
#include <unicode/fpositer.h>
#include <unicode/smpdtfmt.h>

#include <unistd.h>

#include <memory>

namespace sorrelby {

namespace {

const QString cClass = QStringLiteral("PreferencesViewController");

void note(QStringView operation, const QString &detail = {})
{
    logOp(cClass, operation, detail);
}

icu::Locale userLocale()
{
    return icu::Locale(QLocale::system().name().toLatin1().constData());
}

icu::UnicodeString toIcu(const QString &text)
{
    return icu::UnicodeString(reinterpret_cast<const UChar *>(text.utf16()), int32_t(text.size()));
}

QString fromIcu(const icu::UnicodeString &text)
{
    return QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
}

QString roleName(FolderRole role)
{
    switch (role) {
    case FolderRole::Source:
        return QStringLiteral("Source");
    case FolderRole::Destination:
        return QStringLiteral("Destination");
    case FolderRole::HotFolder:
        return QStringLiteral("Hot");
    }
    return {};
}

QString aliasKey(FolderRole role)
{
    return PreferencesActions::pathKey(role) + QStringLiteral("AliasData");
}

QString validKey(FolderRole role)
{
    return PreferencesActions::pathKey(role) + QStringLiteral("IsValid");
}

// A stored or chosen folder as one comparable path: tilde expanded, clean,
// symbolic links resolved where the folder exists.
QString comparable(const QString &path)
{
    const QString clean = QDir::cleanPath(userfolders::expandTilde(path));
    const QString canonical = QFileInfo(clean).canonicalFilePath();
    return canonical.isEmpty() ? clean : canonical;
}

bool isWithin(const QString &inner, const QString &outer)
{
    return outer == QLatin1String("/") ? inner != outer : inner.startsWith(outer + QLatin1Char('/'));
}

void showRefusal(const QString &message, const QString &path, const QString &reason)
{
    Alert alert;
    alert.style = AlertStyle::Critical;
    alert.messageText = message;
    alert.informativeText = QLatin1Char('\n') + path + QStringLiteral("\n\n") + reason + QStringLiteral("\n\n");
    AlertPresenter::shared().runModal(alert);
}

// Stores a folder in a role: reference, validity and path.
void storeFolder(FolderRole role, const QString &path)
{
    Settings &settings = Settings::shared();
    settings.setValue(validKey(role), MyBookmarkDataKit::savePath(path, aliasKey(role)));
    settings.setValue(PreferencesActions::pathKey(role), path);
    settings.flush();
}

} // namespace

QString PreferencesActions::pathKey(FolderRole role)
{
    switch (role) {
    case FolderRole::Source:
        return cPrefSourcePath;
    case FolderRole::Destination:
        return cPrefDestinationPath;
    case FolderRole::HotFolder:
        return cPrefHotFolderPath;
    }
    return {};
}

std::optional<FolderRole> PreferencesActions::roleOfPathKey(const QString &key)
{
    for (FolderRole role : {FolderRole::Source, FolderRole::Destination, FolderRole::HotFolder}) {
        if (key == pathKey(role))
            return role;
    }
    return std::nullopt;
}

QString PreferencesActions::stylePattern(int style)
{
    static const icu::DateFormat::EStyle styles[]
        = {icu::DateFormat::kShort, icu::DateFormat::kMedium, icu::DateFormat::kLong, icu::DateFormat::kFull};
    if (style < 0 || style > 3)
        return {};
    std::unique_ptr<icu::DateFormat> formatter(icu::DateFormat::createDateInstance(styles[style], userLocale()));
    auto *simple = dynamic_cast<icu::SimpleDateFormat *>(formatter.get());
    if (!simple)
        return {};
    icu::UnicodeString pattern;
    simple->toPattern(pattern);
    return fromIcu(pattern);
}

std::optional<QString> PreferencesActions::dailyFolderPatternProblem(const QString &pattern, const QDateTime &now)
{
    if (pattern.trimmed().isEmpty())
        return QStringLiteral("The date format is empty.");
    UErrorCode status = U_ZERO_ERROR;
    icu::SimpleDateFormat formatter(toIcu(pattern), userLocale(), status);
    icu::FieldPositionIterator fields;
    icu::UnicodeString out;
    if (U_SUCCESS(status))
        formatter.format(UDate(now.toMSecsSinceEpoch()), out, &fields, status);
    if (U_FAILURE(status))
        return QStringLiteral("\"") + pattern
            + QStringLiteral("\" is not a date format (letters that are not date fields must be in single quotes).");
    icu::FieldPosition field;
    if (!fields.next(field))
        return QStringLiteral("\"") + pattern + QStringLiteral("\" holds no date: every daily folder would get the same name.");
    // A weekday, a time or an era alone names no day: photos of different
    // dates would share one folder.
    bool dated = false;
    do {
        switch (field.getField()) {
        case UDAT_YEAR_FIELD:
        case UDAT_YEAR_WOY_FIELD:
        case UDAT_EXTENDED_YEAR_FIELD:
        case UDAT_YEAR_NAME_FIELD:
        case UDAT_QUARTER_FIELD:
        case UDAT_STANDALONE_QUARTER_FIELD:
        case UDAT_MONTH_FIELD:
        case UDAT_STANDALONE_MONTH_FIELD:
        case UDAT_WEEK_OF_YEAR_FIELD:
        case UDAT_WEEK_OF_MONTH_FIELD:
        case UDAT_DATE_FIELD:
        case UDAT_DAY_OF_YEAR_FIELD:
        case UDAT_JULIAN_DAY_FIELD:
            dated = true;
            break;
        default:
            break;
        }
    } while (!dated && fields.next(field));
    if (!dated)
        return QStringLiteral("\"") + pattern
            + QStringLiteral("\" holds no date field (a year, month, week or day such as yyyy, MM or dd): photos of different dates would "
                             "share one daily folder.");
    // Month and weekday names change the length: try a day of every month.
    for (int month = 0; month < 12; ++month) {
        const QString name = preferenceops::performDateFormatString(pattern, now.addMonths(month).addDays(month));
        if (!isSafeCode(name))
            return QStringLiteral("\"") + pattern + QStringLiteral("\" gives the folder name \"") + printablePayload(name)
                + QStringLiteral("\", which is not one safe folder name (empty, too long, a leading dot or control characters).");
    }
    return std::nullopt;
}

DateFormatResult PreferencesActions::ibClickOnDateFormatter(int tag, const QDateTime &now)
{
    const QString op = QStringLiteral("ibClickOnDateFormatter(_:)");
    Settings &settings = Settings::shared();
    DateFormatResult result;
    bool ownPattern = false;
    switch (tag) {
    case 0:
        break;
    case 1:
        result.pattern = QStringLiteral("MM-dd-yyyy");
        break;
    case 2:
    case 3:
    case 4:
    case 5:
        result.pattern = stylePattern(tag - 2);
        break;
    case 6:
        ownPattern = true;
        result.pattern = settings.stringValue(cPrefUserDefinedDateFormatter).trimmed();
        if (result.pattern.isEmpty())
            result.pattern = cDefaultUserDateFormat;
        break;
    default:
        result.problem = QStringLiteral("Unknown date format ") + QString::number(tag);
        note(op, result.problem);
        return result;
    }
    if (!result.pattern.isEmpty()) {
        if (const auto problem = dailyFolderPatternProblem(result.pattern, now)) {
            result.problem = *problem;
            note(op, QStringLiteral("refused: ") + *problem);
            return result;
        }
    }
    result.accepted = true;
    settings.setValue(cPrefDateFormatterTag, tag);
    settings.setValue(cPrefEnableUserDefinedDateFormatter, !ownPattern);
    if (result.pattern.isEmpty()) {
        result.example = cNotCreatingSubFolder;
        settings.setValue(cPrefDailyFolderDateFormatExample, result.example);
        settings.remove(cPrefDailyFolderDateFormat);
        // A factory pattern would answer again: an empty one means "none".
        if (settings.contains(cPrefDailyFolderDateFormat))
            settings.setValue(cPrefDailyFolderDateFormat, QString());
    } else {
        result.example = preferenceops::performDateFormatString(result.pattern, now);
        result.notice = dailyFolderNotice(result.example);
        note(op, QStringLiteral("dateformatstring = ") + result.pattern);
        settings.setValue(cPrefDailyFolderDateFormat, result.pattern);
        settings.setValue(cPrefDailyFolderDateFormatExample, result.example);
    }
    return result;
}

DateFormatResult PreferencesActions::setUserDefinedDateFormatter(const QString &text, const QDateTime &now)
{
    Settings &settings = Settings::shared();
    const QString trimmed = text.trimmed();
    DateFormatResult result;
    if (const auto problem = dailyFolderPatternProblem(trimmed.isEmpty() ? QString(cDefaultUserDateFormat) : trimmed, now)) {
        result.problem = *problem;
        note(u"setUserDefinedDateFormatter",
             QStringLiteral("refused, keeping [") + settings.stringValue(cPrefUserDefinedDateFormatter) + QStringLiteral("]: ") + *problem);
        return result;
    }
    settings.setValue(cPrefUserDefinedDateFormatter, trimmed);
    if (settings.intValue(cPrefDateFormatterTag) == 6)
        return ibClickOnDateFormatter(6, now);
    result.accepted = true;
    result.pattern = trimmed;
    result.example = settings.stringValue(cPrefDailyFolderDateFormatExample);
    return result;
}

QString PreferencesActions::dailyFolderNotice(const QString &name)
{
    const std::optional<QString> main = Settings::shared().optionalString(cPrefDestinationPath);
    if (name.isEmpty() || !main || main->trimmed().isEmpty() || !QFileInfo(userfolders::expandTilde(*main)).isDir())
        return {};
    const QString onDrive = QFileInfo(preferenceops::dailyFolderPath(userfolders::expandTilde(*main), name)).fileName();
    if (onDrive == name)
        return {};
    const FolderAbilities drive = folderAbilities(userfolders::expandTilde(*main));
    note(u"dailyFolderNotice", QStringLiteral("the main folder cannot hold [") + name + QStringLiteral("]: ") + drive.describe());
    return QStringLiteral("The main folder's drive (%1) cannot hold : \\ * ? \" < > | or a trailing dot or blank in a folder name; "
                          "the daily folder will be named %2")
        .arg(drive.type, onDrive);
}

FolderPanelSpec PreferencesActions::beginChoosingFolder(FolderRole role)
{
    Settings &settings = Settings::shared();
    // No hot folder pass may move photos while folders are being changed.
    if (!m_rememberedHotFolderMode)
        m_rememberedHotFolderMode = settings.boolValue(cPrefEnableHotFolderMode);
    settings.setValue(cPrefEnableHotFolderMode, false);
    settings.flush();

    FolderPanelSpec spec;
    switch (role) {
    case FolderRole::HotFolder:
        spec = {QStringLiteral("Select As Hot Folder"),
                QStringLiteral("Select HOT Folder"),
                QStringLiteral("Please Select the Hot Folder..."),
                {},
                {}};
        break;
    case FolderRole::Source:
        spec = {QStringLiteral("Select As Source Folder"),
                QStringLiteral("Select Source Folder"),
                QStringLiteral("Please Select the Source Sorrelby Folder..."),
                {},
                {}};
        break;
    case FolderRole::Destination:
        spec = {QStringLiteral("Select As Destination Folder"),
                QStringLiteral("Select Destination Folder Path"),
                QStringLiteral("Please Select The Destination Folder Path..."),
                {},
                {}};
        break;
    }
    const auto stored = settings.optionalString(pathKey(role));
    spec.startFolder = stored && !stored->isEmpty() ? QDir::cleanPath(userfolders::expandTilde(*stored))
                                                    : userfolders::home() + QStringLiteral("/Desktop");
    for (FolderRole other : {FolderRole::Source, FolderRole::Destination, FolderRole::HotFolder}) {
        if (other == role)
            continue;
        if (const auto path = settings.optionalString(pathKey(other)); path && !path->isEmpty())
            spec.badPaths << comparable(*path);
    }
    return spec;
}

bool PreferencesActions::finishChoosingFolder(FolderRole role, const std::optional<QString> &chosen)
{
    const QString op = QStringLiteral("ibChange") + roleName(role) + QStringLiteral("Path(_:)");
    Settings &settings = Settings::shared();
    settings.setValue(cPrefEnableHotFolderMode, m_rememberedHotFolderMode.value_or(settings.boolValue(cPrefEnableHotFolderMode)));
    m_rememberedHotFolderMode.reset();
    if (!chosen || chosen->isEmpty()) {
        note(op, QStringLiteral("cancelled...."));
        return false;
    }
    const QString path = QDir::cleanPath(QFileInfo(*chosen).absoluteFilePath());
    note(op, QStringLiteral("selected folder = ") + path);
    if (const auto problem = useFolder(role, path)) {
        note(op, QStringLiteral("refused: ") + *problem);
        showRefusal(QStringLiteral("!!! Unable to Use This Folder !!!"), path, *problem);
        return false;
    }
    if (role == FolderRole::Source)
        NotificationCenter::defaultCenter().post(QStringLiteral("vemoNotificationChangedSourcePath"));
    else if (role == FolderRole::Destination)
        note(op, QStringLiteral("daily folder would be as optional: ") + preferenceops::getDailyFolderNameC().value_or(QString()));
    return true;
}

std::optional<QString> PreferencesActions::useFolder(FolderRole role, const QString &path)
{
    if (auto problem = folderProblem(role, path))
        return problem;
    storeFolder(role, path);
    return std::nullopt;
}

std::optional<QString> PreferencesActions::folderProblem(FolderRole role, const QString &path)
{
    const QFileInfo info(path);
    if (!info.isDir())
        return QStringLiteral("This folder does not exist.");
    if (::access(QFile::encodeName(path).constData(), W_OK | X_OK) != 0)
        return QStringLiteral("Sorrelby cannot write into this folder: photos could not be moved into or out of it.");
    return nestingProblem(role, path);
}

std::optional<QString> PreferencesActions::nestingProblem(FolderRole role, const QString &path)
{
    // Nesting either way is refused: a card copy sets aside the photos of
    // the source folder, and a watched or delivered folder inside another
    // would see photos twice.
    const QString mine = comparable(path);
    const Settings &settings = Settings::shared();
    for (FolderRole other : {FolderRole::Source, FolderRole::Destination, FolderRole::HotFolder}) {
        if (other == role)
            continue;
        const auto stored = settings.optionalString(pathKey(other));
        if (!stored || stored->isEmpty())
            continue;
        const QString theirs = comparable(*stored);
        const QString name = roleName(other) + QStringLiteral(" folder");
        if (mine == theirs)
            return QStringLiteral("This folder is already the ") + name + QStringLiteral(": one folder cannot serve in two roles.");
        if (isWithin(mine, theirs))
            return QStringLiteral("This folder lies inside the ") + name + QStringLiteral(" (") + theirs + QStringLiteral(").");
        if (isWithin(theirs, mine))
            return QStringLiteral("This folder holds the ") + name + QStringLiteral(" (") + theirs + QStringLiteral(").");
    }
    return std::nullopt;
}

Alert PreferencesActions::hotFolderModeAlert()
{
    const QString verb = Settings::shared().boolValue(cPrefEnableHotFolderMode) ? QStringLiteral("DISABLE") : QStringLiteral("ENABLE");
    Alert alert;
    alert.style = AlertStyle::Critical;
    alert.messageText = QStringLiteral("WARNING:  ") + verb + QStringLiteral(" Hot Folder Mode ??");
    alert.informativeText = QStringLiteral("Are you sure you want to ") + verb + QStringLiteral(" Hot Folder Mode?\n\n");
    alert.buttons = {QStringLiteral("Cancel"), verb + QStringLiteral(" Hot Folder Mode")};
    return alert;
}

void PreferencesActions::applyHotFolderModeAnswer(AlertAnswer answer)
{
    if (answer != 1)
        return;
    Settings &settings = Settings::shared();
    const bool on = !settings.boolValue(cPrefEnableHotFolderMode);
    note(u"ibClickedOnEnableHotFolderAction(_:)",
         QString(cPrefEnableHotFolderMode) + QStringLiteral(" = ") + (on ? QStringLiteral("true") : QStringLiteral("false")));
    settings.setValue(cPrefEnableHotFolderMode, on);
}

QString PreferencesActions::hotFolderInfoString()
{
    return Settings::shared().boolValue(cPrefEnableHotFolderMode) ? QString(cHotFolderEnabledInfo) : QString(cHotFolderDisabledInfo);
}

QString PreferencesActions::hotFolderButtonTitle()
{
    return Settings::shared().boolValue(cPrefEnableHotFolderMode) ? QStringLiteral("Disable...") : QStringLiteral("Enable...");
}

void PreferencesActions::ibClickedOnAlwaysUseOstrinPath()
{
    const QString op = QStringLiteral("ibClickedOnAlwaysUseOstrinPath(_:)");
    Settings &settings = Settings::shared();
    if (settings.boolValue(cPrefAlwaysUseOstrinAsSourcePath)) {
        if (const auto saved = getOstrinSavePath(); saved && !saved->trimmed().isEmpty()) {
            const QString folder = QDir::cleanPath(userfolders::expandTilde(saved->trimmed()));
            note(op, QStringLiteral("....FROM OSTRIN folder = ") + folder);
            if (!QDir::isAbsolutePath(folder)) {
                note(op, QStringLiteral("....not an absolute path, left alone"));
            } else {
                if (!QFileInfo(folder).isDir()) {
                    note(op, QStringLiteral("....need to create folder = ") + folder);
                    if (!QDir().mkpath(folder))
                        note(op, QStringLiteral("....createDirectory[") + folder + QStringLiteral("] has ERROR = could not create"));
                }
                if (QFileInfo(folder).isDir()) {
                    if (const auto problem = folderProblem(FolderRole::Source, folder))
                        showRefusal(QStringLiteral("!!! Unable to Use Ostrin Folder !!!"), folder, *problem);
                    else
                        storeFolder(FolderRole::Source, folder);
                }
            }
        }
    }
    NotificationCenter::defaultCenter().post(QStringLiteral("vemoNotificationChangedSourcePath"));
}

bool PreferencesActions::ibHandleRadioSet1(int tag)
{
    if (tag != int(ReassignMode::defaultmode) && tag != int(ReassignMode::mode202))
        return false;
    note(u"ibHandleRadioSet1(_:)", QStringLiteral("selected tag = ") + QString::number(tag));
    Settings::shared().setValue(cPrefRadioSet1SelectedTag, tag);
    return true;
}

QStringList PreferencesActions::crashNotes()
{
    QStringList notes;
    const QDir folder(userfolders::logFolder());
    const QStringList names = folder.entryList({QStringLiteral(SORRELBY_BUNDLE_NAME "_*.crash")}, QDir::Files, QDir::Name);
    for (const QString &name : names)
        notes << folder.filePath(name);
    return notes;
}

void PreferencesActions::ibRevealInFinder(int tag, FileRevealer &revealer)
{
    const QString op = QStringLiteral("ibRevealInFinder(_:)");
    auto openIfFolder = [&](const std::optional<QString> &path) {
        if (path && QFileInfo(*path).isDir())
            revealer.openFolder(*path);
    };
    QStringList items;
    switch (tag) {
    case cRevealSourceFolder:
        openIfFolder(preferenceops::getValidatedPathToSourcePath());
        return;
    case cRevealDestinationFolder:
        openIfFolder(preferenceops::getValidatedPathToDestinationPath());
        return;
    case cRevealHotFolder:
        openIfFolder(preferenceops::getValidatedPathToHotFolderPath());
        return;
    case cRevealTemporaryFolder:
        items << userfolders::temporaryFolder();
        break;
    case cRevealLogFiles: {
        const QString log = userfolders::logFilePath();
        items << log << TRUVO_Log::oldLogFilePath(log);
        break;
    }
    case cRevealCrashNotes:
        items = crashNotes();
        if (items.isEmpty())
            note(op, QStringLiteral("no response back..."));
        else
            note(op, QStringLiteral("found some crash logs ") + items.join(QStringLiteral(", ")));
        break;
    default:
        return;
    }
    QStringList existing;
    for (const QString &item : items) {
        if (QFileInfo::exists(item))
            existing << item;
    }
    if (existing.isEmpty()) {
        note(op, QStringLiteral("Nothing in urls to select in finder..."));
        return;
    }
    revealer.showItems(existing);
}

} // namespace sorrelby
