#pragma once

#include <QString>
#include <QtGlobal>

namespace tarvelin {

// Text of a playback position as it goes into a lyrics time tag: "mm:ss.xx",
// two-digit minutes (more digits past 99), two-digit seconds and hundredths.
// The position is cut, not rounded, to the hundredth, so a tag never claims a
// moment that had not yet been heard. Negative or non-finite input reads as 0.
QString formatPosition(double seconds);

// The same from a whole number of hundredths of a second.
QString formatCentiseconds(qint64 centiseconds);

// Whole milliseconds of a position in seconds, cut the same way as the tag
// text is (see formatPosition); negative or non-finite reads as 0.
qint64 msFromSeconds(double seconds);

} // namespace tarvelin
