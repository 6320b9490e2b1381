#pragma once

namespace tarvelin {

// The speeds the player accepts: the range the stretch lag below was measured
// over. MpvEngine::setSpeed clamps to it.
inline constexpr double MinSpeed = 0.5;
inline constexpr double MaxSpeed = 2.0;

// The audio filter that keeps the pitch away from normal speed. mpv's default
// stretch (20 ms windows searched over 30 ms) makes the sound wander around
// the playback position by up to 20 ms; 10 ms windows searched over 5 ms keep
// it within about a millisecond of a lag that depends on the speed alone.
// heardPosition() takes that lag off, so this string and its lag table must
// change together.
extern const char *const StretchFilter;

// The position the listener hears, in seconds, while audio plays at `speed`:
// `pts` (the timestamp of the sample the sound server plays now, mpv's
// audio-pts) less the stretch filter's lag at that speed. At 1x no filter
// runs and pts is what is heard. Speeds outside the measured range take the
// lag of the nearest end. Never before the start (0).
double heardPosition(double pts, double speed);

// Smooths out the few timestamps that run ahead of the sound. FFmpeg's Ogg
// reader stamps a Vorbis packet 448 samples (9.3 ms at 48 kHz) late at some
// long-to-short block changes, and the packet after it is stamped right
// again, so the playing position runs about 9 ms ahead for the ~30 ms that
// packet stands last in the output. Audio that plays steadily cannot get
// ahead of the clock, so a reading that does (by more than the clocks can
// drift apart, and less than any real jump) is taken as the last reading
// moved on by the time since; readings at or behind the clock are kept as
// they come, which also brings the filter back when its anchor was itself
// one of the early ones. Reset it whenever playback jumps or changes speed.
class SteadyPosition {
public:
    // Readings more than this far ahead of the clock are real jumps.
    static constexpr double MaxArtefact = 0.015;
    // Readings up to this far ahead are the clocks drifting apart.
    static constexpr double Drift = 0.002;
    // An anchor older than this is not trusted to extrapolate from.
    static constexpr double MaxGap = 0.1;

    // What `reading`, the position read at `now` (seconds on a steady clock)
    // while playing at `speed`, stands for. Changes nothing: readers call it.
    double read(double reading, double now, double speed) const;
    // Moves the anchor on to `reading`: the player's own ticks call it, so
    // the result never depends on how often anyone reads.
    void advance(double reading, double now, double speed);
    void reset() { m_anchored = false; }

private:
    bool m_anchored = false;
    double m_position = 0;
    double m_at = 0;
};

} // namespace tarvelin
