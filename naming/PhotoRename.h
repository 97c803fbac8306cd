#pragma once
// The one road by which a photo of the shoot gets a new name in its folder:
// the browser's drop, the reassign renames, reverting to the camera name and
// the decode passes all go through here. Text from outside (a scanned code,
// a section's code, a card's payload) is cleaned here into one safe name
// component before it names anything, and no rename ever replaces a file.
// A rename can be run again over the same photos after an interruption: a
// photo already under its new name counts as done, and a move cut short
// between its link and its unlink is finished.
//
// Every rename made is told to the rename observers (observeRenames), once,
// on the thread that made it, after the file has its new name: the seam for
// a journal of what was renamed.
//
// Stateless apart from the observers; safe from any thread, but two renames
// of one photo must not run at the same time.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace sorrelby {

// What a rename changed in a photo's name.
enum class RenameKind {
    Coded,     // a code in front of its camera name (a card photo stays one)
    CardPhoto, // made the card photo of a code
    Reverted,  // back to its camera name
    Named,     // another name, built by the caller
};

struct PhotoRename {
    enum Outcome {
        Renamed,      // the photo now has the new name
        AlreadyNamed, // it had it already (or was found under it: renamed before)
        Kept,         // it keeps its name: `why`
    };
    Outcome outcome = Kept;
    RenameKind kind = RenameKind::Named;
    QString from;              // the path asked for
    QString to;                // the path under the new name (empty when no name could be made)
    QString why;               // for Kept, in words the photographer can act on
    bool foundRenamed = false; // `from` was gone and the photo was found under `to`
    // A JPEG's RAW companions moved with it to its new base name (their new paths).
    QStringList companions;
    // "<name>: <why>" for a companion that could not follow: the pair is
    // split and the caller must say so.
    QStringList companionProblems;

    explicit operator bool() const { return outcome != Kept; }
};

// ---- cleaning

// The code that text from outside gives a name: the naming scheme's cleaning
// (safeCodeFromPayload, with cPrefDecodeForUrlString as stored), so it is
// one safe name component; none when the text holds no such code (logged).
// A clean code comes back unchanged.
std::optional<QString> codeForRename(const QString &text);

// ---- one photo

// Moves the photo at `path` to `newName` in the same folder, written as the
// folder's drive accepts it (nameForFolder). Kept when the name is not one
// safe file name (isSafeFileName) or is taken. A JPEG takes its RAW
// companions (naming/RawPairs.h) to the new base name in the same step, and
// is kept when a name one of them needs is taken.
PhotoRename renamePhoto(const QString &path, const QString &newName, RenameKind kind = RenameKind::Named);

// Gives the photo the code of `text` (codeForRename) in front of its camera
// name, its card marker kept (nameWithCode). Kept when the text gives no code.
PhotoRename renamePhotoToCode(const QString &path, const QString &text, int tag);
// The same, the photo made the code's card photo (cardNameWithCode).
PhotoRename renamePhotoToCardCode(const QString &path, const QString &text, int tag);
// Back to its camera name (getOriginalName); AlreadyNamed when it has it.
PhotoRename revertPhoto(const QString &path, int tag);

// ---- a run over several photos

struct RenameRun {
    QString code;                     // the clean code every photo was given
    std::vector<PhotoRename> renames; // one per photo, in order
    // "<name>: <why>" for every photo that kept its name.
    QStringList kept() const;
};

// Gives every photo the code of `text`, with one read of the name format for
// the whole run. None when the text gives no code: nothing is touched then.
std::optional<RenameRun> renamePhotosToCode(const QStringList &paths, const QString &text);

// The informative text of the alert that lists the photos that kept their
// names ("<name>: <why>" lines); `code` empty: each photo had its own code.
QString keptNamesText(const QStringList &kept, const QString &code);

// ---- observers

struct RenameEvent {
    QString from;
    QString to;
    RenameKind kind = RenameKind::Named;
};
using RenameObserver = std::function<void(const RenameEvent &)>;

// Keeps an observer of every rename made while it lives. The observer runs
// on the renaming thread (often a work queue), so it must be quick and safe
// from any thread; it may itself rename. Move-only.
class RenameObservation {
public:
    RenameObservation() = default;
    RenameObservation(RenameObservation &&other) noexcept { *this = std::move(other); }
    RenameObservation &operator=(RenameObservation &&other) noexcept;
    RenameObservation(const RenameObservation &) = delete;
    RenameObservation &operator=(const RenameObservation &) = delete;
    ~RenameObservation() { reset(); }
    void reset();

private:
    friend RenameObservation observeRenames(RenameObserver observer);
    explicit RenameObservation(std::uint64_t token)
        : m_token(token)
    { }
    std::uint64_t m_token = 0;
};

[[nodiscard]] RenameObservation observeRenames(RenameObserver observer);

} // namespace sorrelby
