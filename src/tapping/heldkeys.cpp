#include "tapping/heldkeys.h"

#include <QKeyEvent>

namespace tarvelin {

bool HeldKeys::press(const QKeyEvent *event)
{
    Key &key = m_keys[event->key()];
    // Events made without a timestamp (0) are never taken for a pair.
    const bool repeat = event->isAutoRepeat() || key.down
                        || (event->timestamp() != 0 && event->timestamp() == key.releasedAt);
    key.down = true;
    return !repeat;
}

void HeldKeys::release(const QKeyEvent *event)
{
    if (event->isAutoRepeat())
        return;
    Key &key = m_keys[event->key()];
    key.down = false;
    key.releasedAt = event->timestamp();
}

} // namespace tarvelin
