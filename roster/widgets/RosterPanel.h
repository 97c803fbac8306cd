#pragma once
// The roster panel: a dock beside the photos listing every subject of the
// class list group by group, with the number of photos and the marks, then
// the codes no row has and the photos without a code. A click on a row
// scrolls the browser to that subject's section. It shows what the
// RosterController checked at the last reload. GUI thread.

#include <QDockWidget>

class QLabel;
class QListView;

namespace sorrelby {

class BrowserView;
class RosterController;

class RosterPanel : public QDockWidget {
    Q_OBJECT
public:
    RosterPanel(RosterController &controller, BrowserView &browser, QWidget *parent = nullptr);

    QListView *list() const { return m_list; }
    QLabel *summary() const { return m_summary; }
    // Scrolls the browser to the section of the panel's row; false when the
    // row has none (a subject without photos, a group title).
    bool showRow(int row);

private:
    void updateSummary();

    RosterController &m_controller;
    BrowserView &m_browser;
    QLabel *m_summary = nullptr;
    QListView *m_list = nullptr;
};

} // namespace sorrelby
