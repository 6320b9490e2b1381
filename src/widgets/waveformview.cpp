#include "widgets/waveformview.h"
#include "widgets/wordticks.h"

#include "analysis/songanalysis.h"
#include "core/lrc.h"
#include "core/positiontext.h"
#include "document/lyricsdocument.h"
#include "media/mediaengine.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <limits>
#include <tuple>
#include <cmath>

namespace tarvelin {

namespace {

// How often the window follows playback, in milliseconds (30 a second).
constexpr int FollowInterval = 33;
// The playhead glides on from the engine's last report at most this far.
constexpr double MaxGlide = 0.5;
// A press this close to a marker's line (or on its label) takes the marker.
constexpr double GrabDistance = 5;
// A press that moves less than this is a click, not a drag.
constexpr double DragThreshold = 3;
// A sound start's tick is full height from this rise of the timing curve on
// (17 dB within 30 ms; the clear starts begin at StartRise, 4.3 dB).
constexpr float FullTick = 4.0f;
// A marker's label: at most this many characters of its lyric.
constexpr int LabelCharacters = 8;
// A change of more lines than this reads every marker again.
constexpr int MaxMarkerLines = 64;
// Each wheel step zooms by this factor.
constexpr double ZoomStep = 1.25;

QColor blend(const QColor &a, const QColor &b, double t)
{
    return QColor::fromRgbF(float(a.redF() * (1 - t) + b.redF() * t), float(a.greenF() * (1 - t) + b.greenF() * t),
                            float(a.blueF() * (1 - t) + b.blueF() * t));
}

} // namespace

WaveformView::WaveformView(SongAnalysis *analysis, MediaEngine *engine, QWidget *parent)
    : QWidget(parent), m_analysis(analysis), m_engine(engine), m_ticker(new QTimer(this))
{
    setObjectName(QStringLiteral("waveform"));
    setAccessibleName(QStringLiteral("波形"));
    setToolTip(QStringLiteral("点击跳到该处；拖动标记修改该行的时间，拖动标记下的逐字刻度修改该字的时间；滚轮缩放"));
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAttribute(Qt::WA_OpaquePaintEvent);

    m_ticker->setInterval(FollowInterval);
    connect(m_ticker, &QTimer::timeout, this, &WaveformView::advance);
    if (m_engine) {
        connect(m_engine, &MediaEngine::stateChanged, this, &WaveformView::followPlayback);
        connect(m_engine, &MediaEngine::positionChanged, this, &WaveformView::setAnchor);
    }
    if (m_analysis) {
        connect(m_analysis, &SongAnalysis::progressed, this, qOverload<>(&QWidget::update));
        connect(m_analysis, &SongAnalysis::finished, this, qOverload<>(&QWidget::update));
        connect(m_analysis, &SongAnalysis::failed, this, qOverload<>(&QWidget::update));
    }
}

WaveformView::~WaveformView() = default;

void WaveformView::setLyrics(LyricsDocument *lyrics, QPlainTextEdit *editor)
{
    if (m_editor)
        m_editor->disconnect(this);
    if (m_lyrics)
        m_lyrics->disconnect(this);
    cancelDrag();
    m_lyrics = lyrics;
    m_editor = editor;
    m_markersStale = true;
    if (editor)
        connect(editor, &QPlainTextEdit::cursorPositionChanged, this, qOverload<>(&QWidget::update));
    if (lyrics)
        connect(lyrics, &LyricsDocument::changed, this, &WaveformView::lyricsChanged);
    update();
}

void WaveformView::setSpan(double seconds)
{
    m_span = std::clamp(seconds, MinSpan, MaxSpan);
    update();
}

double WaveformView::viewStart() const
{
    return m_dragging ? m_frozenStart : m_position - m_span / 2;
}

double WaveformView::timeAt(double x) const
{
    return viewStart() + x / std::max(1, width()) * m_span;
}

double WaveformView::xAt(double seconds) const
{
    return (seconds - viewStart()) / m_span * width();
}

const QList<WaveformView::Marker> &WaveformView::markers() const
{
    if (!m_markersStale)
        return m_markers;
    m_markersStale = false;
    m_markers.clear();
    if (!m_lyrics)
        return m_markers;
    for (int line = 0, n = m_lyrics->lineCount(); line < n; ++line)
        appendMarkers(line);
    std::sort(m_markers.begin(), m_markers.end(), markerOrder);
    return m_markers;
}

void WaveformView::appendMarkers(int line) const
{
    const LrcLine &parsed = m_lyrics->line(line);
    if (parsed.kind != LrcLine::Kind::Lyric || parsed.tags.isEmpty())
        return;
    const QString label = m_lyrics->lyricText(line).trimmed().left(LabelCharacters);
    for (int i = 0; i < parsed.tags.size(); ++i)
        m_markers.append({line, i, parsed.tags[i].ms, label});
}

bool WaveformView::markerOrder(const Marker &a, const Marker &b)
{
    return std::tie(a.ms, a.line, a.tag) < std::tie(b.ms, b.line, b.tag);
}

bool WaveformView::hasWaveform() const
{
    return m_analysis && m_analysis->analysedSeconds() > 0
        && (m_analysis->status() == SongAnalysis::Status::Running
            || m_analysis->status() == SongAnalysis::Status::Finished);
}

QSize WaveformView::sizeHint() const
{
    return {400, minimumSizeHint().height()};
}

QSize WaveformView::minimumSizeHint() const
{
    // A label line over about two and a half lines of waveform.
    return {120, fontMetrics().height() * 4};
}

int WaveformView::currentLine() const
{
    return m_editor ? m_editor->textCursor().blockNumber() : -1;
}

void WaveformView::setAnchor(double seconds)
{
    m_anchor = seconds;
    m_anchorClock.start();
    m_position = seconds;
    update();
}

void WaveformView::advance()
{
    // Between the engine's reports the playhead moves on with the clock, so
    // the window scrolls smoothly without asking the engine 30 times a
    // second; never further than MaxGlide past the last report.
    if (!m_engine || !m_anchorClock.isValid())
        return;
    const double glide = std::min(m_anchorClock.elapsed() / 1000.0 * m_engine->speed(), MaxGlide);
    m_position = m_anchor + glide;
    update();
}

void WaveformView::followPlayback()
{
    const bool playing = m_engine && m_engine->state() == MediaEngine::State::Playing;
    if (playing && isVisible())
        m_ticker->start();
    else
        m_ticker->stop();
    update();
}

void WaveformView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    followPlayback();
}

void WaveformView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_ticker->stop();
}

int WaveformView::markerAt(double x) const
{
    const QList<Marker> &all = markers();
    int best = -1;
    double bestDistance = GrabDistance;
    for (int i = 0; i < all.size(); ++i) {
        const double d = std::abs(xAt(double(all[i].ms) / 1000.0) - x);
        // Among markers equally near, the current line's.
        if (d < bestDistance || (d == bestDistance && best >= 0 && all[i].line == currentLine())) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

bool WaveformView::isDragged(const Marker &marker) const
{
    return m_dragging && marker.line == m_dragLine.blockNumber()
        && marker.tag == (m_dragWord >= 0 ? m_dragLineTag : m_dragTag);
}

QFont WaveformView::labelFont() const
{
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    return small;
}

std::pair<double, double> WaveformView::wordTickBand() const
{
    const double labelBand = QFontMetricsF(labelFont()).height() + 2;
    return {labelBand + 1, std::min<double>(labelBand, height() / 4.0)};
}

int WaveformView::wordTickAt(QPointF point, int *last) const
{
    const int line = currentLine();
    if (!m_lyrics || line < 0)
        return -1;
    const auto [top, tall] = wordTickBand();
    if (point.y() < top - GrabDistance || point.y() > top + tall + GrabDistance)
        return -1;
    const QList<WordTag> &words = m_lyrics->line(line).words;
    int best = -1;
    double bestDistance = GrabDistance;
    for (int i = 0; i < words.size(); ++i) {
        const double d = std::abs(xAt(double(words[i].ms) / 1000.0) - point.x());
        if (d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    if (best >= 0 && last) {
        *last = best;
        while (*last + 1 < words.size() && words[*last + 1].ms == words[best].ms)
            ++*last;
    }
    return best;
}

void WaveformView::setDraggedWord(int word)
{
    const LrcLine &parsed = m_lyrics->line(m_dragLine.blockNumber());
    const QList<WordTag> &words = parsed.words;
    if (word < 0 || word >= words.size()) { // the line changed: the drag is off
        cancelDrag();
        return;
    }
    m_dragWord = word;
    m_dragLineTag = -1;
    qint64 low = 0;
    if (word > 0) {
        low = words[word - 1].ms;
    } else if (!parsed.tags.isEmpty()) {
        // The first unit starts the line: when it stands at the line's tag
        // (as a tap puts it), the tag goes with it; else it stays after it.
        if (parsed.tags.first().ms == words.first().ms)
            m_dragLineTag = 0;
        else
            low = std::min_element(parsed.tags.begin(), parsed.tags.end(),
                                   [](const TimeTag &a, const TimeTag &b) { return a.ms < b.ms; })->ms;
    }
    qint64 high = std::numeric_limits<qint64>::max();
    if (word + 1 < words.size())
        high = words[word + 1].ms;
    if (const double end = m_engine ? m_engine->duration() : 0; end > 0)
        high = std::min(high, msFromSeconds(end));
    // A tag already outside its room (typed so) is not pulled in by the grab.
    const qint64 grabbed = words[word].ms;
    low = std::min(low, grabbed);
    high = std::max(high, grabbed);
    // Written cut to the hundredth, it must still not pass a neighbour.
    m_dragLow = (low + 9) / 10 * 10;
    m_dragHigh = high / 10 * 10;
}

void WaveformView::lyricsChanged(const LinesChange &change)
{
    // Line numbers after a change of lines, and the tags after a change of
    // tags, are read again when next drawn; typing in a line's text keeps
    // both, only the labels of the lines typed in are read again.
    if (change.linesAdded != 0 || change.last - change.first > MaxMarkerLines) {
        m_markersStale = true;
    } else if (change.tagsChanged && !m_markersStale) {
        // A tap, a drag, a nudge, an undo of one: the lines' markers taken
        // out and put back in their places, not the whole list sorted again.
        m_markers.removeIf([&](const Marker &m) { return m.line >= change.first && m.line <= change.last; });
        const qsizetype kept = m_markers.size();
        for (int line = change.first; line <= change.last; ++line)
            appendMarkers(line);
        const QList<Marker> added = m_markers.sliced(kept);
        m_markers.resize(kept);
        for (const Marker &m : added)
            m_markers.insert(std::upper_bound(m_markers.cbegin(), m_markers.cend(), m, markerOrder), m);
    } else if (!m_markersStale) {
        for (Marker &marker : m_markers) {
            if (marker.line >= change.first && marker.line <= change.last)
                marker.label = m_lyrics->lyricText(marker.line).trimmed().left(LabelCharacters);
        }
    }
    update();
    if (!m_dragging)
        return;
    // A change that reaches into the grabbed line (its own line break
    // included) takes the drag away; after any other the line is where the
    // cursor has moved with it.
    const QTextBlock block = m_dragLine.block();
    const int line = block.blockNumber();
    if (!block.isValid() || (line >= change.first && line <= change.last) || block.text() != m_dragText)
        cancelDrag();
}

void WaveformView::cancelDrag()
{
    if (!m_dragging)
        return;
    m_dragging = false;
    m_dragWord = -1;
    m_dragLineTag = -1;
    m_dragLine = QTextCursor();
    update();
}

void WaveformView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QPalette &pal = palette();
    const double w = width();
    const double h = height();
    const double dpr = devicePixelRatioF();
    const QFont small = labelFont();
    const QFontMetricsF fm(small);
    const double labelBand = fm.height() + 2;
    const double tickBand = 5;
    const double top = labelBand;
    const double bottom = h - tickBand;
    const double middle = (top + bottom) / 2;
    const double half = (bottom - top) / 2;

    p.fillRect(rect(), pal.color(QPalette::Base));
    const double t0 = viewStart();
    const double t1 = t0 + m_span;

    // Outside the song: before 0 and past its end.
    const QColor outside = blend(pal.color(QPalette::Base), pal.color(QPalette::Text), 0.06);
    if (t0 < 0)
        p.fillRect(QRectF(0, 0, std::min(w, xAt(0)), h), outside);
    const double end = m_engine ? m_engine->duration() : 0;
    if (end > 0 && t1 > end)
        p.fillRect(QRectF(std::max(0.0, xAt(end)), 0, w, h), outside);

    if (hasWaveform()) {
        const int columns = std::max(1, int(std::lround(w * dpr)));
        // A faint band behind the waveform where a voice sings.
        const auto voice = m_analysis->voiceBand(t0, t1, columns);
        QColor sung = pal.color(QPalette::Highlight);
        for (int c = 0; c < columns; ++c) {
            sung.setAlphaF(0.14f * voice[std::size_t(c)]);
            p.fillRect(QRectF(c / dpr, top, 1 / dpr, bottom - top), sung);
        }
        const auto peaks = m_analysis->peaks(t0, t1, columns);
        QList<QLineF> lines;
        lines.reserve(columns);
        for (int c = 0; c < columns; ++c) {
            const PeakRange &r = peaks[std::size_t(c)];
            if (r.isEmpty())
                continue;
            const double x = (c + 0.5) / dpr;
            const double y0 = middle - std::clamp(double(r.max), -1.0, 1.0) * half;
            const double y1 = middle - std::clamp(double(r.min), -1.0, 1.0) * half;
            lines.append(QLineF(x, y0, x, std::max(y1, y0 + 1 / dpr)));
        }
        p.setPen(QPen(blend(pal.color(QPalette::Base), pal.color(QPalette::Text), 0.38), 0));
        p.drawLines(lines);

        // Where sounds start; the stronger, the taller.
        p.setPen(QPen(pal.color(QPalette::Text), 1));
        for (const Onset &o : m_analysis->onsets(t0, t1)) {
            const double s = std::clamp(double(o.strength - StartRise) / double(FullTick - StartRise), 0.0, 1.0);
            const double x = xAt(o.time);
            p.drawLine(QPointF(x, h), QPointF(x, h - 2 - s * (tickBand + 1)));
        }
    }

    // The markers, the current line's last so it is drawn on top.
    const QList<Marker> &all = markers();
    const int current = currentLine();
    p.setFont(small);
    const auto drawMarker = [&](int index) {
        const Marker &m = all[index];
        const bool isCurrent = m.line == current;
        const double ms = isDragged(m) ? double(m_dragMs) : double(m.ms);
        const double x = xAt(ms / 1000.0);
        if (x < -w || x > 2 * w)
            return;
        const QColor color = isCurrent ? pal.color(QPalette::Highlight)
                                       : blend(pal.color(QPalette::Base), pal.color(QPalette::Text), 0.7);
        p.setPen(QPen(color, isCurrent ? 2 : 1));
        p.drawLine(QPointF(x, 0), QPointF(x, h));
        // The label up to the next marker (or, when that leaves it cut and
        // there is more room before the line, to its left), on a backing
        // that keeps it readable over the waveform.
        double room = w - x;
        for (int next = index + 1; next < all.size(); ++next) {
            const double nx = xAt(double(all[next].ms) / 1000.0);
            if (nx > x + 1) {
                room = std::min(room, nx - x);
                break;
            }
        }
        const double wanted = fm.horizontalAdvance(m.label) + 6;
        const bool leftOfLine = room < wanted && x > room;
        const QString text = fm.elidedText(m.label, Qt::ElideRight, std::max(0.0, (leftOfLine ? x : room) - 6));
        if (text.isEmpty())
            return;
        const double boxWidth = fm.horizontalAdvance(text) + 4;
        const QRectF box(leftOfLine ? x - 1 - boxWidth : x + 1, 0, boxWidth, labelBand);
        p.fillRect(box, isCurrent ? pal.color(QPalette::Highlight) : pal.color(QPalette::Base));
        p.setPen(isCurrent ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Text));
        p.drawText(box.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
    };
    for (int i = 0; i < all.size(); ++i) {
        if (all[i].line != current && !isDragged(all[i]))
            drawMarker(i);
    }
    for (int i = 0; i < all.size(); ++i) {
        if (all[i].line == current || isDragged(all[i]))
            drawMarker(i);
    }
    // The current line's word tags under its marker, and those of a line
    // whose word tick is dragged, that one where it would go.
    const auto [tickTop, tickHeight] = wordTickBand();
    const int wordLine = m_dragging && m_dragWord >= 0 ? m_dragLine.blockNumber() : -1;
    QList<int> tickLines;
    if (m_lyrics && current >= 0)
        tickLines << current;
    if (m_lyrics && wordLine >= 0 && wordLine != current)
        tickLines << wordLine;
    for (const int line : tickLines) {
        LrcLine parsed = m_lyrics->line(line);
        if (line == wordLine && m_dragWord < parsed.words.size())
            parsed.words[m_dragWord].ms = m_dragMs;
        // A dragged line tag takes the word tags that start with it along
        // (as the drop will).
        const bool lineDragged = m_dragging && m_dragWord < 0 && line == m_dragLine.blockNumber();
        if (lineDragged && m_dragTag < parsed.tags.size() && !parsed.words.isEmpty()
            && parsed.words.first().ms == parsed.tags[m_dragTag].ms) {
            const qint64 delta = m_dragMs - parsed.tags[m_dragTag].ms;
            for (WordTag &word : parsed.words)
                word.ms = std::max<qint64>(word.ms + delta, 0);
        }
        paintWordTicks(p, m_lyrics->text(line), parsed, [this](double s) { return xAt(s); }, tickTop, tickHeight,
                       pal, [&](int i) { return m_lyrics->isConfirmed(line, TagKind::Word, i); });
    }

    // The playhead.
    if (m_engine && m_engine->state() != MediaEngine::State::Empty) {
        p.setPen(QPen(QColor(220, 50, 47), 1.5));
        const double x = xAt(m_position);
        p.drawLine(QPointF(x, 0), QPointF(x, h));
    }
    // A thin edge against the rest of the display.
    p.setPen(QPen(blend(pal.color(QPalette::Base), pal.color(QPalette::Text), 0.25), 0));
    p.drawRect(QRectF(0, 0, w - 1 / dpr, h - 1 / dpr));
}

void WaveformView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_pressed = true;
    m_pressX = event->position().x();
    int tieLast = -1;
    const int word = wordTickAt(event->position(), &tieLast);
    const int index = word >= 0 ? -1 : markerAt(m_pressX);
    cancelDrag();
    m_pressedOnMarker = (index >= 0 || word >= 0) && m_lyrics;
    if (m_pressedOnMarker && word >= 0) {
        const int line = currentLine();
        const QTextBlock block = m_lyrics->textDocument()->findBlockByNumber(line);
        m_frozenStart = viewStart();
        m_dragging = true;
        m_dragLine = QTextCursor(block);
        m_dragText = block.text();
        m_tieFirst = word;
        m_tieLast = tieLast;
        setDraggedWord(word);
        m_grabbedMs = m_lyrics->line(line).words[word].ms;
        m_dragMs = m_grabbedMs;
    } else if (m_pressedOnMarker) {
        const Marker marker = markers()[index];
        const QTextBlock block = m_lyrics->textDocument()->findBlockByNumber(marker.line);
        m_frozenStart = viewStart();
        m_dragging = true;
        m_dragLine = QTextCursor(block);
        m_dragText = block.text();
        m_dragTag = marker.tag;
        m_dragWord = -1;
        m_grabbedMs = marker.ms;
        m_dragMs = marker.ms;
    }
    event->accept();
}

void WaveformView::mouseMoveEvent(QMouseEvent *event)
{
    const double x = event->position().x();
    if (m_dragging && m_dragWord >= 0) {
        // Of word tags at one time, a drag to the right takes the last, to
        // the left the first, so either way one of them can move.
        const int word = x > m_pressX ? m_tieLast : m_tieFirst;
        if (word != m_dragWord)
            setDraggedWord(word);
        if (!m_dragging) {
            event->accept();
            return;
        }
        const double seconds = double(m_grabbedMs) / 1000.0 + (x - m_pressX) / std::max(1, width()) * m_span;
        const qint64 ms = std::max<qint64>(0, msFromSeconds(seconds)) / 10 * 10;
        m_dragMs = m_dragLow <= m_dragHigh ? std::clamp(ms, m_dragLow, m_dragHigh) : m_grabbedMs;
        update();
    } else if (m_dragging) {
        const double seconds = double(m_grabbedMs) / 1000.0 + (x - m_pressX) / std::max(1, width()) * m_span;
        qint64 ms = std::max<qint64>(0, msFromSeconds(seconds));
        // Within the song, as at 0: its end cut to the hundredth.
        const double end = m_engine ? m_engine->duration() : 0;
        if (end > 0)
            ms = std::min(ms, msFromSeconds(end));
        m_dragMs = ms / 10 * 10;
        update();
    } else if (!m_pressed) {
        setCursor(markerAt(x) >= 0 || wordTickAt(event->position()) >= 0 ? Qt::SizeHorCursor : Qt::ArrowCursor);
    }
    event->accept();
}

void WaveformView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_pressed) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_pressed = false;
    const double x = event->position().x();
    const bool moved = std::abs(x - m_pressX) >= DragThreshold;
    const bool onMarker = m_pressedOnMarker;
    m_pressedOnMarker = false;
    if (m_dragging && moved) {
        const int line = m_dragLine.blockNumber();
        const qint64 ms = m_dragMs;
        const int word = m_dragWord;
        const int lineTag = m_dragLineTag;
        cancelDrag();
        if (m_lyrics && word >= 0)
            m_lyrics->setWordTagTime(line, word, ms, lineTag >= 0 ? std::optional(lineTag) : std::nullopt);
        else if (m_lyrics)
            m_lyrics->setTagTime(line, m_dragTag, ms);
    } else if (onMarker && !m_dragging) {
        // The grabbed line changed while it was held: the drag is off.
    } else {
        const double seconds = timeAt(m_pressX);
        cancelDrag();
        if (m_engine && m_engine->state() != MediaEngine::State::Empty) {
            // The engine keeps the seek within the song; the playhead shows
            // where it went once it says so.
            m_engine->seek(seconds);
            if (const auto now = m_engine->position())
                setAnchor(*now);
        }
    }
    update();
    event->accept();
}

void WaveformView::wheelEvent(QWheelEvent *event)
{
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0) {
        event->ignore();
        return;
    }
    setSpan(m_span * std::pow(ZoomStep, -steps));
    event->accept();
}

} // namespace tarvelin
