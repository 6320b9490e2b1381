#include "analysis/onsetdetector.h"

#include <aubio/aubio.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>
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

// What tells a voice starting from a drum hit, on the band's energy (mean
// square a hop, windows in seconds from the onset):
// - Held against Hit, the sustain: a struck drum has died down to a few per
//   cent of its hit 60 ms later, a voice holds or grows (a consonant leads
//   into its vowel). Onsets below MinSustain are dropped.
// - RiseAfter against the Background, the rise: a line begins after a
//   stretch without voice, so its first onset rises most; the syllables
//   after it rise from the voice before them. A quarter of a second before
//   is long enough to take in the syllable before a syllable, and a drum hit
//   in it is short beside a voice.
// The strength is the rise times the sustain (up to MaxSustainWeight). On
// three generated songs (espeak-ng lines starting off the beat over kick,
// snare, hi-hat and bass: bench/assist.sh) aubio's own peaks put the
// strongest onset near a line's start on a drum hit in most lines; weighed
// so, the reaction delay of taps 140-220 ms late comes out clear, and
// snapping after taking it out lands within 40 ms of 95 % of the starts
// (median 7 ms).
constexpr std::pair<double, double> Hit{0.0, 0.040};
constexpr std::pair<double, double> Held{0.060, 0.120};
constexpr std::pair<double, double> RiseAfter{0.080, 0.250};
constexpr std::pair<double, double> Background{-0.250, -0.010};
constexpr double MinSustain = 0.8;
constexpr double MaxSustainWeight = 3.0;
constexpr double Silence = 1e-10; // -100 dB: keeps the ratios finite

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
        double energy = 0;
        for (uint_t i = 0; i < a.hop->length; ++i)
            energy += double(a.hop->data[i]) * a.hop->data[i];
        m_energy.push_back(float(energy / a.hop->length));
        aubio_onset_do(a.onset, a.hop, a.out);
        // An onset is the peak-picker's middle value of three: the one
        // thresholded a hop ago.
        if (a.out->data[0] > 0)
            m_pending.push_back({double(aubio_onset_get_last(a.onset)) / a.rate, float(a.lastThresholded)});
        a.lastThresholded = aubio_onset_get_thresholded_descriptor(a.onset);
    }
    weigh(false);
}

void OnsetDetector::finish()
{
    weigh(true);
}

void OnsetDetector::weigh(bool all)
{
    const double hopSeconds = double(m_aubio->hop->length) / m_aubio->rate;
    const auto span = [&](double from, double to) {
        const auto hop = [&](double seconds) {
            return std::clamp<std::ptrdiff_t>(std::ptrdiff_t(std::floor(seconds / hopSeconds)), 0,
                                               std::ptrdiff_t(m_energy.size()));
        };
        return std::pair(m_energy.begin() + hop(from), m_energy.begin() + hop(to));
    };
    const auto mean = [&](double from, double to) {
        const auto [first, last] = span(from, to);
        return first < last ? std::accumulate(first, last, 0.0) / double(last - first) : 0.0;
    };
    std::size_t done = 0;
    for (; done < m_pending.size(); ++done) {
        Onset o = m_pending[done];
        const double t = o.time;
        if (!all && (t + RiseAfter.second) / hopSeconds > double(m_energy.size()))
            break;
        const double sustain = mean(t + Held.first, t + Held.second) / (mean(t + Hit.first, t + Hit.second) + Silence);
        if (sustain < MinSustain)
            continue; // a hit that dies away: a drum, not a voice
        const double rise =
            mean(t + RiseAfter.first, t + RiseAfter.second) / (mean(t + Background.first, t + Background.second) + Silence);
        o.strength = float(rise * std::min(sustain, MaxSustainWeight));
        m_found.push_back(o);
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + std::ptrdiff_t(done));
}

std::vector<Onset> OnsetDetector::takeOnsets()
{
    return std::exchange(m_found, {});
}

} // namespace tarvelin
