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
    // song's end (cut to the hundredth) as it does at 0.
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
