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
    if (model)
        connect(model, &QAbstractItemModel::modelAboutToBeReset, this, &SectionGridView::rememberSectionInHand);
}

QString SectionGridView::sectionKey(int section) const
{
    const QString title = m_model->index(m_sections[size_t(section)].headerRow).data().toString();
    // "ID[n] = code": n changes as sections come and go, the code does not.
    return title.contains(QLatin1String(" = ")) ? title.section(QStringLiteral(" = "), 1) : title;
}

void SectionGridView::rememberSectionInHand()
{
    m_inHand.reset();
    if (!m_model || m_sections.empty())
        return;
    // The section of the photo in hand when it is on screen, else the one
    // at the top of the screen.
    int section = -1;
    const QModelIndex current = currentIndex();
    if (current.isValid() && !m_model->isHeaderRow(current.row()) && viewport()->rect().intersects(visualRect(current)))
        section = m_model->sectionOfRow(current.row());
    if (section < 0 || size_t(section) >= m_sections.size())
        section = sectionIndexAtY(verticalOffset());
    if (section < 0)
        return;
    m_inHand = InHand{sectionKey(section), section, m_sections[size_t(section)].top - verticalOffset()};
}

void SectionGridView::restoreSectionInHand()
{
    if (!m_inHand || m_sections.empty())
        return;
    const InHand inHand = *m_inHand;
    m_inHand.reset();
    int found = -1;
    for (size_t s = 0; s < m_sections.size() && found < 0; ++s) {
        if (sectionKey(int(s)) == inHand.key)
            found = int(s);
    }
    // Every photo of it went elsewhere: its neighbour takes its place.
    if (found < 0)
        found = std::min(inHand.section, int(m_sections.size()) - 1);
    verticalScrollBar()->setValue(m_sections[size_t(found)].top - inHand.dy);
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

int SectionGridView::stickySection() const
{
    if (m_sections.empty())
        return -1;
    const int offset = verticalOffset();
    const int s = sectionIndexAtY(offset);
    if (s < 0 || m_sections[size_t(s)].top >= offset)
        return -1;
    return s;
}

QRect SectionGridView::stickyHeaderRect() const
{
    const int s = stickySection();
    if (s < 0)
        return {};
    int y = 0;
    // The next section's header pushes it out.
    if (size_t(s + 1) < m_sections.size())
        y = std::min(0, m_sections[size_t(s + 1)].top - verticalOffset() - cHeaderHeight);
    return QRect(0, y, viewport()->width(), cHeaderHeight);
}

int SectionGridView::sectionAt(const QPoint &point) const
{
    return sectionIndexAtY(point.y() + verticalOffset());
}

QRect SectionGridView::headerButtonRect(int section) const
{
    if (!m_model)
        return {};
    if (section >= 0 && section == stickySection())
        return PhotoCellDelegate::headerButtonRect(stickyHeaderRect());
    return PhotoCellDelegate::headerButtonRect(visualRect(m_model->index(m_model->headerRow(section))));
}

QModelIndex SectionGridView::indexAt(const QPoint &point) const
{
    if (const QRect sticky = stickyHeaderRect(); sticky.isValid() && sticky.contains(point))
        return m_model->index(m_sections[size_t(stickySection())].headerRow);
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
    // The sticky header stays put while the pixels under it moved.
    viewport()->update(QRect(0, 0, viewport()->width(), cHeaderHeight + std::abs(dy)));
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
    restoreSectionInHand();
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
    if (const QRect sticky = stickyHeaderRect(); sticky.isValid() && sticky.intersects(event->rect())) {
        // Opaque, so the photos scrolling under it do not show through.
        painter.fillRect(sticky, Qt::black);
        option.rect = sticky;
        option.state = QStyle::State_Enabled;
        delegate->paint(&painter, option, m_model->index(m_sections[size_t(stickySection())].headerRow));
    }
    if (const QRect band = rubberBand(); band.isValid()) {
        painter.setPen(QPen(QColor(120, 170, 255), 1));
        painter.setBrush(QColor(120, 170, 255, 50));
        painter.drawRect(band.adjusted(0, 0, -1, -1));
    }
}

QRect SectionGridView::rubberBand() const
{
    if (!m_banding)
        return {};
    return QRect(m_bandOrigin, m_bandEnd).normalized().translated(0, -verticalOffset());
}

void SectionGridView::selectRangeTo(const QModelIndex &target)
{
    if (!m_model || !target.isValid() || m_model->isHeaderRow(target.row()))
        return;
    QModelIndex anchor = m_anchor;
    if (!anchor.isValid() || m_model->isHeaderRow(anchor.row())) {
        const QModelIndex current = currentIndex();
        anchor = current.isValid() && !m_model->isHeaderRow(current.row()) ? current : target;
        m_anchor = anchor;
    }
    // Rows are in shoot order; a range runs through the headers between.
    const int low = std::min(anchor.row(), target.row()), high = std::max(anchor.row(), target.row());
    QItemSelection range;
    int runStart = -1;
    for (int row = low; row <= high + 1; ++row) {
        const bool photo = row <= high && !m_model->isHeaderRow(row);
        if (photo && runStart < 0)
            runStart = row;
        if (!photo && runStart >= 0) {
            range.select(m_model->index(runStart), m_model->index(row - 1));
            runStart = -1;
        }
    }
    selectionModel()->select(range, QItemSelectionModel::ClearAndSelect);
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
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
    const QPoint point = event->position().toPoint();
    const QModelIndex index = indexAt(point);
    if (event->button() == Qt::LeftButton) {
        if (index.isValid() && m_model->isHeaderRow(index.row())) {
            const int section = m_model->sectionOfRow(index.row());
            if (headerButtonRect(section).contains(point))
                Q_EMIT headerButtonClicked(section);
            return;
        }
        // Shift-click: the photos between, in shoot order, not a rectangle
        // of the screen (which would take photos of other subjects along).
        const Qt::KeyboardModifiers modifiers = event->modifiers();
        if (index.isValid() && (modifiers & Qt::ShiftModifier) && !(modifiers & Qt::ControlModifier)) {
            selectRangeTo(index);
            event->accept();
            return;
        }
    }
    QAbstractItemView::mousePressEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    if (index.isValid()) {
        m_anchor = index;
    } else {
        m_banding = true;
        m_bandOrigin = m_bandEnd = point + QPoint(0, verticalOffset());
    }
}

void SectionGridView::mouseMoveEvent(QMouseEvent *event)
{
    QAbstractItemView::mouseMoveEvent(event);
    if (m_banding && (event->buttons() & Qt::LeftButton)) {
        m_bandEnd = event->position().toPoint() + QPoint(0, verticalOffset());
        viewport()->update();
    }
}

void SectionGridView::mouseReleaseEvent(QMouseEvent *event)
{
    QAbstractItemView::mouseReleaseEvent(event);
    if (m_banding) {
        m_banding = false;
        viewport()->update();
    }
}

void SectionGridView::wheelEvent(QWheelEvent *event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        const int delta = event->angleDelta().y();
        if (delta != 0)
            Q_EMIT zoomRequested(delta > 0 ? 1 : -1);
        event->accept();
        return;
    }
    QAbstractItemView::wheelEvent(event);
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
        break;
    }
    std::optional<CursorAction> move;
    switch (event->key()) {
    case Qt::Key_Left:
        move = MoveLeft;
        break;
    case Qt::Key_Right:
        move = MoveRight;
        break;
    case Qt::Key_Up:
        move = MoveUp;
        break;
    case Qt::Key_Down:
        move = MoveDown;
        break;
    case Qt::Key_Home:
        move = MoveHome;
        break;
    case Qt::Key_End:
        move = MoveEnd;
        break;
    case Qt::Key_PageUp:
        move = MovePageUp;
        break;
    case Qt::Key_PageDown:
        move = MovePageDown;
        break;
    default:
        break;
    }
    if (move && (event->modifiers() & Qt::ShiftModifier)) {
        const QModelIndex next = moveCursor(*move, event->modifiers());
        if (next.isValid()) {
            selectRangeTo(next);
            scrollTo(next);
        }
        event->accept();
        return;
    }
    QAbstractItemView::keyPressEvent(event);
    if (move && currentIndex().isValid() && !m_model->isHeaderRow(currentIndex().row()))
        m_anchor = currentIndex();
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
