#include "analysis/timingrules.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace tarvelin {

namespace {

constexpr double DelayStep = 0.005;
// A curve value below this is no sound start at all (a rise of 0.1 % in
// log energy): keeps ratios of near-silence finite.
constexpr double Tiny = 1e-3;
// How far around a point the alignment looks for what is "clear" there.
constexpr double AlignLocal = 1.0;

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    const auto mid = v.begin() + std::ptrdiff_t(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

bool isLocalMax(const std::vector<double> &score, std::size_t i)
{
    return (i == 0 || score[i] >= score[i - 1]) && (i + 1 == score.size() || score[i] >= score[i + 1]);
}

// A best cell of a score over a grid, and the highest local maximum at
// least `gap` cells away from it within cells [from, to]; how far both
// stand above the median.
struct Peaks {
    std::size_t best = 0;
    std::size_t rival = 0;
    double contrast = 0;
    double rivalShare = 0;
};
Peaks peaksAround(const std::vector<double> &score, std::size_t best, std::size_t gap, std::size_t from,
                  std::size_t to)
{
    Peaks p;
    p.best = best;
    const double base = median(score);
    const double top = score[best];
    double rival = base;
    for (std::size_t i = from; i <= to && i < score.size(); ++i) {
        const std::size_t d = i > best ? i - best : best - i;
        if (d >= gap && isLocalMax(score, i) && score[i] > rival) {
            rival = score[i];
            p.rival = i;
        }
    }
    p.contrast = top > 0 ? (top - base) / top : 0;
    p.rivalShare = top > base ? (rival - base) / (top - base) : 1;
    return p;
}

// The highest cell, its rivals `from` cells or more into the grid.
Peaks findPeaks(const std::vector<double> &score, std::size_t gap, std::size_t from = 0)
{
    if (score.empty())
        return {};
    const auto best = std::size_t(std::max_element(score.begin(), score.end()) - score.begin());
    return peaksAround(score, best, gap, from, score.size() - 1);
}

// The curve's highest point in [from, to] (at its frames, refined between
// them by a parabola), or nothing when the range holds no frame.
std::optional<std::pair<double, double>> highest(const Curve &c, double from, double to)
{
    const auto n = std::ptrdiff_t(c.values.size());
    const auto first = std::max<std::ptrdiff_t>(0, std::ptrdiff_t(std::ceil(from / c.step - 1e-9)));
    const auto last = std::min<std::ptrdiff_t>(n - 1, std::ptrdiff_t(std::floor(to / c.step + 1e-9)));
    if (first > last)
        return std::nullopt;
    std::ptrdiff_t best = first;
    for (std::ptrdiff_t i = first; i <= last; ++i) {
        if (c.values[std::size_t(i)] > c.values[std::size_t(best)])
            best = i;
    }
    double t = double(best) * c.step;
    const double y = c.values[std::size_t(best)];
    if (best > 0 && best + 1 < n) {
        const double a = c.values[std::size_t(best - 1)], b = c.values[std::size_t(best + 1)];
        const double den = a - 2 * y + b;
        if (den < 0)
            t += std::clamp(0.5 * (a - b) / den, -0.5, 0.5) * c.step;
    }
    return std::pair(t, y);
}

// The highest the curve reaches in [from, to] at its frames (0 if none).
double maxIn(const Curve &c, double from, double to)
{
    const auto h = highest(c, from, to);
    return h ? h->second : 0.0;
}

// The running maximum of `v` over a window of 2 * half + 1 cells.
std::vector<float> runningMax(const std::vector<float> &v, std::size_t half)
{
    std::vector<float> out(v.size());
    std::deque<std::size_t> q;
    const std::size_t n = v.size();
    std::size_t next = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t hi = std::min(n - 1, i + half);
        for (; next <= hi; ++next) {
            while (!q.empty() && v[q.back()] <= v[next])
                q.pop_back();
            q.push_back(next);
        }
        while (q.front() + half < i)
            q.pop_front();
        out[i] = v[q.front()];
    }
    return out;
}

// The curve averaged over `spread` either side of each frame: a press's own
// scatter around the user's delay.
Curve spreadOver(const Curve &timing, double spread)
{
    const auto half = std::ptrdiff_t(std::max(0L, std::lround(spread / timing.step)));
    const auto n = std::ptrdiff_t(timing.values.size());
    Curve out;
    out.step = timing.step;
    out.values.resize(timing.values.size());
    double sum = 0;
    for (std::ptrdiff_t i = -half; i < n + half; ++i) {
        if (i + half < n)
            sum += timing.values[std::size_t(i + half)];
        if (i >= 0 && i < n)
            out.values[std::size_t(i)] = float(sum / double(2 * half + 1));
        if (i - half >= 0)
            sum -= timing.values[std::size_t(i - half)];
    }
    return out;
}

// For each lag in [0, DelayMax] (DelayStep apart), how well the tags moved
// back by it fall on sound starts, on the curve spread over the presses'
// scatter: the lag then lands where most of the starts fall, not on
// whichever line's spike happens to sit at one exact lag.
std::vector<double> lagScores(std::span<const double> tags, const Curve &spread)
{
    const std::size_t lags = std::size_t(std::lround(DelayMax / DelayStep)) + 1;
    std::vector<double> score(lags, 0.0);
    for (double tag : tags)
        for (std::size_t k = 0; k < lags; ++k)
            score[k] += spread.at(tag - double(k) * DelayStep);
    return score;
}

// How far the best lag's score stands above the median lag's.
double excessOf(const std::vector<double> &score)
{
    return *std::max_element(score.begin(), score.end()) - median(score);
}

// A number in [0, 1) from two counters, the same on every run and machine.
double scrambled(std::uint64_t a, std::uint64_t b)
{
    std::uint64_t z = a * 0x9E3779B97F4A7C15ULL + b + 0x632BE59BD9B4E019ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return double(z >> 11) * 0x1.0p-53;
}

// How many standard deviations the tags' best excess stands above what the
// same tags find when each is moved on its own to somewhere else nearby
// (DelayChanceNear to DelayChanceFar either way): tags that do not follow
// the sound. A song's loud hits make one lag stand out by chance often,
// however many lines there are; that chance is measured on this song and
// these tags, not guessed.
double chanceMargin(std::span<const double> tags, const Curve &spread, double excess)
{
    std::vector<double> moved(tags.begin(), tags.end());
    std::vector<double> chance(DelayChanceDraws);
    for (int m = 0; m < DelayChanceDraws; ++m) {
        for (std::size_t i = 0; i < tags.size(); ++i) {
            // u below one half moves the tag back, above it forward; where
            // u lies within its half gives how far.
            const double u = scrambled(std::uint64_t(m), i);
            const double by = DelayChanceNear + (DelayChanceFar - DelayChanceNear) * (2 * u - std::floor(2 * u));
            moved[i] = tags[i] + (u < 0.5 ? -by : by);
        }
        chance[std::size_t(m)] = excessOf(lagScores(moved, spread));
    }
    double mean = 0;
    for (double c : chance)
        mean += c;
    mean /= DelayChanceDraws;
    double var = 0;
    for (double c : chance)
        var += (c - mean) * (c - mean);
    const double sd = std::sqrt(var / DelayChanceDraws);
    return (excess - mean) / std::max(sd, 1e-12);
}

} // namespace

TimingRuleSettings &timingRuleSettings()
{
    static TimingRuleSettings settings;
    return settings;
}

DelayEstimate estimateDelay(std::span<const double> tags, const Curve &timing)
{
    const TimingRuleSettings &s = timingRuleSettings();
    DelayEstimate e;
    e.lines = int(tags.size());
    if (e.lines < DelayMinLines || timing.empty())
        return e;
    const Curve spread = spreadOver(timing, s.delaySpread);
    const std::vector<double> score = lagScores(tags, spread);
    const std::size_t lags = score.size();
    const auto cell = [](double lag) { return std::size_t(std::lround(lag / DelayStep)); };
    const std::size_t gap = cell(s.delayRivalGap);
    Peaks p = findPeaks(score, gap, cell(s.delayRivalMin));
    // A best lag no one presses with (a band's hit just after each line, a
    // kick well before it) does not rule out a reaction: a peak at a lag
    // typical of one, at least delayPlausibleShare of the best's height
    // over the typical lag, is read instead, with only the plausible lags
    // for its rivals and its weight.
    const double base = median(score);
    std::size_t from = 0, to = lags - 1;
    const std::size_t lo = cell(s.delayMinPlausible), hi = std::min(cell(s.delayMaxPlausible), lags - 1);
    if (p.best < lo || p.best > hi) {
        std::optional<std::size_t> inside;
        for (std::size_t k = cell(s.delayTypicalMin); k <= std::min(cell(s.delayTypicalMax), lags - 1); ++k)
            if (isLocalMax(score, k) && (!inside || score[k] > score[*inside]))
                inside = k;
        if (inside && score[*inside] - base >= s.delayPlausibleShare * (score[p.best] - base)) {
            p = peaksAround(score, *inside, gap, lo, hi);
            from = lo;
            to = hi;
        }
    }
    // The delay is where the best lag's peak has its weight (its excess
    // over the typical lag, within DelayCentroidReach): the presses' mean,
    // which the peak's top (flat when their spread fits in the mean
    // above) only bounds.
    const std::size_t reach = cell(DelayCentroidReach);
    double weight = 0, sum = 0;
    for (std::size_t k = std::max(from, p.best - std::min(p.best, reach)); k <= std::min(to, p.best + reach); ++k) {
        const double w = std::max(0.0, score[k] - base);
        weight += w;
        sum += w * double(k) * DelayStep;
    }
    e.delay = weight > 0 ? sum / weight : double(p.best) * DelayStep;
    e.contrast = p.contrast;
    e.rival = p.rivalShare;
    e.rivalDelay = double(p.rival) * DelayStep;
    e.chanceMargin = chanceMargin(tags, spread, excessOf(score));
    if (e.contrast < s.delayMinContrast || e.chanceMargin < s.delayMinChanceMargin)
        e.outcome = DelayEstimate::Outcome::Flat;
    else if (e.delay < std::max(s.delayEdge, s.delayMinPlausible) - 1e-9
             || e.delay > std::min(DelayMax - s.delayEdge, s.delayMaxPlausible) + 1e-9)
        e.outcome = DelayEstimate::Outcome::AtEdge;
    else if (e.rival >= s.delayMaxRival)
        e.outcome = DelayEstimate::Outcome::Ambiguous;
    else
        e.outcome = DelayEstimate::Outcome::Clear;
    return e;
}

DelayEstimate estimateDelay(std::span<const double> tags, const TimingCurves &curves)
{
    const DelayEstimate whole = estimateDelay(tags, curves.timing);
    if (whole.outcome == DelayEstimate::Outcome::Clear || whole.outcome == DelayEstimate::Outcome::TooFewLines)
        return whole;
    DelayEstimate upper = estimateDelay(tags, curves.upperTiming);
    if (upper.outcome != DelayEstimate::Outcome::Clear || upper.rival >= timingRuleSettings().delayUpperMaxRival)
        return whole;
    upper.upperBand = true;
    return upper;
}

std::optional<double> snapTime(const Curve &timing, double tag, double delay)
{
    const double centre = tag - delay;
    const TimingRuleSettings &s = timingRuleSettings();
    const bool corrected = delay <= 0;
    const double before = corrected ? s.snapCorrectedBefore : s.snapBefore;
    const double after = corrected ? s.snapCorrectedAfter : s.snapAfter;
    const auto peak = highest(timing, centre - before, centre + after);
    if (!peak || peak->second < Tiny)
        return std::nullopt;
    const double clear = corrected ? s.snapCorrectedClear : s.snapClear;
    if (maxIn(timing, peak->first - clear, peak->first + clear) > peak->second + 1e-12)
        return std::nullopt;
    const double start = std::max(0.0, peak->first + s.snapLead);
    return corrected ? tag + s.snapCorrectedShare * (start - tag) : start;
}

namespace {

// The coarse search for a move: each tag may land up to `spread` off a high
// point of `evidence` (the speed's grid moves the last tag by no more than
// that), offsets on the curve's steps; every offset of one speed at once.
struct CoarseFit {
    double offset = 0;
    double speed = 1;
    double speedStep = 0;
    Peaks peaks;
};
CoarseFit coarseFit(std::span<const double> tags, const Curve &evidence, double spread, double rivalGap)
{
    const double step = evidence.step;
    const std::vector<float> wide = runningMax(evidence.values, std::size_t(std::lround(spread / step)));
    const double last = *std::max_element(tags.begin(), tags.end());
    CoarseFit fit;
    fit.speedStep = std::max(1e-4, 2 * spread / std::max(last, 1.0));
    const int speeds = int(std::ceil((AlignMaxSpeed - AlignMinSpeed) / fit.speedStep)) + 1;
    const auto offsets = std::size_t(std::lround(2 * AlignMaxOffset / step)) + 1;
    const auto n = std::ptrdiff_t(wide.size());
    std::vector<double> best(offsets, -1e30); // over the speeds, for each offset
    std::vector<int> bestSpeed(offsets, 0);
    std::vector<double> score(offsets);
    const auto speedOf = [&](int v) { return AlignMinSpeed + v * (AlignMaxSpeed - AlignMinSpeed) / (speeds - 1); };
    for (int v = 0; v < speeds; ++v) {
        const double speed = speedOf(v);
        std::fill(score.begin(), score.end(), 0.0);
        for (double x : tags) {
            // Step of x * speed - AlignMaxOffset: offset index 0.
            const auto origin = std::ptrdiff_t(std::lround((x * speed - AlignMaxOffset) / step));
            const auto from = std::max<std::ptrdiff_t>(0, -origin);
            const auto to = std::min<std::ptrdiff_t>(std::ptrdiff_t(offsets), n - origin);
            for (std::ptrdiff_t o = from; o < to; ++o)
                score[std::size_t(o)] += wide[std::size_t(origin + o)];
        }
        for (std::size_t o = 0; o < offsets; ++o) {
            if (score[o] > best[o]) {
                best[o] = score[o];
                bestSpeed[o] = v;
            }
        }
    }
    fit.peaks = findPeaks(best, std::size_t(std::lround(rivalGap / step)));
    fit.speed = speedOf(bestSpeed[fit.peaks.best]);
    fit.offset = double(fit.peaks.best) * step - AlignMaxOffset;
    return fit;
}

} // namespace

Curve voiceEntries(const TimingCurves &curves)
{
    const Curve &a = curves.activity;
    Curve out{a.step, {}};
    if (a.empty() || !(curves.singing > curves.quiet))
        return out;
    const auto reach = std::ptrdiff_t(std::lround(0.4 / a.step));
    const auto n = std::ptrdiff_t(a.values.size());
    // Sums of the activity between quiet (0) and singing (1), from the start.
    std::vector<double> sums(std::size_t(n) + 1, 0.0);
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        const float level = (a.values[std::size_t(i)] - curves.quiet) / (curves.singing - curves.quiet);
        sums[std::size_t(i) + 1] = sums[std::size_t(i)] + std::clamp(level, 0.0f, 1.0f);
    }
    const auto mean = [&](std::ptrdiff_t from, std::ptrdiff_t to) { // [from, to), within the song
        from = std::clamp<std::ptrdiff_t>(from, 0, n);
        to = std::clamp<std::ptrdiff_t>(to, 0, n);
        return to > from ? (sums[std::size_t(to)] - sums[std::size_t(from)]) / double(to - from) : 0.0;
    };
    out.values.resize(std::size_t(n));
    for (std::ptrdiff_t i = 0; i < n; ++i)
        out.values[std::size_t(i)] = float(mean(i + 1, i + 1 + reach) - mean(i - reach, i));
    return out;
}

Alignment fitAlignment(std::span<const double> tags, const Curve &timing, const Curve &voice)
{
    const TimingRuleSettings &s = timingRuleSettings();
    Alignment a;
    a.lines = int(tags.size());
    if (a.lines < AlignMinLines || timing.empty())
        return a;
    // How clear a start each point is: the curve over the highest it
    // reaches within AlignLocal, 0..1.
    const double step = timing.step;
    const auto local = runningMax(timing.values, std::size_t(std::lround(AlignLocal / step)));
    Curve clear{step, std::vector<float>(timing.values.size())};
    for (std::size_t i = 0; i < clear.values.size(); ++i)
        clear.values[i] = timing.values[i] / std::max(local[i], float(Tiny));
    constexpr double Spread = 0.040;
    const CoarseFit coarse = coarseFit(tags, clear, Spread, s.alignRivalGap);
    a.contrast = coarse.peaks.contrast;
    a.rival = coarse.peaks.rivalShare;
    double speed = coarse.speed;
    double offset = coarse.offset;
    // Fine: around the coarse best, on the curve itself.
    const double last = *std::max_element(tags.begin(), tags.end());
    const double first = *std::min_element(tags.begin(), tags.end());
    double top = -1;
    const double fineSpeed = std::max(1e-5, 0.004 / std::max(last, 1.0));
    for (double sp = coarse.speed - coarse.speedStep; sp <= coarse.speed + coarse.speedStep + 1e-12; sp += fineSpeed) {
        for (double off = coarse.offset - 2 * Spread; off <= coarse.offset + 2 * Spread + 1e-12; off += 0.002) {
            double sum = 0;
            for (double x : tags)
                sum += clear.at(x * sp + off);
            if (sum > top) {
                top = sum;
                speed = sp;
                offset = off;
            }
        }
    }
    a.speed = std::clamp(speed, AlignMinSpeed, AlignMaxSpeed);
    a.offset = std::clamp(offset, -AlignMaxOffset, AlignMaxOffset);
    if (a.contrast >= s.alignMinContrast && a.rival >= s.alignMaxRival && !voice.empty()) {
        const CoarseFit entries = coarseFit(tags, voice, Spread, s.alignRivalGap);
        const auto apart = [&](double x) { return std::abs(a.map(x) - (x * entries.speed + entries.offset)); };
        a.voiceAgrees = entries.peaks.contrast >= s.alignMinContrast && apart(first) <= AlignAgree
                        && apart(last) <= AlignAgree;
    }
    if (a.contrast < s.alignMinContrast)
        a.outcome = Alignment::Outcome::Flat;
    else if (a.rival >= s.alignMaxRival && !a.voiceAgrees)
        a.outcome = Alignment::Outcome::Ambiguous;
    else
        a.outcome = Alignment::Outcome::Clear;
    return a;
}

} // namespace tarvelin
