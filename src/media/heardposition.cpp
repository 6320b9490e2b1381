#include "media/heardposition.h"

#include <QtGlobal>

#include <iterator>

namespace tarvelin {

const char *const StretchFilter = "scaletempo2=search-interval=5:window-size=10";

namespace {

// Measured with bench/tag_error.sh on its generated click track (16 s of
// silence with 5 ms clicks at known times): the track played through the
// program with StretchFilter into a private PulseAudio null sink, the sink's
// monitor recorded, and the program's position at the instant each click was
// heard compared with the click's time. The lag is the mean over the clicks
// at each speed; the clicks at one speed lay within about a millisecond of it.
struct StretchLag {
    double speed;
    double seconds;
};
constexpr StretchLag StretchLags[] = {
    {MinSpeed, 0.0019}, {0.75, 0.0054}, {1.25, 0.0144}, {1.5, 0.0190}, {MaxSpeed, 0.0215},
};

double stretchLag(double speed)
{
    if (qFuzzyCompare(speed, 1.0))
        return 0.0; // no filter at normal speed
    const auto *first = std::begin(StretchLags);
    const auto *last = std::end(StretchLags) - 1;
    if (speed <= first->speed)
        return first->seconds;
    for (const auto *p = first; p != last; ++p) {
        const StretchLag &a = p[0], &b = p[1];
        if (speed <= b.speed)
            return a.seconds + (b.seconds - a.seconds) * (speed - a.speed) / (b.speed - a.speed);
    }
    return last->seconds;
}

} // namespace

double heardPosition(double pts, double speed)
{
    return qMax(0.0, pts - stretchLag(speed));
}

double SteadyPosition::read(double reading, double now, double speed) const
{
    if (!m_anchored)
        return reading;
    const double elapsed = now - m_at;
    const double expected = m_position + elapsed * speed;
    const double ahead = reading - expected;
    if (elapsed >= 0 && elapsed <= MaxGap && ahead > Drift && ahead < MaxArtefact)
        return expected;
    return reading;
}

void SteadyPosition::advance(double reading, double now, double speed)
{
    m_position = read(reading, now, speed);
    m_at = now;
    m_anchored = true;
}

} // namespace tarvelin
