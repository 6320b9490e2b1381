#include "window/tapwiring.h"

#include "widgets/livelyricsview.h"
#include "widgets/playerwidget.h"
#include "widgets/livelyrics.h"
#include "tapping/pressmoment.h"
#include "tapping/tapmode.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QToolButton>

namespace tarvelin {

Tapping attachTapping(QWidget *window, QPlainTextEdit *editor, LyricsDocument *lyrics, PlayerWidget *player,
                      QAbstractButton *insertButton)
{
    Tapping t;
    t.mode = new TapMode(editor, lyrics, player->engine(), window);
    QToolButton *button = player->addControlAction(t.mode->action());
    button->setObjectName(QStringLiteral("tapModeButton"));
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);

    t.live = new LiveLyrics(lyrics, player->engine(), window);
    t.view = new LiveLyricsView(t.live);
    player->addDisplayWidget(t.view);
    QObject::connect(t.live, &LiveLyrics::changed, t.mode, [t] { t.mode->setLiveLine(t.live->currentLine()); });

    t.insertPress = new PressMoment(insertButton, player->engine(), window);
    return t;
}

} // namespace tarvelin
