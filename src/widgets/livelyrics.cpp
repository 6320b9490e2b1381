#include "widgets/livelyrics.h"

#include "document/lyricsdocument.h"
#include "media/mediaengine.h"

#include <QTimer>

namespace tarvelin {

LiveLyrics::LiveLyrics(LyricsDocument *lyrics, MediaEngine *engine, QObject *parent)
    : QObject(parent), m_lyrics(lyrics), m_engine(engine),
      m_poll(new QTimer(this)), m_reread(new QTimer(this))
{
    m_poll->setInterval(RefreshIntervalMs);
    m_poll->setTimerType(Qt::PreciseTimer);
    connect(m_poll, &QTimer::timeout, this, [this] { refresh(); });

    m_reread->setSingleShot(true);
    m_reread->setInterval(100);
    connect(m_reread, &QTimer::timeout, this, [this] {
        m_hasTimeline = m_lyrics && !m_lyrics->timeline().isEmpty();
        refresh(true); // the lines' text may have changed under the same numbers
    });
    connect(lyrics, &LyricsDocument::changed, m_reread, qOverload<>(&QTimer::start));

    connect(engine, &MediaEngine::stateChanged, this, [this](MediaEngine::State state) {
        if (state == MediaEngine::State::Playing)
            m_poll->start();
        else
            m_poll->stop();
        refresh();
    });
    connect(engine, &MediaEngine::positionChanged, this, [this] {
        if (!m_poll->isActive())
            refresh();
    });
    m_reread->start();
}

QString LiveLyrics::lyricText(int line) const
{
    if (!m_lyrics || line < 0 || line >= m_lyrics->lineCount())
        return {};
    return m_lyrics->lyricText(line).trimmed();
}

QString LiveLyrics::lineText(int line) const
{
    if (!m_lyrics || line < 0 || line >= m_lyrics->lineCount())
        return {};
    return m_lyrics->text(line);
}

const LrcLine &LiveLyrics::parsedLine(int line) const
{
    static const LrcLine blank;
    return m_lyrics ? m_lyrics->line(line) : blank;
}

QList<bool> LiveLyrics::proposedUnits(int line) const
{
    QList<bool> proposed;
    if (!m_lyrics || line < 0 || line >= m_lyrics->lineCount() || !m_lyrics->hasProposals(line))
        return proposed;
    const QString text = m_lyrics->text(line);
    const LrcLine &parsed = m_lyrics->line(line);
    if (parsed.words.isEmpty())
        return proposed;
    // The units fall as readWordLine() cuts them: text before the first word
    // tag (no time of its own), then one unit for each tag with text after it.
    if (!QStringView(text).sliced(parsed.textStart, parsed.words.first().start - parsed.textStart).trimmed().isEmpty())
        proposed << false;
    for (int i = 0; i < parsed.words.size(); ++i) {
        const qsizetype from = parsed.words[i].start + parsed.words[i].length;
        const qsizetype to = i + 1 < parsed.words.size() ? parsed.words[i + 1].start : text.size();
        if (to > from)
            proposed << !m_lyrics->isConfirmed(line, TagKind::Word, i);
    }
    return proposed;
}

void LiveLyrics::refresh(bool textChanged)
{
    LiveLines live;
    if (m_engine && m_lyrics && m_hasTimeline && m_engine->state() != MediaEngine::State::Empty) {
        if (const auto position = m_engine->position()) {
            live = m_lyrics->liveAt(*position);
            m_position = *position;
        } else {
            live = m_live; // cannot tell: keep what shows
        }
    }
    Q_EMIT ticked();
    const bool hasTimeline = m_hasTimeline;
    if (!textChanged && live.current == m_live.current && live.next == m_live.next && hasTimeline == m_hadTimeline)
        return;
    m_live = live;
    m_hadTimeline = hasTimeline;
    Q_EMIT changed();
}

} // namespace tarvelin
