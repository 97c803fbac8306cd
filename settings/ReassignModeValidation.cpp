#include "settings/ReassignModeValidation.h"

#include "platform/Log.h"
#include "settings/Settings.h"

namespace sorrelby {

std::optional<ReassignMode> reassignModeFromInt(int value)
{
    switch (value) {
    case int(ReassignMode::defaultmode):
        return ReassignMode::defaultmode;
    case int(ReassignMode::mode201):
        return ReassignMode::mode201;
    case int(ReassignMode::mode202):
        return ReassignMode::mode202;
    default:
        return std::nullopt;
    }
}

void validateReassignMode(Settings &settings)
{
    const QVariant stored = settings.value(cPrefRadioSet1SelectedTag);
    const auto mode = reassignModeFromInt(settings.intValue(cPrefRadioSet1SelectedTag));
    // 201 is never offered at start: the user picks it again when wanted.
    if (stored.isValid() && (mode == ReassignMode::defaultmode || mode == ReassignMode::mode202))
        return;
    logOp(u"PreferencesViewController", u"validateReassignMode()",
          QString(QStringLiteral("reset reassignment mode ") + stored.toString() + QStringLiteral(" to 200")));
    settings.setValue(cPrefRadioSet1SelectedTag, int(ReassignMode::defaultmode));
}

} // namespace sorrelby
