#pragma once

#include <QObject>
#include <QPointer>

class QAction;
class QKeyEvent;
class QPlainTextEdit;

namespace tarvelin {

class MediaEngine;
class Tapper;
class TimingAssist;

// 打轴模式: the editor becomes a list of lines to tap while the song plays.
// While on, the editor takes no typing and no input-method composition, its
// current line (the caret's line) is highlighted across its width and kept in
// view, a click picks the current line, and the keyboard focus stays in it.
// Keys act on press:
//   Space / Enter        tag the current line at the press moment, go on
//   Up / Down            move the current line
//   Backspace            step back a line, seek to its tag minus 2 s
//   R                    seek to the current line's tag minus 2 s and play
//   Alt+Left / Alt+Right nudge the tag -/+100 ms (with Shift -/+10 ms); when
//                        playing, play on from 1 s before the new time
//   Left / Right         seek -/+3 s
//   P                    play / pause
//   Ctrl+Z / Ctrl+Shift+Z undo / redo the last tap, nudge or step
//   S                    snap the line's tag to where a sound starts (the
//                        current line, or the tagged line above it, which is
//                        the one just tapped)
//   C                    take the reaction delay out of every tag
//   Shift+Space          tag without snapping, even with 自动吸附 on
//   Escape               leave tap mode
// Held keys that tag or step do not repeat. F2 (action()) turns the mode on
// and off anywhere in the editor's window.
//
// In any mode the line being sung (setLiveLine) gets a light background; that
// never moves the caret or scrolls.
class TapMode : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 NudgeMs = 100;
    static constexpr qint64 FineNudgeMs = 10;
    static constexpr double SeekStepSeconds = 3.0;
    static constexpr double NudgePreRollSeconds = 1.0;

    TapMode(QPlainTextEdit *editor, MediaEngine *engine, QObject *parent = nullptr);
    ~TapMode() override;

    // Checkable "打轴", shortcut F2, its tooltip lists the keys.
    QAction *action() const { return m_action; }
    bool isActive() const { return m_active; }
    void setActive(bool on);
    Tapper *tapper() const { return m_tapper; }
    // The snapping and delay correction behind S, C and 自动吸附.
    void setAssist(TimingAssist *assist) { m_assist = assist; }

    // The line being sung, -1 for none.
    void setLiveLine(int line);

Q_SIGNALS:
    void activeChanged(bool on);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool handleKey(QKeyEvent *event);
    bool isTableKey(const QKeyEvent *event) const;
    void tag(const QKeyEvent *press, bool snapAllowed);
    int lastTaggedLine() const;
    void seekTo(double seconds);
    void playPause();
    void undoRedo(bool redo);
    void showCurrentLine();
    void refreshHighlights();

    QPointer<QPlainTextEdit> m_editor;
    const QObject *m_watchedEditor = nullptr;
    const QObject *m_watchedViewport = nullptr;
    QPointer<MediaEngine> m_engine;
    TimingAssist *m_assist = nullptr; // owned by the window, as this is
    Tapper *m_tapper;
    QAction *m_action;
    bool m_active = false;
    bool m_movingCaret = false; // our own caret moves, not the user's choice of line
    bool m_inputMethodWas = true;
    int m_liveLine = -1;
};

} // namespace tarvelin
