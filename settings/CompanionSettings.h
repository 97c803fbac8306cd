#pragma once
// Read-only access to the settings of the companion application Ostrin: its
// Java preferences file (~/.java/.userPrefs/Ostrin/prefs.xml, a <map> of
// <entry key=... value=...>). The file is read anew on every call, so a value
// the companion changes is seen at once. Safe from any thread.

#include <QString>

#include <optional>

namespace sorrelby {

// The companion's preferences file for this user.
QString ostrinPrefsFilePath();

// The text stored under key, or none when the file, its map or the key is
// missing.
std::optional<QString> getOstrinObjectForKey(const QString &key);

// The companion's save folder ("savepath"), or none.
std::optional<QString> getOstrinSavePath();

} // namespace sorrelby
