// The timing assistance measured: how fast a song's waveform is ready, and
// how close tags come to where lines really start after the program corrects
// them. Driven by bench/assist.sh, which explains the method at its top.
//
//   bench_assist --perf FILE [RUNS]
//       analyses FILE RUNS times (default 5) and prints, per run and as the
//       median: import to complete waveform (peaks), to complete onsets, the
//       longest interface-thread stall meanwhile, and the extra memory.

#include "analysis/songanalysis.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace tarvelin;
using namespace Qt::StringLiterals;

namespace {

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Resident memory of this process, in bytes.
double residentBytes()
{
    QFile f(u"/proc/self/statm"_s);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * 4096 : 0;
}

struct PerfRun {
    double peaksMs = 0;  // import to the last peak in
    double allMs = 0;    // import to finished() (onsets too)
    double stallMs = 0;  // longest gap between interface-thread timer ticks
    double extraMiB = 0; // resident memory above what it was before the import
    double heldMiB = 0;  // what the analysis keeps once finished
};

PerfRun perfRun(const QString &path)
{
    PerfRun r;
    SongAnalysis analysis;
    QEventLoop loop;
    QElapsedTimer clock;
    // A 1 ms timer on the interface thread: any gap between its ticks well
    // over 1 ms is time the thread could not react.
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    double lastTick = 0;
    const double before = residentBytes();
    double peak = before;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const double now = clock.nsecsElapsed() / 1e6;
        r.stallMs = std::max(r.stallMs, now - lastTick);
        lastTick = now;
        peak = std::max(peak, residentBytes());
    });
    QObject::connect(&analysis, &SongAnalysis::peaksFinished, [&] { r.peaksMs = clock.nsecsElapsed() / 1e6; });
    QObject::connect(&analysis, &SongAnalysis::finished, &loop, &QEventLoop::quit);
    QObject::connect(&analysis, &SongAnalysis::failed, &loop, [&](const QString &why) {
        std::fprintf(stderr, "cannot analyse %s: %s\n", qPrintable(path), qPrintable(why));
        std::exit(1);
    });
    clock.start();
    ticker.start();
    analysis.analyse(path);
    loop.exec();
    r.allMs = clock.nsecsElapsed() / 1e6;
    if (r.peaksMs == 0)
        r.peaksMs = r.allMs;
    peak = std::max(peak, residentBytes());
    r.extraMiB = (peak - before) / 1048576.0;
    r.heldMiB = analysis.memoryBytes() / 1048576.0;
    return r;
}

int perf(const QString &path, int runs)
{
    std::vector<PerfRun> all;
    std::printf("run  waveform ms  onsets ms  stall ms  extra MiB  held MiB\n");
    for (int i = 0; i < runs; ++i) {
        const PerfRun r = perfRun(path);
        all.push_back(r);
        std::printf("%3d  %11.0f  %9.0f  %8.1f  %9.1f  %8.1f\n", i + 1, r.peaksMs, r.allMs, r.stallMs, r.extraMiB,
                    r.heldMiB);
    }
    const auto pick = [&](double PerfRun::*field) {
        std::vector<double> v;
        for (const PerfRun &r : all)
            v.push_back(r.*field);
        return v;
    };
    const auto maxOf = [](std::vector<double> v) { return *std::max_element(v.begin(), v.end()); };
    std::printf("median: waveform %.0f ms, onsets %.0f ms; worst stall %.1f ms; extra memory %.1f MiB (max), "
                "held %.1f MiB\n",
                median(pick(&PerfRun::peaksMs)), median(pick(&PerfRun::allMs)), maxOf(pick(&PerfRun::stallMs)),
                maxOf(pick(&PerfRun::extraMiB)), median(pick(&PerfRun::heldMiB)));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args[1] == u"--perf"_s)
        return perf(args[2], args.size() > 3 ? args[3].toInt() : 5);
    std::fprintf(stderr, "usage: bench_assist --perf FILE [RUNS]\n");
    return 2;
}
