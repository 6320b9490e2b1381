#include "tapping/autowords.h"

#include "analysis/songanalysis.h"
#include "analysis/wordalign.h"
#include "core/wordunits.h"
#include "document/lyricsdocument.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>

#include <cmath>
#include <optional>

namespace tarvelin {

namespace {

// A tagged lyric line's span: from its first tag to the next tagged lyric
// line's, or to the song's end after the last.
struct TaggedSpan {
    qint64 startMs = 0;
    qint64 endMs = 0;
};

std::optional<TaggedSpan> spanOf(const LyricsDocument &lyrics, int line, qint64 songEndMs)
{
    const auto start = lyrics.firstTagMs(line);
    if (!lyrics.isLyricLine(line) || !start)
        return std::nullopt;
    qint64 end = songEndMs;
    for (int next = lyrics.nextLyricLine(line + 1); next >= 0; next = lyrics.nextLyricLine(next + 1)) {
        if (const auto tag = lyrics.firstTagMs(next)) {
            end = *tag;
            break;
        }
    }
    if (end <= *start)
        return std::nullopt;
    return TaggedSpan{*start, end};
}

QList<int> syllablesOf(const QList<WordUnit> &units)
{
    QList<int> syllables;
    for (const WordUnit &unit : units)
        syllables << unit.syllables;
    return syllables;
}

// The song's pace from every tagged lyric line, not only the chosen ones.
double songPace(const LyricsDocument &lyrics, qint64 songEndMs)
{
    QList<qint64> spans;
    QList<int> syllables;
    for (int line : lyrics.lyricLines()) {
        const auto span = spanOf(lyrics, line, songEndMs);
        if (!span)
            continue;
        int count = 0;
        for (int n : syllablesOf(splitWordUnits(lyrics.lyricText(line))))
            count += n;
        if (count > 0) {
            spans << span->endMs - span->startMs;
            syllables << count;
        }
    }
    return typicalSyllableSeconds(spans, syllables);
}

} // namespace

int proposeWordTimes(LyricsDocument &lyrics, const TimingCurves &curves, const QList<int> &lines, qint64 songEndMs)
{
    const double pace = songPace(lyrics, songEndMs);
    int done = 0;
    QTextCursor step(lyrics.textDocument());
    step.beginEditBlock();
    for (int line : lines) {
        const auto span = spanOf(lyrics, line, songEndMs);
        if (!span)
            continue;
        // A unit merged or split by hand (its word tags say so) stays so.
        const QList<WordUnit> units = tappingUnits(lyrics.text(line), lyrics.line(line));
        if (units.isEmpty())
            continue;
        const WordTimes times = alignWords(curves, span->startMs, span->endMs, syllablesOf(units), pace);
        if (times.starts.size() != units.size())
            continue;
        QList<WordTime> words;
        qsizetype at = 0;
        for (int i = 0; i < units.size(); ++i) {
            words.append({at, times.starts[i]});
            at += units[i].text.size();
        }
        if (lyrics.setWordTags(line, words, times.endMs, TagOrigin::Proposed))
            ++done;
    }
    step.endEditBlock();
    return done;
}

AutoWords::AutoWords(QPlainTextEdit *editor, LyricsDocument *lyrics, SongAnalysis *analysis,
                     std::function<double()> songDuration, QObject *parent)
    : QObject(parent), m_editor(editor), m_lyrics(lyrics), m_analysis(analysis),
      m_songDuration(std::move(songDuration)),
      m_selected(new QAction(QStringLiteral("自动逐字"), this)),
      m_all(new QAction(QStringLiteral("全部自动逐字"), this)),
      m_accept(new QAction(QStringLiteral("确认逐字时间"), this))
{
    m_selected->setObjectName(QStringLiteral("autoWords"));
    m_selected->setToolTip(QStringLiteral("按歌声给选中的行（没有选中时是光标所在的行）估出每个字的时间，待确认"));
    m_all->setObjectName(QStringLiteral("autoWordsAll"));
    m_all->setToolTip(QStringLiteral("按歌声给每一行有时间的歌词估出每个字的时间，待确认"));
    m_accept->setObjectName(QStringLiteral("acceptWords"));
    m_accept->setToolTip(QStringLiteral("把选中的行（没有选中时是光标所在的行）估出的逐字时间当作确认过的"));
    connect(m_selected, &QAction::triggered, this, &AutoWords::proposeSelected);
    connect(m_all, &QAction::triggered, this, &AutoWords::proposeAll);
    connect(m_accept, &QAction::triggered, this, &AutoWords::acceptSelected);
}

QList<int> AutoWords::selectedLines() const
{
    const QTextCursor cursor = m_editor->textCursor();
    const QTextDocument *document = m_editor->document();
    const int first = document->findBlock(cursor.selectionStart()).blockNumber();
    int last = document->findBlock(cursor.selectionEnd()).blockNumber();
    // A selection that ends at the start of a line does not take that line.
    if (cursor.hasSelection() && last > first && document->findBlock(cursor.selectionEnd()).position() == cursor.selectionEnd())
        --last;
    QList<int> lines;
    for (int line = first; line <= last; ++line)
        lines << line;
    return lines;
}

void AutoWords::proposeSelected()
{
    if (m_editor)
        propose(selectedLines());
}

void AutoWords::proposeAll()
{
    if (m_lyrics)
        propose(m_lyrics->lyricLines());
}

void AutoWords::propose(const QList<int> &lines)
{
    if (!m_lyrics || !m_editor || m_editor->isReadOnly())
        return;
    const TimingCurves curves = m_analysis ? m_analysis->curves() : TimingCurves{};
    if (curves.timing.empty()) {
        Q_EMIT notice(QStringLiteral("歌曲还没有分析完，无法自动逐字"));
        return;
    }
    const double duration = m_songDuration ? m_songDuration() : 0;
    const qint64 endMs = duration > 0 ? qint64(std::floor(duration * 1000)) : qint64(curves.timing.duration() * 1000);
    const int done = proposeWordTimes(*m_lyrics, curves, lines, endMs);
    Q_EMIT notice(done ? QStringLiteral("给 %1 行估出了逐字时间（灰色，待确认）").arg(done)
                       : QStringLiteral("没有可以自动逐字的行：行首要有时间"));
}

void AutoWords::acceptSelected()
{
    if (!m_lyrics || !m_editor)
        return;
    QTextCursor step(m_lyrics->textDocument());
    step.beginEditBlock();
    for (int line : selectedLines())
        m_lyrics->acceptProposals(line);
    step.endEditBlock();
}

} // namespace tarvelin
