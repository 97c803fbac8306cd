#include "settings/VersionInfo.h"

namespace sorrelby {

QString versionText()
{
    auto orUnknown = [](const char *text) {
        const QString s = QString::fromUtf8(text);
        return s.isEmpty() ? QStringLiteral("Unknown?") : s;
    };
    return orUnknown(SORRELBY_VERSION) + QLatin1Char(' ') + orUnknown(SORRELBY_BUNDLE_NAME) + QStringLiteral(" [xc-")
        + orUnknown(SORRELBY_COMPILER) + QStringLiteral(" sdk-Qt") + orUnknown(SORRELBY_QT_VERSION) + QLatin1Char(']');
}

} // namespace sorrelby
