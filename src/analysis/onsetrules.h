#pragma once

#include <optional>
#include <span>

namespace tarvelin {

// Where a sound starts, in song seconds (the player's positions), and how
// much it is a voice starting: how far the voice band rises over what came
// before and holds there (see OnsetDetector), a ratio of energies: 4 is
// 6 dB, 100 is 20 dB.
struct Onset {
    double time = 0;
    float strength = 0;
    friend bool operator==(const Onset &, const Onset &) = default;
};

// Snapping a tag to the sound: the strongest onset from SnapBefore seconds
// before the tag to SnapAfter after it (both ends included; among equally
// strong ones the nearest to the tag), or nothing. `onsets` in any order.
inline constexpr double SnapBefore = 0.250;
inline constexpr double SnapAfter = 0.080;
std::optional<Onset> snapTarget(std::span<const Onset> onsets, double tagTime);

// The user's reaction lag, in song seconds, from the tags already made.
// For each tag, the strongest onset from LagLatest before the tag to
// LagEarliest after it (a press 400 ms late to 150 ms early) gives the
// offset tag - onset. The estimate is the median offset over the tags that
// have such an onset, given at least LagMinLines of them. It is no clear
// lag when the offsets do not gather: when their median distance from the
// median (the median absolute deviation) exceeds LagMaxSpread, i.e. fewer
// than half of them lie within LagMaxSpread of the estimate.
inline constexpr double LagLatest = 0.400;
inline constexpr double LagEarliest = 0.150;
inline constexpr int LagMinLines = 5;
inline constexpr double LagMaxSpread = 0.060;

struct LagEstimate {
    enum class Outcome {
        Clear,      // lag holds the estimate
        TooFewLines,// fewer than LagMinLines tags with an onset near them
        NoClearLag, // the offsets scatter more than LagMaxSpread
    };
    Outcome outcome = Outcome::TooFewLines;
    double lag = 0;    // seconds, + when the presses came late (median offset)
    int lines = 0;     // tags that had an onset near them
    double spread = 0; // median absolute deviation of their offsets, seconds
};

// `tagTimes`: one time for each tagged lyric line, in song seconds.
LagEstimate estimateReactionLag(std::span<const double> tagTimes, std::span<const Onset> onsets);

} // namespace tarvelin
