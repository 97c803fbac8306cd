#include "naming/UnreadCardMark.h"

#include "platform/Log.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/xattr.h>

namespace sorrelby {

namespace {

constexpr const char *cAttribute = "user.sorrelby.unread-card";
// A reason longer than this is cut; the mark is what counts.
constexpr int cMaxReasonBytes = 1024;

} // namespace

std::optional<QString> possibleUnreadCardMark(const QString &path)
{
    const QByteArray file = QFile::encodeName(path);
    char value[cMaxReasonBytes];
    const ssize_t size = ::getxattr(file.constData(), cAttribute, value, sizeof value);
    if (size < 0)
        return std::nullopt;
    return QString::fromUtf8(value, size);
}

bool setPossibleUnreadCardMark(const QString &path, const QString &why)
{
    const QByteArray file = QFile::encodeName(path);
    const QByteArray value = why.toUtf8().left(cMaxReasonBytes);
    if (::setxattr(file.constData(), cAttribute, value.constData(), std::size_t(value.size()), 0) == 0)
        return true;
    logOp(QStringLiteral("UnreadCardMark"), QStringLiteral("setPossibleUnreadCardMark()"),
          path + QStringLiteral(": the mark could not be kept: ") + QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

void clearPossibleUnreadCardMark(const QString &path)
{
    ::removexattr(QFile::encodeName(path).constData(), cAttribute);
}

} // namespace sorrelby
