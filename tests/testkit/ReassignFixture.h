#pragma once
// Shared by the reassign tests: factory settings, recorded sounds, scripted
// alerts, the notifications the dialog posts, and the dialog's queues
// drained at the end so nothing of one case reaches the next.

#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/SoundPlayer.h"
#include "reassign/ReassignSession.h"
#include "settings/SettingsKeys.h"
#include "tests/testkit/NotificationRecorder.h"
#include "tests/testkit/ScriptedAlertsTest.h"
#include "tests/testkit/TestEnvironment.h"

#include <map>
#include <memory>

namespace sorrelby::testkit {

class ReassignFixture : public ScriptedAlertsTest {
protected:
    void SetUp() override
    {
        ScriptedAlertsTest::SetUp();
        settings.registerFactoryDefaults();
        settings.setValue(cPrefOriginalNameFormatTag, 1);
        SoundPlayer::setShared(&sounds);
        folder = makeTempFolder(QStringLiteral("shoot"));
        for (const QString &name : {QStringLiteral("myRefreshId"), QStringLiteral("myAutoDecodeProcess3"), QStringLiteral("myCustomId")})
            m_recorders.emplace(name, std::make_unique<NotificationRecorder>(name));
    }

    void TearDown() override
    {
        drain();
        m_recorders.clear();
        SoundPlayer::setShared(nullptr);
        ScriptedAlertsTest::TearDown();
    }

    // Every job of the dialog's queues has run, and what they handed to the
    // GUI thread too.
    static void drain()
    {
        for (int round = 0; round < 2; ++round) {
            ReassignSession::getDecoderQueue().sync([] {});
            ReassignSession::getWorkingQueue().sync([] {});
            ReassignSession::getSoundQueue().sync([] {});
            spinFor(20);
        }
    }

    // The user information of each notification of that name posted.
    QList<QVariantMap> posted(const QString &name) const { return m_recorders.at(name)->seen(); }

    QStringList alertTitles() const
    {
        QStringList titles;
        for (const Alert &alert : alerts.shown())
            titles << alert.messageText;
        return titles;
    }

    qsizetype soundCount(const QString &name) const { return sounds.played().count(name); }

    // Hands the photos over as the browser does.
    static void postPhotos(const QStringList &toChange, const QStringList &full)
    {
        NotificationCenter::defaultCenter().post(QStringLiteral("myReassignId"),
                                                 {{QStringLiteral("command"), QStringLiteral("dosomething")},
                                                  {QStringLiteral("urlstochange"), toChange},
                                                  {QStringLiteral("fulSortedlUrlList"), full}});
    }

    // Stands in for the dialog's picture: the photo a session moves to is on
    // screen one turn of the event loop later.
    static void showPhotosOf(ReassignSession &session)
    {
        QObject::connect(
            &session, &ReassignSession::photoChanged, &session, [&session](int, const QString &path) { session.photoShown(path); },
            Qt::QueuedConnection);
    }

    RecordingSoundPlayer sounds;
    QString folder;

private:
    std::map<QString, std::unique_ptr<NotificationRecorder>> m_recorders;
};

// The dialog's tests name photos of the fixture's folder by their names.
class Reassign : public ReassignFixture {
protected:
    QString at(const QString &name) const { return folder + QLatin1Char('/') + name; }
    QStringList files() const { return entriesOf(folder); }
};

} // namespace sorrelby::testkit
