#include "core/positiontext.h"

#include <cmath>
#include <limits>

namespace tarvelin {

QString formatCentiseconds(qint64 centiseconds)
{
    if (centiseconds < 0)
        centiseconds = 0;
    const qint64 minutes = centiseconds / 6000;
    const qint64 seconds = (centiseconds / 100) % 60;
    const qint64 hundredths = centiseconds % 100;
    return QStringLiteral("%1:%2.%3")
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds, 2, 10, QLatin1Char('0'))
        .arg(hundredths, 2, 10, QLatin1Char('0'));
}

qint64 msFromSeconds(double seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0)
        return 0;
    // Go through whole microseconds first: a double such as 0.29 is stored as
    // 0.28999..., and multiplying it by 1000 straight away would cut it to 289.
    constexpr double maxSeconds = double(std::numeric_limits<qint64>::max() / 1000000 - 1);
    return std::llround(std::min(seconds, maxSeconds) * 1e6) / 1000;
}

QString formatPosition(double seconds)
{
    return formatCentiseconds(msFromSeconds(seconds) / 10);
}

} // namespace tarvelin
