#pragma once
// Named confirmation and error sounds and the beep. The application uses the
// freedesktop sound theme through libcanberra; tests use a silent recorder.

#include <QString>
#include <QStringList>

#include <mutex>

namespace sorrelby {

class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // A system sound by the name the rest of the code uses: "Glass" and "Purr"
    // (confirmation), "Sosumi" (error); other names are passed to the theme.
    virtual void play(const QString &name) = 0;
    virtual void beep() = 0;

    static SoundPlayer &shared(); // silent until set
    static void setShared(SoundPlayer *player);
};

class CanberraSoundPlayer : public SoundPlayer {
public:
    CanberraSoundPlayer();
    ~CanberraSoundPlayer() override;
    void play(const QString &name) override;
    void beep() override;
    static QString themeEventFor(const QString &name);

private:
    struct Private;
    Private *d;
};

class RecordingSoundPlayer : public SoundPlayer {
public:
    void play(const QString &name) override;
    void beep() override;
    QStringList played() const; // names, with "beep" for the beep

private:
    mutable std::mutex m_mutex;
    QStringList m_played;
};

} // namespace sorrelby
