#pragma once
// Rosters (class lists) for generated shoots: one row per subject with a
// made-up first and last name and a class, written as a spreadsheet would
// write CSV. Rows can be left out (subjects then not on the roster) and rows
// added for subjects never photographed (then missing).

#include "tests/testkit/photos/ShootGenerator.h"

#include <QByteArray>
#include <QChar>
#include <QList>
#include <QString>

namespace sorrelby::testkit {

struct RosterSpec {
    QList<int> leftOut; // subjects (0-based) photographed but given no row
    int absent = 0;     // rows added for subjects never photographed
    int groups = 2;     // the subjects in this many classes, in shoot order
    QChar delimiter = QLatin1Char(',');
    bool byteOrderMark = false;
};

struct RosterRow {
    QString code;
    QString firstName;
    QString lastName;
    QString group;
    QString notes;    // an extra column
    int subject = -1; // -1: never photographed
};

// The rows for a planned or written shoot: each subject's code in shoot
// order (the card's code, readable or not), then the absent ones.
QList<RosterRow> planRoster(const Shoot &shoot, const RosterSpec &spec);

// Header "Code,First Name,Last Name,Class,Notes" and the rows.
QByteArray rosterCsv(const QList<RosterRow> &rows, const RosterSpec &spec);

// Writes the roster of the shoot; false when the file cannot be written.
bool writeRoster(const QString &path, const Shoot &shoot, const RosterSpec &spec);

} // namespace sorrelby::testkit
