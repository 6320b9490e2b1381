#pragma once

// Placing the units of a sung line (characters, kana, words) in time from
// the sound alone, as a first guess the user corrects.
//
// Each unit is sung in one or more syllables. Inside the line's span, from
// its start tag to the next line's (or the song's end), the singing fills a
// part that ends somewhere between half of the span and all of it (most
// often near 85 %: a breath before the next line). Within it every syllable
// should start on a rise of the timing curve; positions proportional to the
// syllables (the last sung twice as long) are a weak pull, so a syllable
// with no onset of its own falls where the count puts it. The first unit
// starts at the line's start.

#include <QList>
#include <QtGlobal>

#include <span>

namespace tarvelin {

struct WordCurve {
    std::span<const float> values; // one value every hop seconds from 0
    double hop = 0.01;
};

struct WordTimes {
    QList<qint64> starts; // one per unit, ms, non-decreasing, the first = startMs
    qint64 endMs = 0;     // where the singing ends
};

// `syllables`: how many syllables each unit is sung in (at least 1 each);
// `wordStarts`: whether each unit starts a word (weighs its onset double),
// empty for all. Nothing to place (no units, or endMs <= startMs): empty.
WordTimes alignWords(const WordCurve &curve, qint64 startMs, qint64 endMs, const QList<int> &syllables,
                     const QList<bool> &wordStarts = {});

} // namespace tarvelin
