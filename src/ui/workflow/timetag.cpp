#include "ui/workflow/timetag.h"

#include "core/positiontext.h"
#include "ui/components/platformtools.h"
#include "ui/components/playerwidget.h"

#include <QPlainTextEdit>
#include <QTextCursor>

namespace tarvelin {

bool insertTimeTag(QPlainTextEdit *Text3, PlayerWidget *music1, PlatformTools &tools, QWidget *parent,
                   std::optional<std::optional<double>> pressPosition)
{
    // The moment of the press is what the tag records; failing that, read the
    // position first and as late as possible.
    const auto position = !pressPosition ? music1->currentPositionString()
                          : *pressPosition ? std::optional(formatPosition(**pressPosition))
                                           : std::nullopt;
    if (!position) {
        tools.showError(parent, QStringLiteral("插入时间"),
                        QStringLiteral("无法读取播放器的当前位置，歌词未作改动。"));
        return false;
    }
    // An edit block of its own: without it the document merges the tag into
    // the neighbouring undo step (the user's typing, or the previous tag) and
    // Ctrl+Z would take both away. The caret ends right after the tag.
    QTextCursor cursor = Text3->textCursor();
    cursor.beginEditBlock();
    cursor.insertText(QLatin1Char('[') + *position + QLatin1Char(']'));
    cursor.endEditBlock();
    Text3->setTextCursor(cursor);
    return true;
}

} // namespace tarvelin
