#include "ui/workflow/livelyrics.h"

#include "media/mediaengine.h"

#include <QTextDocument>
#include <QTimer>

namespace tarvelin {

LiveLyrics::LiveLyrics(QTextDocument *document, MediaEngine *engine, QObject *parent)
    : QObject(parent), m_document(document), m_engine(engine),
      m_poll(new QTimer(this)), m_reread(new QTimer(this))
{
    m_poll->setInterval(RefreshIntervalMs);
    m_poll->setTimerType(Qt::PreciseTimer);
    connect(m_poll, &QTimer::timeout, this, [this] { refresh(); });

    m_reread->setSingleShot(true);
    m_reread->setInterval(100);
    connect(m_reread, &QTimer::timeout, this, [this] {
        m_lines = m_document ? m_document->toPlainText().split(QChar::LineFeed) : QStringList();
        m_timeline = LrcTimeline(m_lines);
        refresh(true); // the lines' text may have changed under the same numbers
    });
    connect(document, &QTextDocument::contentsChanged, m_reread, qOverload<>(&QTimer::start));

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
    if (line < 0 || line >= m_lines.size())
        return {};
    const QString &text = m_lines.at(line);
    return tarvelin::lyricText(text, parseLrcLine(text)).trimmed();
}

void LiveLyrics::refresh(bool textChanged)
{
    LrcTimeline::Live live;
    if (m_engine && !m_timeline.isEmpty() && m_engine->state() != MediaEngine::State::Empty) {
        if (const auto position = m_engine->position()) {
            live = m_timeline.liveAt(*position);
            m_position = *position;
        } else {
            live = m_live; // cannot tell: keep what shows
        }
    }
    Q_EMIT ticked();
    const bool hasTimeline = !m_timeline.isEmpty();
    if (!textChanged && live.current == m_live.current && live.next == m_live.next && hasTimeline == m_hadTimeline)
        return;
    m_live = live;
    m_hadTimeline = hasTimeline;
    Q_EMIT changed();
}

} // namespace tarvelin
