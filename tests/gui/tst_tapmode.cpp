// Tap mode, the press moment of 插入时间 and the live line, through the window
// with the fake engine. Presses that need a moment of their own carry a chosen
// timestamp on the monotonic clock, as the X server stamps them.
#include "ui/window/mainwindow.h"
#include "fakes.h"

#include <QAction>
#include <QApplication>
#include <QInputMethodQueryEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QToolButton>

#include <ctime>

using namespace Qt::StringLiterals;
using State = tarvelin::MediaEngine::State;

namespace {

const QString Lyrics = u"[ar:Singer]\n\none\ntwo\n\nthree"_s; // lyric lines 2, 3, 5

// The X server's clock: CLOCK_MONOTONIC in ms, cut to 32 bits.
ulong stampMsAgo(int ms)
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return quint32(qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000 - ms);
}

void sendKey(QWidget *to, int key, Qt::KeyboardModifiers mods, ulong stamp, bool repeat = false)
{
    const QString text = key == Qt::Key_Space || (key >= Qt::Key_A && key <= Qt::Key_Z && !mods) ? QChar(key).toLower() : QString();
    QKeyEvent press(QEvent::KeyPress, key, mods, text, repeat);
    press.setTimestamp(stamp);
    QApplication::sendEvent(to, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text, repeat);
    QApplication::sendEvent(to, &release);
}

void sendMouse(QWidget *to, QEvent::Type type, QPoint at, ulong stamp)
{
    const auto buttons = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
    QMouseEvent event(type, at, to->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    event.setTimestamp(stamp);
    QApplication::sendEvent(to, &event);
}

} // namespace

class TestTapMode : public QObject {
    Q_OBJECT
    tarvelin::test::FakeTools m_tools;
    tarvelin::test::FakeEngine *m_engine = nullptr;
    tarvelin::MainWindow *w = nullptr;
    QPlainTextEdit *m_editor = nullptr;
    QAction *m_tapMode = nullptr;

    int caretLine() const { return m_editor->textCursor().blockNumber(); }

private Q_SLOTS:
    void init()
    {
        auto engine = std::make_unique<tarvelin::test::FakeEngine>();
        m_engine = engine.get();
        w = new tarvelin::MainWindow(m_tools, std::move(engine));
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w));
        m_editor = w->findChild<QPlainTextEdit *>(u"Text3"_s);
        m_tapMode = w->findChild<QAction *>(u"tapMode"_s);
        QVERIFY(m_editor && m_tapMode);
        m_editor->setPlainText(Lyrics);
        m_engine->load(u"/song.mp3"_s); // playing
    }
    void cleanup() { delete w; }

    // A script of keys in tap mode from line 0: "@s" sets the position the
    // engine reports, "*" after a key makes it an auto-repeat. Checks the
    // text, the current line, the position after any seek and the state.
    void keys_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("text"); // lines joined by '|'
        QTest::addColumn<int>("current");
        QTest::addColumn<double>("position");
        QTest::addColumn<bool>("playing");
        const QString plain = Lyrics.split(u'\n').join(u'|');
        const auto row = [](const char *name, const char *script, QAnyStringView text, int current, double position,
                            bool playing = true) {
            QTest::newRow(name) << QString::fromUtf8(script) << text.toString() << current << position << playing;
        };
        row("tags skip ID and blank lines", "@5.009 Space @7.5 Enter", "[ar:Singer]||[00:05.00]one|[00:07.50]two||three", 5, 7.5);
        row("re-tap replaces, held key does not repeat", "@5 Space Space* Up @6 Space", "[ar:Singer]||[00:06.00]one|two||three", 3, 6);
        row("last line stays current", "Space Space Space Space", "[ar:Singer]||[00:00.00]one|[00:00.00]two||[00:00.00]three", 5, 0);
        row("typing, Tab and Delete do nothing", "A Tab Delete", plain, 0, 0);
        row("Up and Down move without tagging", "Down Down Down Up", plain, 3, 0);
        row("Backspace steps back, seeks tag - 2 s", "@5 Space @9 Space @12 Backspace", "[ar:Singer]||[00:05.00]one|[00:09.00]two||three", 3, 7);
        row("R replays from tag - 2 s and plays", "@1 Space Up P R", "[ar:Singer]||[00:01.00]one|two||three", 2, 0);
        row("nudge while playing plays on from 1 s before", "@5 Space Up Alt+Right", "[ar:Singer]||[00:05.10]one|two||three", 2, 4.1);
        row("fine nudge while paused does not seek", "@5 Space Up P Alt+Shift+Left", "[ar:Singer]||[00:04.99]one|two||three", 2, 5, false);
        row("Left clamps at 0", "@2 Left", plain, 0, 0);
        row("Right seeks 3 s", "@2 Right", plain, 0, 5);
        row("undo a tap: its line is current again", "@5 Space @7 Space Ctrl+Z", "[ar:Singer]||[00:05.00]one|two||three", 3, 7);
        row("redo puts it back", "@5 Space @7 Space Ctrl+Z Ctrl+Shift+Z", "[ar:Singer]||[00:05.00]one|[00:07.00]two||three", 5, 7);
        row("undo a step back", "@5 Space @9 Space Backspace Ctrl+Z", "[ar:Singer]||[00:05.00]one|[00:09.00]two||three", 5, 7);
        row("Escape leaves, typing works again", "Escape A", "a[ar:Singer]||one|two||three", 0, 0);
    }
    void keys()
    {
        QFETCH(QString, script);
        QFETCH(QString, text);
        QFETCH(int, current);
        QFETCH(double, position);
        QFETCH(bool, playing);
        m_tapMode->trigger();
        for (const QString &step : script.split(u' ')) {
            if (step.startsWith(u'@')) {
                m_engine->positionValue = step.mid(1).toDouble();
                continue;
            }
            const bool repeat = step.endsWith(u'*');
            const QKeySequence key(QString(step).remove(u'*'));
            sendKey(m_editor, key[0].key(), key[0].keyboardModifiers(), 0, repeat);
        }
        QCOMPARE(m_editor->toPlainText().split(u'\n').join(u'|'), text);
        QCOMPARE(caretLine(), current);
        QCOMPARE(*m_engine->positionValue, position);
        QCOMPARE(m_engine->state() == State::Playing, playing);
    }

    // A tap is the position at the press's timestamp: the song time since
    // then (at the speed it plays, none while paused) is taken back. A
    // timestamp from another clock or none gives the position read when it is
    // handled. 插入时间 counts from its press (mouse or Space while focused)
    // and inserts at the release; released outside it inserts nothing.
    void pressMoment_data()
    {
        QTest::addColumn<QString>("how"); // tap, mouse, outside, button Space, click from code
        QTest::addColumn<int>("msAgo"); // -1: a stamp from another clock
        QTest::addColumn<double>("speed");
        QTest::addColumn<bool>("playing");
        QTest::addColumn<QString>("tag");
        for (const QString how : {u"tap"_s, u"mouse"_s}) {
            const QByteArray name = how.toUtf8() + ": ";
            QTest::newRow(name + "400 ms ago") << how << 400 << 1.0 << true << "[00:09.60]";
            QTest::newRow(name + "400 ms ago at 0.75x") << how << 400 << 0.75 << true << "[00:09.70]";
            QTest::newRow(name + "paused") << how << 400 << 1.0 << false << "[00:10.00]";
            QTest::newRow(name + "another clock") << how << -1 << 1.0 << true << "[00:10.00]";
            QTest::newRow(name + "longer ago than any stall") << how << 2500 << 1.0 << true << "[00:10.00]";
        }
        QTest::newRow("release outside") << "outside" << 400 << 1.0 << true << "";
        QTest::newRow("Space on the button") << "space" << 400 << 1.0 << true << "[00:09.60]";
        QTest::newRow("click from code") << "code" << 400 << 1.0 << true << "[00:20.00]";
    }
    void pressMoment()
    {
        QFETCH(QString, how);
        QFETCH(int, msAgo);
        QFETCH(double, speed);
        QFETCH(bool, playing);
        QFETCH(QString, tag);
        m_engine->setSpeed(speed);
        if (!playing)
            m_engine->pause();
        m_engine->positionValue = 10.0099;
        const ulong stamp = msAgo < 0 ? 12345 : stampMsAgo(msAgo);
        auto *button = w->findChild<QPushButton *>(u"Command3"_s);
        if (how == u"tap") {
            m_tapMode->trigger();
            sendKey(m_editor, Qt::Key_Space, Qt::NoModifier, stamp);
            QCOMPARE(m_editor->document()->findBlockByNumber(2).text(), tag + u"one"_s);
            return;
        }
        m_editor->clear();
        if (how == u"space") {
            button->setFocus();
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, u" "_s);
            press.setTimestamp(stamp);
            QApplication::sendEvent(button, &press);
        } else if (how != u"code") {
            sendMouse(button, QEvent::MouseButtonPress, QPoint(5, 5), stamp);
        }
        m_engine->positionValue = 20.0;
        if (how == u"space")
            QTest::keyRelease(button, Qt::Key_Space);
        else if (how == u"code")
            button->click();
        else
            sendMouse(button, QEvent::MouseButtonRelease, how == u"outside" ? QPoint(-40, -40) : QPoint(5, 5), stamp + 100);
        QCOMPARE(m_editor->toPlainText(), tag);
    }

    // F2 from anywhere and the 打轴 button toggle, Escape leaves; while on the
    // focus stays in the editor, no input method takes the keys and a click
    // picks the current line.
    void switching()
    {
        auto *button = w->findChild<QToolButton *>(u"tapModeButton"_s);
        auto *command1 = w->findChild<QPushButton *>(u"Command1"_s);
        command1->setFocus();
        QTest::keyClick(command1, Qt::Key_F2);
        QVERIFY(m_tapMode->isChecked());
        QVERIFY(m_editor->hasFocus());

        QInputMethodQueryEvent query(Qt::ImEnabled);
        QApplication::sendEvent(m_editor, &query);
        QVERIFY(!query.value(Qt::ImEnabled).toBool() && !m_editor->testAttribute(Qt::WA_InputMethodEnabled));
        QInputMethodEvent compose;
        compose.setCommitString(u"你"_s);
        QApplication::sendEvent(m_editor, &compose);
        QCOMPARE(m_editor->toPlainText(), Lyrics);

        QTest::mouseClick(w->findChild<QWidget *>(u"music1"_s), Qt::LeftButton, {}, QPoint(5, 5));
        QTRY_VERIFY(m_editor->hasFocus());
        const QTextBlock three = m_editor->document()->findBlockByNumber(5);
        QTest::mouseClick(m_editor->viewport(), Qt::LeftButton, {},
                          m_editor->cursorRect(QTextCursor(three)).center() + QPoint(20, 0));
        QCOMPARE(caretLine(), 5);
        QCOMPARE(m_editor->extraSelections().value(0).cursor.blockNumber(), 5); // the current line

        QTest::keyClick(m_editor, Qt::Key_F2);
        QVERIFY(!m_tapMode->isChecked());
        QVERIFY(m_editor->testAttribute(Qt::WA_InputMethodEnabled));
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(m_tapMode->isChecked());
        QTest::keyClick(m_editor, Qt::Key_Escape);
        QVERIFY(!button->isChecked());
    }

    // The sung line shows in the player's display with the next one, and in
    // the editor as a background; outside tap mode the caret stays put.
    void liveLine()
    {
        auto *view = w->findChild<QWidget *>(u"liveLyrics"_s);
        auto *current = w->findChild<QLabel *>(u"liveCurrent"_s);
        auto *next = w->findChild<QLabel *>(u"liveNext"_s);
        QTRY_VERIFY(!view->isVisible() && current->text().isEmpty()); // no tags: the display as before

        m_editor->setPlainText(u"[offset:500]\n[00:01.00]one\n\n[00:03.50]two [x]\nthree"_s);
        QTextCursor caret(m_editor->document()->findBlockByNumber(4));
        m_editor->setTextCursor(caret);
        m_engine->positionValue = 3.1; // "two" shows from 3.0 with the offset
        QTRY_COMPARE(current->text(), u"two [x]"_s);
        QVERIFY(view->isVisible() && next->text().isEmpty());
        m_engine->positionValue = 1.0;
        QTRY_COMPARE(current->text(), u"one"_s);
        QCOMPARE(next->text(), u"two [x]"_s);
        QTRY_COMPARE(m_editor->extraSelections().value(0).cursor.blockNumber(), 1);
        QCOMPARE(m_editor->textCursor().position(), caret.position());
    }
};

QTEST_MAIN(TestTapMode)
#include "tst_tapmode.moc"
