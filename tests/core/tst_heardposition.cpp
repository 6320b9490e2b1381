// The stretch lag taken off the playback position: a wrong row here puts
// every tag made away from 1x off by that much.
#include "core/heardposition.h"

#include <QPointF>
#include <QTest>

class TestHeardPosition : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lag_data()
    {
        QTest::addColumn<double>("speed");
        QTest::addColumn<double>("lagMs");
        QTest::newRow("1x: no filter, no lag") << 1.0 << 0.0;
        // Between each pair of measured speeds (0.5 0.75 1.25 1.5 2), and held beyond them.
        QTest::newRow("below 0.5x") << 0.25 << 1.9;
        QTest::newRow("0.625x") << 0.625 << 3.65;
        QTest::newRow("1.1x") << 1.1 << 11.7;
        QTest::newRow("1.375x") << 1.375 << 16.7;
        QTest::newRow("1.75x") << 1.75 << 20.25;
        QTest::newRow("above 2x") << 4.0 << 21.5;
    }
    void lag()
    {
        QFETCH(double, speed);
        QFETCH(double, lagMs);
        QCOMPARE(tarvelin::heardPosition(75.0, speed), 75.0 - lagMs / 1000);
    }
    // Just after the start the lag would reach before it.
    void neverBeforeTheStart() { QCOMPARE(tarvelin::heardPosition(0.01, 2.0), 0.0); }

    // Readings as (seconds on the clock, position read); what comes out.
    void steady_data()
    {
        using Readings = QList<QPointF>;
        QTest::addColumn<double>("speed");
        QTest::addColumn<Readings>("readings");
        QTest::addColumn<QList<double>>("expected");
        QTest::newRow("Ogg's 9.3 ms early stamp held back until the sound catches up") << 1.0
            << Readings{{0, 1.0}, {0.01, 1.0193}, {0.02, 1.0293}} << QList<double>{1.0, 1.01, 1.02};
        QTest::newRow("at 0.75x the clock moves 0.75 s a second") << 0.75
            << Readings{{0, 1.0}, {0.01, 1.0168}} << QList<double>{1.0, 1.0075};
        QTest::newRow("a real jump of 20 ms is followed") << 1.0 << Readings{{0, 1.0}, {0.01, 1.03}} << QList<double>{1.0, 1.03};
        QTest::newRow("clocks drifting 1.5 ms apart are followed") << 1.0
            << Readings{{0, 1.0}, {0.01, 1.0115}} << QList<double>{1.0, 1.0115};
        QTest::newRow("a reading behind the clock is followed") << 1.0 << Readings{{0, 1.0}, {0.01, 1.005}} << QList<double>{1.0, 1.005};
        QTest::newRow("no extrapolation over 100 ms") << 1.0
            << Readings{{0, 1.0}, {0.2, 1.2093}} << QList<double>{1.0, 1.2093};
    }
    void steady()
    {
        QFETCH(double, speed);
        QFETCH(QList<QPointF>, readings);
        QFETCH(QList<double>, expected);
        tarvelin::SteadyPosition steady;
        for (qsizetype i = 0; i < readings.size(); ++i)
            QVERIFY2(qAbs(steady.filter(readings[i].y(), readings[i].x(), speed) - expected[i]) < 1e-9,
                     qPrintable(QString::number(i)));
        // After a reset nothing is held back: no reading before counts.
        steady.reset();
        const double early = expected.last() + 0.01 * speed + 0.0093;
        QCOMPARE(steady.filter(early, readings.last().x() + 0.01, speed), early);
    }
};

QTEST_APPLESS_MAIN(TestHeardPosition)
#include "tst_heardposition.moc"
