#include "common.h"

#include <algorithm>
#include <cmath>

namespace bench {

double median(std::vector<double> values)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double quantile(std::vector<double> values, double q)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(q * double(values.size() - 1) + 0.5))];
}

double maxOf(const std::vector<double> &values)
{
    return values.empty() ? NAN : *std::max_element(values.begin(), values.end());
}

double percentWithin(const std::vector<double> &values, double limit)
{
    if (values.empty())
        return NAN;
    const auto within = std::count_if(values.begin(), values.end(), [&](double v) { return v <= limit; });
    return 100.0 * double(within) / double(values.size());
}

} // namespace bench
