// The window as the user meets it: caption, fixed size, controls that do not
// overlap, the tab order, keys that press nothing, and the dialogs' type lists.
#include "ui/window/mainwindow.h"
#include "ui/window/clocklabel.h"
#include "fakes.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>

using namespace Qt::StringLiterals;

class TestMainWindow : public QObject {
    Q_OBJECT
    tarvelin::test::FakeTools m_tools;
    tarvelin::MainWindow *w = nullptr;

    template <typename T = QWidget>
    T *part(const char *name) const
    {
        return w->findChild<T *>(QLatin1String(name));
    }

private Q_SLOTS:
    void init()
    {
        m_tools = {};
        w = new tarvelin::MainWindow(m_tools, std::make_unique<tarvelin::test::FakeEngine>());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
    }
    void cleanup() { delete w; }

    void window()
    {
        QCOMPARE(w->objectName(), u"Form1"_s);
        QCOMPARE(w->windowTitle(), u"Tarvelin v1.0 by:Quorrin"_s);
        QCOMPARE(w->size(), QSize(517, 580));
        QCOMPARE(w->minimumSize(), w->maximumSize());
        QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(w->windowIcon().availableSizes(), (QList<QSize>{{16, 16}, {32, 32}, {48, 48}, {64, 64}}));
        QCOMPARE(part("Label3")->cursor().shape(), Qt::CrossCursor);
        // The clock keeps its box and puts a date above its time.
        auto *clock = part<tarvelin::ClockLabel>("Label2");
        clock->setText(u"2026/12/6 21:03:14"_s);
        QCOMPARE(clock->lines(), (QStringList{u"2026/12/6"_s, u"21:03:14"_s}));
        QCOMPARE(clock->size(), QSize(73, 25));
        // Focus starts on Command1 and tabs round in the design's order.
        QTRY_COMPARE(QApplication::focusWidget(), part("Command1"));
        for (const char *next : {"Command2", "Text1", "Text2", "music1", "Command3", "Command4", "Text3", "Command1"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), part(next));
        }
    }

    // Every control shows whole inside its container, apart from the player,
    // which reaches past the window's right and bottom edges; no two
    // neighbours overlap; the buttons stand in a column in the design's order.
    void layout()
    {
        const auto controls = w->findChildren<QWidget *>(QRegularExpression(u"^(Frame|Text|Command|Label|music)\\d$"_s));
        QCOMPARE(controls.size(), 14);
        for (QWidget *c : controls) {
            const QRect shown = c->objectName() == u"music1"_s ? QRect(c->pos(), QSize(1, 1)) : c->geometry();
            QVERIFY2(c->isVisible() && c->parentWidget()->rect().contains(shown), qPrintable(c->objectName()));
            for (QWidget *other : controls)
                QVERIFY2(other == c || other->parentWidget() != c->parentWidget()
                             || !other->geometry().intersects(c->geometry()),
                         qPrintable(c->objectName() + u" overlaps "_s + other->objectName()));
        }
        auto buttons = w->findChildren<QPushButton *>(QRegularExpression(u"^Command"_s));
        std::sort(buttons.begin(), buttons.end(), [](QWidget *a, QWidget *b) { return a->y() < b->y(); });
        QStringList column;
        for (QPushButton *button : buttons)
            column << button->text() + (button->x() == buttons[0]->x() ? u""_s : u" out of line"_s);
        QCOMPARE(column, (QStringList{u"导入文本"_s, u"导入歌曲"_s, u"保存歌词"_s, u"插入时间"_s}));
    }

    void keyboard()
    {
        // Typing does not change the path boxes (tabbing to them is checked above).
        for (auto *box : {part<QLineEdit>("Text1"), part<QLineEdit>("Text2")}) {
            box->setText(u"/music/song.mp3"_s);
            QTest::keyClicks(box, u"abc"_s);
            QTest::keyClick(box, Qt::Key_Backspace);
            QCOMPARE(box->text(), u"/music/song.mp3"_s);
        }
        // Enter, Escape and Alt+letters press no button.
        QTest::keyClick(part("Command1"), Qt::Key_Return);
        QTest::keyClick(part("Command1"), Qt::Key_Escape);
        QTest::keyClick(part("Text1"), Qt::Key_Return);
        QTest::keyClick(part("Text1"), Qt::Key_D, Qt::AltModifier);
        QVERIFY(m_tools.requests.isEmpty());
    }

    // The buttons' dialogs: open or save, and their type lists, where a type
    // whose description is its own pattern reads "*.txt", not "*.txt (*.txt)".
    void fileDialogs()
    {
        for (const char *button : {"Command1", "Command2", "Command4"})
            QTest::mouseClick(part(button), Qt::LeftButton);
        QStringList seen;
        for (const auto &request : std::as_const(m_tools.requests))
            seen << (request.mode == tarvelin::PlatformTools::FileMode::Save ? u"save "_s : u"open "_s)
                    + request.title + u": "_s + request.nameFilters.join(u" | "_s);
        QCOMPARE(seen, (QStringList{u"open 导入歌词: *.txt"_s, u"open 导入歌曲: *.mp3 | *.wma | *.rm"_s,
                                    u"save 保存歌词: *.lrc | *.txt"_s}));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
