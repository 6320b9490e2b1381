#include "tapping/wordtapping.h"

#include "analysis/songanalysis.h"
#include "analysis/timingrules.h"
#include "analysis/wordrules.h"
#include "document/lyricsdocument.h"
#include "media/mediaengine.h"
#include "tapping/pressmoment.h"
#include "tapping/tapmode.h"
#include "tapping/tapper.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QTextCursor>

#include <algorithm>
#include <cmath>
#include <vector>

namespace tarvelin {

namespace {

qint64 toMs(double seconds)
{
    return qint64(std::floor(std::max(0.0, seconds) * 1000.0 + 0.5));
}

// Several document edits as one undo step.
class OneStep {
public:
    explicit OneStep(QTextDocument *document) : m_cursor(document) { m_cursor.beginEditBlock(); }
    ~OneStep() { m_cursor.endEditBlock(); }

private:
    QTextCursor m_cursor;
};

} // namespace

const QList<WordTapping::Key> &WordTapping::keys()
{
    constexpr auto None = Qt::NoModifier;
    constexpr auto Alt = Qt::AltModifier;
    constexpr auto Shift = Qt::ShiftModifier;
    const char *const tag = "逐字：在按下的时刻给下一个字打上时间";
    const char *const close = "逐字：在按下的时刻结束这一行，转到下一行";
    const char *const nudge = "逐字：当前字的时间 −/+ 0.1 秒";
    const char *const fineNudge = "逐字：当前字的时间 −/+ 0.01 秒";
    static const QList<Key> table{
        {Qt::Key_Space, None, Command::Tag, false, "空格", tag},
        {Qt::Key_Space, Shift, Command::Tag, false, "空格", tag},
        {Qt::Key_Return, None, Command::Close, false, "回车", close},
        {Qt::Key_Enter, None, Command::Close, false, "回车", close},
        {Qt::Key_Backspace, None, Command::StepBack, false, "退格", "逐字：退回一个字，从它前面重听"},
        {Qt::Key_Left, Alt, Command::NudgeEarlier, true, "Alt+←", nudge},
        {Qt::Key_Right, Alt, Command::NudgeLater, true, "Alt+→", nudge},
        {Qt::Key_Left, Alt | Shift, Command::FineNudgeEarlier, true, "Alt+Shift+←", fineNudge},
        {Qt::Key_Right, Alt | Shift, Command::FineNudgeLater, true, "Alt+Shift+→", fineNudge},
        {Qt::Key_S, None, Command::Snap, false, "S", "逐字：把这一行的逐字时间吸附到附近的声音起点"},
        {Qt::Key_C, None, Command::CorrectDelay, false, "C", "逐字：所有逐字时间去掉平均的按键延迟"},
        {Qt::Key_M, None, Command::Merge, false, "M", "逐字：把下一个字和它后面的字合并为一个字词"},
        {Qt::Key_M, Shift, Command::Split, false, "Shift+M", "逐字：把下一个字词拆开"},
        {Qt::Key_W, None, Command::Ignore, false, "W", "逐字打轴：当前行逐字打时间"},
        {Qt::Key_Up, None, Command::Ignore, false, "↑", ""},
        {Qt::Key_Down, None, Command::Ignore, false, "↓", ""},
        {Qt::Key_A, None, Command::Ignore, false, "A", ""},
        {Qt::Key_Escape, None, Command::Leave, false, "Esc", "逐字：回到按行打轴"},
    };
    return table;
}

WordTapping::WordTapping(QPlainTextEdit *editor, LyricsDocument *lyrics, MediaEngine *engine, TapMode *tapMode,
                         QObject *parent)
    : QObject(parent), m_editor(editor), m_lyrics(lyrics), m_engine(engine), m_tapMode(tapMode)
{
    // Installed after tap mode's filter, so it sees the keys first.
    m_watchedEditor = editor;
    editor->installEventFilter(this);
    tapMode->setWordTapping(this);
    connect(tapMode, &TapMode::activeChanged, this, [this](bool on) {
        if (!on)
            stop();
    });
    connect(lyrics, &LyricsDocument::changed, this, [this](const LinesChange &change) {
        if (!isActive() || m_writing)
            return;
        if (m_line > change.last && change.linesAdded != 0)
            m_line += change.linesAdded;
        if (m_line < 0 || m_line >= m_lyrics->lineCount() || !m_lyrics->isLyricLine(m_line)) {
            stop();
            return;
        }
        resync();
    });
}

void WordTapping::setAnalysis(SongAnalysis *analysis)
{
    m_analysis = analysis;
}

bool WordTapping::start(int line)
{
    if (!m_lyrics)
        return false;
    line = m_lyrics->nextLyricLine(std::max(line, 0));
    if (line < 0)
        return false;
    m_line = line;
    m_held.clear();
    m_units.clear(); // cut afresh from this line
    resync();
    // A line tapped or guessed before is tapped again from its first unit.
    m_next = 0;
    Q_EMIT changed();
    if (m_tapMode && m_tapMode->tapper())
        m_tapMode->tapper()->setCurrentLine(line);
    if (const auto tag = m_lyrics->firstTagMs(line))
        seekPlay(double(*tag) / 1000.0 - PreRollSeconds);
    return true;
}

void WordTapping::stop()
{
    if (m_line < 0)
        return;
    m_line = -1;
    m_units.clear();
    m_at.clear();
    m_next = 0;
    Q_EMIT changed();
}

void WordTapping::resync()
{
    // The units are cut from the line's sung text; the tags already in the
    // line say how far it has been tapped (an end tag: all of it).
    const QString sung = m_lyrics->lyricText(m_line);
    if (sung != m_sung || m_units.isEmpty()) {
        m_sung = sung;
        m_units = tappingUnits(m_lyrics->text(m_line), m_lyrics->line(m_line));
        placeUnits();
    }
    const QList<qint64> times = currentTimes();
    for (int i = 0; i < m_units.size(); ++i)
        m_units[i].ms = i < times.size() ? times[i] : -1;
    m_next = int(std::min<qsizetype>(times.size(), m_units.size()));
    Q_EMIT changed();
}

void WordTapping::placeUnits()
{
    m_at.clear();
    qsizetype at = 0;
    for (const WordUnit &unit : m_units) {
        m_at << at;
        at += unit.text.size();
    }
}

void WordTapping::mergeNext()
{
    // Only units still to tap: the text is not touched, the merge shows
    // in the word tags once the unit is tapped.
    if (!mergeUnits(m_units, m_next)) {
        Q_EMIT notice(QStringLiteral("后面没有可以合并的字"));
        return;
    }
    placeUnits();
    Q_EMIT changed();
    Q_EMIT notice(QStringLiteral("合并为一个字词：%1").arg(m_units[m_next].text.trimmed()));
}

void WordTapping::splitNext()
{
    const qsizetype before = m_units.size();
    if (!splitUnit(m_units, m_next)) {
        Q_EMIT notice(QStringLiteral("这个字词不能再拆开"));
        return;
    }
    placeUnits();
    QStringList pieces;
    for (qsizetype i = m_next; i < m_next + m_units.size() - before + 1; ++i)
        pieces << m_units[i].text.trimmed();
    Q_EMIT changed();
    Q_EMIT notice(QStringLiteral("拆开为：%1").arg(pieces.join(QStringLiteral("  "))));
}

QList<qint64> WordTapping::currentTimes() const
{
    // The word tags before the end tag, when they stand where the units do.
    QList<qint64> times;
    const LrcLine &parsed = m_lyrics->line(m_line);
    const QString text = m_lyrics->text(m_line);
    qsizetype removed = 0; // tag characters before the place in the sung text
    for (const WordTag &word : parsed.words) {
        const qsizetype at = word.start - parsed.textStart - removed;
        removed += word.length;
        if (times.size() >= m_at.size() || at != m_at[times.size()])
            break; // the end tag, or tags cut otherwise than the units
        times << word.ms;
    }
    return times;
}

QString WordTapping::displayText() const
{
    QStringList parts;
    for (int i = 0; i < m_units.size(); ++i) {
        const QString unit = m_units[i].text.trimmed();
        parts << (i == m_next ? QStringLiteral("[") + unit + QStringLiteral("]") : unit);
    }
    return parts.join(QStringLiteral("  "));
}

const WordTapping::Key *WordTapping::keyFor(const QKeyEvent *event)
{
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    for (const Key &key : keys()) {
        if (key.key == event->key() && key.modifiers == mods)
            return &key;
    }
    return nullptr;
}

bool WordTapping::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_watchedEditor || !isActive())
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        if (keyFor(static_cast<QKeyEvent *>(event))) {
            event->accept();
            return true;
        }
        return false;
    case QEvent::KeyPress: {
        auto *press = static_cast<QKeyEvent *>(event);
        const Key *key = keyFor(press);
        if (!key)
            return false; // tap mode's
        if (m_held.press(press) || key->repeats)
            run(key->command, press);
        return true;
    }
    case QEvent::KeyRelease:
        m_held.release(static_cast<QKeyEvent *>(event));
        return false; // tap mode follows its keys too
    case QEvent::FocusOut:
        m_held.clear();
        return false;
    default:
        return false;
    }
}

std::optional<qint64> WordTapping::pressMs(const QKeyEvent *press)
{
    if (!m_engine || m_engine->state() == MediaEngine::State::Empty)
        return std::nullopt;
    const auto position = press ? positionAtEvent(*m_engine, press) : m_engine->position();
    if (!position)
        return std::nullopt;
    return toMs(*position);
}

void WordTapping::run(Command command, const QKeyEvent *press)
{
    switch (command) {
    case Command::Tag:
    case Command::Close:
        if (const auto ms = pressMs(press)) {
            if (command == Command::Tag && m_next < m_units.size()) {
                tagNext(*ms);
            } else {
                // Once the line is done, a tap is the next line's first unit.
                const int closing = m_line;
                close(*ms);
                if (command == Command::Tag && m_line != closing)
                    tagNext(*ms);
            }
        } else {
            QApplication::beep();
        }
        break;
    case Command::StepBack:
        stepBack();
        break;
    case Command::NudgeEarlier:
    case Command::NudgeLater:
        nudge(command == Command::NudgeLater ? NudgeMs : -NudgeMs);
        break;
    case Command::FineNudgeEarlier:
    case Command::FineNudgeLater:
        nudge(command == Command::FineNudgeLater ? FineNudgeMs : -FineNudgeMs);
        break;
    case Command::Snap:
        snap();
        break;
    case Command::CorrectDelay:
        correctDelay();
        break;
    case Command::Merge:
        mergeNext();
        break;
    case Command::Split:
        splitNext();
        break;
    case Command::Ignore:
        break;
    case Command::Leave:
        stop();
        break;
    }
}

bool WordTapping::writeWords(const QList<qint64> &times, std::optional<qint64> endMs, bool lineTagToo)
{
    QList<WordTime> words;
    for (int i = 0; i < times.size() && i < m_at.size(); ++i)
        words.append({m_at[i], times[i]});
    const QScopedValueRollback writing(m_writing, true);
    bool changed = false;
    {
        const OneStep step(m_lyrics->textDocument());
        // The word tags first: a line tag put in front of the text moves
        // where the sung text starts.
        changed |= m_lyrics->setWordTags(m_line, words, endMs, TagOrigin::User);
        if (lineTagToo && !times.isEmpty())
            changed |= m_lyrics->setLineTag(m_line, times.first());
    }
    return changed;
}

void WordTapping::tagNext(qint64 ms)
{
    QList<qint64> times = currentTimes().mid(0, m_next);
    // A press before the unit tagged last (a fumble) still goes after it.
    if (!times.isEmpty())
        ms = std::max(ms, times.last());
    times << ms;
    writeWords(times, std::nullopt, times.size() == 1);
    resync();
}

void WordTapping::close(qint64 ms)
{
    QList<qint64> times = currentTimes().mid(0, m_next);
    if (times.isEmpty()) {
        QApplication::beep();
        return;
    }
    writeWords(times, std::max(ms, times.last()), false);
    // On to the next lyric line, still word by word; the song plays on.
    const int next = m_lyrics->nextLyricLine(m_line + 1);
    if (next < 0) {
        resync();
        return;
    }
    m_line = next;
    m_units.clear();
    resync();
    // The caret goes along, as after a line tap: a click on the line just
    // closed picks it again.
    if (m_tapMode && m_tapMode->tapper()) {
        m_tapMode->tapper()->setCurrentLine(next);
        m_tapMode->showCurrentLine();
    }
}

void WordTapping::stepBack()
{
    QList<qint64> times = currentTimes().mid(0, m_next);
    if (times.isEmpty()) {
        if (const auto tag = m_lyrics->firstTagMs(m_line))
            seekPlay(double(*tag) / 1000.0 - PreRollSeconds);
        return;
    }
    const qint64 removed = times.takeLast();
    writeWords(times, std::nullopt, false);
    resync();
    seekPlay(double(removed) / 1000.0 - BackRollSeconds);
}

void WordTapping::nudge(qint64 deltaMs)
{
    QList<qint64> times = currentTimes().mid(0, m_next);
    if (times.isEmpty())
        return;
    const LrcLine &parsed = m_lyrics->line(m_line);
    const bool closed = parsed.words.size() > times.size();
    std::optional<qint64> endMs;
    if (closed)
        endMs = parsed.words.last().ms;
    // The unit stays between its neighbours.
    const int i = int(times.size()) - 1;
    qint64 ms = std::max<qint64>(0, times[i] + deltaMs);
    if (i > 0)
        ms = std::max(ms, times[i - 1]);
    if (endMs)
        ms = std::min(ms, *endMs);
    times[i] = ms;
    writeWords(times, endMs, i == 0);
    resync();
    if (m_engine && m_engine->state() == MediaEngine::State::Playing)
        seekPlay(double(ms) / 1000.0 - BackRollSeconds);
}

void WordTapping::snap()
{
    const TimingCurves curves = m_analysis ? m_analysis->curves() : TimingCurves{};
    if (curves.timing.empty()) {
        Q_EMIT notice(QStringLiteral("歌曲还没有分析完，无法吸附"));
        return;
    }
    QList<qint64> times = currentTimes().mid(0, m_next);
    if (times.isEmpty())
        return;
    const LrcLine &parsed = m_lyrics->line(m_line);
    std::optional<qint64> endMs;
    if (parsed.words.size() > times.size())
        endMs = parsed.words.last().ms;
    int moved = 0;
    for (int i = 0; i < times.size(); ++i) {
        const auto to = snapWordTime(curves.timing, double(times[i]) / 1000.0);
        if (!to)
            continue;
        qint64 ms = toMs(*to);
        if (i > 0)
            ms = std::max(ms, times[i - 1]);
        if (ms != times[i])
            ++moved;
        times[i] = ms;
    }
    for (int i = int(times.size()) - 2; i >= 0; --i)
        times[i] = std::min(times[i], times[i + 1]);
    if (endMs)
        endMs = std::max(*endMs, times.last());
    writeWords(times, endMs, true);
    resync();
    Q_EMIT notice(moved ? QStringLiteral("吸附了 %1 个字").arg(moved) : QStringLiteral("附近没有更清楚的声音起点"));
}

void WordTapping::correctDelay()
{
    const TimingCurves curves = m_analysis ? m_analysis->curves() : TimingCurves{};
    if (curves.timing.empty()) {
        Q_EMIT notice(QStringLiteral("歌曲还没有分析完，无法校正"));
        return;
    }
    // Every word tag but the end tags, of every line.
    std::vector<double> taps;
    QList<int> lines;
    for (int line : m_lyrics->lyricLines()) {
        const WordLine words = readWordLine(m_lyrics->text(line), m_lyrics->line(line));
        bool any = false;
        for (const WordUnit &unit : words.units) {
            if (unit.ms >= 0) {
                taps.push_back(double(unit.ms) / 1000.0);
                any = true;
            }
        }
        if (any)
            lines << line;
    }
    const DelayEstimate estimate = estimateDelay(taps, curves);
    if (estimate.outcome != DelayEstimate::Outcome::Clear) {
        Q_EMIT notice(QStringLiteral("没有找到明确的按键延迟，逐字时间不变"));
        return;
    }
    const qint64 delta = -toMs(estimate.delay);
    const QScopedValueRollback writing(m_writing, true);
    {
        const OneStep step(m_lyrics->textDocument());
        for (int line : lines) {
            const LrcLine parsed = m_lyrics->line(line);
            const QString text = m_lyrics->text(line);
            const QString sung = m_lyrics->lyricText(line);
            QList<WordTime> words;
            std::optional<qint64> endMs;
            qsizetype removed = 0;
            for (const WordTag &word : parsed.words) {
                const qsizetype at = word.start - parsed.textStart - removed;
                removed += word.length;
                const qint64 ms = std::max<qint64>(0, word.ms + delta);
                if (at >= sung.size() && &word == &parsed.words.last())
                    endMs = ms;
                else
                    words.append({at, ms});
            }
            const bool lineTagToo = !words.isEmpty() && m_lyrics->firstTagMs(line) == parsed.words.first().ms;
            m_lyrics->setWordTags(line, words, endMs, TagOrigin::User);
            if (lineTagToo)
                m_lyrics->setLineTag(line, words.first().ms);
        }
    }
    resync();
    Q_EMIT notice(QStringLiteral("逐字时间整体提前了 %1 毫秒（按键延迟）").arg(-delta));
}

void WordTapping::seekPlay(double seconds)
{
    if (!m_engine || m_engine->state() == MediaEngine::State::Empty)
        return;
    double target = std::max(0.0, seconds);
    if (m_engine->duration() > 0)
        target = std::min(target, m_engine->duration());
    m_engine->seek(target);
    m_engine->play();
}

} // namespace tarvelin
