// The player's own controls and keys, on a scripted engine.
#include "widgets/playerwidget.h"
#include "fakes.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QSlider>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;
using State = tarvelin::MediaEngine::State;

class TestPlayerWidget : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A medium that cannot be played is named in the display until the next
    // one. Space and the buttons play, pause, stop and mute; Left/Right move
    // the position by 5 s, Up/Down the volume by 5, without starting
    // playback. Whoever changes the engine, every control shows it.
    void controls()
    {
        tarvelin::test::FakeEngine engine;
        tarvelin::PlayerWidget player(&engine);
        player.show();
        QVERIFY(QTest::qWaitForWindowExposed(&player));
        player.setFocus();
        engine.failureValue = {tarvelin::MediaEngine::Error::UnknownFormat, u"/music/坏.mp3"_s, {}};
        Q_EMIT engine.errorOccurred(engine.failureValue);
        QVERIFY(player.displayText().endsWith(u"\n无法播放“坏.mp3”：无法识别的文件格式"_s));
        player.setUrl(u"/music/song.mp3"_s);
        QVERIFY(!player.displayText().contains(u"无法识别"_s));

        player.closeMedia();
        engine.positionValue = 10.0;
        QTest::keyClick(&player, Qt::Key_Right);
        QTest::keyClick(&player, Qt::Key_Down);
        QCOMPARE(engine.positionValue, std::optional(15.0));
        QCOMPARE(engine.volume(), 45);
        QCOMPARE(engine.state(), State::Stopped);
        QTest::keyClick(&player, Qt::Key_Space);
        QCOMPARE(engine.state(), State::Playing);
        QTest::mouseClick(player.findChild<QToolButton *>(u"playPause"_s), Qt::LeftButton);
        QCOMPARE(engine.state(), State::Paused);
        QTest::mouseClick(player.findChild<QToolButton *>(u"stop"_s), Qt::LeftButton);
        QCOMPARE(engine.state(), State::Stopped);
        QTest::mouseClick(player.findChild<QToolButton *>(u"mute"_s), Qt::LeftButton);
        QVERIFY(engine.isMuted());

        engine.setSpeed(0.75);
        engine.setVolume(20);
        Q_EMIT engine.speedChanged(0.75);
        QCOMPARE(player.findChild<QComboBox *>(u"speed"_s)->currentText(), u"0.75×"_s);
        QCOMPARE(player.actions().speeds->checkedAction()->text(), u"0.75×"_s);
        QCOMPARE(player.findChild<QSlider *>(u"volume"_s)->value(), 20);
    }
};

QTEST_MAIN(TestPlayerWidget)
#include "tst_playerwidget.moc"
