#pragma once

#include "tapping/heldkeys.h"

#include <QObject>
#include <QPointer>

class QAction;
class QKeyEvent;
class QPlainTextEdit;

namespace tarvelin {

class LyricsDocument;
class MediaEngine;
class Tapper;
class TimingAssist;
class WordTapping;

// 打轴模式: the editor becomes a list of lines to tap while the song plays.
// While on, the editor takes no typing and no input-method composition (one
// under way when the mode starts is dropped), its current line (the caret's
// line) is highlighted across its width and kept in view, a click picks the
// current line, and the keyboard focus stays in it (taken back after a click
// elsewhere in the window, once that click is done).
//
// The keys are those of keys() below; they act on press. Keys that tag, step
// or toggle act once per physical press, however long the key is held (see
// HeldKeys). F2 (action()) turns the mode on and off anywhere in the editor's
// window.
//
// In any mode the line being sung (setLiveLine) gets a light background; that
// never moves the caret or scrolls.
class TapMode : public QObject {
    Q_OBJECT
public:
    enum class Command {
        Tag,          // tag the current line at the press, go on
        TagUnsnapped, // the same, never snapped (even with 自动吸附 on)
        LineUp,
        LineDown,
        StepBack,     // back a line, seek to its tag minus 2 s
        Replay,       // seek to the current line's tag minus 2 s and play
        NudgeEarlier, // the tag -/+ NudgeMs; when playing, play on from
        NudgeLater,   // NudgePreRollSeconds before the new time
        FineNudgeEarlier,
        FineNudgeLater,
        SeekBack,     // -/+ SeekStepSeconds
        SeekForward,
        PlayPause,
        Undo,         // the last tap, nudge or step back
        Redo,
        Snap,         // the line just tapped to where a sound starts
        CorrectDelay, // take the reaction delay out of every tag
        AlignToSong,  // move the whole text onto this recording
        WordMode,     // 逐字打轴 on the current line (WordTapping)
        Leave,
    };
    struct Key {
        int key;
        Qt::KeyboardModifiers modifiers; // exactly these (the keypad's aside)
        Command command;
        bool repeats;     // acts again while held
        const char *name; // as the tooltip names it
        const char *does; // keys that do the same share their tooltip line
    };
    // The keys of tap mode: what they do and what the tooltip says.
    static const QList<Key> &keys();


    static constexpr qint64 NudgeMs = 100;
    static constexpr qint64 FineNudgeMs = 10;
    static constexpr double SeekStepSeconds = 3.0;
    static constexpr double NudgePreRollSeconds = 1.0;
    // How often a button held down with the mouse is looked at, to take the
    // focus back once it is released.
    static constexpr int ButtonWaitMs = 30;

    // The editor shows `lyrics` (its text document); taps and nudges are timing
    // edits of `lyrics`.
    TapMode(QPlainTextEdit *editor, LyricsDocument *lyrics, MediaEngine *engine, QObject *parent = nullptr);
    ~TapMode() override;

    // Checkable "打轴", shortcut F2, its tooltip lists the keys.
    QAction *action() const { return m_action; }
    bool isActive() const { return m_active; }
    // The line stepping behind the keys (word tapping moves it on too).
    Tapper *tapper() const { return m_tapper; }
    void setActive(bool on);
    // The snapping and delay correction behind S, C and 自动吸附.
    void setAssist(TimingAssist *assist) { m_assist = assist; }
    // Word mode, behind W.
    void setWordTapping(WordTapping *words) { m_words = words; }

    // The line being sung, -1 for none.
    void setLiveLine(int line);
    // The caret onto the current line (the tapper's), kept in view and
    // highlighted: for whoever moves the current line on (word mode's Enter).
    void showCurrentLine();

Q_SIGNALS:
    void activeChanged(bool on);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool handleKey(QKeyEvent *event);
    static const Key *keyFor(const QKeyEvent *event);
    void run(Command command);
    void dropComposition();
    void takeFocusBack();
    void tag(bool snapAllowed);
    int lastTaggedLine() const;
    void seekTo(double seconds);
    void playPause();
    void undoRedo(bool redo);
    void refreshHighlights();

    QPointer<QPlainTextEdit> m_editor;
    QPointer<LyricsDocument> m_lyrics;
    const QObject *m_watchedEditor = nullptr;
    const QObject *m_watchedViewport = nullptr;
    QPointer<MediaEngine> m_engine;
    TimingAssist *m_assist = nullptr; // owned by the window, as this is
    WordTapping *m_words = nullptr;   // the same
    Tapper *m_tapper;
    HeldKeys m_held;
    const QKeyEvent *m_press = nullptr; // the press being handled
    QAction *m_action;
    bool m_active = false;
    bool m_movingCaret = false; // our own caret moves, not the user's choice of line
    bool m_inputMethodWas = true;
    bool m_droppingComposition = false;
    int m_liveLine = -1;
};

} // namespace tarvelin
