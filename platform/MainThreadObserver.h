#pragma once
// Notifications for an object that lives on the main thread: posters run on
// any thread, so the handler runs on the main thread (at once when posted
// there), and never once the object is gone.

#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"

#include <QPointer>

namespace sorrelby {

template<typename T> ObserverRegistration observeOnMainThread(T *receiver, const QString &name, void (T::*handler)(const Notification &))
{
    const QPointer<T> self(receiver);
    NotificationCenter &center = NotificationCenter::defaultCenter();
    return ObserverRegistration(center, center.addObserver(name, [self, handler](const Notification &notification) {
        mainqueue::runOrAsync([self, handler, notification] {
            if (self)
                (self.data()->*handler)(notification);
        });
    }));
}

} // namespace sorrelby
