#pragma once
// The Preferences window: tabs of check boxes, fields and radio buttons bound
// to the settings keys, and the actions that need logic, handed to
// PreferencesActions. Folder choosers and the reveal actions go through
// replaceable presenters so tests answer them. Main thread only.
//
// The browser's segue "dummyButtonSegue2" calls showPreferencesWindow().

#include "preferences/PreferencesActions.h"

#include <QDialog>
#include <QSortFilterProxyModel>

#include <functional>
#include <optional>
#include <vector>

class QButtonGroup;
class QFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace sorrelby {

class FileRevealer;

// Greys out the folders of the other roles in a folder panel.
class FolderPanelFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit FolderPanelFilter(QStringList badPaths, QObject *parent = nullptr);
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    QStringList m_badPaths;
};

// The open panel of a folder chooser: folders only, new folders allowed, the
// other roles' folders greyed out. Deletes itself when closed.
QFileDialog *makeFolderPanel(QWidget *parent, const FolderPanelSpec &spec);

class PreferencesViewController : public QDialog {
    Q_OBJECT
public:
    // Answers the folder chosen, or none when cancelled.
    using FolderChooser
        = std::function<void(QWidget *parent, const FolderPanelSpec &spec, std::function<void(std::optional<QString>)> done)>;
    using RelaunchTimeOpener = std::function<void(QWidget *parent)>;

    explicit PreferencesViewController(QWidget *parent = nullptr);
    ~PreferencesViewController() override;

    void setFolderChooser(FolderChooser chooser) { m_chooser = std::move(chooser); }
    // FileRevealer::shared() unless set.
    void setFileRevealer(FileRevealer *revealer) { m_revealer = revealer; }
    // The relaunch time dialog's entry point; until one is set the button
    // only logs (relaunchTimeRequested is emitted either way).
    static void setRelaunchTimeOpener(RelaunchTimeOpener opener);

public Q_SLOTS:
    void ibChangeHotFolderPath();
    void ibChangeSourcePath();
    void ibChangeDestPath();
    void ibClickedOnEnableHotFolderAction();
    void ibRevealInFinder(int tag);
    void setHotFolderInfoString();

Q_SIGNALS:
    void relaunchTimeRequested();

private:
    QWidget *makeFoldersTab();
    QWidget *makeNamingTab();
    QWidget *makeDeliveryTab();
    QWidget *makeDetectionTab();
    QWidget *makeReassignmentTab();
    QWidget *makeMaintenanceTab();
    void changeFolder(FolderRole role);
    void showFolders();
    void showNextRelaunch();
    void ibClickOnDateFormatter(int tag);
    void userPatternEdited();
    void refuse(const QString &message, const QString &problem);
    // Runs on the main queue after a change of key, while this window lives.
    void observe(const QString &key, void (PreferencesViewController::*refresh)());

    PreferencesActions m_actions;
    FolderChooser m_chooser;
    FileRevealer *m_revealer = nullptr;
    QTabWidget *ibTabView1 = nullptr;
    QLabel *m_folderLabels[3] = {};
    QLabel *m_hotFolderInfo = nullptr;
    QPushButton *m_hotFolderButton = nullptr;
    QButtonGroup *m_dateFormats = nullptr;
    QLineEdit *m_userPattern = nullptr;
    QLabel *m_example = nullptr;
    QLabel *m_nextRelaunch = nullptr;
    std::vector<quint64> m_observers;
};

// The segue's work: shows the Preferences window over parent, raising the one
// already open. Main thread.
PreferencesViewController *showPreferencesWindow(QWidget *parent);

} // namespace sorrelby
