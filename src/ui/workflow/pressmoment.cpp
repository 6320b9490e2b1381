#include "ui/workflow/pressmoment.h"

#include "core/presstime.h"
#include "media/mediaengine.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QMouseEvent>
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
    : QObject(parent), m_engine(engine)
{
    button->installEventFilter(this);
}

void PressMoment::remember(const QInputEvent *press)
{
    ++m_presses;
    m_position = m_engine ? positionAtEvent(*m_engine, press) : std::optional<double>();
}

std::optional<std::optional<double>> PressMoment::take()
{
    return std::exchange(m_position, std::nullopt);
}

bool PressMoment::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            remember(static_cast<QInputEvent *>(event));
        break;
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Space && !key->isAutoRepeat())
            remember(key);
        break;
    }
    case QEvent::MouseButtonRelease:
    case QEvent::KeyRelease:
        if (event->type() == QEvent::KeyRelease && static_cast<QKeyEvent *>(event)->isAutoRepeat())
            break;
        // The button clicks (or not) while handling this release; what it
        // did not take by then belongs to no click, unless a new press came.
        QTimer::singleShot(0, this, [this, presses = m_presses] {
            if (m_presses == presses)
                m_position.reset();
        });
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tarvelin
