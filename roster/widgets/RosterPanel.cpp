#include "roster/widgets/RosterPanel.h"

#include "browser/widgets/BrowserView.h"
#include "browser/widgets/SectionGridView.h"
#include "roster/RosterController.h"

#include <QFileInfo>
#include <QLabel>
#include <QListView>
#include <QVBoxLayout>

namespace sorrelby {

RosterPanel::RosterPanel(RosterController &controller, BrowserView &browser, QWidget *parent)
    : QDockWidget(tr("Roster"), parent)
    , m_controller(controller)
    , m_browser(browser)
{
    setObjectName(QStringLiteral("rosterPanel"));
    setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    auto *content = new QWidget(this);
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(6, 6, 6, 6);
    m_summary = new QLabel(content);
    m_summary->setObjectName(QStringLiteral("rosterSummary"));
    m_summary->setWordWrap(true);
    layout->addWidget(m_summary);
    m_list = new QListView(content);
    m_list->setObjectName(QStringLiteral("rosterList"));
    // Thousands of rows: one height for all keeps layout off the reload's bill.
    m_list->setUniformItemSizes(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setModel(controller.model());
    layout->addWidget(m_list, 1);
    setWidget(content);
    setMinimumWidth(260);

    connect(m_list, &QListView::clicked, this, [this](const QModelIndex &index) { showRow(index.row()); });
    connect(m_list, &QListView::activated, this, [this](const QModelIndex &index) { showRow(index.row()); });
    connect(&controller, &RosterController::updated, this, &RosterPanel::updateSummary);
    updateSummary();
}

bool RosterPanel::showRow(int row)
{
    const QModelIndex index = m_controller.model()->index(row);
    const int section = index.data(RosterPanelModel::SectionRole).toInt();
    if (!index.isValid() || section < 0 || !index.data(RosterPanelModel::SectionRole).isValid())
        return false;
    const SectionItemModel *photos = m_browser.controller()->model();
    if (section >= photos->sectionCount())
        return false;
    m_browser.grid()->scrollTo(photos->indexForPath({section, 0}), QAbstractItemView::PositionAtTop);
    return true;
}

void RosterPanel::updateSummary()
{
    const std::shared_ptr<const RosterSnapshot> snapshot = m_controller.snapshot();
    if (!m_controller.roster()) {
        m_summary->setText(tr("No class list for this folder: File > Open Roster..., or put a roster.csv into it."));
        return;
    }
    m_summary->setText(QStringLiteral("<b>%1</b><br>%2")
                           .arg(QFileInfo(m_controller.rosterPath()).fileName().toHtmlEscaped(),
                                snapshot ? snapshot->check.summary().toHtmlEscaped() : QString()));
}

} // namespace sorrelby
