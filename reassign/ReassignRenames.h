#pragma once
// The renames of the reassign dialog, window-free: one code for all the
// photos handed over (manual mode), or a code per card photo (auto mode).
// Every rename goes through the rename service (naming/PhotoRename), which
// cleans a typed or scanned code into one safe name component and never
// replaces a file. Stateless; safe from any thread.

#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace sorrelby {

// The code of a scan: the first line of the field's text, trimmed (a
// scanner that sends several lines contributes only its first).
QString firstScanLine(const QString &text);

// Whether a scanned code passes the length check: an empty code always does,
// a longer one too.
bool scanLengthAccepted(const QString &code, bool checkLength, int requiredLength);

// A photo path from a location handed over as a path or a file URL.
QString photoPathOf(const QString &location);

// The photos in the dialog's order: by their file URLs as text, ascending.
QStringList sortedByUrl(const QStringList &paths);

struct ReassignReport {
    QMap<QString, QString> renamed;       // old path -> new path
    QMap<QString, QString> renamedBefore; // gone, found under its new name -> that path
    QStringList unchanged;                // already carried the code
    QStringList kept;                     // could not be renamed: "<name>: <why>"
};

// Gives every photo the scanned code. None when the text holds no code that
// can name a file (nothing is touched then). Can run again over the same
// photos after an interruption (renamedBefore).
std::optional<ReassignReport> reassignAllToCode(const QStringList &paths, const QString &scannedCode);

// Auto mode: every photo with a non-empty code in `codes` (path -> scanned
// code) becomes that code's card photo. The decode list is fullList with
// each renamed photo's new path in its place.
struct CodePhotoRenames {
    ReassignReport report;
    QStringList decodeList;
};
CodePhotoRenames reassignCodePhotos(const QMap<QString, QString> &codes, const QStringList &fullList);

// "( Barcode must be <n> digits. )"
QString requiredLengthPrompt(int requiredLength);
// The unknown button's title for `count` photos, from
// cPrefDoReassignAllTheseToUnknownStringFormat ("[val1]" = count).
QString unknownButtonTitle(qsizetype count);
// The prompt for the stored mode from cPrefReassignPromptDict ("unknown"
// first, then the entry of the mode); the stored prompt when neither is there.
QString reassignPrompt();

} // namespace sorrelby
