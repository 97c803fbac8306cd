#pragma once
// Records the notifications of one name, in the order posted, from any
// thread.

#include "platform/NotificationCenter.h"

#include <QList>
#include <QVariantMap>

#include <mutex>

namespace sorrelby::testkit {

class NotificationRecorder {
public:
    explicit NotificationRecorder(const QString &name)
    {
        NotificationCenter &center = NotificationCenter::defaultCenter();
        m_registration = ObserverRegistration(center, center.addObserver(name, [this](const Notification &n) {
            std::lock_guard lock(m_mutex);
            m_seen << n.userInfo;
        }));
    }
    QList<QVariantMap> seen() const
    {
        std::lock_guard lock(m_mutex);
        return m_seen;
    }

private:
    mutable std::mutex m_mutex;
    QList<QVariantMap> m_seen;
    ObserverRegistration m_registration;
};

} // namespace sorrelby::testkit
