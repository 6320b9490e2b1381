#include "analysis/onsetdetector.h"

#include <aubio/aubio.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tarvelin {

namespace {

enum class Pass { Low, High };

// One section of a Butterworth filter (RBJ's formulas), transposed direct
// form II with its state in double: a 200 Hz high-pass at 11 kHz has poles
// close enough to 1 for float state to drift.
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double z1 = 0, z2 = 0;

    Biquad(Pass pass, double cutoff, double q, double rate)
    {
        const double w = 2 * std::numbers::pi * cutoff / rate;
        const double alpha = std::sin(w) / (2 * q);
        const double c = std::cos(w);
        const double a0 = 1 + alpha;
        const double n1 = pass == Pass::Low ? 1 - c : -(1 + c);
        b0 = b2 = std::abs(n1) / 2 / a0;
        b1 = n1 / a0;
        a1 = -2 * c / a0;
        a2 = (1 - alpha) / a0;
    }

    void run(float *x, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i) {
            const double in = x[i];
            const double out = b0 * in + z1;
            z1 = b1 * in - a1 * out + z2;
            z2 = b2 * in - a2 * out;
            x[i] = float(out);
        }
    }
};

// The sections of 4th- and 8th-order Butterworth filters: Q = 1 / (2 cos θ)
// for the poles' angles θ = (2k - 1) π / 2n.
constexpr double Butterworth4[] = {0.54119610, 1.30656296};
constexpr double Butterworth8[] = {0.50979558, 0.60134489, 0.89997622, 2.56291545};

} // namespace

struct OnsetDetector::Aubio {
    aubio_onset_t *onset = nullptr;
    fvec_t *hop = nullptr;
    fvec_t *out = nullptr;
    std::vector<Biquad> lowPass;  // at the input rate
    std::vector<Biquad> highPass; // at the kept rate
    int decimation = 1;
    int phase = 0;                // input samples to skip before the next kept one
    std::vector<float> buffer;
    uint_t filled = 0;
    double rate = 0;              // the kept rate
    smpl_t lastThresholded = 0;

    ~Aubio()
    {
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
    a.decimation = s.highCut > 0 ? std::max(1, s.decimation) : 1;
    a.rate = sampleRate / a.decimation;
    a.onset = new_aubio_onset(s.method.constData(), uint_t(s.window), uint_t(s.hop), uint_t(std::lround(a.rate)));
    a.hop = new_fvec(uint_t(s.hop));
    a.out = new_fvec(1);
    if (a.onset) {
        aubio_onset_set_threshold(a.onset, smpl_t(s.threshold));
        aubio_onset_set_minioi_s(a.onset, smpl_t(s.minimumGap));
    }
    if (s.highCut > 0) {
        for (double q : Butterworth8)
            a.lowPass.emplace_back(Pass::Low, s.highCut, q, sampleRate);
    }
    if (s.lowCut > 0) {
        for (double q : Butterworth4)
            a.highPass.emplace_back(Pass::High, s.lowCut, q, a.rate);
    }
}

OnsetDetector::~OnsetDetector() = default;

void OnsetDetector::process(const float *samples, std::size_t count)
{
    Aubio &a = *m_aubio;
    if (!a.onset)
        return;
    // Filter and thin out a block at a time, then feed aubio hop by hop.
    a.buffer.assign(samples, samples + count);
    for (Biquad &f : a.lowPass)
        f.run(a.buffer.data(), count);
    std::size_t kept = 0;
    for (std::size_t i = std::size_t(a.phase); i < count; i += std::size_t(a.decimation))
        a.buffer[kept++] = a.buffer[i];
    a.phase = int((std::size_t(a.phase) + kept * std::size_t(a.decimation)) - count);
    for (Biquad &f : a.highPass)
        f.run(a.buffer.data(), kept);

    const float *in = a.buffer.data();
    while (kept > 0) {
        const std::size_t take = std::min<std::size_t>(kept, a.hop->length - a.filled);
        std::copy(in, in + take, a.hop->data + a.filled);
        in += take;
        kept -= take;
        a.filled += uint_t(take);
        if (a.filled < a.hop->length)
            return;
        a.filled = 0;
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
