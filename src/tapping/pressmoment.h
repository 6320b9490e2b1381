#pragma once

#include "tapping/heldkeys.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>

class QAbstractButton;
class QInputEvent;
class QKeyEvent;
class QTimer;

namespace tarvelin {

class MediaEngine;

// What was read at the press of a button, for the click it led to.
struct PressPosition {
    enum class State {
        NoPress, // the click came without a press (e.g. from code)
        Unknown, // pressed, but the engine could not tell the position then
        Known,   // pressed at `seconds`
    };
    State state = State::NoPress;
    double seconds = 0;
};

// Milliseconds from the moment an input event happened to now, when its
// timestamp can be trusted to run on our clock; nothing otherwise.
//
// On X11 Qt stamps events with the X server's time, which on Xorg and Xvfb is
// CLOCK_MONOTONIC in milliseconds cut to 32 bits; Wayland compositors use the
// same clock. That is checked for every event rather than assumed: the
// difference from our own reading, taken modulo 2^32, has to be small and not
// negative (see MaxPressDelayMs). Events made by the program or a test
// without a timestamp (0), or stamped on another clock, give nothing.
std::optional<qint64> msSinceEvent(const QInputEvent *event);

// The song position heard at the moment the event happened: the position
// read now with the song time since the event taken back (at the speed it
// plays, none while paused). When the event's timestamp is not trusted, the
// position read now. Nothing when the engine cannot tell its position.
std::optional<double> positionAtEvent(MediaEngine &engine, const QInputEvent *event);

// Watches a button and keeps the song position heard at its press (mouse
// button down on it, or Space while it has the focus), for whoever handles
// its click: the click comes at the release, which is later by the user's
// hold time. A press released outside the button is forgotten with it.
//
// Space held on the button clicks it once. The X server repeats a held key as
// a release and a press, and the button would click at each such release;
// so a release of Space reaches the button only once RepeatWaitMs have passed
// without the press of a repeat (see HeldKeys).
class PressMoment : public QObject {
    Q_OBJECT
public:
    static constexpr int RepeatWaitMs = 60;

    PressMoment(QAbstractButton *button, MediaEngine *engine, QObject *parent = nullptr);
    ~PressMoment() override;

    // The reading at the press of the click being handled, once.
    PressPosition take();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void remember(const QInputEvent *press);
    void forgetAfterRelease();
    bool filterSpace(QKeyEvent *event);
    void passRelease();

    QPointer<QAbstractButton> m_button;
    QPointer<MediaEngine> m_engine;
    HeldKeys m_held;
    std::unique_ptr<QKeyEvent> m_release; // held back, see RepeatWaitMs
    QTimer *m_releaseTimer;
    bool m_passing = false;
    quint64 m_presses = 0;
    PressPosition m_position;
};

} // namespace tarvelin
