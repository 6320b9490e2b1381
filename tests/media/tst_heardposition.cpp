// The stretch lag taken off the playback position: a wrong row here puts
// every tag made away from 1x off by that much.
#include "media/heardposition.h"
#include "../support/datatable.h"

#include <QTest>

#include <array>

using Readings = QList<std::array<double, 3>>; // clock, position read, what comes out

class TestHeardPosition : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lag_data()
    {
        const auto row = tarvelin::table<double, double>({"speed", "lagMs"});
        row("1x: no filter, no lag", 1.0, 0.0);
        // Measured at 0.5 0.75 1.25 1.5 2, between them on the line, held beyond them.
        row("below 0.5x", 0.25, 1.9);
        row("1.1x, across 1x", 1.1, 11.7);
        row("above 2x", 4.0, 21.5);
    }
    void lag()
    {
        QFETCH(double, speed);
        QFETCH(double, lagMs);
        QCOMPARE(tarvelin::heardPosition(75.0, speed), 75.0 - lagMs / 1000);
    }
    // Just after the start the lag would reach before it.
    void neverBeforeTheStart() { QCOMPARE(tarvelin::heardPosition(0.01, 2.0), 0.0); }

    // Readings as (seconds on the clock, position read, what comes out).
    void steady_data()
    {
        const auto row = tarvelin::table<double, Readings>({"speed", "readings"});
        row("Ogg's 9.3 ms early stamp held back until the sound catches up", 1.0, {{0, 1.0, 1.0}, {0.01, 1.0193, 1.01}, {0.02, 1.0293, 1.02}});
        row("at 0.75x the clock moves 0.75 s a second", 0.75, {{0, 1.0, 1.0}, {0.01, 1.0168, 1.0075}});
        row("followed: a jump of 20 ms, then 9.3 ms ahead after 200 ms unread", 1.0, {{0, 1.0, 1.0}, {0.01, 1.03, 1.03}, {0.21, 1.2393, 1.2393}});
        row("followed: clocks drifting 1.5 ms apart, a reading behind the clock", 1.0,
            {{0, 1.0, 1.0}, {0.01, 1.0115, 1.0115}, {0.02, 1.0165, 1.0165}});
    }
    void steady()
    {
        QFETCH(double, speed);
        QFETCH(Readings, readings);
        tarvelin::SteadyPosition steady;
        for (const auto &[now, reading, expected] : readings) {
            // Reading twice, as a tap and a display would, moves nothing on.
            for (int twice = 0; twice < 2; ++twice)
                QVERIFY2(qAbs(steady.read(reading, now, speed) - expected) < 1e-9, qPrintable(QString::number(now)));
            steady.advance(reading, now, speed);
        }
        // After a reset nothing is held back: no reading before counts.
        steady.reset();
        const double early = readings.last()[2] + 0.01 * speed + 0.0093;
        QCOMPARE(steady.read(early, readings.last()[0] + 0.01, speed), early);
    }
};

QTEST_APPLESS_MAIN(TestHeardPosition)
#include "tst_heardposition.moc"
