#pragma once
// The photos of a source folder as every operation on it sees them: the
// regular, non-hidden image files directly inside it, old enough when the
// completeness delay (cPrefDoDelayToWaitForValidPhoto) is on, in listing
// order. Stateless apart from a memo of which files are pictures (by file
// identity, so a reload after renames reads no content again); safe from any
// thread.

#include <QString>
#include <QStringList>

#include <optional>

namespace sorrelby {

// None when the folder cannot be listed (*error says why, when given).
std::optional<QStringList> photosInFolder(const QString &folder, QString *error = nullptr);

} // namespace sorrelby
