#pragma once
// The settings store: the user's values (QSettings, native INI at
// $XDG_CONFIG_HOME/Vemo/Sorrelby.conf) over the registered factory defaults,
// which answer only while the user has no value of their own and are never
// written to the user's file. A run-only layer on top serves `--set` overrides
// of the command line: while a key is overridden, writes to it stay in that
// layer too, so the program reads back what it wrote and the user's file never
// learns of the run. Observers of a key learn of every change with the old
// and the new value, on the thread that made the change. Safe from any thread.
//
// Writes reach the file from a writer thread of this store right after each
// change (changes made meanwhile go in one write; the file is replaced
// atomically), so the caller never waits for the disk; flush(), sync(),
// destruction and the end of the process write whatever is pending. The INI
// text keeps each value's kind: bool, int, double and text as plain text
// (text that would read as another kind is escaped with a leading "@"),
// dates, bytes, lists and dictionaries in Qt's tagged forms.

#include <QDateTime>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace sorrelby {

class Settings {
public:
    using Observer = std::function<void(const QVariant &oldValue, const QVariant &newValue)>;
    using Token = std::uint64_t;

    // Backed by the given file (INI). An empty path means the user's file.
    explicit Settings(const QString &iniPath = {});
    ~Settings();
    Settings(const Settings &) = delete;
    Settings &operator=(const Settings &) = delete;

    // The store the application uses.
    static Settings &shared();
    // Replaces the shared store (tests); an empty path goes back to the
    // user's file. The replaced store stays alive for threads still using it.
    static void resetShared(const QString &iniPath = {});

    void registerDefaults(const QVariantMap &defaults);
    // Loads the compiled-in factory defaults and registers them.
    void registerFactoryDefaults();
    QVariantMap registeredDefaults() const;

    // Run-only values that win over everything and are never stored; an
    // invalid value hides the user's value for the run (the factory value
    // answers).
    void setOverride(const QString &key, const QVariant &value);

    bool contains(const QString &key) const; // any layer
    // The user (or a run-only override) gave the key a value; a factory
    // value alone does not count.
    bool hasUserValue(const QString &key) const;
    QVariant value(const QString &key) const; // invalid QVariant when empty

    bool boolValue(const QString &key) const;     // false when empty
    int intValue(const QString &key) const;       // 0 when empty
    double doubleValue(const QString &key) const; // 0 when empty
    QString stringValue(const QString &key) const;
    QDateTime dateValue(const QString &key) const;
    QByteArray bytesValue(const QString &key) const;
    QStringList listValue(const QString &key) const;
    QVariantMap mapValue(const QString &key) const;
    std::optional<QString> optionalString(const QString &key) const; // none unless a string is stored

    void setValue(const QString &key, const QVariant &value);
    void remove(const QString &key);
    // Writes pending changes now.
    void flush();
    // flush() of every store alive in the process; on return no writer is
    // in the middle of a write (a fork then finds no lock held).
    static void flushAll();
    // Writes pending changes, then reads the file again (observers hear of
    // values another process changed).
    void sync();

    // Every key with its effective value (defaults, user, overrides).
    QVariantMap dictionaryRepresentation() const;

    Token observe(const QString &key, Observer observer);
    void removeObserver(Token token);

    // Parses text into the kind of the key's current (or factory) value: bool
    // (true/false/yes/no/1/0), int, double, date (ISO 8601 or "HH:mm" today),
    // list of texts (comma-separated), bytes (base64), dictionary or other list
    // (JSON). A key nobody knows takes the text as it is. An invalid QVariant
    // when the text does not fit the kind. For `--set`.
    QVariant parseForKey(const QString &key, const QString &text) const;

    // The file behind this store.
    QString filePath() const;

private:
    void notify(const QString &key, const QVariant &oldValue, const QVariant &newValue);
    QVariant effectiveLocked(const QString &key) const;

    struct Observation {
        Token token;
        QString key;
        std::shared_ptr<Observer> observer;
    };
    struct Writer;
    void enqueueWriteLocked(const QString &key, const QVariant *value);
    void flushPending();

    mutable std::recursive_mutex m_mutex;
    QString m_path;
    std::unique_ptr<Writer> m_writer;
    QVariantMap m_user; // the file's values, decoded
    QVariantMap m_defaults;
    QVariantMap m_overrides; // an invalid value overrides with "empty"
    std::vector<Observation> m_observers;
    Token m_nextToken = 1;
};

} // namespace sorrelby
