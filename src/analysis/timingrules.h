#pragma once

#include "analysis/timingcurves.h"

#include <optional>
#include <span>

namespace tarvelin {

// The timing help's rules, on a song's timing curve (TimingCurves::timing:
// where sounds start, high where a line can begin). All times are song
// seconds; tags are the lyric lines' first tags.

// --- The user's reaction delay ------------------------------------------------
// One delay for all taps at once: the lag in [0, DelayMax] (5 ms steps) at
// which the taps, moved back by it, fall on sound starts the most. Each
// line adds the curve around (tap - lag), averaged over DelaySpread either
// side (a press's own scatter), and no line has to agree: a line whose
// nearest onset is an instrument adds a little everywhere, the lines that
// hear the voice add up at one lag.
inline constexpr double DelayMax = 0.400;
// Presses of one user scatter about ±40 ms around their mean delay.
inline constexpr double DelaySpread = 0.040;
// The delay is the weighted middle of the best lag's peak, this far either
// side: the mean of the presses, not just the lag most of them agree on.
inline constexpr double DelayCentroidReach = 0.080;
inline constexpr int DelayMinLines = 5;
// What chance alone gives is measured on the song: the same tags, each moved
// on its own by DelayChanceNear to DelayChanceFar either way (off the line,
// though within the same stretch of the song), DelayChanceDraws times.
inline constexpr int DelayChanceDraws = 40;
inline constexpr double DelayChanceNear = 0.3;
inline constexpr double DelayChanceFar = 2.0;

struct DelayEstimate {
    enum class Outcome {
        Clear,       // delay holds the estimate
        TooFewLines, // fewer than DelayMinLines tags
        AtEdge,      // the best lag is no plausible reaction, and no peak at a typical one stands out
        Ambiguous,   // another lag fits nearly as well (a beat, a bar)
        Flat,        // no lag stands out, or no more than by chance: the tags do not follow the sound
    };
    Outcome outcome = Outcome::TooFewLines;
    double delay = 0;       // seconds, + when the presses came late
    int lines = 0;          // tags used
    double contrast = 0;    // how far the best lag stands above the typical one, 0..1
    double rival = 0;       // the next best separate lag's height over the best's, 0..1
    double rivalDelay = 0;
    // How far the best lag stands out, in standard deviations above what
    // the same tags moved off their lines find (see DelayChanceDraws).
    double chanceMargin = 0;
    bool upperBand = false; // read from TimingCurves::upperTiming
};
DelayEstimate estimateDelay(std::span<const double> tags, const Curve &timing);
// On a song: from its whole band's timing curve, and when that gives no
// clear delay, from the upper band's (a kick or a bass note at each line
// can hide the voice's rise in the whole band, not there). A refusal says
// why the whole band gave none. The whole band comes first: in a dense mix
// the upper band's guitars and cymbals mislead more often.
DelayEstimate estimateDelay(std::span<const double> tags, const TimingCurves &curves);

// --- Snapping a tag -----------------------------------------------------------
// Where a tag at `tag` goes when the user is known to press `delay` late:
// the highest point of the curve from SnapBefore before (tag - delay) to
// SnapAfter after it, if nothing within SnapClear of that point rises
// higher (a start that stands out from what is around it, not the shoulder
// of a bigger one just out of reach); else nothing (the tag stays). A
// fresh tap is a whole reaction late, so any start that stands out there is
// nearer the line's start than the tap. A tag whose delay is already taken
// out (`delay` 0, after 校正反应延迟) is off only by the scatter of one
// press: it looks no further than SnapCorrectedBefore /
// SnapCorrectedAfter, only at the strongest start within
// SnapCorrectedClear (a wider reach, or a weaker start, is mostly the
// instrument beside the voice, which would make the tag worse), and goes
// SnapCorrectedShare of the way there. Such a tag and the start are two
// readings of one moment with errors of much the same size (a press's
// scatter, and how far the voice sits from the curve's peak); the point
// between them, nearer the start, is off less than either.
inline constexpr double SnapBefore = 0.150;
inline constexpr double SnapAfter = 0.080;
inline constexpr double SnapClear = 0.100;
inline constexpr double SnapCorrectedBefore = 0.080;
inline constexpr double SnapCorrectedAfter = 0.040;
inline constexpr double SnapCorrectedClear = 0.500;
inline constexpr double SnapCorrectedShare = 0.6;
// What people's delay is when nothing better is known (150-250 ms).
inline constexpr double TypicalDelay = 0.180;
std::optional<double> snapTime(const Curve &timing, double tag, double delay = 0);

// --- Moving a tagged text onto this recording ---------------------------------
// The one offset (|offset| <= AlignMaxOffset) and speed (AlignMinSpeed ..
// AlignMaxSpeed) that put the text's tags x on song times x * speed + offset
// where the most lines start on a clear sound start.
inline constexpr double AlignMaxOffset = 30.0;
inline constexpr double AlignMinSpeed = 0.95;
inline constexpr double AlignMaxSpeed = 1.05;
inline constexpr int AlignMinLines = 5;

// Where a voice comes in: how much more it sings over the next 0.4 s than
// over the 0.4 s before (the activity between the song's quiet and singing
// levels), -1..1, on the activity's steps. Empty without an activity.
Curve voiceEntries(const TimingCurves &curves);

struct Alignment {
    enum class Outcome {
        Clear,
        TooFewLines, // fewer than AlignMinLines tags
        Ambiguous,   // a different move fits nearly as well
        Flat,        // no move stands out
    };
    Outcome outcome = Outcome::TooFewLines;
    double offset = 0; // seconds
    double speed = 1;
    int lines = 0;
    double contrast = 0; // as DelayEstimate's
    double rival = 0;
    bool voiceAgrees = false; // the voice's entries pick the same move
    double map(double x) const { return x * speed + offset; }
};
// A best move that another one (a verse or a bar later) fits nearly as well
// still counts as clear when the voice's entries (voiceEntries(), if given)
// on their own pick the same move: both put every line within AlignAgree of
// the same place. Sound starts and where singing begins are two separate
// readings; on real songs they agreed on no wrong move.
inline constexpr double AlignAgree = 0.100;
Alignment fitAlignment(std::span<const double> tags, const Curve &timing, const Curve &voiceEntries = {});

// The thresholds of the rules above; the defaults are what the program uses
// (tuned on real songs with bench/timing.sh). Benches change them to
// measure the alternatives.
struct TimingRuleSettings {
    // AtEdge outside these too: a lag this short or this long is more
    // likely the beat next to the voice, or the second syllable of the
    // line, than a reaction (people press 150-250 ms late). In thousands
    // of simulated presses on real and generated songs, the lags found
    // below 140 ms were mostly such a sound, 60-70 ms short of the
    // presses' delay.
    double delayMinPlausible = 0.140;
    double delayMaxPlausible = 0.300;
    // A peak at a lag under this is the sound the key was pressed on, which
    // no one reacts to that fast: it is no rival. Peaks at other lags
    // outside the plausible ones still are: when the plausible lags lie
    // between two peaks, neither may be the voice.
    double delayRivalMin = 0.060;
    // When the best lag is not plausible, the highest peak between these
    // (where most people's delay lies) is read instead if it is at least
    // delayPlausibleShare of the best's height. A wider range let a kick
    // before each line pass for the delay (at 280-290 ms).
    double delayTypicalMin = 0.150;
    double delayTypicalMax = 0.250;
    double delayPlausibleShare = 0.4;
    // Flat below either. By contrast alone, taps that follow nothing (each
    // moved 0.3-1 s off its line) pass on real songs as often as one time
    // in three: a few loud hits near a few taps make one lag stand out.
    // Against what chance gives on the same song, one in six still does,
    // and the presses that do follow the voice lose almost nothing.
    double delayMinContrast = 0.15;
    double delayMinChanceMargin = 0.75;
    double delayMaxRival = 0.75;    // Ambiguous at or above
    // The upper band is a second look, taken only when the whole band gave
    // no delay; two looks find a chance peak more often than one, so its
    // rival must stay lower.
    double delayUpperMaxRival = 0.6;
    double delayEdge = 0.015;       // AtEdge within this of 0 or DelayMax
    double delayRivalGap = 0.060;   // a rival lag is this far from the best at least
    double delaySpread = DelaySpread;
    double snapClear = SnapClear;
    double snapCorrectedClear = SnapCorrectedClear;
    double snapBefore = SnapBefore;
    double snapAfter = SnapAfter;
    double snapCorrectedBefore = SnapCorrectedBefore;
    double snapCorrectedAfter = SnapCorrectedAfter;
    double snapCorrectedShare = SnapCorrectedShare;
    double snapLead = 0.015;         // the curve peaks this much before a start (half its rise)
    double alignMinContrast = 0.25;
    double alignMaxRival = 0.70;
    double alignRivalGap = 0.5;     // seconds of offset between best and rival
};
TimingRuleSettings &timingRuleSettings();

} // namespace tarvelin
