#include "platform/FileRevealer.h"

#include "platform/Log.h"

#include <atomic>

namespace sorrelby {

namespace {

class LoggingFileRevealer : public FileRevealer {
public:
    void showItems(const QStringList &paths) override { logOp(u"FileRevealer", u"showItems", paths.join(QStringLiteral(", "))); }
    void openFolder(const QString &path) override { logOp(u"FileRevealer", u"openFolder", path); }
};

std::atomic<FileRevealer *> g_shared{nullptr};

} // namespace

FileRevealer &FileRevealer::shared()
{
    static LoggingFileRevealer fallback;
    FileRevealer *revealer = g_shared.load();
    return revealer ? *revealer : fallback;
}

void FileRevealer::setShared(FileRevealer *revealer)
{
    g_shared.store(revealer);
}

void RecordingFileRevealer::showItems(const QStringList &paths)
{
    std::lock_guard lock(m_mutex);
    m_calls.push_back({false, paths});
}

void RecordingFileRevealer::openFolder(const QString &path)
{
    std::lock_guard lock(m_mutex);
    m_calls.push_back({true, {path}});
}

std::vector<RecordingFileRevealer::Call> RecordingFileRevealer::calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

} // namespace sorrelby
