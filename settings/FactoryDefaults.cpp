#include "settings/FactoryDefaults.h"

#include "platform/Log.h"
#include "platform/UserFolders.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>

#include <cmath>
#include <limits>
#include <mutex>

// A static library's resources are linked only when something refers to them.
static void initFactoryDefaultsResource()
{
    Q_INIT_RESOURCE(FactoryDefaults);
}

namespace sorrelby {

namespace {

constexpr QStringView cClass = u"FactoryDefaults";

QVariant numberFromJson(double d)
{
    if (std::isfinite(d) && std::trunc(d) == d) {
        if (d >= std::numeric_limits<int>::min() && d <= std::numeric_limits<int>::max())
            return QVariant(int(d));
        if (std::fabs(d) < 9.0e15) // exactly representable
            return QVariant(qlonglong(d));
    }
    return QVariant(d);
}

QVariant conventionFromJson(const QString &tag, const QJsonValue &value)
{
    if (tag == QLatin1String("$date")) {
        const QDateTime date = parseSettingsDate(value.toString());
        if (!date.isValid())
            logOp(cClass, u"variantFromJson()", QString(QStringLiteral("not a date: ") + value.toString()));
        return date.isValid() ? QVariant(date) : QVariant();
    }
    if (tag == QLatin1String("$bytes")) {
        const auto decoded = QByteArray::fromBase64Encoding(value.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            logOp(cClass, u"variantFromJson()", QString(QStringLiteral("not base64: ") + value.toString()));
        return decoded ? QVariant(*decoded) : QVariant();
    }
    // "$double"
    return value.isDouble() ? QVariant(value.toDouble()) : QVariant();
}

} // namespace

QDateTime parseSettingsDate(const QString &text)
{
    const QString t = text.trimmed();
    static const QRegularExpression &timeOfDay = *new QRegularExpression(QStringLiteral("^([0-9]{1,2}):([0-9]{2})(?::([0-9]{2}))?$"));
    const auto match = timeOfDay.match(t);
    if (match.hasMatch()) {
        const QTime time(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
        if (!time.isValid())
            return {};
        return QDateTime(QDate::currentDate(), time);
    }
    QDateTime date = QDateTime::fromString(t, Qt::ISODateWithMs);
    if (!date.isValid())
        date = QDateTime::fromString(t, Qt::ISODate);
    return date;
}

QVariant variantFromJson(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return QVariant(value.toBool());
    case QJsonValue::Double:
        return numberFromJson(value.toDouble());
    case QJsonValue::String: {
        const QString text = value.toString();
        return QVariant(text.startsWith(QLatin1String("~/")) ? userfolders::expandTilde(text) : text);
    }
    case QJsonValue::Array: {
        QVariantList list;
        bool allText = true;
        for (const QJsonValue &element : value.toArray()) {
            const QVariant v = variantFromJson(element);
            if (!v.isValid())
                continue;
            allText = allText && v.metaType().id() == QMetaType::QString;
            list.append(v);
        }
        if (allText) {
            QStringList texts;
            for (const QVariant &v : std::as_const(list))
                texts.append(v.toString());
            return QVariant(texts);
        }
        return QVariant(list);
    }
    case QJsonValue::Object: {
        const QJsonObject object = value.toObject();
        if (object.size() == 1) {
            const QString tag = object.begin().key();
            if (tag == QLatin1String("$date") || tag == QLatin1String("$bytes") || tag == QLatin1String("$double"))
                return conventionFromJson(tag, object.begin().value());
        }
        QVariantMap map;
        for (auto it = object.begin(); it != object.end(); ++it) {
            const QVariant v = variantFromJson(it.value());
            if (v.isValid())
                map.insert(it.key(), v);
        }
        return QVariant(map);
    }
    default:
        return {};
    }
}

QVariantMap factoryDefaultsFromJson(const QByteArray &json, QString *error)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        if (error)
            *error = parseError.error != QJsonParseError::NoError
                ? parseError.errorString() + QStringLiteral(" at offset ") + QString::number(parseError.offset)
                : QStringLiteral("not a JSON object");
        return {};
    }
    return variantFromJson(QJsonValue(document.object())).toMap();
}

QVariantMap loadFactoryDefaults()
{
    static std::once_flag once;
    std::call_once(once, initFactoryDefaultsResource);
    QFile file(cFactoryDefaultsResource);
    if (!file.open(QIODevice::ReadOnly)) {
        logOp(cClass, u"loadFactoryDefaults()", QString(QStringLiteral("Unable to find resource ") + cFactoryDefaultsResource));
        return {};
    }
    QString error;
    QVariantMap defaults = factoryDefaultsFromJson(file.readAll(), &error);
    if (!error.isEmpty())
        logOp(cClass, u"loadFactoryDefaults()", QString(QStringLiteral("unable to read the factory values: ") + error));
    return defaults;
}

} // namespace sorrelby
