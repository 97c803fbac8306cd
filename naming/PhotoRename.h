#pragma once
// Giving one photo a new name in its folder: the rename that the browser's
// drop and the reassign renames share. Never replaces a file, and can be
// run again over the same photos after an interruption: a photo already
// under its new name counts as done, and a move cut short between its link
// and its unlink is finished. Stateless; safe from any thread, but two
// renames of one photo must not run at the same time.

#include <QString>
#include <QStringList>

namespace sorrelby {

struct PhotoRename {
    enum Outcome {
        Renamed,      // the photo now has the new name
        AlreadyNamed, // it had it already (or was found under it: renamed before)
        Kept,         // it keeps its name: `why`
    };
    Outcome outcome = Kept;
    QString from;       // the path asked for
    QString to;         // the path under the new name
    QString why;        // for Kept, in words the photographer can act on
    bool foundRenamed = false; // `from` was gone and the photo was found under `to`

    explicit operator bool() const { return outcome != Kept; }
};

// Moves the photo at `path` to `newName` in the same folder.
PhotoRename renamePhoto(const QString &path, const QString &newName);

// Gives the photo the code in front of its camera name, its card marker kept
// (nameWithCode). Kept when the code cannot name a photo.
PhotoRename renamePhotoToCode(const QString &path, const QString &code, int tag);

// The informative text of the alert that lists the photos that kept their
// names ("<name>: <why>" lines); `code` empty: each photo had its own code.
QString keptNamesText(const QStringList &kept, const QString &code);

} // namespace sorrelby
