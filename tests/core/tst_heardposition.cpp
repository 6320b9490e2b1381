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
        QTest::newRow("measured 0.75x") << 0.75 << 5.4;
        QTest::newRow("measured 1.5x") << 1.5 << 19.0;
        QTest::newRow("between 0.75x and 1.25x") << 1.1 << 11.7;
        QTest::newRow("between 0.5x and 0.75x") << 0.625 << 3.65;
        QTest::newRow("lowest end 0.5x") << 0.5 << 1.9;
        QTest::newRow("highest end 2x") << 2.0 << 21.5;
        QTest::newRow("below the range: lowest end") << 0.25 << 1.9;
        QTest::newRow("above the range: highest end") << 4.0 << 21.5;
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
            << Readings{{0, 1.0}, {0.01, 1.0193}, {0.02, 1.0293}, {0.03, 1.03}}
            << QList<double>{1.0, 1.01, 1.02, 1.03};
        QTest::newRow("at 0.75x the clock moves 0.75 s a second") << 0.75
            << Readings{{0, 1.0}, {0.01, 1.0168}} << QList<double>{1.0, 1.0075};
        QTest::newRow("a real jump of 20 ms is followed") << 1.0
            << Readings{{0, 1.0}, {0.01, 1.03}} << QList<double>{1.0, 1.03};
        QTest::newRow("clocks drifting 1.5 ms apart are followed") << 1.0
            << Readings{{0, 1.0}, {0.01, 1.0115}} << QList<double>{1.0, 1.0115};
        QTest::newRow("a reading behind the clock is followed") << 1.0
            << Readings{{0, 1.0}, {0.01, 1.005}} << QList<double>{1.0, 1.005};
        QTest::newRow("an early first reading is left behind at once") << 1.0
            << Readings{{0, 1.0093}, {0.01, 1.01}, {0.02, 1.02}} << QList<double>{1.0093, 1.01, 1.02};
        QTest::newRow("no extrapolation over 200 ms") << 1.0
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
        steady.reset();
        QCOMPARE(steady.filter(5.0093, 0.04, speed), 5.0093);
    }
};

QTEST_APPLESS_MAIN(TestHeardPosition)
#include "tst_heardposition.moc"
