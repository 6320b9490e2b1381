#include "analysis/wordalign.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <vector>

namespace tarvelin {

namespace {

constexpr double MinSyllableSeconds = 0.08; // nobody sings two syllables closer
// A syllable inside a line lasts at most this many times the song's pace
// (only the last one is held longer): a loud onset far on is a later word,
// an accent or the accompaniment. Measured on real songs, 3.5 did best;
// shorter caps cut real held notes.
constexpr double MaxSyllablePaces = 3.5;
constexpr double PullWeight = 2.0;          // against onset values scaled to 0..1
constexpr double EndPrior = 0.85;           // share of the span usually sung
constexpr double EndPriorWidth = 0.12;      // at EndPrior; narrower in proportion below it
constexpr double EndWeight = 1.0;
constexpr double LowestShare = 0.1;         // the earliest end searched, of the span
constexpr double ShareStep = 0.02;
// A line takes at most this much longer than the song's pace gives it
// before the singing stops (the rest of a longer span is a break).
constexpr double PaceRoom = 1.4;
// The voice: above VoiceLevel (between the song's quiet and singing levels)
// a frame reads as sung; each share of the span heard sung before the end,
// or not sung after it, is worth VoiceWeight.
constexpr double VoiceLevel = 0.5;
constexpr double VoiceWeight = 3.0;

struct Placement {
    double score = -std::numeric_limits<double>::infinity();
    std::vector<int> frames; // start frame of each syllable, relative to the span
};

// The syllables of a line in order: the unit each belongs to, the weight of
// its onset (double for a word's first) and its proportional place (0..1 of
// the sung part, the last syllable sung twice as long).
struct Syllables {
    std::vector<int> unitOf;
    std::vector<double> weight;
    std::vector<double> expected;
    int count() const { return int(unitOf.size()); }
};

Syllables syllablesOf(const QList<int> &syllables, const QList<bool> &wordStarts)
{
    Syllables s;
    for (qsizetype u = 0; u < syllables.size(); ++u) {
        const int n = std::max(syllables[u], 1);
        for (int k = 0; k < n; ++k) {
            s.unitOf.push_back(int(u));
            s.weight.push_back(k == 0 && (wordStarts.isEmpty() || wordStarts.value(u)) ? 2.0 : 1.0);
        }
    }
    const double total = s.count() + 1.0;
    for (int k = 0; k < s.count(); ++k)
        s.expected.push_back(k / total);
    return s;
}

// The span's onsets (`span` frames of the timing curve from startMs), scaled
// so the strongest rise is 1.
std::vector<float> spanOnsets(const Curve &timing, qint64 startMs, int span)
{
    const auto first = qsizetype(std::floor(startMs / (timing.step * 1000.0)));
    std::vector<float> onset(std::size_t(span), 0.0f);
    for (int t = 0; t < span; ++t) {
        const qsizetype i = first + t;
        if (i >= 0 && i < qsizetype(timing.values.size()))
            onset[std::size_t(t)] = std::max(timing.values[std::size_t(i)], 0.0f);
    }
    const float peak = *std::max_element(onset.begin(), onset.end());
    if (peak > 0) {
        for (float &v : onset)
            v /= peak;
    }
    return onset;
}

// How much each end frame (0..span) agrees with the voice: the shares of the
// span sung before it less those sung after it count for it. All zero
// without a voice curve.
std::vector<double> voiceFit(const TimingCurves &curves, qint64 startMs, int span, double hop)
{
    std::vector<double> fit(std::size_t(span) + 1, 0.0);
    const Curve &a = curves.activity;
    if (a.empty() || a.step <= 0 || !(curves.singing > curves.quiet))
        return fit;
    for (int t = 0; t < span; ++t) {
        const auto i = qsizetype(std::floor((startMs / 1000.0 + (t + 0.5) * hop) / a.step));
        const float level = i >= 0 && i < qsizetype(a.values.size()) ? a.values[std::size_t(i)] : curves.quiet;
        const double sung = std::clamp((level - curves.quiet) / (curves.singing - curves.quiet), 0.0f, 1.0f);
        fit[std::size_t(t) + 1] = fit[std::size_t(t)] + (sung - VoiceLevel) / span;
    }
    return fit;
}

// Best syllable starts for singing that ends at frame `end` (relative to the
// span's start, which the first syllable keeps): a dynamic programme over
// (syllable, frame) where each syllable earns the curve at its frame times
// its weight and pays for its distance from its proportional place, and
// starts minGap to maxGap frames after the one before (0: no upper bound).
Placement place(const std::vector<float> &onset, int end, const Syllables &syllables, int minGap, int maxGap)
{
    const int count = syllables.count();
    Placement best;
    if (end < (count - 1) * minGap + 1)
        return best;
    const double length = end;
    const double inf = -std::numeric_limits<double>::infinity();
    std::vector<std::vector<double>> score(count, std::vector<double>(end, inf));
    std::vector<std::vector<int>> from(count, std::vector<int>(end, -1));
    score[0][0] = 0;
    for (int k = 1; k < count; ++k) {
        // The best previous start from maxGap to minGap frames back: a
        // window maximum kept in a queue of candidates, best first.
        std::deque<int> window;
        for (int t = k * minGap; t < end; ++t) {
            const int prev = t - minGap;
            if (score[k - 1][prev] > inf) {
                while (!window.empty() && score[k - 1][window.back()] < score[k - 1][prev])
                    window.pop_back();
                window.push_back(prev);
            }
            while (maxGap > 0 && !window.empty() && window.front() < t - maxGap)
                window.pop_front();
            if (window.empty())
                continue;
            const double runBest = score[k - 1][window.front()];
            const int runArg = window.front();
            const double offPlace = (t - syllables.expected[k] * length) / length;
            score[k][t] = runBest + syllables.weight[k] * onset[t] - PullWeight * offPlace * offPlace;
            from[k][t] = runArg;
        }
    }
    // The last syllable must leave room to be sung before the end.
    const int lastFrom = std::max((count - 1) * minGap, 0);
    const int lastTo = count == 1 ? 1 : end - minGap + 1;
    for (int t = lastFrom; t < std::max(lastTo, lastFrom + 1) && t < end; ++t) {
        if (score[count - 1][t] > best.score) {
            best.score = score[count - 1][t];
            best.frames.assign(count, 0);
            best.frames[count - 1] = t;
        }
    }
    if (best.frames.empty())
        return best;
    for (int k = count - 1; k > 0; --k)
        best.frames[k - 1] = from[k][best.frames[k]];
    return best;
}

// Where the singing most likely ends, as a share of the span: usually
// EndPrior, earlier when the song's pace sings the line in less.
double usualEnd(double spanSeconds, int syllables, double pace)
{
    if (pace <= 0)
        return EndPrior;
    return std::clamp(PaceRoom * pace * (syllables + 1) / spanSeconds, LowestShare, EndPrior);
}

struct Choice {
    Placement placement;
    int end = 0;
};

// The best placement over where the singing may end (LowestShare to all of
// the span), each end scored by its placement, how far its share is from
// the usual one, and how well it agrees with the voice.
Choice chooseEnd(const std::vector<float> &onset, const std::vector<double> &voice, const Syllables &syllables,
                 double usual, int minGap, int maxGap)
{
    const int span = int(onset.size());
    const double width = EndPriorWidth * usual / EndPrior;
    Choice best;
    const int steps = int(std::lround((1.0 - LowestShare) / ShareStep));
    for (int step = 0; step <= steps; ++step) {
        const double share = LowestShare + step * ShareStep;
        const int end = std::clamp(int(std::lround(span * share)), 1, span);
        Placement p = place(onset, end, syllables, minGap, maxGap);
        if (p.frames.empty())
            continue;
        const double off = (share - usual) / width;
        p.score += -EndWeight * off * off + VoiceWeight * voice[std::size_t(end)];
        if (p.score > best.placement.score) {
            best.placement = std::move(p);
            best.end = end;
        }
    }
    if (best.placement.frames.empty()) { // too many syllables for the span: spread them evenly
        for (int k = 0; k < syllables.count(); ++k)
            best.placement.frames.push_back(int(syllables.expected[std::size_t(k)] * span));
        best.end = span;
    }
    return best;
}

} // namespace

double typicalSyllableSeconds(const QList<qint64> &spansMs, const QList<int> &syllables)
{
    std::vector<double> paces;
    for (qsizetype i = 0; i < spansMs.size() && i < syllables.size(); ++i) {
        if (spansMs[i] > 0)
            paces.push_back(spansMs[i] / 1000.0 / (std::max(syllables[i], 1) + 1));
    }
    if (paces.empty())
        return 0;
    const auto mid = paces.begin() + std::ptrdiff_t(paces.size() / 2);
    std::nth_element(paces.begin(), mid, paces.end());
    return *mid;
}

WordTimes alignWords(const TimingCurves &curves, qint64 startMs, qint64 endMs, const QList<int> &syllables,
                     double pace, const QList<bool> &wordStarts)
{
    WordTimes result;
    const double hop = curves.timing.step;
    if (syllables.isEmpty() || endMs <= startMs || hop <= 0)
        return result;

    const Syllables plan = syllablesOf(syllables, wordStarts);
    const double hopMs = hop * 1000.0;
    const int span = std::max(1, int(std::ceil((endMs - startMs) / hopMs)));
    const int minGap = std::max(1, int(std::lround(MinSyllableSeconds / hop)));
    const int maxGap = pace > 0 ? std::max(minGap + 1, int(std::lround(MaxSyllablePaces * pace / hop))) : 0;
    const double usual = usualEnd((endMs - startMs) / 1000.0, plan.count(), pace);
    const Choice best = chooseEnd(spanOnsets(curves.timing, startMs, span), voiceFit(curves, startMs, span, hop), plan,
                                  usual, minGap, maxGap);

    const auto toMs = [&](int frame) { return std::clamp<qint64>(startMs + qint64(std::lround(frame * hopMs)), startMs, endMs); };
    result.starts.reserve(syllables.size());
    for (int k = 0; k < plan.count(); ++k) {
        if (k == 0 || plan.unitOf[std::size_t(k)] != plan.unitOf[std::size_t(k) - 1])
            result.starts.append(toMs(best.placement.frames[std::size_t(k)]));
    }
    result.starts.first() = startMs;
    result.endMs = toMs(best.end);
    return result;
}

} // namespace tarvelin
