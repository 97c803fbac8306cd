#include "browser/SectionItemModel.h"

#include "browser/ThumbnailService.h"
#include "naming/FileNameScheme.h"

#include <QMimeData>
#include <QPointer>
#include <QUrl>

namespace sorrelby {

std::optional<QString> codeForSection(const ImageDirectoryLoader &loader, int section)
{
    if (loader.singleSectionMode)
        return std::nullopt;
    const std::optional<QString> key = loader.barcodeidForSection(section);
    if (!key || key->isEmpty() || *key == cOriginalFileNameKey || *key == cSingleModeKey)
        return std::nullopt;
    // Camera-named photos share their name's first piece ("IMG", "DSC"),
    // which is no code.
    const ImageFilePtr first = loader.imageFileForIndexPath({section, 0});
    if (first && checkIfIsOriginal(first->fileName))
        return std::nullopt;
    return key;
}

QString headerTitleForSection(const ImageDirectoryLoader &loader, int section)
{
    if (loader.singleSectionMode)
        return {};
    const std::optional<QString> code = codeForSection(loader, section);
    QString title = code ? QStringLiteral("ID[%1] = %2").arg(section).arg(*code) : QStringLiteral("Unknown!");
    return title.trimmed().replace(QLatin1Char(':'), QLatin1Char('/'));
}

QString countTextForSection(const ImageDirectoryLoader &loader, int section)
{
    return QString::number(loader.numberOfItemsInSection(section)) + QStringLiteral(" Item(s)");
}

SectionItemModel::SectionItemModel(QObject *parent)
    : QAbstractListModel(parent)
    , m_loader(std::make_shared<ImageDirectoryLoader>())
{ }

SectionItemModel::~SectionItemModel() = default;

void SectionItemModel::setLoader(std::shared_ptr<ImageDirectoryLoader> loader)
{
    beginResetModel();
    m_loader = loader ? std::move(loader) : std::make_shared<ImageDirectoryLoader>();
    m_rows.clear();
    m_headerRows.clear();
    m_rowOfPath.clear();
    m_sharpImages.clear();
    m_asked.clear();
    const int sections = int(m_loader->sectionsAttributesArray.size());
    m_rows.reserve(size_t(m_loader->numberOfItems() + sections));
    for (int s = 0; s < sections; ++s) {
        m_headerRows.push_back(int(m_rows.size()));
        m_rows.push_back({s, -1});
        const int count = m_loader->numberOfItemsInSection(s);
        for (int i = 0; i < count; ++i) {
            if (const ImageFilePtr file = m_loader->imageFileForIndexPath({s, i}))
                m_rowOfPath.insert(file->fileurl, int(m_rows.size()));
            m_rows.push_back({s, i});
        }
    }
    endResetModel();
}

void SectionItemModel::setThumbnailServices(ThumbnailService *small, ThumbnailService *sharp)
{
    m_small = small;
    m_sharp = sharp;
}

int SectionItemModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int SectionItemModel::sectionCount() const
{
    return int(m_headerRows.size());
}

int SectionItemModel::headerRow(int section) const
{
    return section >= 0 && size_t(section) < m_headerRows.size() ? m_headerRows[size_t(section)] : -1;
}

int SectionItemModel::sectionOfRow(int row) const
{
    return row >= 0 && size_t(row) < m_rows.size() ? m_rows[size_t(row)].section : -1;
}

bool SectionItemModel::isHeaderRow(int row) const
{
    return row >= 0 && size_t(row) < m_rows.size() && m_rows[size_t(row)].item < 0;
}

QModelIndex SectionItemModel::indexForPath(const IndexPath &path) const
{
    const int header = headerRow(path.section);
    if (header < 0 || path.item < 0 || path.item >= m_loader->numberOfItemsInSection(path.section))
        return {};
    return index(header + 1 + path.item);
}

std::optional<IndexPath> SectionItemModel::indexPathForRow(int row) const
{
    if (row < 0 || size_t(row) >= m_rows.size() || m_rows[size_t(row)].item < 0)
        return std::nullopt;
    return IndexPath{m_rows[size_t(row)].section, m_rows[size_t(row)].item};
}

ImageFilePtr SectionItemModel::imageFileForRow(int row) const
{
    const std::optional<IndexPath> path = indexPathForRow(row);
    return path ? m_loader->imageFileForIndexPath(*path) : nullptr;
}

void SectionItemModel::setSubjectLabels(QHash<QString, QString> labels)
{
    if (labels == m_subjectLabels)
        return;
    m_subjectLabels = std::move(labels);
    if (!m_rows.empty())
        Q_EMIT dataChanged(index(0), index(int(m_rows.size()) - 1), {SubjectRole});
}

QVariant SectionItemModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= m_rows.size())
        return {};
    const Row &row = m_rows[size_t(index.row())];
    if (role == IsHeaderRole)
        return row.item < 0;
    if (role == SectionRole)
        return row.section;
    if (row.item < 0) {
        switch (role) {
        case Qt::DisplayRole:
            return headerTitleForSection(*m_loader, row.section);
        case CountTextRole:
            return countTextForSection(*m_loader, row.section);
        case SubjectRole: {
            if (m_subjectLabels.isEmpty() || m_loader->singleSectionMode)
                return QString();
            const std::optional<QString> code = codeForSection(*m_loader, row.section);
            return code ? m_subjectLabels.value(*code) : QString();
        }
        case PossibleUnreadCardRole: {
            int marked = 0;
            for (int item = 0; item < m_loader->numberOfItemsInSection(row.section); ++item) {
                const ImageFilePtr file = m_loader->imageFileForIndexPath({row.section, item});
                marked += file && file->possibleUnreadCard ? 1 : 0;
            }
            if (marked == 0)
                return QString();
            return QStringLiteral("%1 possible unread card%2").arg(marked).arg(marked == 1 ? "" : "s");
        }
        default:
            return {};
        }
    }
    const ImageFilePtr file = m_loader->imageFileForIndexPath({row.section, row.item});
    if (!file)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return baseNameOf(file->fileName);
    case Qt::ToolTipRole: {
        QStringList names{file->fileName};
        for (const QString &raw : file->rawFiles)
            names << fileNameOf(raw);
        return names.join(QStringLiteral(" + "));
    }
    case Qt::DecorationRole:
        return file->thumbnail;
    case FilePathRole:
        return file->fileurl;
    case IndexPathRole:
        return row.item;
    case SharpImageRole:
        return m_sharpImages.value(file->fileurl);
    case PossibleUnreadCardRole:
        return file->possibleUnreadCard.value_or(QString());
    case RawCompanionsRole: {
        QStringList names;
        for (const QString &raw : file->rawFiles)
            names << fileNameOf(raw);
        return names;
    }
    default:
        return {};
    }
}

Qt::ItemFlags SectionItemModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    if (isHeaderRow(index.row()))
        return Qt::ItemIsEnabled | Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

QStringList SectionItemModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

QMimeData *SectionItemModel::mimeData(const QModelIndexList &indexes) const
{
    QList<QUrl> urls;
    for (const QModelIndex &index : indexes) {
        if (const ImageFilePtr file = imageFileForRow(index.row()))
            urls << QUrl::fromLocalFile(file->fileurl);
    }
    if (urls.isEmpty())
        return nullptr;
    auto *mime = new QMimeData;
    mime->setUrls(urls);
    return mime;
}

Qt::DropActions SectionItemModel::supportedDragActions() const
{
    return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}

Qt::DropActions SectionItemModel::supportedDropActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

void SectionItemModel::requestThumbnails(const QList<int> &rows, bool sharp)
{
    if (!m_small)
        return;
    // Rows scrolled past are not waited for any more.
    m_small->cancelPending();
    if (m_sharp)
        m_sharp->cancelPending();
    m_asked.clear();
    QSet<QString> keepSharp;
    const QPointer<SectionItemModel> self(this);
    int priority = rows.size();
    for (const int row : rows) {
        const ImageFilePtr file = imageFileForRow(row);
        --priority;
        if (!file)
            continue;
        const QString path = file->fileurl;
        if (file->thumbnail.isNull()) {
            if (const std::optional<QImage> cached = m_small->cached(path)) {
                file->thumbnail = *cached;
                ++m_thumbnailsShown;
                Q_EMIT dataChanged(index(row), index(row), {Qt::DecorationRole});
            } else {
                m_asked.insert(path);
                m_small->request(
                    path,
                    [self](const QString &p, const QImage &image) {
                        if (self)
                            self->thumbnailReady(p, image, false);
                    },
                    priority + 1000000);
            }
        }
        if (sharp && m_sharp) {
            keepSharp.insert(path);
            if (!m_sharpImages.contains(path)) {
                m_sharp->request(
                    path,
                    [self](const QString &p, const QImage &image) {
                        if (self)
                            self->thumbnailReady(p, image, true);
                    },
                    priority);
            }
        }
    }
    // Large images only for the cells on screen.
    for (auto it = m_sharpImages.begin(); it != m_sharpImages.end();) {
        if (keepSharp.contains(it.key()))
            ++it;
        else
            it = m_sharpImages.erase(it);
    }
}

void SectionItemModel::thumbnailReady(const QString &path, const QImage &image, bool sharp)
{
    const auto found = m_rowOfPath.constFind(path);
    if (found == m_rowOfPath.constEnd())
        return; // a photo of a folder (or a load) already left
    const int row = *found;
    if (sharp) {
        if (image.isNull())
            return;
        m_sharpImages.insert(path, image);
        Q_EMIT dataChanged(index(row), index(row), {SharpImageRole});
        return;
    }
    m_asked.remove(path);
    const ImageFilePtr file = imageFileForRow(row);
    if (!file || file->fileurl != path)
        return;
    file->thumbnail = image;
    ++m_thumbnailsShown;
    Q_EMIT dataChanged(index(row), index(row), {Qt::DecorationRole});
    Q_EMIT thumbnailArrived(row);
}

} // namespace sorrelby
