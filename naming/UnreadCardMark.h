#pragma once
// The mark a photo carries when it looks like a card but gave no usable code.
// The file name is the only record of a photo's code, and a name of its own
// would change the naming scheme every other part reads; so the mark lives in
// an extended attribute of the photo, which renames and moves within a volume
// keep. The detecting pass sets and clears it, the browser, the `sections`
// command and hot folder delivery read it. Where the file system keeps no
// extended attributes, setting fails (logged) and the photo is only logged.
// Stateless; safe from any thread.

#include <QString>

#include <optional>

namespace sorrelby {

// Why the photo may be an unread card; none when it carries no mark.
std::optional<QString> possibleUnreadCardMark(const QString &path);

// False (logged) when the mark could not be written.
bool setPossibleUnreadCardMark(const QString &path, const QString &why);

// Removes the mark, if any.
void clearPossibleUnreadCardMark(const QString &path);

} // namespace sorrelby
