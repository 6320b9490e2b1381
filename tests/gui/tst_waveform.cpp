// The waveform strip with the fake engine: dragging a marker rewrites its tag
// as one undo step, and only its own line's, within the song; a click seeks;
// an analysed song shows its waveform.
#include "analysis/songanalysis.h"
#include "document/lyricsdocument.h"
#include "fakes.h"
#include "widgets/waveformview.h"

#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTest>

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
    void drag(double fromX, int dx)
    {
        const QPoint from(int(std::lround(fromX)), 40);
        QTest::mousePress(&view, Qt::LeftButton, {}, from);
        QTest::mouseMove(&view, from + QPoint(dx, 0));
        QTest::mouseRelease(&view, Qt::LeftButton, {}, from + QPoint(dx, 0));
    }
};

} // namespace

class TestWaveform : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Dragging a marker moves that tag by the dragged distance, cut to the
    // hundredth, as one undo step, and leaves the line's other tags be, on
    // whatever line the typing has put it. A click, or a short wobble, seeks
    // instead: on a marker to its time.
    void dragOrClick()
    {
        Strip s(u"[00:01.00][00:05.00]副歌\n[00:03.00]一"_s);
        QCOMPARE(s.view.markers().size(), 3);
        QTextCursor(s.editor.document()).insertText(u"[ti:歌]\n\n"_s);
        const QString typed = s.editor.toPlainText();
        s.drag(s.view.xAt(5.0), -123);
        QCOMPARE(s.editor.toPlainText(), u"[ti:歌]\n\n[00:01.00][00:04.01]副歌\n[00:03.00]一"_s);
        s.editor.undo();
        QCOMPARE(s.editor.toPlainText(), typed);
        // The markers follow each timing edit in time order, past another
        // line's marker and back on Ctrl+Z.
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

    // A drag keeps to the line it grabbed, whatever happens to the text
    // meanwhile: an undo that takes the grabbed tag away (the marker list
    // shrinks, another line's marker takes its place in time order) calls
    // it off; a line added or removed above leaves it on its line. It stops at the
    // song's end (cut to the hundredth) as it does at 0. The line's word tags
    // go along, in the same undo step.
    void dragKeepsToItsLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("tapLine"); // gets a [00:03.00] tag before the drag (undoable)
        QTest::addColumn<double>("grab");
        QTest::addColumn<int>("dx");
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<double>("songEnd");
        QTest::addColumn<QString>("expected");
        QTest::newRow("undo: another line takes its place")
            << u"[00:01.00]一\n二\n[00:05.00]三"_s << 1 << 3.0 << -123 << u"undo"_s << 0.0
            << u"[00:01.00]一\n二\n[00:05.00]三"_s;
        QTest::newRow("undo: it was the last marker")
            << u"[00:01.00]一\n[00:02.00]二\n三"_s << 2 << 3.0 << -50 << u"undo"_s << 0.0
            << u"[00:01.00]一\n[00:02.00]二\n三"_s;
        QTest::newRow("a line added above")
            << u"[00:01.00]一\n[00:05.00]二"_s << -1 << 5.0 << -123 << u"line above"_s << 0.0
            << u"[ti:歌]\n[00:01.00]一\n[00:04.01]二"_s;
        QTest::newRow("the line above removed")
            << u"[ti:歌]\n[00:01.00]一\n[00:05.00]二"_s << -1 << 5.0 << -123 << u"first line removed"_s << 0.0
            << u"[00:01.00]一\n[00:04.01]二"_s;
        QTest::newRow("a line with word tags: they move with its marker")
            << u"[00:01.00]一\n[00:05.00]<00:05.00>二<00:06.00>"_s << -1 << 5.0 << -123 << QString() << 0.0
            << u"[00:01.00]一\n[00:04.01]<00:04.01>二<00:05.01>"_s;
        QTest::newRow("past the song's end")
            << u"[00:01.00]一\n[00:05.00]二"_s << -1 << 5.0 << 300 << QString() << 5.557
            << u"[00:01.00]一\n[00:05.55]二"_s;
    }
    void dragKeepsToItsLine()
    {
        QFETCH(QString, text);
        QFETCH(int, tapLine);
        QFETCH(double, grab);
        QFETCH(int, dx);
        QFETCH(QString, meanwhile);
        QFETCH(double, songEnd);
        QFETCH(QString, expected);
        Strip s(text);
        s.engine.durationValue = songEnd;
        if (tapLine >= 0)
            QTextCursor(s.editor.document()->findBlockByNumber(tapLine)).insertText(u"[00:03.00]"_s);
        const QPoint from(int(std::lround(s.view.xAt(grab))), 40);
        QTest::mousePress(&s.view, Qt::LeftButton, {}, from);
        QTest::mouseMove(&s.view, from + QPoint(dx / 2, 0));
        if (meanwhile == u"undo"_s) {
            s.editor.undo();
        } else if (meanwhile == u"line above"_s) {
            QTextCursor(s.editor.document()).insertText(u"[ti:歌]\n"_s);
        } else if (meanwhile == u"first line removed"_s) {
            QTextCursor first(s.editor.document());
            first.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
            first.removeSelectedText();
        }
        QTest::mouseMove(&s.view, from + QPoint(dx, 0));
        QTest::mouseRelease(&s.view, Qt::LeftButton, {}, from + QPoint(dx, 0));
        QCOMPARE(s.editor.toPlainText(), expected);
        if (meanwhile.isEmpty()) { // one step
            s.editor.undo();
            QCOMPARE(s.editor.toPlainText(), text);
        }
    }

    // A word tick of the caret's line drags like a marker, but only between
    // the word tags beside it (the first unit takes the line tag with it
    // when it stands there, else stops at it; the end tag at the song's
    // end); same-time ticks part in the drag's direction. One Ctrl+Z puts
    // the text back exactly. Whatever happens meanwhile, no other tag moves:
    // a change to the grabbed line (an undo) calls the drag off, one
    // elsewhere leaves it on its line.
    void wordTickDrag_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("before"); // an undoable edit before the press
        QTest::addColumn<double>("grab");
        QTest::addColumn<int>("dx");
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<double>("songEnd");
        QTest::addColumn<QString>("expected");
        const QString spring = u"[00:01.00]<00:01.00>春<00:02.00>眠<00:03.00>不<00:04.00>\n[00:05.00]<00:05.00>a<00:06.00>"_s;
        const auto with = [&spring](const char16_t *from, const char16_t *to) {
            return QString(spring).replace(QString::fromUtf16(from), QString::fromUtf16(to));
        };
        QTest::newRow("by the distance dragged") << spring << QString() << 2.0 << 50 << QString() << 0.0
                                                 << with(u"<00:02.00>眠", u"<00:02.40>眠");
        QTest::newRow("stops at the next word tag") << spring << QString() << 2.0 << 200 << QString() << 0.0
                                                    << with(u"<00:02.00>眠", u"<00:03.00>眠");
        QTest::newRow("stops at the word tag before") << spring << QString() << 2.0 << -200 << QString() << 0.0
                                                      << with(u"<00:02.00>眠", u"<00:01.00>眠");
        QTest::newRow("the first unit takes the line tag with it") << spring << QString() << 1.0 << -50 << QString()
                                                                  << 0.0 << with(u"[00:01.00]<00:01.00>", u"[00:00.60]<00:00.60>");
        QTest::newRow("the first unit apart from the line tag stops there")
            << u"[00:01.00]<00:01.50>春<00:02.00>眠"_s << QString() << 1.5 << -200 << QString() << 0.0
            << u"[00:01.00]<00:01.00>春<00:02.00>眠"_s;
        QTest::newRow("the end tag stops at the song's end") << spring << QString() << 4.0 << 300 << QString() << 5.557
                                                             << with(u"不<00:04.00>", u"不<00:05.55>");
        const QString same = u"[00:01.00]<00:01.00>春<00:02.00>眠<00:02.00>不<00:03.00>"_s;
        QTest::newRow("same time, dragged right: the later one") << same << QString() << 2.0 << 50 << QString() << 0.0
                                                                 << u"[00:01.00]<00:01.00>春<00:02.00>眠<00:02.40>不<00:03.00>"_s;
        QTest::newRow("same time, dragged left: the earlier one") << same << QString() << 2.0 << -50 << QString() << 0.0
                                                                  << u"[00:01.00]<00:01.00>春<00:01.60>眠<00:02.00>不<00:03.00>"_s;
        QTest::newRow("undo of its line's edit: called off") << spring << u"word"_s << 2.1 << 50 << u"undo"_s << 0.0
                                                             << spring;
        QTest::newRow("undo of a merge: the ticks renumbered, called off")
            << spring << u"merge"_s << 3.0 << -50 << u"undo"_s << 0.0 << spring;
        QTest::newRow("undo of another line's tap: carries on") << spring << u"tap"_s << 2.0 << 50 << u"undo"_s << 0.0
                                                                << with(u"<00:02.00>眠", u"<00:02.40>眠");
        QTest::newRow("a line added above: carries on")
            << u"[ar:x]\n"_s + spring << QString() << 2.0 << 50 << u"line above"_s << 0.0
            << u"[ti:歌]\n[ar:x]\n"_s + with(u"<00:02.00>眠", u"<00:02.40>眠");
    }
    void wordTickDrag()
    {
        QFETCH(QString, text);
        QFETCH(QString, before);
        QFETCH(double, grab);
        QFETCH(int, dx);
        QFETCH(QString, meanwhile);
        QFETCH(double, songEnd);
        Strip s(text);
        s.engine.durationValue = songEnd;
        if (before == u"word"_s)
            QVERIFY(s.lyrics.setWordTagTime(0, 1, 2100));
        else if (before == u"merge"_s)
            QVERIFY(s.lyrics.mergeWordUnits(0, 0, 2));
        else if (before == u"tap"_s)
            QVERIFY(s.lyrics.setLineTag(1, 5500));
        s.editor.setTextCursor(QTextCursor(s.editor.document()->find(u"春"_s).block()));
        const QString pressed = s.editor.toPlainText();
        const auto [top, tall] = s.view.wordTickBand();
        const QPoint from(int(std::lround(s.view.xAt(grab))), int(top + tall / 2));
        QTest::mousePress(&s.view, Qt::LeftButton, {}, from);
        QTest::mouseMove(&s.view, from + QPoint(dx / 2, 0));
        if (meanwhile == u"undo"_s)
            s.editor.undo();
        else if (meanwhile == u"line above"_s)
            QTextCursor(s.editor.document()).insertText(u"[ti:歌]\n"_s);
        QTest::mouseMove(&s.view, from + QPoint(dx, 0));
        QTest::mouseRelease(&s.view, Qt::LeftButton, {}, from + QPoint(dx, 0));
        QTEST(s.editor.toPlainText(), "expected");
        if (meanwhile.isEmpty()) {
            s.editor.undo();
            QCOMPARE(s.editor.toPlainText(), pressed);
        }
    }

    // Dragging a grey tick (自动逐字's guess) makes that one word tag the
    // user's; the others stay proposed, and Ctrl+Z proposes it again.
    void wordTickDragConfirms()
    {
        Strip s(u"[00:01.00]春眠不"_s);
        QVERIFY(s.lyrics.setWordTags(0, {{0, 1000}, {1, 2000}, {2, 3000}}, 4000, tarvelin::TagOrigin::Proposed));
        const auto confirmed = [&s] {
            QList<bool> flags;
            for (int i = 0; i < 4; ++i)
                flags << s.lyrics.isConfirmed(0, tarvelin::TagKind::Word, i);
            return flags;
        };
        const auto [top, tall] = s.view.wordTickBand();
        const QPoint from(int(std::lround(s.view.xAt(2.0))), int(top + tall / 2));
        QTest::mousePress(&s.view, Qt::LeftButton, {}, from);
        QTest::mouseMove(&s.view, from + QPoint(25, 0));
        QTest::mouseRelease(&s.view, Qt::LeftButton, {}, from + QPoint(25, 0));
        QCOMPARE(s.lyrics.text(0), u"[00:01.00]<00:01.00>春<00:02.20>眠<00:03.00>不<00:04.00>"_s);
        QCOMPARE(confirmed(), (QList<bool>{false, true, false, false}));
        s.editor.undo();
        QCOMPARE(confirmed(), (QList<bool>{false, false, false, false}));
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
