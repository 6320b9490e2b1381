// The real libmpv engine on real files. Playback runs in real time even
// without a sound device, because the audio output list ends in "null".
#include "media/mpvengine.h"
#include "core/positiontext.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using tarvelin::MediaEngine;
using State = MediaEngine::State;

static QString fixture(const char *name) { return QStringLiteral(TARVELIN_FIXTURES_DIR "/audio/") + QString::fromUtf8(name); }
static double pos(MediaEngine &e) { return e.position().value_or(-1); }

class TestMpvEngine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void playsInRealTime_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("speed");
        QTest::newRow("mp3") << fixture("tone-titled.mp3") << 1.0;
        QTest::newRow("mp3 at 0.75x") << fixture("tone-titled.mp3") << 0.75;
    }
    // The position is media time: it follows the wall clock times the speed.
    void playsInRealTime()
    {
        QFETCH(QString, file);
        QFETCH(double, speed);
        tarvelin::MpvEngine e;
        e.setSpeed(speed);
        QTRY_COMPARE(e.speed(), speed);
        e.load(file);
        QTRY_VERIFY(pos(e) > 0.2);
        QElapsedTimer clock;
        clock.start();
        const double start = pos(e);
        QTRY_VERIFY_WITH_TIMEOUT(pos(e) > start + 1.5 * speed, 5000);
        const double played = pos(e) - start, elapsed = clock.nsecsElapsed() / 1e9;
        QVERIFY2(qAbs(played - speed * elapsed) < 0.15, qPrintable(u"played %1 s in %2 s"_s.arg(played).arg(elapsed)));
    }

    void stopSeekAndEnd_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("title");
        QTest::newRow("mp3 tag") << fixture("tone-titled.mp3") << "测试歌曲";
        QTest::newRow("wma tag") << fixture("tone-titled.wma") << "WMA Title";
        QTest::newRow("no tag: file name without extension") << fixture("tone-untitled.mp3") << "tone-untitled";
    }
    // Stopped right after loading, the medium stays loaded at 00:00.00 with
    // its title; after playing, stop goes back there. Seeks land exactly.
    // Played to its end it stands ready at its start, and an empty path then
    // unloads it without an error.
    void stopSeekAndEnd()
    {
        QFETCH(QString, file);
        QFETCH(QString, title);
        tarvelin::MpvEngine e;
        QSignalSpy errors(&e, &MediaEngine::errorOccurred);
        e.load(file);
        e.stop();
        QTRY_COMPARE(e.state(), State::Stopped);
        QCOMPARE(e.title(), std::optional(title));
        // Still stopped a moment later: stop() is not undone by the file opening.
        QTest::qWait(300);
        QCOMPARE(e.state(), State::Stopped);
        QCOMPARE(e.position(), std::optional(0.0));
        e.play();
        QTRY_VERIFY(pos(e) > 0.3);
        e.stop();
        QTRY_VERIFY(e.state() == State::Stopped && e.position() == 0.0);
        QSignalSpy shown(&e, &MediaEngine::positionChanged);
        e.seek(2.5);
        QTRY_VERIFY(qAbs(pos(e) - 2.5) < 0.001);
        QCOMPARE(tarvelin::formatPosition(pos(e)), u"00:02.50"_s);
        // The player's display shows what a tag would get.
        QTRY_VERIFY(!shown.isEmpty() && shown.last().at(0).toDouble() == 2.5);
        e.play();
        QTRY_COMPARE(e.state(), State::Playing);
        QTRY_COMPARE_WITH_TIMEOUT(e.state(), State::Stopped, 5000);
        QTRY_COMPARE(e.position(), std::optional(0.0));
        e.play();
        QTRY_VERIFY(pos(e) > 0.2 && pos(e) < 2.0);
        e.load(QString());
        QTRY_COMPARE(e.state(), State::Empty);
        QCOMPARE(e.title(), std::optional(QString()));
        QCOMPARE(errors.size(), 0);
    }

    void badMediaReportsAndRecovers_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("missing") << fixture("no-such-song.mp3");
        QTest::newRow("directory") << QStringLiteral(TARVELIN_FIXTURES_DIR "/audio");
        QTest::newRow("not audio") << fixture("not-audio.mp3");
        QTest::newRow("empty file") << fixture("empty.mp3");
        QTest::newRow("truncated") << fixture("truncated.mp3");
    }
    void badMediaReportsAndRecovers()
    {
        QFETCH(QString, file);
        tarvelin::MpvEngine e;
        QSignalSpy errors(&e, &MediaEngine::errorOccurred);
        e.load(file);
        QTRY_COMPARE(errors.size(), 1);
        QVERIFY(!e.errorString().isEmpty());
        // Nothing is left running: either nothing is loaded or the readable part stands stopped.
        QTRY_VERIFY(e.state() == State::Empty || e.state() == State::Stopped);
        // The engine is still usable afterwards.
        e.load(fixture("tone-titled.mp3"));
        QTRY_COMPARE(e.state(), State::Playing);
        QVERIFY(e.errorString().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMpvEngine)
#include "tst_mpvengine.moc"
