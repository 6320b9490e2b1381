// Placing the units of a line from the timing curve and the voice, on
// hand-built curves: clear onsets are found, missing ones fall where the
// count puts them, a line before a break ends at the song's pace, no
// syllable but the last is held past a few paces, and the
// result always fits the line's span in order.
#include "analysis/wordalign.h"
#include "analysis/wordrules.h"
#include "../support/datatable.h"

#include <QTest>

#include <algorithm>

#include <vector>

using namespace Qt::StringLiterals;

using Peaks = QList<QPair<double, float>>; // seconds, height

namespace {

std::vector<float> curveWith(const Peaks &peaks, double seconds)
{
    std::vector<float> curve(size_t(seconds * 100) + 1, 0.02f);
    for (const auto &[at, height] : peaks) {
        const int i = int(at * 100 + 0.5);
        for (int d = -2; d <= 2; ++d) // a rise a few hops wide, highest at `at`
            if (i + d >= 0 && size_t(i + d) < curve.size())
                curve[i + d] = std::max(curve[i + d], height * (1.0f - 0.3f * std::abs(d)));
    }
    return curve;
}

// Onsets at `peaks` and, when voiceUntil >= 0, a voice singing from 0 to
// voiceUntil seconds and quiet after.
tarvelin::TimingCurves curvesWith(const Peaks &peaks, double seconds, double voiceUntil = -1)
{
    tarvelin::TimingCurves curves;
    curves.timing.values = curveWith(peaks, seconds);
    if (voiceUntil >= 0) {
        curves.singing = 1; // quiet: 0
        for (double t = 0; t < seconds; t += curves.activity.step)
            curves.activity.values.push_back(t < voiceUntil ? 1.0f : 0.0f);
    }
    return curves;
}

} // namespace

class TestWordAlign : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void align_data()
    {
        // The span starts at the first unit; expected: unit starts, ms;
        // expectedEnd -1: not checked; pace: seconds a syllable, 0: unknown.
        const auto row = tarvelin::table<Peaks, qint64, QList<int>, QList<qint64>, qint64, qint64, double>(
            {"peaks", "end", "syllables", "expected", "tolerance", "expectedEnd", "pace"});
        const QList<int> four{1, 1, 1, 1};
        row("uneven onsets, one per character", {{10.0, 1}, {10.35, 0.8f}, {11.2, 0.9f}, {11.5, 0.7f}, {12.6, 0.8f}}, 14000,
            {1, 1, 1, 1, 1}, {10000, 10350, 11200, 11500, 12600}, 20, -1, 0);
        row("a flat curve: proportional places, the last twice as long, ending near 85 %", {}, 5000, four, {0, 850, 1700, 2550}, 120, 4250, 0);
        row("a two-syllable word takes its first syllable's onset", {{2.0, 1}, {2.4, 0.9f}, {2.7, 0.9f}, {3.3, 1}}, 5000,
            {1, 2, 1}, {2000, 2400, 3300}, 20, -1, 0);
        row("a weak drum hit between two sung onsets is passed over for the pull", {{1.0, 1}, {1.9, 1}, {1.15, 0.15f}}, 3000,
            {1, 1}, {1000, 1900}, 20, -1, 0);
        row("a line before a break ends at the song's pace, not at 85 % of its span", {}, 10000, four, {0, 700, 1400, 2100}, 120, 3500, 0.5);
        row("before a break, onsets sung at the song's pace are found", {{0.0, 1}, {0.45, 0.8f}, {1.0, 0.9f}, {1.6, 0.8f}}, 10000,
            four, {0, 450, 1000, 1600}, 20, -1, 0.5);
        row("a line sung at the song's pace keeps the usual end", {}, 5000, four, {0, 850, 1700, 2550}, 120, 4250, 0.9);
        row("no syllable but the last is held past 3.5 paces: the one before a late onset moves up",
            {{0.0, 1}, {0.4, 0.4f}, {2.0, 1}}, 4000, {1, 1, 1}, {0, 600, 2000}, 20, -1, 0.4);
        row("more syllables than fit: spread evenly, still in order", {}, 200, {1, 1, 1, 1, 1}, {0, 33, 66, 100, 133}, 40, 200, 0);
    }
    void align()
    {
        QFETCH(Peaks, peaks);
        QFETCH(qint64, end);
        QFETCH(QList<int>, syllables);
        QFETCH(QList<qint64>, expected);
        QFETCH(qint64, tolerance);
        QFETCH(qint64, expectedEnd);
        QFETCH(double, pace);
        const auto times = tarvelin::alignWords(curvesWith(peaks, end / 1000.0 + 1), expected.first(), end, syllables, pace);
        QCOMPARE(times.starts.size(), expected.size());
        QCOMPARE(times.starts.first(), expected.first());
        for (qsizetype i = 0; i < expected.size(); ++i)
            QVERIFY2(std::abs(times.starts[i] - expected[i]) <= tolerance,
                     qPrintable(QStringLiteral("unit %1 at %2 ms, expected %3").arg(i).arg(times.starts[i]).arg(expected[i])));
        QVERIFY(std::is_sorted(times.starts.begin(), times.starts.end()) && times.endMs > times.starts.last() && times.endMs <= end);
        if (expectedEnd >= 0)
            QVERIFY2(std::abs(times.endMs - expectedEnd) <= tolerance, qPrintable(QString::number(times.endMs)));
    }

    // Word snapping keeps to its narrow window: a syllable 150 ms before the
    // tap is not taken (the line window would), a start 40 ms off is.
    void snapWord_data()
    {
        const auto row = tarvelin::table<Peaks, double, double, double>({"peaks", "tag", "delay", "expected"}); // expected -1: stays
        row("a start 40 ms before the tap", {{2.0, 1}}, 2.04, 0.0, 2.0);
        row("a start 40 ms after the tap", {{2.0, 1}}, 1.96, 0.0, 2.0);
        row("the syllable before is out of reach", {{2.0, 1}}, 2.15, 0.0, -1.0);
        row("the delay moves the window back", {{2.0, 1}}, 2.18, 0.18, 2.0);
        row("the higher of two starts in the window", {{2.0, 0.5f}, {2.06, 1}}, 2.02, 0.0, 2.06);
        row("nothing but a slope into the next syllable", {{2.1, 1}}, 2.0, 0.0, -1.0);
    }
    void snapWord()
    {
        QFETCH(Peaks, peaks);
        QFETCH(double, tag);
        QFETCH(double, delay);
        QFETCH(double, expected);
        const auto snapped = tarvelin::snapWordTime({.values = curveWith(peaks, 4.0)}, tag, delay);
        QCOMPARE(snapped.has_value(), expected >= 0);
        if (snapped)
            QVERIFY2(std::abs(*snapped - expected) < 0.006, qPrintable(QString::number(*snapped)));
    }

    // Singing heard to stop early in the span ends the line sooner than a
    // voice heard to its end (the voice weighs little against the usual end:
    // it tips the choice, it does not make it); the units stay in order.
    void voiceStops()
    {
        const Peaks peaks{{0.0, 1}, {0.6, 0.5f}, {1.3, 0.5f}, {1.9, 0.5f}};
        const auto stops = tarvelin::alignWords(curvesWith(peaks, 6, 2.0), 0, 5000, {1, 1, 1, 1});
        const auto sings = tarvelin::alignWords(curvesWith(peaks, 6, 6.0), 0, 5000, {1, 1, 1, 1});
        QCOMPARE(stops.starts.size(), 4);
        QVERIFY2(stops.endMs < sings.endMs, qPrintable(u"%1 / %2"_s.arg(stops.endMs).arg(sings.endMs)));
        QVERIFY(std::is_sorted(stops.starts.begin(), stops.starts.end()) && stops.endMs <= 5000);
    }

    // The song's pace passes over the long spans before breaks.
    void pace_data()
    {
        const auto row = tarvelin::table<QList<qint64>, QList<int>, double>({"spans", "syllables", "expected"});
        row("none", {}, {}, 0.0);
        row("one line: its span over its syllables, the last twice", {3000}, {5}, 0.5);
        row("a break after one line of five", {2000, 2400, 20000, 1600, 2000}, {3, 3, 3, 3, 3}, 0.5);
        row("spans without time are left out", {0, 1000}, {4, 1}, 0.5);
    }
    void pace()
    {
        QFETCH(QList<qint64>, spans);
        QFETCH(QList<int>, syllables);
        QTEST(tarvelin::typicalSyllableSeconds(spans, syllables), "expected");
    }

    void nothingToPlace()
    {
        QVERIFY(tarvelin::alignWords(curvesWith({}, 1.0), 0, 1000, {}).starts.isEmpty());
        QVERIFY(tarvelin::alignWords(curvesWith({}, 1.0), 1000, 1000, {1}).starts.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestWordAlign)
#include "tst_wordalign.moc"
