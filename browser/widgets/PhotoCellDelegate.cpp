#include "browser/widgets/PhotoCellDelegate.h"

#include "browser/SectionItemModel.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

namespace sorrelby {

namespace {

constexpr int cNameHeight = 22;

} // namespace

QRect PhotoCellDelegate::headerButtonRect(const QRect &headerRect)
{
    const int width = 110, height = 26;
    return QRect(headerRect.right() - 20 - width, headerRect.top() + (headerRect.height() - height) / 2, width, height);
}

QString PhotoCellDelegate::fittedTitle(const QFontMetrics &metrics, const QString &title, int width)
{
    if (metrics.horizontalAdvance(title) <= width)
        return title;
    // Both ends of a code tell subjects apart; never elided to nothing.
    const int least = metrics.horizontalAdvance(QStringLiteral("ID[0] = A\u2026Z"));
    return metrics.elidedText(title, Qt::ElideMiddle, std::max(width, least));
}

QString PhotoCellDelegate::fittedTitleWithSubject(const QFontMetrics &metrics, const QString &title, const QString &subject, int width)
{
    if (subject.isEmpty())
        return fittedTitle(metrics, title, width);
    const QString joined = title + QStringLiteral(" \u00b7 ") + subject;
    if (metrics.horizontalAdvance(joined) <= width)
        return joined;
    // A name cut to a letter or two says nothing; then the code alone.
    const int forSubject = width - metrics.horizontalAdvance(title + QStringLiteral(" \u00b7 "));
    if (forSubject >= metrics.horizontalAdvance(QStringLiteral("Emma\u2026")))
        return title + QStringLiteral(" \u00b7 ") + metrics.elidedText(subject, Qt::ElideRight, forSubject);
    return fittedTitle(metrics, title, width);
}

QSize PhotoCellDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    return option.rect.size();
}

void PhotoCellDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    painter->save();
    if (index.data(SectionItemModel::IsHeaderRole).toBool())
        paintHeader(painter, option, index);
    else
        paintCell(painter, option, index);
    painter->restore();
}

void PhotoCellDelegate::paintHeader(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QRect rect = option.rect;
    // A grey of white level 0.8 at opacity 0.8 over the black grid.
    painter->fillRect(rect, QColor::fromRgbF(0.8f, 0.8f, 0.8f, 0.8f));
    QFont font = option.font;
    font.setBold(true);
    font.setPointSizeF(std::max(11.0, font.pointSizeF() + 2));
    painter->setFont(font);
    painter->setPen(Qt::black);
    const QRect button = headerButtonRect(rect);
    const QRect textArea(rect.left() + 20, rect.top(), button.left() - rect.left() - 40, rect.height());
    QString count = index.data(SectionItemModel::CountTextRole).toString();
    const QString unread = index.data(SectionItemModel::PossibleUnreadCardRole).toString();
    if (!unread.isEmpty())
        count = unread + QStringLiteral(" \u2014 ") + count;
    const QString title = index.data().toString();
    const QString subject = index.data(SectionItemModel::SubjectRole).toString();
    const QString fullTitle = subject.isEmpty() ? title : title + QStringLiteral(" \u00b7 ") + subject;
    const int countWidth = painter->fontMetrics().horizontalAdvance(count) + 24;
    // The code is what the photographer reads: the count gives way first
    // (a possible unread card is said on the photo too), then the name.
    const bool withCount = painter->fontMetrics().horizontalAdvance(fullTitle) <= textArea.width() - countWidth;
    const int titleWidth = withCount ? textArea.width() - countWidth : textArea.width();
    painter->drawText(QRect(textArea.left(), textArea.top(), std::max(titleWidth, textArea.width()), textArea.height()),
                      Qt::AlignVCenter | Qt::AlignLeft, fittedTitleWithSubject(painter->fontMetrics(), title, subject, titleWidth));
    if (withCount) {
        font.setBold(false);
        painter->setFont(font);
        if (!unread.isEmpty())
            painter->setPen(QColor(170, 60, 0));
        painter->drawText(textArea, Qt::AlignVCenter | Qt::AlignRight, count);
        painter->setPen(Qt::black);
    }

    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QColor(90, 90, 90));
    painter->setBrush(QColor(245, 245, 245));
    painter->drawRoundedRect(QRectF(button).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    painter->setPen(Qt::black);
    painter->drawText(button, Qt::AlignCenter, headerButtonTitle());
}

void PhotoCellDelegate::paintCell(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QRect rect = option.rect;
    painter->fillRect(rect, Qt::black);
    const QRect imageArea = rect.adjusted(8, 8, -8, -8 - cNameHeight);
    QImage image;
    if (m_preferSharp)
        image = index.data(SectionItemModel::SharpImageRole).value<QImage>();
    if (image.isNull())
        image = index.data(Qt::DecorationRole).value<QImage>();
    if (image.isNull()) {
        // Placeholder until the thumbnail arrives.
        const QSize box = QSize(4, 3).scaled(imageArea.size(), Qt::KeepAspectRatio);
        const QRect placeholder(imageArea.center() - QPoint(box.width() / 2, box.height() / 2), box);
        painter->fillRect(placeholder, QColor(38, 38, 38));
    } else {
        const QSize fitted = image.size().scaled(imageArea.size(), Qt::KeepAspectRatio);
        const QRect target(imageArea.center() - QPoint(fitted.width() / 2, fitted.height() / 2) + QPoint(1, 1), fitted);
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawImage(target, image);
    }
    painter->setPen(QColor(235, 235, 235));
    painter->setFont(option.font);
    const QRect nameArea(rect.left() + 4, rect.bottom() - cNameHeight - 4, rect.width() - 8, cNameHeight);
    painter->drawText(nameArea, Qt::AlignCenter,
                      painter->fontMetrics().elidedText(index.data().toString(), Qt::ElideMiddle, nameArea.width()));
    // A card nobody read merges two subjects: the mark must be seen.
    if (!index.data(SectionItemModel::PossibleUnreadCardRole).toString().isEmpty()) {
        const QRect badge(rect.left() + 10, rect.top() + 10, 22, 22);
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(Qt::white, 2));
        painter->setBrush(QColor(230, 110, 0));
        painter->drawEllipse(badge);
        QFont bold = option.font;
        bold.setBold(true);
        painter->setFont(bold);
        painter->drawText(badge, Qt::AlignCenter, QStringLiteral("?"));
    }
    // One cell stands for the JPEG and its RAW file: the tag says two files go.
    if (!index.data(SectionItemModel::RawCompanionsRole).toStringList().isEmpty()) {
        QFont small = option.font;
        small.setBold(true);
        small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.75));
        painter->setFont(small);
        const QString tag = QStringLiteral("RAW");
        const QSize size = QFontMetrics(small).size(Qt::TextSingleLine, tag) + QSize(8, 2);
        const QRect box(rect.right() - 10 - size.width(), rect.top() + 10, size.width(), size.height());
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(40, 90, 160));
        painter->drawRoundedRect(box, 3, 3);
        painter->setPen(Qt::white);
        painter->drawText(box, Qt::AlignCenter, tag);
    }
    if (option.state & QStyle::State_Selected) {
        const double half = cSelectionBorder / 2;
        painter->setPen(QPen(Qt::red, cSelectionBorder));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(QRectF(rect).adjusted(half, half, -half, -half));
    }
}

} // namespace sorrelby
