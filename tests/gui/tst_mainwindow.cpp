// The window as the user meets it: fixed size, controls that do not overlap,
// the tab order, keys that press nothing, and the dialogs' type lists.
#include "ui/window/mainwindow.h"
#include "fakes.h"

#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

class TestMainWindow : public QObject {
    Q_OBJECT
    tarvelin::test::FakeTools m_tools;
    tarvelin::MainWindow *w = nullptr;

    template <typename T = QWidget>
    T *part(const char *name) const { return w->findChild<T *>(QLatin1String(name)); }

private Q_SLOTS:
    void init()
    {
        m_tools = {};
        w = new tarvelin::MainWindow(m_tools, std::make_unique<tarvelin::test::FakeEngine>());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
    }
    void cleanup() { delete w; }

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
        QTRY_COMPARE(QApplication::focusWidget(), part("Command1"));
        for (const char *next : {"Command2", "Text1", "Text2", "music1", "Command3", "Command4", "Text3", "Command1"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), part(next));
        }
    }

    // Typing does not change the path boxes; Enter, Escape and Alt+letters
    // press no button. The buttons' dialogs: open or save, and their type
    // lists, where "*.txt" is not shown as "*.txt (*.txt)".
    void keysAndFileDialogs()
    {
        auto *box = part<QLineEdit>("Text1");
        box->setText(u"/music/song.mp3"_s);
        QTest::keyClicks(box, u"abc"_s);
        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(box->text(), u"/music/song.mp3"_s);
        QTest::keyClick(part("Command1"), Qt::Key_Return);
        QTest::keyClick(part("Command1"), Qt::Key_Escape);
        QTest::keyClick(box, Qt::Key_D, Qt::AltModifier);
        QVERIFY(m_tools.requests.isEmpty());
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
