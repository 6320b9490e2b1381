// The waveform strip with the fake engine: markers follow the editor's text,
// dragging one rewrites its tag as one undo step, a click seeks, and a song
// that cannot be decoded draws nothing more than no song at all.
#include "analysis/songanalysis.h"
#include "fakes.h"
#include "ui/components/waveformview.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QWheelEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using tarvelin::SongAnalysis;
using tarvelin::WaveformView;
using tarvelin::test::FakeEngine;
using Marker = WaveformView::Marker;

namespace {

// 1000 px across the default 8 s: 8 ms a pixel, 0..8 s in view.
constexpr int Width = 1000;
constexpr double Playhead = 4.0;

struct Strip {
    QPlainTextEdit editor;
    FakeEngine engine;
    SongAnalysis analysis;
    WaveformView view{&analysis, &engine};

    explicit Strip(const QString &text)
    {
        editor.setPlainText(text);
        view.setEditor(&editor);
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
        QTest::mouseMove(&view, from + QPoint(dx / 2, 0));
        QTest::mouseMove(&view, from + QPoint(dx, 0));
        QTest::mouseRelease(&view, Qt::LeftButton, {}, from + QPoint(dx, 0));
    }
};

} // namespace

class TestWaveform : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Lyric lines in time order, a marker for each tag, ID, blank and
    // untagged lines skipped; and as the user types.
    void markersFollowText()
    {
        Strip s(u""_s);
        QVERIFY(s.view.markers().isEmpty());
        s.editor.setPlainText(u"[ar:歌手]\n[00:05.00][01:02.50]第二句\n\n[00:01.50]第一句很长很长很长的歌词\n只有歌词\n[Whistling]"_s);
        QList<Marker> expected{{3, 0, 1500, u"第一句很长很长很"_s}, {1, 0, 5000, u"第二句"_s}, {1, 1, 62500, u"第二句"_s}};
        QCOMPARE(s.view.markers(), expected);
        s.editor.moveCursor(QTextCursor::End);
        s.editor.insertPlainText(u"\n[00:07.25]新的一行"_s);
        expected.insert(2, {6, 0, 7250, u"新的一行"_s});
        QCOMPARE(s.view.markers(), expected);
    }

    // Dragging a marker moves that tag by the dragged distance, cut to the
    // hundredth, as one undo step, and leaves the line's other tags be. A
    // click, or a short wobble, seeks instead: on a marker to its time.
    void dragOrClick_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("marker"); // -1: at 600 px, on no marker
        QTest::addColumn<int>("dx");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<double>("position");
        QTest::newRow("earlier, the second tag of a line")
            << u"[00:01.00][00:05.00]副歌"_s << 1 << -123 << u"[00:01.00][00:04.01]副歌"_s << Playhead;
        QTest::newRow("a short wobble on a marker") << u"[00:03.00]一"_s << 0 << 2 << u"[00:03.00]一"_s << 3.0;
        QTest::newRow("a click off the markers") << u"[00:03.00]一"_s << -1 << 0 << u"[00:03.00]一"_s << 4.8;
    }
    void dragOrClick()
    {
        QFETCH(QString, text);
        QFETCH(int, marker);
        QFETCH(int, dx);
        QFETCH(QString, expected);
        QFETCH(double, position);
        Strip s(text);
        s.drag(marker < 0 ? 600 : s.view.xAt(s.view.markers()[marker].ms / 1000.0), dx);
        QCOMPARE(s.editor.toPlainText(), expected);
        QCOMPARE(*s.engine.positionValue, position);
        QCOMPARE(s.view.position(), position);
        QCOMPARE(s.editor.document()->isUndoAvailable(), expected != text);
        s.editor.undo();
        QCOMPARE(s.editor.toPlainText(), text);
        QVERIFY(!s.editor.document()->isUndoAvailable());
    }

    // The wheel zooms in and out, held to the limits.
    void wheelZooms()
    {
        Strip s(u""_s);
        for (const auto &[delta, span] : {std::pair(3600, WaveformView::MinSpan), std::pair(-7200, WaveformView::MaxSpan)}) {
            QWheelEvent wheel(QPointF(400, 30), s.view.mapToGlobal(QPointF(400, 30)), {}, QPoint(0, delta),
                              Qt::NoButton, {}, Qt::NoScrollPhase, false);
            QApplication::sendEvent(&s.view, &wheel);
            QCOMPARE(s.view.span(), span);
        }
    }

    // A song that cannot be decoded leaves the strip as it is with no song
    // analysed; one that can be shows its waveform.
    void waveformOnlyForDecodedSongs()
    {
        QTemporaryDir dir;
        QVERIFY(tarvelin::test::writeToneWav(dir.filePath(u"tones.wav"_s), {3.5, 4.2}, 6));
        Strip s(u"[00:03.00]一"_s);
        const QImage before = s.view.grab().toImage();

        QSignalSpy failed(&s.analysis, &SongAnalysis::failed);
        s.analysis.analyse(QStringLiteral(TARVELIN_FIXTURES_DIR "/audio/not-audio.mp3"));
        QVERIFY(failed.wait(10000));
        QVERIFY(!s.view.hasWaveform());
        QCOMPARE(s.view.grab().toImage(), before);

        QSignalSpy finished(&s.analysis, &SongAnalysis::finished);
        s.analysis.analyse(dir.filePath(u"tones.wav"_s));
        QVERIFY(finished.wait(10000));
        QVERIFY(s.view.hasWaveform());
        QVERIFY(s.view.grab().toImage() != before);
    }
};

QTEST_MAIN(TestWaveform)
#include "tst_waveform.moc"
