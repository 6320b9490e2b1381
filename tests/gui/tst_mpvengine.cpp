// The real libmpv engine on real files. Playback runs in real time even
// without a sound device, because the audio output list ends in "null".
#include "media/mpvengine.h"
#include "core/heardposition.h"
#include "core/positiontext.h"
#include "ui/components/playerwidget.h"
#include "fakes.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using tarvelin::MediaEngine;
using State = MediaEngine::State;
using Error = MediaEngine::Error;

static QString fixture(const char *name) { return QStringLiteral(TARVELIN_FIXTURES_DIR "/audio/") + QString::fromUtf8(name); }
static double pos(MediaEngine &e) { return e.position().value_or(-1); }
static QString tag(MediaEngine &e) { return tarvelin::formatPosition(pos(e)); }

class TestMpvEngine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { tarvelin::test::useCNumericLocale(); }

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
        QTest::newRow("ID3v1 title in GBK") << fixture("tone-gbk-id3v1.mp3") << "春晓";
    }
    // Stopped right after loading, the medium stays loaded at 00:00.00 with
    // its title; after playing, stop goes back there. Paused seeks land
    // exactly. Played to its end it stands there, so a late tag gets the end;
    // play starts it again from the start, and an empty path then unloads it
    // without an error.
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
        QCOMPARE(tag(e), u"00:02.50"_s);
        // The player's display shows what a tag would get.
        QTRY_VERIFY(!shown.isEmpty() && shown.last().at(0).toDouble() == 2.5);
        e.play();
        QTRY_COMPARE(e.state(), State::Playing);
        QTRY_COMPARE_WITH_TIMEOUT(e.state(), State::Ended, 5000);
        QVERIFY2(e.duration() - pos(e) < 0.1, qPrintable(tag(e)));
        QTest::qWait(200);
        QVERIFY2(e.duration() - pos(e) < 0.1, qPrintable(tag(e)));
        e.play();
        QTRY_VERIFY(pos(e) > 0.2 && pos(e) < 2.0);
        e.load(QString());
        QTRY_COMPARE(e.state(), State::Empty);
        QCOMPARE(e.title(), std::optional(QString()));
        QCOMPARE(errors.size(), 0);
    }

    // While paused the position is one place whatever the speed; playing
    // goes on from there.
    void pausedPositionKeepsWithSpeed()
    {
        tarvelin::MpvEngine e;
        e.load(fixture("tone-titled.mp3"));
        QTRY_VERIFY(pos(e) > 0.8);
        e.pause();
        QTRY_COMPARE(e.state(), State::Paused);
        const double paused = pos(e);
        const QString pausedTag = tag(e);
        for (double speed : {0.5, 0.75, 1.25, 2.0, 1.0}) {
            e.setSpeed(speed);
            QTRY_COMPARE(e.speed(), speed);
            QTest::qWait(100);
            QCOMPARE(pos(e), paused);
            QCOMPARE(tag(e), pausedTag);
        }
        e.play();
        QTRY_VERIFY(pos(e) != paused);
        QVERIFY2(qAbs(pos(e) - paused) < 0.15, qPrintable(u"paused at %1, plays on at %2"_s.arg(paused).arg(pos(e))));
    }

    // Out-of-range requests are held to the limits by the engine itself.
    void limits()
    {
        tarvelin::MpvEngine e;
        e.setVolume(150);
        QTRY_COMPARE(e.volume(), 100);
        e.setVolume(-5);
        QTRY_COMPARE(e.volume(), 0);
        e.setSpeed(4.0);
        QTRY_COMPARE(e.speed(), tarvelin::MaxSpeed);
        e.setSpeed(0.1);
        QTRY_COMPARE(e.speed(), tarvelin::MinSpeed);
        e.load(fixture("tone-titled.mp3"));
        e.stop();
        QTRY_COMPARE(e.state(), State::Stopped);
        e.seek(-3);
        QCOMPARE(e.position(), std::optional(0.0));
        e.seek(999);
        QCOMPARE(e.position(), std::optional(e.duration()));
        e.play();
        QTRY_COMPARE(e.state(), State::Ended);
        // From the end a seek goes anywhere.
        e.seek(1.25);
        QCOMPARE(tag(e), u"00:01.25"_s);
        QCOMPARE(e.state(), State::Paused);
    }

    void badMediaReportsAndRecovers_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << fixture("no-such-song.mp3") << u"无法播放“no-such-song.mp3”：文件不存在"_s;
        QTest::newRow("directory") << QStringLiteral(TARVELIN_FIXTURES_DIR "/audio") << u"无法播放“audio”：这不是一个文件"_s;
        QTest::newRow("not audio") << fixture("not-audio.mp3") << u"无法播放“not-audio.mp3”：无法识别的文件格式"_s;
        QTest::newRow("empty file") << fixture("empty.mp3") << u"无法播放“empty.mp3”：无法识别的文件格式"_s;
        // Its header claims the whole song; the early end is the only sign.
        QTest::newRow("truncated") << fixture("truncated.mp3") << u"无法播放“truncated.mp3”：文件不完整，只能播放到 00:00."_s;
    }
    void badMediaReportsAndRecovers()
    {
        QFETCH(QString, file);
        QFETCH(QString, message);
        tarvelin::MpvEngine e;
        QSignalSpy errors(&e, &MediaEngine::errorOccurred);
        e.load(file);
        QTRY_COMPARE(errors.size(), 1);
        const QString shown = tarvelin::PlayerWidget::failureText(e.failure());
        QVERIFY2(shown.startsWith(message), qPrintable(shown));
        // Nothing is left running: either nothing is loaded or the readable part stands at its end.
        QTRY_VERIFY(e.state() == State::Empty || e.state() == State::Ended);
        // The engine is still usable afterwards.
        e.load(fixture("tone-titled.mp3"));
        QTRY_COMPARE(e.state(), State::Playing);
        QCOMPARE(e.failure().error, Error::None);
    }

    // mpv's own log and failed calls reach the category only when asked for.
    void logsOnlyWhenAsked()
    {
        if (qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
            QSKIP("QT_LOGGING_RULES decides what is logged");
        static QStringList logged;
        logged.clear();
        const auto previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &context, const QString &text) {
            if (qstrcmp(context.category, "tarvelin.engine") == 0)
                logged << text;
        });
        const auto loadBadFile = [] {
            tarvelin::MpvEngine e;
            QSignalSpy errors(&e, &MediaEngine::errorOccurred);
            e.load(fixture("not-audio.mp3"));
            QTRY_COMPARE(errors.size(), 1);
        };
        loadBadFile();
        QCOMPARE(logged, QStringList());
        QLoggingCategory::setFilterRules(u"tarvelin.engine.debug=true"_s);
        loadBadFile();
        QLoggingCategory::setFilterRules(QString());
        qInstallMessageHandler(previous);
        QVERIFY(logged.filter(u"mpv "_s).size() > 0);
        QVERIFY(logged.filter(u"UnknownFormat"_s).size() > 0);
    }
};

QTEST_GUILESS_MAIN(TestMpvEngine)
#include "tst_mpvengine.moc"
