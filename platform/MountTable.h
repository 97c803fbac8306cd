#pragma once
// The kernel's mount table (/proc/self/mountinfo): which file system holds a
// path, of what type, from which device. Plain values; safe from any thread.

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace sorrelby {

// One line of /proc/self/mountinfo.
struct MountEntry {
    QString mountPoint;
    QString type;
    QString source;
    quint64 device = 0; // st_dev of the files on it
    bool readOnly = false;
};

// The entries of mountinfo text, octal escapes ("\040" for a blank) undone.
QList<MountEntry> parseMountInfo(const QByteArray &text);
// The mount table of this process now.
QList<MountEntry> readMountTable();
// The entry whose mount point holds path (the deepest; the later of two at
// one point); none when none.
std::optional<MountEntry> mountEntryFor(const QList<MountEntry> &entries, const QString &path);
// True when path is folder or lies below it.
bool isInsideFolder(const QString &path, const QString &folder);

} // namespace sorrelby
