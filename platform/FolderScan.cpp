#include "platform/FolderScan.h"

#include "platform/Log.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStringDecoder>
#include <QtConcurrent/QtConcurrentMap>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <mutex>

namespace sorrelby {

namespace {

const QString kClass = QStringLiteral("FolderScan");
constexpr char cShootRosterFileName[] = "roster.csv";

enum class Family { None, Jpeg, Png, Tiff, Raw };

// Enough for every signature below (CR3's brand sits at offset 4..11).
constexpr qint64 cHeadBytes = 16;

Family familyOfContent(const QByteArray &head)
{
    const auto starts = [&head](const char *magic, qsizetype length, qsizetype at = 0) {
        return head.size() >= at + length && std::memcmp(head.constData() + at, magic, size_t(length)) == 0;
    };
    if (starts("\xFF\xD8\xFF", 3))
        return Family::Jpeg;
    if (starts("\x89PNG\r\n\x1A\n", 8))
        return Family::Png;
    // TIFF, and the RAW formats built on it (NEF, CR2, ARW, DNG, PEF, ...).
    if (starts("II*\0", 4) || starts("MM\0*", 4))
        return Family::Tiff;
    if (starts("IIRO", 4) || starts("IIRS", 4) || starts("MMOR", 4) || starts("IIU\0", 4) || starts("FUJIFILMCCD-RAW", 15)
        || starts("ftypcrx ", 8, 4) || starts("II\x1A\0\0\0HEAPCCDR", 14) || starts("FOVb", 4) || starts("\0MRM", 4))
        return Family::Raw;
    return Family::None;
}

Family familyOfName(const QString &fileName)
{
    static const QSet<QString> jpeg{QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("jpe"), QStringLiteral("jfif")};
    static const QSet<QString> tiff{QStringLiteral("tif"), QStringLiteral("tiff")};
    static const QSet<QString> raw{QStringLiteral("nef"), QStringLiteral("nrw"), QStringLiteral("cr2"), QStringLiteral("cr3"),
                                   QStringLiteral("crw"), QStringLiteral("arw"), QStringLiteral("srf"), QStringLiteral("sr2"),
                                   QStringLiteral("dng"), QStringLiteral("pef"), QStringLiteral("rw2"), QStringLiteral("orf"),
                                   QStringLiteral("raf"), QStringLiteral("3fr"), QStringLiteral("erf"), QStringLiteral("kdc"),
                                   QStringLiteral("mef"), QStringLiteral("mos"), QStringLiteral("mrw"), QStringLiteral("srw"),
                                   QStringLiteral("x3f"), QStringLiteral("iiq"), QStringLiteral("rwl"), QStringLiteral("fff")};
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return Family::None;
    const QString extension = fileName.mid(dot + 1).toLower();
    if (jpeg.contains(extension))
        return Family::Jpeg;
    if (extension == QLatin1String("png"))
        return Family::Png;
    if (tiff.contains(extension))
        return Family::Tiff;
    if (raw.contains(extension))
        return Family::Raw;
    return Family::None;
}

QString familyName(Family family)
{
    switch (family) {
    case Family::Jpeg:
        return QStringLiteral("JPEG");
    case Family::Png:
        return QStringLiteral("PNG");
    case Family::Tiff:
        return QStringLiteral("TIFF");
    case Family::Raw:
        return QStringLiteral("camera RAW");
    case Family::None:
        break;
    }
    return {};
}

bool isStartOfFrame(uchar marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Whether JPEG data reaches a frame header (the picture's size) before its
// image data: the signature alone is forged in seconds, and data cut off
// before the frame holds no picture any reader opens. Segments are followed
// by their lengths, so this costs a few small reads. Bytes before a marker are
// skipped as decoders skip them; the frame must then be exactly well formed,
// which random bytes never are by chance.
bool holdsJpegFrame(QFile &file)
{
    constexpr int cMaxSegments = 1024;
    qint64 at = 2; // after the start-of-image marker
    for (int segment = 0; segment < cMaxSegments; ++segment) {
        if (!file.seek(at))
            return false;
        char c = 0;
        do {
            if (!file.getChar(&c))
                return false;
        } while (uchar(c) != 0xFF);
        do {
            if (!file.getChar(&c))
                return false;
        } while (uchar(c) == 0xFF);
        const uchar marker = uchar(c);
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            at = file.pos();
            continue;
        }
        // Image data or the end before any frame, or a stuffed byte out of place.
        if (marker == 0xD8 || marker == 0xD9 || marker == 0xDA || marker == 0x00)
            return false;
        const QByteArray lengthBytes = file.read(2);
        if (lengthBytes.size() < 2)
            return false;
        const int length = (uchar(lengthBytes[0]) << 8) | uchar(lengthBytes[1]);
        if (length < 2)
            return false;
        if (isStartOfFrame(marker)) {
            const QByteArray frame = file.read(6);
            if (frame.size() < 6)
                return false;
            const int precision = uchar(frame[0]);
            const int width = (uchar(frame[3]) << 8) | uchar(frame[4]);
            const int components = uchar(frame[5]);
            return precision >= 2 && precision <= 16 && width > 0 && components >= 1 && components <= 4 && length == 8 + 3 * components;
        }
        at = file.pos() - 2 + length;
    }
    return false;
}

// The verdict on each file, remembered by file identity: a reload after
// renames opens no file again, and a rewritten file is looked at anew.
class VerdictMemo {
public:
    std::optional<QString> problemOf(const QString &path, const FileAttributes &attributes)
    {
        const Key key{attributes.device, attributes.inode, attributes.size, attributes.modificationDate.toMSecsSinceEpoch()};
        {
            std::lock_guard lock(m_mutex);
            if (const auto found = m_known.constFind(key); found != m_known.constEnd())
                return *found;
        }
        const std::optional<QString> problem = photoFileProblem(path);
        // An unreadable file may be readable at the next look.
        if (problem && problem->startsWith(QLatin1String("unreadable")))
            return problem;
        std::lock_guard lock(m_mutex);
        if (m_known.size() > 500000)
            m_known.clear();
        m_known.insert(key, problem);
        return problem;
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
    QHash<Key, std::optional<QString>> m_known;
};

VerdictMemo &verdictMemo()
{
    static VerdictMemo memo;
    return memo;
}

} // namespace

QStringList describeLeftAlone(const QList<LeftAlone> &files)
{
    QStringList lines;
    lines.reserve(files.size());
    for (const LeftAlone &file : files)
        lines << file.name + QStringLiteral(": ") + file.reason;
    return lines;
}

QString shownName(const QByteArray &nativeName)
{
    QString shown;
    qsizetype i = 0;
    while (i < nativeName.size()) {
        // The longest run that decodes cleanly goes as text.
        qsizetype end = i;
        for (qsizetype j = nativeName.size(); j > i; --j) {
            QStringDecoder probe(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString text = probe.decode(QByteArrayView(nativeName).sliced(i, j - i));
            if (!probe.hasError()) {
                shown += text;
                end = j;
                break;
            }
        }
        if (end > i) {
            i = end;
            continue;
        }
        shown += QStringLiteral("\\x%1").arg(uint(uchar(nativeName[i])), 2, 16, QLatin1Char('0'));
        ++i;
    }
    return shown;
}

std::optional<std::vector<FolderEntry>> folderEntries(const QString &folder, int *errorNumber)
{
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir) {
        if (errorNumber)
            *errorNumber = errno;
        return std::nullopt;
    }
    std::vector<FolderEntry> entries;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0)
                logOp(kClass, QStringLiteral("folderEntries()"),
                      QStringLiteral("`directoryEnumerator` error: ") + QString::fromLocal8Bit(std::strerror(errno)));
            break;
        }
        if (entry->d_name[0] == '.') // hidden files, "." and ".."
            continue;
        FolderEntry item;
        item.nativeName = QByteArray(entry->d_name);
        item.name = QFile::decodeName(item.nativeName);
        // A name the text form cannot give back would reach another file, or none.
        item.nameIsUtf8 = QFile::encodeName(item.name) == item.nativeName;
        item.type = entry->d_type;
        entries.push_back(std::move(item));
    }
    ::closedir(dir);
    return entries;
}

std::optional<QString> notAPhotoReason(const QByteArray &head, const QString &fileName)
{
    const Family content = familyOfContent(head);
    if (content == Family::None)
        return QString(cNotAPhotoReason);
    const Family named = familyOfName(fileName);
    if (named == Family::None || named == content || (named == Family::Raw && content == Family::Tiff))
        return std::nullopt;
    return QStringLiteral("%1 (its content is %2, its name says %3)").arg(cNotAPhotoReason, familyName(content), familyName(named));
}

std::optional<QString> photoFileProblem(const QString &path)
{
    QFile file;
    if (const FileResult opened = fileops::openForReading(path, file); !opened) {
        if (opened.error == cNotRegularFileReason)
            return opened.error;
        return QStringLiteral("unreadable: ") + opened.error;
    }
    const QByteArray head = file.read(cHeadBytes);
    if (file.error() != QFileDevice::NoError)
        return QStringLiteral("unreadable: ") + file.errorString();
    if (head.isEmpty())
        return QString(cEmptyFileReason);
    if (std::optional<QString> reason = notAPhotoReason(head, QFileInfo(path).fileName()))
        return reason;
    if (familyOfContent(head) == Family::Jpeg && !holdsJpegFrame(file))
        return QStringLiteral("%1 (no picture in its JPEG data)").arg(cNotAPhotoReason);
    return std::nullopt;
}

std::optional<FolderScan> scanPhotoFolder(const QString &folder, QString *error)
{
    // Records carry absolute paths whatever the caller's working folder.
    const QString root = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    int errorNumber = 0;
    std::optional<std::vector<FolderEntry>> entries = folderEntries(root, &errorNumber);
    if (!entries) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errorNumber));
        logOp(kClass, QStringLiteral("scanPhotoFolder()"),
              QStringLiteral("`directoryEnumerator` error: ") + root + QLatin1String(": ") + reason);
        if (error)
            *error = reason;
        return std::nullopt;
    }
    const QString prefix = root == QLatin1String("/") ? root : root + QLatin1Char('/');

    // In listing order: a verdict slot per entry, filled below.
    struct Slot {
        QString path;
        FileAttributes attributes;
        std::optional<QString> problem;
        bool judged = false; // needs its content looked at
        bool gone = false;   // vanished since the listing: neither photo nor left
    };
    std::vector<Slot> slots(entries->size());
    for (size_t i = 0; i < entries->size(); ++i) {
        const FolderEntry &entry = (*entries)[i];
        Slot &slot = slots[i];
        slot.path = prefix + entry.name;
        if (!entry.nameIsUtf8) {
            slot.problem = QString(cNameNotUtf8Reason);
            continue;
        }
        errno = 0;
        const std::optional<FileAttributes> attributes = fileops::attributes(slot.path);
        if (!attributes) {
            if (errno == ENOENT)
                slot.gone = true;
            else
                slot.problem = QStringLiteral("unreadable: ") + QString::fromLocal8Bit(std::strerror(errno));
            continue;
        }
        slot.attributes = *attributes;
        if (attributes->isSymLink)
            slot.problem = QString(cSymbolicLinkReason);
        else if (attributes->isDirectory)
            slot.problem = QString(cFolderReason);
        else if (!attributes->isRegularFile)
            slot.problem = QString(cNotRegularFileReason);
        else if (attributes->size == 0)
            slot.problem = QString(cEmptyFileReason);
        else
            slot.judged = true;
    }

    // Looking at every file's first bytes is done in parallel (slow drives).
    QtConcurrent::blockingMap(slots, [](Slot &slot) {
        if (slot.judged)
            slot.problem = verdictMemo().problemOf(slot.path, slot.attributes);
    });

    FolderScan scan;
    for (size_t i = 0; i < slots.size(); ++i) {
        Slot &slot = slots[i];
        if (slot.gone)
            continue;
        // The shoot's class list belongs beside its photos (see roster/Roster.h).
        if (slot.problem && (*entries)[i].nativeName == cShootRosterFileName)
            continue;
        if (slot.problem)
            scan.leftAlone.append({shownName((*entries)[i].nativeName), *slot.problem});
        else
            scan.photos.push_back({std::move(slot.path), slot.attributes});
    }
    return scan;
}

} // namespace sorrelby
