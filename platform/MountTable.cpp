#include "platform/MountTable.h"

#include <QFile>

#include <sys/sysmacros.h>

namespace sorrelby {

namespace {

// mountinfo escapes blanks, tabs, newlines and backslashes as \ooo.
QString unescapeMountField(const QByteArray &field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3') {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out.append(char(code));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return QFile::decodeName(out);
}

} // namespace

QList<MountEntry> parseMountInfo(const QByteArray &text)
{
    QList<MountEntry> entries;
    for (const QByteArray &line : text.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        // id parent major:minor root mountpoint options [optional...] - type source superoptions
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() < 6 || dash < 6 || dash + 2 >= fields.size())
            continue;
        MountEntry entry;
        const QList<QByteArray> majorMinor = fields[2].split(':');
        if (majorMinor.size() == 2)
            entry.device = makedev(majorMinor[0].toUInt(), majorMinor[1].toUInt());
        entry.mountPoint = unescapeMountField(fields[4]);
        entry.readOnly = fields[5].split(',').contains("ro");
        entry.type = unescapeMountField(fields[dash + 1]);
        entry.source = unescapeMountField(fields[dash + 2]);
        entries.append(entry);
    }
    return entries;
}

QList<MountEntry> readMountTable()
{
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parseMountInfo(file.readAll());
}

bool isInsideFolder(const QString &path, const QString &folder)
{
    return path == folder || path.startsWith(folder == QLatin1String("/") ? folder : folder + QLatin1Char('/'));
}

std::optional<MountEntry> mountEntryFor(const QList<MountEntry> &entries, const QString &path)
{
    std::optional<MountEntry> best;
    // Later lines mount over earlier ones at the same point.
    for (const MountEntry &entry : entries) {
        if (isInsideFolder(path, entry.mountPoint) && (!best || entry.mountPoint.size() >= best->mountPoint.size()))
            best = entry;
    }
    return best;
}

} // namespace sorrelby
