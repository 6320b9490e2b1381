#pragma once

// What the benches on real songs share: the songs' index and their timing
// curves, decoded as the program does on import.

#include "analysis/timingcurves.h"

#include <QString>

#include <vector>

namespace bench {

// One row of DIR/index.tsv (after its header): the audio, the lines file and
// the words file (empty when the song has none), as paths inside DIR.
struct IndexedSong {
    QString name; // the audio's folder
    QString audio;
    QString lines;
    QString words;
};

// The songs listed in `dir`/index.tsv; `found` false when there is no index.
std::vector<IndexedSong> readSongIndex(const QString &dir, bool *found = nullptr);

struct DecodedSong {
    tarvelin::TimingCurves curves;
    double seconds = 0;  // the song's length
    double decodeMs = 0; // decoding and the curves, wall clock
};

// Decodes `path` with the program's decoder and builds its curves; says on
// stderr when it cannot.
DecodedSong decodeCurves(const QString &path);

} // namespace bench
