#pragma once

#include <QHash>

class QKeyEvent;

namespace tarvelin {

// Tells the physical presses of keys from the repeats of a held key. The X
// server sends each repeat as a release and a press with the same timestamp;
// Qt marks the pair as auto-repeats only when it finds the press queued while
// it handles the release, which a busy machine does not always manage. So a
// key counts as down from its press until a release that no press with the
// same timestamp follows, and a press while it is down is a repeat, whatever
// the events say.
class HeldKeys {
public:
    // Records a press; true when it is a physical press, false for a repeat.
    bool press(const QKeyEvent *event);
    void release(const QKeyEvent *event);
    // Forgets every key, for when the keyboard goes elsewhere and the
    // releases are no longer seen.
    void clear() { m_keys.clear(); }

private:
    struct Key {
        bool down = false;
        quint64 releasedAt = 0; // 0: no timestamp
    };
    QHash<int, Key> m_keys;
};

} // namespace tarvelin
