#include "tapping/pressmoment.h"

#include "core/presstime.h"
#include "media/mediaengine.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QTimer>

#include <ctime>
#include <utility>

namespace tarvelin {

namespace {

quint32 monotonicMs32()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return quint32(qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
}

} // namespace

std::optional<qint64> msSinceEvent(const QInputEvent *event)
{
    const quint32 stamp = quint32(event->timestamp());
    if (stamp == 0)
        return std::nullopt;
    // Unsigned arithmetic wraps the way the X server's 32-bit time does; an
    // event from "the future" comes out huge and is refused with the rest.
    const quint32 elapsed = monotonicMs32() - stamp;
    if (elapsed > quint32(MaxPressDelayMs))
        return std::nullopt;
    return qint64(elapsed);
}

std::optional<double> positionAtEvent(MediaEngine &engine, const QInputEvent *event)
{
    const auto now = engine.position();
    if (!now)
        return std::nullopt;
    const auto elapsed = msSinceEvent(event);
    if (!elapsed)
        return now;
    const double speed = engine.state() == MediaEngine::State::Playing ? engine.speed() : 0.0;
    return positionAtPress(*now, speed, *elapsed);
}

PressMoment::PressMoment(QAbstractButton *button, MediaEngine *engine, QObject *parent)
    : QObject(parent), m_button(button), m_engine(engine), m_releaseTimer(new QTimer(this))
{
    m_releaseTimer->setSingleShot(true);
    m_releaseTimer->setInterval(RepeatWaitMs);
    connect(m_releaseTimer, &QTimer::timeout, this, &PressMoment::passRelease);
    button->installEventFilter(this);
}

PressMoment::~PressMoment() = default;

void PressMoment::remember(const QInputEvent *press)
{
    ++m_presses;
    const std::optional<double> read = m_engine ? positionAtEvent(*m_engine, press) : std::nullopt;
    m_position = read ? PressPosition{PressPosition::State::Known, *read} : PressPosition{PressPosition::State::Unknown};
}

PressPosition PressMoment::take()
{
    return std::exchange(m_position, PressPosition());
}

void PressMoment::forgetAfterRelease()
{
    // The button clicks (or not) while handling this release; what it did
    // not take by then belongs to no click, unless a new press came.
    QTimer::singleShot(0, this, [this, presses = m_presses] {
        if (m_presses == presses)
            m_position = {};
    });
}

void PressMoment::passRelease()
{
    m_releaseTimer->stop();
    const std::unique_ptr<QKeyEvent> release = std::move(m_release);
    if (!release || !m_button)
        return;
    const QScopedValueRollback passing(m_passing, true);
    QApplication::sendEvent(m_button, release.get());
}

bool PressMoment::filterSpace(QKeyEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        if (!m_held.press(event)) {
            // A repeat: the release before it was part of it.
            m_releaseTimer->stop();
            m_release.reset();
            return true;
        }
        passRelease(); // a quick second press: the first one clicks first
        remember(event);
        return false;
    }
    if (m_passing)
        return false;
    if (event->isAutoRepeat())
        return true;
    m_held.release(event);
    m_release.reset(event->clone());
    m_releaseTimer->start();
    return true;
}

bool PressMoment::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            remember(static_cast<QInputEvent *>(event));
        break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() != Qt::Key_Space)
            break;
        if (filterSpace(key))
            return true;
        if (event->type() == QEvent::KeyRelease)
            forgetAfterRelease();
        break;
    }
    case QEvent::MouseButtonRelease:
        forgetAfterRelease();
        break;
    case QEvent::FocusOut:
        // The button lets go of a key press when it loses the focus.
        m_held.clear();
        m_releaseTimer->stop();
        m_release.reset();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tarvelin
