#include "document/lyricsdocument.h"

#include "document/undostepend.h"

#include <QAbstractUndoItem>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cmath>
#include <utility>

namespace tarvelin {

// A line as read, kept in its block: it goes when the block goes, and comes
// with the block when lines are inserted, so no change renumbers anything.
class LineData final : public QTextBlockUserData {
public:
    explicit LineData(LyricsDocument *owner) : owner(owner) {}
    ~LineData() override
    {
        if (owner)
            owner->lineRemoved(*this);
    }

    LyricsDocument *owner;
    LrcLine parsed;
    // The tags the program proposed, by kind and time: a tag whose time the
    // user edits is no longer among them.
    QList<LyricsDocument::Proposal> proposals;
};

// Rides in a timing edit's undo step: undoing or redoing it puts back which
// of the lines' tags were proposed.
class ProposalStep final : public QAbstractUndoItem {
public:
    struct Line {
        int line;
        QList<LyricsDocument::Proposal> before, after;
    };
    // `announce`: the step changes no text, so no reading of the text tells
    // about it; it says so itself.
    ProposalStep(LyricsDocument *owner, QList<Line> lines, bool announce)
        : m_owner(owner), m_lines(std::move(lines)), m_announce(announce) {}
    void undo() override { apply(&Line::before); }
    void redo() override { apply(&Line::after); }

private:
    void apply(QList<LyricsDocument::Proposal> Line::*which)
    {
        if (!m_owner)
            return;
        for (const Line &line : m_lines)
            m_owner->setProposals(line.line, line.*which, m_announce);
    }
    QPointer<LyricsDocument> m_owner;
    QList<Line> m_lines;
    bool m_announce;
};

namespace {

const LrcLine NoLine;

QList<qint64> tagTimes(const QList<TimeTag> &tags)
{
    QList<qint64> times;
    for (const TimeTag &tag : tags)
        times.append(tag.ms);
    return times;
}

QList<qint64> wordTimes(const QList<WordTag> &words)
{
    QList<qint64> times;
    for (const WordTag &word : words)
        times.append(word.ms);
    return times;
}

// Which of the line's tags of a kind are proposed, by index.
QList<bool> proposedFlags(const LineData &line, TagKind kind)
{
    const QList<qint64> times = kind == TagKind::Line ? tagTimes(line.parsed.tags) : wordTimes(line.parsed.words);
    QList<bool> flags;
    for (qint64 ms : times)
        flags.append(line.proposals.contains({kind, ms}));
    return flags;
}

bool sameIds(const QList<IdTag> &a, const QList<IdTag> &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const IdTag &x, const IdTag &y) { return x.key == y.key && x.value == y.value; });
}

// What a reader of the tags sees differently between two readings of a line.
bool tagsDiffer(const LrcLine &a, const LrcLine &b)
{
    const auto sameMs = [](const auto &x, const auto &y) { return x.ms == y.ms; };
    return !std::equal(a.tags.begin(), a.tags.end(), b.tags.begin(), b.tags.end(), sameMs)
        || !std::equal(a.words.begin(), a.words.end(), b.words.begin(), b.words.end(), sameMs)
        || !sameIds(a.ids, b.ids);
}

// The time a tag is written with: cut to the hundredth, not below 0.
qint64 writtenMs(qint64 ms)
{
    return std::max<qint64>(ms, 0) / 10 * 10;
}

// The line with every time tag and word tag t rewritten as retime(t), from
// the last back so the earlier spans stay where they are.
QString retimed(const QString &text, const LrcLine &parsed, const std::function<qint64(qint64)> &retime)
{
    QString result = text;
    for (auto word = parsed.words.crbegin(); word != parsed.words.crend(); ++word)
        result.replace(word->start, word->length, formatWordTag(retime(word->ms)));
    for (auto tag = parsed.tags.crbegin(); tag != parsed.tags.crend(); ++tag)
        result.replace(tag->start, tag->length, formatTimeTag(retime(tag->ms)));
    return result;
}

// The word tags go with the time tag their first unit starts at (a line
// tapped word by word): when that tag moves to `ms`, they move by as much,
// so the line's word timing is kept. Word tags after any other tag of a
// repeated line stay. Rewrites only the word tags of `text`, which stand
// after every time tag. The text is read afresh: within a caller's edit
// block the line's reading may not have caught up with its text yet.
void moveWordsWith(QString &text, int tag, qint64 ms)
{
    const LrcLine parsed = parseLrcLine(text);
    if (tag >= parsed.tags.size() || parsed.words.isEmpty() || parsed.words.first().ms != parsed.tags[tag].ms)
        return;
    const qint64 delta = writtenMs(ms) - parsed.tags[tag].ms;
    for (auto word = parsed.words.crbegin(); delta != 0 && word != parsed.words.crend(); ++word)
        text.replace(word->start, word->length, formatWordTag(std::max<qint64>(word->ms + delta, 0)));
}

// How many characters `old` and `text` share at their start (head) and, in
// what is left, at their end (tail).
std::pair<qsizetype, qsizetype> sharedEnds(const QString &old, const QString &text)
{
    qsizetype head = 0;
    while (head < old.size() && head < text.size() && old[head] == text[head])
        ++head;
    qsizetype tail = 0;
    while (tail < old.size() - head && tail < text.size() - head
           && old[old.size() - 1 - tail] == text[text.size() - 1 - tail])
        ++tail;
    return {head, tail};
}

// Replaces the part of a block that differs from `text`: the common start
// and end stay, and with them any cursor outside the change.
void rewriteBlock(QTextCursor &cursor, const QTextBlock &block, const QString &text)
{
    const QString old = block.text();
    const auto [head, tail] = sharedEnds(old, text);
    cursor.setPosition(block.position() + int(head));
    cursor.setPosition(block.position() + int(old.size() - tail), QTextCursor::KeepAnchor);
    cursor.insertText(text.mid(head, text.size() - head - tail));
}

} // namespace

LyricsDocument::LyricsDocument(QTextDocument *document, QObject *parent)
    : QObject(parent), m_document(document)
{
    if (!document)
        return;
    // A document tells about changes only once it has a layout; an editor's
    // has its own, a bare one gets the default.
    document->documentLayout();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        readBlock(block);
    m_orphans.clear();
    m_lineCount = document->blockCount();
    connect(document, &QTextDocument::contentsChange, this, &LyricsDocument::onContentsChange);
}

LyricsDocument::~LyricsDocument()
{
    if (!m_document)
        return;
    m_detaching = true;
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
        if (data(block))
            block.setUserData(nullptr);
    }
}

LineData *LyricsDocument::data(const QTextBlock &block) const
{
    auto *data = dynamic_cast<LineData *>(block.userData());
    return data && data->owner == this ? data : nullptr;
}

LineData *LyricsDocument::data(int line) const
{
    return m_document ? data(m_document->findBlockByNumber(line)) : nullptr;
}

LyricsDocument::LineToEdit LyricsDocument::lineToEdit(int line) const
{
    if (!m_document)
        return {};
    const QTextBlock block = m_document->findBlockByNumber(line);
    const LineData *d = data(block);
    return {d, block, d ? block.text() : QString()};
}

void LyricsDocument::lineRemoved(const LineData &data)
{
    if (m_detaching)
        return;
    if (!data.parsed.tags.isEmpty() || !data.parsed.words.isEmpty() || !data.proposals.isEmpty())
        m_removedTags = m_timelineStale = true;
    if (!data.parsed.ids.isEmpty())
        m_removedTags = m_idsStale = m_timelineStale = true;
    m_orphans.append(data.proposals);
}

bool LyricsDocument::readBlock(QTextBlock block)
{
    LrcLine parsed = parseLrcLine(block.text());
    LineData *line = data(block);
    if (!line) {
        line = new LineData(this);
        block.setUserData(line);
    }
    const bool differ = tagsDiffer(line->parsed, parsed);
    if (differ && (!line->parsed.ids.isEmpty() || !parsed.ids.isEmpty()))
        m_idsStale = m_timelineStale = true; // the offset may have changed
    else if (differ)
        moveOnTimeline(block, line->parsed.tags, parsed.tags);
    line->parsed = std::move(parsed);
    // A proposed tag the user edited is proposed no more; one that went to
    // another line (Enter before it) may be found there.
    const qsizetype proposals = line->proposals.size();
    line->proposals.removeIf([&](const Proposal &p) {
        if (hasTag(line->parsed, p))
            return false;
        m_orphans.append(p);
        return true;
    });
    return differ || proposals != line->proposals.size();
}

bool LyricsDocument::hasTag(const LrcLine &line, const Proposal &proposal)
{
    const auto same = [&](const auto &tag) { return tag.ms == proposal.ms; };
    return proposal.kind == TagKind::Line ? std::any_of(line.tags.begin(), line.tags.end(), same)
                                          : std::any_of(line.words.begin(), line.words.end(), same);
}

void LyricsDocument::onContentsChange(int from, int /*removed*/, int added)
{
    const int end = std::min(from + added, m_document->characterCount() - 1);
    QTextBlock block = m_document->findBlock(from);
    const QTextBlock last = m_document->findBlock(end);
    LinesChange change;
    change.first = block.blockNumber();
    change.last = last.blockNumber();
    change.linesAdded = m_document->blockCount() - m_lineCount;
    m_lineCount = m_document->blockCount();
    change.tagsChanged = std::exchange(m_removedTags, false);
    m_timelineMoves = MaxTimelineMoves;
    for (; block.isValid(); block = block.next()) {
        change.tagsChanged |= readBlock(block);
        if (block == last)
            break;
    }
    // Proposed tags of lines split, joined or moved by this change stay
    // proposed where their tags went.
    for (block = m_document->findBlock(from); !m_orphans.isEmpty() && block.isValid(); block = block.next()) {
        LineData *line = data(block);
        m_orphans.removeIf([&](const Proposal &p) {
            if (!hasTag(line->parsed, p) || line->proposals.contains(p))
                return false;
            line->proposals.append(p);
            return true;
        });
        if (block == last)
            break;
    }
    m_orphans.clear();
    Q_EMIT changed(change);
}

// --- Lines ----------------------------------------------------------------

int LyricsDocument::lineCount() const
{
    return m_document ? m_document->blockCount() : 0;
}

QString LyricsDocument::text(int line) const
{
    return m_document ? m_document->findBlockByNumber(line).text() : QString();
}

QStringList LyricsDocument::lines() const
{
    QStringList all;
    if (!m_document)
        return all;
    all.reserve(m_document->blockCount());
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next())
        all.append(block.text());
    return all;
}

const LrcLine &LyricsDocument::line(int line) const
{
    const LineData *d = data(line);
    return d ? d->parsed : NoLine;
}

bool LyricsDocument::hasRepeatedLines() const
{
    for (QTextBlock block = m_document ? m_document->begin() : QTextBlock(); block.isValid(); block = block.next()) {
        if (const LineData *d = data(block); d && d->parsed.tags.size() > 1)
            return true;
    }
    return false;
}

bool LyricsDocument::isLyricLine(int line) const
{
    return this->line(line).kind == LrcLine::Kind::Lyric;
}

QString LyricsDocument::lyricText(int line) const
{
    const LrcLine &parsed = this->line(line);
    return parsed.kind == LrcLine::Kind::Lyric ? tarvelin::lyricText(text(line), parsed) : QString();
}

std::optional<qint64> LyricsDocument::firstTagMs(int line) const
{
    const LrcLine &parsed = this->line(line);
    if (parsed.tags.isEmpty())
        return std::nullopt;
    return parsed.tags.first().ms;
}

int LyricsDocument::nextLyricLine(int from) const
{
    if (!m_document || from < 0)
        return -1;
    for (QTextBlock block = m_document->findBlockByNumber(from); block.isValid(); block = block.next()) {
        if (const LineData *d = data(block); d && d->parsed.kind == LrcLine::Kind::Lyric)
            return block.blockNumber();
    }
    return -1;
}

int LyricsDocument::previousLyricLine(int from) const
{
    if (!m_document || from < 0)
        return -1;
    for (QTextBlock block = m_document->findBlockByNumber(from); block.isValid(); block = block.previous()) {
        if (const LineData *d = data(block); d && d->parsed.kind == LrcLine::Kind::Lyric)
            return block.blockNumber();
    }
    return -1;
}

QList<int> LyricsDocument::lyricLines() const
{
    QList<int> lines;
    if (!m_document)
        return lines;
    int number = 0;
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next(), ++number) {
        if (const LineData *d = data(block); d && d->parsed.kind == LrcLine::Kind::Lyric)
            lines.append(number);
    }
    return lines;
}

// --- Confirmation -----------------------------------------------------------

bool LyricsDocument::isConfirmed(int line, TagKind kind, int index) const
{
    const LineData *d = data(line);
    if (!d)
        return true;
    const QList<qint64> times = kind == TagKind::Line ? tagTimes(d->parsed.tags) : wordTimes(d->parsed.words);
    return index < 0 || index >= times.size() || !d->proposals.contains(Proposal{kind, times[index]});
}

bool LyricsDocument::hasProposals(int line) const
{
    const LineData *d = data(line);
    return d && !d->proposals.isEmpty();
}

bool LyricsDocument::acceptProposals(int line)
{
    LineData *d = data(line);
    if (!d || d->proposals.isEmpty())
        return false;
    const bool modified = m_document->isModified();
    QTextCursor cursor(m_document);
    cursor.beginEditBlock();
    m_document->appendUndoItem(new ProposalStep(this, {{line, d->proposals, {}}}, true));
    setProposals(line, {}, true);
    cursor.endEditBlock();
    m_document->setModified(modified);
    return true;
}

void LyricsDocument::setProposals(int line, const QList<Proposal> &proposals, bool announce)
{
    LineData *d = data(line);
    if (!d || d->proposals == proposals)
        return;
    d->proposals = proposals;
    if (announce)
        Q_EMIT changed({line, line, 0, true});
}

QList<LyricsDocument::Proposal> LyricsDocument::proposalsFor(const LrcLine &parsed, const QList<bool> &lineFlags,
                                                             const QList<bool> &wordFlags)
{
    QList<Proposal> proposals;
    for (int i = 0; i < parsed.tags.size() && i < lineFlags.size(); ++i) {
        if (lineFlags[i])
            proposals.append({TagKind::Line, parsed.tags[i].ms});
    }
    for (int i = 0; i < parsed.words.size() && i < wordFlags.size(); ++i) {
        if (wordFlags[i])
            proposals.append({TagKind::Word, parsed.words[i].ms});
    }
    return proposals;
}

// --- ID tags and the timeline -------------------------------------------

const QList<LyricsDocument::IdItem> &LyricsDocument::idItems() const
{
    if (!m_document)
        m_ids.clear();
    if (!m_idsStale || !m_document)
        return m_ids;
    m_idsStale = false;
    m_ids.clear();
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
        if (const LineData *d = data(block)) {
            for (const IdTag &id : d->parsed.ids)
                m_ids.append({block, id});
        }
    }
    return m_ids;
}

IdTagLookup LyricsDocument::idTag(QStringView key) const
{
    using State = IdTagLookup::State;
    for (const IdItem &item : idItems()) {
        if (item.id.key.compare(key, Qt::CaseInsensitive) != 0)
            continue;
        IdTagLookup found;
        found.value = item.id.value.trimmed();
        found.line = item.block.blockNumber();
        // As the line parser read it: [offset:] and [length:] have a form.
        switch (item.id.state) {
        case IdTag::Value::Empty:
            found.state = State::Empty;
            break;
        case IdTag::Value::Malformed:
            found.state = State::Malformed;
            break;
        case IdTag::Value::Usable:
            found.state = State::Set;
            break;
        }
        return found;
    }
    return {};
}

qint64 LyricsDocument::offsetMs() const
{
    const IdTagLookup offset = idTag(u"offset");
    return offset.state == IdTagLookup::State::Set ? *offsetValue(offset.value) : 0;
}

void LyricsDocument::moveOnTimeline(const QTextBlock &block, const QList<TimeTag> &before, const QList<TimeTag> &after)
{
    // Many lines changed at once (an import, shift all): one rebuild is
    // cheaper than moving each line's entries.
    if (m_timelineStale || m_timelineMoves-- <= 0) {
        m_timelineStale = true;
        return;
    }
    const auto earlier = [](const TimelineItem &e, qint64 ms) { return e.ms < ms; };
    const auto shownAt = [this](qint64 ms) { return std::max<qint64>(ms - m_timelineOffset, 0); };
    for (int i = 0; i < before.size(); ++i) {
        auto it = std::lower_bound(m_timeline.begin(), m_timeline.end(), shownAt(before[i].ms), earlier);
        while (it != m_timeline.end() && !(it->block == block && it->tag == i))
            ++it;
        if (it == m_timeline.end()) { // cannot happen while the timeline is up to date
            m_timelineStale = true;
            return;
        }
        m_timeline.erase(it);
    }
    const int line = block.blockNumber();
    for (int i = 0; i < after.size(); ++i) {
        const qint64 ms = shownAt(after[i].ms);
        auto it = std::lower_bound(m_timeline.begin(), m_timeline.end(), ms, earlier);
        while (it != m_timeline.end() && it->ms == ms && it->block.blockNumber() < line)
            ++it;
        m_timeline.insert(it, {ms, block, i});
    }
}

const QList<LyricsDocument::TimelineItem> &LyricsDocument::timelineItems() const
{
    if (!m_document)
        m_timeline.clear();
    if (!m_timelineStale || !m_document)
        return m_timeline;
    const qint64 offset = offsetMs();
    m_timelineOffset = offset;
    m_timelineStale = false;
    m_timeline.clear();
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
        const LineData *d = data(block);
        for (int i = 0; d && i < d->parsed.tags.size(); ++i)
            m_timeline.append({std::max<qint64>(d->parsed.tags[i].ms - offset, 0), block, i});
    }
    // Blocks never change places, so entries in text order stay in line
    // order however many lines come and go above them.
    const auto earlier = [](const TimelineItem &a, const TimelineItem &b) { return a.ms < b.ms; };
    if (!std::is_sorted(m_timeline.begin(), m_timeline.end(), earlier))
        std::stable_sort(m_timeline.begin(), m_timeline.end(), earlier);
    return m_timeline;
}

QList<TimelineEntry> LyricsDocument::timeline(qint64 fromMs, qint64 toMs) const
{
    const QList<TimelineItem> &items = timelineItems();
    const auto begin = std::lower_bound(items.begin(), items.end(), fromMs,
                                        [](const TimelineItem &e, qint64 ms) { return e.ms < ms; });
    QList<TimelineEntry> entries;
    for (auto it = begin; it != items.end() && it->ms <= toMs; ++it)
        entries.append({it->ms, it->block.blockNumber(), it->tag});
    return entries;
}

LiveLines LyricsDocument::liveAt(double seconds) const
{
    const QList<TimelineItem> &items = timelineItems();
    const qint64 ms = msFromSeconds(seconds);
    const auto after = std::upper_bound(items.begin(), items.end(), ms,
                                        [](qint64 value, const TimelineItem &e) { return value < e.ms; });
    LiveLines live;
    if (after != items.begin())
        live.current = std::prev(after)->block.blockNumber();
    if (after != items.end())
        live.next = after->block.blockNumber();
    return live;
}

// --- Timing edits -----------------------------------------------------------

bool LyricsDocument::applyEdits(const QList<LineEdit> &edits)
{
    QList<ProposalStep::Line> proposalLines;
    QList<const LineEdit *> textEdits;
    for (const LineEdit &edit : edits) {
        const LineData *d = data(edit.block);
        if (!d)
            continue;
        if (edit.text != edit.block.text())
            textEdits.append(&edit);
        if (edit.proposals != d->proposals)
            proposalLines.append({edit.block.blockNumber(), d->proposals, edit.proposals});
    }
    if (textEdits.isEmpty() && proposalLines.isEmpty())
        return false;
    const bool modified = m_document->isModified();
    QTextCursor cursor(m_document);
    cursor.beginEditBlock();
    for (const LineEdit *edit : textEdits)
        rewriteBlock(cursor, edit->block, edit->text);
    if (!proposalLines.isEmpty()) {
        for (const ProposalStep::Line &line : proposalLines)
            setProposals(line.line, line.after, textEdits.isEmpty());
        m_document->appendUndoItem(new ProposalStep(this, std::move(proposalLines), textEdits.isEmpty()));
    }
    m_document->appendUndoItem(new UndoStepEnd);
    cursor.endEditBlock();
    if (textEdits.isEmpty())
        m_document->setModified(modified);
    return true;
}

bool LyricsDocument::setLineTag(int line, qint64 ms, TagOrigin origin)
{
    auto [d, block, text] = lineToEdit(line);
    if (!d)
        return false;
    QList<bool> lineFlags = proposedFlags(*d, TagKind::Line);
    const QString tag = formatTimeTag(writtenMs(ms));
    if (d->parsed.tags.isEmpty()) {
        text.prepend(tag);
        lineFlags.prepend(origin == TagOrigin::Proposed);
    } else {
        moveWordsWith(text, 0, ms);
        text.replace(d->parsed.tags.first().start, d->parsed.tags.first().length, tag);
        lineFlags[0] = origin == TagOrigin::Proposed;
    }
    return applyEdits({{block, text, proposalsFor(parseLrcLine(text), lineFlags, proposedFlags(*d, TagKind::Word))}});
}

bool LyricsDocument::setTagTime(int line, int tag, qint64 ms, TagOrigin origin)
{
    auto [d, block, text] = lineToEdit(line);
    if (!d || tag < 0 || tag >= d->parsed.tags.size())
        return false;
    moveWordsWith(text, tag, ms);
    text.replace(d->parsed.tags[tag].start, d->parsed.tags[tag].length, formatTimeTag(writtenMs(ms)));
    QList<bool> lineFlags = proposedFlags(*d, TagKind::Line);
    lineFlags[tag] = origin == TagOrigin::Proposed;
    return applyEdits({{block, text, proposalsFor(parseLrcLine(text), lineFlags, proposedFlags(*d, TagKind::Word))}});
}

std::optional<qint64> LyricsDocument::nudgeTag(int line, int tag, qint64 deltaMs)
{
    const LineData *d = data(line);
    if (!d || tag < 0 || tag >= d->parsed.tags.size())
        return std::nullopt;
    const qint64 moved = writtenMs(d->parsed.tags[tag].ms + deltaMs);
    setTagTime(line, tag, moved);
    return moved;
}

bool LyricsDocument::retimeAll(const std::function<qint64(qint64)> &retime)
{
    if (!m_document)
        return false;
    QList<LineEdit> edits;
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
        const LineData *d = data(block);
        if (!d || (d->parsed.tags.isEmpty() && d->parsed.words.isEmpty()))
            continue;
        const QString text = retimed(block.text(), d->parsed, retime);
        edits.append({block, text,
                      proposalsFor(parseLrcLine(text), proposedFlags(*d, TagKind::Line), proposedFlags(*d, TagKind::Word))});
    }
    return applyEdits(edits);
}

bool LyricsDocument::shiftAllTags(qint64 deltaMs)
{
    // Keeps the sum far from overflowing; a shift of a year is already absurd.
    constexpr qint64 maxShift = qint64(1) << 40;
    deltaMs = std::clamp(deltaMs, -maxShift, maxShift);
    return retimeAll([deltaMs](qint64 ms) { return ms + deltaMs; });
}

bool LyricsDocument::mapAllTags(double speed, qint64 offsetMs)
{
    if (!std::isfinite(speed) || speed <= 0)
        return false;
    static constexpr double maxMs = double(qint64(1) << 40);
    return retimeAll([speed, offsetMs](qint64 ms) {
        return std::llround(std::clamp(double(ms) * speed + double(offsetMs), 0.0, maxMs));
    });
}

bool LyricsDocument::setWordTags(int line, const QList<WordTime> &words, std::optional<qint64> endMs,
                                 TagOrigin origin)
{
    auto [d, block, old] = lineToEdit(line);
    if (!d)
        return false;
    const QString sung = tarvelin::lyricText(old, d->parsed);
    QString text = old.left(d->parsed.textStart);
    qsizetype from = 0;
    for (const WordTime &word : words) {
        if (word.at < from || word.at > sung.size())
            return false;
        text += sung.mid(from, word.at - from) + formatWordTag(writtenMs(word.ms));
        from = word.at;
    }
    text += sung.mid(from);
    if (endMs)
        text += formatWordTag(writtenMs(*endMs));
    const QList<bool> wordFlags(words.size() + (endMs ? 1 : 0), origin == TagOrigin::Proposed);
    return applyEdits({{block, text, proposalsFor(parseLrcLine(text), proposedFlags(*d, TagKind::Line), wordFlags)}});
}

bool LyricsDocument::setWordTagTime(int line, int word, qint64 ms, std::optional<int> lineTag)
{
    auto [d, block, text] = lineToEdit(line);
    if (!d || word < 0 || word >= d->parsed.words.size())
        return false;
    if (lineTag && (*lineTag < 0 || *lineTag >= d->parsed.tags.size()))
        return false;
    QList<bool> lineFlags = proposedFlags(*d, TagKind::Line);
    QList<bool> wordFlags = proposedFlags(*d, TagKind::Word);
    // A tag dropped where it was keeps its form ("<00:12.345>" is not cut).
    const WordTag &tag = d->parsed.words[word];
    if (ms != tag.ms)
        text.replace(tag.start, tag.length, formatWordTag(writtenMs(ms)));
    wordFlags[word] = false;
    if (lineTag) {
        const TimeTag &first = d->parsed.tags[*lineTag];
        if (ms != first.ms)
            text.replace(first.start, first.length, formatTimeTag(writtenMs(ms)));
        lineFlags[*lineTag] = false;
    }
    return applyEdits({{block, text, proposalsFor(parseLrcLine(text), lineFlags, wordFlags)}});
}

bool LyricsDocument::mergeWordUnits(int line, qsizetype from, qsizetype to)
{
    auto [d, block, text] = lineToEdit(line);
    if (!d)
        return false;
    const QList<bool> oldFlags = proposedFlags(*d, TagKind::Word);
    QList<bool> wordFlags;
    QList<const WordTag *> gone;
    qsizetype removed = 0; // tag characters before the place in the sung text
    for (int i = 0; i < d->parsed.words.size(); ++i) {
        const WordTag &word = d->parsed.words[i];
        const qsizetype at = word.start - d->parsed.textStart - removed;
        removed += word.length;
        if (at > from && at < to)
            gone.append(&word);
        else
            wordFlags.append(oldFlags[i]);
    }
    if (gone.isEmpty())
        return false;
    for (auto it = gone.crbegin(); it != gone.crend(); ++it)
        text.remove((*it)->start, (*it)->length);
    return applyEdits({{block, text, proposalsFor(parseLrcLine(text), proposedFlags(*d, TagKind::Line), wordFlags)}});
}

bool LyricsDocument::insertWordTags(int line, QList<WordTime> words, TagOrigin origin)
{
    auto [d, block, text] = lineToEdit(line);
    if (!d || words.isEmpty())
        return false;
    const qsizetype sungSize = tarvelin::lyricText(text, d->parsed).size();
    const QList<WordTag> &old = d->parsed.words;
    const QList<bool> oldFlags = proposedFlags(*d, TagKind::Word);
    QList<qsizetype> places; // where each word tag stands in the sung text
    qsizetype removed = 0;
    for (const WordTag &word : old) {
        places << word.start - d->parsed.textStart - removed;
        removed += word.length;
    }
    std::sort(words.begin(), words.end(), [](const WordTime &a, const WordTime &b) { return a.at < b.at; });
    QList<bool> wordFlags;
    QList<std::pair<qsizetype, QString>> inserts; // column, tag
    qsizetype before = 0;  // the old tags before the place
    qsizetype column = d->parsed.textStart;
    for (const WordTime &word : words) {
        if (word.at < 0 || word.at > sungSize || places.contains(word.at))
            return false;
        for (; before < places.size() && places[before] < word.at; ++before) {
            wordFlags << oldFlags[before];
            column += old[before].length;
        }
        inserts.append({column + word.at, formatWordTag(writtenMs(word.ms))});
        wordFlags << (origin == TagOrigin::Proposed);
    }
    for (; before < places.size(); ++before)
        wordFlags << oldFlags[before];
    for (auto it = inserts.crbegin(); it != inserts.crend(); ++it)
        text.insert(it->first, it->second);
    return applyEdits({{block, text, proposalsFor(parseLrcLine(text), proposedFlags(*d, TagKind::Line), wordFlags)}});
}

bool LyricsDocument::clearWordTags(int line)
{
    return setWordTags(line, {}, std::nullopt, TagOrigin::User);
}

bool LyricsDocument::setLines(const QStringList &lines)
{
    if (!m_document)
        return false;
    // Positions in the joined lines are the document's: one per character,
    // one per line break.
    const QString old = this->lines().join(u'\n');
    const QString text = lines.join(u'\n');
    if (old == text)
        return false;
    const auto [head, tail] = sharedEnds(old, text);
    QTextCursor cursor(m_document);
    cursor.beginEditBlock();
    cursor.setPosition(int(head));
    cursor.setPosition(int(old.size() - tail), QTextCursor::KeepAnchor);
    cursor.insertText(text.mid(head, text.size() - head - tail));
    m_document->appendUndoItem(new UndoStepEnd);
    cursor.endEditBlock();
    return true;
}

} // namespace tarvelin
