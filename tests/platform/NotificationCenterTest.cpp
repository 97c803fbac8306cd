#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

using namespace sorrelby;

TEST(NotificationCenter, DeliversByNameInOrderAndStopsAfterRemoval)
{
    NotificationCenter center;
    QStringList seen;
    auto a = center.addObserver(QStringLiteral("myRefreshId"), [&](const Notification &n) {
        seen << QStringLiteral("a:") + n.userInfo.value(QStringLiteral("command")).toString();
    });
    center.addObserver(QStringLiteral("myRefreshId"), [&](const Notification &) { seen << QStringLiteral("b"); });
    center.addObserver(QStringLiteral("other"), [&](const Notification &) { seen << QStringLiteral("other"); });

    center.post(QStringLiteral("myRefreshId"), {{QStringLiteral("command"), QStringLiteral("refresh")}});
    EXPECT_EQ(seen, (QStringList{QStringLiteral("a:refresh"), QStringLiteral("b")}));

    center.removeObserver(a);
    seen.clear();
    center.post(QStringLiteral("myRefreshId"));
    EXPECT_EQ(seen, QStringList{QStringLiteral("b")});
}

TEST(NotificationCenter, ObserverMayRemoveAnotherDuringPost)
{
    NotificationCenter center;
    int secondCalls = 0;
    NotificationCenter::Token second = 0;
    center.addObserver(QStringLiteral("n"), [&](const Notification &) { center.removeObserver(second); });
    second = center.addObserver(QStringLiteral("n"), [&](const Notification &) { ++secondCalls; });
    {
        ObserverRegistration scoped(center, center.addObserver(QStringLiteral("n"), [&](const Notification &) { ++secondCalls; }));
    }
    center.post(QStringLiteral("n"));
    EXPECT_EQ(secondCalls, 0);
}
