#include "core/presstime.h"

#include <algorithm>
#include <cmath>

namespace tarvelin {

double positionAtPress(double positionNow, double speed, qint64 elapsedMs)
{
    if (elapsedMs < 0 || elapsedMs > MaxPressDelayMs || !std::isfinite(speed) || speed < 0)
        return positionNow;
    return std::max(0.0, positionNow - double(elapsedMs) / 1000.0 * speed);
}

} // namespace tarvelin
