#pragma once

// The editor's text read as lyrics lines: each line's time tags, word tags,
// ID tags and text, when each line shows, and which tags the user has
// confirmed; and every timing edit, made as one undo step of the text.
//
// Lines are the text document's blocks, counted from 0. Each block keeps its
// own reading (in its user data), so a change costs the lines it touched, not
// the whole text: typing in a 50 000-line text reads one line again.

#include "core/lrc.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTextBlock>

#include <functional>
#include <limits>
#include <optional>

class QTextDocument;

namespace tarvelin {

class LineData;

enum class TagKind { Line, Word };

// Who set a tag. A tap, a drag or a nudge is the user's; a time the program
// worked out (automatic word times) is proposed until the user accepts it or
// edits the tag.
enum class TagOrigin { User, Proposed };

// What an ID tag lookup found.
struct IdTagLookup {
    enum class State {
        Absent,    // no ID-tag line has the key
        Empty,     // "[ar:]" or "[ar: ]"
        Malformed, // a value that cannot be read: [offset:] that is not a whole number
        Set,
    };
    State state = State::Absent;
    QString value; // trimmed
    int line = -1; // the first line that has the key
};

// A line tag on the timeline: when its line shows, offset applied.
struct TimelineEntry {
    qint64 ms = 0;
    int line = 0;
    int tag = 0; // index among the line's tags
};

// A word tag to write: the unit of sung text at `at` (an index into the
// line's lyricText()) starts at `ms`.
struct WordTime {
    qsizetype at = 0;
    qint64 ms = 0;
};

// What a change touched. Lines first..last (numbered after the change) now
// hold changed text; the lines after them moved by linesAdded (negative when
// lines went away).
struct LinesChange {
    int first = 0;
    int last = -1;
    int linesAdded = 0;
    // Time tags, word tags, ID tags or their confirmation changed: markers,
    // the timeline and the ID tags are to be read again. False for typing
    // in a line's text.
    bool tagsChanged = false;
};

class LyricsDocument : public QObject {
    Q_OBJECT
public:
    // Reads the whole text now, then follows its changes. The document is not
    // owned; its blocks' user data belongs to this model while it lives. A
    // document without a layout gets the default one (so hand a bare
    // document to a QPlainTextEdit before attaching the model, not after).
    explicit LyricsDocument(QTextDocument *document, QObject *parent = nullptr);
    ~LyricsDocument() override;

    QTextDocument *textDocument() const { return m_document; }

    // --- Lines -------------------------------------------------------------
    int lineCount() const;
    QString text(int line) const;
    // Every line's text, in order (for the checks that read the whole text).
    QStringList lines() const;
    // The line as read (see parseLrcLine); a blank line for a line that does
    // not exist. Valid until the text changes.
    const LrcLine &line(int line) const;
    bool isLyricLine(int line) const;
    // What is sung on the line: its text without time tags and word tags.
    QString lyricText(int line) const;
    std::optional<qint64> firstTagMs(int line) const;

    // The first lyric line at `from` or below it / at `from` or above it; -1
    // when there is none. Blank and ID-tag lines are skipped.
    int nextLyricLine(int from) const;
    int previousLyricLine(int from) const;
    QList<int> lyricLines() const;
    // Whether a line carries more than one time tag (a repeated line).
    bool hasRepeatedLines() const;

    // --- Confirmation ------------------------------------------------------
    // Whether tag `index` of the kind on the line was set by the user (true
    // for anything typed or loaded) rather than proposed by the program.
    // Undoing a timing edit puts back what was proposed; a proposed tag the
    // user typed over, or whose line was deleted, comes back confirmed when
    // that typing or deletion is undone.
    bool isConfirmed(int line, TagKind kind, int index) const;
    bool hasProposals(int line) const;
    // The line's proposed tags become the user's: one undo step that changes
    // no text (the document's saved state is kept). False when there were none.
    bool acceptProposals(int line);

    // --- ID tags and the timeline ------------------------------------------
    // The first ID tag with the key (letters, any case) in the text.
    IdTagLookup idTag(QStringView key) const;
    // The [offset:] in milliseconds; 0 when absent or malformed.
    qint64 offsetMs() const;

    // Every line tag by the time its line shows (tag minus offset, not below
    // 0), then by line; a line with several tags is there once per tag.
    // Entries from fromMs up to and including toMs.
    QList<TimelineEntry> timeline(qint64 fromMs = 0, qint64 toMs = std::numeric_limits<qint64>::max()) const;
    // The line showing at a position and the one that shows after it.
    LiveLines liveAt(double seconds) const;

    // --- Timing edits ------------------------------------------------------
    // Each is one undo step that rewrites only the tags' text, so a caret in
    // the line stays in it; nothing changes, and no step is made, when the
    // text would read the same. Times are cut to the hundredth, below 0 read
    // as 0. A caller may wrap an edit in its own edit block (QTextCursor::
    // beginEditBlock) to add undo items of its own to the same step.

    // The tap: the line's first time tag becomes `ms`, or one is put at the
    // start of a line without one; its other tags stay. Here and in
    // setTagTime, word tags whose first unit starts at the moved tag move
    // with it by as much (proposed ones stay proposed).
    bool setLineTag(int line, qint64 ms, TagOrigin origin = TagOrigin::User);
    // Tag `tag` of the line becomes `ms` (a drag, a snap). False if the line
    // has no such tag.
    bool setTagTime(int line, int tag, qint64 ms, TagOrigin origin = TagOrigin::User);
    // Moves tag `tag` of the line by deltaMs; its new time, or nothing if the
    // line has no such tag.
    std::optional<qint64> nudgeTag(int line, int tag, qint64 deltaMs);
    // Every time tag and word tag moved by deltaMs. ID-tag lines, text and
    // malformed tags stay; proposed tags stay proposed.
    bool shiftAllTags(qint64 deltaMs);
    // Every time tag and word tag t becomes t * speed + offsetMs (the text
    // moved onto another recording of the song).
    bool mapAllTags(double speed, qint64 offsetMs);
    // The line's word tags become `words` (in order of place) and, if given,
    // an end tag after the last unit; the old word tags go. False when a
    // place is out of order or outside the sung text.
    bool setWordTags(int line, const QList<WordTime> &words, std::optional<qint64> endMs, TagOrigin origin);
    bool clearWordTags(int line);
    // Word tag `word` of the line becomes `ms` (a drag of its tick), the
    // user's from now on; with `lineTag`, that time tag of the line takes the
    // same time in the same step (the first unit starts the line). False if
    // the line has no such tag.
    bool setWordTagTime(int line, int word, qint64 ms, std::optional<int> lineTag = std::nullopt);
    // The word tags between two places of the line's sung text (lyricText(),
    // strictly after `from`, before `to`) go: the units they cut become one.
    // The other tags, and whether they are confirmed, stay. False when there
    // was none.
    bool mergeWordUnits(int line, qsizetype from, qsizetype to);
    // Word tags put in at places of the line's sung text that have none (a
    // unit split), the line's other tags kept as they are. False when a
    // place is outside the sung text or already has a tag.
    bool insertWordTags(int line, QList<WordTime> words, TagOrigin origin);
    // The text becomes `lines` (the lines rearranged: repeats expanded, the
    // offset applied): one undo step that replaces only the span between the
    // text the two have in common at the start and at the end, so lines
    // outside it keep their cursors and proposed tags.
    bool setLines(const QStringList &lines);

Q_SIGNALS:
    // After every change of the text or of the confirmation, once the lines
    // have been read again.
    void changed(const tarvelin::LinesChange &change);

private:
    friend class LineData;
    friend class ProposalStep;
    struct Proposal {
        TagKind kind;
        qint64 ms;
        bool operator==(const Proposal &) const = default;
    };
    struct LineEdit {
        QTextBlock block;
        QString text;
        QList<Proposal> proposals;
    };
    struct TimelineItem {
        qint64 ms;
        QTextBlock block;
        int tag;
    };
    struct IdItem {
        QTextBlock block;
        IdTag id;
    };

    void onContentsChange(int from, int removed, int added);
    bool readBlock(QTextBlock block);
    LineData *data(const QTextBlock &block) const;
    LineData *data(int line) const;
    // A line about to be rewritten: data is null when there is no such line.
    struct LineToEdit {
        const LineData *data = nullptr;
        QTextBlock block;
        QString text;
    };
    LineToEdit lineToEdit(int line) const;
    void lineRemoved(const LineData &data);
    void setProposals(int line, const QList<Proposal> &proposals, bool announce);
    bool applyEdits(const QList<LineEdit> &edits);
    bool retimeAll(const std::function<qint64(qint64)> &retime);
    static QList<Proposal> proposalsFor(const LrcLine &parsed, const QList<bool> &lineFlags,
                                        const QList<bool> &wordFlags);
    static bool hasTag(const LrcLine &line, const Proposal &proposal);
    void moveOnTimeline(const QTextBlock &block, const QList<TimeTag> &before, const QList<TimeTag> &after);
    const QList<TimelineItem> &timelineItems() const;
    const QList<IdItem> &idItems() const;

    QPointer<QTextDocument> m_document;
    int m_lineCount = 0;
    bool m_detaching = false;
    bool m_removedTags = false; // a line with tags went away since the last reading
    QList<Proposal> m_orphans;  // proposals whose tags left their line in this change
    mutable bool m_timelineStale = true;
    mutable bool m_idsStale = true;
    mutable QList<TimelineItem> m_timeline;
    mutable qint64 m_timelineOffset = 0; // the offset m_timeline was built with
    // How many more lines' entries one change may move before the timeline
    // is rebuilt instead.
    static constexpr int MaxTimelineMoves = 16;
    int m_timelineMoves = 0;
    mutable QList<IdItem> m_ids;
};

} // namespace tarvelin
