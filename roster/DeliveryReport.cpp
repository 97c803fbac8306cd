#include "roster/DeliveryReport.h"

#include "platform/FileOps.h"
#include "platform/Log.h"
#include "roster/ReportFiles.h"
#include "roster/RosterController.h"
#include "roster/ShootReport.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"
#include "shoot/ShootEngine.h"

#include <QDir>
#include <QMap>

namespace sorrelby {

namespace {

void note(const QString &what)
{
    logOp(u"DeliveryReporter", u"operationFinished", what);
}

// A name no file has yet: a delivery never writes over anything.
QString freeReportPath(const QString &folder, const QDateTime &now)
{
    const QString base = folder + QStringLiteral("/sorrelby-report-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString path = base + QStringLiteral(".csv");
    for (int n = 2; fileops::exists(path); ++n)
        path = base + QStringLiteral("-%1.csv").arg(n);
    return path;
}

} // namespace

DeliveryReportResult writeDeliveryReports(const DeliveryRunResult &delivery, std::shared_ptr<const Roster> roster, int nameFormatTag,
                                          const QDateTime &now)
{
    QMap<QString, QList<DeliveredPhoto>> byFolder;
    for (const DeliveryBatchResult &batch : delivery.batches) {
        for (const DeliveredFile &file : batch.delivered)
            byFolder[QDir::cleanPath(batch.destPath)].append({file.sourceName, file.deliveredPath});
    }
    DeliveryReportResult result;
    for (auto it = byFolder.cbegin(); it != byFolder.cend(); ++it) {
        if (it.value().isEmpty())
            continue;
        const ShootReport report = makeShootReport(it.key(), roster, readDeliveredPhotos(it.value(), nameFormatTag));
        for (size_t s = 0; s < report.check.subjects.size(); ++s) {
            const SubjectStatus &status = report.check.subjects[s];
            if (status.has(MarkNotOnRoster))
                result.toLookAt << markText(MarkNotOnRoster) + QStringLiteral(": ") + status.code;
        }
        const QString path = freeReportPath(it.key(), now);
        if (const FileResult written = fileops::writeFileAtomically(path, reportCsv(report)); written)
            result.written << path;
        else
            result.errors << path + QStringLiteral(": ") + written.error;
    }
    return result;
}

DeliveryReporter::DeliveryReporter(ShootEngines &engines, Settings &settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
{
    // On the queue that delivered, before its next operation touches the folder.
    connect(&engines, &ShootEngines::operationFinished, this, &DeliveryReporter::operationFinished, Qt::DirectConnection);
}

void DeliveryReporter::operationFinished(const ShootResult &result)
{
    if (!result.delivery || (result.operation != ShootOperation::Deliver && result.operation != ShootOperation::HotFolderBatch))
        return;
    if (!m_settings.boolValue(cPrefWriteDeliveryReport))
        return;
    const QString rosterPath = rosterPathForFolder(m_settings, result.folder);
    if (rosterPath.isEmpty())
        return;
    auto roster = std::make_shared<const Roster>(Roster::fromFile(rosterPath));
    if (!roster->isUsable()) {
        note(QStringLiteral("no report: the roster %1 cannot be used").arg(rosterPath));
        return;
    }
    const int tag = m_settings.intValue(cPrefOriginalNameFormatTag);
    const DeliveryReportResult written = writeDeliveryReports(*result.delivery, roster, tag, QDateTime::currentDateTime());
    for (const QString &path : written.written)
        note(QStringLiteral("report of the delivery written: ") + path);
    for (const QString &error : written.errors)
        note(QStringLiteral("report of the delivery NOT written: ") + error);
    // Nobody is asked in hot folder mode: the log says which codes went out
    // that the class list does not know.
    for (const QString &line : written.toLookAt)
        note(line);
}

} // namespace sorrelby
