#include "ui/components/playerwidget.h"

#include "core/positiontext.h"

#include <QActionGroup>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionFocusRect>
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

QToolButton *makeButton(QWidget *parent, QStyle::StandardPixmap icon, const QString &tip)
{
    auto *b = new QToolButton(parent);
    b->setIcon(parent->style()->standardIcon(icon));
    b->setToolTip(tip);
    b->setAutoRaise(true);
    // The player takes the focus as a whole; its keys drive these buttons.
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

} // namespace

PlayerWidget::PlayerWidget(std::unique_ptr<MediaEngine> engine, QWidget *parent)
    : QWidget(parent), m_engine(std::move(engine))
{
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("播放器"));
    buildUi();

    MediaEngine *e = m_engine.get();
    connect(e, &MediaEngine::stateChanged, this, &PlayerWidget::refreshState);
    connect(e, &MediaEngine::positionChanged, this, &PlayerWidget::refreshPosition);
    connect(e, &MediaEngine::durationChanged, this, [this] { refreshPosition(m_engine->position().value_or(0)); });
    connect(e, &MediaEngine::titleChanged, this, &PlayerWidget::refreshTitle);
    connect(e, &MediaEngine::errorOccurred, this, [this](const QString &message) {
        m_message->setText(message);
        m_message->setVisible(!message.isEmpty());
    });
    connect(e, &MediaEngine::volumeChanged, m_volume, [this](int v) {
        const QSignalBlocker block(m_volume);
        m_volume->setValue(v);
    });
    connect(e, &MediaEngine::mutedChanged, this, [this](bool muted) {
        m_mute->setChecked(muted);
        m_mute->setIcon(style()->standardIcon(muted ? QStyle::SP_MediaVolumeMuted : QStyle::SP_MediaVolume));
    });
    connect(e, &MediaEngine::speedChanged, this, [this](double factor) {
        const int index = m_speed->findData(factor);
        const QSignalBlocker block(m_speed);
        if (index >= 0)
            m_speed->setCurrentIndex(index);
    });

    // The stored settings: half volume, normal speed, sound on.
    m_engine->setVolume(50);
    m_engine->setSpeed(1.0);
    m_engine->setMuted(false);
    if (!m_engine->errorString().isEmpty()) {
        m_message->setText(m_engine->errorString());
        m_message->show();
    }
    refreshState();
    refreshTitle();
    refreshPosition(0);
}

PlayerWidget::~PlayerWidget() = default;

void PlayerWidget::buildUi()
{
    auto *outer = new QVBoxLayout(this);
    // The window cuts a few pixels off the player's right and bottom edges;
    // the margins keep every control inside what stays visible.
    outer->setContentsMargins(6, 4, 10, 10);
    outer->setSpacing(4);

    auto *display = new QFrame(this);
    display->setObjectName(QStringLiteral("display"));
    display->setFrameShape(QFrame::StyledPanel);
    display->setFrameShadow(QFrame::Sunken);
    display->setBackgroundRole(QPalette::Base);
    display->setAutoFillBackground(true);
    auto *displayLayout = new QVBoxLayout(display);
    displayLayout->setContentsMargins(8, 6, 8, 6);
    displayLayout->setSpacing(2);

    m_title = new QLabel(display);
    m_title->setObjectName(QStringLiteral("title"));
    QFont titleFont = m_title->font();
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    m_title->setTextFormat(Qt::PlainText);

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

    displayLayout->addWidget(m_title);
    displayLayout->addWidget(m_time);
    displayLayout->addWidget(m_message);
    displayLayout->addStretch();
    outer->addWidget(display, 1);

    m_seek = new QSlider(Qt::Horizontal, this);
    m_seek->setObjectName(QStringLiteral("seek"));
    m_seek->setFocusPolicy(Qt::NoFocus);
    m_seek->setToolTip(QStringLiteral("播放进度"));
    connect(m_seek, &QSlider::sliderPressed, this, [this] { m_seekDragging = true; });
    connect(m_seek, &QSlider::sliderMoved, this, [this](int ms) {
        m_time->setText(formatPosition(ms / 1000.0) + QStringLiteral(" / ") + formatPosition(m_engine->duration()));
    });
    connect(m_seek, &QSlider::sliderReleased, this, [this] {
        m_seekDragging = false;
        m_engine->seek(m_seek->value() / 1000.0);
    });
    connect(m_seek, &QSlider::actionTriggered, this, [this](int action) {
        if (action == QAbstractSlider::SliderPageStepAdd || action == QAbstractSlider::SliderPageStepSub)
            m_engine->seek(m_seek->sliderPosition() / 1000.0);
    });
    outer->addWidget(m_seek);

    auto *row = new QHBoxLayout;
    row->setSpacing(2);
    m_playPause = makeButton(this, QStyle::SP_MediaPlay, QStringLiteral("播放"));
    m_playPause->setObjectName(QStringLiteral("playPause"));
    connect(m_playPause, &QToolButton::clicked, this, &PlayerWidget::togglePlay);
    m_stop = makeButton(this, QStyle::SP_MediaStop, QStringLiteral("停止"));
    m_stop->setObjectName(QStringLiteral("stop"));
    connect(m_stop, &QToolButton::clicked, this, [this] { m_engine->stop(); });

    m_mute = makeButton(this, QStyle::SP_MediaVolume, QStringLiteral("静音"));
    m_mute->setObjectName(QStringLiteral("mute"));
    m_mute->setCheckable(true);
    connect(m_mute, &QToolButton::toggled, this, [this](bool on) { m_engine->setMuted(on); });

    m_volume = new QSlider(Qt::Horizontal, this);
    m_volume->setObjectName(QStringLiteral("volume"));
    m_volume->setFocusPolicy(Qt::NoFocus);
    m_volume->setRange(0, 100);
    m_volume->setValue(50);
    m_volume->setFixedWidth(90);
    m_volume->setToolTip(QStringLiteral("音量"));
    connect(m_volume, &QSlider::valueChanged, this, [this](int v) { m_engine->setVolume(v); });

    m_speed = new QComboBox(this);
    m_speed->setObjectName(QStringLiteral("speed"));
    m_speed->setFocusPolicy(Qt::NoFocus);
    m_speed->setToolTip(QStringLiteral("播放速度（音调不变）"));
    for (double s : Speeds)
        m_speed->addItem(speedText(s), s);
    m_speed->setCurrentIndex(m_speed->findData(1.0));
    connect(m_speed, &QComboBox::activated, this, [this](int index) {
        m_engine->setSpeed(m_speed->itemData(index).toDouble());
    });

    auto *speedLabel = new QLabel(QStringLiteral("速度"), this);
    row->addWidget(m_playPause);
    row->addWidget(m_stop);
    row->addStretch();
    row->addWidget(m_mute);
    row->addWidget(m_volume);
    row->addSpacing(8);
    row->addWidget(speedLabel);
    row->addWidget(m_speed);
    outer->addLayout(row);
}

void PlayerWidget::setUrl(const QString &path)
{
    m_message->clear();
    m_message->hide();
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
    if (!m_message->text().isEmpty())
        parts << m_message->text();
    return parts.join(QLatin1Char('\n'));
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
    const auto now = m_engine->position();
    if (!now)
        return;
    double target = qMax(0.0, *now + seconds);
    if (m_engine->duration() > 0)
        target = qMin(target, m_engine->duration());
    m_engine->seek(target);
}

void PlayerWidget::changeVolume(int delta)
{
    m_engine->setVolume(qBound(0, m_engine->volume() + delta, 100));
}

void PlayerWidget::refreshState()
{
    const auto state = m_engine->state();
    const bool playing = state == MediaEngine::State::Playing;
    m_playPause->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    m_playPause->setToolTip(playing ? QStringLiteral("暂停") : QStringLiteral("播放"));
    const bool loaded = state != MediaEngine::State::Empty;
    m_playPause->setEnabled(loaded);
    m_stop->setEnabled(loaded);
    m_seek->setEnabled(loaded && m_engine->duration() > 0);
    if (state == MediaEngine::State::Stopped)
        refreshPosition(0);
}

void PlayerWidget::refreshPosition(double seconds)
{
    const double duration = m_engine->duration();
    m_seek->setEnabled(m_engine->state() != MediaEngine::State::Empty && duration > 0);
    if (!m_seekDragging) {
        const QSignalBlocker block(m_seek);
        m_seek->setRange(0, int(std::lround(qMax(0.0, duration) * 1000)));
        m_seek->setPageStep(qMax(1000, m_seek->maximum() / 10));
        m_seek->setValue(int(std::lround(seconds * 1000)));
        m_time->setText(formatPosition(seconds) + QStringLiteral(" / ") + formatPosition(duration));
    }
}

void PlayerWidget::refreshTitle()
{
    const QString title = m_engine->title().value_or(QString());
    m_title->setText(title.isEmpty() ? QStringLiteral("（未载入歌曲）") : title);
}

void PlayerWidget::keyPressEvent(QKeyEvent *event)
{
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Space:
        togglePlay();
        break;
    case Qt::Key_Left:
        seekBy(-SeekStep);
        break;
    case Qt::Key_Right:
        seekBy(SeekStep);
        break;
    case Qt::Key_Up:
        changeVolume(VolumeStep);
        break;
    case Qt::Key_Down:
        changeVolume(-VolumeStep);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void PlayerWidget::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    const bool loaded = m_engine->state() != MediaEngine::State::Empty;
    const bool playing = m_engine->state() == MediaEngine::State::Playing;
    QAction *play = menu.addAction(playing ? QStringLiteral("暂停") : QStringLiteral("播放"), this,
                                   &PlayerWidget::togglePlay);
    play->setEnabled(loaded);
    menu.addAction(QStringLiteral("停止"), this, [this] { m_engine->stop(); })->setEnabled(loaded);
    menu.addSeparator();
    QMenu *speedMenu = menu.addMenu(QStringLiteral("播放速度"));
    auto *group = new QActionGroup(speedMenu);
    for (double s : Speeds) {
        QAction *a = speedMenu->addAction(speedText(s), this, [this, s] { m_engine->setSpeed(s); });
        a->setCheckable(true);
        a->setChecked(qFuzzyCompare(s, m_engine->speed()));
        group->addAction(a);
    }
    QAction *mute = menu.addAction(QStringLiteral("静音"), this, [this](bool on) { m_engine->setMuted(on); });
    mute->setCheckable(true);
    mute->setChecked(m_engine->isMuted());
    menu.exec(event->globalPos());
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
