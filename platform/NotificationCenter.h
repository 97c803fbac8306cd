#pragma once
// Named notifications with a user-information map, the way controllers talk to
// each other. Observers run synchronously on the posting thread, in the order
// they were added. Safe to use from any thread; an observer may add or remove
// observers (including itself) while being called.

#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace sorrelby {

struct Notification {
    QString name;
    QVariantMap userInfo;
};

class NotificationCenter {
public:
    using Observer = std::function<void(const Notification &)>;
    using Token = std::uint64_t;

    // The process-wide centre.
    static NotificationCenter &defaultCenter();

    Token addObserver(const QString &name, Observer observer);
    void removeObserver(Token token);
    void post(const QString &name, const QVariantMap &userInfo = {});

private:
    struct Entry {
        Token token;
        QString name;
        std::shared_ptr<Observer> observer;
    };
    std::mutex m_mutex;
    std::vector<Entry> m_entries;
    Token m_next = 1;
};

// Removes its observer when it goes out of scope.
class ObserverRegistration {
public:
    ObserverRegistration() = default;
    ObserverRegistration(NotificationCenter &center, NotificationCenter::Token token)
        : m_center(&center)
        , m_token(token)
    { }
    ObserverRegistration(ObserverRegistration &&other) noexcept { *this = std::move(other); }
    ObserverRegistration &operator=(ObserverRegistration &&other) noexcept;
    ObserverRegistration(const ObserverRegistration &) = delete;
    ObserverRegistration &operator=(const ObserverRegistration &) = delete;
    ~ObserverRegistration() { reset(); }
    void reset();

private:
    NotificationCenter *m_center = nullptr;
    NotificationCenter::Token m_token = 0;
};

} // namespace sorrelby
