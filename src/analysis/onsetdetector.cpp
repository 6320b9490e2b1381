#include "analysis/onsetdetector.h"

#include <aubio/aubio.h>

#include <cmath>
#include <numbers>

namespace tarvelin {

namespace {

enum class Pass { Low, High };

// A biquad for one section of a Butterworth filter (RBJ's formulas).
aubio_filter_t *newSection(Pass pass, double cutoff, double q, double rate)
{
    const double w = 2 * std::numbers::pi * cutoff / rate;
    const double alpha = std::sin(w) / (2 * q);
    const double c = std::cos(w);
    const double a0 = 1 + alpha;
    const double b1 = pass == Pass::Low ? 1 - c : -(1 + c);
    const double b0 = std::abs(b1) / 2;
    return new_aubio_filter_biquad(b0 / a0, b1 / a0, b0 / a0, -2 * c / a0, (1 - alpha) / a0);
}

// The two sections of a 4th-order Butterworth filter.
constexpr double ButterworthQ[] = {0.54119610, 1.30656296};

} // namespace

struct OnsetDetector::Aubio {
    aubio_onset_t *onset = nullptr;
    fvec_t *hop = nullptr;
    fvec_t *out = nullptr;
    std::vector<aubio_filter_t *> filters;
    uint_t filled = 0;
    double rate = 0;
    smpl_t lastThresholded = 0;

    ~Aubio()
    {
        for (aubio_filter_t *f : filters)
            del_aubio_filter(f);
        if (onset)
            del_aubio_onset(onset);
        if (hop)
            del_fvec(hop);
        if (out)
            del_fvec(out);
    }
};

OnsetDetector::OnsetDetector(double sampleRate)
    : OnsetDetector(sampleRate, Settings{})
{
}

OnsetDetector::OnsetDetector(double sampleRate, const Settings &s)
    : m_aubio(std::make_unique<Aubio>())
{
    Aubio &a = *m_aubio;
    a.rate = sampleRate;
    a.onset = new_aubio_onset(s.method.constData(), uint_t(s.window), uint_t(s.hop), uint_t(sampleRate));
    a.hop = new_fvec(uint_t(s.hop));
    a.out = new_fvec(1);
    if (a.onset) {
        aubio_onset_set_threshold(a.onset, smpl_t(s.threshold));
        aubio_onset_set_minioi_s(a.onset, smpl_t(s.minimumGap));
    }
    for (double q : ButterworthQ) {
        if (s.lowCut > 0)
            a.filters.push_back(newSection(Pass::High, s.lowCut, q, sampleRate));
        if (s.highCut > 0)
            a.filters.push_back(newSection(Pass::Low, s.highCut, q, sampleRate));
    }
}

OnsetDetector::~OnsetDetector() = default;

void OnsetDetector::process(const float *samples, std::size_t count)
{
    Aubio &a = *m_aubio;
    if (!a.onset)
        return;
    while (count > 0) {
        const std::size_t take = std::min<std::size_t>(count, a.hop->length - a.filled);
        std::copy(samples, samples + take, a.hop->data + a.filled);
        samples += take;
        count -= take;
        a.filled += uint_t(take);
        if (a.filled < a.hop->length)
            return;
        a.filled = 0;
        for (aubio_filter_t *f : a.filters)
            aubio_filter_do(f, a.hop);
        aubio_onset_do(a.onset, a.hop, a.out);
        // An onset is the peak-picker's middle value of three: the one
        // thresholded a hop ago.
        if (a.out->data[0] > 0)
            m_found.push_back({double(aubio_onset_get_last(a.onset)) / a.rate, float(a.lastThresholded)});
        a.lastThresholded = aubio_onset_get_thresholded_descriptor(a.onset);
    }
}

std::vector<Onset> OnsetDetector::takeOnsets()
{
    return std::exchange(m_found, {});
}

} // namespace tarvelin
