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

} // namespace tarvelin
