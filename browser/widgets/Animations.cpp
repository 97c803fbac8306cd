#include "browser/widgets/Animations.h"

#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QSequentialAnimationGroup>
#include <QWidget>

namespace sorrelby {

namespace {

const char *const cFlashName = "sorrelbyFlash";

} // namespace

void nodLeftRight(QWidget *widget, int count)
{
    if (!widget)
        return;
    const int cycles = count < 1 ? 3 : count;
    const QPoint start = widget->pos();
    auto *group = new QSequentialAnimationGroup(widget);
    for (int i = 0; i < cycles; ++i) {
        for (const QPoint &target : {start + QPoint(10, 0), start}) {
            auto *move = new QPropertyAnimation(widget, "pos", group);
            move->setDuration(60);
            move->setEndValue(target);
            group->addAnimation(move);
        }
    }
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

void flashOnOff(QWidget *widget, int count)
{
    if (!widget)
        return;
    stopFlashing(widget);
    auto *effect = new QGraphicsOpacityEffect(widget);
    effect->setOpacity(1.0);
    widget->setGraphicsEffect(effect);
    auto *group = new QSequentialAnimationGroup(widget);
    group->setObjectName(QString::fromLatin1(cFlashName));
    auto *out = new QPropertyAnimation(effect, "opacity", group);
    out->setDuration(200);
    out->setEndValue(0.0);
    auto *in = new QPropertyAnimation(effect, "opacity", group);
    in->setDuration(150);
    in->setEndValue(1.0);
    group->addAnimation(out);
    group->addAnimation(in);
    group->setLoopCount(count < 0 ? -1 : (count == 0 ? 3 : count));
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

void stopFlashing(QWidget *widget)
{
    if (!widget)
        return;
    if (auto *group = widget->findChild<QSequentialAnimationGroup *>(QString::fromLatin1(cFlashName), Qt::FindDirectChildrenOnly)) {
        group->setObjectName(QString());
        group->stop(); // deleted by itself once stopped
    }
    widget->setGraphicsEffect(nullptr);
}

} // namespace sorrelby
