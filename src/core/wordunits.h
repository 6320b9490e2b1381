#pragma once

// The units a line is timed in, word by word: one per Han character, kana or
// Hangul syllable, one per word in scripts written with spaces (Latin,
// Cyrillic, Greek ...). Punctuation and the spaces after a unit belong to
// that unit; punctuation before the first unit belongs to the first.
//
// A line that already carries word tags is cut where its tags stand: the
// user's own merges and splits win over the rule above.

#include "core/lrc.h"

#include <QList>
#include <QString>
#include <QStringView>

namespace tarvelin {

struct WordUnit {
    QString text;             // what is shown, spaces and punctuation included
    qint64 ms = -1;           // its word tag, -1 when it has none
    // How many syllables it is sung in, at least 1: a Han character or kana
    // is one, a Latin word one per group of vowels.
    int syllables = 1;
};

// The units of a line's sung text (no line or word tags in it).
QList<WordUnit> splitWordUnits(QStringView text);

// The units of a whole lyric line as written, and the end tag: a word tag
// with nothing sung after it, -1 when there is none. Text before the first
// word tag, if any, is a unit without a time.
struct WordLine {
    QList<WordUnit> units;
    qint64 endMs = -1;
};
WordLine readWordLine(QStringView line, const LrcLine &parsed);

// The units a line is tapped in, word by word: between two word tags the
// text is one unit, as cut by the user (a merge, a split) or an earlier
// tapping; the text before the first word tag, and after the last one when
// the line has no end tag (it was not tapped to its end), is cut by the rule.
// A line without word tags is cut by the rule throughout. Each unit keeps the
// time of the tag before it, -1 for none.
QList<WordUnit> tappingUnits(QStringView line, const LrcLine &parsed);

// Units i and i + 1 become one, sung from unit i's time in both's syllables.
// False when there is no unit after i.
bool mergeUnits(QList<WordUnit> &units, qsizetype i);
// Unit i goes back to the units the rule cuts its text into, the first of
// them keeping its time. False when it is one such unit already.
bool splitUnit(QList<WordUnit> &units, qsizetype i);

// The text of a line's units with their word tags: "<t1>春<t2>眠<end>".
// Units without a time (ms < 0) get no tag; endMs < 0 writes no end tag.
QString writeWordTags(const QList<WordUnit> &units, qint64 endMs);

// How much of a line's sung text (its units' texts one after another) has
// been sung at positionMs, in characters: the units before the one being
// sung, and of that one the share of its time up to the next unit's tag (or
// the end tag; the last unit without one lasts until lineEndMs). Units
// without a time, or a line without word tags, fill evenly from lineStartMs
// to lineEndMs across the whole text.
qsizetype sungLength(const WordLine &line, qint64 lineStartMs, qint64 lineEndMs, qint64 positionMs);

// How many syllables a word is likely sung in (groups of vowels for letters,
// one for anything else), at least 1.
int syllableCount(QStringView word);

} // namespace tarvelin
