#pragma once
// The model behind the browser: the photos of the source folder in display
// order, cut into sections, one per run of consecutive photos that share a
// key (the code of the name, or its first "_" piece when it carries none).
//
// The browser controller owns one ImageDirectoryLoader and rebuilds it from
// the folder on every reload; it is never edited in place. A loader holds no
// lock: use one loader from one thread at a time (loading may run on a
// background queue, the look-ups then on the main thread once loading is
// over). Records and sections cost a listing and a sort; thumbnails come from
// the thumbnail service, made in parallel and cached by file identity, so a
// reload after renames makes none anew.
// A JPEG and its RAW companion are one photo here: the record shows the JPEG
// and holds the RAW; a RAW alone is a record of its own, shown through its
// preview.

#include "platform/FolderScan.h"
#include "platform/NotificationCenter.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <memory>
#include <optional>
#include <vector>

namespace sorrelby {

class ThumbnailService;

inline constexpr QLatin1StringView cOriginalFileNameKey{"?originalFileName?"};
inline constexpr QLatin1StringView cSingleModeKey{"singleMode"};

// A place in the sectioned list: section and item within it.
struct IndexPath {
    int section = 0;
    int item = 0;
};

// One photo. Shared between the model and the views that show it.
class ImageFile {
public:
    // No thumbnail yet: the loader (or the view) asks the thumbnail service.
    explicit ImageFile(const QString &url);

    QImage thumbnail;                // null while there is none
    QString fileName;                // last path component
    QString fileurl;                 // absolute path
    std::optional<QString> basecode; // the photo's section key
    // Why the photo may be a card nobody read (naming/UnreadCardMark.h);
    // none for a card photo or an ordinary photo.
    std::optional<QString> possibleUnreadCard;
    // The RAW files of the same picture (naming/RawPairs.h): the JPEG
    // stands for them, and whatever is done to it is done to them.
    QStringList rawFiles;
};

using ImageFilePtr = std::shared_ptr<ImageFile>;

struct SectionAttributes {
    int sectionOffset = 0; // index of the section's first photo in imageFiles
    int sectionLength = 0;
};

class ImageDirectoryLoader {
public:
    ImageDirectoryLoader();
    ~ImageDirectoryLoader();
    ImageDirectoryLoader(const ImageDirectoryLoader &) = delete;
    ImageDirectoryLoader &operator=(const ImageDirectoryLoader &) = delete;

    bool fVerbose = false;
    std::vector<ImageFilePtr> imageFiles;
    int numberOfSections = 1;
    bool singleSectionMode = false;
    std::vector<int> sectionLengthArray;
    std::vector<SectionAttributes> sectionsAttributesArray;
    QVariantMap curinfo;
    QList<QVariantMap> sectionLengthArray2;
    std::vector<ImageFilePtr> arrayofitemsinsection;
    std::optional<QStringList> fSortedUrls;

    // Observes "myCustomId" (logging only).
    void doMyInitStuff();
    void doNotificationForButton(const Notification &notification);

    // Rebuilds the records and the section table from an ordered list; with
    // none, keeps the records and rebuilds only the section table.
    void setupDataForUrls(const std::optional<QStringList> &urls);
    void setupDataForMultiSectionMode();
    void createImageFilesForUrls(const QStringList &urls);

    // The photos of a folder in listing order: regular, non-hidden image
    // files directly inside it, old enough when the completeness delay is on.
    // None when the folder cannot be listed (*error says why, when given).
    static std::optional<QStringList> getFilesURLFromFolderClass(const QString &folder, QString *error = nullptr);
    std::optional<QStringList> getFilesURLFromFolder(const QString &folder);

    int numberOfItemsInSection(int section) const;
    int numberOfItems() const;
    ImageFilePtr imageFileForIndexPath(const IndexPath &indexPath) const;

    // Lists, orders and groups a folder; false (previous model kept) when
    // the folder cannot be listed.
    bool loadDataForFolderWithUrl(const QString &folder);

    std::optional<QString> barcodeidForSection(int section) const;

    // The sort key and direction the settings select for the browser.
    static QString selectedSortKey();
    static bool selectedSortDescending();

    // When set, loading waits for every record's thumbnail (made in
    // parallel, from the service's cache where possible). Unset, records
    // come without thumbnails and the view asks the service itself.
    void setThumbnailService(std::shared_ptr<ThumbnailService> service);
    std::shared_ptr<ThumbnailService> thumbnailService() const { return m_thumbnails; }
    // Fills the thumbnails of all records now (waits); false without a service.
    bool loadThumbnails();

    // Why the last load failed (empty after a successful one).
    QString lastError() const { return m_lastError; }
    // The files of the folder the last load did not show, with the reasons.
    const QList<LeftAlone> &leftAlone() const { return m_leftAlone; }

private:
    void logSectionTable() const;

    ObserverRegistration m_buttonObserver;
    QHash<QString, QStringList> m_rawCompanions; // of the last listing, by JPEG
    std::shared_ptr<ThumbnailService> m_thumbnails;
    QString m_lastError;
    QList<LeftAlone> m_leftAlone;
};

} // namespace sorrelby
