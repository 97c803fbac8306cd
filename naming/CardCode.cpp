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

std::optional<QString> codeFromDetection(const DetectionResult &detection)
{
    std::optional<QString> code;
    for (const DetectedCode &found : detection.codes) {
        note(QStringLiteral("Payload: ") + printablePayload(found.text));
        // A payload that gives no safe code counts like a barcode without
        // one: it cannot decide the photo's code.
        if (const std::optional<QString> safe = safeCodeFromPayload(found.text)) {
            if (*safe != found.text)
                note(QStringLiteral("Found embeddedcode = ") + *safe);
            code = safe;
        }
    }
    return code;
}

std::optional<QString> doAutoQRCode(const QString &path)
{
    const DetectionResult detection = detectCodes(path);
    if (!detection.readable) {
        note(QStringLiteral("could not read ") + path + QStringLiteral(": ") + detection.error);
        return std::nullopt;
    }
    return codeFromDetection(detection);
}

} // namespace sorrelby
