#pragma once

#include <QtGlobal>

namespace tarvelin {

// A press waits longer than this between happening and being handled only if
// its timestamp and our clock do not really agree; then the press time is not
// trusted.
inline constexpr qint64 MaxPressDelayMs = 2000;

// The song position at the moment of a key or mouse press, from the position
// read now (seconds), the speed the song has played at since (0 while
// paused) and the wall-clock milliseconds from the press to now: the song
// time that went by is taken back out, never below 0. An elapsed time below 0
// or over MaxPressDelayMs, or a speed that is not a finite number >= 0, gives
// the position read now unchanged.
double positionAtPress(double positionNow, double speed, qint64 elapsedMs);

} // namespace tarvelin
