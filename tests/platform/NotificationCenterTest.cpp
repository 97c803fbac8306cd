#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

using namespace sorrelby;

TEST(NotificationCenter, DeliversByNameInOrderAndSurvivesARemovalDuringPost)
{
    NotificationCenter center;
    QStringList seen;
    NotificationCenter::Token second = 0;
    center.addObserver(QStringLiteral("n"), [&](const Notification &n) {
        seen << n.userInfo.value(QStringLiteral("command")).toString();
        center.removeObserver(second);
    });
    second = center.addObserver(QStringLiteral("n"), [&](const Notification &) { seen << QStringLiteral("removed"); });
    {
        ObserverRegistration scoped(center,
                                    center.addObserver(QStringLiteral("n"), [&](const Notification &) { seen << QStringLiteral("gone"); }));
    }
    center.addObserver(QStringLiteral("n"), [&](const Notification &) { seen << QStringLiteral("last"); });
    center.addObserver(QStringLiteral("other"), [&](const Notification &) { seen << QStringLiteral("other"); });
    center.post(QStringLiteral("n"), {{QStringLiteral("command"), QStringLiteral("refresh")}});
    EXPECT_EQ(seen, (QStringList{QStringLiteral("refresh"), QStringLiteral("last")}));
}
