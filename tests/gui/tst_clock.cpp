// The clock label in every locale: the date on the first line, the time with
// its seconds on the second, both inside the label's 73 px at the default
// font; the locale's own forms where they fit, numeric ones where not.
#include "ui/window/clocklabel.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestClock : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lines_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("date"); // "": any that fits
        QTest::addColumn<QString>("clock");
        const QTime late(23, 34, 57), night(0, 34, 7);
        for (const char *locale : {"C", "en_US", "en_GB", "zh_CN", "zh_TW", "zh_HK", "de_DE", "fr_FR", "ja_JP",
                                   "ko_KR", "ru_RU", "es_ES", "ar_EG", "fa_IR", "th_TH"}) {
            QTest::addRow("%s, late", locale) << locale << late << "" << "";
            QTest::addRow("%s, after midnight", locale) << locale << night << "" << "";
        }
        // The locale's own forms are kept where they fit.
        QTest::newRow("zh_CN as it is") << "zh_CN" << QTime(14, 5, 9) << "2026/12/6" << "14:05:09";
        QTest::newRow("de_DE as it is") << "de_DE" << QTime(14, 5, 9) << "06.12.26" << "14:05:09";
        QTest::newRow("midnight: the date alone") << "zh_CN" << QTime(0, 0) << "2026/12/6" << "";
    }
    void lines()
    {
        QFETCH(QString, locale);
        QFETCH(QTime, time);
        QFETCH(QString, date);
        QFETCH(QString, clock);
        tarvelin::ClockLabel label;
        label.resize(73, 25);
        label.setTime(QDateTime(QDate(2026, 12, 6), time), QLocale(locale));
        const QStringList lines = label.lines();
        QCOMPARE(lines.size(), time == QTime(0, 0) ? 1 : 2);
        for (const QString &line : lines)
            QVERIFY2(label.fontMetrics().horizontalAdvance(line) <= 73, qPrintable(line));
        const QLocale digits(locale);
        if (!date.isEmpty())
            QCOMPARE(lines.first(), date);
        // The day stands in the date line, in the locale's digits or numeric.
        QVERIFY2(lines.first().contains(digits.toString(6)) || lines.first() == u"2026/12/6"_s, qPrintable(lines.first()));
        if (lines.size() < 2)
            return;
        if (!clock.isEmpty())
            QCOMPARE(lines.at(1), clock);
        // The time line holds the seconds and nothing but the locale's digits,
        // separators and AM/PM: no format letters, no empty zone brackets.
        const QString seconds = digits.toString(time.second()).rightJustified(2, digits.zeroDigit().at(0));
        QVERIFY2(lines.at(1).contains(seconds), qPrintable(lines.at(1)));
        QString rest = lines.at(1);
        for (const QString &part : {digits.amText(), digits.pmText()})
            rest.remove(part);
        for (QChar c : rest)
            QVERIFY2(c.isDigit() || c.isSpace() || c == u':' || c == u'.' || c.category() == QChar::Other_Format,
                     qPrintable(lines.at(1)));
    }
};

QTEST_MAIN(TestClock)
#include "tst_clock.moc"
