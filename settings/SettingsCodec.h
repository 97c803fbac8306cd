#pragma once
// How values are written into the INI file so that each comes back as the
// kind it was stored as. Internal to the settings store.

#include <QVariant>

namespace sorrelby::settingscodec {

// The form handed to QSettings for a value.
QVariant toStored(const QVariant &value);
// The value for what QSettings read back (also accepts hand-written text).
QVariant fromStored(const QVariant &stored);
// The kind a value has after a round trip (float -> double, small integers
// -> int), so a value kept in memory equals the one read back later.
QVariant normalized(const QVariant &value);

} // namespace sorrelby::settingscodec
