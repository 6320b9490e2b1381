#include "editor/wordunitedits.h"

#include "core/wordunits.h"
#include "document/lyricsdocument.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QTextBlock>

namespace tarvelin {

namespace {

// The place in the line's sung text that a column of the line stands at; a
// column inside a tag is the tag's place.
qsizetype sungPlace(const LrcLine &parsed, qsizetype column)
{
    if (column <= parsed.textStart)
        return 0;
    qsizetype place = column - parsed.textStart;
    for (const WordTag &word : parsed.words) {
        if (word.start >= column)
            break;
        place -= std::min(word.length, column - word.start);
    }
    return place;
}

// Where each of the line's word tags stands in its sung text.
QList<qsizetype> wordPlaces(const LrcLine &parsed)
{
    QList<qsizetype> places;
    qsizetype removed = 0;
    for (const WordTag &word : parsed.words) {
        places << word.start - parsed.textStart - removed;
        removed += word.length;
    }
    return places;
}

} // namespace

WordUnitEdits::WordUnitEdits(QPlainTextEdit *editor, LyricsDocument *lyrics, QObject *parent)
    : QObject(parent), m_editor(editor), m_lyrics(lyrics),
      m_merge(new QAction(QStringLiteral("合并为一个字词"), this)),
      m_split(new QAction(QStringLiteral("拆开字词"), this))
{
    m_merge->setObjectName(QStringLiteral("mergeWords"));
    m_merge->setToolTip(QStringLiteral("选中的字连在一起唱：去掉它们之间的逐字时间，当作一个字词"));
    m_merge->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    m_split->setObjectName(QStringLiteral("splitWords"));
    m_split->setToolTip(QStringLiteral("把光标所在的字词拆开，逐字时间按音节平分，待确认"));
    m_split->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    for (QAction *action : {m_merge, m_split}) {
        action->setShortcutContext(Qt::WidgetShortcut);
        editor->addAction(action);
    }
    connect(m_merge, &QAction::triggered, this, &WordUnitEdits::mergeSelection);
    connect(m_split, &QAction::triggered, this, &WordUnitEdits::splitAtCaret);
}

bool WordUnitEdits::mergeSelection()
{
    if (!m_editor || !m_lyrics || m_editor->isReadOnly())
        return false;
    const QTextCursor cursor = m_editor->textCursor();
    const QTextBlock block = m_editor->document()->findBlock(cursor.selectionStart());
    if (!cursor.hasSelection() || m_editor->document()->findBlock(cursor.selectionEnd()) != block) {
        Q_EMIT notice(QStringLiteral("请在一行之内选中要合并的字"));
        return false;
    }
    const int line = block.blockNumber();
    const LrcLine &parsed = m_lyrics->line(line);
    const qsizetype from = sungPlace(parsed, cursor.selectionStart() - block.position());
    const qsizetype to = sungPlace(parsed, cursor.selectionEnd() - block.position());
    const QString merged = m_lyrics->lyricText(line).mid(from, to - from).trimmed();
    if (parsed.words.isEmpty()) {
        Q_EMIT notice(QStringLiteral("这一行还没有逐字时间：逐字打轴时按 M 合并"));
        return false;
    }
    if (!m_lyrics->mergeWordUnits(line, from, to)) {
        Q_EMIT notice(QStringLiteral("选中的已经是一个字词"));
        return false;
    }
    Q_EMIT notice(QStringLiteral("合并为一个字词：%1").arg(merged));
    return true;
}

bool WordUnitEdits::splitAtCaret()
{
    if (!m_editor || !m_lyrics || m_editor->isReadOnly())
        return false;
    const QTextCursor cursor = m_editor->textCursor();
    const QTextBlock block = m_editor->document()->findBlock(cursor.selectionStart());
    const int line = block.blockNumber();
    const LrcLine &parsed = m_lyrics->line(line);
    const QList<qsizetype> places = wordPlaces(parsed);
    const qsizetype at = sungPlace(parsed, cursor.selectionStart() - block.position());
    // The timed unit the caret is in (on a unit's tag: that unit).
    qsizetype unit = -1;
    for (qsizetype i = 0; i < places.size() && places[i] <= at; ++i)
        unit = i;
    const QString sung = m_lyrics->lyricText(line);
    if (unit < 0 || places[unit] >= sung.size()) {
        Q_EMIT notice(QStringLiteral("光标要在有逐字时间的字词上"));
        return false;
    }
    if (unit + 1 >= places.size()) {
        Q_EMIT notice(QStringLiteral("这个字词后面没有时间，无法拆开"));
        return false;
    }
    const qint64 start = parsed.words[unit].ms;
    const qint64 end = parsed.words[unit + 1].ms;
    const QList<WordUnit> pieces = splitWordUnits(QStringView(sung).sliced(places[unit], places[unit + 1] - places[unit]));
    if (pieces.size() < 2) {
        Q_EMIT notice(QStringLiteral("这个字词不能再拆开"));
        return false;
    }
    // The time up to the next tag shared out by syllables.
    int total = 0;
    for (const WordUnit &piece : pieces)
        total += piece.syllables;
    QList<WordTime> added;
    qsizetype place = places[unit];
    int sungBefore = 0;
    for (qsizetype i = 0; i + 1 < pieces.size(); ++i) {
        place += pieces[i].text.size();
        sungBefore += pieces[i].syllables;
        added.append({place, start + (std::max<qint64>(end - start, 0) * sungBefore) / total});
    }
    if (!m_lyrics->insertWordTags(line, added, TagOrigin::Proposed))
        return false;
    Q_EMIT notice(QStringLiteral("拆开为 %1 个字词（时间是估计的，请在波形里拖动或确认）").arg(pieces.size()));
    return true;
}

} // namespace tarvelin
