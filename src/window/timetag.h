#pragma once

#include "tapping/pressmoment.h"

class QPlainTextEdit;
class QWidget;

namespace tarvelin {

class PlatformTools;
class PlayerWidget;

// "插入时间": replaces the editor's selection (or inserts at its caret) with
// "[" + the position heard at the button's press + "]", as one undo step.
// pressPosition is what was read at the press (see PressMoment), once per
// click; without a press the position heard right now is read. When the
// position cannot be read, says so and leaves the editor untouched.
// Returns whether a tag went in.
bool insertTimeTag(QPlainTextEdit *editor, PlayerWidget *player, PlatformTools &tools, QWidget *parent,
                   PressPosition pressPosition = {});

} // namespace tarvelin
