// The window on the screen, the live lyrics in the player's display, the
// author link "by:Quorrin" and the clock label. All mouse input goes
// through the window system layer, so Qt's own dispatch (child lookup,
// propagation to the parent, implicit grab, double-click detection) decides
// who sees each event.
#define QTEST_QPA_MOUSE_HANDLING

#include "window/mainwindow.h"
#include "widgets/playerwidget.h"
#include "widgets/clocklabel.h"
#include "fakes.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QFile>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextBlock>
#include <QTest>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace {

// Two screens: an ordinary one, and 1600×1000 at 2× (192 dpi), where the
// window's design does not fit. Set before the application starts.
const QString ScreensFile = QDir::temp().filePath(u"tst_mainwindow-screens-%1.json"_s.arg(QCoreApplication::applicationPid()));
[[maybe_unused]] const bool screens = [] {
    QFile file(ScreensFile);
    return file.open(QIODevice::WriteOnly)
        && file.write(R"({"screens": [
               {"name": "1x", "x": 0, "y": 0, "width": 1920, "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1},
               {"name": "2x", "x": 1920, "y": 0, "width": 1600, "height": 1000, "logicalDpi": 192, "logicalBaseDpi": 96, "dpr": 1}]})")
               > 0
        && qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(ScreensFile));
}();

} // namespace

class TestMainWindow : public QObject, tarvelin::test::WindowFixture {
    Q_OBJECT
private Q_SLOTS:
    void cleanupTestCase() { QFile::remove(ScreensFile); }

    // At 1× the window is as designed. Where the screen's free area cannot
    // hold it, the window fits in that area and every control can be
    // scrolled into sight; the controls keep their design places.
    void fitsTheScreen_data()
    {
        QTest::addColumn<int>("screen");
        QTest::newRow("1x, 1920x1080: as designed") << 0;
        QTest::newRow("2x, 1600x1000: scrolled") << 1;
    }
    void fitsTheScreen()
    {
        QFETCH(int, screen);
        QScreen *display = QGuiApplication::screens().at(screen);
        QCOMPARE(display->logicalDotsPerInch(), 96.0);
        tarvelin::MainWindow w(tools, std::make_unique<tarvelin::test::FakeEngine>());
        w.setScreen(display);
        w.move(display->availableGeometry().topLeft() + QPoint(40, 40));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto *canvas = w.findChild<QWidget *>(u"canvas"_s);
        auto *scroll = w.findChild<QScrollArea *>();
        QVERIFY(canvas && scroll);
        QCOMPARE(w.findChild<QWidget *>(u"Command1"_s)->geometry(), QRect(424, 96, 89, 25));
        QCOMPARE(canvas->size(), QSize(517, 580));
        if (screen == 0) {
            QCOMPARE(w.size(), canvas->size());
            QVERIFY(!scroll->verticalScrollBar()->isVisible() && !scroll->horizontalScrollBar()->isVisible());
            return;
        }
        QTRY_VERIFY(display->availableGeometry().contains(w.frameGeometry()));
        const QRect viewport(scroll->viewport()->mapTo(&w, QPoint()), scroll->viewport()->size());
        int controls = 0;
        for (QWidget *control : canvas->findChildren<QWidget *>()) {
            if (control->objectName().isEmpty() || control->objectName().startsWith(u"qt_"_s)
                || !control->isVisibleTo(canvas))
                continue;
            ++controls;
            scroll->ensureWidgetVisible(control, 0, 0);
            // The part the design shows (the window cuts the player's edges).
            const QRect shown = QRect(control->mapTo(&w, QPoint()), control->size())
                                & QRect(canvas->mapTo(&w, QPoint()), canvas->size());
            QVERIFY2(viewport.contains(shown), qPrintable(control->objectName()));
        }
        QVERIFY(controls > 20);
    }

    // While the song plays, the display shows the line being sung and the
    // next one beneath it (as typed), both whole at 1×: with a notice showing
    // too, and with a desktop font larger than Qt's default. The sung line
    // has a background in the editor; outside tap mode the caret stays put.
    void liveLinesFit_data()
    {
        QTest::addColumn<qreal>("points"); // the application font, 0: as it is
        QTest::addColumn<bool>("notice");
        QTest::newRow("plain") << 0.0 << false;
        QTest::newRow("a notice showing") << 0.0 << true;
        QTest::newRow("10.5 pt font") << 10.5 << false;
    }
    void liveLinesFit()
    {
        QFETCH(qreal, points);
        QFETCH(bool, notice);
        const QFont font = QApplication::font();
        const auto restore = qScopeGuard([&font] { QApplication::setFont(font); });
        if (QFont larger = font; points > 0) {
            larger.setPointSizeF(points);
            QApplication::setFont(larger);
        }
        QVERIFY(open());
        editor->setPlainText(u"[00:01.00]第一句\n\n[00:03.50]第二句 [x]\n三"_s);
        const QTextCursor caret(editor->document()->findBlockByNumber(3));
        editor->setTextCursor(caret);
        engine->load(u"/歌.mp3"_s);
        engine->positionValue = 1.0;
        if (notice)
            window->findChild<tarvelin::PlayerWidget *>(u"music1"_s)->showNotice(u"附近没有声音起点，标签未动"_s);
        auto *current = window->findChild<QLabel *>(u"liveCurrent"_s), *next = window->findChild<QLabel *>(u"liveNext"_s);
        QTRY_COMPARE(current->text(), u"第一句"_s);
        QCOMPARE(next->text(), u"第二句 [x]"_s);
        QTRY_COMPARE(editor->extraSelections().value(0).cursor.blockNumber(), 0);
        QCOMPARE(editor->textCursor().position(), caret.position());
        const auto *display = window->findChild<QFrame *>(u"display"_s);
        // Whole and inside the display, once the layout has settled on the new texts.
        const auto fits = [display](const QLabel *line) {
            const QRect inDisplay(line->mapTo(display, QPoint()), line->size());
            return line->isVisible() && line->height() >= line->sizeHint().height()
                   && display->contentsRect().contains(inDisplay);
        };
        for (const QLabel *line : {current, next})
            QTRY_VERIFY2(fits(line), qPrintable(u"%1: %2 px high, %3 needed"_s.arg(line->objectName())
                                                    .arg(line->height())
                                                    .arg(line->sizeHint().height())));
    }

    // One page per click on the link: a press released off the label and
    // the second click of a double click open none. A
    // failed opening is reported each time and the program goes on.
    void linkOpensThePageOncePerClick()
    {
        QVERIFY(open());
        tools.openUrlResult = false;
        QWindow *screen = window->windowHandle();
        const QWidget *link = window->findChild<QWidget *>(u"Label3"_s);
        const QPoint label = link->mapTo(window.get(), link->rect().center());
        const QPoint above = label - QPoint(0, link->height());
        QTest::mousePress(screen, Qt::LeftButton, {}, label);
        QTest::mouseMove(screen, above);
        QTest::mouseRelease(screen, Qt::LeftButton, {}, above);
        QVERIFY(tools.openedUrls.isEmpty());
        for (int i = 0; i < 2; ++i)
            QTest::mouseDClick(screen, Qt::LeftButton, {}, label);
        QCOMPARE(tools.openedUrls, QList<QUrl>(2, QUrl(QStringLiteral(TARVELIN_HOMEPAGE))));
        QCOMPARE(tools.errors.size(), 2);
        QVERIFY(window->isVisible());
    }

    // The clock label: the date on the first line, the time with its seconds
    // on the second, both inside the label's 73 px at the default font; the
    // locale's own forms where they fit, numeric ones where not.
    void clock_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("expected"); // "": any that fits
        for (const char *locale : {"C", "en_US", "en_GB", "zh_CN", "zh_TW", "zh_HK", "de_DE", "fr_FR", "ja_JP",
                                   "ko_KR", "ru_RU", "es_ES", "ar_EG", "fa_IR", "th_TH"})
            QTest::addRow("%s", locale) << QLocale(QString::fromLatin1(locale)) << QTime(23, 34, 57) << QString();
        QTest::newRow("de_DE as it is") << QLocale(u"de_DE"_s) << QTime(14, 5, 9) << u"06.12.26\n14:05:09"_s;
        QTest::newRow("midnight: the date alone") << QLocale(u"zh_CN"_s) << QTime(0, 0, 0, 400) << u"2026/12/6"_s;
        QTest::newRow("one second past midnight") << QLocale(u"zh_CN"_s) << QTime(0, 0, 1) << u"2026/12/6\n00:00:01"_s;
    }
    void clock()
    {
        QFETCH(QLocale, locale);
        QFETCH(QTime, time);
        QFETCH(QString, expected);
        tarvelin::ClockLabel label;
        label.resize(73, 25);
        label.setTime(QDateTime(QDate(2026, 12, 6), time), locale);
        const QStringList lines = label.lines();
        for (const QString &line : lines)
            QVERIFY2(label.fontMetrics().horizontalAdvance(line) <= 73, qPrintable(line));
        if (!expected.isEmpty()) {
            QCOMPARE(lines.join(u'\n'), expected);
            return;
        }
        QCOMPARE(lines.size(), 2);
        // The day stands in the date line, in the locale's digits or numeric.
        QVERIFY2(lines.first().contains(locale.toString(6)) || lines.first() == u"2026/12/6"_s, qPrintable(lines.first()));
        // The time line holds the seconds and nothing but the locale's digits,
        // separators and AM/PM: no format letters, no empty zone brackets.
        QString rest = lines.at(1);
        QVERIFY2(rest.contains(locale.toString(57)), qPrintable(rest));
        rest.remove(locale.amText()).remove(locale.pmText());
        for (QChar c : rest)
            QVERIFY2(c.isDigit() || c.isSpace() || c == u':' || c == u'.' || c.category() == QChar::Other_Format,
                     qPrintable(lines.at(1)));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
