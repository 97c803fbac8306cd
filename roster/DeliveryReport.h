#pragma once
// The report of what a delivery delivered, written beside the photos in the
// daily folder when the shoot has a roster and cPrefWriteDeliveryReport is
// on: the school's sheet of who was photographed, and where each photo went.
// One CSV file per delivery ("sorrelby-report-<date>-<time>.csv"), never
// over an existing file.
//
// DeliveryReporter follows a registry of shoot engines and writes the report
// on the engine's queue right after each delivery and hot folder batch, so
// the unattended mode gets it too; the codes delivered that the roster does
// not know go to the log there, since nobody is asked.

#include "roster/Roster.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>

#include <memory>

namespace sorrelby {

class Settings;
class ShootEngines;
struct DeliveryRunResult;
struct ShootResult;

struct DeliveryReportResult {
    QStringList written; // report files
    QStringList errors;
    QStringList toLookAt; // "not on the roster: C7" for the codes delivered that no row has
};

// Writes one report per folder the run placed photos in (its batches'
// destinations). Nothing when nothing was delivered.
DeliveryReportResult writeDeliveryReports(const DeliveryRunResult &delivery, std::shared_ptr<const Roster> roster, int nameFormatTag,
                                          const QDateTime &now);

class DeliveryReporter : public QObject {
    Q_OBJECT
public:
    DeliveryReporter(ShootEngines &engines, Settings &settings, QObject *parent = nullptr);

    // What the reporter does after a finished operation (the engine's queue).
    void operationFinished(const ShootResult &result);

private:
    Settings &m_settings;
};

} // namespace sorrelby
