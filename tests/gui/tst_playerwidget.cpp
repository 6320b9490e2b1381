// The player's own controls and keys, on a scripted engine.
#include "ui/components/playerwidget.h"
#include "fakes.h"

#include <QComboBox>
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
        auto engine = std::make_unique<tarvelin::test::FakeEngine>();
        m_engine = engine.get();
        m_engine->setVolume(0);
        m_engine->setSpeed(2.0);
        m_engine->setMuted(true);
        m_player = new tarvelin::PlayerWidget(std::move(engine));
        m_player->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_player));
        m_player->setFocus();
    }
    void cleanup() { delete m_player; }

    // Half volume, normal speed, sound on, whatever the engine had before.
    void storedSettings()
    {
        QCOMPARE(m_engine->volume(), 50);
        QCOMPARE(m_engine->speed(), 1.0);
        QVERIFY(!m_engine->isMuted());
        QCOMPARE(m_player->findChild<QComboBox *>(u"speed"_s)->currentText(), u"1.0×"_s);
    }

    // Left/Right move the position (from 10 s unless given), Up/Down the volume
    // (from 50 unless given); neither touches the other or starts playing.
    void keys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::newRow("right seeks 5 s on") << int(Qt::Key_Right) << 10.0 << 15.0;
        QTest::newRow("left seeks 5 s back") << int(Qt::Key_Left) << 10.0 << 5.0;
        QTest::newRow("left stops at the start") << int(Qt::Key_Left) << 3.0 << 0.0;
        QTest::newRow("up raises volume") << int(Qt::Key_Up) << 50.0 << 55.0;
        QTest::newRow("down lowers volume") << int(Qt::Key_Down) << 50.0 << 45.0;
        QTest::newRow("volume stops at 100") << int(Qt::Key_Up) << 98.0 << 100.0;
        QTest::newRow("volume stops at 0") << int(Qt::Key_Down) << 2.0 << 0.0;
    }
    void keys()
    {
        QFETCH(int, key);
        QFETCH(double, from);
        QFETCH(double, to);
        const bool seeks = key == Qt::Key_Left || key == Qt::Key_Right;
        m_player->setUrl(u"/music/song.mp3"_s);
        m_player->closeMedia();
        m_engine->positionValue = seeks ? from : 10.0;
        m_engine->setVolume(seeks ? 50 : int(from));
        QTest::keyClick(m_player, Qt::Key(key));
        QCOMPARE(m_engine->positionValue, std::optional(seeks ? to : 10.0));
        QCOMPARE(m_engine->volume(), seeks ? 50 : int(to));
        QCOMPARE(m_engine->state(), State::Stopped);
    }

    void playPauseStopMute()
    {
        // Nothing loaded: nothing to play.
        QTest::keyClick(m_player, Qt::Key_Space);
        QCOMPARE(m_engine->state(), State::Empty);
        QVERIFY(!button("playPause")->isEnabled());
        m_player->setUrl(u"/music/song.mp3"_s);
        m_player->closeMedia();
        QTest::keyClick(m_player, Qt::Key_Space);
        QCOMPARE(m_engine->state(), State::Playing);
        QTest::keyClick(m_player, Qt::Key_Space);
        QCOMPARE(m_engine->state(), State::Paused);
        QTest::mouseClick(button("playPause"), Qt::LeftButton);
        QCOMPARE(m_engine->state(), State::Playing);
        QTest::mouseClick(button("stop"), Qt::LeftButton);
        QCOMPARE(m_engine->state(), State::Stopped);
        QTest::mouseClick(button("mute"), Qt::LeftButton);
        QVERIFY(m_engine->isMuted());
    }

    void errorShowsUntilNextMedium()
    {
        Q_EMIT m_engine->errorOccurred(u"无法播放“坏.mp3”：无法识别的文件格式"_s);
        QVERIFY(m_player->displayText().contains(u"无法识别的文件格式"_s));
        m_player->setUrl(u"/music/good.mp3"_s);
        QVERIFY(!m_player->displayText().contains(u"无法识别"_s));
    }
};

QTEST_MAIN(TestPlayerWidget)
#include "tst_playerwidget.moc"
