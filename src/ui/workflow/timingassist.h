#pragma once

#include <QObject>
#include <QPointer>

class QAction;
class QPlainTextEdit;
class QTextDocument;
class QWidget;

namespace tarvelin {

class PlatformTools;
class SongAnalysis;

// Rewrites one time tag of a line (`tag`: its index among the line's leading
// tags) as "[mm:ss.xx]" for `ms` (cut to the hundredth, not below 0), as one
// undo step. False (nothing changes) if the line has no such tag or already
// reads so.
bool setTagTime(QTextDocument *document, int line, int tag, qint64 ms);

// Moves every time tag of the document by deltaMs (see shiftTimeTags: cut to
// the hundredth, clamped at 0, ID-tag lines untouched) as one undo step; only
// the tags themselves are rewritten, so the caret stays in its line. False
// when no tag changed (then there is no undo step).
bool shiftAllTags(QTextDocument *document, qint64 deltaMs);

// The help the song's sound gives with timing: snapping a tag to where a
// sound starts, taking the user's reaction delay out of every tag, and
// shifting them all. Works on the editor's text and the song's onsets; the
// questions and notes go through PlatformTools, brief remarks for the
// player's display come out of notice().
class TimingAssist : public QObject {
    Q_OBJECT
public:
    TimingAssist(QPlainTextEdit *editor, SongAnalysis *analysis, PlatformTools &tools, QWidget *dialogParent,
                 QObject *parent = nullptr);

    // 自动吸附 (checkable, off): taps are snapped as they are made.
    QAction *autoSnapAction() const { return m_autoSnap; }
    // 校正反应延迟: correctReactionDelay().
    QAction *correctAction() const { return m_correct; }
    // 整体平移…: shiftAll().
    QAction *shiftAction() const { return m_shift; }

    bool autoSnap() const;
    // The time a tap at `seconds` should write: with auto snap on and
    // `snapAllowed`, the onset snapTarget() picks, if any; else `seconds`.
    double tapTime(double seconds, bool snapAllowed) const;

    // Snaps the first tag of `line` to the strongest onset near it (one undo
    // step). Nothing near it, no tag, or no onsets: nothing changes and
    // notice() says why. True when the tag moved or already sat there.
    bool snapLine(int line);

    // Estimates the reaction delay from the tagged lyric lines, asks whether
    // to take it out of every tag, and does so on 是 (one undo step). Too few
    // lines or no clear delay: a note says so and nothing changes.
    void correctReactionDelay();

    // Asks for a number of milliseconds (the limits shown: ten minutes either
    // way) and moves every tag by it. What is not a whole number within the
    // limits is refused with a message and asked for again; a shift that
    // would take tags below 0 says how many lines would stop at [00:00.00]
    // and needs a 是 first.
    void shiftAll();

Q_SIGNALS:
    // A short remark for the player's display, e.g. that nothing was near
    // enough to snap to.
    void notice(const QString &text);

private:
    QPointer<QPlainTextEdit> m_editor;
    QPointer<SongAnalysis> m_analysis;
    PlatformTools &m_tools;
    QPointer<QWidget> m_dialogParent;
    QAction *m_autoSnap;
    QAction *m_correct;
    QAction *m_shift;
};

} // namespace tarvelin
