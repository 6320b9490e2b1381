#pragma once

#include "core/wordunits.h"
#include "tapping/heldkeys.h"

#include <QObject>
#include <QPointer>

#include <optional>

class QKeyEvent;
class QPlainTextEdit;

namespace tarvelin {

class LyricsDocument;
class MediaEngine;
class SongAnalysis;
class TapMode;

// 逐字打轴: tap mode's word mode. W in tap mode puts the current line into
// it: the song plays from 2 s before the line's tag, and each Space tags the
// next unit of the line (tappingUnits) at the moment of the press, the
// first unit's time being the line's tag too. Enter, or a Space once every
// unit has its time, closes the line with the end tag and goes on to the
// next lyric line, still in word mode. Each tag, step back or nudge is one
// undo step of the text (through LyricsDocument), so Ctrl+Z restores the
// line exactly. Esc goes back to line taps; leaving tap mode leaves this too.
//
// The units are those of tappingUnits: a line tapped before keeps the cuts
// of its word tags. M merges the next unit to tap with the one after it (a
// word sung as one), Shift+M splits it back into the rule's units; such a
// unit gets one word tag when tapped, and so is saved as one.
//
// The keys come before tap mode's (this filters the editor's events first);
// those not in keys() (P, R, ←/→, Ctrl+Z) go on to tap mode.
class WordTapping : public QObject {
    Q_OBJECT
public:
    enum class Command {
        Tag,    // the next unit starts at the press
        Close,  // the end tag at the press, on to the next line
        StepBack, // the last unit's tag goes, play from just before it
        NudgeEarlier, NudgeLater, FineNudgeEarlier, FineNudgeLater,
        Snap,   // the line's word tags to the sound starts near them
        CorrectDelay, // the reaction delay out of every word tag
        Merge,  // the next unit to tap and the one after it sung as one
        Split,  // the next unit to tap back into the rule's units
        Ignore, // keys of line mode that make no sense here
        Leave,  // back to line taps
    };
    struct Key {
        int key;
        Qt::KeyboardModifiers modifiers;
        Command command;
        bool repeats;
        const char *name;
        const char *does;
    };
    static const QList<Key> &keys();

    static constexpr double PreRollSeconds = 2.0;  // play from this long before the line
    static constexpr double BackRollSeconds = 1.0; // after a step back, before the unit
    static constexpr qint64 NudgeMs = 100;
    static constexpr qint64 FineNudgeMs = 10;

    WordTapping(QPlainTextEdit *editor, LyricsDocument *lyrics, MediaEngine *engine, TapMode *tapMode,
                QObject *parent = nullptr);

    // The song's timing curve, for S and C (may be null).
    void setAnalysis(SongAnalysis *analysis);

    bool isActive() const { return m_line >= 0; }
    int line() const { return m_line; }
    // The units of the line in word mode and how many have their time.
    const QList<WordUnit> &units() const { return m_units; }
    int tagged() const { return m_next; }

    // Word mode on `line` (a lyric line; else the next one below it); plays
    // from PreRollSeconds before its tag when it has one.
    bool start(int line);
    void stop();

    // The line in word mode with its units spaced, the tagged ones marked
    // (for the player's display); empty when not in word mode.
    QString displayText() const;

Q_SIGNALS:
    // Word mode started, stopped, or its line or units changed.
    void changed();
    void notice(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    static const Key *keyFor(const QKeyEvent *event);
    void run(Command command, const QKeyEvent *press);
    std::optional<qint64> pressMs(const QKeyEvent *press);
    void tagNext(qint64 ms);
    void close(qint64 ms);
    void stepBack();
    void nudge(qint64 deltaMs);
    void snap();
    void correctDelay();
    void mergeNext();
    void splitNext();
    void placeUnits();
    void resync();
    void seekPlay(double seconds);
    bool writeWords(const QList<qint64> &times, std::optional<qint64> endMs, bool lineTagToo);
    QList<qint64> currentTimes() const;

    QPointer<QPlainTextEdit> m_editor;
    // Compared, never followed: the filter also sees the editor's last events
    // while it is being destroyed, when a QPointer may not be read.
    const QObject *m_watchedEditor = nullptr;
    QPointer<LyricsDocument> m_lyrics;
    QPointer<MediaEngine> m_engine;
    QPointer<TapMode> m_tapMode;
    QPointer<SongAnalysis> m_analysis;
    HeldKeys m_held;
    int m_line = -1;
    QString m_sung; // the line's sung text the units were cut from
    QList<WordUnit> m_units;
    QList<qsizetype> m_at; // where each unit starts in m_sung
    int m_next = 0;
    bool m_writing = false;
};

} // namespace tarvelin
