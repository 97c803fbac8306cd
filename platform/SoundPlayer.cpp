#include "platform/SoundPlayer.h"

#include "platform/Dispatch.h"
#include "platform/Log.h"

#include <canberra.h>
#include <dlfcn.h>

#include <atomic>
#include <memory>

namespace sorrelby {

namespace {

class SilentSoundPlayer : public SoundPlayer {
public:
    void play(const QString &) override { }
    void beep() override { }
};

std::atomic<SoundPlayer *> g_shared{nullptr};

void ignoreAlsaError(const char *, int, const char *, int, const char *, ...) { }

// Without an audio device ALSA writes a dozen lines to standard error for
// every attempt, and standard error is our log. Its error handler is
// process-wide, so installing a silent one in the library that canberra's
// backend will use keeps those lines out without touching the descriptor.
void silenceAlsa()
{
    static std::once_flag once;
    std::call_once(once, [] {
        void *alsa = ::dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
        if (!alsa)
            return; // no ALSA, nothing to silence; the handle stays open otherwise
        using Handler = void (*)(const char *, int, const char *, int, const char *, ...);
        using SetHandler = int (*)(Handler);
        if (auto set = reinterpret_cast<SetHandler>(::dlsym(alsa, "snd_lib_error_set_handler")))
            set(&ignoreAlsaError);
    });
}

} // namespace

SoundPlayer &SoundPlayer::shared()
{
    static SilentSoundPlayer silent;
    SoundPlayer *player = g_shared.load();
    return player ? *player : silent;
}

void SoundPlayer::setShared(SoundPlayer *player)
{
    g_shared.store(player);
}

// Shared with the jobs in flight, so the player may go away before they run.
struct CanberraState {
    std::mutex mutex;
    ca_context *context = nullptr;
    bool failureLogged = false;

    ~CanberraState()
    {
        if (context)
            ca_context_destroy(context);
    }

    void play(const QByteArray &eventId)
    {
        std::lock_guard lock(mutex);
        int result = CA_SUCCESS;
        if (!context) {
            silenceAlsa();
            result = ca_context_create(&context);
            if (result == CA_SUCCESS)
                ca_context_change_props(context, CA_PROP_APPLICATION_NAME, SORRELBY_BUNDLE_NAME, CA_PROP_APPLICATION_ID, SORRELBY_BUNDLE_ID,
                                        nullptr);
            else
                context = nullptr;
        }
        if (result == CA_SUCCESS)
            result = ca_context_play(context, 0, CA_PROP_EVENT_ID, eventId.constData(), nullptr);
        // A workstation without speakers fails every time; say so once.
        if (result != CA_SUCCESS && !failureLogged) {
            failureLogged = true;
            logOp(u"CanberraSoundPlayer", u"play",
                  QString(QLatin1String("cannot play \"") + QLatin1String(eventId) + QLatin1String("\": ")
                          + QString::fromUtf8(ca_strerror(result))));
        }
    }
};

struct CanberraSoundPlayer::Private {
    std::shared_ptr<CanberraState> state = std::make_shared<CanberraState>();
};

CanberraSoundPlayer::CanberraSoundPlayer()
    : d(new Private)
{ }

CanberraSoundPlayer::~CanberraSoundPlayer()
{
    delete d;
}

QString CanberraSoundPlayer::themeEventFor(const QString &name)
{
    if (name == QLatin1String("Glass") || name == QLatin1String("Purr"))
        return QStringLiteral("complete");
    if (name == QLatin1String("Sosumi"))
        return QStringLiteral("dialog-error");
    if (name == QLatin1String("beep"))
        return QStringLiteral("bell");
    return name;
}

void CanberraSoundPlayer::play(const QString &name)
{
    // Opening the sound server can take a moment; never on the caller's thread.
    globalqueue::async([state = d->state, eventId = themeEventFor(name).toUtf8()] { state->play(eventId); });
}

void CanberraSoundPlayer::beep()
{
    play(QStringLiteral("beep"));
}

void RecordingSoundPlayer::play(const QString &name)
{
    std::lock_guard lock(m_mutex);
    m_played << name;
}

void RecordingSoundPlayer::beep()
{
    std::lock_guard lock(m_mutex);
    m_played << QStringLiteral("beep");
}

QStringList RecordingSoundPlayer::played() const
{
    std::lock_guard lock(m_mutex);
    return m_played;
}

} // namespace sorrelby
