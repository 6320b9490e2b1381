#pragma once

#include <QWidget>

class QLabel;

namespace tarvelin {

class LiveLyrics;
class WordTapping;

// The line being sung, large, with the next one smaller beneath it; for the
// player's display area. Hidden while the lyrics have no time tags, so the
// display shows what it always shows.
class LiveLyricsView : public QWidget {
    Q_OBJECT
public:
    explicit LiveLyricsView(LiveLyrics *live, QWidget *parent = nullptr);

    QString currentText() const;
    QString nextText() const;
    // In word mode the line being word-tapped shows instead, its units spaced.
    void setWordTapping(WordTapping *words);
    // For each unit of the line showing, whether it is drawn as proposed (a
    // word time the program proposed, not yet confirmed: grey before it is
    // sung, a greyed highlight after); empty when no unit is.
    QList<bool> proposedUnits() const { return m_proposed; }

private:
    void refresh();
    // The line being sung filled as far as it is sung (its word tags, else
    // evenly to the next line).
    void fill();

    LiveLyrics *m_live;
    WordTapping *m_words = nullptr;
    QLabel *m_current = nullptr;
    QLabel *m_next = nullptr;
    QList<bool> m_proposed;
};

} // namespace tarvelin
