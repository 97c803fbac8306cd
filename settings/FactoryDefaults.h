#pragma once
// The factory values compiled into the program (":/settings/FactoryDefaults.json")
// and the small JSON convention they are written in:
//   {"$date": "00:06"}               a time of day, today, local time
//   {"$date": "2024-05-01T09:30:00"} a full ISO 8601 date
//   {"$bytes": "<base64>"}           bytes
//   {"$double": 2}                   a double even when it has no fraction
//   "~/..."                          a path below the home folder
// Other integral numbers become int, other numbers double; an array of texts
// becomes a list of texts; null means "no value".

#include <QByteArray>
#include <QDateTime>
#include <QJsonValue>
#include <QString>
#include <QVariant>
#include <QVariantMap>

namespace sorrelby {

inline constexpr QLatin1StringView cFactoryDefaultsResource{":/settings/FactoryDefaults.json"};

// The factory values; empty (and a log line) when the resource is missing or
// does not parse.
QVariantMap loadFactoryDefaults();

// JSON text of an object -> values. Sets *error (when given) on failure.
QVariantMap factoryDefaultsFromJson(const QByteArray &json, QString *error = nullptr);

// One JSON value -> value (invalid for null or a malformed convention).
QVariant variantFromJson(const QJsonValue &value);

// "HH:mm" or "HH:mm:ss" as that time today (local), or a full ISO 8601 date;
// invalid when the text is neither.
QDateTime parseSettingsDate(const QString &text);

} // namespace sorrelby
