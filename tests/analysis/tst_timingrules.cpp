// The timing help's rules on hand-built timing curves: the reaction delay
// and its refusals, snapping, and fitting a tagged text onto a song.
#include "analysis/timingrules.h"
#include "../support/datatable.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

using tarvelin::Alignment;
using tarvelin::Curve;
using tarvelin::DelayEstimate;

using Times = std::vector<double>;

namespace {

struct Bump {
    double at, height;
};
using Bumps = std::vector<Bump>;

// A timing curve of `seconds` with a 15 ms wide bump at each time.
Curve curve(double seconds, const std::vector<Bump> &bumps)
{
    Curve c;
    c.values.assign(std::size_t(seconds / c.step), 0.0f);
    for (const Bump &b : bumps) {
        const auto centre = std::ptrdiff_t(std::lround(b.at / c.step));
        const auto last = std::min(centre + 6, std::ptrdiff_t(c.values.size()) - 1);
        for (auto i = std::max<std::ptrdiff_t>(centre - 6, 0); i <= last; ++i) {
            const double d = double(i) * c.step - b.at;
            c.values[std::size_t(i)] += float(b.height * std::exp(-d * d / (2 * 0.015 * 0.015)));
        }
    }
    return c;
}

// Where lines start: irregular, as sung lines are (2.3-4.6 s apart), with a
// 40 s instrumental break after the sixth.
Times lineStarts()
{
    Times t;
    double at = 6.37;
    for (int i = 0; i < 12; ++i) {
        t.push_back(at);
        at += 2.3 + std::fmod(i * 1.37, 2.3) + (i == 5 ? 40 : 0);
    }
    return t;
}

// A beat every `period` s, at `height`, over the whole song or from `from` to `to`.
std::vector<Bump> grid(double period, double height, double from = 0.5, double to = 120)
{
    std::vector<Bump> g;
    for (double t = from; t < to; t += period)
        g.push_back({t, height});
    return g;
}

// A bump `after` s after each start.
std::vector<Bump> voices(const Times &starts, double height = 1.0, double after = 0.0)
{
    std::vector<Bump> v;
    for (double t : starts)
        v.push_back({t + after, height});
    return v;
}

std::vector<Bump> operator+(std::vector<Bump> a, const std::vector<Bump> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Taps `delay` late with a press's scatter (-30 .. +30 ms, in turn), or
// `wide`: as widely as people's presses are (-40 .. +40 ms), where the voices
// alone then pile up at no one exact lag.
Times taps(const Times &starts, double delay, bool wide = false)
{
    static const double scatter[] = {0.021, -0.030, 0.004, 0.030, -0.012, -0.025, 0.015, 0.0, -0.005, 0.027, -0.018, 0.009};
    static const double widely[] = {0.038, -0.036, 0.012, 0.040, -0.022, -0.040, 0.027, -0.008, 0.033, -0.015, 0.005, -0.030};
    Times t;
    for (std::size_t i = 0; i < starts.size(); ++i)
        t.push_back(starts[i] + delay + (wide ? widely[i % 12] : scatter[i % 12]));
    return t;
}

} // namespace

class TestTimingRules : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Every song reading goes through both bands: the upper one (from 400 Hz
    // up, above the kick and bass) is read only when the whole band gives no
    // delay, and only a clearer answer than the whole band needs counts.
    void delay_data()
    {
        using O = DelayEstimate::Outcome;
        // delay: expected when Clear. Songs last 120 s; unless a row says
        // otherwise, the upper band hears what the whole band does.
        const auto add = tarvelin::table<Curve, Curve, Times, O, double, bool>({"song", "upper", "tags", "outcome", "delay", "upperBand"});
        const auto row = [&](const char *name, const Bumps &song, const Times &tags, O outcome, double delay = 0,
                             const std::optional<Bumps> &upper = {}, bool upperBand = false) {
            add(name, curve(120, song), curve(120, upper.value_or(song)), tags, outcome, delay, upperBand);
        };
        const Times starts = lineStarts(), tags = taps(starts, 0.18);
        const Bumps sung = voices(starts);
        row("voices alone", sung, tags, O::Clear, 0.18);
        // A drum on every beat, louder than the voices, the voices off the
        // beat: each line's loudest onset near its tap is a drum, at a lag
        // that differs from line to line, so they do not add up.
        row("bar grid louder than the voices", sung + grid(0.5, 1.5), taps(starts, 0.21), O::Clear, 0.21);
        row("a long instrumental break full of beats", sung + grid(0.25, 3.0, starts[5] + 2, starts[6] - 1), taps(starts, 0.17), O::Clear, 0.17);
        // One line holds a hit five times as loud as a voice, 100 ms
        // before its tap: at that one lag it outweighs the scattered voices,
        // across the presses' scatter it does not.
        const Times scattered = taps(starts, 0.2, true);
        row("scattered taps and one loud hit", sung + Bumps{{scattered[3] - 0.1, 5.0}}, scattered, O::Clear, 0.2);
        // A kick twice as loud 120-370 ms before each line (a band playing
        // into the line): at a different lag from line to line, so they add
        // up less than the voices do.
        Bumps kicks;
        for (std::size_t i = 0; i < starts.size(); ++i)
            kicks.push_back({starts[i] - 0.12 - 0.05 * double(i % 6), 2.0});
        row("a louder kick before each line", sung + kicks, taps(starts, 0.18, true), O::Clear, 0.18);
        // Each line also has a start 120 ms after the first, as strong (a
        // second syllable, an instrument on the beat): 280 or 160 ms.
        row("a second peak as high", sung + voices(starts, 1.0, 0.12), taps(starts, 0.28), O::Ambiguous);
        // The same, but the other peak is at a lag of 50 ms, which no one
        // presses with: the presses have one reading.
        row("a second peak nearly as high at no reaction's lag", sung + voices(starts, 0.9, 0.15), taps(starts, 0.20), O::Clear, 0.20);
        // The band hits harder 130 ms after each line starts: no one
        // presses 50 ms late, so the voice's lag is read, unless it is too
        // faint beside the hit, or not where most people's delay lies (280
        // ms beside a kick 340 ms before the taps).
        row("a louder hit just after each line", sung + voices(starts, 1.5, 0.13), tags, O::Clear, 0.18);
        row("a faint voice before a louder hit", voices(starts, 0.3) + voices(starts, 1.5, 0.13), tags, O::AtEdge);
        row("a louder kick at a lag past any reaction", sung + voices(starts, 1.5, -0.06), taps(starts, 0.28), O::AtEdge);
        row("a 100 ms lag: a sound just after the voice, not a reaction", sung, taps(starts, 0.10), O::AtEdge);
        row("peak past the end of the range", sung, taps(starts, 0.45), O::AtEdge);
        row("flat: silence", {}, tags, O::Flat);
        row("flat: an even hum of onsets", grid(0.01, 1.0), tags, O::Flat);
        row("four lines", sung, Times(tags.begin(), tags.begin() + 4), O::TooFewLines);
        // Hits at uneven times, a few of them loud, and tags that follow
        // none of them: the tags near a loud hit make one lag stand out,
        // but no more than the same tags anywhere else would.
        Bumps hits;
        for (int i = 0; i < 300; ++i)
            hits.push_back({0.25 + 0.4 * i + 0.13 * std::fmod(i * 7.3, 1.9), i % 15 == 3 ? 6.0 : 0.5 + std::fmod(i * 0.61, 1.0)});
        row("tags that follow nothing among loud hits", hits, tags, O::Flat);
        // A voice barely above a steady hum of onsets: it stands out little
        // by contrast, though far more than by chance.
        row("a faint voice over a steady hum", voices(starts, 0.4) + grid(0.05, 1.0), tags, O::Clear, 0.18);
        // A kick 2.5 times as loud 90 ms after each line: a lag of 90 ms,
        // and no clear voice beside it. Above the kick the voice is alone.
        const Bumps kicked = voices(starts, 0.3) + voices(starts, 1.5, 0.09);
        row("the whole band clear: the upper band unread", sung, tags, O::Clear, 0.18, voices(starts, 1.0, -0.06));
        row("a kick hides the voice: the upper band's delay", kicked, tags, O::Clear, 0.18, sung, true);
        // A rival two thirds as high: clear enough for the whole band, not
        // for the second look.
        row("the upper band with a rival two thirds as high: the whole band's refusal", kicked, tags, O::AtEdge, 0,
            sung + voices(starts, 0.85, -0.12));
        row("the upper band silent", kicked, tags, O::AtEdge, 0, Bumps{});
    }
    void delay()
    {
        QFETCH(Curve, song);
        QFETCH(Curve, upper);
        QFETCH(Times, tags);
        QFETCH(double, delay);
        const DelayEstimate e = tarvelin::estimateDelay(tags, tarvelin::TimingCurves{song, upper});
        QTEST(e.outcome, "outcome");
        QTEST(e.upperBand, "upperBand");
        if (e.outcome == DelayEstimate::Outcome::Clear)
            QVERIFY2(std::abs(e.delay - delay) <= 0.020, qPrintable(QString::number(e.delay)));
    }

    void snap_data()
    {
        const auto row = tarvelin::table<Curve, double, double, double>({"song", "tag", "delay", "expected"}); // expected -1: stays
        const double lead = tarvelin::timingRuleSettings().snapLead;
        const Curve one = curve(20, {{10.0, 1}}), two = curve(20, {{10.0, 0.6}, {10.1, 1}});
        // Fresh taps, the delay (a typical one or the user's) still in them:
        // 150 ms before to 80 ms after tap - delay.
        row("tap: the start well before", one, 10.32, 0.18, 10.0 + lead);
        row("tap: the start just after", one, 10.11, 0.18, 10.0 + lead);
        row("tap: out of reach", one, 10.38, 0.18, -1.0);
        // A fresh tap is a whole reaction late: a start in reach that stands
        // out from its own surroundings is nearer, though a drum 0.3 s on is
        // louder; the shoulder of a louder start just out of reach is not.
        row("tap: a louder drum 0.3 s after", curve(20, {{10.0, 1}, {10.3, 3}}), 10.18, 0.18, 10.0 + lead);
        row("tap: a louder start just out of reach", curve(20, {{10.0, 3}}), 10.36, 0.18, -1.0);
        // Tags whose delay is already taken out (delay 0): only a press's
        // scatter away, 80 ms before to 40 ms after; they go most of the
        // way to the start, not onto it.
        const double share = tarvelin::timingRuleSettings().snapCorrectedShare;
        const auto partway = [&](double tag, double start) { return tag + share * (start + lead - tag); };
        row("corrected: the start just before", one, 10.06, 0.0, partway(10.06, 10.0));
        row("corrected: the start just after", one, 9.97, 0.0, partway(9.97, 10.0));
        // 120 ms off: a fresh tap would reach it, a corrected tag is past it.
        row("corrected: out of reach before", one, 10.12, 0.0, -1.0);
        row("corrected: out of reach after", one, 9.93, 0.0, -1.0);
        row("corrected: the higher of two in reach", two, 10.08, 0.0, partway(10.08, 10.1));
        // A start that does not stand out: a louder one 0.4 s away (a drum).
        row("louder sound nearby", curve(20, {{10.0, 1}, {10.4, 2}}), 10.0, 0.0, -1.0);
        row("louder sound further than 0.5 s", curve(20, {{10.0, 1}, {10.6, 2}}), 10.0, 0.0, partway(10.0, 10.0));
        row("silence", curve(20, {}), 10.0, 0.0, -1.0);
        row("past the end of the song", curve(20, {{19.9, 1}}), 25.0, 0.0, -1.0);
    }
    void snap()
    {
        QFETCH(Curve, song);
        QFETCH(double, tag);
        QFETCH(double, delay);
        QFETCH(double, expected);
        const auto got = tarvelin::snapTime(song, tag, delay);
        QCOMPARE(got.has_value(), expected >= 0);
        if (got)
            QVERIFY2(std::abs(*got - expected) < 0.003, qPrintable(QString::number(*got)));
    }

    // The voice's entries peak where singing begins after quiet, and are
    // nothing where there is no activity to read.
    void voiceEntries()
    {
        tarvelin::TimingCurves c;
        c.singing = 4;
        QVERIFY(tarvelin::voiceEntries(c).empty());
        c.activity.values.assign(500, 0.0f); // every 40 ms, a voice from 10 s
        std::fill(c.activity.values.begin() + 250, c.activity.values.end(), 4.0f);
        c.activity.values[100] = 4.0f; // a click in the quiet is no entry
        const Curve e = tarvelin::voiceEntries(c);
        const auto top = std::max_element(e.values.begin(), e.values.end());
        const double at = double(top - e.values.begin()) * e.step;
        QVERIFY2(std::abs(at - 10.0) <= 0.05, qPrintable(QString::number(at)));
        QVERIFY(*top > 0.9f);
    }

    void align_data()
    {
        using O = Alignment::Outcome;
        // entries: where the voice comes in; truth: where the text's lines belong.
        const auto row = tarvelin::table<Curve, Curve, Times, O, Times>({"song", "entries", "text", "outcome", "truth"});
        const Times starts = lineStarts();
        const auto moved = [&](double offset, double speed) { // the text's tags, so that tag * speed + offset = start
            Times t(starts.size());
            std::transform(starts.begin(), starts.end(), t.begin(), [&](double s) { return (s - offset) / speed; });
            return t;
        };
        const Curve none, silent = curve(120, {}), sung = curve(120, voices(starts));
        row("later and slower", sung, none, moved(2.37, 1.015), O::Clear, starts);
        row("earlier and faster, over a bar grid", curve(120, voices(starts) + grid(0.5, 0.8)), none, moved(-4.5, 0.97), O::Clear, starts);
        // Every line two seconds apart over a two-second grid: a move by a
        // line or two fits as well.
        Times even;
        for (int i = 0; i < 12; ++i)
            even.push_back(10.0 + 2.0 * i);
        row("even lines over an even grid", curve(120, grid(2.0, 1.0)), none, even, O::Ambiguous, {});
        // The verse comes back 8 s later, its starts nearly as clear: the
        // voice's entries decide, when they pick the same move.
        const Curve verses = curve(120, voices(starts) + voices(starts, 0.95, 8.0));
        row("a verse again: the voice comes in at the best move", verses, sung, moved(1.5, 1.0), O::Clear, starts);
        row("a verse again: the voice comes in elsewhere", verses, curve(120, voices(starts, 1.0, 8.0)), moved(1.5, 1.0), O::Ambiguous, {});
        row("a verse again: no voice heard", verses, silent, moved(1.5, 1.0), O::Ambiguous, {});
        row("flat: silence", silent, none, starts, O::Flat, {});
        row("four lines", sung, none, Times(starts.begin(), starts.begin() + 4), O::TooFewLines, {});
    }
    void align()
    {
        QFETCH(Curve, song);
        QFETCH(Curve, entries);
        QFETCH(Times, text);
        QFETCH(Times, truth);
        const Alignment a = tarvelin::fitAlignment(text, song, entries);
        QTEST(a.outcome, "outcome");
        for (std::size_t i = 0; i < truth.size(); ++i)
            QVERIFY2(std::abs(a.map(text[i]) - truth[i]) < 0.020, qPrintable(QStringLiteral("line %1: %2 for %3 (offset %4, speed %5)")
                         .arg(i).arg(a.map(text[i])).arg(truth[i]).arg(a.offset).arg(a.speed)));
    }
};

QTEST_GUILESS_MAIN(TestTimingRules)
#include "tst_timingrules.moc"
