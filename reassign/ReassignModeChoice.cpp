#include "reassign/ReassignModeChoice.h"

#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/SoundPlayer.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"

#include <QJsonDocument>

namespace sorrelby {

bool chooseReassignMode(int tag)
{
    const QString cClass = QStringLiteral("PromptReassignModeViewController");
    logOp(cClass, QStringLiteral("ibDoButton(_:)"), QStringLiteral("tag = ") + QString::number(tag));
    if (tag != int(ReassignMode::defaultmode) && tag != int(ReassignMode::mode202)) {
        SoundPlayer::shared().beep();
        return false;
    }
    Settings::shared().setValue(cPrefRadioSet1SelectedTag, tag);
    // The prompt closes first, so the reassign dialog does not open under it.
    mainqueue::after(0.1, [cClass] {
        const QVariant stored = Settings::shared().value(cPrefLastUserInfo);
        if (!stored.isValid())
            return;
        const QVariantMap info = stored.toMap();
        logOp(cClass, QStringLiteral("ibDoButton(_:)"),
              QStringLiteral("userinfo here is: ") + QString::fromUtf8(QJsonDocument::fromVariant(info).toJson(QJsonDocument::Compact)));
        NotificationCenter::defaultCenter().post(QStringLiteral("myCustomId"), info);
    });
    return true;
}

} // namespace sorrelby
