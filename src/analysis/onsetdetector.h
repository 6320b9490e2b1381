#pragma once

#include "analysis/onsetrules.h"

#include <QByteArray>

#include <cstddef>
#include <memory>
#include <vector>

namespace tarvelin {

// Finds where voices start in a mono signal fed in order, with aubio, on the
// 200-4000 Hz band only: below it sit the kick drum and the bass, above it
// the hi-hats and cymbals, and a detector that hears them fires on every
// beat. The band is cut ahead of the detector by an 8th-order Butterworth
// low-pass (four biquads), after which the signal is kept at half the rate
// (nothing above 4 kHz is looked at, and the filter is 39 dB down where
// anything could fold back into the band), then by a 4th-order high-pass.
//
// Detector settings (for voices rather than drums), at the halved rate:
// - hop 55 samples at 11025 Hz: an onset every 5.0 ms at the finest, the
//   resolution a snapped tag needs (a frame at 60 Hz is 16.7 ms);
// - window 256 samples (23 ms): long enough to resolve a voice's partials at
//   200 Hz, short enough not to blur where it starts;
// - "specflux" with aubio's settings for it (adaptive whitening, log
//   compression, threshold 0.18), 50 ms minimum between onsets. On a
//   generated mix (tones with a 30 ms attack over kick, hi-hat and bass) it
//   put the strongest onset within 15 ms of 5-6 of 12 voice starts with its
//   median error 0 ms; hfc, energy, specdiff and mkl were 3-30 ms late and
//   caught 0-3, complex and phase matched it. The rest were drum hits, which
//   the band-pass weakens but does not remove: each onset is therefore
//   weighed afterwards by whether the sound holds, as a voice does, and how
//   far it rises above what came before (see takeOnsets()).
// Halving the rate halves aubio's work (its phase vocoder takes the phase of
// every bin, which specflux never reads): a 5-minute song takes 0.3 s of one
// core instead of 0.9 s.
class OnsetDetector {
public:
    struct Settings {
        QByteArray method = "specflux";
        int decimation = 2; // keep every n-th filtered sample; 1: all
        int window = 256;   // at the kept rate
        int hop = 55;       // at the kept rate
        double threshold = 0.18;
        double minimumGap = 0.050;  // seconds
        double lowCut = 200;        // Hz; 0: no high-pass
        double highCut = 4000;      // Hz; 0: no low-pass (then no decimation)
    };

    explicit OnsetDetector(double sampleRate);
    OnsetDetector(double sampleRate, const Settings &settings);
    ~OnsetDetector();
    OnsetDetector(const OnsetDetector &) = delete;
    OnsetDetector &operator=(const OnsetDetector &) = delete;

    void process(const float *samples, std::size_t count);
    // The signal has ended: onsets still waiting for what follows them are
    // weighed with what there is.
    void finish();
    // Onsets found since the last call, in time order, weighed as voices
    // (see onsetdetector.cpp): drum hits are dropped, and the strength is how
    // much the band rises and stays up. An onset comes out once a quarter of
    // a second of signal after it is in.
    std::vector<Onset> takeOnsets();

private:
    struct Aubio;
    void weigh(bool all);

    std::unique_ptr<Aubio> m_aubio;
    std::vector<Onset> m_pending; // aubio's, not yet weighed
    std::vector<Onset> m_found;
    std::vector<float> m_energy;  // the band's mean square, one a hop
};

} // namespace tarvelin
