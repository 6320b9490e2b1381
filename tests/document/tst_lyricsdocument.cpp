// The lyrics document over a text document: how lines read, that reading
// only the changed lines gives what reading the whole text gives, the
// timeline, the timing edits and their undo steps, which tags are confirmed,
// and what the changed signal says.
//
// Rows are scripts of steps separated by ";":
//   type L C TEXT       insert TEXT at line L, column C ("\n" breaks lines)
//   paste L C N TEXT    replace N characters from there with TEXT, in one go
//   undo | redo | text TEXT (the whole text replaced)
//   tap L MS [p]        setLineTag; "p": proposed
//   tag L T MS [p]      setTagTime      nudge L T DELTA     shift DELTA
//   map SPEED OFFSET    mapAllTags      clear L             accept L
//   lines TEXT          setLines (TEXT's "\n" between the lines)
//   words L AT:MS,AT:MS END|- [p]       setWordTags
//   wordtag L W MS [T]  setWordTagTime (T: the line tag that goes with it)
//   merge L FROM TO     mergeWordUnits      insert L AT:MS,AT:MS [p]   insertWordTags
#include "document/lyricsdocument.h"
#include "../support/datatable.h"

#include <QAbstractUndoItem>
#include <QSignalSpy>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

#include <functional>
#include <map>
#include <tuple>

using namespace Qt::StringLiterals;
using namespace tarvelin;

namespace {

// Lines: 0 ID, 1 offset, 2 at 10 s, 3 blank, 4 at 20 and 40 s, 5 at 30 s, 6 at 5 s.
const QString Song = u"[ti:x]\n[offset:%1]\n[00:10.00]a\n\n[00:20.00][00:40.00]chorus\n[00:30.00]b\n[00:05.00]c"_s;

struct Session {
    QTextDocument text;
    LyricsDocument doc{&text};
    explicit Session(const QString &plain) { text.setPlainText(plain); }

    // A caret at `column` of `line`, or a selection of `select` characters from there.
    QTextCursor at(int line, int column, int select = 0)
    {
        QTextCursor cursor(text.findBlockByNumber(line));
        cursor.setPosition(cursor.position() + column);
        cursor.setPosition(cursor.position() + select, QTextCursor::KeepAnchor);
        return cursor;
    }

    // Runs the steps; the value of the last one (true for a text edit).
    bool run(const QString &script)
    {
        bool result = true;
        for (const QString &step : script.split(u';', Qt::SkipEmptyParts)) {
            const QStringList w = step.trimmed().split(u' ');
            const auto n = [&](int i) { return w.value(i).toLongLong(); };
            const auto rest = [&](int from) { return w.mid(from).join(u' ').replace(u"\\n"_s, u"\n"_s); };
            const TagOrigin origin = w.constLast() == u"p" ? TagOrigin::Proposed : TagOrigin::User;
            const auto words = [&] { // AT:MS,AT:MS
                QList<WordTime> times;
                for (const QString &word : w[2].split(u',', Qt::SkipEmptyParts))
                    times.append({word.section(u':', 0, 0).toLongLong(), word.section(u':', 1).toLongLong()});
                return times;
            };
            const int line = int(n(1));
            const std::map<QString, std::function<bool()>> steps{
                {u"type"_s, [&] { at(line, int(n(2))).insertText(rest(3)); return true; }},
                {u"paste"_s, [&] { at(line, int(n(2)), int(n(3))).insertText(rest(4)); return true; }},
                {u"undo"_s, [&] { text.undo(); return true; }},
                {u"redo"_s, [&] { text.redo(); return true; }},
                {u"text"_s, [&] { text.setPlainText(rest(1)); return true; }},
                {u"tap"_s, [&] { return doc.setLineTag(line, n(2), origin); }},
                {u"tag"_s, [&] { return doc.setTagTime(line, int(n(2)), n(3), origin); }},
                {u"nudge"_s, [&] { return doc.nudgeTag(line, int(n(2)), n(3)).has_value(); }},
                {u"shift"_s, [&] { return doc.shiftAllTags(n(1)); }},
                {u"map"_s, [&] { return doc.mapAllTags(w[1].toDouble(), n(2)); }},
                {u"clear"_s, [&] { return doc.clearWordTags(line); }},
                {u"lines"_s, [&] { return doc.setLines(rest(1).split(u'\n')); }},
                {u"accept"_s, [&] { return doc.acceptProposals(line); }},
                {u"wordtag"_s,
                 [&] { return doc.setWordTagTime(line, int(n(2)), n(3), w.size() > 4 ? std::optional(int(n(4))) : std::nullopt); }},
                {u"merge"_s, [&] { return doc.mergeWordUnits(line, n(2), n(3)); }},
                {u"insert"_s, [&] { return doc.insertWordTags(line, words(), origin); }},
                {u"words"_s,
                 [&] { return doc.setWordTags(line, words(), w[3] == u"-" ? std::nullopt : std::optional(n(3)), origin); }},
            };
            if (!steps.contains(w[0]))
                qFatal("unknown step %s", qPrintable(step));
            result = steps.at(w[0])();
        }
        return result;
    }
};

// Everything the model tells about the text, line by line, then the
// timeline, the ID tags and the lyric lines.
QStringList describe(const LyricsDocument &doc)
{
    QStringList out;
    for (int i = 0; i < doc.lineCount(); ++i) {
        const LrcLine &line = doc.line(i);
        QStringList parts{QString::number(int(line.kind))};
        for (const TimeTag &tag : line.tags)
            parts << u"t%1@%2+%3"_s.arg(tag.ms).arg(tag.start).arg(tag.length);
        for (const MalformedTag &bad : line.malformed)
            parts << u"m@%1+%2"_s.arg(bad.start).arg(bad.length);
        for (const WordTag &word : line.words)
            parts << u"w%1@%2"_s.arg(word.ms).arg(word.start);
        for (const IdTag &id : line.ids)
            parts << id.key + u'=' + id.value;
        out << parts.join(u' ') + u" |"_s + doc.lyricText(i) + u'|';
    }
    for (const TimelineEntry &entry : doc.timeline())
        out << u"@%1 %2.%3"_s.arg(entry.ms).arg(entry.line).arg(entry.tag);
    for (const char16_t *key : {u"offset", u"ar", u"ti"}) {
        const IdTagLookup id = doc.idTag(key);
        out << u"%1 %2 %3 %4"_s.arg(key).arg(int(id.state)).arg(id.value).arg(id.line);
    }
    out << u"offset %1"_s.arg(doc.offsetMs());
    QStringList lyric;
    for (int line : doc.lyricLines())
        lyric << QString::number(line);
    out << u"lyric "_s + lyric.join(u',');
    return out;
}

// The tags not yet confirmed: "line:t index" for line tags, "line:w index" for word tags.
QStringList unconfirmed(const LyricsDocument &doc)
{
    QStringList out;
    for (int i = 0; i < doc.lineCount(); ++i) {
        for (auto [kind, count, name] : {std::tuple(TagKind::Line, doc.line(i).tags.size(), u't'),
                                         std::tuple(TagKind::Word, doc.line(i).words.size(), u'w')}) {
            for (int t = 0; t < count; ++t) {
                if (!doc.isConfirmed(i, kind, t))
                    out << u"%1:%2%3"_s.arg(i).arg(QChar(name)).arg(t);
            }
        }
    }
    return out;
}

// Counts its undos and redos: a caller's own item in a timing edit's step.
class CountingStep final : public QAbstractUndoItem {
public:
    explicit CountingStep(int *count) : m_count(count) {}
    void undo() override { --*m_count; }
    void redo() override { ++*m_count; }

private:
    int *m_count;
};

} // namespace

class TestLyricsDocument : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // How the lines of a mixed text read, and what the ID tags hold.
    void reading_data()
    {
        const auto row = tarvelin::table<QString, QStringList>({"text", "expected"});
        row("ID lines, blank, tagged, malformed, word tags",
            u"[ti:歌] [ar:]\n \t\n[00:01.00] [01:02.5]甲 [x]\n[1:60.00]乙\n[00:02.00]<00:02.00>春<00:02.50>眠<00:03.00>\n"
            "<01:00.00>Hello <01:00.50>world\na <b> c<1:60.00>d<"_s,
            {u"1 ti=歌 ar= ||"_s, u"0 ||"_s, u"2 t1000@0+10 t62500@11+9 |甲 [x]|"_s, u"2 m@0+9 |乙|"_s,
             u"2 t2000@0+10 w2000@10 w2500@21 w3000@32 |春眠|"_s, u"2 w60000@0 w60500@16 |Hello world|"_s,
             u"2 |a <b> c<1:60.00>d<|"_s, u"@1000 2.0"_s, u"@2000 4.0"_s, u"@62500 2.1"_s, u"offset 0  -1"_s, u"ar 1  0"_s,
             u"ti 3 歌 0"_s, u"offset 0"_s, u"lyric 2,3,4,5,6"_s});
        row("an ID tag with text after it is a lyric line; the first offset counts, not below 0",
            u"[ar:x] b\n[OFFSET:+500]\n[offset:-100]\n[00:00.30]c"_s,
            {u"2 |[ar:x] b|"_s, u"1 offset=+500 ||"_s, u"1 offset=-100 ||"_s, u"2 t300@0+10 |c|"_s, u"@0 3.0"_s,
             u"offset 3 +500 1"_s, u"ar 0  -1"_s, u"ti 0  -1"_s, u"offset 500"_s, u"lyric 0,3"_s});
        row("a malformed offset reads as 0", u"[offset:abc]\n[00:00.30]c"_s,
            {u"1 offset=abc ||"_s, u"2 t300@0+10 |c|"_s, u"@300 1.0"_s, u"offset 2 abc 0"_s, u"ar 0  -1"_s, u"ti 0  -1"_s,
             u"offset 0"_s, u"lyric 1"_s});
    }
    void reading()
    {
        QFETCH(QString, text);
        QTEST(describe(Session(text).doc), "expected");
    }

    // After any edit, what the model holds equals a fresh reading of the
    // same text; the steps run one by one and each is checked.
    void incremental_data()
    {
        const auto row = tarvelin::table<QString, QString>({"text", "script"});
        const QString song = Song.arg(u"0"_s);
        row("typing in a line, in a tag, in an ID tag", song, u"type 2 10 x; type 4 3 1; type 0 3 y"_s);
        row("lines inserted above tagged lines", song, u"type 2 0 [00:07.00]new\\n\\n; type 0 0 \\n"_s);
        row("tagged lines removed, lines joined", song, u"paste 2 0 13 ; paste 3 0 1 ; paste 1 11 1 "_s);
        row("a multi-line paste over a selection", song, u"paste 4 5 12 x]\\n[00:01.00]p\\n[ar:q]\\nz"_s);
        row("offset changed, then its line removed", song, u"paste 1 8 1 -1500; paste 0 6 12 "_s);
        row("undo and redo of typing and of timing edits", song,
            u"type 3 0 [00:15.00]d; tap 2 1000; shift 500; undo; undo; undo; redo; redo; redo"_s);
        row("taps and drags onto the same time keep line order", song,
            u"tap 6 10000; tap 5 10000; tag 4 1 10000; tap 3 10000; undo; nudge 2 0 10"_s);
        row("the whole text replaced, then undone", song, u"text [00:01.00]x\\ny; undo; redo"_s);
        row("typing into an empty document", u""_s, u"type 0 0 [ar:a]\\n[00:01.00]b; type 1 1 1"_s);
    }
    void incremental()
    {
        QFETCH(QString, text);
        QFETCH(QString, script);
        Session s(text);
        describe(s.doc); // the timeline and ID tags read before the first step too
        for (const QString &step : script.split(u';')) {
            s.run(step);
            const Session fresh(s.text.toPlainText());
            QCOMPARE(describe(s.doc), describe(fresh.doc));
        }
    }

    // When the lines show, offset applied. (Edits that move the timeline
    // are in the incremental rows: liveAt() reads the same timeline.)
    void live_data()
    {
        // lines: current, next
        const auto row = tarvelin::table<QString, double, QList<int>>({"offset", "seconds", "lines"});
        row("before the first", "", 0.0, {-1, 6});
        row("exactly at a tag", "", 10.0, {2, 4});
        row("tags sorted, chorus again", "", 35.0, {5, 4});
        row("after the last", "", 99.0, {4, -1});
        row("negative offset shows later", "-500", 10.499, {6, 2});
    }
    void live()
    {
        QFETCH(QString, offset);
        QFETCH(double, seconds);
        const Session s(Song.arg(offset));
        const auto live = s.doc.liveAt(seconds);
        QTEST((QList<int>{live.current, live.next}), "lines");
    }

    // Each timing edit: the text it leaves (only the tags rewritten, a caret
    // at the end of the line stays there), one undo back to the exact text,
    // redo forward again; no step at all, and false, when nothing changes.
    void edits_data()
    {
        const auto row = tarvelin::table<QString, QString, QString>({"text", "script", "expected"});
        const auto same = [&](const char *name, const QString &text, const char *script) { row(name, text, script, text); };
        const QString lyrics = u"[ar:Singer]\n\none\n[00:30.00][01:00.00]two\n\nthree"_s;
        row("tap an untagged line, cut to the hundredth", lyrics, "tap 2 5009",
            u"[ar:Singer]\n\n[00:05.00]one\n[00:30.00][01:00.00]two\n\nthree"_s);
        row("a re-tap replaces the first tag only", lyrics, "tap 3 7500",
            u"[ar:Singer]\n\none\n[00:07.50][01:00.00]two\n\nthree"_s);
        row("tap before a malformed tag, below 0 reads as 0", u"[1:60.00]a"_s, "tap 0 -20", u"[00:00.00][1:60.00]a"_s);
        same("a tap at the same time changes nothing", lyrics, "tap 3 30000");
        same("no such tag", lyrics, "tag 3 2 1000");
        same("nudge an untagged line", u"a"_s, "nudge 0 0 100");
        row("shift all: every tag, across a minute, three-digit minutes; ID lines and text stay",
            u"[ar:歌手]\n[00:59.95] [100:10.00]甲\n\n[00:12.5]乙\n丙 [00:01.00]"_s, "shift 100",
            u"[ar:歌手]\n[01:00.05] [100:10.10]甲\n\n[00:12.60]乙\n丙 [00:01.00]"_s);
        row("shift all: cut to the hundredth, clamped at 0, word tags too, bad tags stay",
            u"[00:12.009]a\n[00:00.10]<00:00.10>b<00:00.60>\n[1:60.00]c"_s, "shift -500",
            u"[00:11.50]a\n[00:00.00]<00:00.00>b<00:00.10>\n[1:60.00]c"_s);
        same("shift all with no tags", u"[ti:x]\na"_s, "shift 100");
        row("onto another recording: t * 1.5 + 1 s", u"[00:10.00]a\n[00:20.00]<00:20.00>b<00:21.00>"_s, "map 1.5 1000",
            u"[00:16.00]a\n[00:31.00]<00:31.00>b<00:32.50>"_s);
        row("word tags with an end tag", u"[00:01.00]春眠 不觉"_s, "words 0 0:1000,1:1500,3:2009 3000",
            u"[00:01.00]<00:01.00>春<00:01.50>眠 <00:02.00>不觉<00:03.00>"_s);
        row("word tags replace the old ones", u"[00:01.00]<00:01.00>ab<00:02.00>"_s, "words 0 0:1100,1:1200 -",
            u"[00:01.00]<00:01.10>a<00:01.20>b"_s);
        same("word places out of order", u"[00:01.00]ab"_s, "words 0 1:1000,0:1200 -");
        const QString spring = u"[00:01.00]<00:01.00>春<00:01.50>眠<00:02.00>不<00:03.00>"_s;
        row("a word tick dragged", spring, "wordtag 0 1 1629", u"[00:01.00]<00:01.00>春<00:01.62>眠<00:02.00>不<00:03.00>"_s);
        row("the first unit dragged with the line tag", spring, "wordtag 0 0 900 0",
            u"[00:00.90]<00:00.90>春<00:01.50>眠<00:02.00>不<00:03.00>"_s);
        row("a line tag dragged: its word tags move with it", spring, "tag 0 0 900",
            u"[00:00.90]<00:00.90>春<00:01.40>眠<00:01.90>不<00:02.90>"_s);
        row("a re-tap: word tags move with the line, clamped at 0", u"[00:00.50]<00:00.50>a<00:00.60>b<00:01.005>"_s,
            "tap 0 -80", u"[00:00.00]<00:00.00>a<00:00.10>b<00:00.50>"_s);
        row("a repeated line: the tag its word tags go with moves them", u"[00:40.00][00:10.00]<00:10.00>a<00:11.00>"_s,
            "nudge 0 1 -500", u"[00:40.00][00:09.50]<00:09.50>a<00:10.50>"_s);
        row("a repeated line's other tag: its word tags stay", u"[00:10.00][00:40.00]<00:10.00>a<00:11.00>"_s,
            "tag 0 1 41000", u"[00:10.00][00:41.00]<00:10.00>a<00:11.00>"_s);
        row("word tags that start elsewhere stay", u"[00:01.00]x<00:01.50>y"_s, "tap 0 900", u"[00:00.90]x<00:01.50>y"_s);
        same("a word tick dropped where it was keeps its form", u"[00:01.00]<00:01.005>a"_s, "wordtag 0 0 1005");
        same("no such word tag", spring, "wordtag 0 4 1000");
        row("merge the whole line: its first tag and end tag stay", spring, "merge 0 0 3",
            u"[00:01.00]<00:01.00>春眠不<00:03.00>"_s);
        same("merge a single unit: nothing to do", spring, "merge 0 1 2");
        same("merge in a line without word tags", u"[00:01.00]春眠"_s, "merge 0 0 2");
        row("a unit split: tags put in, the others kept as written", u"[00:01.00]<00:01.005>春眠不<00:04.00>"_s,
            "insert 0 2:3000,1:2000", u"[00:01.00]<00:01.005>春<00:02.00>眠<00:03.00>不<00:04.00>"_s);
        same("a tag put in where one stands", spring, "insert 0 1:1600");
        row("lines rearranged: only the span that differs", u"[00:01.00]a\n[00:02.00][00:03.00]b"_s,
            "lines [00:01.00]a\\n[00:02.00]b\\n[00:03.00]b", u"[00:01.00]a\n[00:02.00]b\n[00:03.00]b"_s);
        same("the same lines", u"a\nb"_s, "lines a\\nb");
        row("word tags cleared", u"[00:01.00]<00:01.00>a <00:01.50>b"_s, "clear 0", u"[00:01.00]a b"_s);
    }
    void edits()
    {
        QFETCH(QString, text);
        QFETCH(QString, script);
        QFETCH(QString, expected);
        Session s(text);
        s.text.setModified(false);
        const int line = script.section(u' ', 1, 1).toInt();
        QTextCursor caret = s.at(line, 0);
        caret.movePosition(QTextCursor::EndOfBlock);
        const int steps = s.text.availableUndoSteps();
        QCOMPARE(s.run(script), text != expected);
        QCOMPARE(s.text.toPlainText(), expected);
        QCOMPARE(s.text.isModified(), text != expected);
        if (text == expected) {
            QCOMPARE(s.text.availableUndoSteps(), steps);
            return;
        }
        if (line < s.doc.lineCount() && !script.startsWith(u"shift") && !script.startsWith(u"map"))
            QVERIFY(caret.atBlockEnd() && caret.blockNumber() == line);
        // The export's [offset:] moves tags as shifting all does.
        if (script.startsWith(u"shift"))
            QCOMPARE(shiftTimeTags(text.split(u'\n'), script.section(u' ', 1).toLongLong()).join(u'\n'), expected);
        s.text.undo();
        QCOMPARE(s.text.toPlainText(), text);
        s.text.redo();
        QCOMPARE(s.text.toPlainText(), expected);
    }

    // What the last step of a script leaves: the tags not yet confirmed (a
    // tap, drag or nudge confirms; a proposed tag stays unconfirmed until
    // accepted or edited by hand, and undo and redo carry the state), the
    // text modified unless it was an acceptance, and on the song what the
    // changed signal says: the lines that hold changed text (numbered after
    // the change), how many lines came or went, and whether any tag changed.
    void lastStep_data()
    {
        // change: first, last, added, tags changed (0/1)
        const auto add = tarvelin::table<QString, QString, QStringList, QList<int>>({"text", "script", "unconfirmed", "change"});
        const auto row = [&](const char *name, const QString &script, const QStringList &unconfirmed, const QList<int> &change = {},
                             const QString &text = u"[00:01.00]春眠\n不觉"_s) { add(name, text, script, unconfirmed, change); };
        const QString song = Song.arg(u"0"_s);
        const QString words = u"words 0 0:1000,1:1500 2000 p"_s;
        const QStringList all{u"0:w0"_s, u"0:w1"_s, u"0:w2"_s};
        row("proposed word times", words, all);
        row("a drag of the line tag moves them, still proposed", words + u"; tag 0 0 900"_s, all);
        row("one edited by hand", words + u"; paste 0 29 1 7"_s, {u"0:w0"_s, u"0:w2"_s});
        row("accepted", words + u"; accept 0"_s, {});
        row("acceptance undone", words + u"; accept 0; undo"_s, all);
        row("proposal redone", words + u"; undo; redo"_s, all);
        row("shifted, still proposed", words + u"; shift 120"_s, all);
        row("lines above added, still proposed", words + u"; type 0 0 \\n\\n"_s, {u"2:w0"_s, u"2:w1"_s, u"2:w2"_s});
        row("a proposed line tag, tapped over", u"tap 1 3000 p"_s, {u"1:t0"_s});
        row("tapped over", u"tap 1 3000 p; tap 1 3100"_s, {});
        row("nudged", u"tap 1 3000 p; nudge 1 0 10"_s, {});
        row("accepting nothing", u"accept 1"_s, {});
        row("a word tick dragged is the user's", words + u"; wordtag 0 1 1600"_s, {u"0:w0"_s, u"0:w2"_s});
        row("a word drag undone", words + u"; wordtag 0 1 1600; undo"_s, all);
        row("split: the new tag proposed, the others as they were", words + u"; merge 0 0 2; accept 0; insert 0 1:1600 p"_s,
            {u"0:w1"_s});
        row("merged, the tags left stay proposed", words + u"; merge 0 0 2"_s, {u"0:w0"_s, u"0:w1"_s});
        row("typing in the text", u"type 2 10 x"_s, {}, {2, 2, 0, 0}, song);
        row("typing in a tag", u"type 2 4 1"_s, {}, {2, 2, 0, 1}, song);
        row("Enter in a line", u"type 2 11 \\n"_s, {}, {2, 3, 1, 0}, song);
        row("a tagged line removed", u"paste 2 0 12 "_s, {}, {2, 2, -1, 1}, song);
        row("a multi-line paste", u"paste 3 0 0 [00:01.00]x\\ny\\n"_s, {}, {3, 5, 2, 1}, song);
        row("the offset edited", u"type 1 8 5"_s, {}, {1, 1, 0, 1}, song);
        row("a tap", u"tap 5 1000"_s, {}, {5, 5, 0, 1}, song);
        row("shift all", u"shift 10"_s, {}, {2, 6, 0, 1}, song);
        row("acceptance", u"words 2 0:1000 - p; accept 2"_s, {}, {2, 2, 0, 1}, song);
    }
    void lastStep()
    {
        QFETCH(QString, text);
        QFETCH(QString, script);
        QFETCH(QList<int>, change);
        Session s(text);
        const QString last = script.section(u';', -1);
        s.run(script.section(u';', 0, -2));
        s.text.setModified(false);
        QSignalSpy spy(&s.doc, &LyricsDocument::changed);
        s.run(last);
        QTEST(unconfirmed(s.doc), "unconfirmed");
        QCOMPARE(s.text.isModified(), !last.contains(u"accept")); // acceptance changes no text
        if (change.isEmpty())
            return;
        QVERIFY(!spy.isEmpty());
        const auto c = spy.constLast().constFirst().value<LinesChange>();
        QCOMPARE((QList<int>{c.first, c.last, c.linesAdded, int(c.tagsChanged)}), change);
    }

    // A caller's own undo item joins the edit's step; typing right after a
    // tag is a step of its own.
    void undoSteps()
    {
        Session s(u"one\ntwo"_s);
        int count = 0;
        QTextCursor block(&s.text);
        block.beginEditBlock();
        s.doc.setLineTag(0, 5000);
        s.text.appendUndoItem(new CountingStep(&count));
        block.endEditBlock();
        count = 1;
        s.text.undo();
        QCOMPARE(s.text.toPlainText(), u"one\ntwo"_s);
        QCOMPARE(count, 0);

        s.doc.setLineTag(1, 6000);
        s.at(1, 10).insertText(u"x"_s);
        s.text.undo();
        QCOMPARE(s.text.toPlainText(), u"one\n[00:06.00]two"_s);
    }

    // The model and the text document may go in either order.
    void lifetimes()
    {
        auto text = std::make_unique<QTextDocument>(u"[00:01.00]a\nb"_s);
        {
            LyricsDocument first(text.get());
            QCOMPARE(first.lyricLines().size(), 2);
        }
        QVERIFY(!text->firstBlock().userData());
        LyricsDocument second(text.get());
        QCOMPARE(second.timeline().size(), 1);
        text.reset();
        QCOMPARE(second.lineCount(), 0);
        QCOMPARE(second.liveAt(1.0).current, -1);
    }
};

QTEST_MAIN(TestLyricsDocument)
#include "tst_lyricsdocument.moc"
