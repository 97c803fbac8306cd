#include "roster/Roster.h"

#include "naming/FileNameScheme.h"
#include "platform/FileOps.h"
#include "roster/CsvText.h"

#include <QFile>

#include <array>

namespace sorrelby {

namespace {

enum Role { Code, FirstName, LastName, FullName, Group, RoleCount };

const char *const cRoleWords[RoleCount] = {"code", "first name", "last name", "name", "group"};

// "First_Name", "first-name" and " FIRST  NAME " all read "first name".
QString normalizedHeader(const QString &header)
{
    QString text = header.toLower();
    for (QChar &c : text) {
        if (c == u'_' || c == u'-' || c == u'.')
            c = u' ';
    }
    return text.simplified();
}

int roleOfHeader(const QString &header)
{
    static const QHash<QString, int> roles = [] {
        QHash<QString, int> map;
        const auto add = [&map](int role, std::initializer_list<const char *> words) {
            for (const char *word : words)
                map.insert(QString::fromLatin1(word), role);
        };
        add(Code,
            {"code", "id", "qr", "qr code", "qrcode", "barcode", "bar code", "card", "card code", "subject code", "subject id",
             "student id", "student code", "student number", "pupil id", "id number"});
        add(FirstName, {"first name", "firstname", "first", "given name", "given names", "forename", "forenames"});
        add(LastName, {"last name", "lastname", "last", "surname", "family name"});
        add(FullName, {"name", "full name", "fullname", "student name", "subject name", "pupil name", "student", "subject", "pupil"});
        add(Group,
            {"group", "class", "class name", "classname", "form", "grade", "homeroom", "home room", "team", "group name", "section"});
        return map;
    }();
    return roles.value(normalizedHeader(header), -1);
}

// Why a roster code cannot be compared with the codes in file names, or
// empty when it can: the code a card with this text gets must be the text.
QString codeProblem(const QString &code)
{
    const QString written = decodeFromUrlString(code, false).value_or(code);
    if (!isSafeCode(written))
        return QStringLiteral("the code \"%1\" cannot stand in a file name").arg(printablePayload(code));
    if (written != code)
        return QStringLiteral("the code \"%1\" is written \"%2\" in file names; use that").arg(printablePayload(code), written);
    return {};
}

} // namespace

QString RosterSubject::displayName() const
{
    const QString joined = QString(firstName + u' ' + lastName).trimmed();
    return joined.isEmpty() ? fullName : joined;
}

QString RosterProblem::text() const
{
    if (line <= 0)
        return message;
    return CsvProblem{line, column, message}.text();
}

Roster Roster::fromCsv(const QByteArray &bytes)
{
    Roster roster;
    const CsvTable table = parseCsv(bytes);
    if (table.problem) {
        roster.problems.append({table.problem->line, table.problem->column, table.problem->message});
        return roster;
    }
    qsizetype first = 0;
    while (first < table.records.size() && table.records[first].isBlank())
        ++first;
    if (first == table.records.size()) {
        roster.problems.append({1, 0, QStringLiteral("the file is empty; a header row naming the columns comes first")});
        return roster;
    }

    // The header: which column plays which part.
    const CsvRecord &header = table.records[first];
    std::array<int, RoleCount> columnOf;
    columnOf.fill(-1);
    QList<int> extraColumns;
    for (int column = 0; column < header.fields.size(); ++column) {
        const QString name = header.fields[column].trimmed();
        const int role = roleOfHeader(name);
        if (role < 0) {
            if (!name.isEmpty()) {
                extraColumns.append(column);
                roster.extraColumns.append(name);
            }
            continue;
        }
        if (columnOf[role] >= 0) {
            roster.problems.append({header.line, column + 1,
                                    QStringLiteral("a second column for the %1 (\"%2\", and column %3 \"%4\"); rename one")
                                        .arg(QLatin1String(cRoleWords[role]), name)
                                        .arg(columnOf[role] + 1)
                                        .arg(header.fields[columnOf[role]].trimmed())});
            continue;
        }
        columnOf[role] = column;
    }
    if (columnOf[Code] < 0) {
        roster.problems.append({header.line, 0, QStringLiteral("no column named \"code\" (or \"id\", \"barcode\") in the header")});
        return roster;
    }

    const auto cell = [](const CsvRecord &record, int column) {
        return column >= 0 && column < record.fields.size() ? record.fields[column].trimmed() : QString();
    };
    const qsizetype width = header.fields.size();
    roster.subjects.reserve(size_t(table.records.size() - first));
    for (qsizetype r = first + 1; r < table.records.size(); ++r) {
        const CsvRecord &record = table.records[r];
        if (record.isBlank())
            continue;
        // Text beyond the header's columns most often means an unquoted
        // delimiter inside a name, which shifts every field after it.
        bool overflow = false;
        for (qsizetype column = width; column < record.fields.size(); ++column) {
            if (!record.fields[column].trimmed().isEmpty()) {
                roster.problems.append({record.line, int(column) + 1,
                                        QStringLiteral("%1 fields where the header has %2 (a \",\" or \";\" inside a "
                                                       "name must be quoted)")
                                            .arg(record.fields.size())
                                            .arg(width)});
                overflow = true;
                break;
            }
        }
        if (overflow)
            continue;
        RosterSubject subject;
        subject.line = record.line;
        subject.code = cell(record, columnOf[Code]);
        const int codeColumn = columnOf[Code] + 1;
        if (subject.code.isEmpty()) {
            roster.problems.append({record.line, codeColumn, QStringLiteral("the code is empty")});
            continue;
        }
        if (const QString problem = codeProblem(subject.code); !problem.isEmpty()) {
            roster.problems.append({record.line, codeColumn, problem});
            continue;
        }
        if (const int previous = roster.rowOf(subject.code); previous >= 0) {
            roster.problems.append(
                {record.line, codeColumn,
                 QStringLiteral("the code \"%1\" is already on line %2").arg(subject.code).arg(roster.subjects[size_t(previous)].line)});
            continue;
        }
        subject.firstName = cell(record, columnOf[FirstName]);
        subject.lastName = cell(record, columnOf[LastName]);
        subject.fullName = cell(record, columnOf[FullName]);
        subject.group = cell(record, columnOf[Group]);
        subject.extra.reserve(extraColumns.size());
        for (const int column : std::as_const(extraColumns))
            subject.extra.append(cell(record, column));
        roster.m_rowOfCode.insert(subject.code, int(roster.subjects.size()));
        roster.subjects.push_back(std::move(subject));
    }
    return roster;
}

Roster Roster::fromFile(const QString &path)
{
    // A FIFO given as the list would hold a plain open() for ever.
    QFile file;
    if (const FileResult opened = fileops::openForReading(path, file); !opened) {
        Roster roster;
        roster.path = path;
        roster.problems.append({0, 0, QStringLiteral("cannot read the roster: ") + opened.error});
        return roster;
    }
    Roster roster = fromCsv(file.readAll());
    roster.path = path;
    return roster;
}

} // namespace sorrelby
