#pragma once
// Showing files and folders in the user's file manager. Code that reveals goes
// through this interface so tests can see what would be shown; the desktop
// implementation (platform/widgets) asks the file manager over D-Bus and
// falls back to opening the folder. Paths are handed over as file URLs, never
// as command lines. Main thread.

#include <QString>
#include <QStringList>

#include <mutex>
#include <vector>

namespace sorrelby {

class FileRevealer {
public:
    virtual ~FileRevealer() = default;
    // Shows the items selected in their folder(s).
    virtual void showItems(const QStringList &paths) = 0;
    // Opens a folder in the file manager.
    virtual void openFolder(const QString &path) = 0;

    // The revealer the application uses; one that only logs until set.
    static FileRevealer &shared();
    static void setShared(FileRevealer *revealer);
};

// Records what would be shown (tests).
class RecordingFileRevealer : public FileRevealer {
public:
    struct Call {
        bool openFolder = false; // else showItems
        QStringList paths;
    };
    void showItems(const QStringList &paths) override;
    void openFolder(const QString &path) override;
    std::vector<Call> calls() const;

private:
    mutable std::mutex m_mutex;
    std::vector<Call> m_calls;
};

} // namespace sorrelby
