#pragma once

// What several benches share: the statistics their figures are made of.

#include <vector>

namespace bench {

// The middle value (the mean of the two middle ones for an even count); NaN
// for none.
double median(std::vector<double> values);

// The value at fraction q (0..1) of the sorted values, nearest rank; NaN for
// none.
double quantile(std::vector<double> values, double q);

// The largest value; NaN for none.
double maxOf(const std::vector<double> &values);

// The share of values at most `limit`, in percent; NaN for none.
double percentWithin(const std::vector<double> &values, double limit);

} // namespace bench
