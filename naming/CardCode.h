#pragma once
// The code a card photo names: what the detector read, cleaned by the naming
// scheme into one safe file-name component. Stateless; safe from any thread.

#include "imaging/CodeDetection.h"

#include <QString>

#include <optional>

namespace sorrelby {

// The code of a photo: the payload of the last code found that gives a safe
// code (safeCodeFromPayload); none when the photo shows no readable code,
// cannot be read, or no payload can be made a safe code (each logged).
std::optional<QString> doAutoQRCode(const QString &path);

// The code a detection decides, as doAutoQRCode gives it (logged).
std::optional<QString> codeFromDetection(const DetectionResult &detection);

} // namespace sorrelby
