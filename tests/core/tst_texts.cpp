// The small text formats: time-tag positions, the clock label and the file
// dialogs' type filters.
#include "core/clocktext.h"
#include "core/filefilter.h"
#include "core/positiontext.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

class TestTexts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void position_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("expected");
        QTest::newRow("binary fraction below .29") << 0.29 << "00:00.29";
        QTest::newRow("binary fraction 1.005") << 1.005 << "00:01.00";
        QTest::newRow("cut, not rounded") << 59.999 << "00:59.99";
        QTest::newRow("one minute") << 60.0 << "01:00.00";
        QTest::newRow("seconds carry into minutes") << 119.996 << "01:59.99";
        QTest::newRow("99:59.99") << 5999.999 << "99:59.99";
        QTest::newRow("a hundred minutes") << 6000.0 << "100:00.00";
        QTest::newRow("negative reads as zero") << -0.194 << "00:00.00";
        QTest::newRow("NaN reads as zero") << std::nan("") << "00:00.00";
        QTest::newRow("infinity reads as zero") << std::numeric_limits<double>::infinity() << "00:00.00";
    }
    void position()
    {
        QFETCH(double, seconds);
        QFETCH(QString, expected);
        QCOMPARE(tarvelin::formatPosition(seconds), expected);
    }

    void clock_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Chinese afternoon") << "zh_CN" << QTime(14, 5, 9) << "2026/12/6\n14:05:09";
        QTest::newRow("midnight: date alone") << "zh_CN" << QTime(0, 0) << "2026/12/6";
        QTest::newRow("milliseconds after midnight") << "zh_CN" << QTime(0, 0, 0, 400) << "2026/12/6";
        QTest::newRow("one second past midnight") << "zh_CN" << QTime(0, 0, 1) << "2026/12/6\n00:00:01";
        QTest::newRow("US: no zone name") << "en_US" << QTime(14, 5, 9) << "12/6/26\n2:05:09 PM";
    }
    void clock()
    {
        QFETCH(QString, locale);
        QFETCH(QTime, time);
        QFETCH(QString, expected);
        QString text = tarvelin::clockText(QDateTime(QDate(2026, 12, 6), time), QLocale(locale));
        // Newer locale data puts a narrow space before AM/PM.
        QCOMPARE(text.replace(QChar(0x202F), u' '), expected);
    }

    void filter_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("nameFilters");
        QTest::newRow("several patterns") << "歌曲|*.mp3;*.wma" << QStringList{u"歌曲 (*.mp3 *.wma)"_s};
        QTest::newRow("empty description") << "|*.lrc" << QStringList{u"*.lrc (*.lrc)"_s};
        QTest::newRow("dangling description dropped") << "*.txt|*.txt|Other" << QStringList{u"*.txt (*.txt)"_s};
        QTest::newRow("empty pattern dropped") << "A||*.txt|*.txt" << QStringList{u"*.txt (*.txt)"_s};
        QTest::newRow("empty filter") << "" << QStringList{};
    }
    void filter()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, nameFilters);
        QCOMPARE(tarvelin::toNameFilters(tarvelin::parseFilter(filter)), nameFilters);
    }
};

QTEST_GUILESS_MAIN(TestTexts)
#include "tst_texts.moc"
