#pragma once
// The section model as one flat Qt list for the grid: each section is a
// header row followed by the rows of its photos. Headers carry the section's
// title and count; photo rows carry the name, the thumbnail (a placeholder
// until the thumbnail service hands one back) and the file path.
//
// Owned by the browser controller; lives on the GUI thread. A reload swaps
// in a whole new loader (the model is never edited in place); thumbnails are
// asked for by the view, rows on screen first, and update only their row.

#include "browser/SectionModel.h"

#include <QAbstractListModel>
#include <QHash>
#include <QImage>
#include <QSet>

#include <memory>
#include <optional>
#include <vector>

namespace sorrelby {

class ThumbnailService;

// The code of a section, or none for the section without code: photos that
// still carry their camera name, and the single section of one-list mode.
std::optional<QString> codeForSection(const ImageDirectoryLoader &loader, int section);

// "ID[n] = code", "Unknown!" for the section without code, "" in one-list
// mode; ":" shown as "/".
QString headerTitleForSection(const ImageDirectoryLoader &loader, int section);
// n + " Item(s)".
QString countTextForSection(const ImageDirectoryLoader &loader, int section);

class SectionItemModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        IsHeaderRole = Qt::UserRole + 1,
        SectionRole,    // section index of a header or photo
        CountTextRole,  // headers: "n Item(s)"
        FilePathRole,   // photos: absolute path
        IndexPathRole,  // photos: item within the section
        SharpImageRole, // photos: the larger decode for cells above scale 1.0, when made
        // Photos: why the photo may be a card nobody read, empty when not.
        // Headers: "1 possible unread card", "n possible unread cards", or empty.
        PossibleUnreadCardRole,
        // Headers: who the section's code is ("Emma Larsen · 3B"), empty
        // when no class list names it.
        SubjectRole,
        // Photos: the names of the RAW files that go with the JPEG shown
        // (empty for a photo without one).
        RawCompanionsRole,
    };

    explicit SectionItemModel(QObject *parent = nullptr);
    ~SectionItemModel() override;

    // Installs a freshly loaded section model (resets the list).
    void setLoader(std::shared_ptr<ImageDirectoryLoader> loader);
    const ImageDirectoryLoader &loader() const { return *m_loader; }
    std::shared_ptr<ImageDirectoryLoader> sharedLoader() const { return m_loader; }

    // Where thumbnails come from: small ones for every cell, sharp ones
    // (larger side) for cells drawn above scale 1.0. Either may be null.
    void setThumbnailServices(ThumbnailService *small, ThumbnailService *sharp);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;

    int sectionCount() const;
    int headerRow(int section) const;
    int sectionOfRow(int row) const;
    bool isHeaderRow(int row) const;
    QModelIndex indexForPath(const IndexPath &path) const;
    std::optional<IndexPath> indexPathForRow(int row) const;
    ImageFilePtr imageFileForRow(int row) const;

    // Asks for the thumbnails of the given photo rows, in their order, the
    // first most urgently; requests for rows no longer asked for are
    // dropped. With sharp set, the large decode is asked for too (and the
    // large images of other rows are let go).
    void requestThumbnails(const QList<int> &rows, bool sharp);

    // Code -> who it is, for the headers; kept across reloads until replaced.
    void setSubjectLabels(QHash<QString, QString> labels);
    int thumbnailsShown() const { return m_thumbnailsShown; }

Q_SIGNALS:
    void thumbnailArrived(int row);

private:
    struct Row {
        int section = 0;
        int item = -1; // -1: the section's header
    };
    void thumbnailReady(const QString &path, const QImage &image, bool sharp);

    std::shared_ptr<ImageDirectoryLoader> m_loader;
    std::vector<Row> m_rows;
    std::vector<int> m_headerRows;
    QHash<QString, int> m_rowOfPath;
    ThumbnailService *m_small = nullptr;
    ThumbnailService *m_sharp = nullptr;
    QHash<QString, QImage> m_sharpImages;
    QSet<QString> m_asked;
    QHash<QString, QString> m_subjectLabels;
    int m_thumbnailsShown = 0;
};

} // namespace sorrelby
