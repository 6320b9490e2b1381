#include "workflow/timetag.h"

#include "components/platformtools.h"
#include "components/playerwidget.h"

#include <QPlainTextEdit>
#include <QTextCursor>

namespace tarvelin {

bool insertTimeTag(QPlainTextEdit *Text3, PlayerWidget *music1, PlatformTools &tools, QWidget *parent)
{
    // Read the position first and as late as possible: it is the moment of
    // the click that the tag has to record.
    const auto position = music1->currentPositionString();
    if (!position) {
        tools.showError(parent, QStringLiteral("插入时间"),
                        QStringLiteral("无法读取播放器的当前位置，歌词未作改动。"));
        return false;
    }
    // One edit through the cursor: one undo step that removes the tag alone,
    // and the caret ends right after the tag with nothing selected.
    QTextCursor cursor = Text3->textCursor();
    cursor.insertText(QLatin1Char('[') + *position + QLatin1Char(']'));
    Text3->setTextCursor(cursor);
    return true;
}

} // namespace tarvelin
