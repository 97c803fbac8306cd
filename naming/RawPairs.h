#pragma once
// A camera shooting RAW+JPEG writes two files of one picture under one
// camera name: IMG_0412.JPG and IMG_0412.NEF. The JPEG leads (it is read for
// cards, shown and named); its RAW companion always carries the JPEG's base
// name, so both sit under one code wherever they go. A RAW without its JPEG
// is a photo on its own.
//
// Stateless; safe from any thread.

#include <QHash>
#include <QString>
#include <QStringList>

namespace sorrelby {

// A RAW extension (NEF, CR2, CR3, ARW, RAF, DNG, ORF, RW2), any letter case.
bool isRawPhotoName(const QString &nameOrPath);
// A JPEG extension, any letter case: the files that lead a pair.
bool isJpegPhotoName(const QString &nameOrPath);

// Where a RAW goes beside a JPEG at jpegPath: the JPEG's folder and base
// name, the RAW's own extension.
QString companionPath(const QString &jpegPath, const QString &raw);

// The RAW files on disk beside a JPEG under its base name (none for a RAW).
QStringList rawCompanionsOf(const QString &jpegPath);

// The photos of a listing with each JPEG's RAW companions taken out and
// held by the JPEG. Pairs are found by name alone, in the same folder.
struct PairedPhotos {
    QStringList photos;               // in listing order: JPEGs, lone RAWs, other photos
    QHash<QString, QStringList> raws; // JPEG path -> its RAW companions
    QStringList rawsOf(const QString &photo) const { return raws.value(photo); }
    int companionCount() const;
};
PairedPhotos pairRawCompanions(const QStringList &paths);

// A RAW whose JPEG moved on without it (a run stopped between the two
// renames) is found by its camera name and given the JPEG's name again. Only
// a JPEG that is the one photo of that camera name in its folder claims a
// RAW; a taken name is reported, not replaced.
struct Reunion {
    QStringList paths; // the listing with the RAWs under their new names
    int renamed = 0;
    QStringList problems; // "<name>: <why>"
};
Reunion reuniteRawPairs(const QStringList &paths, int tag);

} // namespace sorrelby
