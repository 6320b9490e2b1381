#include "analysis/timingcurves.h"

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/tx.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

namespace tarvelin {

namespace {

constexpr double Hop = 0.010;       // seconds between frames
constexpr double WindowSeconds = 0.046;
constexpr double LowHz = 150;
constexpr double HighHz = 4000;
constexpr double UpperLowHz = 400; // the upper timing curve's band: above kick and bass
constexpr int ActivityEvery = 4;    // frames: the activity every 40 ms
constexpr int HeldFrames = 5;       // activity frames in the time median (200 ms)
constexpr int PooledBins = 2;       // FFT bins summed into one for the activity (43 Hz)
constexpr int StruckBins = 5;       // pooled bins in the frequency median (215 Hz)
// Added to every energy before its logarithm (-100 dB of a full-scale sine
// in the band's sum): digital silence and dither read alike.
constexpr double Floor = 1e-6;

// The power of two nearest to `samples`.
unsigned nearestPowerOfTwo(double samples)
{
    unsigned n = 64;
    while (n * 3 / 2 < samples)
        n *= 2;
    return n;
}

// |X|² of bin i of a real signal's spectrum.
inline float power(const AVComplexFloat *c, unsigned i)
{
    return c[i].re * c[i].re + c[i].im * c[i].im;
}

float median3(float a, float b, float c)
{
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// The median of n <= 5 values (the upper one of the middle two for even n):
// of five by a network of comparisons (of the two pairs' smaller values the
// smallest, and of their larger values the largest, cannot be the median),
// of fewer sorted in place by insertion. For so few values far cheaper than
// std::nth_element, with the same result.
template <std::size_t Size>
float smallMedian(std::array<float, Size> &v, std::size_t n)
{
    if (n == 5) {
        return median3(v[4], std::max(std::min(v[0], v[1]), std::min(v[2], v[3])),
                       std::min(std::max(v[0], v[1]), std::max(v[2], v[3])));
    }
    for (std::size_t i = 1; i < n; ++i) {
        const float x = v[i];
        std::size_t j = i;
        for (; j > 0 && v[j - 1] > x; --j)
            v[j] = v[j - 1];
        v[j] = x;
    }
    return v[n / 2];
}

// A timing curve from a band's log energy a frame: the energy smoothed
// over 20 ms, its rise over 30 ms (between the means of frames 1-2 after
// and 1-2 before), the positive part of that smoothed over 20 ms again.
std::vector<float> riseOf(const std::vector<float> &e)
{
    const auto n = std::ptrdiff_t(e.size());
    const auto get = [](const std::vector<float> &v, std::ptrdiff_t i) {
        return v[std::size_t(std::clamp<std::ptrdiff_t>(i, 0, std::ptrdiff_t(v.size()) - 1))];
    };
    std::vector<float> smooth(e.size()), rise(e.size()), out(e.size());
    for (std::ptrdiff_t i = 0; i < n; ++i)
        smooth[std::size_t(i)] = 0.25f * get(e, i - 1) + 0.5f * get(e, i) + 0.25f * get(e, i + 1);
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        const float d = 0.5f * (get(smooth, i + 1) + get(smooth, i + 2)) - 0.5f * (get(smooth, i - 1) + get(smooth, i - 2));
        rise[std::size_t(i)] = std::max(d, 0.0f);
    }
    for (std::ptrdiff_t i = 0; i < n; ++i)
        out[std::size_t(i)] = 0.25f * get(rise, i - 1) + 0.5f * get(rise, i) + 0.25f * get(rise, i + 1);
    return out;
}

struct AvFree {
    void operator()(void *p) const { av_free(p); }
};
template <typename T>
using AvBuffer = std::unique_ptr<T[], AvFree>;

template <typename T>
AvBuffer<T> avBuffer(std::size_t count)
{
    return AvBuffer<T>(static_cast<T *>(av_calloc(count, sizeof(T))));
}

} // namespace

double Curve::at(double seconds) const
{
    if (values.empty() || seconds < 0)
        return 0;
    const double x = seconds / step;
    const auto i = std::size_t(x);
    if (i + 1 >= values.size())
        return i + 1 == values.size() ? values.back() : 0.0;
    const double f = x - double(i);
    return values[i] * (1 - f) + values[i + 1] * f;
}

struct CurveBuilder::State {
    double rate;
    unsigned size;           // FFT length
    unsigned lowBin, highBin; // the band, both ends included
    unsigned upperLowBin;     // where the upper band starts
    std::vector<float> window;
    // FFmpeg's real FFT, with its aligned buffers.
    AVTXContext *fft = nullptr;
    av_tx_fn transformFn = nullptr;
    AvBuffer<float> in;
    AvBuffer<AVComplexFloat> midSpectrum, sideSpectrum;
    // Samples from absolute index `base` on.
    std::vector<float> mid, side;
    std::int64_t base = 0;
    std::int64_t frames = 0;       // frames taken so far
    std::vector<float> energy;      // the band's log energy a frame
    std::vector<float> upperEnergy; // the upper band's
    // The last HeldFrames activity frames' centre-weighted magnitudes.
    std::vector<std::vector<float>> held;
    std::int64_t activityFrames = 0;

    explicit State(double r)
        : rate(r)
        , size(nearestPowerOfTwo(WindowSeconds * r))
    {
        const double binHz = r / size;
        lowBin = unsigned(std::ceil(LowHz / binHz));
        highBin = std::min(unsigned(HighHz / binHz), size / 2 - 1);
        upperLowBin = std::clamp(unsigned(std::ceil(UpperLowHz / binHz)), lowBin, highBin);
        window.resize(size);
        for (unsigned i = 0; i < size; ++i)
            window[i] = float(0.5 - 0.5 * std::cos(2 * std::numbers::pi * (i + 0.5) / size));
        const float scale = 1.0f;
        in = avBuffer<float>(size);
        midSpectrum = avBuffer<AVComplexFloat>(size / 2 + 1);
        sideSpectrum = avBuffer<AVComplexFloat>(size / 2 + 1);
        if (!in || !midSpectrum || !sideSpectrum
            || av_tx_init(&fft, &transformFn, AV_TX_FLOAT_RDFT, 0, int(size), &scale, 0) < 0)
            fft = nullptr; // out of memory: no curves
        held.assign(HeldFrames, std::vector<float>((highBin - lowBin + 1) / PooledBins, 0.0f));
    }
    ~State() { av_tx_uninit(&fft); }
    // First sample of frame k's window, absolute.
    std::int64_t start(std::int64_t k) const
    {
        return std::llround(double(k) * Hop * rate) - size / 2;
    }
    void transform(const std::vector<float> &signal, std::int64_t from, AVComplexFloat *out)
    {
        float *x = in.get();
        const std::int64_t first = from - base;
        if (first >= 0 && first + size <= std::int64_t(signal.size())) {
            const float *s = signal.data() + first;
            for (unsigned i = 0; i < size; ++i)
                x[i] = s[i] * window[i];
        } else {
            for (unsigned i = 0; i < size; ++i) {
                const std::int64_t j = first + i;
                x[i] = j >= 0 && j < std::int64_t(signal.size()) ? signal[std::size_t(j)] * window[i] : 0.0f;
            }
        }
        transformFn(fft, out, x, sizeof(AVComplexFloat));
    }
};

CurveBuilder::CurveBuilder(double sampleRate)
    : m_state(std::make_unique<State>(sampleRate))
{
    m_curves.timing.step = Hop;
    m_curves.upperTiming.step = Hop;
    m_curves.activity.step = Hop * ActivityEvery;
}

CurveBuilder::~CurveBuilder() = default;

double CurveBuilder::reached() const
{
    return double(m_state->frames) * Hop;
}

void CurveBuilder::process(const float *leftRight, std::size_t count)
{
    State &s = *m_state;
    if (!s.fft)
        return;
    const std::size_t had = s.mid.size();
    s.mid.resize(had + count);
    s.side.resize(had + count);
    float *mid = s.mid.data() + had, *side = s.side.data() + had;
    for (std::size_t i = 0; i < count; ++i) {
        const float l = leftRight[2 * i], r = leftRight[2 * i + 1];
        mid[i] = 0.5f * (l + r);
        side[i] = 0.5f * (l - r);
    }
    const std::int64_t end = s.base + std::int64_t(s.mid.size());
    while (s.start(s.frames) + s.size <= end)
        frame();
    // Drop what no frame will read again.
    const std::int64_t keep = std::max<std::int64_t>(s.start(s.frames), s.base);
    const auto drop = std::size_t(keep - s.base);
    if (drop > 0 && drop >= s.mid.size() / 2) {
        s.mid.erase(s.mid.begin(), s.mid.begin() + std::ptrdiff_t(drop));
        s.side.erase(s.side.begin(), s.side.begin() + std::ptrdiff_t(drop));
        s.base = keep;
    }
}

void CurveBuilder::frame()
{
    State &s = *m_state;
    const std::int64_t k = s.frames++;
    s.transform(s.mid, s.start(k), s.midSpectrum.get());
    double lower = 0, upper = 0;
    for (unsigned b = s.lowBin; b < s.upperLowBin; ++b)
        lower += power(s.midSpectrum.get(), b);
    for (unsigned b = s.upperLowBin; b <= s.highBin; ++b)
        upper += power(s.midSpectrum.get(), b);
    s.energy.push_back(float(std::log(lower + upper + Floor)));
    s.upperEnergy.push_back(float(std::log(upper + Floor)));
    if (k % ActivityEvery != 0)
        return;

    // Activity: the centre-weighted magnitudes of this frame join the last
    // ones; the frame HeldFrames / 2 back has its neighbours on both sides.
    s.transform(s.side, s.start(k), s.sideSpectrum.get());
    std::vector<float> &x = s.held[std::size_t(s.activityFrames % HeldFrames)];
    for (std::size_t p = 0; p < x.size(); ++p) {
        float m = 0, d = 0;
        for (unsigned b = s.lowBin + unsigned(p) * PooledBins, e = b + PooledBins; b < e; ++b) {
            m += power(s.midSpectrum.get(), b);
            d += power(s.sideSpectrum.get(), b);
        }
        x[p] = m > 0 ? std::sqrt(m) * m / (m + d) : 0.0f;
    }
    ++s.activityFrames;
    const std::int64_t j = s.activityFrames - 1 - HeldFrames / 2;
    if (j < 0)
        return;
    const std::vector<float> &centre = s.held[std::size_t(j % HeldFrames)];
    const std::size_t bins = centre.size();
    double heldEnergy = 0;
    std::array<float, HeldFrames> column{};
    std::array<float, StruckBins> row{};
    for (std::size_t b = 0; b < bins; ++b) {
        for (int t = 0; t < HeldFrames; ++t)
            column[std::size_t(t)] = s.held[std::size_t(t)][b];
        const float h = smallMedian(column, HeldFrames);
        const std::size_t lo = b >= StruckBins / 2 ? b - StruckBins / 2 : 0;
        const std::size_t hi = std::min(bins, b + StruckBins / 2 + 1);
        std::copy(centre.begin() + std::ptrdiff_t(lo), centre.begin() + std::ptrdiff_t(hi), row.begin());
        const float p = smallMedian(row, hi - lo);
        const float mask = h * h / (h * h + p * p + 1e-20f);
        heldEnergy += double(centre[b]) * centre[b] * mask;
    }
    m_curves.activity.values.push_back(float(std::log(heldEnergy + Floor)));
}

void CurveBuilder::finish()
{
    State &s = *m_state;
    if (!s.fft)
        return;
    // Every frame whose centre lies in the signal; the activity frames
    // still waiting for later neighbours get silence after it.
    const std::int64_t end = s.base + std::int64_t(s.mid.size());
    const auto real = std::size_t(std::ceil(double(end) / (Hop * s.rate)));
    const std::vector<float> silence(2 * (std::size_t((HeldFrames / 2 + 1) * ActivityEvery * Hop * s.rate) + s.size));
    process(silence.data(), silence.size() / 2);
    m_curves.activity.values.resize(
        std::min(m_curves.activity.values.size(), (real + ActivityEvery - 1) / ActivityEvery));

    s.energy.resize(std::min(s.energy.size(), real));
    s.upperEnergy.resize(s.energy.size());
    m_curves.timing.values = riseOf(s.energy);
    m_curves.upperTiming.values = riseOf(s.upperEnergy);
    m_curves.activity.values.shrink_to_fit();
    if (!m_curves.activity.values.empty()) {
        std::vector<float> sorted = m_curves.activity.values;
        std::sort(sorted.begin(), sorted.end());
        m_curves.quiet = sorted[sorted.size() / 5];
        m_curves.singing = sorted[sorted.size() * 9 / 10];
    }
    s.energy = {};
    s.upperEnergy = {};
    s.mid = {};
    s.side = {};
}

std::vector<float> TimingCurves::voiceBand(double t0, double t1, int columns) const
{
    std::vector<float> out(std::size_t(std::max(columns, 0)), 0.0f);
    const auto &a = activity.values;
    if (columns <= 0 || a.empty() || !(t1 > t0) || !(singing > quiet))
        return out;
    const double width = (t1 - t0) / columns;
    for (int c = 0; c < columns; ++c) {
        const double from = t0 + c * width;
        // The frames whose 40 ms reach into the column, at least the nearest.
        auto first = std::ptrdiff_t(std::floor(from / activity.step));
        auto last = std::ptrdiff_t(std::floor((from + width) / activity.step));
        first = std::max<std::ptrdiff_t>(first, 0);
        last = std::min<std::ptrdiff_t>(last, std::ptrdiff_t(a.size()) - 1);
        float top = -std::numeric_limits<float>::infinity();
        for (std::ptrdiff_t i = first; i <= last; ++i)
            top = std::max(top, a[std::size_t(i)]);
        if (first <= last)
            out[std::size_t(c)] = std::clamp((top - quiet) / (singing - quiet), 0.0f, 1.0f);
    }
    return out;
}

std::vector<Onset> soundStarts(const Curve &timing, float minimumRise)
{
    std::vector<Onset> starts;
    const std::vector<float> &v = timing.values;
    const auto n = std::ptrdiff_t(v.size());
    const auto reach = std::ptrdiff_t(std::lround(0.050 / timing.step));
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        const float x = v[std::size_t(i)];
        if (!(x >= minimumRise))
            continue;
        bool highest = true;
        for (std::ptrdiff_t j = std::max<std::ptrdiff_t>(0, i - reach), e = std::min(n, i + reach + 1); j < e && highest; ++j)
            highest = j < i ? v[std::size_t(j)] < x : v[std::size_t(j)] <= x;
        if (highest)
            starts.push_back({double(i) * timing.step, x});
    }
    return starts;
}

TimingCurves buildCurves(const float *leftRight, std::size_t count, double sampleRate)
{
    CurveBuilder builder(sampleRate);
    builder.process(leftRight, count);
    builder.finish();
    return builder.take();
}

} // namespace tarvelin
