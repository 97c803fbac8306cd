#pragma once
// The card window: a status line, a busy indicator while it waits, a bar of
// the copy (photos, megabytes, time left), and the manual folder selection.
// A thin dialog over CardLoader, which decides and copies. Main thread only.
//
// The browser's segue "dummyButtonSegue3" calls showLoadCardWindow().

#include "intake/CardLoader.h"

#include <QDialog>

#include <functional>
#include <optional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace sorrelby {

class VolumeMonitor;

inline constexpr QLatin1StringView cLoadCardSegue{"dummyButtonSegue3"};

class LoadCardViewController : public QDialog {
    Q_OBJECT
public:
    // Answers the folder chosen, or none when cancelled.
    using FolderChooser = std::function<void(QWidget *parent, std::function<void(std::optional<QString>)> done)>;

    explicit LoadCardViewController(VolumeMonitor &monitor, QWidget *parent = nullptr);
    ~LoadCardViewController() override;

    CardLoader &loader() { return m_loader; }
    QString fStatusString() const { return m_loader.statusString(); }
    // Tests answer the open panel; by default a folder dialog shown as a sheet.
    void setFolderChooser(FolderChooser chooser) { m_chooser = std::move(chooser); }
    // Brings back the window hidden while its copy runs, or raises the open one.
    void showAgain();

public Q_SLOTS:
    void doManualSelectFolder();
    void doSelectUnassigedFolder();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void showProgress(const CardCopyProgress &progress);
    void showNotCopied(const QList<LeftAlone> &files);

    CardLoader m_loader;
    FolderChooser m_chooser;
    QLabel *m_statusLabel = nullptr;
    QLabel *m_notCopiedLabel = nullptr; // the card's files the last copy left, with why
    QProgressBar *ibProgressIndicator = nullptr;
    QProgressBar *m_copyBar = nullptr;
    QPushButton *ibAssignUnknownNSButon = nullptr;
    QPushButton *m_manualButton = nullptr;
    bool m_started = false;
    bool m_closeWhenDone = false;
    bool m_showingAgain = false;
};

// The segue's work: shows the card window over parent (raising the one
// already open), watching `monitor` (the mount table when null), copying on
// `copyQueue` (see CardLoader::setCopyQueue; its own when null). Main thread.
LoadCardViewController *showLoadCardWindow(QWidget *parent, VolumeMonitor *monitor = nullptr, SerialQueue *copyQueue = nullptr);

} // namespace sorrelby
