#pragma once
// The report of a shoot as CSV and JSON: one row per photo (file, code, name,
// group, capture time, camera, card or portrait, the subject's marks, and the
// delivered path once delivered), and for CSV one more row per missing
// subject, so the sheet the school gets names them too. JSON adds a summary
// and one entry per subject. Pure functions; safe from any thread.

#include "roster/ShootReport.h"

#include <QByteArray>
#include <QString>

namespace sorrelby {

enum class ReportFormat { Csv, Json, Html };

// "csv", "json", "html" (any case); none for anything else.
std::optional<ReportFormat> reportFormatNamed(const QString &name);

// UTF-8 with a byte-order mark (spreadsheets then read names right), comma
// separated, CRLF line ends; the roster's extra columns after ours.
QByteArray reportCsv(const ShootReport &report);
QByteArray reportJson(const ShootReport &report);

// The header of reportCsv, for readers of it.
QStringList reportCsvHeader();

// Whether an existing file is a report of ours in that format, so that
// writing a new one over it loses nothing the user made.
bool isReportFile(const QString &path, ReportFormat format);

} // namespace sorrelby
