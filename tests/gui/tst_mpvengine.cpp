// The real libmpv engine on real files. Playback runs in real time even
// without a sound device, because the audio output list ends in "null".
#include "media/mpvengine.h"
#include "media/heardposition.h"
#include "core/positiontext.h"
#include "widgets/playerwidget.h"
#include "fakes.h"
#include "../support/datatable.h"

#include <QSignalSpy>
#include <clocale>
#include <QTest>

using namespace Qt::StringLiterals;
using tarvelin::MediaEngine;
using State = MediaEngine::State;

static QString fixture(const char *name) { return QStringLiteral(TARVELIN_FIXTURES_DIR "/audio/") + QString::fromUtf8(name); }
static double pos(MediaEngine &e) { return e.position().value_or(-1); }
static QString tag(MediaEngine &e) { return tarvelin::formatPosition(pos(e)); }

class TestMpvEngine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // libmpv starts only with numbers formatted the C way: set once the
    // application has read the locale from the environment, as main() does.
    void initTestCase() { std::setlocale(LC_NUMERIC, "C"); }

    // While paused the position stays put whatever the speed; playing goes
    // on from there. A song without a title is named by its file.
    void positionAndSpeed()
    {
        tarvelin::MpvEngine e;
        e.setSpeed(0.75);
        e.load(fixture("tone-untitled.mp3"));
        QTRY_VERIFY(pos(e) > 0.8);
        QCOMPARE(e.title(), std::optional(u"tone-untitled"_s));
        e.pause();
        QTRY_COMPARE(e.state(), State::Paused);
        const double paused = pos(e);
        // A faster speed chosen while paused once made playback go on 0.4 s
        // before the paused place (the stretch lag, 22 ms at 2x, comes off).
        e.setSpeed(tarvelin::MaxSpeed);
        QTRY_COMPARE(e.speed(), tarvelin::MaxSpeed);
        QCOMPARE(pos(e), paused);
        e.play();
        QTRY_VERIFY(pos(e) != paused);
        const double resumed = pos(e);
        QVERIFY2(resumed > paused - 0.05 && resumed < paused + 0.25, qPrintable(u"paused at %1, plays on at %2"_s.arg(paused).arg(resumed)));
    }

    // Stopped right after loading, the medium stays loaded at 00:00.00 with
    // its title; after playing, stop goes back there. Seeks are held to the
    // medium and land exactly while paused. At its end it stands there, so a
    // late tag gets the end; a seek goes anywhere from there, and an empty
    // path then unloads it quietly.
    void stopSeekAndEnd()
    {
        tarvelin::MpvEngine e;
        QSignalSpy errors(&e, &MediaEngine::errorOccurred);
        e.load(fixture("tone-gbk-id3v1.mp3"));
        e.stop();
        QTRY_COMPARE(e.state(), State::Stopped);
        QCOMPARE(e.title(), std::optional(u"春晓"_s));
        e.seek(-3);
        QCOMPARE(e.position(), std::optional(0.0));
        e.play();
        QTRY_VERIFY(pos(e) > 0.3);
        e.stop();
        QTRY_VERIFY(e.state() == State::Stopped && e.position() == 0.0);
        e.seek(2.5);
        QTRY_COMPARE(tag(e), u"00:02.50"_s);
        e.play();
        QTRY_COMPARE_WITH_TIMEOUT(e.state(), State::Ended, 5000);
        QVERIFY2(e.duration() - pos(e) < 0.1, qPrintable(tag(e)));
        e.seek(1.25);
        QCOMPARE(tag(e), u"00:01.25"_s);
        QCOMPARE(e.state(), State::Paused);
        e.seek(999);
        QCOMPARE(e.position(), std::optional(e.duration()));
        e.load(QString());
        QTRY_COMPARE(e.state(), State::Empty);
        QCOMPARE(e.title(), std::optional(QString()));
        QCOMPARE(errors.size(), 0);
    }

    // From its end, play starts the song again, however it got there. mpv
    // pauses by itself at the end; after a seek to the end it did not always
    // say so, and play left the player "playing" without a sound.
    void playFromTheEnd_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::newRow("played to the end") << u"end"_s;
        QTest::newRow("at the end, moved to the end") << u"end seek"_s;
        QTest::newRow("paused, moved to the end") << u"pause seek"_s;
        QTest::newRow("playing, moved to the end") << u"seek end"_s;
    }
    void playFromTheEnd()
    {
        QFETCH(QString, steps);
        tarvelin::MpvEngine e;
        e.load(fixture("tone-titled.mp3"));
        QTRY_COMPARE(e.state(), State::Playing);
        for (const QString &step : steps.split(u' ')) {
            if (step == u"pause")
                e.pause();
            else if (step == u"seek")
                e.seek(999);
            else if (e.state() == State::Playing) // "end": played on to the end
                e.seek(e.duration() - 0.3);
            if (step == u"end")
                QTRY_COMPARE(e.state(), State::Ended);
        }
        e.play();
        QTRY_VERIFY2(e.state() == State::Playing && pos(e) > 0.2 && pos(e) < 1.0,
                     qPrintable(u"%1 at %2"_s.arg(QVariant::fromValue(e.state()).toString(), tag(e))));
    }

    void badMediaReportsAndRecovers_data()
    {
        const auto row = tarvelin::table<QString, QString>({"file", "message"});
        row("missing", fixture("no-such-song.mp3"), "无法播放“no-such-song.mp3”：文件不存在");
        row("not audio", fixture("not-audio.mp3"), "无法播放“not-audio.mp3”：无法识别的文件格式");
        // Its header claims the whole song; the early end is the only sign.
        row("truncated", fixture("truncated.mp3"), "无法播放“truncated.mp3”：文件不完整，只能播放到 00:00.");
    }
    // Nothing is left running, and the engine still plays afterwards.
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
        QTRY_VERIFY(e.state() == State::Empty || e.state() == State::Ended);
        e.load(fixture("tone-titled.mp3"));
        QTRY_COMPARE(e.state(), State::Playing);
    }
};

QTEST_GUILESS_MAIN(TestMpvEngine)
#include "tst_mpvengine.moc"
