#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace tarvelin {

// The lowest and highest sample of a stretch of signal. An empty range (no
// samples) has min > max.
struct PeakRange {
    float min = std::numeric_limits<float>::infinity();
    float max = -std::numeric_limits<float>::infinity();

    bool isEmpty() const { return min > max; }
    void include(const PeakRange &other)
    {
        if (other.min < min)
            min = other.min;
        if (other.max > max)
            max = other.max;
    }
    friend bool operator==(const PeakRange &, const PeakRange &) = default;
};

// Min/max peaks of a mono signal at successive resolutions, built as the
// samples arrive: level 0 holds one range per BaseBin samples, each next
// level one range per two bins of the level below. A waveform of any width
// and zoom is drawn from the level whose bins are just narrower than a
// column, so a column never looks at more than three bins.
//
// Not thread-safe; SongAnalysis guards it for its readers.
class PeakPyramid {
public:
    static constexpr int BaseBin = 32;    // 1.45 ms at 22050 Hz, finer than a column at any zoom
    static constexpr int LevelCount = 15; // up to 32 << 14 samples (24 s) a bin

    explicit PeakPyramid(double sampleRate);

    // Room for this many samples, so appending never moves the bins.
    void reserve(std::int64_t samples);
    void append(const float *samples, std::size_t count);
    // The trailing part-filled bins count from now on; nothing can follow.
    void finish();

    double sampleRate() const { return m_rate; }
    std::int64_t sampleCount() const { return m_samples; }
    // Seconds of signal appended so far.
    double duration() const { return double(m_samples) / m_rate; }
    static std::int64_t binSize(int level) { return std::int64_t(BaseBin) << level; }
    const std::vector<PeakRange> &level(int level) const { return m_levels[std::size_t(level)]; }
    std::size_t memoryBytes() const;

    // One range per column for `columns` equal columns across [t0, t1)
    // seconds; columns with no signal (before 0, after the end, or not yet
    // decoded) are empty. A bin that straddles two columns counts in both,
    // so a drawn waveform has no gaps.
    std::vector<PeakRange> peaks(double t0, double t1, int columns) const;

private:
    void push(int level, const PeakRange &range);

    double m_rate;
    std::vector<std::vector<PeakRange>> m_levels;
    PeakRange m_partial;
    int m_partialCount = 0;
    std::int64_t m_samples = 0;
    bool m_finished = false;
};

} // namespace tarvelin
