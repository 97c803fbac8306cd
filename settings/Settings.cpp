#include "settings/Settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include "platform/Log.h"
#include "platform/UserFolders.h"
#include "settings/FactoryDefaults.h"
#include "settings/SettingsCodec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QSettings>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <future>
#include <map>
#include <set>
#include <thread>
#include <tuple>

namespace sorrelby {

namespace {

constexpr QStringView cClass = u"Settings";

QString userFilePath()
{
    return userfolders::configHome() + QStringLiteral("/Vemo/" SORRELBY_BUNDLE_NAME ".conf");
}

// A copy killed between creating QSettings' lock file and writing its owner
// into it leaves an empty lock, which QLockFile takes for a live one until it
// is 30 s old: the copy the watchdog started right after such a crash stood
// still that long at its first write. An owner writes itself in within
// microseconds, so a lock still empty after two seconds was abandoned.
constexpr qint64 cAbandonedLockMs = 2000;

void removeAbandonedLock(const QString &path)
{
    const QString lock = path + QStringLiteral(".lock");
    for (;;) {
        const QFileInfo info(lock);
        if (!info.exists() || info.size() > 0)
            return;
        if (qAbs(info.lastModified().msecsTo(QDateTime::currentDateTime())) > cAbandonedLockMs) {
            if (QFile::remove(lock))
                logOp(cClass, u"flushPending()", QString(QStringLiteral("removed the empty lock file a stopped writer left: ") + lock));
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

QVariantMap readStore(const QString &path)
{
    QSettings store(path, QSettings::IniFormat);
    QVariantMap values;
    const QStringList keys = store.allKeys();
    for (const QString &key : keys) {
        const QVariant value = settingscodec::fromStored(store.value(key));
        if (value.isValid())
            values.insert(key, value);
    }
    if (store.status() != QSettings::NoError)
        logOp(cClass, u"readStore()", QString(QStringLiteral("unable to read the settings file ") + path));
    return values;
}

bool isIntegerKind(int id)
{
    return id == QMetaType::Int || id == QMetaType::UInt || id == QMetaType::LongLong || id == QMetaType::ULongLong || id == QMetaType::Long
        || id == QMetaType::ULong || id == QMetaType::Short || id == QMetaType::UShort;
}

bool isTextual(const QVariant &v)
{
    const int id = v.metaType().id();
    return id == QMetaType::QString || id == QMetaType::Bool || id == QMetaType::Double || id == QMetaType::Float || isIntegerKind(id);
}

std::optional<bool> parseBool(const QString &text)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("yes") || t == QLatin1String("1"))
        return true;
    if (t == QLatin1String("false") || t == QLatin1String("no") || t == QLatin1String("0"))
        return false;
    return std::nullopt;
}

QStringList commaSeparated(const QString &text)
{
    QStringList pieces;
    for (const QString &piece : text.split(u',')) {
        const QString t = piece.trimmed();
        if (!t.isEmpty())
            pieces.append(t);
    }
    return pieces;
}

class LiveInstances;
LiveInstances &liveInstances();

// Every store, so the end of the process can write what is still pending
// (the shared store is never destroyed).
class LiveInstances {
public:
    void add(Settings *settings)
    {
        std::lock_guard lock(m_mutex);
        if (!m_registered) {
            m_registered = true;
            // Write pending changes while Qt is still whole: when the
            // application object goes away, and again at exit for stores
            // used without one.
            if (QCoreApplication::instance())
                qAddPostRoutine([] { liveInstances().syncAll(); });
            std::atexit([] { liveInstances().syncAll(); });
        }
        m_instances.insert(settings);
    }
    void remove(Settings *settings)
    {
        std::lock_guard lock(m_mutex);
        m_instances.erase(settings);
    }
    void syncAll()
    {
        std::lock_guard lock(m_mutex);
        for (Settings *settings : m_instances)
            settings->flush();
    }

private:
    std::mutex m_mutex;
    std::set<Settings *> m_instances;
    bool m_registered = false;
};

LiveInstances &liveInstances()
{
    static LiveInstances *instances = new LiveInstances; // outlives every store
    return *instances;
}

std::mutex &sharedMutex()
{
    static std::mutex mutex;
    return mutex;
}

Settings *&sharedInstance()
{
    static Settings *instance = nullptr;
    return instance;
}

// Stores replaced by resetShared() stay alive: another thread may still hold
// a reference taken from shared().
std::vector<std::unique_ptr<Settings>> &retiredInstances()
{
    static std::vector<std::unique_ptr<Settings>> retired;
    return retired;
}

} // namespace

struct Settings::Writer {
    std::mutex mutex; // guards pending and stop
    std::condition_variable wake;
    std::map<QString, std::optional<QVariant>> pending; // none: remove
    bool stop = false;
    std::mutex fileMutex; // one write of the file at a time
    std::thread thread;
};

Settings::Settings(const QString &iniPath)
    : m_path(iniPath.isEmpty() ? userFilePath() : iniPath)
    , m_writer(std::make_unique<Writer>())
{
    m_user = readStore(m_path);
    // The store is used only once its writer has started: a fork (the tests'
    // children) never finds a thread half made, holding the allocator.
    std::promise<void> started;
    std::future<void> running = started.get_future();
    m_writer->thread = std::thread([this, &started] {
        std::unique_lock lock(m_writer->mutex);
        started.set_value();
        for (;;) {
            m_writer->wake.wait(lock, [this] { return m_writer->stop || !m_writer->pending.empty(); });
            if (m_writer->pending.empty())
                return; // stopping with nothing left
            lock.unlock();
            flushPending();
            lock.lock();
        }
    });
    running.wait();
    liveInstances().add(this);
}

Settings::~Settings()
{
    liveInstances().remove(this);
    {
        std::lock_guard lock(m_writer->mutex);
        m_writer->stop = true;
    }
    m_writer->wake.notify_one();
    if (m_writer->thread.joinable())
        m_writer->thread.join();
    flushPending();
}

Settings &Settings::shared()
{
    std::lock_guard lock(sharedMutex());
    Settings *&instance = sharedInstance();
    if (!instance)
        instance = new Settings();
    return *instance;
}

void Settings::resetShared(const QString &iniPath)
{
    std::lock_guard lock(sharedMutex());
    Settings *&instance = sharedInstance();
    if (instance)
        retiredInstances().emplace_back(instance);
    instance = new Settings(iniPath);
}

QString Settings::filePath() const
{
    return m_path;
}

void Settings::registerDefaults(const QVariantMap &defaults)
{
    std::lock_guard lock(m_mutex);
    for (auto it = defaults.begin(); it != defaults.end(); ++it) {
        if (it.value().isValid())
            m_defaults.insert(it.key(), settingscodec::normalized(it.value()));
    }
}

void Settings::registerFactoryDefaults()
{
    const QVariantMap defaults = loadFactoryDefaults();
    registerDefaults(defaults);
    logOp(cClass, u"registerFactoryDefaults()", QString(QString::number(defaults.size()) + QStringLiteral(" factory values")));
}

QVariantMap Settings::registeredDefaults() const
{
    std::lock_guard lock(m_mutex);
    return m_defaults;
}

void Settings::setOverride(const QString &key, const QVariant &value)
{
    QVariant oldValue, newValue;
    {
        std::lock_guard lock(m_mutex);
        oldValue = effectiveLocked(key);
        m_overrides.insert(key, settingscodec::normalized(value));
        newValue = effectiveLocked(key);
    }
    notify(key, oldValue, newValue);
}

QVariant Settings::effectiveLocked(const QString &key) const
{
    const auto override = m_overrides.constFind(key);
    if (override != m_overrides.constEnd())
        return override->isValid() ? *override : m_defaults.value(key);
    const auto user = m_user.constFind(key);
    if (user != m_user.constEnd())
        return *user;
    return m_defaults.value(key);
}

bool Settings::contains(const QString &key) const
{
    std::lock_guard lock(m_mutex);
    return effectiveLocked(key).isValid();
}

bool Settings::hasUserValue(const QString &key) const
{
    std::lock_guard lock(m_mutex);
    const auto override = m_overrides.constFind(key);
    if (override != m_overrides.constEnd())
        return override->isValid();
    return m_user.contains(key);
}

QVariant Settings::value(const QString &key) const
{
    std::lock_guard lock(m_mutex);
    return effectiveLocked(key);
}

bool Settings::boolValue(const QString &key) const
{
    const QVariant v = value(key);
    const int id = v.metaType().id();
    if (id == QMetaType::Bool)
        return v.toBool();
    if (isIntegerKind(id) || id == QMetaType::Double || id == QMetaType::Float)
        return v.toDouble() != 0.0;
    if (id == QMetaType::QString) {
        if (const auto parsed = parseBool(v.toString()))
            return *parsed;
        bool ok = false;
        const double d = v.toString().trimmed().toDouble(&ok);
        return ok && d != 0.0;
    }
    return false;
}

int Settings::intValue(const QString &key) const
{
    const QVariant v = value(key);
    const int id = v.metaType().id();
    if (id == QMetaType::Bool)
        return v.toBool() ? 1 : 0;
    if (isIntegerKind(id))
        return v.toInt();
    if (id == QMetaType::Double || id == QMetaType::Float || id == QMetaType::QString) {
        bool ok = false;
        const QString text = v.toString().trimmed();
        const int n = text.toInt(&ok);
        if (ok)
            return n;
        const double d = text.toDouble(&ok);
        return ok && std::isfinite(d) && std::fabs(d) < 2147483647.0 ? int(d) : 0;
    }
    return 0;
}

double Settings::doubleValue(const QString &key) const
{
    const QVariant v = value(key);
    const int id = v.metaType().id();
    if (id == QMetaType::Bool)
        return v.toBool() ? 1.0 : 0.0;
    if (isTextual(v)) {
        bool ok = false;
        const double d = v.toString().trimmed().toDouble(&ok);
        return ok ? d : 0.0;
    }
    return 0.0;
}

QString Settings::stringValue(const QString &key) const
{
    const QVariant v = value(key);
    return isTextual(v) ? v.toString() : QString();
}

QDateTime Settings::dateValue(const QString &key) const
{
    const QVariant v = value(key);
    switch (v.metaType().id()) {
    case QMetaType::QDateTime:
        return v.toDateTime();
    case QMetaType::QDate:
        return v.toDate().startOfDay();
    case QMetaType::QString:
        return parseSettingsDate(v.toString());
    default:
        return {};
    }
}

QByteArray Settings::bytesValue(const QString &key) const
{
    const QVariant v = value(key);
    return v.metaType().id() == QMetaType::QByteArray ? v.toByteArray() : QByteArray();
}

QStringList Settings::listValue(const QString &key) const
{
    const QVariant v = value(key);
    switch (v.metaType().id()) {
    case QMetaType::QStringList:
        return v.toStringList();
    case QMetaType::QVariantList: {
        QStringList texts;
        for (const QVariant &element : v.toList()) {
            if (!isTextual(element))
                return {};
            texts.append(element.toString());
        }
        return texts;
    }
    case QMetaType::QString: // a one-element list written by hand
        return v.toString().isEmpty() ? QStringList() : QStringList{v.toString()};
    default:
        return {};
    }
}

QVariantMap Settings::mapValue(const QString &key) const
{
    const QVariant v = value(key);
    if (v.metaType().id() == QMetaType::QVariantMap)
        return v.toMap();
    if (v.metaType().id() == QMetaType::QVariantHash) {
        QVariantMap map;
        const QVariantHash hash = v.toHash();
        for (auto it = hash.begin(); it != hash.end(); ++it)
            map.insert(it.key(), it.value());
        return map;
    }
    return {};
}

std::optional<QString> Settings::optionalString(const QString &key) const
{
    const QVariant v = value(key);
    if (v.metaType().id() != QMetaType::QString)
        return std::nullopt;
    return v.toString();
}

void Settings::enqueueWriteLocked(const QString &key, const QVariant *value)
{
    {
        std::lock_guard lock(m_writer->mutex);
        m_writer->pending.insert_or_assign(key, value ? std::optional<QVariant>(*value) : std::nullopt);
    }
    m_writer->wake.notify_one();
}

void Settings::flushPending()
{
    // Taking the batch under the file lock keeps batches in the order of
    // the changes, whichever thread writes them.
    std::lock_guard fileLock(m_writer->fileMutex);
    std::map<QString, std::optional<QVariant>> batch;
    {
        std::lock_guard lock(m_writer->mutex);
        batch.swap(m_writer->pending);
    }
    if (batch.empty())
        return;
    // A short-lived QSettings on this thread: a long-lived one would flush
    // itself later on the thread that created it.
    removeAbandonedLock(m_path);
    QSettings store(m_path, QSettings::IniFormat);
    for (const auto &[key, value] : batch) {
        if (value)
            store.setValue(key, settingscodec::toStored(*value));
        else
            store.remove(key);
    }
    store.sync();
    if (store.status() != QSettings::NoError)
        logOp(cClass, u"flushPending()", QString(QStringLiteral("unable to write the settings file ") + m_path));
}

void Settings::setValue(const QString &key, const QVariant &value)
{
    if (!value.isValid()) {
        remove(key);
        return;
    }
    const QVariant v = settingscodec::normalized(value);
    QVariant oldValue, newValue;
    {
        std::lock_guard lock(m_mutex);
        oldValue = effectiveLocked(key);
        if (m_overrides.contains(key)) {
            m_overrides.insert(key, v);
        } else {
            m_user.insert(key, v);
            enqueueWriteLocked(key, &v);
        }
        newValue = effectiveLocked(key);
    }
    notify(key, oldValue, newValue);
}

void Settings::remove(const QString &key)
{
    QVariant oldValue, newValue;
    {
        std::lock_guard lock(m_mutex);
        oldValue = effectiveLocked(key);
        const auto override = m_overrides.find(key);
        if (override != m_overrides.end()) {
            if (!override->isValid())
                return;
            *override = QVariant(); // masks the user's value for the rest of the run
        } else {
            if (!m_user.contains(key))
                return;
            m_user.remove(key);
            enqueueWriteLocked(key, nullptr);
        }
        newValue = effectiveLocked(key);
    }
    notify(key, oldValue, newValue);
}

void Settings::flush()
{
    flushPending();
}

void Settings::flushAll()
{
    liveInstances().syncAll();
}

void Settings::sync()
{
    flushPending();
    const QVariantMap fresh = readStore(m_path);
    std::vector<std::tuple<QString, QVariant, QVariant>> changes;
    {
        std::lock_guard lock(m_mutex);
        QSet<QString> keys;
        for (auto it = m_user.keyBegin(); it != m_user.keyEnd(); ++it)
            keys.insert(*it);
        for (auto it = fresh.keyBegin(); it != fresh.keyEnd(); ++it)
            keys.insert(*it);
        QVariantMap before;
        for (const QString &key : std::as_const(keys))
            before.insert(key, effectiveLocked(key));
        m_user = fresh;
        for (const QString &key : std::as_const(keys)) {
            const QVariant after = effectiveLocked(key);
            if (after != before.value(key))
                changes.emplace_back(key, before.value(key), after);
        }
    }
    for (const auto &[key, oldValue, newValue] : changes)
        notify(key, oldValue, newValue);
}

QVariantMap Settings::dictionaryRepresentation() const
{
    std::lock_guard lock(m_mutex);
    QVariantMap all = m_defaults;
    for (auto it = m_user.begin(); it != m_user.end(); ++it)
        all.insert(it.key(), it.value());
    for (auto it = m_overrides.begin(); it != m_overrides.end(); ++it) {
        const QVariant v = effectiveLocked(it.key());
        if (v.isValid())
            all.insert(it.key(), v);
        else
            all.remove(it.key());
    }
    return all;
}

Settings::Token Settings::observe(const QString &key, Observer observer)
{
    std::lock_guard lock(m_mutex);
    const Token token = m_nextToken++;
    m_observers.push_back({token, key, std::make_shared<Observer>(std::move(observer))});
    return token;
}

void Settings::removeObserver(Token token)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_observers, [token](const Observation &o) { return o.token == token; });
}

void Settings::notify(const QString &key, const QVariant &oldValue, const QVariant &newValue)
{
    std::vector<std::shared_ptr<Observer>> observers;
    {
        std::lock_guard lock(m_mutex);
        for (const Observation &o : m_observers) {
            if (o.key == key)
                observers.push_back(o.observer);
        }
    }
    for (const auto &observer : observers)
        (*observer)(oldValue, newValue);
}

QVariant Settings::parseForKey(const QString &key, const QString &text) const
{
    QVariant kind = value(key);
    if (!kind.isValid())
        kind = registeredDefaults().value(key);
    const int id = kind.metaType().id();
    const QString trimmed = text.trimmed();
    if (!kind.isValid() || id == QMetaType::QString)
        return QVariant(text);
    if (id == QMetaType::Bool) {
        const auto parsed = parseBool(trimmed);
        return parsed ? QVariant(*parsed) : QVariant();
    }
    if (isIntegerKind(id)) {
        bool ok = false;
        const qlonglong n = trimmed.toLongLong(&ok);
        return ok ? settingscodec::normalized(QVariant(n)) : QVariant();
    }
    if (id == QMetaType::Double || id == QMetaType::Float) {
        bool ok = false;
        const double d = trimmed.toDouble(&ok);
        return ok ? QVariant(d) : QVariant();
    }
    if (id == QMetaType::QDateTime || id == QMetaType::QDate) {
        const QDateTime date = parseSettingsDate(trimmed);
        return date.isValid() ? QVariant(date) : QVariant();
    }
    if (id == QMetaType::QByteArray) {
        const auto decoded = QByteArray::fromBase64Encoding(trimmed.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        return decoded ? QVariant(*decoded) : QVariant();
    }
    const QVariantList elements = kind.toList();
    const bool textList = id == QMetaType::QStringList
        || (id == QMetaType::QVariantList
            && std::all_of(elements.cbegin(), elements.cend(), [](const QVariant &e) { return e.metaType().id() == QMetaType::QString; }));
    if (textList && !trimmed.startsWith(u'['))
        return QVariant(commaSeparated(text));
    if (id == QMetaType::QStringList || id == QMetaType::QVariantList || id == QMetaType::QVariantMap) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(trimmed.toUtf8(), &error);
        if (error.error != QJsonParseError::NoError)
            return {};
        if (id == QMetaType::QVariantMap)
            return document.isObject() ? variantFromJson(QJsonValue(document.object())) : QVariant();
        return document.isArray() ? variantFromJson(QJsonValue(document.array())) : QVariant();
    }
    return QVariant(text);
}

} // namespace sorrelby
