#pragma once
// What the window shows of a shoot's class list: the check of the photos
// shown against the roster (a RosterSnapshot, made off the GUI thread on
// every reload) and the flat list model of the roster panel over it. The
// panel lists the subjects group by group with their number of photos and
// marks, then the codes no row has, then the photos without a code; each
// row knows the browser section it scrolls to.
//
// The snapshot does all the work per photo and per subject, so that the
// model's part on the GUI thread is a swap and a reset; its texts are made
// only for the rows the view paints.

#include "roster/Roster.h"
#include "roster/ShootCheck.h"

#include <QAbstractListModel>
#include <QHash>

#include <memory>
#include <vector>

namespace sorrelby {

class ImageDirectoryLoader;

struct RosterPanelRow {
    enum class Kind { Group, Subject, WithoutCode };
    Kind kind = Kind::Subject;
    int subject = -1; // into ShootCheck::subjects
    QString group;    // Group: its title
};

struct RosterSnapshot {
    std::shared_ptr<const Roster> roster; // null: no roster, every code is a subject
    ShootCheck check;
    std::vector<int> sectionOfSubject; // the browser section of the subject's first photo, -1 without photos
    int withoutCodeSection = -1;       // the section of the first photo without a code
    std::vector<RosterPanelRow> rows;
    // Code -> "Emma Larsen · 3B", for the section headers; roster subjects only.
    QHash<QString, QString> subjectLabels;

    QString nameOf(int subject) const;
    QString groupOf(int subject) const;
};

// The check of the loader's photos (in its order; capture times from the
// files' creation dates, the order the browser sorts by) against the roster.
// Any thread; the loader must not change meanwhile.
RosterSnapshot makeRosterSnapshot(const ImageDirectoryLoader &loader, std::shared_ptr<const Roster> roster, NameReader &names);
// The same over photos already read (benchmarks, tests): sections[i] is the
// browser section of photo i.
RosterSnapshot makeRosterSnapshot(const std::vector<CheckedPhoto> &photos, const std::vector<int> &sections,
                                  std::shared_ptr<const Roster> roster);

// "Emma Larsen · 3B", "Emma Larsen", "3B" or "".
QString subjectLabel(const QString &name, const QString &group);

// The roster panel's rows. GUI thread.
class RosterPanelModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        KindRole = Qt::UserRole + 1, // RosterPanelRow::Kind as int
        CodeRole,
        PhotosRole,    // subjects: photos, card photos included; the row without code: its photos
        MarksRole,     // SubjectMark bits
        MarksTextRole, // "missing", "photographed twice at 09:00:04, 09:31:10", ...
        SectionRole,   // the browser section to scroll to, -1 for none
    };

    explicit RosterPanelModel(QObject *parent = nullptr);

    void setSnapshot(std::shared_ptr<const RosterSnapshot> snapshot);
    const RosterSnapshot *snapshot() const { return m_snapshot.get(); }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // The row of a subject's code, -1 when none.
    int rowOfCode(const QString &code) const;

private:
    QString marksText(const SubjectStatus &status) const;
    std::shared_ptr<const RosterSnapshot> m_snapshot;
};

} // namespace sorrelby
