// The benchmarks' summary of a series of measurements.
#ifndef REMOTEMONITOR_BENCH_FIGURES_H
#define REMOTEMONITOR_BENCH_FIGURES_H

#include <algorithm>
#include <cstddef>
#include <vector>

namespace rmbench {

struct SFigures
{
    double dMin, dMedian, dP99, dMax;
};

inline SFigures Summarise(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const auto at = [&](double q) { return values[static_cast<size_t>(q * static_cast<double>(values.size() - 1))]; };
    return SFigures{values.front(), at(0.5), at(0.99), values.back()};
}

}  // namespace rmbench

#endif
