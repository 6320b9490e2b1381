// 逐字打轴 through the window with the fake engine: W in tap mode, the unit
// taps, closing a line, stepping back, nudging, undo, and the live view.
#include "widgets/livelyricsview.h"
#include "window/mainwindow.h"
#include "tapping/wordtapping.h"
#include "tapping/autowords.h"
#include "document/lyricsdocument.h"
#include "core/wordunits.h"
#include "datatable.h"
#include "fakes.h"

#include <QAction>
#include <QHash>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>

using namespace Qt::StringLiterals;
using namespace tarvelin::test;

namespace {

const QString Lyrics = u"[ar:x]\n[00:10.00]春眠不觉晓\nHello big world\n\n[00:20.00]three"_s; // lyric lines 1, 2, 4

} // namespace

class TestWordTapping : public QObject, tarvelin::test::WindowFixture {
    Q_OBJECT
    tarvelin::WordTapping *m_words = nullptr;
    QLabel *m_current = nullptr; // the sung line in the live view
    tarvelin::LyricsDocument *m_lyrics = nullptr;

    void tapKeys(const QString &script)
    {
        window->findChild<QAction *>(u"tapMode"_s)->trigger();
        playKeys(editor, *engine, script);
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(open());
        m_words = window->findChild<tarvelin::WordTapping *>();
        m_current = window->findChild<QLabel *>(u"liveCurrent"_s);
        m_lyrics = window->lyricsDocument();
        QVERIFY(editor && m_words && m_current);
        editor->setPlainText(Lyrics);
        editor->document()->setModified(false);
        engine->load(u"/song.mp3"_s);
        engine->pause();
    }

    // A script of keys in tap mode (see playKeys). Checks the lines that
    // changed, the line in word mode (-1: none; the caret's line) and how
    // many of its units are tagged, the position, and the sung line in the
    // live view where given. Each unit tap, step back and nudge is one undo
    // step: undoing all of them gives back the text as it was, redoing them
    // the text as tapped.
    void keys_data()
    {
        // changed: "line:text"; live: "" where not checked
        const auto row = tarvelin::table<QString, QStringList, int, int, double, QString>(
            {"script", "changed", "line", "tagged", "position", "live"});
        row("every unit, Enter closes and goes on to the next lyric line",
            "#1 W @10.5 Space @11 Space @11.4 Space @11.8 Space @12.2 Space @12.9 Enter",
            {u"1:[00:10.50]<00:10.50>春<00:11.00>眠<00:11.40>不<00:11.80>觉<00:12.20>晓<00:12.90>"_s}, 2, 0, 12.9, "");
        row("the next line's first tap closes the line; words in a spaced script",
            "#1 W @10.5 Space Space Space Space Space @13 Space @13.6 Space",
            {u"1:[00:10.50]<00:10.50>春<00:10.50>眠<00:10.50>不<00:10.50>觉<00:10.50>晓<00:13.00>"_s,
             u"2:[00:13.00]<00:13.00>Hello <00:13.60>big world"_s}, 2, 2, 13.6, "");
        row("a press is taken at its moment", "#1 W @10 Space!400", {u"1:[00:09.60]<00:09.60>春眠不觉晓"_s}, 1, 1, 10, "");
        row("a held Space tags one unit; the next to tap marked", "#1 W @10.5 Space+ Space~ Space~ Space-",
            {u"1:[00:10.50]<00:10.50>春眠不觉晓"_s}, 1, 1, 10.5, "春  [眠]  不  觉  晓");
        row("Backspace takes the last unit back and plays from 1 s before it",
            "#1 W @10.5 Space @11 Space @11.3 Backspace", {u"1:[00:10.50]<00:10.50>春眠不觉晓"_s}, 1, 1, 10.0, "");
        row("nudges move the last unit, played from 1 s before", "#1 W @10.5 Space @11 Space Alt+Left Alt+Shift+Right",
            {u"1:[00:10.50]<00:10.50>春<00:10.91>眠不觉晓"_s}, 1, 2, 9.91, "");
        row("a nudge stops at the unit before", "#1 W @10.5 Space @10.7 Space Alt+Left Alt+Left Alt+Left",
            {u"1:[00:10.50]<00:10.50>春<00:10.50>眠不觉晓"_s}, 1, 2, 9.5, "");
        row("nudging the first unit moves the line's tag too", "#1 W @10.5 Space Alt+Right",
            {u"1:[00:10.60]<00:10.60>春眠不觉晓"_s}, 1, 1, 9.6, "");
        row("Ctrl+Z restores the line exactly, then a tap starts it again",
            "#1 W @10.5 Space @11 Space Ctrl+Z Ctrl+Z @12 Space", {u"1:[00:12.00]<00:12.00>春眠不觉晓"_s}, 1, 1, 12, "");
        row("an untagged line gets its tag from the first unit, no seek", "#2 @3 W Space",
            {u"2:[00:03.00]<00:03.00>Hello big world"_s}, 2, 1, 3, "");
        row("Esc: back to line taps; a re-tap moves the word tags with the line",
            "#1 W @10.5 Space Escape @15 Space", {u"1:[00:15.00]<00:15.00>春眠不觉晓"_s}, -1, 0, 15, "");
        row("after Enter the caret is on the next line: the closed one picked again and re-tapped",
            "#1 W @10.5 Space @11 Space Space Space Space @12 Enter Escape #1 @15 Space",
            {u"1:[00:15.00]<00:15.00>春<00:15.50>眠<00:15.50>不<00:15.50>觉<00:15.50>晓<00:16.50>"_s}, -1, 0, 15, "");
        row("Enter before any unit does nothing; Up and Down are not line moves here", "#1 W Enter Down Up", {},
            1, 0, 8.0, "");
        row("M: two characters sung as one get one word tag",
            "#1 W M @10.5 Space @11 Space @11.5 Space @12 Space Enter",
            {u"1:[00:10.50]<00:10.50>春眠<00:11.00>不<00:11.50>觉<00:12.00>晓<00:12.00>"_s}, 2, 0, 12, "");
        row("M M: three characters as one", "#1 W M M", {}, 1, 0, 8.0, "[春眠不]  觉  晓");
        const QString undone = u"#1 W @10.5 Space @10.9 Space @11.3 Space @11.6 Space @12 Space Alt+Left Enter"_s
                               + u" Ctrl+Z"_s.repeated(7);
        row("every step undone", undone, {}, 2, 0, 10.9, "");
        row("every step undone and redone", undone + u" Ctrl+Shift+Z"_s.repeated(7),
            {u"1:[00:10.50]<00:10.50>春<00:10.90>眠<00:11.30>不<00:11.60>觉<00:11.90>晓<00:11.90>"_s}, 2, 0, 10.9, "");
        row("M after a tap merges the units still to tap; Shift+M splits them back",
            "#1 W @10.5 Space M M Shift+M @11 Space", {u"1:[00:10.50]<00:10.50>春<00:11.00>眠不觉晓"_s}, 1, 2, 11, "");
        row("the merge outlives Ctrl+Z of the taps after it", "#1 W M @10.5 Space @11 Space Ctrl+Z @11.5 Space",
            {u"1:[00:10.50]<00:10.50>春眠<00:11.50>不觉晓"_s}, 1, 2, 11.5, "");
    }
    void keys()
    {
        QFETCH(QString, script);
        QFETCH(QStringList, changed);
        QFETCH(QString, live);
        tapKeys(script);
        QCOMPARE(editor->toPlainText().split(u'\n'), changedLines(Lyrics, changed));
        QTEST(m_words->line(), "line");
        if (m_words->line() >= 0) // the caret goes with the line in word mode
            QCOMPARE(editor->textCursor().blockNumber(), m_words->line());
        else // the live view leaves word mode with it
            QVERIFY2(!m_current->text().contains(u'['), qPrintable(m_current->text()));
        QTEST(m_words->tagged(), "tagged");
        QTEST(*engine->positionValue, "position");
        QCOMPARE(editor->document()->isModified(), !changed.isEmpty());
        if (!live.isEmpty())
            QCOMPARE(m_current->text(), live);
    }

    // In the editor: Ctrl+M (合并为一个字词) takes the word tags between the
    // selected characters away; Ctrl+Shift+M (拆开字词) cuts the unit at the
    // caret into the rule's units, the time to the next tag shared out by
    // syllables and proposed. One Ctrl+Z each; a single unit and a last unit
    // without an end tag are left as they are.
    void unitEditsInEditor_data()
    {
        // from: the selection starts before it; to: and ends after it, empty: the caret only
        const auto row = tarvelin::table<QString, QString, QString, QString>({"line", "from", "to", "expected"});
        const QString spring = u"[00:10.00]<00:10.00>春<00:10.50>眠<00:11.00>不<00:12.00>"_s;
        row("merge two characters", spring, "春", "眠", "[00:10.00]<00:10.00>春眠<00:11.00>不<00:12.00>");
        row("merge a selection from inside a tag", spring, ":10.50>", "不",
            "[00:10.00]<00:10.00>春<00:10.50>眠不<00:12.00>");
        row("split Chinese", "[00:10.00]<00:10.00>春眠不<00:13.00>", "眠", "",
            "[00:10.00]<00:10.00>春<00:11.00>眠<00:12.00>不<00:13.00>");
        row("split mixed: by syllables", "[00:10.00]<00:10.00>你 Hello world<00:13.00>", "你", "",
            "[00:10.00]<00:10.00>你 <00:10.75>Hello <00:12.25>world<00:13.00>");
        row("split a last unit without an end tag", "[00:10.00]<00:10.00>春眠", "眠", "", "[00:10.00]<00:10.00>春眠");
        row("split a single character", spring, "眠", "", spring);
    }
    void unitEditsInEditor()
    {
        QFETCH(QString, line);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, expected);
        editor->setPlainText(u"[ar:x]\n"_s + line);
        QTextCursor cursor = editor->document()->find(from);
        cursor.setPosition(cursor.selectionStart());
        if (!to.isEmpty())
            cursor.setPosition(editor->document()->find(to, cursor).selectionEnd(), QTextCursor::KeepAnchor);
        editor->setTextCursor(cursor);
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_M, to.isEmpty() ? Qt::ControlModifier | Qt::ShiftModifier : Qt::ControlModifier);
        QCOMPARE(m_lyrics->text(1), expected);
        // A split's new times are proposed (which ones is the document's test).
        QCOMPARE(m_lyrics->hasProposals(1), to.isEmpty() && expected != line);
        editor->undo(); // one step; setPlainText left none before it
        QCOMPARE(m_lyrics->text(1), line);
    }

    // Proposed word times look proposed in the live view: faint once sung,
    // grey before, each unlike the confirmed ones. The line is typed, its
    // word tags given again as the program's proposal, then `edit` (accept,
    // or "old|new" typed over in the editor). `looks`, one letter a character
    // shown: S sung, U not yet, lower case for proposed; each look has its
    // own colour, S the highlight, U none. (How far a line is sung is the
    // word-unit test's.)
    void liveProposed_data()
    {
        const auto row = tarvelin::table<QString, QString, QString>({"line", "edit", "looks"}); // looks at 3.2 s
        const QString line = u"[00:01.00]<00:01.00>春<00:02.00>眠<00:03.00>不<00:04.00>觉<00:05.00>"_s;
        row("proposed", line, "", "ssuu");
        row("accepted", line, "accept", "SSUU");
        row("one sung tag typed over", line, "<00:02.00>|<00:02.10>", "sSuu");
        // Text before the first word tag has no time: the line fills evenly.
        row("untimed text first", "[00:01.00]前奏<00:02.00>眠<00:03.00>不<00:04.00>", "", "SUuu");
    }
    void liveProposed()
    {
        QFETCH(QString, line);
        QFETCH(QString, edit);
        QFETCH(QString, looks);
        auto *view = window->findChild<tarvelin::LiveLyricsView *>();
        editor->setPlainText(line + u"\n[00:09.00]next"_s);
        const tarvelin::WordLine parsed = tarvelin::readWordLine(line, m_lyrics->line(0));
        QList<tarvelin::WordTime> words; // each unit at its place in the sung text; untimed text first left out
        for (qsizetype at = 0; const tarvelin::WordUnit &unit : parsed.units)
            words.append({std::exchange(at, at + unit.text.size()), unit.ms});
        words.removeIf([](const tarvelin::WordTime &word) { return word.ms < 0; });
        const auto end = parsed.endMs < 0 ? std::nullopt : std::optional(parsed.endMs);
        QVERIFY(m_lyrics->setWordTags(0, words, end, tarvelin::TagOrigin::Proposed));
        if (edit == u"accept")
            QVERIFY(m_lyrics->acceptProposals(0));
        else if (!edit.isEmpty())
            editor->document()->find(edit.section(u'|', 0, 0)).insertText(edit.section(u'|', 1));
        engine->play();
        engine->positionValue = 3.2;

        // The looks as drawn: each character's colour named by the look it
        // first stands for; the highlight is S, none U, and a colour whose
        // look another colour has already is "?".
        const auto drawn = [&] {
            static const QRegularExpression part(u"<span style=\"color:(#[0-9a-f]{6})\">([^<]*)</span>|([^<]+)"_s);
            QHash<QString, QChar> look{{view->palette().color(QPalette::Highlight).name(), u'S'}, {QString(), u'U'}};
            QString shown;
            for (const QRegularExpressionMatch &m : part.globalMatch(m_current->text())) {
                for (qsizetype i = 0; i < m.capturedLength(2) + m.capturedLength(3); ++i) {
                    const QChar next = shown.size() < looks.size() ? looks[shown.size()] : QChar(u'?');
                    if (!look.contains(m.captured(1)))
                        look.insert(m.captured(1), look.values().contains(next) ? u'?' : next);
                    shown += look.value(m.captured(1));
                }
            }
            return shown;
        };
        QTRY_COMPARE(drawn(), looks);
    }

    // 自动逐字 on hand-built sound starts: each chosen line with a tag gets
    // its units at the starts inside its span, proposed, in one undo step;
    // 确认逐字时间 or a word tap confirms them.
    void autoWords_data()
    {
        // first: line 0; expected, per line: unit starts in ms, "-": left alone
        const auto row = tarvelin::table<QString, QList<int>, QStringList>({"first", "lines", "expected"});
        row("every line: the last one up to the song's end, untagged ones left", "[00:01.00]春眠不", {0, 1, 2, 3},
            {u"1000 1500 2100"_s, u"3000 3600"_s, u"-"_s, u"5000"_s});
        row("one line", "[00:01.00]春眠不", {1}, {u"-"_s, u"3000 3600"_s, u"-"_s, u"-"_s});
        row("a unit merged by hand stays one", "[00:01.00]<00:01.00>春眠<00:01.80>不<00:02.50>", {0},
            {u"1000 2100"_s, u"-"_s, u"-"_s, u"-"_s});
    }
    void autoWords()
    {
        QFETCH(QString, first);
        QFETCH(QList<int>, lines);
        QFETCH(QStringList, expected);
        editor->setPlainText(first + u"\n[00:03.00]Hello world\n无时间\n[00:05.00]last"_s);
        tarvelin::TimingCurves curves;
        curves.timing.values.assign(800, 0.02f);
        for (double at : {1.0, 1.5, 2.1, 3.0, 3.6, 5.0})
            for (int d = -2; d <= 2; ++d)
                curves.timing.values[size_t(at * 100 + 0.5) + d] = 1.0f - 0.3f * std::abs(d);
        const QString before = editor->toPlainText();
        tarvelin::proposeWordTimes(*m_lyrics, curves, lines, 7000);
        for (int line = 0; line < expected.size(); ++line) {
            const tarvelin::WordLine words = tarvelin::readWordLine(m_lyrics->text(line), m_lyrics->line(line));
            if (expected[line] == u"-") {
                QVERIFY(m_lyrics->line(line).words.isEmpty());
                continue;
            }
            const QStringList starts = expected[line].split(u' ');
            QCOMPARE(words.units.size(), starts.size());
            for (int i = 0; i < starts.size(); ++i)
                QCOMPARE_LE(std::abs(words.units[i].ms - starts[i].toLongLong()), 30);
            QVERIFY(words.endMs > words.units.last().ms);
            QVERIFY(m_lyrics->hasProposals(line));
        }
        editor->undo(); // one step
        QCOMPARE(editor->toPlainText(), before);
        editor->redo();

        // Accepting one line (that it leaves the text be is the document's test).
        const int line = lines.last();
        editor->setTextCursor(QTextCursor(editor->document()->findBlockByNumber(line)));
        window->findChild<QAction *>(u"acceptWords"_s)->trigger();
        QVERIFY(!m_lyrics->hasProposals(line));
        // A word tap makes the tapped line the user's.
        if (lines.contains(0)) {
            tapKeys(u"#0 W @1.2 Space"_s);
            QVERIFY(!m_lyrics->hasProposals(0));
            QCOMPARE(m_lyrics->text(0), u"[00:01.20]<00:01.20>春眠不"_s);
        }
    }
};

QTEST_MAIN(TestWordTapping)
#include "tst_wordtapping.moc"
