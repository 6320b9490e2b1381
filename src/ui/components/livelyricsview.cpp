#include "ui/components/livelyricsview.h"

#include "ui/workflow/livelyrics.h"
#include "ui/workflow/wordtapping.h"

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
    m_current->setText(m_live->lyricText(m_live->currentLine()));
    m_next->setText(m_live->lyricText(m_live->nextLine()));
}

} // namespace tarvelin
