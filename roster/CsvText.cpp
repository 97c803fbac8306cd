#include "roster/CsvText.h"

#include <QStringDecoder>

namespace sorrelby {

namespace {

constexpr char cUtf8Bom[] = "\xEF\xBB\xBF";

// The line of the first byte that is not UTF-8. Only on the error path, so
// decoding line by line costs nothing in the common case; "\n" never occurs
// inside a UTF-8 sequence.
int lineOfInvalidUtf8(const QByteArray &bytes)
{
    int line = 1;
    qsizetype start = 0;
    while (start <= bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = decoder.decode(QByteArrayView(bytes).sliced(start, end - start));
        Q_UNUSED(text);
        if (decoder.hasError())
            return line;
        ++line;
        start = end + 1;
    }
    return line;
}

// The delimiter the first record uses more often outside quotes; "," when it
// uses neither (a file of one column).
QChar detectDelimiter(const QString &text)
{
    int commas = 0;
    int semicolons = 0;
    bool quoted = false;
    for (const QChar c : text) {
        if (c == u'"')
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == u'\n' || c == u'\r')
            break;
        else if (c == u',')
            ++commas;
        else if (c == u';')
            ++semicolons;
    }
    return semicolons > commas ? QLatin1Char(';') : QLatin1Char(',');
}

} // namespace

bool CsvRecord::isBlank() const
{
    for (const QString &field : fields) {
        if (!field.trimmed().isEmpty())
            return false;
    }
    return true;
}

QString CsvProblem::text() const
{
    if (column > 0)
        return QStringLiteral("line %1, column %2: %3").arg(line).arg(column).arg(message);
    return QStringLiteral("line %1: %2").arg(line).arg(message);
}

CsvTable parseCsv(const QByteArray &bytes)
{
    CsvTable table;
    QByteArrayView data(bytes);
    if (data.startsWith(cUtf8Bom))
        data = data.sliced(3);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(data);
    if (decoder.hasError()) {
        table.problem = CsvProblem{lineOfInvalidUtf8(data.toByteArray()), 0,
                                   QStringLiteral("the text is not UTF-8 (save the file as \"CSV UTF-8\")")};
        return table;
    }
    table.delimiter = detectDelimiter(text);
    const QChar delimiter = table.delimiter;

    int line = 1;
    CsvRecord record{line, {}};
    QString field;
    bool quoted = false;    // inside a quoted field
    bool wasQuoted = false; // the current field began with a quote
    int quoteLine = 0;
    bool atFieldStart = true;
    const auto endField = [&] {
        record.fields.append(field);
        field.clear();
        wasQuoted = false;
        atFieldStart = true;
    };
    const auto endRecord = [&] {
        endField();
        table.records.append(std::move(record));
        record = CsvRecord{line, {}};
    };

    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < size && text.at(i + 1) == u'"') {
                    field.append(u'"');
                    ++i;
                } else {
                    quoted = false;
                }
                continue;
            }
            if (c == u'\r' && i + 1 < size && text.at(i + 1) == u'\n') {
                ++i; // a CRLF inside a field is one line break
                field.append(u'\n');
                ++line;
                continue;
            }
            if (c == u'\n' || c == u'\r') {
                field.append(u'\n');
                ++line;
                continue;
            }
            field.append(c);
            continue;
        }
        if (c == delimiter) {
            endField();
            continue;
        }
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < size && text.at(i + 1) == u'\n')
                ++i;
            ++line;
            endRecord();
            continue;
        }
        if (c == u'"' && atFieldStart) {
            quoted = true;
            wasQuoted = true;
            quoteLine = line;
            atFieldStart = false;
            continue;
        }
        // A quote inside an unquoted field, or text after a closing quote,
        // is kept as it stands, as spreadsheets read it.
        field.append(c);
        atFieldStart = false;
    }
    if (quoted) {
        table.problem
            = CsvProblem{quoteLine, int(record.fields.size()) + 1, QStringLiteral("a quoted field is never closed (a \" is missing)")};
        return table;
    }
    // The last record, unless the text ended with its line break.
    if (!field.isEmpty() || wasQuoted || !record.fields.isEmpty())
        endRecord();
    return table;
}

QByteArray csvLine(const QStringList &fields, QChar delimiter)
{
    QString line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line.append(delimiter);
        const QString &field = fields.at(i);
        const bool needsQuotes = field.contains(delimiter) || field.contains(u'"') || field.contains(u'\n') || field.contains(u'\r');
        if (needsQuotes) {
            line.append(u'"');
            line.append(QString(field).replace(u'"', QStringLiteral("\"\"")));
            line.append(u'"');
        } else {
            line.append(field);
        }
    }
    line.append(QStringLiteral("\r\n"));
    return line.toUtf8();
}

QString spreadsheetSafe(const QString &field)
{
    if (field.isEmpty())
        return field;
    const QChar first = field.front();
    if (first == u'=' || first == u'+' || first == u'-' || first == u'@' || first == u'\t' || first == u'\r')
        return u'\'' + field;
    return field;
}

} // namespace sorrelby
