// Word timing on real songs with hand-made word times: word taps simulated
// offline, then C and S for words; and 自动逐字 given the true line starts.
// Driven by bench/words.sh, which explains the method at its top.
//
//   bench_words [--songs DIR] [--song NAME AUDIO WORDS]... [--seed N]
//       DIR/index.tsv lists songs; those with a words file (start<TAB>end
//       <TAB>word<TAB>line) are measured. --song adds one (e.g. generated
//       Mandarin lines, one syllable a row).

#include "analysis/songdecoder.h"
#include "analysis/timingcurves.h"
#include "analysis/timingrules.h"
#include "analysis/wordalign.h"
#include "analysis/wordrules.h"
#include "core/wordunits.h"

#include <QCoreApplication>
#include <QDir>
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

struct Errors {
    std::vector<double> ms;
    void add(double tag, double truth) { ms.push_back(std::abs(tag - truth) * 1000); }
    void add(const Errors &o) { ms.insert(ms.end(), o.ms.begin(), o.ms.end()); }
    double median() const
    {
        if (ms.empty())
            return 0;
        std::vector<double> v = ms;
        std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
        return v[v.size() / 2];
    }
    double within(double limit) const
    {
        if (ms.empty())
            return 0;
        return 100.0 * double(std::count_if(ms.begin(), ms.end(), [&](double e) { return e <= limit; })) / double(ms.size());
    }
    QString text(double limit) const
    {
        return u"%1 ms / %2% ≤%3"_s.arg(median(), 0, 'f', 0).arg(within(limit), 0, 'f', 0).arg(limit, 0, 'f', 0);
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

std::pair<TimingCurves, double> analyse(const QString &path)
{
    constexpr double Rate = 22050;
    CurveBuilder builder(Rate);
    double seconds = 0;
    DecodeSink sink;
    sink.stereo = [&](const float *lr, std::size_t n) { builder.process(lr, n); };
    sink.samples = [&](const float *, std::size_t n) { seconds += double(n) / Rate; };
    const DecodeResult r = decodeSong(path, {}, sink);
    builder.finish();
    if (r.outcome != DecodeResult::Outcome::Finished)
        std::fprintf(stderr, "cannot decode %s: %s\n", qPrintable(path), qPrintable(r.error));
    return {builder.take(), seconds};
}

struct Result {
    Errors raw, c, cs, autoWords;
    QString delay;
};

Result measure(const Song &song, const Curve &timing, double seconds, std::mt19937 &rng)
{
    Result r;
    // Taps: truth + 140..220 ms.
    std::uniform_real_distribution<double> lag(0.140, 0.220);
    std::vector<double> taps;
    for (const Word &w : song.words)
        taps.push_back(w.start + lag(rng));
    for (std::size_t i = 0; i < taps.size(); ++i)
        r.raw.add(taps[i], song.words[i].start);
    const DelayEstimate e = estimateDelay(taps, timing);
    const double delay = e.outcome == DelayEstimate::Outcome::Clear ? e.delay : 0;
    r.delay = e.outcome == DelayEstimate::Outcome::Clear ? u"%1"_s.arg(e.delay * 1000, 0, 'f', 0) : u"refused"_s;
    for (std::size_t i = 0; i < taps.size(); ++i) {
        const double corrected = taps[i] - delay;
        r.c.add(corrected, song.words[i].start);
        r.cs.add(snapWordTime(timing, corrected).value_or(corrected), song.words[i].start);
    }
    // 自动逐字 from the true line starts; the first unit of a line is the
    // line's start and is left out of the errors.
    std::map<int, std::vector<const Word *>> lines;
    for (const Word &w : song.words)
        lines[w.line].push_back(&w);
    const WordCurve curve{std::span<const float>(timing.values.data(), timing.values.size()), timing.step};
    for (auto it = lines.begin(); it != lines.end(); ++it) {
        const auto &words = it->second;
        const auto next = std::next(it);
        const double end = next != lines.end() ? next->second.front()->start : seconds;
        QList<int> syllables;
        for (const Word *w : words)
            syllables << splitWordUnits(w->text).value(0).syllables;
        const WordTimes t = alignWords(curve, qint64(words.front()->start * 1000), qint64(end * 1000), syllables);
        for (std::size_t i = 1; i < words.size() && i < std::size_t(t.starts.size()); ++i)
            r.autoWords.add(double(t.starts[qsizetype(i)]) / 1000.0, words[i]->start);
    }
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    std::vector<Song> songs;
    unsigned seed = 20261207;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == u"--songs"_s && i + 1 < args.size()) {
            const QDir dir(args[++i]);
            QFile index(dir.filePath(u"index.tsv"_s));
            if (!index.open(QIODevice::ReadOnly | QIODevice::Text)) {
                std::printf("no songs at %s (index.tsv missing): real songs left out\n", qPrintable(dir.path()));
                continue;
            }
            QTextStream in(&index);
            in.readLine();
            while (!in.atEnd()) {
                const QStringList f = in.readLine().split(u'\t');
                if (f.size() < 3 || f[2].isEmpty())
                    continue;
                songs.push_back({f[0].section(u'/', 0, 0), dir.filePath(f[0]), readWords(dir.filePath(f[2])), u"pop"_s});
            }
        } else if (args[i] == u"--song"_s && i + 3 < args.size()) {
            songs.push_back({args[i + 1], args[i + 2], readWords(args[i + 3]), u"generated"_s});
            i += 3;
        } else if (args[i] == u"--seed"_s && i + 1 < args.size()) {
            seed = args[++i].toUInt();
        }
    }
    std::printf("|word tag - truth|: median / share within the limit\n\n");
    std::printf("%-34s %6s %-8s %-20s %-20s %-20s %-20s\n", "song", "words", "C found", "raw taps", "after C",
                "after C+S", "自动逐字 (≤300)");
    std::map<QString, Result> pools;
    std::mt19937 rng(seed);
    for (const Song &song : songs) {
        const auto [curves, seconds] = analyse(song.audio);
        const Result r = measure(song, curves.timing, seconds, rng);
        std::printf("%-34s %6zu %-8s %-20s %-20s %-20s %-20s\n", qPrintable(song.name.left(34)), song.words.size(),
                    qPrintable(r.delay), qPrintable(r.raw.text(100)), qPrintable(r.c.text(100)),
                    qPrintable(r.cs.text(100)), qPrintable(r.autoWords.text(300)));
        Result &p = pools[song.group];
        p.raw.add(r.raw);
        p.c.add(r.c);
        p.cs.add(r.cs);
        p.autoWords.add(r.autoWords);
    }
    for (const auto &[group, p] : pools)
        std::printf("%-34s %6zu %-8s %-20s %-20s %-20s %-20s\n", qPrintable(u"pooled "_s + group), p.raw.ms.size(), "",
                    qPrintable(p.raw.text(100)), qPrintable(p.c.text(100)), qPrintable(p.cs.text(100)),
                    qPrintable(p.autoWords.text(300)));
    return 0;
}
