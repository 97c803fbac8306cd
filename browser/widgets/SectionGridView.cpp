#include "browser/widgets/SectionGridView.h"

#include "browser/SectionItemModel.h"
#include "browser/widgets/PhotoCellDelegate.h"

#include <QContextMenuEvent>
#include <QDrag>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QUrl>

#include <algorithm>

namespace sorrelby {

SectionGridView::SectionGridView(QWidget *parent)
    : QAbstractItemView(parent)
{
    setObjectName(QStringLiteral("photoGrid"));
    setSelectionMode(ExtendedSelection);
    setSelectionBehavior(SelectItems);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(DragDrop);
    setDefaultDropAction(Qt::CopyAction);
    setEditTriggers(NoEditTriggers);
    setVerticalScrollMode(ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setItemDelegate(new PhotoCellDelegate(this));
    QPalette palette = viewport()->palette();
    palette.setColor(QPalette::Base, Qt::black);
    viewport()->setPalette(palette);
    viewport()->setAutoFillBackground(true);
    setFrameShape(QFrame::NoFrame);
    m_thumbnailTimer.setSingleShot(true);
    m_thumbnailTimer.setInterval(15);
    connect(&m_thumbnailTimer, &QTimer::timeout, this, &SectionGridView::requestThumbnails);
}

void SectionGridView::setSectionModel(SectionItemModel *model)
{
    m_model = model;
    setModel(model); // a reset of the model relayouts through reset()
}

void SectionGridView::setItemSize(const QSizeF &size)
{
    const QSize cell = size.toSize();
    if (cell == m_cell)
        return;
    // Keep the photo at the top of the screen where it is.
    const QModelIndex anchor = indexAt(QPoint(cInsetLeft + 1, cHeaderHeight + cInsetTop + 1));
    m_cell = cell;
    relayout();
    if (anchor.isValid())
        scrollTo(anchor, PositionAtTop);
}

void SectionGridView::setScale(double scale)
{
    m_scale = scale;
    static_cast<PhotoCellDelegate *>(itemDelegate())->setPreferSharp(scale > 1.0);
    scheduleThumbnails();
}

int SectionGridView::columns() const
{
    const int width = viewport()->width() - cInsetLeft - cInsetRight + cSpacing;
    return std::max(1, width / (m_cell.width() + cSpacing));
}

void SectionGridView::relayout()
{
    m_sections.clear();
    int y = 0;
    if (m_model) {
        const int cols = columns();
        const int sections = m_model->sectionCount();
        m_sections.reserve(size_t(sections));
        for (int s = 0; s < sections; ++s) {
            const int header = m_model->headerRow(s);
            const int next = s + 1 < sections ? m_model->headerRow(s + 1) : m_model->rowCount();
            const int count = next - header - 1;
            m_sections.push_back({y, header, count});
            const int rows = (count + cols - 1) / cols;
            y += cHeaderHeight + cInsetTop + rows * m_cell.height() + std::max(0, rows - 1) * cSpacing + cInsetBottom;
        }
    }
    m_contentHeight = y;
    updateGeometries();
    viewport()->update();
    scheduleThumbnails();
}

void SectionGridView::updateGeometries()
{
    QScrollBar *bar = verticalScrollBar();
    bar->setRange(0, std::max(0, m_contentHeight - viewport()->height()));
    bar->setPageStep(viewport()->height());
    bar->setSingleStep(std::max(20, m_cell.height() / 4));
    QAbstractItemView::updateGeometries();
}

int SectionGridView::verticalOffset() const
{
    return verticalScrollBar()->value();
}

int SectionGridView::sectionIndexAtY(int contentY) const
{
    if (m_sections.empty())
        return -1;
    const auto it
        = std::upper_bound(m_sections.begin(), m_sections.end(), contentY, [](int y, const SectionBox &box) { return y < box.top; });
    return std::max(0, int(it - m_sections.begin()) - 1);
}

QRect SectionGridView::contentRectOfItem(int section, int item) const
{
    const int cols = columns();
    const SectionBox &box = m_sections[size_t(section)];
    const int x = cInsetLeft + (item % cols) * (m_cell.width() + cSpacing);
    const int y = box.top + cHeaderHeight + cInsetTop + (item / cols) * (m_cell.height() + cSpacing);
    return QRect(QPoint(x, y), m_cell);
}

QRect SectionGridView::visualRect(const QModelIndex &index) const
{
    if (!m_model || !index.isValid())
        return {};
    const int section = m_model->sectionOfRow(index.row());
    if (section < 0 || size_t(section) >= m_sections.size())
        return {};
    const SectionBox &box = m_sections[size_t(section)];
    QRect rect = index.row() == box.headerRow ? QRect(0, box.top, viewport()->width(), cHeaderHeight)
                                              : contentRectOfItem(section, index.row() - box.headerRow - 1);
    return rect.translated(0, -verticalOffset());
}

int SectionGridView::sectionAt(const QPoint &point) const
{
    return sectionIndexAtY(point.y() + verticalOffset());
}

QRect SectionGridView::headerButtonRect(int section) const
{
    if (!m_model)
        return {};
    return PhotoCellDelegate::headerButtonRect(visualRect(m_model->index(m_model->headerRow(section))));
}

QModelIndex SectionGridView::indexAt(const QPoint &point) const
{
    const int y = point.y() + verticalOffset();
    const int section = sectionIndexAtY(y);
    if (section < 0 || y >= m_contentHeight)
        return {};
    const SectionBox &box = m_sections[size_t(section)];
    if (y < box.top + cHeaderHeight)
        return m_model->index(box.headerRow);
    const int stepX = m_cell.width() + cSpacing, stepY = m_cell.height() + cSpacing;
    const int x = point.x() - cInsetLeft, yy = y - box.top - cHeaderHeight - cInsetTop;
    if (x < 0 || yy < 0 || x % stepX >= m_cell.width() || yy % stepY >= m_cell.height())
        return {};
    const int col = x / stepX;
    if (col >= columns())
        return {};
    const int item = (yy / stepY) * columns() + col;
    return item < box.count ? m_model->index(box.headerRow + 1 + item) : QModelIndex();
}

void SectionGridView::forEachInBand(int top, int bottom, const std::function<void(int)> &header,
                                    const std::function<void(int, int)> &cell) const
{
    if (!m_model)
        return;
    const int cols = columns();
    const int stepY = m_cell.height() + cSpacing;
    for (int s = sectionIndexAtY(top); s >= 0 && size_t(s) < m_sections.size() && m_sections[size_t(s)].top <= bottom; ++s) {
        const SectionBox &box = m_sections[size_t(s)];
        if (header)
            header(s);
        const int first = box.top + cHeaderHeight + cInsetTop;
        const int firstRow = std::max(0, (top - first) / stepY);
        const int lastRow = (bottom - first) / stepY;
        for (int r = firstRow; r <= lastRow; ++r) {
            for (int c = 0; c < cols; ++c) {
                const int item = r * cols + c;
                if (item >= box.count)
                    break;
                cell(s, item);
            }
        }
    }
}

QList<int> SectionGridView::visibleRows() const
{
    QList<int> rows;
    const int top = verticalOffset();
    forEachInBand(top, top + viewport()->height(), {}, [&](int s, int item) { rows << m_sections[size_t(s)].headerRow + 1 + item; });
    return rows;
}

void SectionGridView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    const QRect rect = visualRect(index);
    if (!rect.isValid())
        return;
    QScrollBar *bar = verticalScrollBar();
    const int top = rect.top() + verticalOffset();
    const int margin = cSpacing;
    switch (hint) {
    case PositionAtTop:
        bar->setValue(top - cHeaderHeight - cInsetTop);
        break;
    case PositionAtBottom:
        bar->setValue(top + rect.height() + cInsetBottom - viewport()->height());
        break;
    case PositionAtCenter:
        bar->setValue(top + rect.height() / 2 - viewport()->height() / 2);
        break;
    case EnsureVisible:
        if (rect.top() < 0)
            bar->setValue(top - margin);
        else if (rect.bottom() > viewport()->height())
            bar->setValue(top + rect.height() + margin - viewport()->height());
        break;
    }
}

QModelIndex SectionGridView::moveCursor(CursorAction action, Qt::KeyboardModifiers)
{
    if (!m_model || m_model->rowCount() == 0)
        return {};
    QModelIndex current = currentIndex();
    auto firstPhoto = [&](int from, int step) -> QModelIndex {
        for (int row = from; row >= 0 && row < m_model->rowCount(); row += step) {
            if (!m_model->isHeaderRow(row))
                return m_model->index(row);
        }
        return {};
    };
    if (!current.isValid() || m_model->isHeaderRow(current.row()))
        return firstPhoto(std::max(0, current.row()), 1);
    const int row = current.row();
    const int section = m_model->sectionOfRow(row);
    const SectionBox &box = m_sections[size_t(section)];
    const int item = row - box.headerRow - 1;
    const int cols = columns();
    QModelIndex next;
    switch (action) {
    case MoveLeft:
    case MovePrevious:
        next = firstPhoto(row - 1, -1);
        break;
    case MoveRight:
    case MoveNext:
        next = firstPhoto(row + 1, 1);
        break;
    case MoveUp:
        if (item >= cols)
            next = m_model->index(row - cols);
        else if (section > 0) {
            const SectionBox &above = m_sections[size_t(section - 1)];
            if (above.count > 0) {
                const int lastRowStart = ((above.count - 1) / cols) * cols;
                next = m_model->index(above.headerRow + 1 + std::min(above.count - 1, lastRowStart + item % cols));
            }
        }
        break;
    case MoveDown:
        if (item + cols < box.count)
            next = m_model->index(row + cols);
        else if ((item / cols) < (box.count - 1) / cols)
            next = m_model->index(box.headerRow + box.count); // the last, shorter row
        else if (size_t(section + 1) < m_sections.size()) {
            const SectionBox &below = m_sections[size_t(section + 1)];
            if (below.count > 0)
                next = m_model->index(below.headerRow + 1 + std::min(below.count - 1, item % cols));
        }
        break;
    case MoveHome:
        next = firstPhoto(0, 1);
        break;
    case MoveEnd:
        next = firstPhoto(m_model->rowCount() - 1, -1);
        break;
    case MovePageUp:
    case MovePageDown: {
        const QRect rect = visualRect(current);
        const int dy = action == MovePageUp ? -viewport()->height() : viewport()->height();
        next = indexAt(rect.center() + QPoint(0, dy));
        if (!next.isValid() || m_model->isHeaderRow(next.row()))
            next = action == MovePageUp ? firstPhoto(0, 1) : firstPhoto(m_model->rowCount() - 1, -1);
        break;
    }
    }
    return next.isValid() ? next : current;
}

void SectionGridView::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command)
{
    if (!m_model)
        return;
    const QRect content = rect.normalized().translated(0, verticalOffset());
    QItemSelection selection;
    const int cols = columns();
    const int stepY = m_cell.height() + cSpacing;
    for (int s = std::max(0, sectionIndexAtY(content.top()));
         size_t(s) < m_sections.size() && m_sections[size_t(s)].top <= content.bottom(); ++s) {
        const SectionBox &box = m_sections[size_t(s)];
        const int first = box.top + cHeaderHeight + cInsetTop;
        const int firstRow = std::max(0, (content.top() - first) / stepY);
        const int lastRow = std::max(0, (content.bottom() - first) / stepY);
        for (int r = firstRow; r <= lastRow; ++r) {
            for (int c = 0; c < cols; ++c) {
                const int item = r * cols + c;
                if (item >= box.count)
                    break;
                if (contentRectOfItem(s, item).intersects(content)) {
                    const QModelIndex index = m_model->index(box.headerRow + 1 + item);
                    selection.select(index, index);
                }
            }
        }
    }
    selectionModel()->select(selection, command);
}

QRegion SectionGridView::visualRegionForSelection(const QItemSelection &) const
{
    return QRegion(viewport()->rect());
}

void SectionGridView::scrollContentsBy(int dx, int dy)
{
    viewport()->scroll(dx, dy);
    scheduleThumbnails();
}

void SectionGridView::resizeEvent(QResizeEvent *event)
{
    QAbstractItemView::resizeEvent(event);
    relayout();
}

void SectionGridView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    QAbstractItemView::rowsInserted(parent, start, end);
    relayout();
}

void SectionGridView::reset()
{
    QAbstractItemView::reset();
    relayout();
}

void SectionGridView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    painter.fillRect(event->rect(), Qt::black);
    if (!m_model || m_sections.empty())
        return;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const int top = verticalOffset() + event->rect().top(), bottom = verticalOffset() + event->rect().bottom();
    QAbstractItemDelegate *delegate = itemDelegate();
    QItemSelectionModel *selection = selectionModel();
    const auto paintHeader = [&](int s) {
        const QModelIndex header = m_model->index(m_sections[size_t(s)].headerRow);
        option.rect = visualRect(header);
        option.state = QStyle::State_Enabled;
        if (option.rect.intersects(event->rect()))
            delegate->paint(&painter, option, header);
    };
    const auto paintCell = [&](int s, int item) {
        const QModelIndex index = m_model->index(m_sections[size_t(s)].headerRow + 1 + item);
        option.rect = contentRectOfItem(s, item).translated(0, -verticalOffset());
        option.state = QStyle::State_Enabled;
        if (selection && selection->isSelected(index))
            option.state |= QStyle::State_Selected;
        delegate->paint(&painter, option, index);
    };
    forEachInBand(top, bottom, paintHeader, paintCell);
}

// A possible unread card offers Reassign: the photo alone, selected, goes
// the way of its section's button.
void SectionGridView::contextMenuEvent(QContextMenuEvent *event)
{
    const QModelIndex index = indexAt(event->pos());
    if (!index.isValid() || m_model->isHeaderRow(index.row())
        || index.data(SectionItemModel::PossibleUnreadCardRole).toString().isEmpty()) {
        QAbstractItemView::contextMenuEvent(event);
        return;
    }
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("possibleUnreadCardMenu"));
    QAction *why
        = menu.addAction(QStringLiteral("Possible unread card: ") + index.data(SectionItemModel::PossibleUnreadCardRole).toString());
    why->setEnabled(false);
    QAction *reassign = menu.addAction(QStringLiteral("Reassign\u2026"));
    reassign->setObjectName(QStringLiteral("reassignPossibleUnreadCard"));
    const int section = m_model->sectionOfRow(index.row());
    connect(reassign, &QAction::triggered, this, [this, index, section] {
        selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
        Q_EMIT headerButtonClicked(section);
    });
    menu.exec(event->globalPos());
}

void SectionGridView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid() && m_model->isHeaderRow(index.row())) {
            const int section = m_model->sectionOfRow(index.row());
            if (headerButtonRect(section).contains(event->position().toPoint()))
                Q_EMIT headerButtonClicked(section);
            return;
        }
    }
    QAbstractItemView::mousePressEvent(event);
}

void SectionGridView::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Space:
        Q_EMIT previewRequested();
        return;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        Q_EMIT deleteRequested();
        return;
    default:
        QAbstractItemView::keyPressEvent(event);
    }
}

void SectionGridView::startDrag(Qt::DropActions)
{
    QModelIndexList indexes = selectedIndexes();
    if (indexes.isEmpty())
        return;
    std::sort(indexes.begin(), indexes.end());
    QMimeData *mime = m_model->mimeData(indexes);
    if (!mime)
        return;
    auto *drag = new QDrag(this);
    drag->setMimeData(mime);
    const QImage thumbnail = indexes.first().data(Qt::DecorationRole).value<QImage>();
    if (!thumbnail.isNull())
        drag->setPixmap(QPixmap::fromImage(thumbnail.scaled(96, 96, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    // A file manager copies; it is never offered to move the shoot's files
    // away.
    drag->exec(Qt::CopyAction | Qt::LinkAction, Qt::CopyAction);
}

void SectionGridView::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void SectionGridView::dragMoveEvent(QDragMoveEvent *event)
{
    if (!event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    // Scroll while the drag rests near an edge.
    const int y = event->position().toPoint().y();
    if (y < 30)
        verticalScrollBar()->setValue(verticalOffset() - 20);
    else if (y > viewport()->height() - 30)
        verticalScrollBar()->setValue(verticalOffset() + 20);
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void SectionGridView::dropEvent(QDropEvent *event)
{
    const int section = sectionAt(event->position().toPoint());
    QStringList locations;
    for (const QUrl &url : event->mimeData()->urls())
        locations << url.toString();
    if (section < 0 || locations.isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    Q_EMIT photosDropped(locations, section);
}

void SectionGridView::scheduleThumbnails()
{
    if (!m_thumbnailTimer.isActive())
        m_thumbnailTimer.start();
}

void SectionGridView::requestThumbnails()
{
    if (m_model)
        m_model->requestThumbnails(visibleRows(), m_scale > 1.0);
}

} // namespace sorrelby
