// The timing rules on real songs: the reaction delay (C), snapping (S and
// 自动吸附) and moving a tagged text onto the recording (对齐到这首歌),
// measured against hand-made line starts. Driven by bench/timing.sh, which
// explains the method at its top.
//
//   bench_timing [--songs DIR] [--song NAME AUDIO STARTS]... [--seed N]
//       DIR/index.tsv lists songs (audio, lines file "start<TAB>text",
//       words file: pop songs have one); --song adds one whose STARTS file
//       holds a start (seconds) a line. Prints one row a song and pooled rows.

#include "common_songs.h"
#include "analysis/timingcurves.h"
#include "analysis/timingrules.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
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

struct Song {
    QString name;
    QString audio;
    std::vector<double> starts;
    QString group; // "pop", "opera", "generated"
};

struct Errors {
    std::vector<double> ms;
    void add(double tag, double truth) { ms.push_back(std::abs(tag - truth) * 1000); }
    void add(const Errors &o) { ms.insert(ms.end(), o.ms.begin(), o.ms.end()); }
    double quantile(double q) const
    {
        if (ms.empty())
            return 0;
        std::vector<double> v = ms;
        std::sort(v.begin(), v.end());
        const double x = q * double(v.size() - 1);
        const auto i = std::size_t(x);
        return i + 1 < v.size() ? v[i] + (x - double(i)) * (v[i + 1] - v[i]) : v.back();
    }
    double within(double limit) const
    {
        if (ms.empty())
            return 0;
        return 100.0 * double(std::count_if(ms.begin(), ms.end(), [&](double e) { return e <= limit; })) / double(ms.size());
    }
    // Whether these tags' median is worse than `other`'s (C then S against C).
    bool worseThan(const Errors &other) const { return quantile(0.5) > other.quantile(0.5) + 1e-9; }
    QString text() const
    {
        return u"%1/%2/%3%"_s.arg(quantile(0.5), 0, 'f', 0).arg(quantile(0.9), 0, 'f', 0).arg(within(100), 0, 'f', 0);
    }
};

std::vector<double> readStarts(const QString &path)
{
    std::vector<double> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return out;
    QTextStream in(&f);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        bool ok = false;
        const double t = line.section(u'\t', 0, 0).section(u' ', 0, 0).toDouble(&ok);
        if (ok)
            out.push_back(t);
    }
    std::sort(out.begin(), out.end());
    return out;
}

struct Result {
    Errors raw, c, cs, autoSnap, align;
    QString delayText, alignText;
    bool delayClear = false;
    double delayError = 0; // ms, found - true mean
    bool alignClear = false;
    double fitMs = 0; // the alignment's search, on the calling thread
};

QString delayOutcome(DelayEstimate::Outcome o)
{
    switch (o) {
    case DelayEstimate::Outcome::Clear: return u"clear"_s;
    case DelayEstimate::Outcome::TooFewLines: return u"refused: few lines"_s;
    case DelayEstimate::Outcome::AtEdge: return u"refused: edge"_s;
    case DelayEstimate::Outcome::Ambiguous: return u"refused: rival"_s;
    case DelayEstimate::Outcome::Flat: return u"refused: flat"_s;
    }
    return {};
}

QString alignOutcome(Alignment::Outcome o)
{
    switch (o) {
    case Alignment::Outcome::Clear: return u"clear"_s;
    case Alignment::Outcome::TooFewLines: return u"refused: few lines"_s;
    case Alignment::Outcome::Ambiguous: return u"refused: rival"_s;
    case Alignment::Outcome::Flat: return u"refused: flat"_s;
    }
    return {};
}

// Taps at each start plus a delay drawn from 140-220 ms; `mean` their mean delay.
std::vector<double> drawnTaps(const std::vector<double> &starts, std::mt19937 &rng, double &mean)
{
    std::uniform_real_distribution<double> lateBy(0.140, 0.220);
    std::vector<double> taps;
    mean = 0;
    for (double t : starts) {
        const double late = lateBy(rng);
        mean += late;
        taps.push_back(t + late);
    }
    mean /= double(taps.size());
    return taps;
}

// A text tagged on another release: every start stretched by `k` (0.97 -
// 1.03) and moved by `d` (±20 s, no tag below 0).
std::vector<double> movedText(const std::vector<double> &starts, std::mt19937 &rng, double &k, double &d)
{
    std::uniform_real_distribution<double> stretch(0.97, 1.03);
    k = stretch(rng);
    const double lowest = -std::min(20.0, starts.front() * k);
    std::uniform_real_distribution<double> shift(lowest, 20.0);
    d = shift(rng);
    std::vector<double> text;
    for (double t : starts)
        text.push_back(t * k + d);
    return text;
}

// C on `taps`, then S on every line as S does (the delay taken out when C
// applied, else around a typical one); the errors of both go to `c`, `cs`.
DelayEstimate correctThenSnap(const std::vector<double> &taps, const std::vector<double> &starts,
                              const TimingCurves &curves, Errors &c, Errors &cs)
{
    const Curve &timing = curves.timing;
    const DelayEstimate e = estimateDelay(taps, curves);
    const bool clear = e.outcome == DelayEstimate::Outcome::Clear;
    for (std::size_t i = 0; i < taps.size(); ++i) {
        const double corrected = clear ? std::max(0.0, taps[i] - e.delay) : taps[i];
        c.add(corrected, starts[i]);
        cs.add(snapTime(timing, corrected, clear ? 0.0 : TypicalDelay).value_or(corrected), starts[i]);
    }
    return e;
}

Result measure(const Song &song, const TimingCurves &curves, std::mt19937 &rng)
{
    const Curve &timing = curves.timing;
    Result r;
    double meanDelay = 0;
    const std::vector<double> taps = drawnTaps(song.starts, rng, meanDelay);
    for (std::size_t i = 0; i < taps.size(); ++i)
        r.raw.add(taps[i], song.starts[i]);

    const DelayEstimate e = correctThenSnap(taps, song.starts, curves, r.c, r.cs);
    r.delayClear = e.outcome == DelayEstimate::Outcome::Clear;
    r.delayError = (e.delay - meanDelay) * 1000;
    r.delayText = u"%1 (true %2) c%3 r%4 m%5 %6"_s.arg(e.delay * 1000, 0, 'f', 0)
                      .arg(meanDelay * 1000, 0, 'f', 0)
                      .arg(e.contrast, 0, 'f', 2)
                      .arg(e.rival, 0, 'f', 2)
                      .arg(e.chanceMargin, 0, 'f', 1)
                      .arg(delayOutcome(e.outcome) + (e.upperBand ? u" (upper band)"_s : QString()));
    for (std::size_t i = 0; i < taps.size(); ++i)
        r.autoSnap.add(snapTime(timing, taps[i], TypicalDelay).value_or(taps[i]), song.starts[i]);

    double k = 1, d = 0;
    const std::vector<double> text = movedText(song.starts, rng, k, d);
    QElapsedTimer fitClock;
    fitClock.start();
    const Alignment a = fitAlignment(text, timing, voiceEntries(curves));
    r.fitMs = double(fitClock.nsecsElapsed()) / 1e6;
    r.alignClear = a.outcome == Alignment::Outcome::Clear;
    for (std::size_t i = 0; i < text.size(); ++i)
        r.align.add(a.map(text[i]), song.starts[i]);
    r.alignText = u"%1 s ×%2 (true %3 s ×%4) c%5 r%6%9 %7 %8 ms"_s.arg(a.offset, 0, 'f', 2)
                      .arg(a.speed, 0, 'f', 4)
                      .arg(-d / k, 0, 'f', 2)
                      .arg(1 / k, 0, 'f', 4)
                      .arg(a.contrast, 0, 'f', 2)
                      .arg(a.rival, 0, 'f', 2)
                      .arg(alignOutcome(a.outcome))
                      .arg(r.fitMs, 0, 'f', 0)
                      .arg(a.voiceAgrees ? u" voice agrees"_s : QString());
    return r;
}

void settingsFromEnvironment()
{
    TimingRuleSettings &s = timingRuleSettings();
    const auto read = [](const char *name, double &value) {
        bool ok = false;
        const double v = qEnvironmentVariable(name).toDouble(&ok);
        if (ok)
            value = v;
    };
    read("DELAY_MIN_CONTRAST", s.delayMinContrast);
    read("DELAY_MIN_CHANCE_MARGIN", s.delayMinChanceMargin);
    read("DELAY_MAX_RIVAL", s.delayMaxRival);
    read("DELAY_RIVAL_GAP", s.delayRivalGap);
    read("DELAY_MIN_PLAUSIBLE", s.delayMinPlausible);
    read("DELAY_MAX_PLAUSIBLE", s.delayMaxPlausible);
    read("DELAY_SPREAD", s.delaySpread);
    read("SNAP_CLEAR", s.snapClear);
    read("SNAP_CORRECTED_CLEAR", s.snapCorrectedClear);
    read("SNAP_LEAD", s.snapLead);
    read("SNAP_BEFORE", s.snapBefore);
    read("SNAP_AFTER", s.snapAfter);
    read("SNAP_CORRECTED_BEFORE", s.snapCorrectedBefore);
    read("SNAP_CORRECTED_AFTER", s.snapCorrectedAfter);
    read("SNAP_CORRECTED_SHARE", s.snapCorrectedShare);
    read("ALIGN_MIN_CONTRAST", s.alignMinContrast);
    read("ALIGN_MAX_RIVAL", s.alignMaxRival);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    std::vector<Song> songs;
    unsigned seed = 20261207;
    int extraSeeds = qEnvironmentVariableIsSet("SEEDS") ? qEnvironmentVariableIntValue("SEEDS") : 6;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == u"--songs"_s && i + 1 < args.size()) {
            const QString dir = args[++i];
            bool found = false;
            for (const bench::IndexedSong &indexed : bench::readSongIndex(dir, &found)) {
                Song s;
                s.audio = indexed.audio;
                s.name = indexed.name;
                s.starts = readStarts(indexed.lines);
                s.group = indexed.words.isEmpty() ? u"opera"_s : u"pop"_s;
                songs.push_back(s);
            }
            if (!found)
                std::printf("no songs at %s (index.tsv missing): real songs left out\n", qPrintable(dir));
        } else if (args[i] == u"--song"_s && i + 3 < args.size()) {
            Song s;
            s.name = args[i + 1];
            s.audio = args[i + 2];
            s.starts = readStarts(args[i + 3]);
            s.group = u"generated"_s;
            songs.push_back(s);
            i += 3;
        } else if (args[i] == u"--seed"_s && i + 1 < args.size()) {
            seed = args[++i].toUInt();
        }
    }
    settingsFromEnvironment();

    std::printf("Errors |tag - truth| in ms as median/p90/share within 100 ms; delay in ms (c: contrast, r: rival, m: margin over chance)\n\n");
    std::printf("%-34s %5s %5s %-50s %-13s %-13s %-13s %-13s %-67s %-13s\n", "song", "lines", "ms/s", "C: delay found",
                "raw", "after C", "after C+S", "auto snap", "align: offset, speed found", "after align");
    struct Pool {
        Result sum;
        int songs = 0, delayGood = 0, delayBad = 0, delayEligible = 0, csWorse = 0, alignBad = 0, alignRefused = 0;
        int seedTrials = 0, seedGood = 0, seedRefused = 0, seedBad = 0; // C over the extra seeds
        int seedOffLines = 0; // C applied to the same taps each moved off its line
        int seedCsWorse = 0; // songs whose C+S is worse than C over all those seeds
        int seedTapsCsWorse = 0; // single tappings whose C+S is worse than C
        int moves = 0, movesGood = 0, movesBad = 0; // 对齐到这首歌 over the extra seeds

    };
    std::map<QString, Pool> pools;
    QStringList seedRows; // C and the tags after it over the extra seeds, a song a row
    int seedSongs = 0, seedSongsMostlyGood = 0; // songs where C lands within 25 ms in at least half the seeds
    QStringList badDelays; // the extra seeds' delays applied > 60 ms off
    std::mt19937 rng(seed);
    for (const Song &song : songs) {
        if (song.starts.empty()) {
            std::printf("%-34s no line starts\n", qPrintable(song.name));
            continue;
        }
        const bench::DecodedSong d = bench::decodeCurves(song.audio);
        const Result r = measure(song, d.curves, rng);
        // C again with taps drawn from other seeds (songs with >= 8 lines).
        int trials = 0, good = 0, refused = 0, bad = 0, offLines = 0, tapsCsWorse = 0;
        Errors seedC, seedCs;
        for (int k = 0; song.starts.size() >= 8 && k < extraSeeds; ++k) {
            std::mt19937 other(seed + 1000 + unsigned(k));
            double mean = 0;
            const std::vector<double> taps = drawnTaps(song.starts, other, mean);
            Errors c, cs;
            const DelayEstimate e = correctThenSnap(taps, song.starts, d.curves, c, cs);
            seedC.add(c);
            seedCs.add(cs);
            tapsCsWorse += cs.worseThan(c) ? 1 : 0;
            ++trials;
            // The same taps following nothing: each moved 0.3-1 s either way.
            std::uniform_real_distribution<double> away(-0.7, 0.7);
            std::vector<double> off = taps;
            for (double &t : off) {
                const double by = away(other);
                t += by + (by < 0 ? -0.3 : 0.3);
            }
            std::sort(off.begin(), off.end());
            if (estimateDelay(off, d.curves).outcome == DelayEstimate::Outcome::Clear)
                ++offLines;
            if (e.outcome != DelayEstimate::Outcome::Clear)
                ++refused;
            else if (std::abs(e.delay - mean) <= 0.025)
                ++good;
            else if (std::abs(e.delay - mean) > 0.060) {
                ++bad;
                badDelays.push_back(u"%1 seed %2: %3 ms (true %4), contrast %5, rival %6, margin %7"_s.arg(song.name.left(34))
                                        .arg(k)
                                        .arg(std::lround(e.delay * 1000))
                                        .arg(std::lround(mean * 1000))
                                        .arg(e.contrast, 0, 'f', 2)
                                        .arg(e.rival, 0, 'f', 2)
                                        .arg(e.chanceMargin, 0, 'f', 1)
                                    + (e.upperBand ? u", upper band"_s : QString()));
            }
        }
        // 对齐到这首歌 on texts moved by other seeds.
        int moves = 0, movesGood = 0, movesBad = 0;
        for (int k = 0; song.starts.size() >= AlignMinLines && k < extraSeeds; ++k) {
            std::mt19937 other(seed + 2000 + unsigned(k));
            double stretch = 1, shift = 0;
            const std::vector<double> text = movedText(song.starts, other, stretch, shift);
            const Alignment a = fitAlignment(text, d.curves.timing, voiceEntries(d.curves));
            ++moves;
            if (a.outcome != Alignment::Outcome::Clear)
                continue;
            Errors e;
            for (std::size_t i = 0; i < text.size(); ++i)
                e.add(a.map(text[i]), song.starts[i]);
            ++(e.quantile(0.5) <= 60 ? movesGood : movesBad);
        }
        const bool seedCsWorse = trials > 0 && seedCs.worseThan(seedC);
        if (trials > 0) {
            seedRows.push_back(u"%1 %2 %3 %4 %5%6"_s.arg(song.name.left(34), -34)
                                   .arg(u"%1 of %2"_s.arg(good).arg(trials), -14)
                                   .arg(refused, -8)
                                   .arg(seedC.text(), -13)
                                   .arg(seedCs.text(), -13)
                                   .arg(seedCsWorse ? u" worse"_s : QString()));
            ++seedSongs;
            seedSongsMostlyGood += 2 * good >= trials ? 1 : 0;
        }
        std::printf("%-34s %5zu %5.1f %-50s %-13s %-13s %-13s %-13s %-67s %-13s\n", qPrintable(song.name.left(34)),
                    song.starts.size(), d.decodeMs / d.seconds, qPrintable(r.delayText), qPrintable(r.raw.text()),
                    qPrintable(r.c.text()), qPrintable(r.cs.text()), qPrintable(r.autoSnap.text()),
                    qPrintable(r.alignText), qPrintable(r.align.text()));
        for (const QString &g : {song.group, u"all"_s}) {
            Pool &p = pools[g];
            ++p.songs;
            p.seedTrials += trials;
            p.seedGood += good;
            p.seedRefused += refused;
            p.seedBad += bad;
            p.seedOffLines += offLines;
            p.seedCsWorse += seedCsWorse ? 1 : 0;
            p.seedTapsCsWorse += tapsCsWorse;
            p.moves += moves;
            p.movesGood += movesGood;
            p.movesBad += movesBad;
            p.sum.raw.add(r.raw);
            p.sum.c.add(r.c);
            p.sum.cs.add(r.cs);
            p.sum.autoSnap.add(r.autoSnap);
            if (r.alignClear)
                p.sum.align.add(r.align);
            if (song.starts.size() >= 8) {
                ++p.delayEligible;
                if (r.delayClear && std::abs(r.delayError) <= 25)
                    ++p.delayGood;
            }
            if (r.delayClear && std::abs(r.delayError) > 60)
                ++p.delayBad;
            if (r.cs.worseThan(r.c))
                ++p.csWorse;
            if (r.alignClear && r.align.quantile(0.5) > 60)
                ++p.alignBad;
            if (!r.alignClear)
                ++p.alignRefused;
        }
    }
    std::printf("\npooled       songs  C within 25 ms (of >= 8 lines)  C applied > 60 ms off  raw           after C       "
                "after C+S     auto snap     C+S worse than C  align: refused, applied > 60 ms, after (applied only)\n");
    for (const auto &[g, p] : pools) {
        std::printf("%-12s %5d  %d of %-27d %-22d %-13s %-13s %-13s %-13s %-17d %d, %d, %s\n", qPrintable(g), p.songs,
                    p.delayGood, p.delayEligible, p.delayBad, qPrintable(p.sum.raw.text()), qPrintable(p.sum.c.text()),
                    qPrintable(p.sum.cs.text()), qPrintable(p.sum.autoSnap.text()), p.csWorse, p.alignRefused,
                    p.alignBad, qPrintable(p.sum.align.text()));
    }
    std::printf("\nC over %d more seeds (songs with >= 8 lines); the last column: the same taps each moved 0.3-1 s off "
                "its line, where C should refuse\n%-12s %7s %14s %8s %17s %30s %18s\n",
                extraSeeds, "pool", "trials", "within 25 ms", "refused", "applied > 60 off",
                "C+S worse than C: songs, taps", "applied, off lines");
    for (const auto &[g, p] : pools)
        std::printf("%-12s %7d %14d %8d %17d %24d, %3d %18d\n", qPrintable(g), p.seedTrials, p.seedGood, p.seedRefused,
                    p.seedBad, p.seedCsWorse, p.seedTapsCsWorse, p.seedOffLines);
    for (const QString &row : badDelays)
        std::printf("  applied > 60 ms off: %s\n", qPrintable(row));
    std::printf("\n对齐到这首歌 on texts moved by %d more seeds\n%-12s %7s %22s %22s %8s\n", extraSeeds, "pool", "moves",
                "applied, within 60 ms", "applied, > 60 ms off", "refused");
    for (const auto &[g, p] : pools)
        std::printf("%-12s %7d %22d %22d %8d\n", qPrintable(g), p.moves, p.movesGood, p.movesBad,
                    p.moves - p.movesGood - p.movesBad);
    std::printf("\nthe same seeds' taps pooled, a song a row\n%-34s %-14s %-8s %-13s %-13s\n", "song", "C within 25 ms",
                "refused", "after C", "after C+S");
    for (const QString &row : seedRows)
        std::printf("%s\n", qPrintable(row));
    std::printf("songs where C lands within 25 ms in at least half the seeds: %d of %d\n", seedSongsMostlyGood, seedSongs);
    return 0;
}
