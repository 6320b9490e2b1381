#include "app/clocktext.h"

#include <QTest>

class TestClockText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void text_data();
    void text();
};

void TestClockText::text_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("expected");
    const QDate day(2026, 12, 6);
    QTest::newRow("Chinese afternoon") << QStringLiteral("zh_CN") << QDateTime(day, QTime(14, 5, 9))
                                       << QStringLiteral("2026/12/6 14:05:09");
    QTest::newRow("Chinese midnight: date alone") << QStringLiteral("zh_CN") << QDateTime(day, QTime(0, 0))
                                                  << QStringLiteral("2026/12/6");
    QTest::newRow("milliseconds after midnight still midnight")
        << QStringLiteral("zh_CN") << QDateTime(day, QTime(0, 0, 0, 400)) << QStringLiteral("2026/12/6");
    QTest::newRow("one second past midnight") << QStringLiteral("zh_CN") << QDateTime(day, QTime(0, 0, 1))
                                              << QStringLiteral("2026/12/6 00:00:01");
    QTest::newRow("US: no zone name") << QStringLiteral("en_US") << QDateTime(day, QTime(14, 5, 9))
                                      << QStringLiteral("12/6/26 2:05:09 PM");
    QTest::newRow("German") << QStringLiteral("de_DE") << QDateTime(day, QTime(9, 5, 9))
                            << QStringLiteral("06.12.26 09:05:09");
}

void TestClockText::text()
{
    QFETCH(QString, locale);
    QFETCH(QDateTime, now);
    QFETCH(QString, expected);
    // Newer locale data puts a narrow space before AM/PM.
    QString text = tarvelin::clockText(now, QLocale(locale));
    text.replace(QChar(0x202F), QLatin1Char(' '));
    QCOMPARE(text, expected);
}

QTEST_GUILESS_MAIN(TestClockText)
#include "tst_clocktext.moc"
