#include "reassign/ReassignRenames.h"

#include "naming/FileNameScheme.h"
#include "naming/PhotoRename.h"
#include "naming/RenameJournal.h"
#include "platform/Log.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QDir>
#include <QUrl>

#include <algorithm>

namespace sorrelby {

namespace {

const QString cClass = QStringLiteral("ReassignViewController");

void note(QStringView operation, const QString &detail)
{
    logOp(cClass, operation, detail);
}

// Records one rename in the report.
void record(const PhotoRename &rename, ReassignReport &report, QStringView operation)
{
    report.kept << rename.companionProblems;
    switch (rename.outcome) {
    case PhotoRename::Renamed:
        note(operation, QStringLiteral("newly named file = ") + rename.to);
        report.renamed.insert(rename.from, rename.to);
        break;
    case PhotoRename::AlreadyNamed:
        if (rename.foundRenamed) {
            note(operation, rename.from + QStringLiteral(" was renamed before: ") + rename.to);
            report.renamedBefore.insert(rename.from, rename.to);
        } else {
            note(operation, QStringLiteral("item already has our base code - nothing to do: ") + fileNameOf(rename.from));
            report.unchanged << rename.from;
        }
        break;
    case PhotoRename::Kept:
        note(operation,
             QStringLiteral("....oops FileManager.default.moveItem error: ") + rename.why + QStringLiteral(" (") + rename.from
                 + QStringLiteral(" keeps its name)"));
        report.kept << fileNameOf(rename.from) + QStringLiteral(": ") + rename.why;
        break;
    }
}

} // namespace

QString firstScanLine(const QString &text)
{
    QString lines = text.trimmed();
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    lines.replace(QStringLiteral("\n\n"), QStringLiteral("\n"));
    lines = lines.trimmed();
    return lines.section(QLatin1Char('\n'), 0, 0).trimmed();
}

bool scanLengthAccepted(const QString &code, bool checkLength, int requiredLength)
{
    return !checkLength || code.isEmpty() || code.size() >= requiredLength;
}

QString photoPathOf(const QString &location)
{
    const QUrl url(location);
    if (url.isLocalFile())
        return QDir::cleanPath(url.toLocalFile());
    return location;
}

QStringList sortedByUrl(const QStringList &paths)
{
    QStringList sorted = paths;
    auto key = [](const QString &path) { return QUrl::fromLocalFile(photoPathOf(path)).toString(QUrl::FullyEncoded); };
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&](const QString &a, const QString &b) { return key(a).compare(key(b), Qt::CaseSensitive) < 0; });
    return sorted;
}

std::optional<ReassignReport> reassignAllToCode(const QStringList &paths, const QString &scannedCode)
{
    QStringList photos;
    photos.reserve(paths.size());
    for (const QString &location : paths)
        photos << photoPathOf(location);
    // One undo step for the whole reassign.
    std::optional<RenameJournal::Recording> step;
    if (!photos.isEmpty())
        step.emplace(RenameJournal(folderOf(photos.first()))
                         .record(JournalKind::Reassign, QStringLiteral("Reassign to ") + printablePayload(scannedCode.trimmed())));
    const std::optional<RenameRun> run = renamePhotosToCode(photos, scannedCode);
    if (!run) {
        note(u"doReassign3(_:)", QStringLiteral("no usable code in [") + printablePayload(scannedCode) + QStringLiteral("]"));
        return std::nullopt;
    }
    ReassignReport report;
    for (const PhotoRename &rename : run->renames)
        record(rename, report, u"doReassign3(_:)");
    return report;
}

CodePhotoRenames reassignCodePhotos(const QMap<QString, QString> &codes, const QStringList &fullList)
{
    CodePhotoRenames result;
    ReassignReport &report = result.report;
    const int tag = Settings::shared().intValue(cPrefOriginalNameFormatTag);
    std::optional<RenameJournal::Recording> step;
    if (!codes.isEmpty())
        step.emplace(
            RenameJournal(folderOf(photoPathOf(codes.firstKey()))).record(JournalKind::Reassign, QStringLiteral("Reassign Cards")));
    for (auto it = codes.cbegin(); it != codes.cend(); ++it) {
        const QString path = photoPathOf(it.key());
        if (it.value().trimmed().isEmpty()) {
            note(u"doReassignBarcodeArrayOnly()", QStringLiteral("empty code - skipping ") + fileNameOf(path));
            continue;
        }
        record(renamePhotoToCardCode(path, it.value(), tag), report, u"doReassignBarcodeArrayOnly()");
    }
    for (const QString &location : fullList)
        result.decodeList << report.renamed.value(photoPathOf(location), location);
    return result;
}

QString requiredLengthPrompt(int requiredLength)
{
    return QStringLiteral("( Barcode must be ") + QString::number(requiredLength) + QStringLiteral(" digits. )");
}

QString unknownButtonTitle(qsizetype count)
{
    const std::optional<QString> format = Settings::shared().optionalString(cPrefDoReassignAllTheseToUnknownStringFormat);
    if (!format)
        return QStringLiteral("ReAssign These Photos As \"UNKNOWN\"");
    QString title = *format;
    return title.replace(QStringLiteral("[val1]"), QString::number(count));
}

QString reassignPrompt()
{
    Settings &settings = Settings::shared();
    QString prompt = settings.stringValue(cPrefReassignPromptString);
    if (!settings.contains(cPrefReassignPromptDict))
        return prompt;
    const QVariantMap prompts = settings.mapValue(cPrefReassignPromptDict);
    if (prompts.contains(QStringLiteral("unknown")))
        prompt = prompts.value(QStringLiteral("unknown")).toString();
    const QVariant mode = settings.value(cPrefRadioSet1SelectedTag);
    if (mode.isValid() && prompts.contains(mode.toString())) {
        prompt = prompts.value(mode.toString()).toString();
        note(u"doNotification1(_:)", QStringLiteral("found key = ") + mode.toString() + QStringLiteral(" prompt = ") + prompt);
    }
    return prompt;
}

} // namespace sorrelby
