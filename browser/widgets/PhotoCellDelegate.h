#pragma once
// Paints the grid's rows: a photo cell (thumbnail on black, its name without
// extension below, a 5-point red border when selected, a placeholder until
// the thumbnail arrives) and a section header (grey band, title, count and
// the action button). Fonts do not grow with the cells, so headers and names
// stay readable at every scale. GUI thread.

#include <QStyledItemDelegate>

namespace sorrelby {

class PhotoCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static constexpr double cSelectionBorder = 5.0;
    static QRect headerButtonRect(const QRect &headerRect);
    static QString headerButtonTitle() { return QStringLiteral("Reassign..."); }
    // A section's title for `width`: whole when it fits, else elided in the
    // middle, never to less than its two ends.
    static QString fittedTitle(const QFontMetrics &metrics, const QString &title, int width);
    // The title with who it is ("ID[3] = A1042 · Emma Larsen · 3B") for
    // `width`: the subject is cut at its end first, then dropped, and only
    // then is the title itself elided as fittedTitle does.
    static QString fittedTitleWithSubject(const QFontMetrics &metrics, const QString &title, const QString &subject, int width);

    // Above scale 1.0 the sharp decode is drawn when there is one.
    void setPreferSharp(bool prefer) { m_preferSharp = prefer; }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    void paintHeader(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const;
    void paintCell(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const;
    bool m_preferSharp = false;
};

} // namespace sorrelby
