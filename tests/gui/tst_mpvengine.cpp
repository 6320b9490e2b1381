// The real libmpv engine on real files. Playback runs in real time even
// without a sound device, because the audio output list ends in "null".
#include "components/mpvengine.h"
#include "components/positiontext.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using tarvelin::MediaEngine;
using tarvelin::MpvEngine;
using State = MediaEngine::State;

namespace {

QString fixture(const char *name)
{
    return QStringLiteral(TARVELIN_FIXTURES_DIR "/audio/") + QString::fromUtf8(name);
}

double pos(MpvEngine &e)
{
    return e.position().value_or(-1);
}

} // namespace

class TestMpvEngine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startsEmpty();
    void playsInRealTime_data();
    void playsInRealTime();
    void stopKeepsMediaAtStart();
    void seekLandsExactly();
    void title_data();
    void title();
    void slowerSpeedKeepsPositionConsistent();
    void badMediaReportsAndRecovers_data();
    void badMediaReportsAndRecovers();
    void emptyPathUnloads();
    void playsOnceThenStandsReady();
};

void TestMpvEngine::startsEmpty()
{
    MpvEngine e;
    QVERIFY(e.isValid());
    QCOMPARE(e.state(), State::Empty);
    QCOMPARE(e.position(), std::optional<double>(0.0));
    QCOMPARE(e.title(), std::optional<QString>(QString()));
    QCOMPARE(e.volume(), 50);
}

void TestMpvEngine::playsInRealTime_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("mp3") << fixture("tone-titled.mp3");
    QTest::newRow("wma") << fixture("tone-titled.wma");
}

void TestMpvEngine::playsInRealTime()
{
    QFETCH(QString, file);
    MpvEngine e;
    e.load(file);
    QTRY_COMPARE(e.state(), State::Playing);
    QTRY_VERIFY(pos(e) > 0.2);
    QElapsedTimer clock;
    clock.start();
    const double start = pos(e);
    QTRY_VERIFY_WITH_TIMEOUT(pos(e) > start + 1.5, 5000);
    const double played = pos(e) - start;
    const double elapsed = clock.nsecsElapsed() / 1e9;
    // Real time: the heard position follows the wall clock.
    QVERIFY2(qAbs(played - elapsed) < 0.15, qPrintable(QStringLiteral("played %1 s in %2 s").arg(played).arg(elapsed)));
    const QString text = tarvelin::formatPosition(*e.position());
    QVERIFY2(QRegularExpression(QStringLiteral("^00:0[1-4]\\.\\d\\d$")).match(text).hasMatch(), qPrintable(text));
}

void TestMpvEngine::stopKeepsMediaAtStart()
{
    MpvEngine e;
    e.load(fixture("tone-titled.mp3"));
    e.stop();
    QTRY_COMPARE(e.state(), State::Stopped);
    QCOMPARE(e.position(), std::optional<double>(0.0));
    QCOMPARE(e.title(), std::optional<QString>(QStringLiteral("测试歌曲")));
    // Still stopped a moment later: stop() is not undone by the file opening.
    QTest::qWait(300);
    QCOMPARE(e.state(), State::Stopped);
    QCOMPARE(e.position(), std::optional<double>(0.0));

    e.play();
    QTRY_COMPARE(e.state(), State::Playing);
    QTRY_VERIFY(pos(e) > 0.3);
    e.stop();
    QTRY_COMPARE(e.position(), std::optional<double>(0.0));
    QCOMPARE(e.state(), State::Stopped);
}

void TestMpvEngine::seekLandsExactly()
{
    MpvEngine e;
    e.load(fixture("tone-untitled.mp3"));
    e.stop();
    QTRY_COMPARE(e.state(), State::Stopped);
    e.seek(2.5);
    QTRY_VERIFY(qAbs(pos(e) - 2.5) < 0.001);
    QCOMPARE(tarvelin::formatPosition(pos(e)), QStringLiteral("00:02.50"));
    // Playing on from there continues from the seek target.
    e.play();
    QTRY_VERIFY(pos(e) > 2.7);
    QVERIFY(pos(e) < 3.5);
}

void TestMpvEngine::title_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expected");
    QTest::newRow("mp3 tag") << fixture("tone-titled.mp3") << QStringLiteral("测试歌曲");
    QTest::newRow("wma tag") << fixture("tone-titled.wma") << QStringLiteral("WMA Title");
    QTest::newRow("no tag: file name without extension") << fixture("tone-untitled.mp3")
                                                          << QStringLiteral("tone-untitled");
}

void TestMpvEngine::title()
{
    QFETCH(QString, file);
    QFETCH(QString, expected);
    MpvEngine e;
    QSignalSpy titles(&e, &MediaEngine::titleChanged);
    e.load(file);
    e.stop();
    QTRY_COMPARE(e.state(), State::Stopped);
    QCOMPARE(e.title(), std::optional<QString>(expected));
    QVERIFY(!titles.isEmpty());
}

void TestMpvEngine::slowerSpeedKeepsPositionConsistent()
{
    MpvEngine e;
    e.setSpeed(0.75);
    QTRY_COMPARE(e.speed(), 0.75);
    e.load(fixture("tone-titled.mp3"));
    QTRY_VERIFY(pos(e) > 0.2);
    QElapsedTimer clock;
    clock.start();
    const double start = pos(e);
    QTRY_VERIFY_WITH_TIMEOUT(pos(e) > start + 1.2, 5000);
    const double played = pos(e) - start;
    const double elapsed = clock.nsecsElapsed() / 1e9;
    // The position is media time: it advances at three quarters of the wall clock.
    QVERIFY2(qAbs(played - 0.75 * elapsed) < 0.12, qPrintable(QStringLiteral("played %1 s in %2 s").arg(played).arg(elapsed)));
}

void TestMpvEngine::badMediaReportsAndRecovers_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("missing") << fixture("no-such-song.mp3");
    QTest::newRow("directory") << QStringLiteral(TARVELIN_FIXTURES_DIR "/audio");
    QTest::newRow("not audio") << fixture("not-audio.mp3");
    QTest::newRow("empty file") << fixture("empty.mp3");
    QTest::newRow("truncated") << fixture("truncated.mp3");
}

void TestMpvEngine::badMediaReportsAndRecovers()
{
    QFETCH(QString, file);
    MpvEngine e;
    QSignalSpy errors(&e, &MediaEngine::errorOccurred);
    e.load(file);
    QTRY_COMPARE(errors.size(), 1);
    QVERIFY(!e.errorString().isEmpty());
    // Nothing playable is left running: either nothing is loaded or the
    // part that could be read stands stopped.
    QTRY_VERIFY(e.state() == State::Empty || e.state() == State::Stopped);

    // The engine is still usable afterwards.
    e.load(fixture("tone-titled.mp3"));
    QTRY_COMPARE(e.state(), State::Playing);
    QVERIFY(e.errorString().isEmpty());
}

void TestMpvEngine::emptyPathUnloads()
{
    MpvEngine e;
    QSignalSpy errors(&e, &MediaEngine::errorOccurred);
    e.load(fixture("tone-titled.mp3"));
    QTRY_COMPARE(e.state(), State::Playing);
    e.load(QString());
    QTRY_COMPARE(e.state(), State::Empty);
    QCOMPARE(e.title(), std::optional<QString>(QString()));
    QCOMPARE(e.position(), std::optional<double>(0.0));
    QCOMPARE(errors.size(), 0);
}

void TestMpvEngine::playsOnceThenStandsReady()
{
    MpvEngine e;
    e.load(fixture("tone-titled.mp3"));
    QTRY_COMPARE(e.state(), State::Playing);
    e.seek(3.6);
    // At the end the medium stops and goes back to its start, loaded.
    QTRY_COMPARE_WITH_TIMEOUT(e.state(), State::Stopped, 5000);
    QTRY_COMPARE(e.position(), std::optional<double>(0.0));
    e.play();
    QTRY_COMPARE(e.state(), State::Playing);
    QTRY_VERIFY(pos(e) > 0.2);
    QVERIFY(pos(e) < 2.0);
}

QTEST_GUILESS_MAIN(TestMpvEngine)
#include "tst_mpvengine.moc"
