#include "widgets/playerwidget.h"

#include "core/positiontext.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace tarvelin {

namespace {

constexpr double SeekStep = 5.0;
constexpr int VolumeStep = 5;
constexpr double Speeds[] = {0.5, 0.75, 1.0, 1.25, 1.5, 2.0};

QString speedText(double factor)
{
    QString text = QString::number(factor, 'f', 2); // 0.50, 0.75, 1.00 ...
    if (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    return text + QStringLiteral("×");
}

QString timeText(double seconds, double duration)
{
    return formatPosition(seconds) + QStringLiteral(" / ") + formatPosition(duration);
}

} // namespace

PlayerWidget::PlayerWidget(MediaEngine *engine, QWidget *parent)
    : QWidget(parent), m_engine(engine)
{
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("播放器"));
    createActions();

    auto *outer = new QVBoxLayout(this);
    // The window cuts a few pixels off the player's right and bottom edges;
    // the margins keep every control inside what stays visible.
    outer->setContentsMargins(6, 4, 10, 10);
    outer->setSpacing(4);
    outer->addWidget(buildDisplay(), 1);
    outer->addWidget(buildSeekBar());
    outer->addLayout(buildControlRow());
    m_menu = buildContextMenu();

    MediaEngine *e = m_engine;
    connect(e, &MediaEngine::stateChanged, this, &PlayerWidget::refresh);
    connect(e, &MediaEngine::positionChanged, this, &PlayerWidget::refresh);
    connect(e, &MediaEngine::durationChanged, this, &PlayerWidget::refresh);
    connect(e, &MediaEngine::titleChanged, this, &PlayerWidget::refresh);
    connect(e, &MediaEngine::errorOccurred, this, &PlayerWidget::refresh);
    connect(e, &MediaEngine::volumeChanged, this, &PlayerWidget::refresh);
    connect(e, &MediaEngine::mutedChanged, this, &PlayerWidget::refresh);
    connect(e, &MediaEngine::speedChanged, this, &PlayerWidget::refresh);

    // Every medium starts at the same settings, whatever the engine had.
    m_engine->setVolume(MediaEngine::DefaultVolume);
    m_engine->setSpeed(1.0);
    m_engine->setMuted(false);
    refresh();
}

PlayerWidget::~PlayerWidget() = default;

void PlayerWidget::createActions()
{
    const auto make = [this](const QString &text, auto slot) {
        auto *action = new QAction(text, this);
        action->setIconVisibleInMenu(false);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    m_actions.playPause = make(QStringLiteral("播放"), [this] { togglePlay(); });
    m_actions.stop = make(QStringLiteral("停止"), [this] { m_engine->stop(); });
    m_actions.stop->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    m_actions.mute = make(QStringLiteral("静音"), [this](bool on) { m_engine->setMuted(on); });
    m_actions.mute->setCheckable(true);
    m_actions.seekBack = make(QStringLiteral("后退 5 秒"), [this] { seekBy(-SeekStep); });
    m_actions.seekForward = make(QStringLiteral("前进 5 秒"), [this] { seekBy(SeekStep); });
    m_actions.volumeUp = make(QStringLiteral("增大音量"), [this] { m_engine->setVolume(m_engine->volume() + VolumeStep); });
    m_actions.volumeDown = make(QStringLiteral("减小音量"), [this] { m_engine->setVolume(m_engine->volume() - VolumeStep); });
    m_actions.speeds = new QActionGroup(this);
    for (double s : Speeds) {
        QAction *a = make(speedText(s), [this, s] { m_engine->setSpeed(s); });
        a->setCheckable(true);
        a->setData(s);
        m_actions.speeds->addAction(a);
    }
}

QWidget *PlayerWidget::buildDisplay()
{
    auto *display = new QFrame(this);
    display->setObjectName(QStringLiteral("display"));
    display->setFrameShape(QFrame::StyledPanel);
    display->setFrameShadow(QFrame::Sunken);
    display->setBackgroundRole(QPalette::Base);
    display->setAutoFillBackground(true);
    m_displayLayout = new QVBoxLayout(display);
    m_displayLayout->setContentsMargins(8, 6, 8, 6);
    m_displayLayout->setSpacing(2);

    m_title = new QLabel(display);
    m_title->setObjectName(QStringLiteral("title"));
    QFont titleFont = m_title->font();
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    m_title->setTextFormat(Qt::PlainText);
    // A long title is cut at the time beside it rather than widening the player.
    m_title->setMinimumWidth(1);
    m_title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    m_time = new QLabel(display);
    m_time->setObjectName(QStringLiteral("time"));
    QFont timeFont = m_time->font();
    timeFont.setPointSizeF(timeFont.pointSizeF() * 1.6);
    timeFont.setStyleHint(QFont::Monospace);
    timeFont.setFamily(QStringLiteral("monospace"));
    m_time->setFont(timeFont);

    m_message = new QLabel(display);
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(true);
    m_message->setForegroundRole(QPalette::Highlight);
    m_message->hide();

    m_notice = new QLabel(display);
    m_notice->setObjectName(QStringLiteral("notice"));
    m_notice->setTextFormat(Qt::PlainText);
    m_notice->setForegroundRole(QPalette::Highlight);
    m_notice->setMinimumWidth(1);
    m_notice->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_notice->hide();
    m_noticeTimer = new QTimer(this);
    m_noticeTimer->setSingleShot(true);
    m_noticeTimer->setInterval(NoticeMs);
    connect(m_noticeTimer, &QTimer::timeout, this, [this] {
        m_notice->clear();
        m_notice->hide();
        m_title->show();
    });

    // The title (or, for a moment, a notice in its place) and the time share
    // one row: the display's height goes to the waveform and the lyrics.
    auto *top = new QHBoxLayout;
    top->setSpacing(8);
    top->addWidget(m_title, 1);
    top->addWidget(m_notice, 1);
    top->addWidget(m_time);
    m_displayLayout->addLayout(top);
    m_displayLayout->addWidget(m_message);
    m_displayLayout->addStretch();
    return display;
}

QSlider *PlayerWidget::buildSeekBar()
{
    m_seek = new QSlider(Qt::Horizontal, this);
    m_seek->setObjectName(QStringLiteral("seek"));
    m_seek->setFocusPolicy(Qt::NoFocus);
    m_seek->setToolTip(QStringLiteral("播放进度"));
    connect(m_seek, &QSlider::sliderPressed, this, [this] { m_seekDragging = true; });
    connect(m_seek, &QSlider::sliderMoved, this, [this](int ms) { showTime(ms / 1000.0); });
    connect(m_seek, &QSlider::sliderReleased, this, [this] {
        m_seekDragging = false;
        m_engine->seek(m_seek->value() / 1000.0);
    });
    connect(m_seek, &QSlider::actionTriggered, this, [this](int action) {
        if (action == QAbstractSlider::SliderPageStepAdd || action == QAbstractSlider::SliderPageStepSub)
            m_engine->seek(m_seek->sliderPosition() / 1000.0);
    });
    return m_seek;
}

QHBoxLayout *PlayerWidget::buildControlRow()
{
    m_controlRow = new QHBoxLayout;
    m_controlRow->setSpacing(2);
    addControlAction(m_actions.playPause)->setObjectName(QStringLiteral("playPause"));
    addControlAction(m_actions.stop)->setObjectName(QStringLiteral("stop"));
    m_controlRow->addStretch();

    QToolButton *mute = makeButton(m_actions.mute);
    mute->setObjectName(QStringLiteral("mute"));
    m_controlRow->addWidget(mute);

    m_volume = new QSlider(Qt::Horizontal, this);
    m_volume->setObjectName(QStringLiteral("volume"));
    m_volume->setFocusPolicy(Qt::NoFocus);
    m_volume->setRange(0, MediaEngine::MaxVolume);
    m_volume->setValue(MediaEngine::DefaultVolume);
    m_volume->setFixedWidth(90);
    m_volume->setToolTip(QStringLiteral("音量"));
    connect(m_volume, &QSlider::valueChanged, this, [this](int v) { m_engine->setVolume(v); });

    m_speed = new QComboBox(this);
    m_speed->setObjectName(QStringLiteral("speed"));
    m_speed->setFocusPolicy(Qt::NoFocus);
    m_speed->setToolTip(QStringLiteral("播放速度（音调不变）"));
    for (QAction *a : m_actions.speeds->actions())
        m_speed->addItem(a->text(), a->data());
    connect(m_speed, &QComboBox::activated, this, [this](int index) { m_actions.speeds->actions().at(index)->trigger(); });

    m_controlRow->addWidget(m_volume);
    m_controlRow->addSpacing(8);
    m_controlRow->addWidget(new QLabel(QStringLiteral("速度"), this));
    m_controlRow->addWidget(m_speed);
    return m_controlRow;
}

QMenu *PlayerWidget::buildContextMenu()
{
    auto *menu = new QMenu(this);
    menu->addAction(m_actions.playPause);
    menu->addAction(m_actions.stop);
    menu->addSeparator();
    menu->addMenu(QStringLiteral("播放速度"))->addActions(m_actions.speeds->actions());
    menu->addAction(m_actions.mute);
    return menu;
}

void PlayerWidget::addDisplayWidget(QWidget *widget, int stretch)
{
    // Above the trailing stretch that keeps the labels at the top.
    m_displayLayout->insertWidget(m_displayLayout->count() - 1, widget, stretch);
}

void PlayerWidget::addMenuActions(const QList<QAction *> &actions)
{
    m_menu->addSeparator();
    m_menu->addActions(actions);
}

void PlayerWidget::showNotice(const QString &text)
{
    m_notice->setText(text);
    m_notice->setVisible(!text.isEmpty());
    m_title->setVisible(text.isEmpty());
    m_noticeTimer->start();
}

QToolButton *PlayerWidget::makeButton(QAction *action)
{
    auto *button = new QToolButton(this);
    button->setDefaultAction(action);
    button->setAutoRaise(true);
    // The player takes the focus as a whole; its keys drive the actions.
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QToolButton *PlayerWidget::addControlAction(QAction *action)
{
    QToolButton *button = makeButton(action);
    m_controlRow->insertWidget(m_controlInsertAt++, button);
    return button;
}

void PlayerWidget::setUrl(const QString &path)
{
    m_engine->load(path);
}

void PlayerWidget::closeMedia()
{
    m_engine->stop();
}

std::optional<QString> PlayerWidget::currentPositionString()
{
    const auto seconds = m_engine->position();
    if (!seconds)
        return std::nullopt;
    return formatPosition(*seconds);
}

std::optional<QString> PlayerWidget::currentMediaTitle()
{
    return m_engine->title();
}

QString PlayerWidget::displayText() const
{
    QStringList parts{m_title->text(), m_time->text()};
    for (const QLabel *label : {m_message, m_notice}) {
        if (!label->text().isEmpty())
            parts << label->text();
    }
    return parts.join(QLatin1Char('\n'));
}

QString PlayerWidget::failureText(const MediaEngine::Failure &failure)
{
    using Error = MediaEngine::Error;
    QString reason;
    switch (failure.error) {
    case Error::None:
        return {};
    case Error::EngineUnavailable:
        return QStringLiteral("无法启动播放引擎");
    case Error::FileMissing:
        reason = QStringLiteral("文件不存在");
        break;
    case Error::NotAFile:
        reason = QStringLiteral("这不是一个文件");
        break;
    case Error::CannotOpen:
        reason = QStringLiteral("文件无法打开或已损坏");
        break;
    case Error::UnknownFormat:
        reason = QStringLiteral("无法识别的文件格式");
        break;
    case Error::NoAudio:
        reason = QStringLiteral("文件中没有可播放的音频");
        break;
    case Error::AudioOutput:
        reason = QStringLiteral("无法打开音频输出");
        break;
    case Error::Unsupported:
        reason = QStringLiteral("不支持的格式");
        break;
    case Error::Truncated:
        reason = QStringLiteral("文件不完整，只能播放到 %1（应有 %2）")
                     .arg(formatPosition(failure.reached), formatPosition(failure.length));
        break;
    case Error::Other:
        reason = failure.detail;
        break;
    }
    const QString name = QFileInfo(failure.path).fileName();
    return name.isEmpty() ? reason : QStringLiteral("无法播放“%1”：%2").arg(name, reason);
}

void PlayerWidget::togglePlay()
{
    if (m_engine->state() == MediaEngine::State::Playing)
        m_engine->pause();
    else
        m_engine->play();
}

void PlayerWidget::seekBy(double seconds)
{
    if (const auto now = m_engine->position())
        m_engine->seek(*now + seconds);
}

void PlayerWidget::showTime(double seconds)
{
    m_time->setText(timeText(seconds, m_engine->duration()));
}

void PlayerWidget::refresh()
{
    const auto state = m_engine->state();
    const bool loaded = state != MediaEngine::State::Empty;
    const bool playing = state == MediaEngine::State::Playing;
    m_actions.playPause->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    m_actions.playPause->setText(playing ? QStringLiteral("暂停") : QStringLiteral("播放"));
    for (QAction *a : {m_actions.playPause, m_actions.stop, m_actions.seekBack, m_actions.seekForward})
        a->setEnabled(loaded);

    const bool muted = m_engine->isMuted();
    m_actions.mute->setChecked(muted);
    m_actions.mute->setIcon(style()->standardIcon(muted ? QStyle::SP_MediaVolumeMuted : QStyle::SP_MediaVolume));
    {
        const QSignalBlocker block(m_volume);
        m_volume->setValue(m_engine->volume());
    }
    for (QAction *a : m_actions.speeds->actions()) {
        if (qFuzzyCompare(a->data().toDouble(), m_engine->speed())) {
            a->setChecked(true);
            m_speed->setCurrentIndex(m_actions.speeds->actions().indexOf(a));
        }
    }

    const QString title = m_engine->title().value_or(QString());
    m_title->setText(title.isEmpty() ? QStringLiteral("（未载入歌曲）") : title);
    const QString message = failureText(m_engine->failure());
    m_message->setText(message);
    m_message->setVisible(!message.isEmpty());

    const double duration = m_engine->duration();
    m_seek->setEnabled(loaded && duration > 0);
    if (!m_seekDragging) {
        const double seconds = loaded ? m_engine->position().value_or(0) : 0.0;
        const QSignalBlocker block(m_seek);
        m_seek->setRange(0, int(std::lround(qMax(0.0, duration) * 1000)));
        m_seek->setPageStep(qMax(1000, m_seek->maximum() / 10));
        m_seek->setValue(int(std::lround(seconds * 1000)));
        showTime(seconds);
    }
}

void PlayerWidget::keyPressEvent(QKeyEvent *event)
{
    const std::pair<int, QAction *> keys[] = {
        {Qt::Key_Space, m_actions.playPause}, {Qt::Key_Left, m_actions.seekBack},
        {Qt::Key_Right, m_actions.seekForward}, {Qt::Key_Up, m_actions.volumeUp},
        {Qt::Key_Down, m_actions.volumeDown},
    };
    if (!(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        for (const auto &[key, action] : keys) {
            if (event->key() == key) {
                action->trigger();
                event->accept();
                return;
            }
        }
    }
    QWidget::keyPressEvent(event);
}

void PlayerWidget::contextMenuEvent(QContextMenuEvent *event)
{
    m_menu->exec(event->globalPos());
}

void PlayerWidget::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    update();
}

void PlayerWidget::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    update();
}

void PlayerWidget::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (!hasFocus())
        return;
    // Show where the keys go: a focus frame around the visible part.
    QPainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = rect().adjusted(1, 1, -6, -7);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

} // namespace tarvelin
