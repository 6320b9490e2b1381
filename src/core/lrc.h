#pragma once

// Reading and rewriting the time tags of lyrics text, line by line.
//
// A time tag is "[m:ss]", "[m:ss.f]", "[m:ss.ff]", "[m:ss.fff]" or the same
// with ':' before the fraction, with 1 to 3 digits of minutes and 2 of
// seconds. One fraction digit is tenths, two are hundredths, three are
// milliseconds: [00:12.5] is 12.500 s, [00:12.05] 12.050 s, [00:12.005]
// 12.005 s. Only the tags at the start of a line count (spaces between them
// are allowed); anything after them is the line's text, brackets and all.
//
// An ID tag is "[key:value]" whose key is ASCII letters ([ti:…], [ar:…],
// [offset:…], …). A line made only of ID tags is an ID-tag line; it is left
// alone. "[offset:+500]" shows every line 500 ms earlier.
//
// Times are whole milliseconds. Positions elsewhere in the program are
// seconds as double; msFromSeconds() converts them.

#include "core/positiontext.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace tarvelin {

// A time tag read at the start of a line.
struct TimeTag {
    qint64 ms = 0;        // the time as written, without the offset
    qsizetype start = 0;  // where "[" stands in the line
    qsizetype length = 0; // up to and including "]"
    // 1 for [00:12.5] or any ':' fraction ([00:12:50]): forms some programs
    // read differently, worth telling the user how they were read.
    bool unusualForm = false;
};

// A bracket at the start of a line (among or right after its time tags) that
// looks like a time tag but is not one, e.g. [1:60.00], [00:12.] or [:12.00].
struct MalformedTag {
    qsizetype start = 0;
    qsizetype length = 0;
    bool secondsTooLarge = false; // [1:60.00]
};

// A word tag "<mm:ss.xx>" inside a line's text (any form a time tag may
// take, in angle brackets): the moment the text after it starts to be sung.
// A last word tag with no text after it marks where the line's singing ends.
struct WordTag {
    qint64 ms = 0;
    qsizetype start = 0;  // where "<" stands in the line
    qsizetype length = 0; // up to and including ">"
};

// One ID tag of an ID-tag line, e.g. "[ar:歌手]".
struct IdTag {
    // Usable: a value that means something. [offset:] wants a whole number
    // of milliseconds with an optional sign (at most a day), [length:]
    // minutes:seconds (seconds below 60, an optional fraction); any other
    // key takes any text.
    enum class Value { Usable, Empty, Malformed };
    QString key;   // in lower case
    QString value; // without the spaces around it
    Value state = Value::Usable;
    int line = 0;         // index into the lines (readIdTags; 0 from parseLrcLine)
    qsizetype start = 0;  // where "[" stands in the line
    qsizetype length = 0; // up to and including "]"
};

struct LrcLine {
    enum class Kind { Blank, IdTags, Lyric };
    Kind kind = Kind::Blank;
    QList<IdTag> ids;            // an ID-tag line's tags, in order
    QList<TimeTag> tags;         // the leading time tags, in order
    qsizetype textStart = 0;     // the text after them starts here
    QList<MalformedTag> malformed;
    QList<WordTag> words;        // the word tags in the text, in order of place
};

// Reads one line (no line break in it).
LrcLine parseLrcLine(QStringView line);

// Whether a line (of any kind) is a lyric line: text that is not an ID-tag
// line. Blank lines and ID-tag lines are skipped when tapping moves on.
bool isLyricLine(QStringView line);

// Every ID tag of the lines' ID-tag lines, in order.
QList<IdTag> readIdTags(const QStringList &lines);

// The value of the first [offset:±ms] ID tag in the lines, 0 if none or if
// that one's value is not usable.
qint64 lrcOffset(const QStringList &lines);
// An [offset:] value read as milliseconds ("+500", " -20 "); nothing when it
// is not a whole number or is more than a day either way.
std::optional<qint64> offsetValue(QStringView value);

// "[mm:ss.xx]", cut (never rounded) to the hundredth; below 0 reads as 0.
QString formatTimeTag(qint64 ms);
// "<mm:ss.xx>", the same time as a word tag.
QString formatWordTag(qint64 ms);

// The line's text without its leading time tags and without word tags: what
// is sung, as it shows.
QString lyricText(QStringView line, const LrcLine &parsed);

// The line showing at a position, and the one that shows after it; -1 for
// none (before the first tag, or after the last one for `next`).
struct LiveLines {
    int current = -1;
    int next = -1;
};

// Every leading time tag and word tag in the lines moved by deltaMs, clamped
// at 0 and rewritten as "[mm:ss.xx]" and "<mm:ss.xx>". ID-tag lines, text and malformed tags stay as
// they are; lines without tags come back unchanged.
QStringList shiftTimeTags(const QStringList &lines, qint64 deltaMs);

// What the lyrics check finds, for the user to correct.
struct LyricsProblem {
    enum class Kind {
        Malformed,   // a bracket that looks like a tag but is not read
        ReadAs,      // a tag in an unusual form: says how it was read
        Untagged,    // a lyric line without a time tag
        OutOfOrder,  // earlier than the tagged line before it
        SameTime,    // the same time as a tag on another line
        PastEnd,     // after the end of the song
        BadIdTag,    // an [offset:] or [length:] whose value is not read
        RepeatedIdTag, // a key that an earlier ID tag already has
        TagInText,   // a time tag after the start of the line, shown as text
        WordOrder,   // a word tag earlier than the word tag before it
        WordOutside, // a word tag before its line's tag or after the next line's
        WordUnclosed, // word tags without an end tag (a hint, once per line)
    };
    Kind kind;
    int line;        // index into the lines; show line + 1
    QString message; // for display, names the tag; no line number in it
};

// Problems in line order (several per line possible). durationSeconds <= 0
// or non-finite: the song's length is unknown, tags past it are not looked for.
QList<LyricsProblem> checkLyrics(const QStringList &lines, double durationSeconds);

} // namespace tarvelin
