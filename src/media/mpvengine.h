#pragma once

#include "media/mediaengine.h"
#include "media/songtags.h"
#include "media/heardposition.h"

#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <initializer_list>
#include <optional>

struct mpv_handle;
struct mpv_event;

namespace tarvelin {

// The media engine on libmpv, audio only. Positions come from mpv's
// "audio-pts": the position of the sample the sound server is playing now,
// which is what the listener hears, not what the decoder has reached.
//
// libmpv needs numbers formatted the C way: the program sets LC_NUMERIC to
// "C" once, after QApplication (which sets the locale from the environment)
// and before it makes an engine.
//
// mpv's own log and every failed mpv call go to the logging category
// "tarvelin.engine", quiet unless QT_LOGGING_RULES="tarvelin.engine.debug=true".
class MpvEngine final : public MediaEngine {
    Q_OBJECT
public:
    struct Options {
        // mpv's audio output list. It ends in "null" so that, without any
        // sound device, playback still runs in real time instead of ending.
        QString audioOutput = QStringLiteral("pulse,alsa,null");
    };

    explicit MpvEngine(QObject *parent = nullptr);
    MpvEngine(const Options &options, QObject *parent = nullptr);
    ~MpvEngine() override;

    // False when mpv could not be started; failure() says so.
    bool isValid() const { return m_mpv != nullptr; }

    void load(const QString &path) override;
    void stop() override;
    void play() override;
    void pause() override;
    void seek(double seconds) override;
    void setVolume(int percent) override;
    void setMuted(bool muted) override;
    void setSpeed(double factor) override;

    std::optional<double> position() override;
    std::optional<QString> title() override;

    State state() const override { return m_state; }
    double duration() const override { return m_duration; }
    int volume() const override { return m_volume; }
    bool isMuted() const override { return m_muted; }
    double speed() const override { return m_speed; }
    QString path() const override { return m_path; }
    Failure failure() const override { return m_failure; }

private:
    void drainEvents();
    void handleEvent(const mpv_event &event);
    void handlePropertyChange(const mpv_event &event);
    void handleEnd();
    void fail(const Failure &failure);
    bool readFlag(const char *name) const;
    // What mpv says the position is, as position() reads it: audio-pts while
    // playing, else (or before it is known) time-pos.
    std::optional<double> readMpvPosition() const;
    // The engine's tick while playing: moves the steady-position filter on.
    void advanceSteady();
    // Not playing, with nothing left to play from where it stands.
    bool standsAtEnd() const;
    bool setPaused(bool paused);
    bool command(std::initializer_list<const char *> args);
    bool seekTo(double seconds);
    void setState(State state);
    static void wakeup(void *context);

    // A place this close to the end counts as the end.
    static constexpr double EndSlackSeconds = 0.01;

    mpv_handle *m_mpv = nullptr;
    std::atomic_bool m_wakeupPending{false};

    State m_state = State::Empty;
    // Where a player that is not playing stands and would play on from:
    // the exact seek target, the heard position when it paused, 0 when
    // stopped, the end when it ended. Reset while playing.
    std::optional<double> m_target;
    SteadyPosition m_steady; // Ogg timestamps that run ahead
    // Ticks the filter on while playing, well within its MaxGap, between
    // mpv's own position changes.
    QTimer m_steadyTicks;
    QElapsedTimer m_clock;
    QString m_path;
    SongTags m_tags;
    Failure m_failure;
    double m_duration = 0;
    int m_volume = DefaultVolume;
    bool m_muted = false;
    double m_speed = 1.0;
};

} // namespace tarvelin
