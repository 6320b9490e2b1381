#include "tapping/tapper.h"

#include "document/lyricsdocument.h"

#include <QAbstractUndoItem>
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

// Where to seek to hear a line coming: its first tag minus the pre-roll.
std::optional<double> preRollTarget(const LyricsDocument &lyrics, int line)
{
    const auto ms = lyrics.firstTagMs(line);
    if (!ms)
        return std::nullopt;
    return std::max(0.0, double(*ms) / 1000.0 - Tapper::PreRollSeconds);
}

} // namespace

Tapper::Tapper(LyricsDocument *lyrics, QObject *parent)
    : QObject(parent), m_lyrics(lyrics)
{
}

int Tapper::currentLine() const
{
    return m_lyrics ? std::clamp(m_current, 0, m_lyrics->lineCount() - 1) : 0;
}

void Tapper::setCurrentLine(int line)
{
    if (m_lyrics)
        moveTo(std::clamp(line, 0, m_lyrics->lineCount() - 1));
}

void Tapper::moveTo(int line)
{
    m_current = line;
}

void Tapper::pushStep(int undoLine, int redoLine)
{
    m_lyrics->textDocument()->appendUndoItem(new CurrentLineStep(this, undoLine, redoLine));
    moveTo(redoLine);
}

int Tapper::tap(double seconds)
{
    if (!m_lyrics)
        return -1;
    const int line = m_lyrics->nextLyricLine(currentLine());
    if (line < 0)
        return -1;
    const int next = m_lyrics->nextLyricLine(line + 1);
    // The tag and the move of the current line are one undo step.
    QTextCursor cursor(m_lyrics->textDocument());
    cursor.beginEditBlock();
    m_lyrics->setLineTag(line, msFromSeconds(seconds));
    pushStep(line, next < 0 ? line : next);
    cursor.endEditBlock();
    return line;
}

std::optional<double> Tapper::stepBack()
{
    if (!m_lyrics)
        return std::nullopt;
    const int from = currentLine();
    const int line = from > 0 ? m_lyrics->previousLyricLine(from - 1) : -1;
    if (line < 0)
        return std::nullopt;
    // A step changes no text, but it is an undo step of its own: a user who
    // steps back by mistake takes it back with the same key as a wrong tap.
    // It does not count as an unsaved change.
    QTextDocument *document = m_lyrics->textDocument();
    const bool modified = document->isModified();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    pushStep(from, line);
    cursor.endEditBlock();
    if (!modified)
        document->setModified(false);
    return preRollTarget(*m_lyrics, line);
}

std::optional<double> Tapper::replayTarget() const
{
    if (!m_lyrics)
        return std::nullopt;
    return preRollTarget(*m_lyrics, currentLine());
}

std::optional<double> Tapper::nudge(qint64 deltaMs)
{
    if (!m_lyrics)
        return std::nullopt;
    const int line = currentLine();
    if (m_lyrics->line(line).tags.isEmpty())
        return std::nullopt;
    // The new time and the current line are one undo step (none when the
    // tag stays as it was, at 0).
    QTextCursor cursor(m_lyrics->textDocument());
    cursor.beginEditBlock();
    const QString before = m_lyrics->text(line);
    const auto moved = m_lyrics->nudgeTag(line, 0, deltaMs);
    if (m_lyrics->text(line) != before)
        pushStep(line, line);
    cursor.endEditBlock();
    return double(*moved) / 1000.0;
}

bool Tapper::moveUp()
{
    const int from = currentLine();
    const int line = m_lyrics && from > 0 ? m_lyrics->previousLyricLine(from - 1) : -1;
    if (line >= 0)
        moveTo(line);
    return line >= 0;
}

bool Tapper::moveDown()
{
    const int line = m_lyrics ? m_lyrics->nextLyricLine(currentLine() + 1) : -1;
    if (line >= 0)
        moveTo(line);
    return line >= 0;
}

} // namespace tarvelin
