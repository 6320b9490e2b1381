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
    tarvelin::test::FakeEngine *m_engine = nullptr;
    tarvelin::PlayerWidget *m_player = nullptr;

    QToolButton *button(const char *name) { return m_player->findChild<QToolButton *>(QLatin1String(name)); }

private Q_SLOTS:
    void init()
    {
        m_engine = new tarvelin::test::FakeEngine;
        m_player = new tarvelin::PlayerWidget(m_engine);
        m_player->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_player));
        m_player->setFocus();
    }
    void cleanup()
    {
        delete m_player;
        delete m_engine;
    }

    // A medium that cannot be played is named in the display until the next
    // one. Space and the buttons play, pause, stop and mute; Left/Right move
    // the position by 5 s, Up/Down the volume by 5, without starting
    // playback. Whoever changes the engine, every control shows it.
    void controls()
    {
        m_engine->failureValue = {tarvelin::MediaEngine::Error::UnknownFormat, u"/music/坏.mp3"_s, {}};
        Q_EMIT m_engine->errorOccurred(m_engine->failureValue);
        QVERIFY(m_player->displayText().endsWith(u"\n无法播放“坏.mp3”：无法识别的文件格式"_s));
        m_player->setUrl(u"/music/song.mp3"_s);
        QVERIFY(!m_player->displayText().contains(u"无法识别"_s));

        m_player->closeMedia();
        m_engine->positionValue = 10.0;
        QTest::keyClick(m_player, Qt::Key_Right);
        QTest::keyClick(m_player, Qt::Key_Down);
        QCOMPARE(m_engine->positionValue, std::optional(15.0));
        QCOMPARE(m_engine->volume(), 45);
        QCOMPARE(m_engine->state(), State::Stopped);
        QTest::keyClick(m_player, Qt::Key_Space);
        QCOMPARE(m_engine->state(), State::Playing);
        QTest::mouseClick(button("playPause"), Qt::LeftButton);
        QCOMPARE(m_engine->state(), State::Paused);
        QTest::mouseClick(button("stop"), Qt::LeftButton);
        QCOMPARE(m_engine->state(), State::Stopped);
        QTest::mouseClick(button("mute"), Qt::LeftButton);
        QVERIFY(m_engine->isMuted());

        m_engine->setSpeed(0.75);
        m_engine->setVolume(20);
        Q_EMIT m_engine->speedChanged(0.75);
        QCOMPARE(m_player->findChild<QComboBox *>(u"speed"_s)->currentText(), u"0.75×"_s);
        QCOMPARE(m_player->actions().speeds->checkedAction()->text(), u"0.75×"_s);
        QCOMPARE(m_player->findChild<QSlider *>(u"volume"_s)->value(), 20);
    }
};

QTEST_MAIN(TestPlayerWidget)
#include "tst_playerwidget.moc"
