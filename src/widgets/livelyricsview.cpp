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
    if (line < 0 || position < 0 || parsed.tags.isEmpty())
        return;
    const WordLine words = readWordLine(text, parsed);
    QString sung;
    for (const WordUnit &unit : words.units)
        sung += unit.text;
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
    if (done == 0) {
        m_current->setTextFormat(Qt::PlainText);
        m_current->setText(shown);
        return;
    }
    const QColor highlight = palette().color(QPalette::Highlight);
    m_current->setTextFormat(Qt::RichText);
    m_current->setText(QStringLiteral("<span style=\"color:%1\">%2</span>%3")
                           .arg(highlight.name(), shown.left(done).toHtmlEscaped(), shown.mid(done).toHtmlEscaped()));
}

} // namespace tarvelin
