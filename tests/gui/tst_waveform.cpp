// The waveform strip with the fake engine: dragging a marker rewrites its tag
// as one undo step, a click seeks, and an analysed song shows its waveform.
#include "analysis/songanalysis.h"
#include "fakes.h"
#include "ui/components/waveformview.h"

#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
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
        for (const auto &[at, dx] : {std::pair(4.6, 0), std::pair(3.0, 2)}) {
            s.drag(s.view.xAt(at), dx);
            QCOMPARE(*s.engine.positionValue, at);
        }
        QCOMPARE(s.editor.toPlainText(), typed);
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
