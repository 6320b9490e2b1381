// The player's own controls and keys, on a scripted engine.
#include "components/playerwidget.h"
#include "fakes.h"

#include <QComboBox>
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <QToolButton>

using tarvelin::MediaEngine;
using tarvelin::PlayerWidget;
using tarvelin::test::FakeEngine;

class TestPlayerWidget : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void storedSettings();
    void keys_data();
    void keys();
    void keysDoNothingWithoutMedia();
    void errorShowsInDisplay();
    void buttons();

private:
    FakeEngine *m_engine = nullptr;
    PlayerWidget *m_player = nullptr;
};

void TestPlayerWidget::init()
{
    auto engine = std::make_unique<FakeEngine>();
    m_engine = engine.get();
    m_player = new PlayerWidget(std::move(engine));
    m_player->resize(521, 193);
    m_player->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_player));
    m_player->setFocus();
}

void TestPlayerWidget::cleanup()
{
    delete m_player;
}

void TestPlayerWidget::storedSettings()
{
    QCOMPARE(m_engine->volume(), 50);
    QCOMPARE(m_engine->speed(), 1.0);
    QVERIFY(!m_engine->isMuted());
    QCOMPARE(m_player->findChild<QSlider *>(QStringLiteral("volume"))->value(), 50);
    auto *speed = m_player->findChild<QComboBox *>(QStringLiteral("speed"));
    QCOMPARE(speed->currentText(), QStringLiteral("1.0×"));
    QCOMPARE(speed->itemText(0), QStringLiteral("0.5×"));
    QCOMPARE(speed->itemText(speed->count() - 1), QStringLiteral("2.0×"));
    // Only the player as a whole takes the keyboard focus.
    QCOMPARE(m_player->focusPolicy(), Qt::StrongFocus);
    for (QWidget *child : m_player->findChildren<QWidget *>())
        QCOMPARE(child->focusPolicy(), Qt::NoFocus);
}

void TestPlayerWidget::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<double>("startPosition");
    QTest::addColumn<int>("startVolume");
    QTest::addColumn<double>("position");
    QTest::addColumn<int>("volume");
    QTest::addColumn<MediaEngine::State>("state");
    QTest::newRow("space plays") << int(Qt::Key_Space) << 0.0 << 50 << 0.0 << 50 << MediaEngine::State::Playing;
    QTest::newRow("right seeks 5 s on") << int(Qt::Key_Right) << 10.0 << 50 << 15.0 << 50 << MediaEngine::State::Stopped;
    QTest::newRow("left seeks 5 s back") << int(Qt::Key_Left) << 10.0 << 50 << 5.0 << 50 << MediaEngine::State::Stopped;
    QTest::newRow("left stops at the start") << int(Qt::Key_Left) << 3.0 << 50 << 0.0 << 50 << MediaEngine::State::Stopped;
    QTest::newRow("up raises volume") << int(Qt::Key_Up) << 0.0 << 50 << 0.0 << 55 << MediaEngine::State::Stopped;
    QTest::newRow("down lowers volume") << int(Qt::Key_Down) << 0.0 << 50 << 0.0 << 45 << MediaEngine::State::Stopped;
    QTest::newRow("volume stops at 100") << int(Qt::Key_Up) << 0.0 << 98 << 0.0 << 100 << MediaEngine::State::Stopped;
    QTest::newRow("volume stops at 0") << int(Qt::Key_Down) << 0.0 << 2 << 0.0 << 0 << MediaEngine::State::Stopped;
}

void TestPlayerWidget::keys()
{
    QFETCH(int, key);
    QFETCH(double, startPosition);
    QFETCH(int, startVolume);
    QFETCH(double, position);
    QFETCH(int, volume);
    QFETCH(MediaEngine::State, state);
    m_player->setUrl(QStringLiteral("/music/song.mp3"));
    m_player->closeMedia();
    m_engine->positionValue = startPosition;
    m_engine->setVolume(startVolume);
    QTest::keyClick(m_player, Qt::Key(key));
    QCOMPARE(m_engine->positionValue, std::optional(position));
    QCOMPARE(m_engine->volume(), volume);
    QCOMPARE(m_engine->state(), state);
    if (key == Qt::Key_Space) {
        QTest::keyClick(m_player, Qt::Key_Space);
        QCOMPARE(m_engine->state(), MediaEngine::State::Paused);
    }
}

void TestPlayerWidget::keysDoNothingWithoutMedia()
{
    QTest::keyClick(m_player, Qt::Key_Space);
    QCOMPARE(m_engine->state(), MediaEngine::State::Empty);
    QCOMPARE(m_player->currentPositionString(), std::optional(QStringLiteral("00:00.00")));
    QCOMPARE(m_player->currentMediaTitle(), std::optional(QString()));
}

void TestPlayerWidget::errorShowsInDisplay()
{
    Q_EMIT m_engine->errorOccurred(QStringLiteral("无法播放“坏.mp3”：无法识别的文件格式"));
    QVERIFY(m_player->displayText().contains(QStringLiteral("无法识别的文件格式")));
    // A new medium clears the old message.
    m_player->setUrl(QStringLiteral("/music/good.mp3"));
    QVERIFY(!m_player->displayText().contains(QStringLiteral("无法识别")));
}

void TestPlayerWidget::buttons()
{
    auto *play = m_player->findChild<QToolButton *>(QStringLiteral("playPause"));
    auto *stop = m_player->findChild<QToolButton *>(QStringLiteral("stop"));
    auto *mute = m_player->findChild<QToolButton *>(QStringLiteral("mute"));
    QVERIFY(!play->isEnabled());
    m_player->setUrl(QStringLiteral("/music/song.mp3"));
    QVERIFY(play->isEnabled());
    QTest::mouseClick(play, Qt::LeftButton);
    QCOMPARE(m_engine->state(), MediaEngine::State::Paused);
    QTest::mouseClick(play, Qt::LeftButton);
    QCOMPARE(m_engine->state(), MediaEngine::State::Playing);
    QTest::mouseClick(stop, Qt::LeftButton);
    QCOMPARE(m_engine->state(), MediaEngine::State::Stopped);
    QTest::mouseClick(mute, Qt::LeftButton);
    QVERIFY(m_engine->isMuted());
}

QTEST_MAIN(TestPlayerWidget)
#include "tst_playerwidget.moc"
