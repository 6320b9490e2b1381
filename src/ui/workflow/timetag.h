#pragma once

class QPlainTextEdit;
class QWidget;

namespace tarvelin {

class PlatformTools;
class PlayerWidget;

// "插入时间": replaces the editor's selection (or inserts at its caret) with
// "[" + the position heard right now + "]", as one undo step. When the
// position cannot be read, says so and leaves the editor untouched.
// Returns whether a tag went in.
bool insertTimeTag(QPlainTextEdit *editor, PlayerWidget *player, PlatformTools &tools, QWidget *parent);

} // namespace tarvelin
