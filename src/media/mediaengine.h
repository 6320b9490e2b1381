#pragma once

#include <QObject>
#include <QString>

#include <optional>

namespace tarvelin {

// The playback engine behind the player widget. One medium at a time. The
// engine checks every limit (position, volume, speed) itself; callers may ask
// for anything. position() and title() ask the engine afresh on each call;
// the other getters return what the engine last reported.
class MediaEngine : public QObject {
    Q_OBJECT
public:
    enum class State {
        Empty,   // nothing loaded
        Loading, // a file is being opened
        Stopped, // loaded, standing at the start
        Playing,
        Paused,
        Ended,   // played to its end and standing there; play() starts it again
    };
    Q_ENUM(State)

    // Why a load or playback failed. The engine names the reason; what the
    // user reads is the player's business.
    enum class Error {
        None,
        EngineUnavailable, // the engine itself could not start
        FileMissing,
        NotAFile,
        CannotOpen,        // unreadable or damaged
        UnknownFormat,
        NoAudio,           // opens, but holds nothing to play
        AudioOutput,       // no sound device could be opened
        Unsupported,
        Truncated,         // ends long before the length its header claims
        Other,             // see detail
    };
    Q_ENUM(Error)

    struct Failure {
        Error error = Error::None;
        QString path;       // the medium as given to load(); empty for EngineUnavailable
        QString detail;     // the engine's own words, untranslated
        double reached = 0; // Truncated: where playback ended, in seconds
        double length = 0;  // Truncated: the length the file claims
    };

    static constexpr int DefaultVolume = 50; // percent; 0..100
    static constexpr int MaxVolume = 100;

    using QObject::QObject;
    ~MediaEngine() override = default;

    // Loads a file and starts playing it once it is open. An empty path
    // unloads whatever is loaded.
    virtual void load(const QString &path) = 0;
    // Stops playback and goes back to the start; the medium stays loaded, so
    // play() starts it from the beginning.
    virtual void stop() = 0;
    // Plays on from where the medium stands; from its end, from the start.
    virtual void play() = 0;
    virtual void pause() = 0;
    // Exact seek to an absolute position in seconds. The engine keeps it
    // within the medium (0 .. its length): callers need not clamp.
    virtual void seek(double seconds) = 0;
    // Clamped to 0..MaxVolume.
    virtual void setVolume(int percent) = 0;
    virtual void setMuted(bool muted) = 0;
    // Clamped to MinSpeed..MaxSpeed (media/heardposition.h); the pitch is kept.
    virtual void setSpeed(double factor) = 0;

    // The position of the audio the listener hears right now, in seconds;
    // while not playing, where playback would go on from, whatever the
    // speed; 0 with nothing loaded; nothing when the engine cannot tell.
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
    // Why the last load or playback failed; Error::None when it did not.
    virtual Failure failure() const = 0;

Q_SIGNALS:
    void stateChanged(tarvelin::MediaEngine::State state);
    // Coarse position updates for displays; not for time tags.
    void positionChanged(double seconds);
    void durationChanged(double seconds);
    void titleChanged();
    void volumeChanged(int percent);
    void mutedChanged(bool muted);
    void speedChanged(double factor);
    void errorOccurred(const tarvelin::MediaEngine::Failure &failure);
};

} // namespace tarvelin
