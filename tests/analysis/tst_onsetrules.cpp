// Snapping a tag to an onset and estimating the user's reaction lag.
#include "analysis/onsetrules.h"

#include <QTest>

#include <vector>

using tarvelin::LagEstimate;
using tarvelin::Onset;

using Onsets = std::vector<Onset>;
using Times = std::vector<double>;
Q_DECLARE_METATYPE(Onsets)
Q_DECLARE_METATYPE(Times)

class TestOnsetRules : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void snap_data()
    {
        QTest::addColumn<Onsets>("onsets");
        QTest::addColumn<double>("tag");
        QTest::addColumn<double>("expected"); // -1: none
        // Each window edge with a stronger onset just beyond it.
        QTest::newRow("250 ms before: in, 260 ms: out") << Onsets{{12.08, 9}, {12.09, 1}} << 12.34 << 12.09;
        QTest::newRow("80 ms after: in, 90 ms: out") << Onsets{{12.42, 1}, {12.43, 9}} << 12.34 << 12.42;
        QTest::newRow("strongest, not nearest") << Onsets{{12.2, 3}, {12.33, 2}} << 12.34 << 12.2;
        QTest::newRow("equally strong: the nearer") << Onsets{{12.15, 2}, {12.38, 2}} << 12.34 << 12.38;
    }
    void snap()
    {
        QFETCH(Onsets, onsets);
        QFETCH(double, tag);
        QFETCH(double, expected);
        const auto target = tarvelin::snapTarget(onsets, tag);
        QCOMPARE(target.has_value(), expected >= 0);
        if (target)
            QCOMPARE(target->time, expected);
    }

    void lag_data()
    {
        QTest::addColumn<Times>("tags");
        QTest::addColumn<Onsets>("onsets");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<double>("lag");
        QTest::addColumn<int>("lines");
        // Lines start at 10, 20, ... s.
        const auto starts = [](int n, double strength = 1) {
            Onsets o;
            for (int i = 1; i <= n; ++i)
                o.push_back({10.0 * i, float(strength)});
            return o;
        };
        const auto Clear = int(LagEstimate::Outcome::Clear);
        const auto TooFew = int(LagEstimate::Outcome::TooFewLines);
        const auto Unclear = int(LagEstimate::Outcome::NoClearLag);
        QTest::newRow("median of six: the middle two's mean")
            << Times{10.17, 20.20, 30.15, 40.25, 50.19, 60.18} << starts(6) << Clear << 0.185 << 6;
        QTest::newRow("window ends: 400 ms late and 150 ms early count")
            << Times{10.40, 20.38, 30.39, 39.85, 50.40} << starts(5) << Clear << 0.39 << 5;
        QTest::newRow("lines without an onset near them do not count")
            << Times{10.17, 20.20, 30.15, 40.25, 50.45, 59.80, 75.0} << starts(7) << TooFew << 0.0 << 4;
        QTest::newRow("scattered: no clear lag")
            << Times{10.00, 20.30, 30.10, 40.38, 50.21, 59.90} << starts(6) << Unclear << 0.155 << 6;
    }
    void lag()
    {
        QFETCH(Times, tags);
        QFETCH(Onsets, onsets);
        QFETCH(int, outcome);
        QFETCH(double, lag);
        QFETCH(int, lines);
        const LagEstimate e = tarvelin::estimateReactionLag(tags, onsets);
        QCOMPARE(int(e.outcome), outcome);
        QCOMPARE(e.lines, lines);
        if (e.outcome != LagEstimate::Outcome::TooFewLines)
            QVERIFY2(std::abs(e.lag - lag) < 1e-9, qPrintable(QString::number(e.lag)));
    }
};

QTEST_APPLESS_MAIN(TestOnsetRules)
#include "tst_onsetrules.moc"
