// The stretch lag taken off the playback position: a wrong row here puts
// every tag made away from 1x off by that much.
#include "core/heardposition.h"

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
};

QTEST_APPLESS_MAIN(TestHeardPosition)
#include "tst_heardposition.moc"
