#include "analysis/wordalign.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace tarvelin {

namespace {

constexpr double MinSyllableSeconds = 0.08; // nobody sings two syllables closer
constexpr double PullWeight = 2.0;          // against onset values scaled to 0..1
constexpr double EndPrior = 0.85;           // share of the span usually sung
constexpr double EndPriorWidth = 0.12;
constexpr double EndWeight = 1.0;

struct Placement {
    double score = -std::numeric_limits<double>::infinity();
    std::vector<int> frames; // start frame of each syllable, relative to the span
};

// Best syllable starts for singing that ends at frame `end` (relative to the
// span's start, which the first syllable keeps): a dynamic programme over
// (syllable, frame) where each syllable earns the curve at its frame times
// its weight and pays for its distance from its proportional place.
Placement place(const std::vector<float> &onset, int end, const std::vector<double> &expected,
                const std::vector<double> &weight, int minGap)
{
    const int count = int(expected.size());
    Placement best;
    if (end < (count - 1) * minGap + 1)
        return best;
    const double length = end;
    const double inf = -std::numeric_limits<double>::infinity();
    std::vector<std::vector<double>> score(count, std::vector<double>(end, inf));
    std::vector<std::vector<int>> from(count, std::vector<int>(end, -1));
    score[0][0] = 0;
    for (int k = 1; k < count; ++k) {
        double runBest = inf;
        int runArg = -1;
        for (int t = k * minGap; t < end; ++t) {
            const int prev = t - minGap;
            if (score[k - 1][prev] > runBest) {
                runBest = score[k - 1][prev];
                runArg = prev;
            }
            if (runArg < 0)
                continue;
            const double offPlace = (t - expected[k] * length) / length;
            score[k][t] = runBest + weight[k] * onset[t] - PullWeight * offPlace * offPlace;
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

} // namespace

WordTimes alignWords(const WordCurve &curve, qint64 startMs, qint64 endMs, const QList<int> &syllables,
                     const QList<bool> &wordStarts)
{
    WordTimes result;
    if (syllables.isEmpty() || endMs <= startMs || curve.hop <= 0)
        return result;

    // Syllables: where each begins its unit, its weight, its proportional place.
    std::vector<int> unitOf;
    std::vector<double> weight;
    for (qsizetype u = 0; u < syllables.size(); ++u) {
        const int n = std::max(syllables[u], 1);
        for (int s = 0; s < n; ++s) {
            unitOf.push_back(int(u));
            weight.push_back(s == 0 && (wordStarts.isEmpty() || wordStarts.value(u)) ? 2.0 : 1.0);
        }
    }
    const int count = int(unitOf.size());
    std::vector<double> expected(count);
    const double total = count + 1.0; // the last syllable lasts twice as long
    for (int k = 0; k < count; ++k)
        expected[k] = k / total;

    // The span's curve, scaled so its strongest rise is 1.
    const double hopMs = curve.hop * 1000.0;
    const int first = int(std::floor(startMs / hopMs));
    const int span = std::max(1, int(std::ceil((endMs - startMs) / hopMs)));
    std::vector<float> onset(span, 0.0f);
    for (int t = 0; t < span; ++t) {
        const qsizetype i = first + t;
        if (i >= 0 && i < qsizetype(curve.values.size()))
            onset[t] = std::max(curve.values[i], 0.0f);
    }
    const float peak = *std::max_element(onset.begin(), onset.end());
    if (peak > 0)
        for (float &v : onset)
            v /= peak;

    const int minGap = std::max(1, int(std::lround(MinSyllableSeconds / curve.hop)));
    Placement best;
    int bestEnd = span;
    for (int step = 0; step <= 25; ++step) {
        const double share = 0.5 + step * 0.02;
        const int end = std::max(1, int(std::lround(span * share)));
        Placement p = place(onset, end, expected, weight, minGap);
        if (p.frames.empty())
            continue;
        const double off = (share - EndPrior) / EndPriorWidth;
        p.score -= EndWeight * off * off;
        if (p.score > best.score) {
            best = std::move(p);
            bestEnd = end;
        }
    }
    if (best.frames.empty()) { // too many syllables for the span: spread them evenly
        best.frames.resize(count);
        for (int k = 0; k < count; ++k)
            best.frames[k] = int(expected[k] * span);
        bestEnd = span;
    }

    const auto toMs = [&](int frame) { return std::clamp<qint64>(startMs + qint64(std::lround(frame * hopMs)), startMs, endMs); };
    result.starts.reserve(syllables.size());
    for (int k = 0; k < count; ++k) {
        if (k == 0 || unitOf[k] != unitOf[k - 1])
            result.starts.append(toMs(best.frames[k]));
    }
    result.starts.first() = startMs;
    result.endMs = toMs(bestEnd);
    return result;
}

} // namespace tarvelin
