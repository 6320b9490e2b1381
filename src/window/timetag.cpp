#include "window/timetag.h"

#include "core/lrc.h"
#include "document/undostepend.h"
#include "media/mediaengine.h"
#include "desktop/platformtools.h"
#include "widgets/playerwidget.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

namespace tarvelin {

bool insertTimeTag(QPlainTextEdit *editor, PlayerWidget *player, PlatformTools &tools, QWidget *parent,
                   PressPosition pressPosition)
{
    // The moment of the press is what the tag records; without a press, read
    // the position first and as late as possible.
    using State = PressPosition::State;
    const std::optional<double> position = pressPosition.state == State::NoPress ? player->engine()->position()
                                           : pressPosition.state == State::Known ? std::optional(pressPosition.seconds)
                                                                                 : std::nullopt;
    if (!position) {
        tools.showError(parent, QStringLiteral("插入时间"),
                        QStringLiteral("无法读取播放器的当前位置，歌词未作改动。"));
        return false;
    }
    // An edit block of its own, closed by a step that nothing merges into:
    // the tag never joins the typing before or after it, nor the previous
    // tag, so Ctrl+Z takes away the tag alone. The caret ends right after it.
    QTextCursor cursor = editor->textCursor();
    cursor.beginEditBlock();
    cursor.insertText(formatTimeTag(msFromSeconds(*position)));
    editor->document()->appendUndoItem(new UndoStepEnd);
    cursor.endEditBlock();
    editor->setTextCursor(cursor);
    return true;
}

} // namespace tarvelin
