#include "settings/SettingsCodec.h"

#include <QLocale>
#include <QRegularExpression>
#include <QStringList>
#include <QVariantList>

#include <limits>
#include <optional>

namespace sorrelby::settingscodec {

namespace {

// INI keeps only text. Scalars are written as plain literals ("true", "12",
// "2.5"); a text that would read as such a literal, or that begins with "@",
// gets one more "@" in front (QSettings doubles it once more in the file and
// strips that one again on reading).
constexpr QChar cEscape = u'@';

QVariant integer(qlonglong n)
{
    if (n >= std::numeric_limits<int>::min() && n <= std::numeric_limits<int>::max())
        return QVariant(int(n));
    return QVariant(n);
}

std::optional<QVariant> literal(const QString &text)
{
    if (text == QLatin1String("true"))
        return QVariant(true);
    if (text == QLatin1String("false"))
        return QVariant(false);
    // Never destroyed: the settings writer may still run during static
    // destruction at exit.
    static const QRegularExpression &intPattern = *new QRegularExpression(QStringLiteral("^[+-]?[0-9]+$"));
    static const QRegularExpression &doublePattern = *new QRegularExpression(
        QStringLiteral("^[+-]?(?:(?:[0-9]+\\.[0-9]*|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?|[0-9]+[eE][+-]?[0-9]+|inf|nan)$"));
    if (intPattern.match(text).hasMatch()) {
        bool ok = false;
        const qlonglong n = text.toLongLong(&ok);
        if (ok)
            return integer(n);
        return std::nullopt; // beyond 64 bits: stays text
    }
    if (doublePattern.match(text).hasMatch()) {
        bool ok = false;
        const double d = text.toDouble(&ok);
        if (ok)
            return QVariant(d);
    }
    return std::nullopt;
}

QString doubleText(double d)
{
    QString text = QString::number(d, 'g', QLocale::FloatingPointShortest);
    // A double must not read back as an int.
    if (!text.contains(u'.') && !text.contains(u'e') && !text.contains(u'E') && !text.contains(u'n') && !text.contains(u'i'))
        text += QLatin1String(".0");
    return text;
}

bool isList(const QVariant &value)
{
    const int id = value.metaType().id();
    return id == QMetaType::QStringList || id == QMetaType::QVariantList;
}

} // namespace

QVariant normalized(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::ULong:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return integer(value.toLongLong());
    case QMetaType::ULongLong: {
        const qulonglong n = value.toULongLong();
        if (n <= qulonglong(std::numeric_limits<qlonglong>::max()))
            return integer(qlonglong(n));
        return value;
    }
    case QMetaType::Float:
        return QVariant(value.toDouble());
    default:
        return value;
    }
}

QVariant toStored(const QVariant &value)
{
    const QVariant v = normalized(value);
    switch (v.metaType().id()) {
    case QMetaType::QString: {
        const QString text = v.toString();
        if (text.startsWith(cEscape) || literal(text))
            return QVariant(cEscape + text);
        return QVariant(text);
    }
    case QMetaType::Bool:
        return QVariant(v.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
    case QMetaType::Int:
    case QMetaType::LongLong:
        return QVariant(QString::number(v.toLongLong()));
    case QMetaType::ULongLong:
        return QVariant(QString::number(v.toULongLong()));
    case QMetaType::Double:
        return QVariant(doubleText(v.toDouble()));
    case QMetaType::QStringList:
    case QMetaType::QVariantList:
        // QSettings writes lists as comma-separated text, which loses empty
        // lists, one-element lists and the kinds of the elements; a list
        // wrapped in a one-element list goes through its binary form instead.
        return QVariant(QVariantList{v});
    default:
        return v; // dates, bytes, dictionaries: QSettings keeps their kind
    }
}

QVariant fromStored(const QVariant &stored)
{
    switch (stored.metaType().id()) {
    case QMetaType::QString: {
        const QString text = stored.toString();
        if (text.startsWith(cEscape))
            return QVariant(text.mid(1));
        if (const auto value = literal(text))
            return *value;
        return QVariant(text);
    }
    case QMetaType::QVariantList: {
        const QVariantList list = stored.toList();
        if (list.size() == 1 && isList(list.first()))
            return list.first();
        return stored;
    }
    default:
        return stored;
    }
}

} // namespace sorrelby::settingscodec
