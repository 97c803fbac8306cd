#pragma once
// The photo grid: sections one under the other, each a full-width header
// (title, count, action button) over its photos in wrapping rows. Qt has no
// sectioned icon view, so this lays the flat SectionItemModel out itself:
// section tops are kept in a table, and every cell position is arithmetic,
// so painting, hit testing and scrolling touch only what is on screen,
// whatever the size of the shoot.
//
// Thumbnails are asked for after every layout change and scroll, the cells
// on screen first; cells show a placeholder until theirs arrives. Lives on
// the GUI thread.

#include <QAbstractItemView>
#include <QSizeF>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

namespace sorrelby {

class SectionItemModel;

class SectionGridView : public QAbstractItemView {
    Q_OBJECT
public:
    static constexpr int cHeaderHeight = 40;
    static constexpr int cInsetTop = 30, cInsetLeft = 20, cInsetBottom = 30, cInsetRight = 20;
    static constexpr int cSpacing = 10;

    explicit SectionGridView(QWidget *parent = nullptr);

    void setSectionModel(SectionItemModel *model);
    void setItemSize(const QSizeF &size);
    QSize itemSize() const { return m_cell; }
    // Cells drawn above this scale get the sharp decode.
    void setScale(double scale);

    QRect visualRect(const QModelIndex &index) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint &point) const override;
    // The section under a point of the viewport (-1 when none).
    int sectionAt(const QPoint &point) const;
    QRect headerButtonRect(int section) const;
    // The section whose header sticks at the top of the viewport while its
    // photos scroll under it (-1 when a header is at the top anyway), and
    // where that header is drawn.
    int stickySection() const;
    QRect stickyHeaderRect() const;
    // Selects the photos from the anchor (the last plain or Ctrl click or
    // move) to `target` in shoot order, as Shift-click does.
    void selectRangeTo(const QModelIndex &target);
    QModelIndex selectionAnchor() const { return m_anchor; }
    // The rubber band being drawn, in viewport coordinates (empty when none).
    QRect rubberBand() const;
    // The photo rows on screen, top left first.
    QList<int> visibleRows() const;
    int contentHeight() const { return m_contentHeight; }

Q_SIGNALS:
    void headerButtonClicked(int section);
    // Photos (file URLs) dropped onto a section.
    void photosDropped(const QStringList &locations, int section);
    void deleteRequested();
    void previewRequested();
    // Ctrl+wheel: +1 larger, -1 smaller.
    void zoomRequested(int step);

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override { return 0; }
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex &) const override { return false; }
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void reset() override;

private:
    struct SectionBox {
        int top = 0;       // content y of the header
        int headerRow = 0; // model row of the header
        int count = 0;     // photos
    };
    void relayout();
    int columns() const;
    int sectionIndexAtY(int contentY) const;
    // Walks the sections that reach into the content band [top, bottom]:
    // header(section) for each, then cell(section, item) for each of its
    // cells in the rows that do.
    void forEachInBand(int top, int bottom, const std::function<void(int)> &header, const std::function<void(int, int)> &cell) const;
    QRect contentRectOfItem(int section, int item) const;
    void scheduleThumbnails();
    void requestThumbnails();
    void rememberSectionInHand();
    void restoreSectionInHand();
    QString sectionKey(int section) const;

    SectionItemModel *m_model = nullptr;
    QSize m_cell{200, 200};
    double m_scale = 1.0;
    std::vector<SectionBox> m_sections;
    int m_contentHeight = 0;
    QTimer m_thumbnailTimer;
    QPersistentModelIndex m_anchor;
    QPoint m_bandOrigin; // content coordinates of the press that began a rubber band
    QPoint m_bandEnd;
    bool m_banding = false;
    // The section on screen before a reload: its key and its header's
    // distance from the top of the viewport.
    struct InHand {
        QString key;
        int section = -1;
        int dy = 0;
    };
    std::optional<InHand> m_inHand;
};

} // namespace sorrelby
