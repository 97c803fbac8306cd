#include "naming/CardCode.h"

#include "naming/FileNameScheme.h"
#include "platform/Log.h"

namespace sorrelby {

namespace {

const QString cClass = QStringLiteral("URL");

void note(const QString &detail)
{
    logOp(cClass, QStringLiteral("doAutoQRCode()"), detail);
}

} // namespace

CardReading cardFromDetection(const DetectionResult &detection)
{
    CardReading reading;
    QString refused;
    for (const DetectedCode &found : detection.codes) {
        note(QStringLiteral("Payload: ") + printablePayload(found.text));
        // A payload that gives no safe code counts like a barcode without
        // one: it cannot decide the photo's code.
        if (const std::optional<QString> safe = safeCodeFromPayload(found.text)) {
            if (*safe != found.text)
                note(QStringLiteral("Found embeddedcode = ") + *safe);
            reading.code = safe;
        } else {
            refused = found.text;
        }
    }
    if (reading.code)
        return reading;
    if (!refused.isNull()) {
        reading.possibleUnreadCard = true;
        reading.why = QStringLiteral("its code [%1] cannot name a photo: %2")
                          .arg(printablePayload(refused), payloadRefusal(refused).value_or(QStringLiteral("no safe code")));
    } else if (detection.possibleCard) {
        reading.possibleUnreadCard = true;
        reading.why = detection.possibleCardWhy;
    }
    if (reading.possibleUnreadCard)
        note(QStringLiteral("possible unread card: ") + reading.why);
    return reading;
}

std::optional<QString> codeFromDetection(const DetectionResult &detection)
{
    return cardFromDetection(detection).code;
}

CardReading readCard(const QString &path)
{
    const DetectionResult detection = detectCodes(path);
    if (!detection.readable) {
        note(QStringLiteral("could not read ") + path + QStringLiteral(": ") + detection.error);
        return {};
    }
    return cardFromDetection(detection);
}

std::optional<QString> doAutoQRCode(const QString &path)
{
    return readCard(path).code;
}

} // namespace sorrelby
