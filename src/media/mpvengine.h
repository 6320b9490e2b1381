#pragma once

#include "media/mediaengine.h"

#include <atomic>

struct mpv_handle;
struct mpv_event;

namespace tarvelin {

// The media engine on libmpv, audio only. Positions come from mpv's
// "audio-pts": the position of the sample the sound server is playing now,
// which is what the listener hears, not what the decoder has reached.
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

    // False when mpv could not be started; errorString() says why.
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

    State state() const override;
    double duration() const override { return m_duration; }
    int volume() const override { return m_volume; }
    bool isMuted() const override { return m_muted; }
    double speed() const override { return m_speed; }
    QString path() const override { return m_path; }
    QString errorString() const override { return m_error; }

private:
    void drainEvents();
    void handleEvent(const mpv_event &event);
    void handlePropertyChange(const mpv_event &event);
    void fail(const QString &reason);
    void reportEarlyEnd();
    void setPaused(bool paused);
    void command(std::initializer_list<const char *> args);
    void updateState();
    static void wakeup(void *context);

    mpv_handle *m_mpv = nullptr;
    std::atomic_bool m_wakeupPending{false};

    QString m_path;
    QString m_error;
    bool m_loading = false;   // loadfile sent, file not open yet
    bool m_hasFile = false;   // a file is open
    bool m_paused = false;
    bool m_atStart = false;   // stopped: paused at the start
    std::optional<double> m_pausedAt; // where a paused player was sent to
    double m_duration = 0;
    int m_volume = 50;
    bool m_muted = false;
    double m_speed = 1.0;
    State m_state = State::Empty;
};

} // namespace tarvelin
