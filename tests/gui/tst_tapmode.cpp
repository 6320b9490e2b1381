// Tap mode and the press moment of 插入时间, through the window with the fake
// engine. Presses that need a moment of their own carry a chosen timestamp on
// the monotonic clock, as the X server stamps them.
#include "window/mainwindow.h"
#include "tapping/pressmoment.h"
#include "fakes.h"

#include <QAction>
#include <QApplication>
#include <QInputMethodQueryEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

using namespace Qt::StringLiterals;
using namespace tarvelin::test;

namespace {

const QString Lyrics = u"[ar:Singer]\n\none\n[00:30.00][01:00.00]two\n\nthree\n"_s; // lyric lines 2, 3, 5

void sendMouse(QWidget *to, QEvent::Type type, ulong stamp)
{
    QMouseEvent event(type, QPointF(5, 5), to->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    event.setTimestamp(stamp);
    QApplication::sendEvent(to, &event);
}

} // namespace

class TestTapMode : public QObject, tarvelin::test::WindowFixture {
    Q_OBJECT
    QAction *m_tapMode = nullptr;

    int caretLine() const { return editor->textCursor().blockNumber(); }

private Q_SLOTS:
    void init()
    {
        QVERIFY(open());
        QVERIFY((m_tapMode = window->findChild<QAction *>(u"tapMode"_s)));
        editor->setPlainText(Lyrics);
        engine->load(u"/song.mp3"_s); // playing
    }

    // A script of keys in tap mode (see playKeys), the caret on line 0.
    // Checks the lines that changed, the current line and the position after
    // any seek.
    void keys_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("changed"); // "line:text"
        QTest::addColumn<int>("current");
        QTest::addColumn<double>("position");
        const auto row = [](const char *name, const char *script, const QStringList &changed, int current,
                            double position) {
            QTest::newRow(name) << QString::fromUtf8(script) << changed << current << position;
        };
        row("tags skip ID and blank lines, a re-tap replaces the first tag", "@5.009 Space @7.5 Enter",
            {u"2:[00:05.00]one"_s, u"3:[00:07.50][01:00.00]two"_s}, 5, 7.5);
        row("a held key does not tag again, Down skips blank lines", "Space Space* Down", {u"2:[00:00.00]one"_s}, 5, 0);
        row("held keys tag once per press, even when the repeats are not marked",
            "@5 Space+ Space+ Space~ Space~ Space- @7 Enter+ Enter~ Enter-",
            {u"2:[00:05.00]one"_s, u"3:[00:07.00][01:00.00]two"_s}, 5, 7);
        row("a held Down moves on, a held Backspace steps back one line",
            "#2 Down+ Down~ Down- @20 Backspace+ Backspace~ Backspace~ Backspace-", {}, 3, 28);
        row("Up stops at the first lyric line, keys that do nothing, Left/Right seek 3 s",
            "Down Up A Tab Delete Alt+Right @2 Right Right Left", {}, 2, 5);
        row("no lyric line below: no tag; the last line stays current", "#6 Space #5 @3 Space @4 Space",
            {u"5:[00:04.00]three"_s}, 5, 4);
        row("Backspace seeks tag - 2 s, not for an untagged line, stops at the first", "#5 @20 Backspace Backspace Backspace",
            {}, 2, 28);
        row("undo a step back", "@5 Space @9 Space Backspace Ctrl+Z",
            {u"2:[00:05.00]one"_s, u"3:[00:09.00][01:00.00]two"_s}, 5, 7);
        row("one undo step per tap, redo", "@5 Space @7 Space Ctrl+Z Ctrl+Z Ctrl+Shift+Z", {u"2:[00:05.00]one"_s}, 3, 7);
        row("R replays from tag - 2 s", "#3 R", {}, 3, 28);
        row("nudge: playing plays on from 1 s before, paused stays, undone in one step",
            "#3 Alt+Right Ctrl+Z P Alt+Shift+Left", {u"3:[00:29.99][01:00.00]two"_s}, 3, 29.1);
    }
    void keys()
    {
        QFETCH(QString, script);
        QFETCH(QStringList, changed);
        m_tapMode->trigger();
        playKeys(editor, *engine, script);
        QCOMPARE(editor->toPlainText().split(u'\n'), changedLines(Lyrics, changed));
        QTEST(caretLine(), "current");
        QTEST(*engine->positionValue, "position");
        // Only a change to the text takes the document out of its saved state.
        QCOMPARE(editor->document()->isModified(), !changed.isEmpty());
    }

    // A tap, or a press of 插入时间 with the mouse or Space, is the position
    // at the press's timestamp: the song time since then (at the speed it
    // plays, none while paused) is taken back.
    void pressMoment_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<double>("speed"); // 0: paused
        QTest::addColumn<QString>("tag");
        QTest::newRow("tap at 0.75x") << "tap" << 0.75 << "[00:09.70]";
        QTest::newRow("tap while paused") << "tap" << 0.0 << "[00:10.00]";
        QTest::newRow("mouse on the button") << "mouse" << 1.0 << "[00:09.60]";
        QTest::newRow("Space on the button") << "space" << 1.0 << "[00:09.60]";
        QTest::newRow("Space held on the button: one tag") << "held" << 1.0 << "[00:09.60]";
    }
    void pressMoment()
    {
        QFETCH(QString, how);
        QFETCH(double, speed);
        QFETCH(QString, tag);
        speed > 0 ? engine->setSpeed(speed) : engine->pause();
        engine->positionValue = 10.0099;
        editor->setTextCursor(QTextCursor(editor->document()->findBlockByNumber(2)));
        const ulong stamp = stampMsAgo(400);
        auto *button = window->findChild<QPushButton *>(u"Command3"_s);
        if (how == u"tap") {
            m_tapMode->trigger();
            sendKey(editor, Qt::Key_Space, Qt::NoModifier, stamp);
        } else if (how == u"mouse") {
            sendMouse(button, QEvent::MouseButtonPress, stamp);
            sendMouse(button, QEvent::MouseButtonRelease, stamp);
        } else if (how == u"space") {
            sendKey(button, Qt::Key_Space, Qt::NoModifier, stamp);
        } else {
            sendKeyEvent(button, QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, stamp);
            for (const QChar step : u"~~-"_s)
                sendHeld(button, step, Qt::Key_Space, Qt::NoModifier);
        }
        QTRY_COMPARE(editor->document()->findBlockByNumber(2).text(), tag + u"one"_s);
    }

    // F2 from anywhere toggles; while on, the focus stays in the editor, no
    // input method takes the keys (a composition under way is dropped, not
    // drawn in the tag that goes in where it was) and a click picks the
    // current line. A click on a button still clicks it: the focus, taken
    // back before the button was released, once made it drop the click.
    void switching()
    {
        const auto preedit = [this] { return editor->document()->findBlockByNumber(2).layout()->preeditAreaText(); };
        editor->setTextCursor(QTextCursor(editor->document()->findBlockByNumber(2)));
        QInputMethodEvent compose(u"wo"_s, {});
        QApplication::sendEvent(editor, &compose);
        QCOMPARE(preedit(), u"wo"_s);
        window->findChild<QPushButton *>(u"Command1"_s)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);
        QVERIFY(editor->hasFocus());
        sendKey(editor, Qt::Key_Space, {}, 0);
        QCOMPARE(preedit(), QString());
        QCOMPARE(editor->document()->findBlockByNumber(2).text(), u"[00:00.00]one"_s);

        QInputMethodQueryEvent query(Qt::ImEnabled);
        QApplication::sendEvent(editor, &query);
        QVERIFY(!query.value(Qt::ImEnabled).toBool() && !editor->testAttribute(Qt::WA_InputMethodEnabled));

        QTest::mouseClick(window->findChild<QWidget *>(u"music1"_s), Qt::LeftButton, {}, QPoint(5, 5));
        QTRY_VERIFY(editor->hasFocus());
        auto *importSong = window->findChild<QPushButton *>(u"Command2"_s);
        QTest::mousePress(importSong, Qt::LeftButton);
        QCoreApplication::processEvents();
        QTest::mouseRelease(importSong, Qt::LeftButton);
        QCOMPARE(tools.requests.value(0).title, u"导入歌曲"_s);
        QTRY_VERIFY(editor->hasFocus());
        const QRect three = editor->cursorRect(QTextCursor(editor->document()->findBlockByNumber(5)));
        QTest::mouseClick(editor->viewport(), Qt::LeftButton, {}, three.center() + QPoint(20, 0));
        QCOMPARE(caretLine(), 5);
        QCOMPARE(editor->extraSelections().value(0).cursor.blockNumber(), 5); // the current line

        QTest::keyClick(editor, Qt::Key_F2);
        QVERIFY(!m_tapMode->isChecked());
        QVERIFY(editor->testAttribute(Qt::WA_InputMethodEnabled));
        QCOMPARE(preedit(), QString());
    }
};

QTEST_MAIN(TestTapMode)
#include "tst_tapmode.moc"
