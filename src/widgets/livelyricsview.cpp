#include "widgets/livelyricsview.h"

#include "widgets/livelyrics.h"
#include "tapping/wordtapping.h"
#include "core/wordunits.h"

#include <cmath>

#include <QLabel>
#include <QVBoxLayout>

namespace tarvelin {

namespace {

QLabel *makeLine(const QString &name, qreal scale, bool bold, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    font.setBold(bold);
    label->setFont(font);
    // A long line is cut at the display's edge rather than widening the player.
    label->setMinimumWidth(1);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return label;
}

// `share` of a over b, opaque (rich text takes no alpha).
QColor blend(const QColor &a, const QColor &b, float share)
{
    return QColor::fromRgbF(share * a.redF() + (1 - share) * b.redF(), share * a.greenF() + (1 - share) * b.greenF(),
                            share * a.blueF() + (1 - share) * b.blueF());
}

} // namespace

LiveLyricsView::LiveLyricsView(LiveLyrics *live, QWidget *parent)
    : QWidget(parent), m_live(live)
{
    setObjectName(QStringLiteral("liveLyrics"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_current = makeLine(QStringLiteral("liveCurrent"), 1.3, true, this);
    m_next = makeLine(QStringLiteral("liveNext"), 1.0, false, this);
    m_next->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(m_current);
    layout->addWidget(m_next);
    connect(live, &LiveLyrics::changed, this, &LiveLyricsView::refresh);
    connect(live, &LiveLyrics::ticked, this, &LiveLyricsView::fill);
    refresh();
}

QString LiveLyricsView::currentText() const
{
    return m_current->text();
}

QString LiveLyricsView::nextText() const
{
    return m_next->text();
}

void LiveLyricsView::setWordTapping(WordTapping *words)
{
    m_words = words;
    connect(words, &WordTapping::changed, this, &LiveLyricsView::refresh);
    refresh();
}

void LiveLyricsView::refresh()
{
    const bool wordMode = m_words && m_words->isActive();
    const bool show = m_live->hasTimeline() || wordMode;
    // Without a parent, showing would open a window of its own.
    if (parentWidget() || !show)
        setVisible(show);
    if (wordMode) {
        m_proposed.clear();
        m_current->setText(m_words->displayText());
        m_next->setText(QStringLiteral("逐字打轴：空格 下一个字，回车 结束这一行，Esc 回到按行"));
        return;
    }
    m_current->setTextFormat(Qt::PlainText);
    m_current->setText(m_live->lyricText(m_live->currentLine()));
    m_next->setText(m_live->lyricText(m_live->nextLine()));
    fill();
}

void LiveLyricsView::fill()
{
    if (m_words && m_words->isActive())
        return;
    const int line = m_live->currentLine();
    const double position = m_live->position();
    const QString text = m_live->lineText(line);
    const LrcLine &parsed = m_live->parsedLine(line);
    m_proposed.clear();
    if (line < 0 || position < 0 || parsed.tags.isEmpty())
        return;
    const WordLine words = readWordLine(text, parsed);
    const QList<bool> proposed = m_live->proposedUnits(line);
    QString sung;
    QList<bool> proposedAt; // for each character of sung
    for (qsizetype i = 0; i < words.units.size(); ++i) {
        sung += words.units[i].text;
        proposedAt.insert(proposedAt.size(), words.units[i].text.size(), proposed.value(i));
    }
    if (proposed.contains(true))
        m_proposed = proposed;
    qint64 start = parsed.tags.first().ms;
    for (const TimeTag &tag : parsed.tags)
        start = std::min(start, tag.ms);
    const LrcLine &nextParsed = m_live->parsedLine(m_live->nextLine());
    const qint64 end = nextParsed.tags.isEmpty() ? start + 5000 : nextParsed.tags.first().ms;
    const qsizetype filled = sungLength(words, start, end, qint64(std::llround(position * 1000)));
    // Trimmed as the plain text is.
    const QString shown = sung.trimmed();
    const qsizetype skip = std::max<qsizetype>(0, sung.indexOf(shown));
    const qsizetype done = std::clamp<qsizetype>(filled - skip, 0, shown.size());
    if (done == 0 && m_proposed.isEmpty()) {
        m_current->setTextFormat(Qt::PlainText);
        m_current->setText(shown);
        return;
    }
    // Sung: the highlight. Proposed times are grey before they are sung and
    // a greyed highlight after, so a guess the user has not checked never
    // looks like a tapped time, and its sweep still shows.
    const QColor highlight = palette().color(QPalette::Highlight);
    const QColor background = palette().color(QPalette::Base); // the player's display
    const QColor grey = blend(m_current->palette().color(m_current->foregroundRole()), background, 0.45f);
    const QColor faint = blend(highlight, grey, 0.35f);
    const auto colorAt = [&](qsizetype i) -> QString {
        const bool isProposed = proposedAt.value(skip + i);
        if (i < done)
            return (isProposed ? faint : highlight).name();
        return isProposed ? grey.name() : QString();
    };
    QString html;
    for (qsizetype from = 0; from < shown.size();) {
        const QString color = colorAt(from);
        qsizetype to = from + 1;
        while (to < shown.size() && colorAt(to) == color)
            ++to;
        const QString part = shown.mid(from, to - from).toHtmlEscaped();
        html += color.isEmpty() ? part : QStringLiteral("<span style=\"color:%1\">%2</span>").arg(color, part);
        from = to;
    }
    m_current->setTextFormat(Qt::RichText);
    m_current->setText(html);
}

} // namespace tarvelin
