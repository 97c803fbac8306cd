#include "tests/testkit/photos/RosterGenerator.h"

#include <QSaveFile>
#include <QSet>

#include <algorithm>

namespace sorrelby::testkit {

namespace {

const char *const cFirstNames[] = {"Emma", "Noah",  "Olivia", "Liam", "Ava",  "Lucas", "Mia",   "Elias", "Sofia", "Jonas",
                                   "Ida",  "Oskar", "Nora",   "Theo", "Alma", "Felix", "Freja", "Hugo",  "Clara", "Anton"};
const char *const cLastNames[] = {"Larsen",      "Berg",   "Holm", "Dahl", "Lund", "Strand", "Vik",  "Moen", "Haugen", "Bakke",
                                  "O'Neil, Jr.", "Nilsen", "Aas",  "Lie",  "Eide", "Sand",   "Ruud", "Bø",   "Hansen", "Kvam"};

QString pick(const char *const *names, size_t count, int index)
{
    return QString::fromUtf8(names[size_t(index) % count]);
}

QString groupName(int group)
{
    return QStringLiteral("%1%2").arg(3 + group / 3).arg(QChar(u'A' + group % 3));
}

QString quoted(const QString &field, QChar delimiter)
{
    if (!field.contains(delimiter) && !field.contains(u'"') && !field.contains(u'\n'))
        return field;
    return u'"' + QString(field).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

} // namespace

QList<RosterRow> planRoster(const Shoot &shoot, const RosterSpec &spec)
{
    // Each subject's code from its first card photo.
    QList<int> subjects;
    QList<QString> codes;
    for (const ShootPhoto &photo : shoot.photos) {
        if (photo.isCard && photo.subject >= 0 && !subjects.contains(photo.subject)) {
            subjects.append(photo.subject);
            codes.append(codeOfPayload(photo.payload));
        }
    }
    const int total = int(subjects.size()) + spec.absent;
    const int groups = std::max(1, spec.groups);
    QList<RosterRow> rows;
    QSet<QString> taken(codes.cbegin(), codes.cend());
    for (int i = 0; i < total; ++i) {
        RosterRow row;
        row.firstName = pick(cFirstNames, std::size(cFirstNames), i);
        row.lastName = pick(cLastNames, std::size(cLastNames), i * 7 + 3);
        row.group = groupName(int(qint64(i) * groups / std::max(1, total)));
        if (i < subjects.size()) {
            if (spec.leftOut.contains(subjects[i]))
                continue;
            row.subject = subjects[i];
            row.code = codes[i];
        } else {
            int n = i - int(subjects.size()) + 1;
            do
                row.code = QStringLiteral("X%1").arg(n++, 3, 10, QLatin1Char('0'));
            while (taken.contains(row.code));
            taken.insert(row.code);
            row.notes = QStringLiteral("absent on the day");
        }
        rows.append(row);
    }
    return rows;
}

QByteArray rosterCsv(const QList<RosterRow> &rows, const RosterSpec &spec)
{
    const QChar d = spec.delimiter;
    QString text = QStringLiteral("Code%1First Name%1Last Name%1Class%1Notes\r\n").arg(d);
    for (const RosterRow &row : rows) {
        text += QStringList{quoted(row.code, d), quoted(row.firstName, d), quoted(row.lastName, d), quoted(row.group, d),
                            quoted(row.notes, d)}
                    .join(d)
            + QStringLiteral("\r\n");
    }
    QByteArray bytes = spec.byteOrderMark ? QByteArray("\xEF\xBB\xBF") : QByteArray();
    return bytes + text.toUtf8();
}

bool writeRoster(const QString &path, const Shoot &shoot, const RosterSpec &spec)
{
    QSaveFile file(path);
    const QByteArray bytes = rosterCsv(planRoster(shoot, spec), spec);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

} // namespace sorrelby::testkit
