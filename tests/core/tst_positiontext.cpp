#include "components/positiontext.h"

#include <QTest>

#include <cmath>
#include <limits>

class TestPositionText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void format_data();
    void format();
};

void TestPositionText::format_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << 0.0 << QStringLiteral("00:00.00");
    QTest::newRow("cut, not rounded") << 59.999 << QStringLiteral("00:59.99");
    QTest::newRow("one minute") << 60.0 << QStringLiteral("01:00.00");
    QTest::newRow("just under a hundredth") << 0.0099 << QStringLiteral("00:00.00");
    QTest::newRow("binary fraction below .29") << 0.29 << QStringLiteral("00:00.29");
    QTest::newRow("binary fraction 1.005") << 1.005 << QStringLiteral("00:01.00");
    QTest::newRow("83.45") << 83.45 << QStringLiteral("01:23.45");
    QTest::newRow("seconds carry into minutes") << 119.996 << QStringLiteral("01:59.99");
    QTest::newRow("ten minutes") << 600.0 << QStringLiteral("10:00.00");
    QTest::newRow("99:59.99") << 5999.999 << QStringLiteral("99:59.99");
    QTest::newRow("a hundred minutes") << 6000.0 << QStringLiteral("100:00.00");
    QTest::newRow("negative reads as zero") << -0.194 << QStringLiteral("00:00.00");
    QTest::newRow("NaN reads as zero") << std::nan("") << QStringLiteral("00:00.00");
    QTest::newRow("infinity reads as zero") << std::numeric_limits<double>::infinity()
                                            << QStringLiteral("00:00.00");
}

void TestPositionText::format()
{
    QFETCH(double, seconds);
    QFETCH(QString, expected);
    QCOMPARE(tarvelin::formatPosition(seconds), expected);
}

QTEST_GUILESS_MAIN(TestPositionText)
#include "tst_positiontext.moc"
