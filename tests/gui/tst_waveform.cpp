// The waveform strip with the fake engine: dragging a marker rewrites its tag
// as one undo step, and only its own line's, within the song; a click seeks;
// an analysed song shows its waveform.
#include "analysis/songanalysis.h"
#include "document/lyricsdocument.h"
#include "datatable.h"
#include "fakes.h"
#include "widgets/waveformview.h"

#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTest>

#include <functional>

using namespace Qt::StringLiterals;
using tarvelin::SongAnalysis;
using tarvelin::WaveformView;
using tarvelin::test::FakeEngine;

namespace {

// 1000 px across the default 8 s: 8 ms a pixel, 0..8 s in view.
constexpr int Width = 1000;
constexpr double Playhead = 4.0;

struct Strip {
    QPlainTextEdit editor;
    tarvelin::LyricsDocument lyrics{editor.document()};
    FakeEngine engine;
    SongAnalysis analysis;
    WaveformView view{&analysis, &engine};

    explicit Strip(const QString &text)
    {
        editor.setPlainText(text);
        view.setLyrics(&lyrics, &editor);
        view.resize(Width, 64);
        engine.load(u"song.mp3"_s);
        engine.pause();
        engine.positionValue = Playhead;
        Q_EMIT engine.positionChanged(Playhead);
        view.show();
    }
    // Drags from (x, y) by dx, doing `meanwhile` halfway; y 0: on the markers.
    void drag(double x, int dx, int y = 0, const std::function<void()> &meanwhile = {})
    {
        const QPoint from(int(std::lround(x)), y ? y : 40);
        QTest::mousePress(&view, Qt::LeftButton, {}, from);
        QTest::mouseMove(&view, from + QPoint(dx / 2, 0));
        if (meanwhile)
            meanwhile();
        QTest::mouseMove(&view, from + QPoint(dx, 0));
        QTest::mouseRelease(&view, Qt::LeftButton, {}, from + QPoint(dx, 0));
    }
    int tickY() const
    {
        const auto [top, tall] = view.wordTickBand();
        return int(top + tall / 2);
    }
};

} // namespace

class TestWaveform : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The markers follow the typing and each timing edit in time order: a
    // drag past another line's marker and back on Ctrl+Z. A click, or a
    // short wobble, seeks instead: on a marker to its time. (What a drag
    // writes is drag()'s.)
    void dragOrClick()
    {
        Strip s(u"[00:01.00][00:05.00]副歌\n[00:03.00]一"_s);
        QTextCursor(s.editor.document()).insertText(u"[ti:歌]\n\n"_s);
        const QString typed = s.editor.toPlainText();
        const auto times = [&s] {
            QList<std::pair<qint64, int>> list;
            for (const WaveformView::Marker &m : s.view.markers())
                list.append({m.ms, m.line});
            return list;
        };
        s.drag(s.view.xAt(5.0), -300); // 2.4 s earlier: before the other line's 3.00
        QCOMPARE(times(), (QList<std::pair<qint64, int>>{{1000, 2}, {2600, 2}, {3000, 3}}));
        s.editor.undo();
        QCOMPARE(times(), (QList<std::pair<qint64, int>>{{1000, 2}, {3000, 3}, {5000, 2}}));
        for (const auto &[at, dx] : {std::pair(4.6, 0), std::pair(3.0, 2)}) {
            s.drag(s.view.xAt(at), dx);
            QCOMPARE(*s.engine.positionValue, at);
        }
        QCOMPARE(s.editor.toPlainText(), typed);
    }

    // A drag keeps to the tag it grabbed, whatever happens to the text
    // meanwhile: a change to the grabbed line (an undo that takes the tag
    // away, the marker list shrinking and another line's marker taking its
    // place in time order) calls it off; a line added or removed above, or a
    // change elsewhere, leaves it on its line. It stops at 0 and at the
    // song's end (cut to the hundredth). The line's word tags go along (the document's part), in
    // the same undo step. A word tick of the caret's line drags like a marker,
    // but only between the word tags beside it (the first unit takes the line
    // tag with it when it stands there, else stops at it); same-time ticks
    // part in the drag's direction.
    void drag_data()
    {
        // tick: a word tick of the line with 春, else a marker; before: an undoable edit before the press
        const auto add = tarvelin::table<QString, bool, double, int, QString, QString, QString, double>(
            {"text", "tick", "grab", "dx", "expected", "meanwhile", "before", "songEnd"});
        const auto row = [&](const char *name, const tarvelin::TableText &text, bool tick, double grab, int dx,
                             const tarvelin::TableText &expected, const char *meanwhile = "", const char *before = "",
                             double songEnd = 0) {
            add(name, text, tick, grab, dx, expected, meanwhile, before, songEnd);
        };
        const QString two = u"[00:01.00]一\n[00:05.00]二"_s;
        row("undo: another line takes its place", "[00:01.00]一\n二\n[00:05.00]三", false, 3.0, -123,
            "[00:01.00]一\n二\n[00:05.00]三", "undo", "tag1");
        row("undo: it was the last marker", "[00:01.00]一\n[00:02.00]二\n三", false, 3.0, -50,
            "[00:01.00]一\n[00:02.00]二\n三", "undo", "tag2");
        row("a line added above", two, false, 5.0, -123, "[ti:歌]\n[00:01.00]一\n[00:04.01]二", "line above");
        row("the line above removed", u"[ti:歌]\n"_s + two, false, 5.0, -123, "[00:01.00]一\n[00:04.01]二",
            "first line removed");
        row("past the song's end", two, false, 5.0, 300, "[00:01.00]一\n[00:05.55]二", "", "", 5.557);

        const QString spring = u"[00:01.00]<00:01.00>春<00:02.00>眠<00:03.00>不<00:04.00>\n[00:05.00]<00:05.00>a<00:06.00>"_s;
        const auto with = [&spring](const char16_t *from, const char16_t *to) {
            return QString(spring).replace(QString::fromUtf16(from), QString::fromUtf16(to));
        };
        const QString tapped = with(u"<00:02.00>眠", u"<00:02.40>眠");
        row("tick: by the distance dragged", spring, true, 2.0, 50, tapped);
        row("tick: stops at the next word tag", spring, true, 2.0, 200, with(u"<00:02.00>眠", u"<00:03.00>眠"));
        row("tick: stops at the word tag before", spring, true, 2.0, -200, with(u"<00:02.00>眠", u"<00:01.00>眠"));
        row("tick: the first unit takes the line tag with it", spring, true, 1.0, -50,
            with(u"[00:01.00]<00:01.00>", u"[00:00.60]<00:00.60>"));
        row("tick: the first unit apart from the line tag stops there", "[00:01.00]<00:01.50>春<00:02.00>眠", true, 1.5,
            -200, "[00:01.00]<00:01.00>春<00:02.00>眠");
        row("tick: the end tag stops at the song's end", spring, true, 4.0, 300, with(u"不<00:04.00>", u"不<00:05.55>"),
            "", "", 5.557);
        const QString same = u"[00:01.00]<00:01.00>春<00:02.00>眠<00:02.00>不<00:03.00>"_s;
        row("tick: same time, dragged right: the later one", same, true, 2.0, 50,
            "[00:01.00]<00:01.00>春<00:02.00>眠<00:02.40>不<00:03.00>");
        row("tick: same time, dragged left: the earlier one", same, true, 2.0, -50,
            "[00:01.00]<00:01.00>春<00:01.60>眠<00:02.00>不<00:03.00>");
        row("tick: undo of its line's edit: called off", spring, true, 2.1, 50, spring, "undo", "word");
        row("tick: undo of a merge: the ticks renumbered, called off", spring, true, 3.0, -50, spring, "undo", "merge");
        row("tick: undo of another line's tap: carries on", spring, true, 2.0, 50, tapped, "undo", "tap");
        // A grey tick (自动逐字's guess) dragged: that one word tag is the user's, the others stay proposed.
        row("tick: a proposed one is the user's once dragged", "[00:01.00]春眠不", true, 2.0, 25,
            "[00:01.00]<00:01.00>春<00:02.20>眠<00:03.00>不<00:04.00>", "", "proposed");
        row("tick: a line added above: carries on", u"[ar:x]\n"_s + spring, true, 2.0, 50,
            u"[ti:歌]\n[ar:x]\n"_s + tapped, "line above");
    }
    void drag()
    {
        QFETCH(QString, text);
        QFETCH(bool, tick);
        QFETCH(double, grab);
        QFETCH(int, dx);
        QFETCH(QString, meanwhile);
        QFETCH(QString, before);
        QFETCH(double, songEnd);
        Strip s(text);
        s.engine.durationValue = songEnd;
        if (before.startsWith(u"tag"))
            QTextCursor(s.editor.document()->findBlockByNumber(before.back().digitValue())).insertText(u"[00:03.00]"_s);
        else if (before == u"word"_s)
            QVERIFY(s.lyrics.setWordTagTime(0, 1, 2100));
        else if (before == u"merge"_s)
            QVERIFY(s.lyrics.mergeWordUnits(0, 0, 2));
        else if (before == u"tap"_s)
            QVERIFY(s.lyrics.setLineTag(1, 5500));
        else if (before == u"proposed"_s)
            QVERIFY(s.lyrics.setWordTags(0, {{0, 1000}, {1, 2000}, {2, 3000}}, 4000, tarvelin::TagOrigin::Proposed));
        if (tick)
            s.editor.setTextCursor(QTextCursor(s.editor.document()->find(u"春"_s).block()));
        const QString pressed = s.editor.toPlainText();
        s.drag(s.view.xAt(grab), dx, tick ? s.tickY() : 0, [&] {
            QTextCursor first(s.editor.document());
            if (meanwhile == u"first line removed")
                first.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
            if (meanwhile == u"undo")
                s.editor.undo();
            else if (!meanwhile.isEmpty()) // a line typed above, or the selected one typed over
                first.insertText(meanwhile == u"line above" ? u"[ti:歌]\n"_s : QString());
        });
        QTEST(s.editor.toPlainText(), "expected");
        for (int i = 0; before == u"proposed"_s && i < 4; ++i)
            QCOMPARE(s.lyrics.isConfirmed(0, tarvelin::TagKind::Word, i), i == 1);
        if (meanwhile.isEmpty()) { // one step
            s.editor.undo();
            QCOMPARE(s.editor.toPlainText(), pressed);
        }
    }

    // Once a song is analysed the strip shows its waveform.
    void waveformOnceAnalysed()
    {
        QTemporaryDir dir;
        QVERIFY(tarvelin::test::writeToneWav(dir.filePath(u"tones.wav"_s), {3.5, 4.2}, 6));
        Strip s(u"[00:03.00]一"_s);
        const QImage blank = s.view.grab().toImage();
        QSignalSpy finished(&s.analysis, &SongAnalysis::finished);
        s.analysis.analyse(dir.filePath(u"tones.wav"_s));
        QVERIFY(finished.wait(10000));
        QVERIFY(s.view.grab().toImage() != blank);
    }
};

QTEST_MAIN(TestWaveform)
#include "tst_waveform.moc"
