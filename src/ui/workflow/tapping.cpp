#include "ui/workflow/tapping.h"

#include "core/lrc.h"

#include <QAbstractUndoItem>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace tarvelin {

// Rides in the same undo step as the text change, so the document's undo and
// redo move the current line with it.
class CurrentLineStep : public QAbstractUndoItem {
public:
    CurrentLineStep(Tapper *tapper, int undoLine, int redoLine)
        : m_tapper(tapper), m_undoLine(undoLine), m_redoLine(redoLine) {}
    void undo() override { moveTo(m_undoLine); }
    void redo() override { moveTo(m_redoLine); }

private:
    void moveTo(int line)
    {
        if (m_tapper)
            m_tapper->moveTo(line);
    }
    QPointer<Tapper> m_tapper;
    int m_undoLine;
    int m_redoLine;
};

namespace {

std::optional<qint64> firstTagMs(const QTextBlock &block)
{
    const LrcLine line = parseLrcLine(block.text());
    if (line.tags.isEmpty())
        return std::nullopt;
    return line.tags.first().ms;
}

std::optional<double> preRollTarget(const QTextBlock &block)
{
    const auto ms = firstTagMs(block);
    if (!ms)
        return std::nullopt;
    return std::max(0.0, double(*ms) / 1000.0 - Tapper::PreRollSeconds);
}

// Selects the line's first time tag, or the empty spot at its start.
QTextCursor firstTagCursor(const QTextBlock &block)
{
    const LrcLine line = parseLrcLine(block.text());
    QTextCursor cursor(block);
    if (!line.tags.isEmpty()) {
        cursor.setPosition(block.position() + line.tags.first().start);
        cursor.setPosition(block.position() + line.tags.first().start + line.tags.first().length,
                           QTextCursor::KeepAnchor);
    }
    return cursor;
}

} // namespace

Tapper::Tapper(QTextDocument *document, QObject *parent)
    : QObject(parent), m_document(document)
{
}

int Tapper::currentLine() const
{
    return m_document ? std::clamp(m_current, 0, m_document->blockCount() - 1) : 0;
}

void Tapper::setCurrentLine(int line)
{
    if (m_document)
        moveTo(std::clamp(line, 0, m_document->blockCount() - 1));
}

void Tapper::moveTo(int line)
{
    m_current = line;
}

int Tapper::lyricLine(int from, int direction) const
{
    if (!m_document)
        return -1;
    for (QTextBlock block = m_document->findBlockByNumber(from); block.isValid();
         block = direction > 0 ? block.next() : block.previous()) {
        if (isLyricLine(block.text()))
            return block.blockNumber();
    }
    return -1;
}

void Tapper::pushStep(int undoLine, int redoLine)
{
    m_document->appendUndoItem(new CurrentLineStep(this, undoLine, redoLine));
    moveTo(redoLine);
}

int Tapper::tap(double seconds)
{
    const int line = lyricLine(currentLine(), +1);
    if (line < 0)
        return -1;
    const int next = lyricLine(line + 1, +1);
    QTextCursor cursor = firstTagCursor(m_document->findBlockByNumber(line));
    cursor.beginEditBlock();
    cursor.insertText(formatTimeTag(msFromSeconds(seconds)));
    pushStep(line, next < 0 ? line : next);
    cursor.endEditBlock();
    return line;
}

std::optional<double> Tapper::stepBack()
{
    const int from = currentLine();
    const int line = from > 0 ? lyricLine(from - 1, -1) : -1;
    if (line < 0)
        return std::nullopt;
    // A step changes no text, but it is an undo step of its own: a user who
    // steps back by mistake takes it back with the same key as a wrong tap.
    // It does not count as an unsaved change.
    const bool modified = m_document->isModified();
    QTextCursor cursor(m_document);
    cursor.beginEditBlock();
    pushStep(from, line);
    cursor.endEditBlock();
    if (!modified)
        m_document->setModified(false);
    return preRollTarget(m_document->findBlockByNumber(line));
}

std::optional<double> Tapper::replayTarget() const
{
    if (!m_document)
        return std::nullopt;
    return preRollTarget(m_document->findBlockByNumber(currentLine()));
}

std::optional<double> Tapper::nudge(qint64 deltaMs)
{
    if (!m_document)
        return std::nullopt;
    const int line = currentLine();
    const QTextBlock block = m_document->findBlockByNumber(line);
    const auto ms = firstTagMs(block);
    if (!ms)
        return std::nullopt;
    const qint64 moved = std::max<qint64>(0, *ms + deltaMs) / 10 * 10;
    QTextCursor cursor = firstTagCursor(block);
    const QString tag = formatTimeTag(moved);
    if (cursor.selectedText() != tag) {
        cursor.beginEditBlock();
        cursor.insertText(tag);
        pushStep(line, line);
        cursor.endEditBlock();
    }
    return double(moved) / 1000.0;
}

bool Tapper::moveUp()
{
    const int from = currentLine();
    const int line = from > 0 ? lyricLine(from - 1, -1) : -1;
    if (line >= 0)
        moveTo(line);
    return line >= 0;
}

bool Tapper::moveDown()
{
    const int line = lyricLine(currentLine() + 1, +1);
    if (line >= 0)
        moveTo(line);
    return line >= 0;
}

} // namespace tarvelin
