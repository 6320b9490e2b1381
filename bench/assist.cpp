// The timing assistance measured: how fast a song's waveform is ready, and
// how close tags come to where lines really start after the program corrects
// them. Driven by bench/assist.sh, which explains the method at its top.
//
//   bench_assist --make-song DIR [SEED]
//       writes DIR/song.wav and DIR/song.mp3 (voices over a beat and a bass
//       line), DIR/lyrics.txt (its twelve lines) and DIR/starts.txt (where
//       each line's voice really starts, seconds).
//   bench_assist --tap DIR
//       plays DIR/song.mp3 (from --make-song) in real time and taps every
//       line at its start plus a reaction delay drawn from 140-220 ms (fixed
//       seed); prints median, p95 and max |tag - true start| for the raw
//       taps, after 校正反应延迟 (C), after C and S on every line, and for a
//       second pass with 自动吸附 on.
//   bench_assist --perf FILE [RUNS]
//       analyses FILE RUNS times (default 5) and prints, per run and as the
//       median: import to complete waveform (peaks), to complete onsets, the
//       longest interface-thread stall meanwhile, and the extra memory.

#include "document/lyricsdocument.h"
#include "analysis/songanalysis.h"
#include "core/lrc.h"
#include "media/mpvengine.h"
#include "desktop/platformtools.h"
#include "tapping/tapper.h"
#include "tapping/timingassist.h"

#include <QPlainTextEdit>
#include <QTextBlock>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <vector>
#include "common.h"

using namespace tarvelin;
using namespace Qt::StringLiterals;

using bench::maxOf;
using bench::median;
using bench::quantile;

namespace {

// --- The song ---------------------------------------------------------------

constexpr int SongRate = 44100;
constexpr double Beat = 0.5; // 120 beats a minute
constexpr double Pi = std::numbers::pi;

const char16_t *const LyricLines[] = {
    u"清晨的风轻轻吹过窗台", u"我听见远方有人在唱",     u"那首歌像旧日的时光",   u"慢慢流进我的心房",
    u"月光洒在安静的街上",   u"你的影子还在身旁",       u"我们走过长长的路",     u"不怕风雨也不怕忙",
    u"明天太阳依然升起",     u"梦想就在前方发光",       u"让我再唱一遍这首歌",   u"直到天边出现晨光",
};

bool runTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
        return false;
    }
    return true;
}

// The samples of a 16-bit mono WAV (as espeak-ng and sox write them).
std::vector<float> readWav(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.readAll();
    const qsizetype data = bytes.indexOf("data");
    if (data < 0)
        return {};
    std::vector<float> x;
    for (qsizetype i = data + 8; i + 1 < bytes.size(); i += 2)
        x.push_back(float(qint16(quint8(bytes[i]) | (quint8(bytes[i + 1]) << 8))) / 32768.0f);
    return x;
}

bool writeWav(const QString &path, const std::vector<float> &x, int rate)
{
    QByteArray data;
    data.reserve(qsizetype(x.size() * 2));
    for (float v : x) {
        const auto s = qint16(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767));
        data.append(char(s & 0xff)).append(char((s >> 8) & 0xff));
    }
    const auto u32 = [](quint32 v) { return QByteArray(reinterpret_cast<const char *>(&v), 4); };
    const auto u16 = [](quint16 v) { return QByteArray(reinterpret_cast<const char *>(&v), 2); };
    QFile f(path);
    return f.open(QIODevice::WriteOnly)
        && f.write("RIFF" + u32(quint32(36 + data.size())) + "WAVEfmt " + u32(16) + u16(1) + u16(1)
                   + u32(quint32(rate)) + u32(quint32(rate * 2)) + u16(2) + u16(16) + "data"
                   + u32(quint32(data.size())) + data)
               > 0;
}

// Where a voice becomes audible: the first sample at which its 10 ms RMS
// reaches 1/20 (-26 dB) of its loudest 10 ms.
std::size_t voiceStart(const std::vector<float> &x)
{
    const std::size_t window = SongRate / 100;
    std::vector<double> rms;
    double sum = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sum += double(x[i]) * x[i];
        if (i >= window)
            sum -= double(x[i - window]) * x[i - window];
        rms.push_back(std::sqrt(std::max(0.0, sum) / window));
    }
    const double loudest = *std::max_element(rms.begin(), rms.end());
    for (std::size_t i = 0; i < rms.size(); ++i) {
        if (rms[i] >= loudest / 20) // the window ending here; it starts `window` earlier
            return i >= window ? i - window + 1 : 0;
    }
    return 0;
}

// The beat: a kick on every beat, a snare on the second and fourth, a
// closed hi-hat on every eighth; and a bass note on every beat.
void addBeatAndBass(std::vector<float> &mix, std::mt19937 &random)
{
    std::uniform_real_distribution<float> noise(-1, 1);
    const auto add = [&](double at, double seconds, auto &&sample) {
        const auto first = std::size_t(std::lround(at * SongRate));
        for (std::size_t i = 0; i < std::size_t(seconds * SongRate) && first + i < mix.size(); ++i)
            mix[first + i] += sample(double(i) / SongRate);
    };
    const double roots[] = {55.0, 65.41, 73.42, 82.41}; // A1 C2 D2 E2, one bar each
    const double end = double(mix.size()) / SongRate;
    float hatState = 0;
    for (int beat = 0; beat * Beat < end; ++beat) {
        const double at = beat * Beat;
        add(at, 0.25, [](double t) { // a falling sine: 120 Hz down to 45 Hz
            const double phase = 2 * Pi * (45 * t + 75 * (1 - std::exp(-t / 0.03)) * 0.03);
            return float(0.7 * std::exp(-t / 0.07) * std::sin(phase));
        });
        if (beat % 2 == 1) {
            add(at, 0.2, [&](double t) {
                return float(0.3 * std::exp(-t / 0.05) * (0.6 * noise(random) + 0.4 * std::sin(2 * Pi * 185 * t)));
            });
        }
        for (double half : {0.0, Beat / 2}) {
            add(at + half, 0.05, [&](double t) { // noise through a first difference: mostly highs
                const float n = noise(random);
                const float hi = n - hatState;
                hatState = n;
                return float(0.12 * std::exp(-t / 0.012)) * hi;
            });
        }
        const double f = roots[(beat / 4) % 4] * (beat % 2 ? 1.5 : 1.0);
        add(at, Beat * 0.9, [f](double t) {
            const double v = std::sin(2 * Pi * f * t) + 0.5 * std::sin(4 * Pi * f * t) + 0.25 * std::sin(6 * Pi * f * t);
            return float(0.22 * std::min(1.0, t / 0.01) * std::exp(-t / 0.4) * v);
        });
    }
}

int makeSong(const QString &dirPath, unsigned seed)
{
    QDir dir(dirPath);
    if (!dir.mkpath(u"."_s))
        return 1;
    std::mt19937 random(seed);
    // Each line starts a little after a beat or an off-beat eighth, never on one.
    std::uniform_real_distribution<double> offBeat(0.06, 0.19);
    std::bernoulli_distribution secondEighth(0.5);

    struct Line {
        std::vector<float> voice;
        double start = 0;      // where the voice is placed
        double heard = 0;      // where it becomes audible: the true line start
    };
    std::vector<Line> lines;
    double next = 4 * Beat; // a bar of beat first
    for (int i = 0; i < 12; ++i) {
        const QString raw = dir.filePath(u"line-%1.wav"_s.arg(i));
        const QString resampled = dir.filePath(u"line-%1-44k.wav"_s.arg(i));
        if (!runTool(u"espeak-ng"_s, {u"-v"_s, u"cmn"_s, u"-s"_s, u"170"_s, u"-w"_s, raw,
                                      QString::fromUtf16(LyricLines[i])})
            || !runTool(u"sox"_s, {raw, u"-r"_s, QString::number(SongRate), resampled}))
            return 1;
        Line line;
        line.voice = readWav(resampled);
        QFile::remove(raw);
        QFile::remove(resampled);
        if (line.voice.empty())
            return 1;
        float peak = 0;
        for (float v : line.voice)
            peak = std::max(peak, std::abs(v));
        for (float &v : line.voice)
            v *= 0.6f / peak;
        const double beat = std::ceil(next / Beat) * Beat;
        const double audibleAt = beat + (secondEighth(random) ? Beat / 2 : 0) + offBeat(random);
        const double lead = double(voiceStart(line.voice)) / SongRate;
        line.start = audibleAt - lead;
        line.heard = audibleAt;
        next = line.start + double(line.voice.size()) / SongRate + 0.6;
        lines.push_back(std::move(line));
    }
    std::vector<float> mix(std::size_t((next + 2 * Beat) * SongRate));
    addBeatAndBass(mix, random);
    for (const Line &line : lines) {
        const auto first = std::size_t(std::lround(line.start * SongRate));
        for (std::size_t i = 0; i < line.voice.size() && first + i < mix.size(); ++i)
            mix[first + i] += line.voice[i];
    }
    for (float &v : mix)
        v *= 0.7f;
    QStringList starts, lyrics;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        starts << QString::number(lines[i].heard, 'f', 4);
        lyrics << QString::fromUtf16(LyricLines[i]);
    }
    QFile startsFile(dir.filePath(u"starts.txt"_s));
    QFile lyricsFile(dir.filePath(u"lyrics.txt"_s));
    if (!writeWav(dir.filePath(u"song.wav"_s), mix, SongRate) || !startsFile.open(QIODevice::WriteOnly)
        || !lyricsFile.open(QIODevice::WriteOnly))
        return 1;
    startsFile.write((starts.join(u'\n') + u'\n').toUtf8());
    lyricsFile.write((lyrics.join(u'\n') + u'\n').toUtf8());
    startsFile.close();
    lyricsFile.close();
    // LAME pads the start and marks it, so the decoded mp3 keeps the wav's
    // timing (checked by the song analysis tests).
    if (!runTool(u"ffmpeg"_s, {u"-v"_s, u"error"_s, u"-y"_s, u"-i"_s, dir.filePath(u"song.wav"_s), u"-ac"_s, u"2"_s,
                               u"-c:a"_s, u"libmp3lame"_s, u"-b:a"_s, u"192k"_s, dir.filePath(u"song.mp3"_s)}))
        return 1;
    std::printf("%s: %.1f s, %zu lines starting at %s s\n", qPrintable(dir.filePath(u"song.mp3"_s)),
                double(mix.size()) / SongRate, lines.size(), qPrintable(starts.join(u' ')));
    return 0;
}

// --- Tapping along --------------------------------------------------------------

constexpr double DelayLow = 0.140;  // the reaction delays: 180 +- 40 ms
constexpr double DelayHigh = 0.220;

// Answers every question 是 and prints every note.
class YesTools final : public PlatformTools {
public:
    QString lastQuestion;
    std::optional<QString> chooseFile(QWidget *, FileMode, const QString &, const QStringList &) override
    {
        return std::nullopt;
    }
    void showError(QWidget *, const QString &title, const QString &text) override
    {
        showInformation(nullptr, title, text);
    }
    CloseAnswer askSaveBeforeClose(QWidget *) override { return CloseAnswer::Discard; }
    bool openUrl(const QUrl &) override { return false; }
    bool askYesNo(QWidget *, const QString &, const QString &text) override
    {
        lastQuestion = text;
        return true;
    }
    void showInformation(QWidget *, const QString &title, const QString &text) override
    {
        std::printf("  note: %s: %s\n", qPrintable(title), qPrintable(text));
    }
    RestoreAnswer askRestoreLyrics(QWidget *, const QString &) override { return RestoreAnswer::Discard; }
};

std::vector<double> readNumbers(const QString &path)
{
    QFile f(path);
    std::vector<double> v;
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : f.readAll().split('\n')) {
            if (!line.trimmed().isEmpty())
                v.push_back(line.toDouble());
        }
    }
    return v;
}

std::vector<double> firstTags(const QPlainTextEdit &editor)
{
    std::vector<double> tags;
    for (QTextBlock b = editor.document()->begin(); b.isValid(); b = b.next()) {
        const LrcLine line = parseLrcLine(b.text());
        tags.push_back(line.tags.isEmpty() ? -1 : double(line.tags.first().ms) / 1000.0);
    }
    return tags;
}

void report(const char *what, const std::vector<double> &tags, const std::vector<double> &starts)
{
    std::vector<double> errors;
    for (std::size_t i = 0; i < starts.size(); ++i)
        errors.push_back(std::abs((i < tags.size() ? tags[i] : 0) - starts[i]) * 1000);
    std::printf("%-28s %8.0f %8.0f %8.0f\n", what, median(errors), quantile(errors, 0.95),
                *std::max_element(errors.begin(), errors.end()));
}

// Plays the song from the start and taps each line when the player's
// position reaches its start plus its delay, as a listener pressing then
// would (the position is what is heard). The tap goes through the timing
// help, so 自动吸附 applies when on.
bool tapAlong(MpvEngine &engine, LyricsDocument &lyrics, const TimingAssist &assist,
              const std::vector<double> &starts, const std::vector<double> &delays)
{
    Tapper tapper(&lyrics);
    std::size_t next = 0;
    QEventLoop loop;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        const auto now = engine.position();
        if (!now || engine.state() != MediaEngine::State::Playing)
            return;
        while (next < starts.size() && *now >= starts[next] + delays[next]) {
            tapper.tap(assist.tapTime(*now, true));
            ++next;
        }
        if (next == starts.size())
            loop.quit();
    });
    QTimer::singleShot(int((starts.back() + 5) * 1000) + 10000, &loop, [&] { loop.exit(1); });
    engine.stop();
    engine.play();
    poll.start();
    return loop.exec() == 0;
}

int tapBench(const QString &dirPath)
{
    const QDir dir(dirPath);
    const std::vector<double> starts = readNumbers(dir.filePath(u"starts.txt"_s));
    QFile lyrics(dir.filePath(u"lyrics.txt"_s));
    if (starts.empty() || !lyrics.open(QIODevice::ReadOnly))
        return 1;
    const QString text = QString::fromUtf8(lyrics.readAll()).trimmed();
    std::mt19937 random(180);
    std::uniform_real_distribution<double> delay(DelayLow, DelayHigh);
    std::vector<double> delays;
    for (std::size_t i = 0; i < starts.size(); ++i)
        delays.push_back(delay(random));

    MpvEngine engine;
    SongAnalysis analysis;
    YesTools tools;
    QPlainTextEdit editor;
    LyricsDocument tagged(editor.document());
    TimingAssist assist(&tagged, &analysis, tools, nullptr);
    QEventLoop ready;
    QObject::connect(&analysis, &SongAnalysis::finished, &ready, &QEventLoop::quit);
    QObject::connect(&analysis, &SongAnalysis::failed, &ready, &QEventLoop::quit);
    engine.load(dir.filePath(u"song.mp3"_s));
    analysis.analyse(dir.filePath(u"song.mp3"_s));
    ready.exec();
    if (analysis.status() != SongAnalysis::Status::Finished) {
        std::fprintf(stderr, "the song was not analysed: %s\n", qPrintable(analysis.errorString()));
        return 1;
    }

    std::printf("%zu lines, reaction delays %.0f-%.0f ms (seed 180), real-time playback\n", starts.size(),
                DelayLow * 1000, DelayHigh * 1000);
    std::printf("%-28s %8s %8s %8s\n", "|tag - line start| in ms", "median", "p95", "max");
    editor.setPlainText(text);
    if (!tapAlong(engine, tagged, assist, starts, delays))
        return 1;
    report("raw taps", firstTags(editor), starts);
    assist.correctReactionDelay();
    std::printf("  asked: %s\n", qPrintable(tools.lastQuestion));
    report("after C", firstTags(editor), starts);
    for (int line = 0; line < editor.document()->blockCount(); ++line)
        assist.snapLine(line);
    report("after C and S on each line", firstTags(editor), starts);

    editor.setPlainText(text);
    assist.autoSnapAction()->setChecked(true);
    if (!tapAlong(engine, tagged, assist, starts, delays))
        return 1;
    report("with 自动吸附", firstTags(editor), starts);
    return 0;
}

// --- Performance --------------------------------------------------------------

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

// The longest gap between 1 ms timer ticks over `ms` with nothing else
// running: what the machine's load alone does to the interface thread.
double idleStall(int ms)
{
    QEventLoop loop;
    QElapsedTimer clock;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    double last = 0, worst = 0;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const double now = clock.nsecsElapsed() / 1e6;
        worst = std::max(worst, now - last);
        last = now;
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    clock.start();
    ticker.start();
    loop.exec();
    return worst;
}

int perf(const QString &path, int runs)
{
    std::printf("longest interface-thread stall with no analysis running (%d s): %.1f ms\n", 2, idleStall(2000));
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
    std::setlocale(LC_NUMERIC, "C"); // for mpv
    if (args.size() == 3 && args[1] == u"--tap"_s)
        return tapBench(args[2]);
    if (args.size() >= 3 && args[1] == u"--make-song"_s)
        return makeSong(args[2], args.size() > 3 ? args[3].toUInt() : 20240611u);
    std::fprintf(stderr, "usage: bench_assist --make-song DIR [SEED] | --tap DIR | --perf FILE [RUNS]\n");
    return 2;
}
