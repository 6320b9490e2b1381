#pragma once

#include <QObject>
#include <QPointer>

#include <optional>
#include <vector>

class QAction;
class QWidget;

namespace tarvelin {

class LyricsDocument;
class PlatformTools;
class SongAnalysis;

// The help the song's sound gives with timing: snapping a tag to where a
// sound starts, taking the user's reaction delay out of every tag, moving a
// text tagged for another recording onto this one, and shifting them all.
// Every edit is a timing edit of the lyrics document (one undo step); uses the song's timing curve (timingrules.h); the
// questions and notes go through PlatformTools, brief remarks for the
// player's display come out of notice().
class TimingAssist : public QObject {
    Q_OBJECT
public:
    TimingAssist(LyricsDocument *lyrics, SongAnalysis *analysis, PlatformTools &tools, QWidget *dialogParent,
                 QObject *parent = nullptr);

    // 自动吸附 (checkable, off): taps are snapped as they are made.
    QAction *autoSnapAction() const { return m_autoSnap; }
    // 校正反应延迟: correctReactionDelay().
    QAction *correctAction() const { return m_correct; }
    // 对齐到这首歌: alignToSong(); enabled while a song is loaded (being
    // analysed or analysed) and a lyric line has a tag. One action for
    // every menu that offers it.
    QAction *alignAction() const { return m_align; }
    // 整体平移…: shiftAll().
    QAction *shiftAction() const { return m_shift; }

    bool autoSnap() const;
    // The time a tap at `seconds` should write: with auto snap on and
    // `snapAllowed`, where snapTime() puts it for the user's delay (the one
    // 校正反应延迟 found, else a typical one), if anywhere; else `seconds`.
    double tapTime(double seconds, bool snapAllowed) const;

    // Snaps the first tag of `line` to the clear sound start near it (one
    // undo step): near the tag itself once 校正反应延迟 has taken the delay
    // out, else near where a typical delay puts it. Nothing clear near it,
    // no tag, or no song: nothing changes and notice() says why. True when
    // the tag moved or already sat there.
    bool snapLine(int line);

    // Estimates the reaction delay from all the tagged lyric lines at once,
    // asks whether to take it out of every tag, and does so on 是 (one undo
    // step). Too few lines or no clear delay: a note says why and nothing
    // changes.
    void correctReactionDelay();

    // Finds the offset and speed that put the text's line tags on this
    // song's line starts, asks ("整体推后 2.37 秒，速度 ×1.015"), and rewrites
    // every tag on 是 (one undo step). No clear fit: a note says why.
    void alignToSong();

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
    void updateAlignEnabled();
    // Whether the song's curves are in; a note says why not.
    bool songReady(const QString &title);
    // The first tag of every tagged lyric line, in seconds.
    std::vector<double> lineTags() const;

    QPointer<LyricsDocument> m_lyrics;
    QPointer<SongAnalysis> m_analysis;
    PlatformTools &m_tools;
    QPointer<QWidget> m_dialogParent;
    QAction *m_autoSnap;
    QAction *m_correct;
    QAction *m_align;
    QAction *m_shift;
    // The delay 校正反应延迟 took out of the tags, once it has.
    std::optional<double> m_correctedDelay;
};

} // namespace tarvelin
