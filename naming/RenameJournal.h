#pragma once
// The undo journal of a source folder: what each of the photographer's
// actions renamed (a reassign, a drop, a revert, a decode) or threw away (a
// delete), one step per action, so that Undo can put the names back and Redo
// can do the action's renames again.
//
// Steps are heard through the rename service's observers (observeRenames)
// while a Recording is open, and only on the thread that opened it, so work
// of another folder or queue never lands in the wrong step. The journal is a
// small file in the application's data folder keyed by the folder, written
// atomically after every change and read afresh each time, so a restarted
// window or a command line process finds it; delivery clears it.
//
// Undo and redo move files only through the rename service and the file
// operations, never replace a file (a name taken since is reported and the
// photo left as it is) and can be run again after an interruption: a photo
// already under its old name counts as restored. Run them on the folder's
// work queue, as every other rename of the shoot.

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace sorrelby {

enum class JournalKind {
    Reassign, // codes given by hand in the reassign dialog
    Drop,     // photos dropped onto another section
    Revert,   // back to camera names
    Decode,   // cards read and codes carried
    Delete,   // photos moved to the trash
    Card,     // photos set aside for a new card
};

QString journalKindName(JournalKind kind);

struct JournalMove {
    QString from;
    QString to;
    bool trashed = false; // `to` lies in a trash folder
};

struct JournalStep {
    JournalKind kind = JournalKind::Reassign;
    QString label; // "Reassign to A101", shown as "Undo Reassign to A101"
    QDateTime when;
    QList<JournalMove> moves; // in the order they were made
};

struct JournalReport {
    bool ran = false; // a step was there to undo or redo
    QString label;    // its label
    int restored = 0; // photos moved back (or forward for redo)
    QStringList kept; // "<name>: <why>", photos left as they were
};

class RenameJournal {
public:
    // The journal of a folder (any spelling of its path).
    explicit RenameJournal(const QString &folder);

    QString folder() const { return m_folder; }
    // Where the journal of `folder` is kept.
    static QString journalFileFor(const QString &folder);

    // Everything renamed on this thread in the folder while it lives (and
    // what add() is given) becomes one step, saved when it ends; nothing
    // when nothing moved. A new step empties the redo list.
    class Recording {
    public:
        Recording(Recording &&) noexcept;
        Recording &operator=(Recording &&) = delete;
        ~Recording();
        void add(const JournalMove &move);
        // Ends the recording now (the destructor then does nothing).
        void finish();

    private:
        friend class RenameJournal;
        struct State;
        explicit Recording(std::unique_ptr<State> state);
        std::unique_ptr<State> m_state;
    };
    [[nodiscard]] Recording record(JournalKind kind, const QString &label) const;

    std::optional<JournalStep> nextUndo() const;
    std::optional<JournalStep> nextRedo() const;
    JournalReport undo() const;
    JournalReport redo() const;
    // Delivery: nothing before it can be undone.
    void clear() const;

    // Photos given a code by hand (reassign or drop) since the last decode
    // or revert and still under that name: what a revert would throw away.
    int handCodedSinceDecode() const;

private:
    QString m_folder;
};

} // namespace sorrelby
