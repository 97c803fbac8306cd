#include "roster/ShootCheck.h"

#include "naming/FileNameScheme.h"
#include "roster/Roster.h"

#include <QHash>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>

namespace sorrelby {

namespace {

struct MarkName {
    SubjectMark mark;
    const char *text;
    const char *key;
};

constexpr MarkName cMarkNames[] = {
    {MarkMissing, "missing", "missing"},
    {MarkOnlyCard, "only a card", "only-card"},
    {MarkPhotographedTwice, "photographed twice", "twice"},
    {MarkNotOnRoster, "not on the roster", "not-on-roster"},
};

// A card photo in shoot order.
struct Card {
    qint64 time;
    int photo;
    int subject;
    int camera; // slot, 0..cameras-1
};

// One camera's card photos in shoot order, with the end of each run of
// cards of one subject, so that "another subject's card between two ranks"
// is one binary search.
struct CameraCards {
    std::vector<int> ranks;
    std::vector<int> subjects;
    std::vector<int> runEnd;

    void finish()
    {
        runEnd.resize(ranks.size());
        for (size_t i = ranks.size(); i-- > 0;)
            runEnd[i] = i + 1 < ranks.size() && subjects[i + 1] == subjects[i] ? runEnd[i + 1] : int(i);
    }

    bool otherSubjectBetween(int fromRank, int toRank, int subject) const
    {
        const auto first = std::upper_bound(ranks.begin(), ranks.end(), fromRank);
        if (first == ranks.end() || *first >= toRank)
            return false;
        const size_t i = size_t(first - ranks.begin());
        if (subjects[i] != subject)
            return true;
        const size_t next = size_t(runEnd[i]) + 1;
        return next < ranks.size() && ranks[next] < toRank;
    }
};

void findVisits(const std::vector<CheckedPhoto> &photos, ShootCheck &check)
{
    std::vector<Card> cards;
    QHash<int, int> slotOfCamera;
    for (size_t i = 0; i < photos.size(); ++i) {
        const int subject = check.subjectOfPhoto[i];
        if (!photos[i].isCard || subject < 0)
            continue;
        auto slot = slotOfCamera.constFind(photos[i].camera);
        if (slot == slotOfCamera.constEnd())
            slot = slotOfCamera.insert(photos[i].camera, int(slotOfCamera.size()));
        cards.push_back({photos[i].captureMs, int(i), subject, *slot});
    }
    if (cards.size() < 2)
        return;
    std::sort(cards.begin(), cards.end(),
              [](const Card &a, const Card &b) { return a.time != b.time ? a.time < b.time : a.photo < b.photo; });
    std::vector<CameraCards> cameras(size_t(slotOfCamera.size()));
    for (size_t rank = 0; rank < cards.size(); ++rank) {
        CameraCards &camera = cameras[size_t(cards[rank].camera)];
        camera.ranks.push_back(int(rank));
        camera.subjects.push_back(cards[rank].subject);
    }
    for (CameraCards &camera : cameras)
        camera.finish();

    // The rank of each subject's latest card, and the time its first visit began.
    std::vector<int> lastRank(check.subjects.size(), -1);
    std::vector<qint64> firstTime(check.subjects.size(), 0);
    for (size_t rank = 0; rank < cards.size(); ++rank) {
        const Card &card = cards[rank];
        const size_t s = size_t(card.subject);
        const int previous = lastRank[s];
        lastRank[s] = int(rank);
        if (previous < 0) {
            firstTime[s] = card.time;
            continue;
        }
        const int previousCamera = cards[size_t(previous)].camera;
        const bool newVisit = cameras[size_t(card.camera)].otherSubjectBetween(previous, int(rank), card.subject)
            || (previousCamera != card.camera && cameras[size_t(previousCamera)].otherSubjectBetween(previous, int(rank), card.subject));
        if (!newVisit)
            continue;
        QList<qint64> &visits = check.subjects[s].visitTimes;
        if (visits.isEmpty())
            visits.append(firstTime[s]);
        visits.append(card.time);
    }
}

} // namespace

CheckedPhoto checkedPhotoFromName(const QString &fileName, int nameFormatTag)
{
    CheckedPhoto photo;
    // checkIfQRCodeItem without its lower-cased copy: this runs for every
    // photo on every reload.
    photo.isCard = baseNameOf(fileName).endsWith(cQRCodeMarker, Qt::CaseInsensitive);
    if (checkIfIsOriginal(fileName, nameFormatTag))
        return photo;
    std::optional<QString> code = codeOfName(fileName, nameFormatTag);
    // Photos marked unknown ("unknown_...", "?...") belong to nobody yet.
    // The code is the start of the base name up to a "_", so the base name
    // begins with either exactly when the code does.
    if (code && (code->startsWith(cUnknownPrefix, Qt::CaseInsensitive) || code->startsWith(u'?')))
        return photo;
    photo.code = std::move(code);
    return photo;
}

NameReader::NameReader(int nameFormatTag)
    : m_tag(nameFormatTag)
{ }

std::vector<CheckedPhoto> NameReader::read(const QStringList &fileNames)
{
    ++m_round;
    std::vector<CheckedPhoto> photos(size_t(fileNames.size()));
    std::vector<qsizetype> unknown;
    for (qsizetype i = 0; i < fileNames.size(); ++i) {
        const auto found = m_known.find(fileNames[i]);
        if (found == m_known.end()) {
            unknown.push_back(i);
        } else {
            found->round = m_round;
            photos[size_t(i)] = found->photo;
        }
    }
    const auto readOne = [&](qsizetype i) { photos[size_t(i)] = checkedPhotoFromName(fileNames[i], m_tag); };
    // A whole folder of new names (the first load, a decode pass) is read on
    // every core; a few are not worth a hand-over.
    if (unknown.size() > 1000)
        QtConcurrent::blockingMap(unknown, readOne);
    else
        std::for_each(unknown.begin(), unknown.end(), readOne);
    for (const qsizetype i : unknown)
        m_known.insert(fileNames[i], {photos[size_t(i)], m_round});
    m_known.removeIf([this](QHash<QString, Known>::iterator entry) { return entry->round != m_round; });
    return photos;
}

QString markText(unsigned marks)
{
    QStringList words;
    for (const MarkName &name : cMarkNames) {
        if (marks & name.mark)
            words.append(QLatin1String(name.text));
    }
    return words.join(QStringLiteral(", "));
}

QStringList markKeys(unsigned marks)
{
    QStringList keys;
    for (const MarkName &name : cMarkNames) {
        if (marks & name.mark)
            keys.append(QLatin1String(name.key));
    }
    return keys;
}

QString ShootCheck::summary() const
{
    int photographed = 0;
    for (const SubjectStatus &subject : subjects)
        photographed += subject.photos > 0 ? 1 : 0;
    QString text = QStringLiteral("%1 of %2 subjects photographed").arg(photographed).arg(subjects.size());
    QStringList issues;
    const auto add = [&issues](int count, const char *what) {
        if (count > 0)
            issues.append(QString::number(count) + u' ' + QLatin1String(what));
    };
    add(missing, "missing");
    add(onlyCard, "only a card");
    add(photographedTwice, "photographed twice");
    add(notOnRoster, "not on the roster");
    add(photosWithoutCode, photosWithoutCode == 1 ? "photo without a code" : "photos without a code");
    if (!issues.isEmpty())
        text += QStringLiteral("; ") + issues.join(QStringLiteral(", "));
    return text;
}

ShootCheck checkShoot(const Roster *roster, const std::vector<CheckedPhoto> &photos)
{
    ShootCheck check;
    const size_t rows = roster ? roster->subjects.size() : 0;
    check.subjects.resize(rows);
    for (size_t row = 0; row < rows; ++row) {
        check.subjects[row].code = roster->subjects[row].code;
        check.subjects[row].rosterRow = int(row);
    }
    check.subjectOfPhoto.assign(photos.size(), -1);
    QHash<QString, int> others; // codes no row has -> subject
    for (size_t i = 0; i < photos.size(); ++i) {
        const CheckedPhoto &photo = photos[i];
        if (!photo.code) {
            ++check.photosWithoutCode;
            continue;
        }
        int subject = roster ? roster->rowOf(*photo.code) : -1;
        if (subject < 0) {
            const auto found = others.constFind(*photo.code);
            if (found != others.constEnd()) {
                subject = *found;
            } else {
                subject = int(check.subjects.size());
                others.insert(*photo.code, subject);
                SubjectStatus status;
                status.code = *photo.code;
                check.subjects.push_back(std::move(status));
            }
        }
        check.subjectOfPhoto[i] = subject;
        SubjectStatus &status = check.subjects[size_t(subject)];
        ++status.photos;
        status.cards += photo.isCard ? 1 : 0;
    }
    findVisits(photos, check);

    for (SubjectStatus &subject : check.subjects) {
        if (subject.rosterRow >= 0 && subject.photos == 0)
            subject.marks |= MarkMissing;
        if (subject.cards > 0 && subject.portraits() == 0)
            subject.marks |= MarkOnlyCard;
        if (subject.visitTimes.size() > 1)
            subject.marks |= MarkPhotographedTwice;
        if (roster && subject.rosterRow < 0)
            subject.marks |= MarkNotOnRoster;
        check.missing += subject.has(MarkMissing) ? 1 : 0;
        check.onlyCard += subject.has(MarkOnlyCard) ? 1 : 0;
        check.photographedTwice += subject.has(MarkPhotographedTwice) ? 1 : 0;
        check.notOnRoster += subject.has(MarkNotOnRoster) ? 1 : 0;
    }
    return check;
}

} // namespace sorrelby
