#pragma once

#include "core/lrc.h"

#include <QObject>
#include <QPointer>

class QTimer;

namespace tarvelin {

class LyricsDocument;
class MediaEngine;

// Follows the song through the time tags of the lyrics: which line is
// showing now (the latest tag at or before the position, [offset:] honoured)
// and which comes next. Polls the position 25 times a second while playing,
// and once after every seek, pause or edit otherwise. Reads only; never
// touches the editor's caret or scroll position.
class LiveLyrics : public QObject {
    Q_OBJECT
public:
    static constexpr int RefreshIntervalMs = 40;

    LiveLyrics(LyricsDocument *lyrics, MediaEngine *engine, QObject *parent = nullptr);

    // Lines of the document, -1 for none.
    int currentLine() const { return m_live.current; }
    int nextLine() const { return m_live.next; }
    // Whether any line has a time tag; without one there is nothing to show.
    bool hasTimeline() const { return m_hasTimeline; }
    // What is sung on a line (no time tags, no word tags), trimmed; empty for -1.
    QString lyricText(int line) const;
    // A line as written; empty for -1.
    QString lineText(int line) const;
    // A line as the lyrics document reads it (a blank line for -1).
    const LrcLine &parsedLine(int line) const;
    // For each unit of the line as readWordLine() cuts it: whether its word
    // time is one the program proposed and the user has not confirmed yet.
    // Empty when the line has no proposed word times.
    QList<bool> proposedUnits(int line) const;
    // The song's position at the last refresh (seconds), -1 when unknown.
    double position() const { return m_position; }

Q_SIGNALS:
    // currentLine(), nextLine() or hasTimeline() changed.
    void changed();
    // Each refresh while the song plays, and after seeks: for the fill of
    // the line being sung.
    void ticked();

private:
    void refresh(bool textChanged = false);

    QPointer<LyricsDocument> m_lyrics;
    QPointer<MediaEngine> m_engine;
    QTimer *m_poll = nullptr;
    QTimer *m_reread = nullptr; // coalesces edits: the text is read once per burst
    bool m_hasTimeline = false;
    LiveLines m_live;
    bool m_hadTimeline = false;
    double m_position = -1;
};

} // namespace tarvelin
