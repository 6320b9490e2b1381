// 逐字打轴 through the window with the fake engine: W in tap mode, the unit
// taps, closing a line, stepping back, nudging, undo, and the live view.
#include "widgets/livelyricsview.h"
#include "window/mainwindow.h"
#include "tapping/wordtapping.h"
#include "tapping/autowords.h"
#include "document/lyricsdocument.h"
#include "core/wordunits.h"
#include "fakes.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>

#include <ctime>

using namespace Qt::StringLiterals;

namespace {

const QString Lyrics = u"[ar:x]\n[00:10.00]春眠不觉晓\nHello big world\n\n[00:20.00]three"_s; // lyric lines 1, 2, 4

ulong stampMsAgo(int ms)
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return quint32(qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000 - ms);
}

void sendKeyEvent(QWidget *to, QEvent::Type type, int key, Qt::KeyboardModifiers mods, ulong stamp)
{
    const QString text = key == Qt::Key_Space || (key >= Qt::Key_A && key <= Qt::Key_Z && !mods) ? QChar(key).toLower() : QString();
    QKeyEvent event(type, key, mods, text);
    event.setTimestamp(stamp);
    QApplication::sendEvent(to, &event);
}

} // namespace

class TestWordTapping : public QObject {
    Q_OBJECT
    tarvelin::test::FakeTools m_tools;
    tarvelin::test::FakeEngine *m_engine = nullptr;
    tarvelin::MainWindow *w = nullptr;
    QPlainTextEdit *m_editor = nullptr;
    tarvelin::WordTapping *m_words = nullptr;

private Q_SLOTS:
    void init()
    {
        auto engine = std::make_unique<tarvelin::test::FakeEngine>();
        m_engine = engine.get();
        w = new tarvelin::MainWindow(m_tools, std::move(engine));
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w));
        m_editor = w->findChild<QPlainTextEdit *>(u"Text3"_s);
        m_words = w->findChild<tarvelin::WordTapping *>();
        QVERIFY(m_editor && m_words);
        m_editor->setPlainText(Lyrics);
        m_editor->document()->setModified(false);
        m_engine->load(u"/song.mp3"_s);
        m_engine->pause();
    }
    void cleanup() { delete w; }

    // A script of keys in tap mode, the caret on line 1: "@s" sets the
    // position the engine reports, "#n" puts the caret on line n; "+", "~"
    // and "-" after a key are its press, a repeat (a release and a press with
    // the same timestamp) and its release; "!ms" after a key presses it that
    // long ago. Checks the lines that changed, the line in word mode (-1:
    // none; the caret's line) and how many of its units are tagged, and the
    // position.
    void keys_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("changed"); // "line:text"
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("tagged");
        QTest::addColumn<double>("position");
        const auto row = [](const char *name, const char *script, const QStringList &changed, int line, int tagged,
                            double position) {
            QTest::newRow(name) << QString::fromUtf8(script) << changed << line << tagged << position;
        };
        row("W plays from 2 s before the line's tag", "#1 W", {}, 1, 0, 8.0);
        row("every unit, Enter closes and goes on to the next lyric line",
            "#1 W @10.5 Space @11 Space @11.4 Space @11.8 Space @12.2 Space @12.9 Enter",
            {u"1:[00:10.50]<00:10.50>春<00:11.00>眠<00:11.40>不<00:11.80>觉<00:12.20>晓<00:12.90>"_s}, 2, 0, 12.9);
        row("the next line's first tap closes the line; words in a spaced script",
            "#1 W @10.5 Space Space Space Space Space @13 Space @13.6 Space",
            {u"1:[00:10.50]<00:10.50>春<00:10.50>眠<00:10.50>不<00:10.50>觉<00:10.50>晓<00:13.00>"_s,
             u"2:[00:13.00]<00:13.00>Hello <00:13.60>big world"_s},
            2, 2, 13.6);
        row("a press is taken at its moment", "#1 W @10 Space!400", {u"1:[00:09.60]<00:09.60>春眠不觉晓"_s}, 1, 1, 10);
        row("a held Space tags one unit", "#1 W @10.5 Space+ Space~ Space~ Space-",
            {u"1:[00:10.50]<00:10.50>春眠不觉晓"_s}, 1, 1, 10.5);
        row("Backspace takes the last unit back and plays from 1 s before it",
            "#1 W @10.5 Space @11 Space @11.3 Backspace", {u"1:[00:10.50]<00:10.50>春眠不觉晓"_s}, 1, 1, 10.0);
        row("nudges move the last unit, played from 1 s before",
            "#1 W @10.5 Space @11 Space Alt+Left Alt+Shift+Right", {u"1:[00:10.50]<00:10.50>春<00:10.91>眠不觉晓"_s},
            1, 2, 9.91);
        row("a nudge stops at the unit before", "#1 W @10.5 Space @10.7 Space Alt+Left Alt+Left Alt+Left",
            {u"1:[00:10.50]<00:10.50>春<00:10.50>眠不觉晓"_s}, 1, 2, 9.5);
        row("nudging the first unit moves the line's tag too", "#1 W @10.5 Space Alt+Right",
            {u"1:[00:10.60]<00:10.60>春眠不觉晓"_s}, 1, 1, 9.6);
        row("Ctrl+Z restores the line exactly, then a tap starts it again",
            "#1 W @10.5 Space @11 Space Ctrl+Z Ctrl+Z @12 Space", {u"1:[00:12.00]<00:12.00>春眠不觉晓"_s}, 1, 1, 12);
        row("an untagged line gets its tag from the first unit, no seek", "#2 @3 W Space",
            {u"2:[00:03.00]<00:03.00>Hello big world"_s}, 2, 1, 3);
        row("Esc: back to line taps; a re-tap moves the word tags with the line",
            "#1 W @10.5 Space Escape @15 Space", {u"1:[00:15.00]<00:15.00>春眠不觉晓"_s}, -1, 0, 15);
        row("after Enter the caret is on the next line: the closed one picked again and re-tapped",
            "#1 W @10.5 Space @11 Space Space Space Space @12 Enter Escape #1 @15 Space",
            {u"1:[00:15.00]<00:15.00>春<00:15.50>眠<00:15.50>不<00:15.50>觉<00:15.50>晓<00:16.50>"_s}, -1, 0, 15);
        row("Enter before any unit does nothing; Up and Down are not line moves here", "#1 W Enter Down Up", {}, 1, 0, 8.0);
        row("M: two characters sung as one get one word tag",
            "#1 W M @10.5 Space @11 Space @11.5 Space @12 Space Enter",
            {u"1:[00:10.50]<00:10.50>春眠<00:11.00>不<00:11.50>觉<00:12.00>晓<00:12.00>"_s}, 2, 0, 12);
        row("M after a tap merges the units still to tap; Shift+M splits them back",
            "#1 W @10.5 Space M M Shift+M @11 Space", {u"1:[00:10.50]<00:10.50>春<00:11.00>眠不觉晓"_s}, 1, 2, 11);
        row("M with nothing after the last unit changes nothing", "#1 W M M M M M @10.5 Space",
            {u"1:[00:10.50]<00:10.50>春眠不觉晓"_s}, 1, 1, 10.5);
        row("mixed script: a phrase merged", "#2 @3 W M Space @4 Space",
            {u"2:[00:03.00]<00:03.00>Hello big <00:04.00>world"_s}, 2, 2, 4);
        row("the merge outlives Ctrl+Z of the taps after it",
            "#1 W M @10.5 Space @11 Space Ctrl+Z @11.5 Space", {u"1:[00:10.50]<00:10.50>春眠<00:11.50>不觉晓"_s}, 1, 2,
            11.5);
        row("a line tapped with a merge keeps it when tapped again",
            "#1 W M @10.5 Space Space Space Space Enter Escape #4 #1 W @13 Space Space Space Space @14 Enter",
            {u"1:[00:13.00]<00:13.00>春眠<00:13.00>不<00:13.00>觉<00:13.00>晓<00:14.00>"_s}, 2, 0, 14);
    }
    void keys()
    {
        QFETCH(QString, script);
        QFETCH(QStringList, changed);
        w->findChild<QAction *>(u"tapMode"_s)->trigger();
        static ulong heldStamp = 1;
        for (const QString &step : script.split(u' ')) {
            if (step.startsWith(u'@')) {
                m_engine->positionValue = step.mid(1).toDouble();
            } else if (step.startsWith(u'#')) {
                m_editor->setTextCursor(QTextCursor(m_editor->document()->findBlockByNumber(step.mid(1).toInt())));
            } else if (step.contains(u'!')) {
                const QKeySequence key(step.section(u'!', 0, 0));
                sendKeyEvent(m_editor, QEvent::KeyPress, key[0].key(), key[0].keyboardModifiers(),
                             stampMsAgo(step.section(u'!', 1).toInt()));
                sendKeyEvent(m_editor, QEvent::KeyRelease, key[0].key(), key[0].keyboardModifiers(), 0);
            } else {
                const QChar how = step.back();
                const bool held = step.size() > 1 && QStringLiteral("+~-").contains(how);
                const QKeySequence key(held ? step.chopped(1) : step);
                const int k = key[0].key();
                const auto mods = key[0].keyboardModifiers();
                if (held) {
                    ++heldStamp;
                    if (how != u'+')
                        sendKeyEvent(m_editor, QEvent::KeyRelease, k, mods, heldStamp);
                    if (how != u'-')
                        sendKeyEvent(m_editor, QEvent::KeyPress, k, mods, heldStamp);
                } else {
                    sendKeyEvent(m_editor, QEvent::KeyPress, k, mods, 0);
                    sendKeyEvent(m_editor, QEvent::KeyRelease, k, mods, 0);
                }
            }
        }
        QStringList expected = Lyrics.split(u'\n');
        for (const QString &change : changed)
            expected[change.section(u':', 0, 0).toInt()] = change.section(u':', 1);
        QCOMPARE(m_editor->toPlainText().split(u'\n'), expected);
        QTEST(m_words->line(), "line");
        if (m_words->line() >= 0) // the caret goes with the line in word mode
            QCOMPARE(m_editor->textCursor().blockNumber(), m_words->line());
        QTEST(m_words->tagged(), "tagged");
        QTEST(*m_engine->positionValue, "position");
        QCOMPARE(m_editor->document()->isModified(), !changed.isEmpty());
    }

    // Each unit tap, step back and nudge is one undo step; undoing all of
    // them gives back the text as it was, redoing them the text as tapped.
    void undoAll()
    {
        w->findChild<QAction *>(u"tapMode"_s)->trigger();
        m_editor->setTextCursor(QTextCursor(m_editor->document()->findBlockByNumber(1)));
        QTest::keyClick(m_editor, Qt::Key_W);
        int steps = 0;
        for (double at : {10.5, 10.9, 11.3, 11.6, 12.0}) {
            m_engine->positionValue = at;
            QTest::keyClick(m_editor, Qt::Key_Space);
            ++steps;
        }
        QTest::keyClick(m_editor, Qt::Key_Left, Qt::AltModifier);
        QTest::keyClick(m_editor, Qt::Key_Return);
        steps += 2;
        const QString tapped = m_editor->toPlainText();
        for (int i = 0; i < steps; ++i)
            QTest::keyClick(m_editor, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(m_editor->toPlainText(), Lyrics);
        QVERIFY(!m_editor->document()->isModified());
        for (int i = 0; i < steps; ++i)
            QTest::keyClick(m_editor, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(m_editor->toPlainText(), tapped);
    }

    // A merged unit is tapped and saved as one: no word tag between its
    // characters in the file; the word-mode display shows it as one unit.
    void mergedUnitSaved()
    {
        auto *current = w->findChild<QLabel *>(u"liveCurrent"_s);
        w->findChild<QAction *>(u"tapMode"_s)->trigger();
        m_editor->setTextCursor(QTextCursor(m_editor->document()->findBlockByNumber(1)));
        QTest::keyClick(m_editor, Qt::Key_W);
        QTest::keyClick(m_editor, Qt::Key_M);
        QTest::keyClick(m_editor, Qt::Key_M);
        QCOMPARE(current->text(), u"[春眠不]  觉  晓"_s);
        for (double at : {10.5, 11.0, 11.5}) {
            m_engine->positionValue = at;
            QTest::keyClick(m_editor, Qt::Key_Space);
        }
        m_engine->positionValue = 12.0;
        QTest::keyClick(m_editor, Qt::Key_Return);
        QTest::keyClick(m_editor, Qt::Key_Escape);
        QTest::keyClick(m_editor, Qt::Key_Escape);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"out.lrc"_s);
        m_tools.answer(path);
        QVERIFY(w->saveLyrics());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()).split(u"\r\n"_s).value(1),
                 u"[00:10.50]<00:10.50>春眠不<00:11.00>觉<00:11.50>晓<00:12.00>"_s);
    }

    // In the editor: Ctrl+M (合并为一个字词) takes the word tags between the
    // selected characters away; Ctrl+Shift+M (拆开字词) cuts the unit at the
    // caret into the rule's units, the time to the next tag shared out by
    // syllables and proposed. One Ctrl+Z each; lines without word tags, a
    // single unit, a last unit without an end tag are left as they are.
    void unitEditsInEditor_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("from"); // the selection starts before it
        QTest::addColumn<QString>("to");   // and ends after it; empty: the caret only
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QList<bool>>("proposed"); // per word tag
        const QString spring = u"[00:10.00]<00:10.00>春<00:10.50>眠<00:11.00>不<00:12.00>"_s;
        QTest::newRow("merge two characters") << spring << u"春"_s << u"眠"_s
                                              << u"[00:10.00]<00:10.00>春眠<00:11.00>不<00:12.00>"_s
                                              << QList<bool>{false, false, false};
        QTest::newRow("merge a selection from inside a tag") << spring << u":10.50>"_s << u"不"_s
                                                             << u"[00:10.00]<00:10.00>春<00:10.50>眠不<00:12.00>"_s
                                                             << QList<bool>{false, false, false};
        QTest::newRow("merge in a line not timed word by word")
            << u"[00:10.00]春眠不"_s << u"春"_s << u"眠"_s << u"[00:10.00]春眠不"_s << QList<bool>{};
        QTest::newRow("split Chinese") << u"[00:10.00]<00:10.00>春眠不<00:13.00>"_s << u"眠"_s << QString()
                                       << u"[00:10.00]<00:10.00>春<00:11.00>眠<00:12.00>不<00:13.00>"_s
                                       << QList<bool>{false, true, true, false};
        QTest::newRow("split mixed: by syllables") << u"[00:10.00]<00:10.00>你 Hello world<00:13.00>"_s << u"你"_s
                                                   << QString()
                                                   << u"[00:10.00]<00:10.00>你 <00:10.75>Hello <00:12.25>world<00:13.00>"_s
                                                   << QList<bool>{false, true, true, false};
        QTest::newRow("split a last unit without an end tag") << u"[00:10.00]<00:10.00>春眠"_s << u"眠"_s << QString()
                                                              << u"[00:10.00]<00:10.00>春眠"_s << QList<bool>{false};
        QTest::newRow("split a single character") << spring << u"眠"_s << QString() << spring
                                                  << QList<bool>{false, false, false, false};
    }
    void unitEditsInEditor()
    {
        QFETCH(QString, line);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, expected);
        QFETCH(QList<bool>, proposed);
        m_editor->setPlainText(u"[ar:x]\n"_s + line);
        QTextCursor cursor(m_editor->document()->findBlockByNumber(1));
        const int start = cursor.position();
        cursor.setPosition(start + int(line.indexOf(from)));
        if (!to.isEmpty())
            cursor.setPosition(start + int(line.indexOf(to) + to.size()), QTextCursor::KeepAnchor);
        m_editor->setTextCursor(cursor);
        m_editor->setFocus();
        QTest::keyClick(m_editor, Qt::Key_M, to.isEmpty() ? Qt::ControlModifier | Qt::ShiftModifier : Qt::ControlModifier);
        tarvelin::LyricsDocument *lyrics = w->lyricsDocument();
        QCOMPARE(lyrics->text(1), expected);
        QList<bool> flags;
        for (int i = 0; i < lyrics->line(1).words.size(); ++i)
            flags << !lyrics->isConfirmed(1, tarvelin::TagKind::Word, i);
        QCOMPARE(flags, proposed);
        if (expected != line) {
            m_editor->undo();
            QCOMPARE(lyrics->text(1), line);
        }
    }

    // The live view shows the line in word mode with its units spaced, the
    // next to tap marked, and goes back to the sung line after.
    void liveView()
    {
        auto *current = w->findChild<QLabel *>(u"liveCurrent"_s);
        QVERIFY(current);
        w->findChild<QAction *>(u"tapMode"_s)->trigger();
        m_editor->setTextCursor(QTextCursor(m_editor->document()->findBlockByNumber(1)));
        QTest::keyClick(m_editor, Qt::Key_W);
        m_engine->positionValue = 10.5;
        QTest::keyClick(m_editor, Qt::Key_Space);
        QCOMPARE(current->text(), u"春  [眠]  不  觉  晓"_s);
        QTest::keyClick(m_editor, Qt::Key_Escape);
        QVERIFY(!m_words->isActive());
        QVERIFY(!current->text().contains(u'['));
    }

    // Outside word mode the sung line fills unit by unit from its word tags.
    void liveFill()
    {
        auto *current = w->findChild<QLabel *>(u"liveCurrent"_s);
        m_editor->setPlainText(u"[00:01.00]<00:01.00>春<00:02.00>眠<00:03.00>不<00:04.00>\n[00:09.00]next"_s);
        m_engine->play();
        m_engine->positionValue = 2.5;
        QTRY_VERIFY2(current->text().contains(u">春</span>眠不"_s), qPrintable(current->text()));
        m_engine->positionValue = 3.5;
        QTRY_VERIFY2(current->text().contains(u">春眠</span>不"_s), qPrintable(current->text()));
    }

    // Proposed word times look proposed in the live view: faint once sung,
    // grey before, each unlike the confirmed ones. The line is typed, its
    // word tags given again as the program's proposal when `propose`, then
    // `edit` (accept, or "old|new" typed over in the editor). `looks`, one
    // letter a character shown: S sung, U not yet, lower case for proposed;
    // each look has its own colour, S the highlight, U none.
    void liveProposed_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("propose");
        QTest::addColumn<QString>("edit");
        QTest::addColumn<double>("position");
        QTest::addColumn<QString>("looks");
        QTest::addColumn<QList<bool>>("proposed"); // the view's units
        const QString line = u"[00:01.00]<00:01.00>春<00:02.00>眠<00:03.00>不<00:04.00>觉<00:05.00>"_s;
        const QList<bool> all{true, true, true, true};
        const QList<bool> none;
        QTest::newRow("proposed, half sung") << line << true << QString() << 3.2 << u"ssuu"_s << all;
        QTest::newRow("proposed, none sung yet") << line << true << QString() << 1.0 << u"uuuu"_s << all;
        QTest::newRow("proposed, all sung") << line << true << QString() << 6.0 << u"ssss"_s << all;
        QTest::newRow("accepted") << line << true << u"accept"_s << 3.2 << u"SSUU"_s << none;
        QTest::newRow("typed by the user") << line << false << QString() << 3.2 << u"SSUU"_s << none;
        QTest::newRow("one sung tag typed over") << line << true << u"<00:02.00>|<00:02.10>"_s << 3.2 << u"sSuu"_s
                                                 << QList<bool>{true, false, true, true};
        QTest::newRow("one tag to come typed over") << line << true << u"<00:04.00>|<00:04.20>"_s << 3.2 << u"ssuU"_s
                                                    << QList<bool>{true, true, true, false};
        // Text before the first word tag has no time: the line fills evenly.
        QTest::newRow("untimed text first") << u"[00:01.00]前奏<00:02.00>眠<00:03.00>不<00:04.00>"_s << true << QString()
                                            << 3.2 << u"SUuu"_s << QList<bool>{false, true, true};
    }
    void liveProposed()
    {
        QFETCH(QString, line);
        QFETCH(bool, propose);
        QFETCH(QString, edit);
        QFETCH(double, position);
        QFETCH(QString, looks);
        auto *view = w->findChild<tarvelin::LiveLyricsView *>();
        auto *current = w->findChild<QLabel *>(u"liveCurrent"_s);
        QVERIFY(view && current);
        tarvelin::LyricsDocument *lyrics = w->lyricsDocument();
        m_editor->setPlainText(line + u"\n[00:09.00]next"_s);
        if (propose) {
            const tarvelin::LrcLine &parsed = lyrics->line(0);
            QList<tarvelin::WordTime> words;
            qsizetype removed = 0;
            for (const tarvelin::WordTag &tag : parsed.words) {
                words.append({tag.start - parsed.textStart - removed, tag.ms});
                removed += tag.length;
            }
            std::optional<qint64> end;
            if (words.last().at == lyrics->lyricText(0).size())
                end = words.takeLast().ms;
            QVERIFY(lyrics->setWordTags(0, words, end, tarvelin::TagOrigin::Proposed));
            QVERIFY(lyrics->hasProposals(0));
            QCOMPARE(lyrics->text(0), line);
        }
        if (edit == u"accept") {
            QVERIFY(lyrics->acceptProposals(0));
        } else if (!edit.isEmpty()) {
            const QString old = edit.section(u'|', 0, 0);
            QTextCursor typing(m_editor->document());
            typing.setPosition(int(line.indexOf(old)));
            typing.setPosition(int(line.indexOf(old) + old.size()), QTextCursor::KeepAnchor);
            typing.insertText(edit.section(u'|', 1));
        }
        m_engine->play();
        m_engine->positionValue = position;

        // Each character's colour as the label draws it ("" for none).
        const auto drawn = [current] {
            QStringList colours;
            static const QRegularExpression part(u"<span style=\"color:(#[0-9a-f]{6})\">([^<]*)</span>|([^<]+)"_s);
            for (const QRegularExpressionMatch &m : part.globalMatch(current->text()))
                colours << QStringList(m.capturedLength(2) + m.capturedLength(3), m.captured(1));
            return colours;
        };
        const QString highlight = view->palette().color(QPalette::Highlight).name();
        const auto drawnAsLooks = [&] {
            const QStringList colours = drawn();
            if (colours.size() != looks.size())
                return false;
            for (qsizetype i = 0; i < looks.size(); ++i) {
                if ((colours[i] == highlight) != (looks[i] == u'S') || colours[i].isEmpty() != (looks[i] == u'U'))
                    return false;
                for (qsizetype j = 0; j < i; ++j) {
                    if ((colours[i] == colours[j]) != (looks[i] == looks[j]))
                        return false;
                }
            }
            return true;
        };
        QTRY_VERIFY2(drawnAsLooks(), qPrintable(current->text()));
        QTEST(view->proposedUnits(), "proposed");
    }

    // 自动逐字 on hand-built sound starts: each chosen line with a tag gets
    // its units at the starts inside its span, proposed, in one undo step;
    // 确认逐字时间 or a word tap confirms them.
    void autoWords_data()
    {
        QTest::addColumn<QString>("first"); // line 0
        QTest::addColumn<QList<int>>("lines");
        QTest::addColumn<QStringList>("expected"); // per line: unit starts in ms, "-": left alone
        const QString plain = u"[00:01.00]春眠不"_s;
        QTest::newRow("every line: the last one up to the song's end, untagged ones left")
            << plain << QList<int>{0, 1, 2, 3} << QStringList{u"1000 1500 2100"_s, u"3000 3600"_s, u"-"_s, u"5000"_s};
        QTest::newRow("one line") << plain << QList<int>{1} << QStringList{u"-"_s, u"3000 3600"_s, u"-"_s, u"-"_s};
        QTest::newRow("a unit merged by hand stays one")
            << u"[00:01.00]<00:01.00>春眠<00:01.80>不<00:02.50>"_s << QList<int>{0}
            << QStringList{u"1000 2100"_s, u"-"_s, u"-"_s, u"-"_s};
    }
    void autoWords()
    {
        QFETCH(QString, first);
        QFETCH(QList<int>, lines);
        QFETCH(QStringList, expected);
        m_editor->setPlainText(first + u"\n[00:03.00]Hello world\n无时间\n[00:05.00]last"_s);
        tarvelin::LyricsDocument *lyrics = w->lyricsDocument();
        tarvelin::TimingCurves curves;
        tarvelin::Curve &curve = curves.timing;
        curve.values.assign(800, 0.02f);
        for (double at : {1.0, 1.5, 2.1, 3.0, 3.6, 5.0})
            for (int d = -2; d <= 2; ++d)
                curve.values[size_t(at * 100 + 0.5) + d] = 1.0f - 0.3f * std::abs(d);
        const QString before = m_editor->toPlainText();
        tarvelin::proposeWordTimes(*lyrics, curves, lines, 7000);
        for (int line = 0; line < expected.size(); ++line) {
            const tarvelin::WordLine words = tarvelin::readWordLine(lyrics->text(line), lyrics->line(line));
            if (expected[line] == u"-") {
                QVERIFY(lyrics->line(line).words.isEmpty());
                continue;
            }
            const QStringList starts = expected[line].split(u' ');
            QCOMPARE(words.units.size(), starts.size());
            for (int i = 0; i < starts.size(); ++i) {
                QVERIFY2(std::abs(words.units[i].ms - starts[i].toLongLong()) <= 30,
                         qPrintable(lyrics->text(line)));
                QVERIFY(!lyrics->isConfirmed(line, tarvelin::TagKind::Word, i));
            }
            QVERIFY(words.endMs > words.units.last().ms);
            QVERIFY(lyrics->hasProposals(line));
        }
        const QString proposed = m_editor->toPlainText();
        m_editor->undo();
        QCOMPARE(m_editor->toPlainText(), before);
        m_editor->redo();
        QCOMPARE(m_editor->toPlainText(), proposed);

        // Accepting one line leaves the text as it is.
        const int line = lines.last();
        m_editor->setTextCursor(QTextCursor(m_editor->document()->findBlockByNumber(line)));
        w->findChild<QAction *>(u"acceptWords"_s)->trigger();
        QVERIFY(!lyrics->hasProposals(line));
        QCOMPARE(m_editor->toPlainText(), proposed);
        // A word tap makes the tapped line the user's.
        m_editor->setTextCursor(QTextCursor(m_editor->document()->findBlockByNumber(1)));
        if (lines.contains(0)) {
            w->findChild<QAction *>(u"tapMode"_s)->trigger();
            m_editor->setTextCursor(QTextCursor(m_editor->document()->findBlockByNumber(0)));
            QTest::keyClick(m_editor, Qt::Key_W);
            m_engine->positionValue = 1.2;
            QTest::keyClick(m_editor, Qt::Key_Space);
            QVERIFY(!lyrics->hasProposals(0));
            QCOMPARE(lyrics->text(0), u"[00:01.20]<00:01.20>春眠不"_s);
        }
    }
};

QTEST_MAIN(TestWordTapping)
#include "tst_wordtapping.moc"
