#include "platform/Log.h"

#include <QDebug>

namespace sorrelby {

QString opLine(QStringView className, QStringView operation, QStringView detail)
{
    QString line;
    line.reserve(className.size() + operation.size() + detail.size() + 8);
    line.append(className).append(QLatin1String(" -> ")).append(operation).append(QLatin1String("....")).append(detail);
    return line;
}

void logLine(const QString &text)
{
    qInfo().noquote() << text;
}

void logOp(QStringView className, QStringView operation, QStringView detail)
{
    logLine(opLine(className, operation, detail));
}

} // namespace sorrelby
