#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace tarvelin {

// A curve sampled every `step` seconds from song time 0: values[i] belongs
// to i * step.
struct Curve {
    double step = 0.010;
    std::vector<float> values;

    bool empty() const { return values.empty(); }
    double duration() const { return double(values.size()) * step; }
    // Linear between samples, 0 outside.
    double at(double seconds) const;
    std::size_t memoryBytes() const { return values.capacity() * sizeof(float); }
};

// What the timing help reads from a song:
// - timing: where sounds start. The log energy of the mid channel
//   ((L + R) / 2) in 150-4000 Hz (a 46 ms Hann window every 10 ms, smoothed
//   over 20 ms), and of that the rise over 30 ms, its positive part,
//   smoothed over 20 ms again. A line starts where this peaks; it keeps the
//   consonants and the attacks that a curve weighted for the voice smears.
// - upperTiming: the same from 400 Hz up. A kick or a bass note at each
//   line's start outweighs a voice's rise in the whole band; here the voice
//   stands out, though the guitars and cymbals of a dense mix do too.
// - activity: where a voice sings, every 40 ms. In 150-4000 Hz each band of
//   43 Hz of the mid channel is weighed by how much of it sits in the centre
//   (|M|² / (|M|² + |S|²), S the side channel (L - R) / 2), then split by
//   median filtering into what holds a pitch (the median over 200 ms) and
//   what is struck (the median over 5 neighbouring bands, 215 Hz); the
//   curve is the log energy of the held part. Drums, panned instruments and
//   noise fall away; sung vowels stay.
struct TimingCurves {
    Curve timing;
    Curve upperTiming;
    Curve activity{0.040, {}};
    // The activity's levels that read as no voice and as a voice singing:
    // its 20th and 90th percentiles over the song.
    float quiet = 0;
    float singing = 0;

    // How much a voice sings in each of `columns` equal columns across
    // [t0, t1), 0..1 (the highest activity in the column between quiet and
    // singing), for a faint band where lines can start; 0 outside the song.
    std::vector<float> voiceBand(double t0, double t1, int columns) const;
    std::size_t memoryBytes() const
    {
        return timing.memoryBytes() + upperTiming.memoryBytes() + activity.memoryBytes();
    }
};

// Where a sound starts, in song seconds (the player's positions), and how
// strongly: the timing curve's value there (see soundStarts()). Drawn as
// ticks in the waveform; the timing help's rules read the curve itself
// (timingrules.h).
struct Onset {
    double time = 0;
    float strength = 0;
    friend bool operator==(const Onset &, const Onset &) = default;
};

// The rise of the timing curve from which a peak is a sound start worth a
// tick: the band's energy grows by 4.3 dB within 30 ms. On real songs that
// is 60-110 starts a minute, the clear ones: about a third of the curve's
// peaks that stand out over their neighbours at all.
inline constexpr float StartRise = 1.0f;

// The timing curve's peaks of at least `minimumRise` that are the highest
// within 50 ms either way (of equal ones, the first), in time order.
std::vector<Onset> soundStarts(const Curve &timing, float minimumRise = StartRise);

// Builds the curves from stereo samples fed in order (interleaved left and
// right), at any rate; the spectra come from FFmpeg's real FFT. About 3 ms
// of work a second of song at 22050 Hz (bench/timing.sh prints it).
class CurveBuilder {
public:
    explicit CurveBuilder(double sampleRate);
    ~CurveBuilder();
    CurveBuilder(const CurveBuilder &) = delete;
    CurveBuilder &operator=(const CurveBuilder &) = delete;

    void process(const float *leftRight, std::size_t count);
    // The signal has ended: the last frames are taken with silence after.
    void finish();
    // How far the curves are complete, in seconds.
    double reached() const;
    // The curves so far (complete after finish()).
    const TimingCurves &curves() const { return m_curves; }
    // Moves them out; the builder is spent.
    TimingCurves take() { return std::move(m_curves); }

private:
    struct State;
    void frame();
    std::unique_ptr<State> m_state;
    TimingCurves m_curves;
};

// The curves of a whole signal at once (tests and benches).
TimingCurves buildCurves(const float *leftRight, std::size_t count, double sampleRate);

} // namespace tarvelin
