#pragma once
// What the file system under a folder accepts: which file names, and which of
// the calls that move a file without ever replacing one. FAT, exFAT, NTFS and
// SMB shares refuse : \ * ? " < > | in names and drop or refuse trailing dots
// and blanks; such names are written with visible stand-ins instead (chosen
// once, below), so a code still reads back the same and two codes never share
// a name. Local Linux file systems keep every name as it is.
//
// Looked up once per mounted file system and run, logged the first time.
// Thread-safe.

#include <QString>

namespace sorrelby {

struct FolderAbilities {
    QString folder;     // the folder asked about
    QString mountPoint; // of the file system holding it
    QString type;       // as the mount table says ("ext4", "fuseblk", "fuse.sshfs")
    // : \ * ? " < > | and trailing dots or blanks cannot be in a name.
    bool refusesWindowsNames = false;
    // Learned by probing in the folder; true until shown otherwise.
    bool renameNoReplace = true; // renameat2(RENAME_NOREPLACE)
    bool hardLinks = true;       // link(2)
    bool unnamedTemporaries = true;
    bool probed = false; // the folder could be written to for the probe

    // One line for a log: "ext4 at /home: names as given, ...".
    QString describe() const;
};

// The abilities of the file system holding `folder` (which must exist).
// Probes it the first time a file system is seen in this run: a few hidden
// files made and removed at once, never counted as a photo's step.
FolderAbilities folderAbilities(const QString &folder);

// File-system types known to refuse the names above without asking.
bool typeRefusesWindowsNames(const QString &type);

// The name with every character such file systems refuse in its stand-in:
// ":" "\" "*" "?" "\"" "<" ">" "|" become their full-width forms, a trailing
// "." becomes "．" and a trailing blank "␣". Already safe names come back as
// they are.
QString windowsSafeName(const QString &name);
// The characters windowsSafeName() put in, turned back (trailing stand-ins
// included): what the name said before.
QString fromWindowsSafeName(const QString &name);
// True when the text holds a stand-in character itself: such a text would
// read back as another, so it may not become a code.
bool holdsWindowsStandIn(const QString &text);

// `name` as it can be written in `folder`: windowsSafeName() where its file
// system refuses the name as given, else unchanged. A name without any of
// those characters is returned without looking at the folder.
QString nameForFolder(const QString &folder, const QString &name);

// Tests only: forget what was learned, so a new mount at a reused device
// number is probed again.
void forgetFolderAbilities();

} // namespace sorrelby
