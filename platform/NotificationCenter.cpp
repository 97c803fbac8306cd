#include "platform/NotificationCenter.h"

namespace sorrelby {

NotificationCenter &NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(const QString &name, Observer observer)
{
    std::lock_guard lock(m_mutex);
    const Token token = m_next++;
    m_entries.push_back({token, name, std::make_shared<Observer>(std::move(observer))});
    return token;
}

void NotificationCenter::removeObserver(Token token)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_entries, [token](const Entry &e) { return e.token == token; });
}

void NotificationCenter::post(const QString &name, const QVariantMap &userInfo)
{
    // Copy the matching observers so they may add or remove observers while
    // being called, and so no lock is held during the calls.
    std::vector<std::pair<Token, std::shared_ptr<Observer>>> targets;
    {
        std::lock_guard lock(m_mutex);
        for (const Entry &e : m_entries) {
            if (e.name == name)
                targets.emplace_back(e.token, e.observer);
        }
    }
    const Notification note{name, userInfo};
    for (const auto &[token, observer] : targets) {
        {
            // Skip an observer removed by an earlier one during this post.
            std::lock_guard lock(m_mutex);
            const bool stillThere = std::any_of(m_entries.begin(), m_entries.end(), [t = token](const Entry &e) { return e.token == t; });
            if (!stillThere)
                continue;
        }
        (*observer)(note);
    }
}

ObserverRegistration &ObserverRegistration::operator=(ObserverRegistration &&other) noexcept
{
    if (this != &other) {
        reset();
        m_center = std::exchange(other.m_center, nullptr);
        m_token = std::exchange(other.m_token, 0);
    }
    return *this;
}

void ObserverRegistration::reset()
{
    if (m_center)
        m_center->removeObserver(m_token);
    m_center = nullptr;
    m_token = 0;
}

} // namespace sorrelby
