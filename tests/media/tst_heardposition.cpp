// The stretch lag taken off the playback position: a wrong row here puts
// every tag made away from 1x off by that much.
#include "media/heardposition.h"

#include <QPointF>
#include <QTest>

#include <utility>

class TestHeardPosition : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lag_data()
    {
        QTest::addColumn<double>("speed");
        QTest::addColumn<double>("lagMs");
        QTest::newRow("1x: no filter, no lag") << 1.0 << 0.0;
        // Measured at 0.5 0.75 1.25 1.5 2, between them on the line, held beyond them.
        QTest::newRow("below 0.5x") << 0.25 << 1.9;
        QTest::newRow("1.1x, across 1x") << 1.1 << 11.7;
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
        QTest::newRow("followed: a jump of 20 ms, then 9.3 ms ahead after 200 ms unread") << 1.0
            << Readings{{0, 1.0}, {0.01, 1.03}, {0.21, 1.2393}} << QList<double>{1.0, 1.03, 1.2393};
        QTest::newRow("followed: clocks drifting 1.5 ms apart, a reading behind the clock") << 1.0
            << Readings{{0, 1.0}, {0.01, 1.0115}, {0.02, 1.0165}} << QList<double>{1.0, 1.0115, 1.0165};
    }
    void steady()
    {
        QFETCH(double, speed);
        QFETCH(QList<QPointF>, readings);
        QFETCH(QList<double>, expected);
        tarvelin::SteadyPosition steady;
        for (qsizetype i = 0; i < readings.size(); ++i) {
            const auto [now, reading] = std::pair(readings[i].x(), readings[i].y());
            // Reading twice, as a tap and a display would, moves nothing on.
            QVERIFY2(qAbs(steady.read(reading, now, speed) - expected[i]) < 1e-9, qPrintable(QString::number(i)));
            QVERIFY2(qAbs(steady.read(reading, now, speed) - expected[i]) < 1e-9, qPrintable(QString::number(i)));
            steady.advance(reading, now, speed);
        }
        // After a reset nothing is held back: no reading before counts.
        steady.reset();
        const double early = expected.last() + 0.01 * speed + 0.0093;
        QCOMPARE(steady.read(early, readings.last().x() + 0.01, speed), early);
    }
};

QTEST_APPLESS_MAIN(TestHeardPosition)
#include "tst_heardposition.moc"
