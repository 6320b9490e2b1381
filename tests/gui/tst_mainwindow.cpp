// The author link "by:Quorrin" and the clock label. All mouse input goes
// through the window system layer, so Qt's own dispatch (child lookup,
// propagation to the parent, implicit grab, double-click detection) decides
// who sees each event.
#define QTEST_QPA_MOUSE_HANDLING

#include "ui/window/mainwindow.h"
#include "ui/window/clocklabel.h"
#include "fakes.h"

#include <QTest>
#include <QWindow>

using namespace Qt::StringLiterals;

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // One page per click on the link: a press released off the label and
    // the second click of a double click open none. A
    // failed opening is reported each time and the program goes on.
    void linkOpensThePageOncePerClick()
    {
        tarvelin::test::FakeTools tools;
        tools.openUrlResult = false;
        tarvelin::MainWindow w(tools, std::make_unique<tarvelin::test::FakeEngine>());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QWindow *screen = w.windowHandle();
        const QWidget *link = w.findChild<QWidget *>(u"Label3"_s);
        const QPoint label = link->mapTo(&w, link->rect().center());
        const QPoint above = label - QPoint(0, link->height());
        QTest::mousePress(screen, Qt::LeftButton, {}, label);
        QTest::mouseMove(screen, above);
        QTest::mouseRelease(screen, Qt::LeftButton, {}, above);
        QVERIFY(tools.openedUrls.isEmpty());
        for (int i = 0; i < 2; ++i)
            QTest::mouseDClick(screen, Qt::LeftButton, {}, label);
        QCOMPARE(tools.openedUrls, QList<QUrl>(2, QUrl(QStringLiteral(TARVELIN_HOMEPAGE))));
        QCOMPARE(tools.errors.size(), 2);
        QVERIFY(w.isVisible());
    }

    // The clock label: the date on the first line, the time with its seconds
    // on the second, both inside the label's 73 px at the default font; the
    // locale's own forms where they fit, numeric ones where not.
    void clock_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("expected"); // "": any that fits
        for (const char *locale : {"C", "en_US", "en_GB", "zh_CN", "zh_TW", "zh_HK", "de_DE", "fr_FR", "ja_JP",
                                   "ko_KR", "ru_RU", "es_ES", "ar_EG", "fa_IR", "th_TH"})
            QTest::addRow("%s", locale) << locale << QTime(23, 34, 57) << QString();
        QTest::newRow("de_DE as it is") << "de_DE" << QTime(14, 5, 9) << u"06.12.26\n14:05:09"_s;
        QTest::newRow("midnight: the date alone") << "zh_CN" << QTime(0, 0, 0, 400) << u"2026/12/6"_s;
        QTest::newRow("one second past midnight") << "zh_CN" << QTime(0, 0, 1) << u"2026/12/6\n00:00:01"_s;
    }
    void clock()
    {
        QFETCH(QString, locale);
        QFETCH(QTime, time);
        QFETCH(QString, expected);
        const QLocale digits(locale);
        tarvelin::ClockLabel label;
        label.resize(73, 25);
        label.setTime(QDateTime(QDate(2026, 12, 6), time), digits);
        const QStringList lines = label.lines();
        for (const QString &line : lines)
            QVERIFY2(label.fontMetrics().horizontalAdvance(line) <= 73, qPrintable(line));
        if (!expected.isEmpty()) {
            QCOMPARE(lines.join(u'\n'), expected);
            return;
        }
        QCOMPARE(lines.size(), 2);
        // The day stands in the date line, in the locale's digits or numeric.
        QVERIFY2(lines.first().contains(digits.toString(6)) || lines.first() == u"2026/12/6"_s, qPrintable(lines.first()));
        // The time line holds the seconds and nothing but the locale's digits,
        // separators and AM/PM: no format letters, no empty zone brackets.
        QString rest = lines.at(1);
        QVERIFY2(rest.contains(digits.toString(57)), qPrintable(rest));
        rest.remove(digits.amText()).remove(digits.pmText());
        for (QChar c : rest)
            QVERIFY2(c.isDigit() || c.isSpace() || c == u':' || c == u'.' || c.category() == QChar::Other_Format,
                     qPrintable(lines.at(1)));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
