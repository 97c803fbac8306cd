#pragma once
// Card payloads written to get a photo's name out of its folder, hidden, or
// made impossible, for the tests of everything a payload passes through. Each
// says whether it must be refused (the card then counts as unread) whatever
// "prefDecodeForUrlString" says; the others must give one safe name component.

#include <QList>
#include <QString>

namespace sorrelby::testkit {

struct HostilePayload {
    QString text;
    bool refused = false;
};

inline QList<HostilePayload> hostilePayloads()
{
    QString astral;
    for (int i = 0; i < 33; ++i)
        astral += QString::fromUcs4(U"\U0001F600", 1);
    return {
        {QStringLiteral("../../sib/x y")},
        {QStringLiteral("a/../../..")},
        {QStringLiteral(". .A1")},
        {QStringLiteral("Smith John/Class 3")},
        {QStringLiteral("/etc/passwd")},
        {QStringLiteral("https://cards.example.org/a%zz/../..")},
        {QStringLiteral("http://cards.example.org/shoot/%2E%2E")},
        {QString(QStringLiteral("A1")) + QChar(0) + QStringLiteral("/../x"), true},
        {QStringLiteral(".."), true},
        {QStringLiteral(". . ."), true},
        {QString(QChar(0)), true},
        {QStringLiteral(" \t\r\n"), true},
        {QString(300, QLatin1Char('L')), true},
        {astral, true},
    };
}

} // namespace sorrelby::testkit
