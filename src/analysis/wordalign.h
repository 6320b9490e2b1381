#pragma once

// Placing the units of a sung line (characters, kana, words) in time from
// the sound alone, as a first guess the user corrects.
//
// Each unit is sung in one or more syllables. Inside the line's span, from
// its start tag to the next line's (or the song's end), the singing fills a
// part that ends somewhere between a tenth of the span and all of it: most
// often near 85 % (a breath before the next line), earlier when the song's
// pace sings the line in much less (a break follows), and where the voice
// is heard to stop. Within it every syllable should start on a rise of the
// timing curve; positions proportional to the syllables (the last sung
// twice as long) are a weak pull, so a syllable with no onset of its own
// falls where the count puts it. At a known pace, no syllable but the last
// lasts more than a few paces. The first unit starts at the line's start.

#include "analysis/timingcurves.h"

#include <QList>
#include <QtGlobal>

namespace tarvelin {

struct WordTimes {
    QList<qint64> starts; // one per unit, ms, non-decreasing, the first = startMs
    qint64 endMs = 0;     // where the singing ends
};

// The song's pace: the median over its lines of a line's span (ms, to the
// next line) shared among its syllables, the last counted twice; seconds,
// 0 for none. Lines before a break are the long ones the median passes over.
double typicalSyllableSeconds(const QList<qint64> &spansMs, const QList<int> &syllables);

// `curves`: the song's timing curve and, when there is one, its voice
// activity; `syllables`: how many syllables each unit is sung in (at least 1
// each); `pace`: typicalSyllableSeconds of the song, 0 when unknown;
// `wordStarts`: whether each unit starts a word (weighs its onset double),
// empty for all. Nothing to place (no units, or endMs <= startMs): empty.
WordTimes alignWords(const TimingCurves &curves, qint64 startMs, qint64 endMs, const QList<int> &syllables,
                     double pace = 0, const QList<bool> &wordStarts = {});

} // namespace tarvelin
