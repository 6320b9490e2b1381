#pragma once

#include <QObject>
#include <QString>

#include <optional>

namespace tarvelin {

// The playback engine behind the player widget. One medium at a time; every
// read goes to the engine afresh, nothing is cached for the caller.
class MediaEngine : public QObject {
    Q_OBJECT
public:
    enum class State {
        Empty,   // nothing loaded
        Loading, // a file is being opened
        Stopped, // loaded, paused at the start
        Playing,
        Paused,
    };
    Q_ENUM(State)

    using QObject::QObject;
    ~MediaEngine() override = default;

    // Loads a file and starts playing it once it is open. An empty path
    // unloads whatever is loaded.
    virtual void load(const QString &path) = 0;
    // Stops playback and goes back to the start; the medium stays loaded, so
    // play() starts it from the beginning.
    virtual void stop() = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    // Exact seek to an absolute position in seconds.
    virtual void seek(double seconds) = 0;
    virtual void setVolume(int percent) = 0;
    virtual void setMuted(bool muted) = 0;
    virtual void setSpeed(double factor) = 0;

    // The position of the audio the listener hears right now, in seconds;
    // 0 with nothing loaded; nothing when the engine cannot tell.
    virtual std::optional<double> position() = 0;
    // The medium's title tag, or its file name without extension; empty with
    // nothing loaded; nothing when the engine cannot tell.
    virtual std::optional<QString> title() = 0;

    virtual State state() const = 0;
    virtual double duration() const = 0;
    virtual int volume() const = 0;
    virtual bool isMuted() const = 0;
    virtual double speed() const = 0;
    // The path given to load(), as given.
    virtual QString path() const = 0;
    // Why the last load or playback failed; empty when it did not.
    virtual QString errorString() const = 0;

Q_SIGNALS:
    void stateChanged(tarvelin::MediaEngine::State state);
    // Coarse position updates for displays; not for time tags.
    void positionChanged(double seconds);
    void durationChanged(double seconds);
    void titleChanged();
    void volumeChanged(int percent);
    void mutedChanged(bool muted);
    void speedChanged(double factor);
    void errorOccurred(const QString &message);
};

} // namespace tarvelin
