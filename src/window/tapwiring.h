#pragma once

class QAbstractButton;
class QPlainTextEdit;
class QWidget;

namespace tarvelin {

class LiveLyrics;
class LiveLyricsView;
class LyricsDocument;
class PlayerWidget;
class PressMoment;
class TapMode;

// Tap mode, the live lyrics and the press moment of 插入时间, put into a
// window: the "打轴" button in the player's control row (F2 anywhere in the
// window), the sung line in the player's display and as a light background in
// the editor. Everything is owned by `window`.
struct Tapping {
    TapMode *mode = nullptr;
    LiveLyrics *live = nullptr;
    LiveLyricsView *view = nullptr;
    PressMoment *insertPress = nullptr;
};

Tapping attachTapping(QWidget *window, QPlainTextEdit *editor, LyricsDocument *lyrics, PlayerWidget *player,
                      QAbstractButton *insertButton);

} // namespace tarvelin
