#pragma once
// A roster (class list): the subjects a shoot is expected to photograph,
// read from a CSV file with a header row. Columns are found by their header
// (code; first name; last name or name; group or class; in any letter case,
// with a few common variants); every other column is kept as an extra field.
//
// A roster's codes are compared exactly as the naming layer writes codes into
// file names, so a code the naming layer's cleaning would change (a "/", a
// leading dot, control characters) could never match a photo: it is a
// problem, as are an empty code and a code on two rows. Problems name the
// line and column; rows with problems are left out. A Roster is a plain
// value; reading is safe from any thread.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

namespace sorrelby {

struct RosterSubject {
    QString code;
    QString firstName;
    QString lastName;
    QString fullName; // a "name" column, used when there is no first or last name
    QString group;
    QStringList extra; // one per Roster::extraColumns
    int line = 0;      // where the row starts in the file

    // "Emma Larsen", the "name" column, or "" when the row names nobody.
    QString displayName() const;
};

struct RosterProblem {
    int line = 0;
    int column = 0; // 1-based; 0 when not one field
    QString message;

    QString text() const; // "line 4, column 1: ..."
};

class Roster {
public:
    QString path;                        // the file it was read from; empty when read from bytes
    QStringList extraColumns;            // the headers of the columns kept as extra fields
    std::vector<RosterSubject> subjects; // in file order
    QList<RosterProblem> problems;

    bool isUsable() const { return problems.isEmpty(); }
    // The row of a code (exact comparison), -1 when none.
    int rowOf(const QString &code) const { return m_rowOfCode.value(code, -1); }

    // Reads a roster from CSV text. A header without a code column, text
    // that is not UTF-8 and an unclosed quote are problems of their own.
    static Roster fromCsv(const QByteArray &bytes);
    // The same from a file; an unreadable file is a problem on line 0.
    static Roster fromFile(const QString &path);

private:
    QHash<QString, int> m_rowOfCode;
};

// The name of the roster a source folder may hold.
inline constexpr QLatin1StringView cRosterFileName{"roster.csv"};

} // namespace sorrelby
