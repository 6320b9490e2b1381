// The window as the user meets it: fixed size, controls that do not overlap,
// the tab order, keys that press nothing, the dialogs' type lists, the clock
// label in every locale, and the author link "by:Quorrin". All mouse input
// goes through the window system layer, so Qt's own dispatch (child lookup,
// propagation to the parent, implicit grab, double-click detection) decides
// who sees each event.
#define QTEST_QPA_MOUSE_HANDLING

#include "ui/window/mainwindow.h"
#include "ui/window/clocklabel.h"
#include "ui/link/linklabel.h"
#include "fakes.h"

#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>
#include <QWindow>

using namespace Qt::StringLiterals;

class TestMainWindow : public QObject {
    Q_OBJECT
    tarvelin::test::FakeTools m_tools;
    std::unique_ptr<tarvelin::MainWindow> w;

    template <typename T = QWidget>
    T *part(const QString &name) const { return w->findChild<T *>(name); }
    // In window coordinates: the middle of the named control, or for "bare"
    // the window surface between the button column and the clock caption.
    QPoint spot(const QString &name) const
    {
        const QRect button = part(u"Command3"_s)->geometry();
        if (name == u"bare"_s)
            return {button.center().x(), (button.bottom() + part(u"Label1"_s)->y()) / 2};
        return part(name)->mapTo(w.get(), part(name)->rect().center());
    }

private Q_SLOTS:
    // One window for every test, in their order: the first looks at where
    // the focus starts.
    void initTestCase()
    {
        w = std::make_unique<tarvelin::MainWindow>(m_tools, std::make_unique<tarvelin::test::FakeEngine>());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    }

    // Fixed size; every control shows whole inside its container (the player
    // reaches past the window's edges) and no two neighbours overlap; focus
    // starts on Command1 and tabs round in the design's order.
    void window()
    {
        QCOMPARE(w->size(), QSize(517, 580));
        QCOMPARE(w->minimumSize(), w->maximumSize());
        const auto controls = w->findChildren<QWidget *>(QRegularExpression(u"^(Frame|Text|Command|Label|music)\\d$"_s));
        QCOMPARE(controls.size(), 14);
        for (QWidget *c : controls) {
            const QRect shown = c->objectName() == u"music1"_s ? QRect(c->pos(), QSize(1, 1)) : c->geometry();
            QVERIFY2(c->isVisible() && c->parentWidget()->rect().contains(shown), qPrintable(c->objectName()));
            for (QWidget *other : controls)
                QVERIFY2(other == c || other->parentWidget() != c->parentWidget() || !other->geometry().intersects(c->geometry()),
                         qPrintable(c->objectName() + u" overlaps "_s + other->objectName()));
        }
        QTRY_COMPARE(QApplication::focusWidget(), part(u"Command1"_s));
        for (const QString &next : {u"Command2"_s, u"Text1"_s, u"Text2"_s, u"music1"_s, u"Command3"_s, u"Command4"_s,
                                    u"Text3"_s, u"Command1"_s}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), part(next));
        }
    }

    // Typing does not change the path boxes; Enter, Escape and Alt+letters
    // press no button. The buttons' dialogs: open or save, and their type
    // lists, where "*.txt" is not shown as "*.txt (*.txt)".
    void keysAndFileDialogs()
    {
        auto *box = part<QLineEdit>(u"Text1"_s);
        box->setText(u"/music/song.mp3"_s);
        QTest::keyClicks(box, u"abc"_s);
        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(box->text(), u"/music/song.mp3"_s);
        QTest::keyClick(part(u"Command1"_s), Qt::Key_Return);
        QTest::keyClick(part(u"Command1"_s), Qt::Key_Escape);
        QTest::keyClick(box, Qt::Key_D, Qt::AltModifier);
        QVERIFY(m_tools.requests.isEmpty());
        for (const QString &button : {u"Command1"_s, u"Command2"_s, u"Command4"_s})
            QTest::mouseClick(part(button), Qt::LeftButton);
        QStringList seen;
        for (const auto &request : std::as_const(m_tools.requests))
            seen << (request.mode == tarvelin::PlatformTools::FileMode::Save ? u"save "_s : u"open "_s)
                    + request.title + u": "_s + request.nameFilters.join(u" | "_s);
        QCOMPARE(seen, (QStringList{u"open 导入歌词: *.txt"_s, u"open 导入歌曲: *.mp3 | *.wma | *.rm"_s,
                                    u"save 保存歌词: *.lrc | *.txt"_s}));
    }

    // Only the bare surface takes the link's underline away; moving from the
    // label onto a button, a text box in a frame or the editor leaves it on.
    void linkUnderlineFollowsTheMouse()
    {
        const std::pair<QString, bool> walk[] = {{u"Label3"_s, true}, {u"Command1"_s, true}, {u"Text1"_s, true},
                                                 {u"Text3"_s, true}, {u"bare"_s, false}, {u"Label3"_s, true}};
        for (const auto &[name, underlined] : walk) {
            QTest::mouseMove(w->windowHandle(), spot(name));
            QVERIFY2(part<tarvelin::LinkLabel>(u"Label3"_s)->isUnderlined() == underlined, qPrintable(name));
        }
    }

    // One page per left click on the link: a right click, a press released
    // off the label and the second click of a double click open none. A
    // failed opening is reported each time and the program goes on.
    void linkOpensThePageOncePerClick()
    {
        m_tools.openUrlResult = false;
        const QPoint label = spot(u"Label3"_s), bare = spot(u"bare"_s);
        QTest::mouseClick(w->windowHandle(), Qt::RightButton, {}, label);
        QTest::mousePress(w->windowHandle(), Qt::LeftButton, {}, label);
        QTest::mouseMove(w->windowHandle(), bare);
        QTest::mouseRelease(w->windowHandle(), Qt::LeftButton, {}, bare);
        QVERIFY(m_tools.openedUrls.isEmpty());
        for (int i = 0; i < 2; ++i)
            QTest::mouseDClick(w->windowHandle(), Qt::LeftButton, {}, label);
        QCOMPARE(m_tools.openedUrls, QList<QUrl>(2, QUrl(QStringLiteral(TARVELIN_HOMEPAGE))));
        QCOMPARE(m_tools.errors.size(), 2);
        QVERIFY(w->isVisible());
    }

    // The clock label: the date on the first line, the time with its seconds
    // on the second, both inside the label's 73 px at the default font; the
    // locale's own forms where they fit, numeric ones where not.
    void clock_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("date"); // "": any that fits
        QTest::addColumn<QString>("clock");
        for (const char *locale : {"C", "en_US", "en_GB", "zh_CN", "zh_TW", "zh_HK", "de_DE", "fr_FR", "ja_JP",
                                   "ko_KR", "ru_RU", "es_ES", "ar_EG", "fa_IR", "th_TH"}) {
            QTest::addRow("%s, late", locale) << locale << QTime(23, 34, 57) << "" << "";
            QTest::addRow("%s, after midnight", locale) << locale << QTime(0, 34) << "" << "";
        }
        QTest::newRow("de_DE as it is") << "de_DE" << QTime(14, 5, 9) << "06.12.26" << "14:05:09";
        QTest::newRow("midnight: the date alone") << "zh_CN" << QTime(0, 0, 0, 400) << "2026/12/6" << "";
        QTest::newRow("one second past midnight") << "zh_CN" << QTime(0, 0, 1) << "2026/12/6" << "00:00:01";
    }
    void clock()
    {
        QFETCH(QString, locale);
        QFETCH(QTime, time);
        QFETCH(QString, date);
        QFETCH(QString, clock);
        tarvelin::ClockLabel label;
        label.resize(73, 25);
        label.setTime(QDateTime(QDate(2026, 12, 6), time), QLocale(locale));
        const QStringList lines = label.lines();
        QCOMPARE(lines.size(), time.msecsSinceStartOfDay() < 1000 ? 1 : 2);
        for (const QString &line : lines)
            QVERIFY2(label.fontMetrics().horizontalAdvance(line) <= 73, qPrintable(line));
        const QLocale digits(locale);
        // The day stands in the date line, in the locale's digits or numeric.
        QVERIFY2(lines.first().contains(digits.toString(6)) || lines.first() == u"2026/12/6"_s, qPrintable(lines.first()));
        QVERIFY2(date.isEmpty() || lines.first() == date, qPrintable(lines.first()));
        if (lines.size() < 2)
            return;
        QVERIFY2(clock.isEmpty() || lines.at(1) == clock, qPrintable(lines.at(1)));
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

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
