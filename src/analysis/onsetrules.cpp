#include "analysis/onsetrules.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tarvelin {

namespace {

// Window ends read on centisecond tags must hold, e.g. 12.34 - 0.25.
constexpr double Tolerance = 1e-9;

std::optional<Onset> strongestNear(std::span<const Onset> onsets, double tag, double before, double after)
{
    std::optional<Onset> best;
    for (const Onset &o : onsets) {
        const double d = o.time - tag;
        if (d < -before - Tolerance || d > after + Tolerance)
            continue;
        if (!best || o.strength > best->strength
            || (o.strength == best->strength && std::abs(d) < std::abs(best->time - tag)))
            best = o;
    }
    return best;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

std::optional<Onset> snapTarget(std::span<const Onset> onsets, double tagTime)
{
    return strongestNear(onsets, tagTime, SnapBefore, SnapAfter);
}

LagEstimate estimateReactionLag(std::span<const double> tagTimes, std::span<const Onset> onsets)
{
    std::vector<double> offsets;
    for (double tag : tagTimes) {
        if (const auto onset = strongestNear(onsets, tag, LagLatest, LagEarliest))
            offsets.push_back(tag - onset->time);
    }
    LagEstimate estimate;
    estimate.lines = int(offsets.size());
    if (estimate.lines < LagMinLines)
        return estimate;
    estimate.lag = median(offsets);
    std::vector<double> deviations;
    for (double offset : offsets)
        deviations.push_back(std::abs(offset - estimate.lag));
    estimate.spread = median(deviations);
    estimate.outcome = estimate.spread > LagMaxSpread + Tolerance ? LagEstimate::Outcome::NoClearLag
                                                                  : LagEstimate::Outcome::Clear;
    return estimate;
}

} // namespace tarvelin
