#pragma once
// The class list of the folder the window shows: which roster it is (the one
// the user opened for that folder, else the folder's own roster.csv), its
// check against the photos after every reload, the question before a
// delivery, and the export of the report. Window-free: the main window
// shows what it reports and answers the choosers.
//
// GUI thread. Reading the roster, checking the photos and writing a report
// run on the thread pool; their results come back here, a result older than
// the newest request being dropped.

#include "platform/AlertPresenter.h"
#include "roster/ReportFiles.h"
#include "roster/RosterPanelModel.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

namespace sorrelby {

class ImageDirectoryLoader;
class Settings;

// The roster of a source folder: the one chosen for it (kept in
// cPrefRosterPaths) when that file is still there, else FOLDER/roster.csv
// when there is one; "" for none.
QString rosterPathForFolder(const Settings &settings, const QString &folder);
// Remembers (or, with an empty path, forgets) the roster chosen for a folder.
void rememberRosterForFolder(Settings &settings, const QString &folder, const QString &rosterPath);

// The question before a delivery, when the roster says subjects are missing,
// only a card or not on the roster; none otherwise. "Deliver Anyway" is the
// second button.
std::optional<Alert> deliveryQuestion(const RosterSnapshot &snapshot);
// The subjects of that question, one line each ("missing: A1042 Emma Larsen (3B)").
QStringList subjectsToLookAt(const RosterSnapshot &snapshot);

struct ReportExportResult {
    bool ok = false;
    QString path; // the file, or the HTML report's index page
    QString error;
};

// Writes the report of a source folder as `report` writes it: a file
// (CSV, JSON) that is new or an earlier report of ours, or an HTML report
// folder. Any thread but the GUI's.
ReportExportResult exportShootReport(const QString &folder, std::shared_ptr<const Roster> roster, ReportFormat format,
                                     const QString &target, int nameFormatTag,
                                     const std::function<void(int done, int total)> &progress = {});

class RosterController : public QObject {
    Q_OBJECT
public:
    explicit RosterController(Settings &settings, QObject *parent = nullptr);
    ~RosterController() override;

    // The folder shown; its roster is read at the next update.
    void setFolder(const QString &folder);
    QString folder() const { return m_folder; }
    // The roster in use and its file; null and "" without one.
    std::shared_ptr<const Roster> roster() const { return m_roster; }
    QString rosterPath() const { return m_rosterPath; }

    // File > Open Roster...: reads the file; a usable roster becomes the
    // folder's (remembered) and the photos are checked against it, one with
    // problems is refused (rosterRefused) and the roster in use stays.
    void openRoster(const QString &path);
    // Checks the loader's photos against the folder's roster (read again
    // when its file changed); updated() once the new snapshot is in.
    void update(std::shared_ptr<const ImageDirectoryLoader> loader);
    RosterPanelModel *model() const { return m_model; }
    std::shared_ptr<const RosterSnapshot> snapshot() const { return m_snapshot; }
    bool isBusy() const { return m_inFlight > 0; }

    // File > Export Report...: in the background; exportProgressed and
    // exportFinished follow. False when an export is already running.
    bool exportReport(ReportFormat format, const QString &target);
    bool isExporting() const { return m_exporting; }

Q_SIGNALS:
    void updated();
    // The roster at path cannot be used; the lines name line and column.
    void rosterRefused(const QString &path, const QStringList &problems);
    void exportProgressed(int done, int total);
    void exportFinished(const sorrelby::ReportExportResult &result);

private:
    struct Cache;
    void apply(quint64 generation, std::shared_ptr<const RosterSnapshot> snapshot, std::shared_ptr<const Roster> roster,
               const QString &rosterPath, const QStringList &problems);

    Settings &m_settings;
    QString m_folder;
    RosterPanelModel *m_model = nullptr;
    std::shared_ptr<const RosterSnapshot> m_snapshot;
    std::shared_ptr<const Roster> m_roster;
    QString m_rosterPath;
    std::shared_ptr<const ImageDirectoryLoader> m_loader;
    std::shared_ptr<Cache> m_cache;
    quint64 m_generation = 0;
    int m_inFlight = 0;
    bool m_exporting = false;
};

} // namespace sorrelby

Q_DECLARE_METATYPE(sorrelby::ReportExportResult)
