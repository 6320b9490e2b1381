#pragma once

// The timing help for word tags: syllables follow each other every few
// hundred milliseconds, so a word tag is snapped within a narrower window
// than a line tag (the line window reaches the neighbouring syllable).

#include "analysis/timingcurves.h"

#include <optional>

namespace tarvelin {

inline constexpr double WordSnapBefore = 0.080;
inline constexpr double WordSnapAfter = 0.050;
// Where the curve peaks is taken as the start (measured on real songs:
// a lead of 15 ms made the median 9 ms worse).
inline constexpr double WordSnapLead = 0.0;

// Where a word tag at `tag` goes when the user pressed `delay` late: the
// highest point of the timing curve from WordSnapBefore before (tag - delay)
// to WordSnapAfter after it, less the lead, when that point is a peak (not
// the window's edge on a slope); else nothing.
std::optional<double> snapWordTime(const Curve &timing, double tag, double delay = 0);

} // namespace tarvelin
