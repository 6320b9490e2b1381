#pragma once

#include <QObject>
#include <QPointer>

#include <optional>

namespace tarvelin {

class LyricsDocument;

// The tap-mode logic over the lyrics document: a current line, tagging it
// at a position and moving on, stepping back, nudging. Lines are the
// document's blocks, counted from 0. Only lyric lines (text that is not an
// ID-tag line, see lrc.h) are tagged or moved to; blank and ID-tag lines are
// skipped.
//
// Each tap, nudge and step back is exactly one undo step of the document, so
// the editor's own undo and redo take them back and forth; the current line
// follows: undoing a tap or nudge makes its line current again, redoing it
// puts the current line where the tap or nudge left it. The line changes
// while the document's undo()/redo() runs; an editor that places its caret after undoing should read
// currentLine() once undo() has returned.
class Tapper : public QObject {
    Q_OBJECT
public:
    // Seek targets start this long before a tag, so the line is heard coming.
    static constexpr double PreRollSeconds = 2.0;

    explicit Tapper(LyricsDocument *lyrics, QObject *parent = nullptr);

    // Always a line of the document (clamped after outside edits).
    int currentLine() const;
    // Any line, e.g. the one the user clicked.
    void setCurrentLine(int line);

    // Writes the tag for `seconds` ("[mm:ss.xx]", cut to the hundredth) at
    // the start of the current line, or of the next lyric line below it when
    // the current line is not one. A time tag already at the start of that
    // line is replaced; its other tags stay. The current line then moves to
    // the next lyric line, or stays on the last one. Returns the line tagged,
    // -1 if there is no lyric line from the current line down (nothing changes).
    int tap(double seconds);

    // The previous lyric line becomes current. Returns where to seek: its tag
    // minus the pre-roll, not below 0; nothing if it has no tag or there is no
    // lyric line above (then nothing changes).
    std::optional<double> stepBack();

    // Where to seek to hear the current line again: its tag minus the
    // pre-roll, not below 0; nothing if it has no tag.
    std::optional<double> replayTarget() const;

    // Moves the current line's first tag by deltaMs (not below 0, across
    // minutes) and returns its new time in seconds; nothing if the line has
    // no tag.
    std::optional<double> nudge(qint64 deltaMs);

    // The previous / next lyric line becomes current; false if there is none.
    // Not undo steps.
    bool moveUp();
    bool moveDown();

private:
    friend class CurrentLineStep;
    void pushStep(int undoLine, int redoLine);
    void moveTo(int line);

    QPointer<LyricsDocument> m_lyrics;
    int m_current = 0;
};

} // namespace tarvelin
