#pragma once
// The settings keys the program knows, so that a mistyped key is refused
// instead of stored where nothing reads it (a station configured with
// "prefDestinatonPath" would deliver into the factory folder).

#include <QString>
#include <QStringList>

#include <optional>

namespace sorrelby {

class Settings;

// Every key of SettingsKeys.h and of the registered factory defaults, sorted.
QStringList knownSettingsKeys(const Settings &settings);

// None for a known key; else "unknown setting KEY", with the nearest known
// key when one is close ("did you mean prefDestinationPath?").
std::optional<QString> unknownSettingsKeyProblem(const Settings &settings, const QString &key);

} // namespace sorrelby
