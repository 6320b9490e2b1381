#include "analysis/wordrules.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>

namespace tarvelin {

std::optional<double> snapWordTime(const Curve &timing, double tag, double delay)
{
    if (timing.empty() || timing.step <= 0)
        return std::nullopt;
    const double centre = tag - delay;
    const auto first = qsizetype(std::ceil((centre - WordSnapBefore) / timing.step));
    const auto last = qsizetype(std::floor((centre + WordSnapAfter) / timing.step));
    const auto size = qsizetype(timing.values.size());
    if (last < 0 || first >= size)
        return std::nullopt;
    const qsizetype from = std::max<qsizetype>(first, 0);
    const qsizetype to = std::min(last, size - 1);
    qsizetype best = from;
    for (qsizetype i = from; i <= to; ++i) {
        if (timing.values[std::size_t(i)] > timing.values[std::size_t(best)])
            best = i;
    }
    const float top = timing.values[std::size_t(best)];
    if (top <= 0)
        return std::nullopt;
    // A peak: the curve rises to it and does not rise on after it (at the
    // window's edges, the curve still rising beyond is a peak outside; a
    // flat stretch is none).
    const auto value = [&](qsizetype i) { return i >= 0 && i < size ? timing.values[std::size_t(i)] : 0.0f; };
    if (!(value(best - 1) < top && value(best + 1) <= top))
        return std::nullopt;
    return std::max(0.0, double(best) * timing.step - WordSnapLead);
}

} // namespace tarvelin
