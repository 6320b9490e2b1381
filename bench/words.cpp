// Word timing on real songs with hand-made word times: word taps simulated
// offline, then C and S for words; and 自动逐字 given the true line starts.
// Driven by bench/words.sh, which explains the method at its top.
//
//   bench_words [--songs DIR] [--song NAME AUDIO WORDS]... [--seed N]
//       DIR/index.tsv lists songs; those with a words file (start<TAB>end
//       <TAB>word<TAB>line) are measured. --song adds one (e.g. generated
//       Mandarin lines, one syllable a row).

#include "common.h"
#include "common_songs.h"

#include "analysis/timingcurves.h"
#include "analysis/timingrules.h"
#include "analysis/wordalign.h"
#include "analysis/wordrules.h"
#include "core/wordunits.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <vector>

using namespace tarvelin;
using namespace Qt::StringLiterals;

namespace {

struct Word {
    double start = 0;
    QString text;
    int line = 0;
};

struct Song {
    QString name, audio;
    std::vector<Word> words;
    QString group;
};

// |tag - truth| in ms.
struct Errors {
    std::vector<double> ms;
    void add(double tag, double truth) { ms.push_back(std::abs(tag - truth) * 1000); }
    void add(const Errors &o) { ms.insert(ms.end(), o.ms.begin(), o.ms.end()); }
    QString text(double limit) const
    {
        if (ms.empty())
            return u"-"_s;
        return u"%1 ms / %2% ≤%3"_s.arg(bench::median(ms), 0, 'f', 0)
            .arg(bench::percentWithin(ms, limit), 0, 'f', 0)
            .arg(limit, 0, 'f', 0);
    }
};

std::vector<Word> readWords(const QString &path)
{
    std::vector<Word> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return out;
    QTextStream in(&f);
    while (!in.atEnd()) {
        const QStringList cols = in.readLine().split(u'\t');
        bool ok = false;
        const double t = cols.value(0).toDouble(&ok);
        if (ok && cols.size() >= 4)
            out.push_back({t, cols[2], cols[3].toInt()});
    }
    std::stable_sort(out.begin(), out.end(), [](const Word &a, const Word &b) { return a.start < b.start; });
    return out;
}

struct Result {
    Errors raw, c, cs, autoWords;
    QString delay;
};

// Word taps at truth + 140..220 ms, then C and S for words.
void measureTaps(const Song &song, const TimingCurves &curves, std::mt19937 &rng, Result &r)
{
    const Curve &timing = curves.timing;
    std::uniform_real_distribution<double> lag(0.140, 0.220);
    std::vector<double> taps;
    for (const Word &w : song.words)
        taps.push_back(w.start + lag(rng));
    for (std::size_t i = 0; i < taps.size(); ++i)
        r.raw.add(taps[i], song.words[i].start);
    const DelayEstimate e = estimateDelay(taps, curves);
    const double delay = e.outcome == DelayEstimate::Outcome::Clear ? e.delay : 0;
    r.delay = e.outcome == DelayEstimate::Outcome::Clear ? u"%1"_s.arg(e.delay * 1000, 0, 'f', 0) : u"refused"_s;
    for (std::size_t i = 0; i < taps.size(); ++i) {
        const double corrected = taps[i] - delay;
        r.c.add(corrected, song.words[i].start);
        r.cs.add(snapWordTime(timing, corrected).value_or(corrected), song.words[i].start);
    }
}

// 自动逐字 from the true line starts, each line up to the next one's start
// (the song's end for the last), at the pace of all the song's lines; the
// first unit of a line is the line's start and is left out of the errors.
void measureAutoWords(const Song &song, const TimingCurves &curves, double seconds, Result &r)
{
    struct Line {
        std::vector<const Word *> words;
        QList<int> syllables;
        qint64 startMs = 0, endMs = 0;
    };
    std::map<int, std::vector<const Word *>> byNumber;
    for (const Word &w : song.words)
        byNumber[w.line].push_back(&w);
    std::vector<Line> lines;
    QList<qint64> spans;
    QList<int> counts;
    for (auto it = byNumber.begin(); it != byNumber.end(); ++it) {
        const auto next = std::next(it);
        const double end = next != byNumber.end() ? next->second.front()->start : seconds;
        Line line{it->second, {}, qint64(it->second.front()->start * 1000), qint64(end * 1000)};
        int count = 0;
        for (const Word *w : line.words) {
            line.syllables << splitWordUnits(w->text).value(0).syllables;
            count += line.syllables.last();
        }
        spans << line.endMs - line.startMs;
        counts << count;
        lines.push_back(std::move(line));
    }
    const double pace = typicalSyllableSeconds(spans, counts);
    for (const Line &line : lines) {
        const WordTimes t = alignWords(curves, line.startMs, line.endMs, line.syllables, pace);
        for (std::size_t i = 1; i < line.words.size() && i < std::size_t(t.starts.size()); ++i)
            r.autoWords.add(double(t.starts[qsizetype(i)]) / 1000.0, line.words[i]->start);
    }
}

std::vector<Song> songsFromArguments(const QStringList &args, unsigned &seed)
{
    std::vector<Song> songs;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == u"--songs"_s && i + 1 < args.size()) {
            bool found = false;
            const QString dir = args[++i];
            for (const bench::IndexedSong &s : bench::readSongIndex(dir, &found)) {
                if (!s.words.isEmpty())
                    songs.push_back({s.name, s.audio, readWords(s.words), u"pop"_s});
            }
            if (!found)
                std::printf("no songs at %s (index.tsv missing): real songs left out\n", qPrintable(dir));
        } else if (args[i] == u"--song"_s && i + 3 < args.size()) {
            songs.push_back({args[i + 1], args[i + 2], readWords(args[i + 3]), u"generated"_s});
            i += 3;
        } else if (args[i] == u"--seed"_s && i + 1 < args.size()) {
            seed = args[++i].toUInt();
        }
    }
    return songs;
}

void printRow(const QString &name, std::size_t words, const QString &delay, const Result &r)
{
    std::printf("%-34s %6zu %-8s %-20s %-20s %-20s %-20s\n", qPrintable(name.left(34)), words, qPrintable(delay),
                qPrintable(r.raw.text(100)), qPrintable(r.c.text(100)), qPrintable(r.cs.text(100)),
                qPrintable(r.autoWords.text(300)));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    unsigned seed = 20261207;
    const std::vector<Song> songs = songsFromArguments(app.arguments(), seed);
    std::printf("|word tag - truth|: median / share within the limit\n\n");
    std::printf("%-34s %6s %-8s %-20s %-20s %-20s %-20s\n", "song", "words", "C found", "raw taps", "after C",
                "after C+S", "自动逐字 (≤300)");
    std::map<QString, Result> pools;
    std::mt19937 rng(seed);
    for (const Song &song : songs) {
        const bench::DecodedSong d = bench::decodeCurves(song.audio);
        Result r;
        measureTaps(song, d.curves, rng, r);
        measureAutoWords(song, d.curves, d.seconds, r);
        printRow(song.name, song.words.size(), r.delay, r);
        Result &p = pools[song.group];
        p.raw.add(r.raw);
        p.c.add(r.c);
        p.cs.add(r.cs);
        p.autoWords.add(r.autoWords);
    }
    for (const auto &[group, p] : pools)
        printRow(u"pooled "_s + group, p.raw.ms.size(), {}, p);
    return 0;
}
