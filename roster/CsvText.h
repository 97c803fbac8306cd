#pragma once
// Comma-separated text as spreadsheets write it: UTF-8 with or without a
// byte-order mark, fields separated by "," or ";" (whichever the first record
// uses more), quoted fields with doubled quotes and line breaks inside, lines
// ended by LF, CRLF or CR. Reading keeps the line each record starts on, so
// that a problem can name it. Stateless; safe from any thread.

#include <QByteArray>
#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace sorrelby {

struct CsvRecord {
    int line = 0; // 1-based line of the record's first character
    QStringList fields;

    // Blank lines and rows of empty cells (";;;" from a spreadsheet).
    bool isBlank() const;
};

struct CsvProblem {
    int line = 0;
    int column = 0; // 1-based; 0 when the problem is not in one field
    QString message;

    QString text() const; // "line 4, column 2: ..."
};

struct CsvTable {
    QChar delimiter = QLatin1Char(',');
    QList<CsvRecord> records;          // blank ones included, so line numbers stay honest
    std::optional<CsvProblem> problem; // text that is not UTF-8, a quote never closed
};

CsvTable parseCsv(const QByteArray &bytes);

// One record as a line of CSV (with its line break): fields holding the
// delimiter, a quote or a line break are quoted.
QByteArray csvLine(const QStringList &fields, QChar delimiter = QLatin1Char(','));

// A field that a spreadsheet would run as a formula ("=", "+", "-", "@",
// tab or carriage return first) with a "'" in front, so that a name or file
// name from outside never runs when the report is opened.
QString spreadsheetSafe(const QString &field);

} // namespace sorrelby
