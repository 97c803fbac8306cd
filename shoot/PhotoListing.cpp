#include "shoot/PhotoListing.h"

#include "platform/FileOps.h"
#include "platform/FileTypes.h"
#include "platform/Log.h"
#include "settings/PreferenceOps.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QtConcurrent/QtConcurrentMap>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <mutex>
#include <vector>

namespace sorrelby {

namespace {

const QString kClass = QStringLiteral("ImageDirectoryLoader");

// Whether a file is a picture, remembered by file identity: a reload after
// renames looks at no file's content again, and a rewritten file is looked at
// anew.
class ImageTypeMemo {
public:
    bool isImage(const QString &path, const FileAttributes &attributes)
    {
        const Key key{attributes.device, attributes.inode, attributes.size, attributes.modificationDate.toMSecsSinceEpoch()};
        {
            std::lock_guard lock(m_mutex);
            if (const auto found = m_known.constFind(key); found != m_known.constEnd())
                return *found;
        }
        const bool image = filetypes::isImage(path);
        std::lock_guard lock(m_mutex);
        if (m_known.size() > 500000)
            m_known.clear();
        m_known.insert(key, image);
        return image;
    }

private:
    struct Key {
        dev_t device;
        ino_t inode;
        qint64 size;
        qint64 modifiedMs;
        bool operator==(const Key &) const = default;
    };
    friend size_t qHash(const Key &key, size_t seed = 0)
    {
        return qHashMulti(seed, quint64(key.device), quint64(key.inode), key.size, key.modifiedMs);
    }
    std::mutex m_mutex;
    QHash<Key, bool> m_known;
};

ImageTypeMemo &imageTypeMemo()
{
    static ImageTypeMemo memo;
    return memo;
}

} // namespace

std::optional<QStringList> photosInFolder(const QString &folder, QString *error)
{
    const QString operation = QStringLiteral("getFilesURLFromFolder(_:)");
    // Records carry absolute paths whatever the caller's working folder.
    const QString root = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    DIR *dir = ::opendir(QFile::encodeName(root).constData());
    if (!dir) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        logOp(kClass, operation, QStringLiteral("`directoryEnumerator` error: ") + root + QLatin1String(": ") + reason);
        if (error)
            *error = reason;
        return std::nullopt;
    }

    const std::optional<double> delay = preferenceops::validPhotoDelay();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString prefix = root == QLatin1String("/") ? root : root + QLatin1Char('/');

    struct Candidate {
        QString path;
        FileAttributes attributes;
    };
    std::vector<Candidate> candidates;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0)
                logOp(kClass, operation, QStringLiteral("`directoryEnumerator` error: ") + QString::fromLocal8Bit(std::strerror(errno)));
            break;
        }
        if (entry->d_name[0] == '.') // hidden files, "." and ".."
            continue;
        if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN)
            continue;
        const QString path = prefix + QFile::decodeName(entry->d_name);
        const std::optional<FileAttributes> attributes = fileops::attributes(path);
        if (!attributes || !attributes->isRegularFile)
            continue;
        candidates.push_back({path, *attributes});
    }
    ::closedir(dir);

    // Telling a picture by its content reads every file: done in parallel.
    const std::vector<char> isImage = QtConcurrent::blockingMapped<std::vector<char>>(
        candidates, [](const Candidate &candidate) -> char { return imageTypeMemo().isImage(candidate.path, candidate.attributes); });
    QStringList kept;
    kept.reserve(qsizetype(candidates.size()));
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (!isImage[i])
            continue;
        const Candidate &candidate = candidates[i];
        if (delay && now < candidate.attributes.creationDate.addMSecs(qint64(*delay * 1000.0))) {
            logOp(kClass, operation, QStringLiteral("too young, left for a later reload: ") + candidate.path);
            continue;
        }
        kept.append(candidate.path);
    }
    return kept;
}

} // namespace sorrelby
