#include "roster/RosterPanelModel.h"

#include "browser/SectionModel.h"
#include "platform/FileOps.h"
#include "roster/ShootReport.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QFont>

namespace sorrelby {

namespace {

const QString kNotOnRoster = QStringLiteral("Not on the roster");
const QString kNoGroup = QStringLiteral("No group");

QString shortTime(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

QString subjectLabel(const QString &name, const QString &group)
{
    if (name.isEmpty() || group.isEmpty())
        return name.isEmpty() ? group : name;
    return name + QStringLiteral(" \u00b7 ") + group;
}

QString RosterSnapshot::nameOf(int subject) const
{
    const int row = subject >= 0 && size_t(subject) < check.subjects.size() ? check.subjects[size_t(subject)].rosterRow : -1;
    return roster && row >= 0 ? roster->subjects[size_t(row)].displayName() : QString();
}

QString RosterSnapshot::groupOf(int subject) const
{
    const int row = subject >= 0 && size_t(subject) < check.subjects.size() ? check.subjects[size_t(subject)].rosterRow : -1;
    return roster && row >= 0 ? roster->subjects[size_t(row)].group : QString();
}

RosterSnapshot makeRosterSnapshot(const std::vector<CheckedPhoto> &photos, const std::vector<int> &sections,
                                  std::shared_ptr<const Roster> roster)
{
    RosterSnapshot snapshot;
    snapshot.roster = std::move(roster);
    snapshot.check = checkShoot(snapshot.roster.get(), photos);
    const ShootCheck &check = snapshot.check;

    snapshot.sectionOfSubject.assign(check.subjects.size(), -1);
    for (size_t i = 0; i < check.subjectOfPhoto.size() && i < sections.size(); ++i) {
        const int subject = check.subjectOfPhoto[i];
        if (subject < 0) {
            if (snapshot.withoutCodeSection < 0)
                snapshot.withoutCodeSection = sections[i];
        } else if (snapshot.sectionOfSubject[size_t(subject)] < 0) {
            snapshot.sectionOfSubject[size_t(subject)] = sections[i];
        }
    }

    // Groups in the order the roster first names them; the codes no row has
    // after them, as a group of their own.
    QList<QString> groupOrder;
    QHash<QString, std::vector<int>> members;
    std::vector<int> offRoster;
    for (size_t s = 0; s < check.subjects.size(); ++s) {
        const int row = check.subjects[s].rosterRow;
        if (!snapshot.roster || row < 0) {
            offRoster.push_back(int(s));
            continue;
        }
        const RosterSubject &subject = snapshot.roster->subjects[size_t(row)];
        const QString group = subject.group.isEmpty() ? kNoGroup : subject.group;
        auto it = members.find(group);
        if (it == members.end()) {
            groupOrder.append(group);
            it = members.insert(group, {});
        }
        it->push_back(int(s));
        snapshot.subjectLabels.insert(subject.code, subjectLabel(subject.displayName(), subject.group));
    }
    snapshot.rows.reserve(check.subjects.size() + size_t(groupOrder.size()) + 3);
    const auto addGroup = [&snapshot](const QString &title, const std::vector<int> &subjects) {
        if (subjects.empty())
            return;
        snapshot.rows.push_back({RosterPanelRow::Kind::Group, -1, title});
        for (const int s : subjects)
            snapshot.rows.push_back({RosterPanelRow::Kind::Subject, s, {}});
    };
    for (const QString &group : std::as_const(groupOrder))
        addGroup(group, members.value(group));
    addGroup(snapshot.roster ? kNotOnRoster : QStringLiteral("Codes"), offRoster);
    if (check.photosWithoutCode > 0)
        snapshot.rows.push_back({RosterPanelRow::Kind::WithoutCode, -1, {}});
    return snapshot;
}

RosterSnapshot makeRosterSnapshot(const ImageDirectoryLoader &loader, std::shared_ptr<const Roster> roster, NameReader &names)
{
    QStringList fileNames;
    fileNames.reserve(qsizetype(loader.imageFiles.size()));
    for (const ImageFilePtr &file : loader.imageFiles)
        fileNames.append(file->fileName);
    std::vector<CheckedPhoto> photos = names.read(fileNames);
    std::vector<int> sections(photos.size(), 0);
    for (size_t s = 0; s < loader.sectionsAttributesArray.size(); ++s) {
        const SectionAttributes &section = loader.sectionsAttributesArray[s];
        for (int i = section.sectionOffset; i < section.sectionOffset + section.sectionLength && size_t(i) < sections.size(); ++i)
            sections[size_t(i)] = loader.singleSectionMode ? 0 : int(s);
    }
    for (size_t i = 0; i < photos.size(); ++i) {
        if (const std::optional<FileAttributes> attributes = fileops::attributes(loader.imageFiles[i]->fileurl))
            photos[i].captureMs = attributes->creationDate.toMSecsSinceEpoch();
    }
    return makeRosterSnapshot(photos, sections, std::move(roster));
}

RosterPanelModel::RosterPanelModel(QObject *parent)
    : QAbstractListModel(parent)
{ }

void RosterPanelModel::setSnapshot(std::shared_ptr<const RosterSnapshot> snapshot)
{
    beginResetModel();
    m_snapshot = std::move(snapshot);
    endResetModel();
}

int RosterPanelModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_snapshot ? 0 : int(m_snapshot->rows.size());
}

Qt::ItemFlags RosterPanelModel::flags(const QModelIndex &index) const
{
    if (!index.isValid() || !m_snapshot)
        return Qt::NoItemFlags;
    const RosterPanelRow &row = m_snapshot->rows[size_t(index.row())];
    return row.kind == RosterPanelRow::Kind::Group ? Qt::ItemIsEnabled : Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QString RosterPanelModel::marksText(const SubjectStatus &status) const
{
    QStringList words;
    if (status.has(MarkMissing))
        words << QStringLiteral("missing");
    if (status.has(MarkOnlyCard))
        words << QStringLiteral("only a card");
    if (status.has(MarkPhotographedTwice)) {
        QStringList times;
        for (const qint64 ms : status.visitTimes)
            times << shortTime(ms);
        words << QStringLiteral("photographed twice")
                + (times.isEmpty() ? QString() : QStringLiteral(" at ") + times.join(QStringLiteral(", ")));
    }
    if (status.has(MarkNotOnRoster))
        words << QStringLiteral("not on the roster");
    return words.join(QStringLiteral("; "));
}

int RosterPanelModel::rowOfCode(const QString &code) const
{
    if (!m_snapshot)
        return -1;
    for (size_t r = 0; r < m_snapshot->rows.size(); ++r) {
        const RosterPanelRow &row = m_snapshot->rows[r];
        if (row.kind == RosterPanelRow::Kind::Subject && m_snapshot->check.subjects[size_t(row.subject)].code == code)
            return int(r);
    }
    return -1;
}

QVariant RosterPanelModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !m_snapshot || size_t(index.row()) >= m_snapshot->rows.size())
        return {};
    const RosterPanelRow &row = m_snapshot->rows[size_t(index.row())];
    const ShootCheck &check = m_snapshot->check;
    if (role == KindRole)
        return int(row.kind);
    switch (row.kind) {
    case RosterPanelRow::Kind::Group:
        if (role == Qt::DisplayRole)
            return row.group;
        if (role == Qt::FontRole) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        if (role == SectionRole)
            return -1;
        return {};
    case RosterPanelRow::Kind::WithoutCode:
        if (role == Qt::DisplayRole)
            return QStringLiteral("Unknown! \u2014 %1 photo(s) without a code").arg(check.photosWithoutCode);
        if (role == PhotosRole)
            return check.photosWithoutCode;
        if (role == SectionRole)
            return m_snapshot->withoutCodeSection;
        if (role == Qt::ForegroundRole)
            return QBrush(QColor(170, 60, 0));
        return {};
    case RosterPanelRow::Kind::Subject:
        break;
    }
    const SubjectStatus &status = check.subjects[size_t(row.subject)];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: {
        QString text = status.code;
        if (const QString name = m_snapshot->nameOf(row.subject); !name.isEmpty())
            text += QStringLiteral(" \u00b7 ") + name;
        text += QStringLiteral(" \u2014 %1 photo(s)").arg(status.photos);
        if (const QString marks = marksText(status); !marks.isEmpty())
            text += QStringLiteral(" \u2014 ") + marks;
        return text;
    }
    case Qt::ForegroundRole:
        return status.marks ? QVariant(QBrush(QColor(170, 60, 0))) : QVariant();
    case CodeRole:
        return status.code;
    case PhotosRole:
        return status.photos;
    case MarksRole:
        return status.marks;
    case MarksTextRole:
        return marksText(status);
    case SectionRole:
        return m_snapshot->sectionOfSubject[size_t(row.subject)];
    default:
        return {};
    }
}

} // namespace sorrelby
