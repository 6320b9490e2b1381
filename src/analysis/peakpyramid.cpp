#include "analysis/peakpyramid.h"

#include <algorithm>
#include <cmath>

namespace tarvelin {

PeakPyramid::PeakPyramid(double sampleRate)
    : m_rate(sampleRate)
    , m_levels(LevelCount)
{
}

void PeakPyramid::reserve(std::int64_t samples)
{
    for (int l = 0; l < LevelCount; ++l)
        m_levels[std::size_t(l)].reserve(std::size_t(samples / binSize(l) + 1));
}

void PeakPyramid::append(const float *samples, std::size_t count)
{
    if (m_finished)
        return;
    for (std::size_t i = 0; i < count; ++i) {
        const float v = samples[i];
        if (v < m_partial.min)
            m_partial.min = v;
        if (v > m_partial.max)
            m_partial.max = v;
        if (++m_partialCount == BaseBin) {
            push(0, m_partial);
            m_partial = {};
            m_partialCount = 0;
        }
    }
    m_samples += std::int64_t(count);
}

// Adds a bin to a level; every second bin completes one of the level above.
void PeakPyramid::push(int level, const PeakRange &range)
{
    auto &bins = m_levels[std::size_t(level)];
    bins.push_back(range);
    if (bins.size() % 2 == 0 && level + 1 < LevelCount) {
        PeakRange pair = bins[bins.size() - 2];
        pair.include(bins.back());
        push(level + 1, pair);
    }
}

void PeakPyramid::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    if (m_partialCount > 0)
        push(0, m_partial);
    m_partial = {};
    m_partialCount = 0;
    // A level with an odd count has a last bin no bin above covers yet.
    for (int l = 0; l + 1 < LevelCount; ++l) {
        const auto &bins = m_levels[std::size_t(l)];
        if (bins.size() % 2 == 1)
            push(l + 1, bins.back());
    }
}

std::size_t PeakPyramid::memoryBytes() const
{
    std::size_t bytes = 0;
    for (const auto &bins : m_levels)
        bytes += bins.capacity() * sizeof(PeakRange);
    return bytes;
}

std::vector<PeakRange> PeakPyramid::peaks(double t0, double t1, int columns) const
{
    std::vector<PeakRange> out(std::size_t(std::max(columns, 0)));
    if (columns <= 0 || !(t1 > t0) || !std::isfinite(t0) || !std::isfinite(t1))
        return out;
    const double width = (t1 - t0) * m_rate / columns; // samples a column
    int level = 0;
    while (level + 1 < LevelCount && double(binSize(level + 1)) <= width)
        ++level;
    const auto &bins = m_levels[std::size_t(level)];
    if (bins.empty())
        return out;
    const double size = double(binSize(level));
    const double last = double(bins.size() - 1);
    // Column edges that fall on a bin edge up to rounding stay on it.
    constexpr double Slack = 1e-7;
    for (int c = 0; c < columns; ++c) {
        const double a = (t0 * m_rate + c * width) / size;
        const double b = (t0 * m_rate + (c + 1) * width) / size;
        const double first = std::max(std::floor(a + Slack), 0.0);
        const double end = std::min(std::ceil(b - Slack) - 1, last);
        PeakRange &range = out[std::size_t(c)];
        for (double i = first; i <= end; ++i)
            range.include(bins[std::size_t(i)]);
    }
    return out;
}

} // namespace tarvelin
