#include "browser/SectionModel.h"

#include "browser/ThumbnailService.h"
#include "naming/FileNameScheme.h"
#include "naming/PhotoOrdering.h"
#include "naming/RawPairs.h"
#include "naming/UnreadCardMark.h"
#include "platform/FileOps.h"
#include "platform/Log.h"
#include "settings/PreferenceOps.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"
#include "shoot/PhotoListing.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace sorrelby {

namespace {

const QString kClass = QStringLiteral("ImageDirectoryLoader");

// The "key" entry of the selected dictionary of a settings list; entry 0 when
// the index is out of range; none when the list is empty or the entry has no
// text "key".
std::optional<QString> selectedListKey(const QString &listKey, const QString &indexKey)
{
    const Settings &settings = Settings::shared();
    const QVariantList list = settings.value(listKey).toList();
    if (list.isEmpty())
        return std::nullopt;
    qsizetype index = settings.intValue(indexKey);
    if (index < 0 || index >= list.size())
        index = 0;
    const QVariant key = list.at(index).toMap().value(QStringLiteral("key"));
    if (key.typeId() != QMetaType::QString)
        return std::nullopt;
    return key.toString();
}

// The key of a photo: the whole code of a coded name (so SMITH_JOHN and
// SMITH_JANE stay apart); for any other name the first "_" piece of its base
// name, spaces counting as "_", names of one piece sharing
// cOriginalFileNameKey.
QString sectionKeyOf(const QString &path, int tag)
{
    if (!checkIfIsOriginal(path, tag)) {
        if (const std::optional<QString> code = codeOfName(path, tag))
            return *code;
    }
    QString base = baseNameOf(path);
    base.replace(QLatin1Char(' '), QLatin1Char('_'));
    const qsizetype separator = base.indexOf(QLatin1Char('_'));
    return separator < 0 ? QString(cOriginalFileNameKey) : base.left(separator);
}

} // namespace

ImageFile::ImageFile(const QString &url)
    : fileName(fileNameOf(url))
    , fileurl(url)
{ }

ImageDirectoryLoader::ImageDirectoryLoader() = default;
ImageDirectoryLoader::~ImageDirectoryLoader() = default;

void ImageDirectoryLoader::doMyInitStuff()
{
    NotificationCenter &center = NotificationCenter::defaultCenter();
    m_buttonObserver = ObserverRegistration(
        center, center.addObserver(QStringLiteral("myCustomId"), [this](const Notification &n) { doNotificationForButton(n); }));
}

void ImageDirectoryLoader::doNotificationForButton(const Notification &notification)
{
    const QVariantMap &info = notification.userInfo;
    const QString operation = QStringLiteral("doNotificationForButton(_:)");
    if (info.contains(QStringLiteral("command")))
        logOp(kClass, operation, QStringLiteral("command = ") + info.value(QStringLiteral("command")).toString());
    else if (info.contains(QStringLiteral("sectionid")))
        logOp(kClass, operation, QStringLiteral("sectionid = ") + info.value(QStringLiteral("sectionid")).toString());
}

void ImageDirectoryLoader::setupDataForUrls(const std::optional<QStringList> &urls)
{
    sectionsAttributesArray.clear();
    if (urls) {
        imageFiles.clear();
        sectionLengthArray.clear();
        sectionLengthArray2.clear();
        createImageFilesForUrls(*urls);
    }
    numberOfSections = 1;
    if (singleSectionMode)
        sectionsAttributesArray.push_back({0, numberOfItems()});
    else
        setupDataForMultiSectionMode();
    if (fVerbose)
        logSectionTable();
}

void ImageDirectoryLoader::setupDataForMultiSectionMode()
{
    sectionsAttributesArray.clear();
    numberOfSections = 1;
    const int count = numberOfItems();
    if (sectionLengthArray.size() >= 2 && sectionLengthArray.front() < count) {
        SectionAttributes section{0, sectionLengthArray.front()};
        sectionsAttributesArray.push_back(section);
        for (size_t i = 1; i < sectionLengthArray.size(); ++i) {
            section = {section.sectionOffset + section.sectionLength, sectionLengthArray[i]};
            sectionsAttributesArray.push_back(section);
            ++numberOfSections;
        }
    } else {
        sectionsAttributesArray.push_back({0, count});
    }
}

void ImageDirectoryLoader::createImageFilesForUrls(const QStringList &urls)
{
    const QString operation = QStringLiteral("createImageFilesForUrls(_:)");
    imageFiles.reserve(size_t(urls.size()));
    arrayofitemsinsection.clear();
    curinfo.clear();
    const QString barcodeId = QStringLiteral("barcodeid");
    const QString curCount = QStringLiteral("curcount");
    const QString imageFilesKey = QStringLiteral("imagefiles");

    // The working record keeps the names of the section being built; it is
    // written when a section closes rather than once per photo.
    auto closeSection = [&] {
        if (sectionLengthArray.empty())
            return;
        QStringList names;
        names.reserve(qsizetype(arrayofitemsinsection.size()));
        for (const ImageFilePtr &file : arrayofitemsinsection)
            names.append(file->fileName);
        curinfo.insert(curCount, sectionLengthArray.back());
        curinfo.insert(imageFilesKey, names);
        sectionLengthArray2.last().insert(curCount, sectionLengthArray.back());
    };

    if (singleSectionMode) {
        sectionLengthArray.push_back(0);
        curinfo.insert(barcodeId, QString(cSingleModeKey));
        sectionLengthArray2.append(curinfo);
    }
    // One read for the whole load: every key must follow one name format.
    const int tag = Settings::shared().intValue(cPrefOriginalNameFormatTag);
    const PairedPhotos paired = pairRawCompanions(urls);
    QString previousKey;
    for (const QString &url : paired.photos) {
        const QString key = sectionKeyOf(url, tag);
        if (singleSectionMode) {
            ++sectionLengthArray[0];
        } else if (!sectionLengthArray.empty() && key == previousKey) {
            ++sectionLengthArray.back();
        } else {
            closeSection();
            sectionLengthArray.push_back(1);
            curinfo.insert(barcodeId, key);
            sectionLengthArray2.append(QVariantMap{{barcodeId, key}});
            arrayofitemsinsection.clear();
            logOp(kClass, operation, QStringLiteral("new section.......==================================="));
        }
        previousKey = key;
        auto file = std::make_shared<ImageFile>(url);
        file->basecode = key;
        file->rawFiles = paired.rawsOf(url) + m_rawCompanions.value(url);
        if (!baseNameOf(url).endsWith(cQRCodeMarker))
            file->possibleUnreadCard = possibleUnreadCardMark(url);
        imageFiles.push_back(file);
        arrayofitemsinsection.push_back(std::move(file));
    }
    closeSection();
}

std::optional<QStringList> ImageDirectoryLoader::getFilesURLFromFolderClass(const QString &folder, QString *error)
{
    return photosInFolder(folder, error);
}

std::optional<QStringList> ImageDirectoryLoader::getFilesURLFromFolder(const QString &folder)
{
    std::optional<PhotoListing> listing = listPhotos(folder, &m_lastError);
    if (!listing)
        return std::nullopt;
    m_leftAlone = std::move(listing->leftAlone);
    return std::move(listing->photos);
}

int ImageDirectoryLoader::numberOfItemsInSection(int section) const
{
    if (fVerbose)
        logOp(kClass, QStringLiteral("numberOfItemsInSection(_:)"), QString::number(section));
    if (sectionsAttributesArray.empty()) {
        logOp(kClass, QStringLiteral("numberOfItemsInSection(_:)"),
              QStringLiteral("inside numberOfItemsInSection...sectionsAttributesArray isEmpty..."));
        return 0;
    }
    if (section < 0 || size_t(section) >= sectionsAttributesArray.size()) {
        logOp(kClass, QStringLiteral("numberOfItemsInSection(_:)"), QStringLiteral("...section >= sectionsAttributesArray.count..."));
        return 0;
    }
    return sectionsAttributesArray[size_t(section)].sectionLength;
}

int ImageDirectoryLoader::numberOfItems() const
{
    return int(imageFiles.size());
}

ImageFilePtr ImageDirectoryLoader::imageFileForIndexPath(const IndexPath &indexPath) const
{
    if (fVerbose)
        logOp(kClass, QStringLiteral("imageFileForIndexPath(_:)"), QStringLiteral("[%1, %2]").arg(indexPath.section).arg(indexPath.item));
    if (indexPath.section < 0 || size_t(indexPath.section) >= sectionsAttributesArray.size() || indexPath.item < 0)
        return nullptr;
    // An item past its own section must not answer with the next section's photo.
    const SectionAttributes &section = sectionsAttributesArray[size_t(indexPath.section)];
    if (indexPath.item >= section.sectionLength)
        return nullptr;
    const qsizetype flat = qsizetype(section.sectionOffset) + indexPath.item;
    if (flat >= qsizetype(imageFiles.size()))
        return nullptr;
    return imageFiles[size_t(flat)];
}

bool ImageDirectoryLoader::loadDataForFolderWithUrl(const QString &folder)
{
    const QString operation = QStringLiteral("loadDataForFolderWithUrl(_:)");
    logOp(kClass, operation, folder);
    m_lastError.clear();
    const std::optional<QStringList> urls = getFilesURLFromFolder(folder);
    if (!urls) {
        logOp(kClass, operation, QStringLiteral("Inside loadDataForFolderWithUrl.. folderURL is NIL????"));
        return false;
    }
    const QString key = selectedSortKey();
    const SortDirection direction = selectedSortDescending() ? SortDirection::Descending : SortDirection::Ascending;
    PairedPhotos paired = pairRawCompanions(*urls);
    m_rawCompanions = std::move(paired.raws);
    fSortedUrls = sortImageUrls(paired.photos, direction, key);
    setupDataForUrls(fSortedUrls);
    if (m_thumbnails)
        loadThumbnails();
    return true;
}

std::optional<QString> ImageDirectoryLoader::barcodeidForSection(int section) const
{
    if (fVerbose)
        logOp(kClass, QStringLiteral("barcodeidForSection(_:)"), QString::number(section));
    if (section < 0 || section >= sectionLengthArray2.size())
        return std::nullopt;
    const QVariant id = sectionLengthArray2.at(section).value(QStringLiteral("barcodeid"));
    if (id.typeId() != QMetaType::QString)
        return std::nullopt;
    return id.toString();
}

QString ImageDirectoryLoader::selectedSortKey()
{
    return selectedListKey(cPrefInputFolderSortKeyList, cPrefInputFolderSortKeySelectedIndex).value_or(QString(cSortKeyLocalizedName));
}

bool ImageDirectoryLoader::selectedSortDescending()
{
    return selectedListKey(cPrefInputFolderSortOrderKeyList, cPrefInputFolderSortOrderKeySelectedIndex) == QStringLiteral("descending");
}

void ImageDirectoryLoader::setThumbnailService(std::shared_ptr<ThumbnailService> service)
{
    m_thumbnails = std::move(service);
}

bool ImageDirectoryLoader::loadThumbnails()
{
    if (!m_thumbnails)
        return false;
    QStringList paths;
    paths.reserve(qsizetype(imageFiles.size()));
    for (const ImageFilePtr &file : imageFiles)
        paths.append(file->fileurl);
    const QList<QImage> thumbnails = m_thumbnails->thumbnailsFor(paths);
    for (size_t i = 0; i < imageFiles.size(); ++i) {
        imageFiles[i]->thumbnail = thumbnails.value(qsizetype(i));
        if (imageFiles[i]->thumbnail.isNull())
            logOp(kClass, QStringLiteral("getThumbnailImage(_:)"), imageFiles[i]->fileurl);
    }
    return true;
}

void ImageDirectoryLoader::logSectionTable() const
{
    for (size_t i = 0; i < sectionsAttributesArray.size(); ++i) {
        const SectionAttributes &s = sectionsAttributesArray[i];
        logOp(kClass, QStringLiteral("setupDataForUrls(_:)"),
              QStringLiteral("section %1 [%2] offset %3 length %4")
                  .arg(i)
                  .arg(barcodeidForSection(int(i)).value_or(QString()))
                  .arg(s.sectionOffset)
                  .arg(s.sectionLength));
    }
}

} // namespace sorrelby
