#pragma once
// The code a card photo names: what the detector read, cleaned by the naming
// scheme into one safe file-name component. Stateless; safe from any thread.

#include "imaging/CodeDetection.h"

#include <QString>

#include <optional>

namespace sorrelby {

// What one photo says as a card.
struct CardReading {
    std::optional<QString> code; // the usable code, when there is one
    // No usable code, yet the photo looks like a card: something code-like
    // was seen but not read, or a payload was read that cannot be a code.
    bool possibleUnreadCard = false;
    QString why; // for the log and the mark, when possibleUnreadCard
};

// The code of a photo: the payload of the last code found that gives a safe
// code (safeCodeFromPayload); none when the photo shows no readable code,
// cannot be read, or no payload can be made a safe code (each logged).
std::optional<QString> doAutoQRCode(const QString &path);

// The code a detection decides, as doAutoQRCode gives it (logged).
std::optional<QString> codeFromDetection(const DetectionResult &detection);

// The same with the possible-unread-card verdict (logged).
CardReading readCard(const QString &path);
CardReading cardFromDetection(const DetectionResult &detection);

} // namespace sorrelby
