#pragma once
// The check of a shoot against its roster: per subject the photos taken and
// the marks "missing" (no photo), "only a card" (a card photo and no
// portrait), "photographed twice" (the subject's card came back after
// another subject's card, with the time of each visit) and "not on the
// roster" (a code no row has), and the photos without a code.
//
// Pure logic over what is already known of each photo (its code from its
// name, whether it is a card photo, its capture time and camera), so that the
// window can run it on every reload: one pass over the photos with a hash
// from code to row, and a sort of the card photos only. Safe from any thread.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace sorrelby {

class Roster;

// One photo as the check sees it.
struct CheckedPhoto {
    std::optional<QString> code; // none: no subject yet (a camera name, a photo marked unknown)
    bool isCard = false;
    qint64 captureMs = 0; // capture time; equal times keep the photos' order
    int camera = 0;       // any number that tells the shoot's cameras apart
};

// What a file name says: the code as the naming layer reads it, none for a
// camera name or a photo marked unknown; a card photo by its marker. The
// capture time and camera are left for the caller.
CheckedPhoto checkedPhotoFromName(const QString &fileName, int nameFormatTag);

// checkedPhotoFromName with a memory, for whoever checks the same folder
// again and again (the window on every reload): a name read at the round
// before costs a hash look-up, new names are read on the thread pool, names
// a round does not ask for are forgotten. One round at a time.
class NameReader {
public:
    explicit NameReader(int nameFormatTag);
    int nameFormatTag() const { return m_tag; }

    // The photos of the names, in their order (capture time and camera left
    // for the caller).
    std::vector<CheckedPhoto> read(const QStringList &fileNames);
    qsizetype size() const { return m_known.size(); }

private:
    struct Known {
        CheckedPhoto photo;
        quint64 round = 0;
    };
    int m_tag;
    quint64 m_round = 0;
    QHash<QString, Known> m_known;
};

enum SubjectMark : unsigned {
    MarkMissing = 1u << 0,
    MarkOnlyCard = 1u << 1,
    MarkPhotographedTwice = 1u << 2,
    MarkNotOnRoster = 1u << 3,
};

// "missing, only a card" ("" for none), in the order of the marks above.
QString markText(unsigned marks);
// The same as single words for machines: "missing", "only-card", "twice", "not-on-roster".
QStringList markKeys(unsigned marks);

struct SubjectStatus {
    QString code;
    int rosterRow = -1; // -1: not on the roster (or no roster)
    int photos = 0;     // card photos included
    int cards = 0;
    unsigned marks = 0;
    // The capture time of the first card photo of each visit, when the
    // subject came more than once; empty otherwise.
    QList<qint64> visitTimes;

    int portraits() const { return photos - cards; }
    bool has(SubjectMark mark) const { return (marks & mark) != 0; }
};

struct ShootCheck {
    // The roster's rows in its order, then the codes no row has, in the order
    // of their first photo.
    std::vector<SubjectStatus> subjects;
    std::vector<int> subjectOfPhoto; // per photo: index into subjects, -1 without a code
    int photosWithoutCode = 0;
    int missing = 0;
    int onlyCard = 0;
    int photographedTwice = 0;
    int notOnRoster = 0;

    // Anything the photographer should look at before leaving.
    bool hasIssues() const { return missing + onlyCard + photographedTwice + notOnRoster + photosWithoutCode > 0; }
    // "40 of 42 subjects photographed; 1 missing, ..." for a status line.
    QString summary() const;
};

// Without a roster (nullptr) every code found is a subject and nobody is
// missing or off the roster.
//
// Visits: a card photo starts a new visit of its subject when another
// subject's card was photographed, between it and the subject's previous card
// photo, by the camera of either. So a card photographed again at once, the
// same subject at two camera angles, and a RAW+JPEG pair are one visit; a
// child who comes back after others is two, also at another station.
ShootCheck checkShoot(const Roster *roster, const std::vector<CheckedPhoto> &photos);

} // namespace sorrelby
