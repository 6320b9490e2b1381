// Measures how far the program's position is from the audio actually heard.
// Driven by bench/tag_error.sh, which explains the method at its top; in short:
//
//   bench_tag_error --make-wav OUT.wav
//       writes the click track (48 kHz mono, 16 s, 5 ms clicks at irregular
//       known times) and prints the click times.
//   bench_tag_error --sink NAME [--job FORMAT MODE FILE]...
//       against a running PulseAudio whose sink NAME is a null sink: records
//       NAME.monitor with per-chunk CLOCK_MONOTONIC stamps, calibrates the
//       recording clock with clicks played through a raw stream of its own,
//       then plays each FILE in the real main window (MpvEngine, ao=pulse),
//       samples the engine's position every ~2 ms and clicks "插入时间" every
//       ~150 ms. MODE is "normal", "seek" (a jump forward mid-file) or
//       "slow" (0.75x). Prints the error of every click heard and a summary.

#include "ui/window/mainwindow.h"
#include "media/mpvengine.h"
#include "ui/components/platformtools.h"
#include "ui/components/playerwidget.h"

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace {

constexpr int Rate = 48000;
constexpr double TrackSeconds = 16.0;
constexpr double ClickSeconds = 0.005;

// Irregular but fixed: 0.5 s, then steps of 1.1 to 1.5 s.
std::vector<double> clickTimes()
{
    static const double steps[] = {1.13, 1.41, 1.27, 1.49, 1.18, 1.36, 1.22, 1.45, 1.31, 1.16, 1.39};
    std::vector<double> times{0.5};
    for (double step : steps)
        times.push_back(times.back() + step);
    for (double &t : times) // on a sample, so every decoder sees the same onset
        t = std::round(t * Rate) / Rate;
    return times;
}

// A 5 ms, 3 kHz burst starting at full amplitude: a sharp onset that lossy
// codecs keep within a sample or two.
float clickSample(long offset)
{
    return float(0.8 * std::cos(2 * M_PI * 3000.0 * offset / Rate));
}

bool writeClickTrack(const QString &path)
{
    const long total = long(TrackSeconds * Rate);
    std::vector<int16_t> pcm(size_t(total), 0);
    const long clickLen = long(ClickSeconds * Rate);
    for (double t : clickTimes()) {
        const long start = std::lround(t * Rate);
        for (long i = 0; i < clickLen && start + i < total; ++i)
            pcm[size_t(start + i)] = int16_t(std::lround(clickSample(i) * 32767));
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    auto u32 = [&](uint32_t v) { f.write(reinterpret_cast<const char *>(&v), 4); };
    auto u16 = [&](uint16_t v) { f.write(reinterpret_cast<const char *>(&v), 2); };
    const uint32_t dataBytes = uint32_t(pcm.size() * 2);
    f.write("RIFF");
    u32(36 + dataBytes);
    f.write("WAVEfmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(Rate);
    u32(Rate * 2);
    u16(2);
    u16(16);
    f.write("data");
    u32(dataBytes);
    f.write(reinterpret_cast<const char *>(pcm.data()), dataBytes);
    return f.error() == QFile::NoError;
}

long long monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double quantile(std::vector<double> v, double q)
{
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(q * double(v.size() - 1) + 0.5))];
}

// Click onsets in a signal, as sample indices: the first sample above a
// quarter of the loudest one, after at least 0.3 s below that level (which
// also skips the echoes a time-stretcher leaves right after a click).
std::vector<long> findOnsets(const std::vector<float> &x)
{
    float peak = 0;
    for (float v : x)
        peak = std::max(peak, std::fabs(v));
    std::vector<long> onsets;
    if (peak < 1e-3f)
        return onsets;
    const float threshold = 0.25f * peak;
    const long quiet = long(0.3 * Rate);
    long lastLoud = -quiet;
    for (long i = 0; i < long(x.size()); ++i) {
        if (std::fabs(x[size_t(i)]) >= threshold) {
            if (i - lastLoud >= quiet)
                onsets.push_back(i);
            lastLoud = i;
        }
    }
    return onsets;
}

// Where the file's own timestamps put the clicks, in seconds: decoded by
// FFmpeg (the library mpv demuxes and decodes with), encoder delay trimmed as
// the demuxer says, and each frame placed at its timestamp (aresample
// async=1, first_pts=0 pads any gap before the first frame). This differs
// from the written click times where a codec shifts its content against its
// timestamps; ffmpeg's own wmav2, for one, starts its first frame at 86 ms.
std::vector<double> decodedClickTimes(const QString &path)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                                            QStringLiteral("-af"), QStringLiteral("aresample=async=1:first_pts=0"),
                                            QStringLiteral("-ac"), QStringLiteral("1"), QStringLiteral("-ar"),
                                            QString::number(Rate), QStringLiteral("-f"), QStringLiteral("f32le"),
                                            QStringLiteral("-")});
    ffmpeg.waitForFinished(60000);
    const QByteArray raw = ffmpeg.readAllStandardOutput();
    std::vector<float> x(size_t(raw.size()) / sizeof(float));
    std::memcpy(x.data(), raw.constData(), x.size() * sizeof(float));
    std::vector<double> times;
    for (long i : findOnsets(x))
        times.push_back(double(i) / Rate);
    return times;
}

// ---------------------------------------------------------------------------
// PulseAudio: the monitor recorder and the calibration stream.

class PulseRig {
public:
    struct Chunk {
        long first;          // index of the chunk's first sample in the recording
        long long monoNs;    // CLOCK_MONOTONIC when the chunk was taken
        long long streamUs;  // stream time then: the position being captured now
    };

    ~PulseRig() { stop(); }

    bool start(const QByteArray &sink)
    {
        m_loop = pa_threaded_mainloop_new();
        m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "tarvelin-bench");
        pa_context_set_state_callback(m_context, &PulseRig::signal, this);
        if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0)
            return fail("connect");
        pa_threaded_mainloop_lock(m_loop);
        pa_threaded_mainloop_start(m_loop);
        for (;;) {
            const auto state = pa_context_get_state(m_context);
            if (state == PA_CONTEXT_READY)
                break;
            if (!PA_CONTEXT_IS_GOOD(state)) {
                pa_threaded_mainloop_unlock(m_loop);
                return fail("context");
            }
            pa_threaded_mainloop_wait(m_loop);
        }
        m_samples.reserve(size_t(Rate) * 900);

        const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, Rate, 1};
        m_record = pa_stream_new(m_context, "monitor", &format, nullptr);
        pa_stream_set_state_callback(m_record, &PulseRig::signal, this);
        pa_stream_set_read_callback(m_record, &PulseRig::onRead, this);
        pa_buffer_attr attr{};
        attr.maxlength = uint32_t(-1);
        attr.fragsize = uint32_t(Rate * sizeof(float) * 2 / 1000); // 2 ms
        attr.tlength = attr.prebuf = attr.minreq = uint32_t(-1);
        const QByteArray monitor = sink + ".monitor";
        const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING
                                             | PA_STREAM_AUTO_TIMING_UPDATE);
        const bool ok = pa_stream_connect_record(m_record, monitor.constData(), &attr, flags) >= 0
            && waitReady(m_record);
        pa_threaded_mainloop_unlock(m_loop);
        return ok || fail("record stream");
    }

    void stop()
    {
        if (!m_loop)
            return;
        pa_threaded_mainloop_lock(m_loop);
        if (m_record) {
            pa_stream_disconnect(m_record);
            pa_stream_unref(m_record);
            m_record = nullptr;
        }
        pa_context_disconnect(m_context);
        pa_threaded_mainloop_unlock(m_loop);
        pa_threaded_mainloop_stop(m_loop);
        pa_context_unref(m_context);
        pa_threaded_mainloop_free(m_loop);
        m_loop = nullptr;
    }

    long sampleCount()
    {
        std::lock_guard lock(m_mutex);
        return long(m_samples.size());
    }

    std::vector<float> samples(long from, long to)
    {
        std::lock_guard lock(m_mutex);
        to = std::min(to, long(m_samples.size()));
        return {m_samples.begin() + from, m_samples.begin() + std::max(from, to)};
    }

    // The CLOCK_MONOTONIC instant (ns) at which recorded sample `index` was
    // played by the sink, by PulseAudio's accounting: each chunk taken says
    // "the stream time being captured now is T", so sample n sounded at
    // stamp - (T - n / rate). Taken as the median over the chunks within
    // 0.1 s, for two reasons: the null sink's clock need not run at exactly
    // the rate of CLOCK_MONOTONIC (it was measured 0.08 % fast with small
    // blocks), which one fixed offset over a whole run would turn into a
    // drifting error; and when a new playback stream connects, the sink
    // rewinds and the relation jumps (by 250 ms once), so only chunks near
    // the sample describe it. Also returns the p5..p95 spread of those chunks.
    std::pair<double, double> playedAtNs(long index)
    {
        std::lock_guard lock(m_mutex);
        const long window = Rate / 10;
        auto it = std::lower_bound(m_chunks.begin(), m_chunks.end(), index - window,
                                   [](const Chunk &c, long i) { return c.first < i; });
        std::vector<double> at;
        for (; it != m_chunks.end() && it->first <= index + window; ++it)
            if (it->streamUs >= 0)
                at.push_back(double(it->monoNs) - double(it->streamUs) * 1000.0 + double(index) * 1e9 / Rate);
        return {median(at), quantile(at, 0.95) - quantile(at, 0.05)};
    }

    // Plays a click track of its own through a raw stream and returns, per
    // click, the CLOCK_MONOTONIC instant PulseAudio's playback accounting says
    // it is played (the same accounting mpv's audio-pts rests on).
    std::vector<double> playCalibrationClicks(const QByteArray &sink, int clicks, long &recordFrom, long &recordTo)
    {
        m_calClickIndex.clear();
        for (int i = 0; i < clicks; ++i)
            m_calClickIndex.push_back(long((1.5 + 0.77 * i + 0.013 * (i % 3)) * Rate));
        const long length = m_calClickIndex.back() + Rate / 2;
        m_calWritten = 0;
        m_calTiming.clear();

        recordFrom = sampleCount();
        pa_threaded_mainloop_lock(m_loop);
        const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, Rate, 1};
        pa_stream *play = pa_stream_new(m_context, "calibration", &format, nullptr);
        pa_stream_set_state_callback(play, &PulseRig::signal, this);
        pa_stream_set_write_callback(play, &PulseRig::onCalWrite, this);
        pa_buffer_attr attr{};
        attr.maxlength = attr.prebuf = attr.minreq = attr.fragsize = uint32_t(-1);
        attr.tlength = uint32_t(Rate * sizeof(float) * 20 / 1000); // 20 ms
        const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING
                                             | PA_STREAM_AUTO_TIMING_UPDATE);
        pa_stream_connect_playback(play, sink.constData(), &attr, flags, nullptr, nullptr);
        waitReady(play);
        pa_threaded_mainloop_unlock(m_loop);

        std::this_thread::sleep_for(std::chrono::milliseconds(long(1000.0 * length / Rate) + 600));

        pa_threaded_mainloop_lock(m_loop);
        pa_stream_disconnect(play);
        pa_stream_unref(play);
        std::vector<double> heard;
        for (long index : m_calClickIndex) {
            // As for the recording: from the stream times seen near the
            // click.
            std::vector<double> at;
            for (const auto &[streamUs, monoNs] : m_calTiming)
                if (std::abs(streamUs - index * 1e6 / Rate) < 100000)
                    at.push_back(monoNs - streamUs * 1000.0 + double(index) * 1e9 / Rate);
            heard.push_back(median(at));
        }
        pa_threaded_mainloop_unlock(m_loop);
        recordTo = sampleCount();
        return heard;
    }

private:
    bool fail(const char *what)
    {
        std::fprintf(stderr, "PulseAudio: %s failed: %s\n", what, pa_strerror(pa_context_errno(m_context)));
        return false;
    }

    bool waitReady(pa_stream *s)
    {
        for (;;) {
            const auto state = pa_stream_get_state(s);
            if (state == PA_STREAM_READY)
                return true;
            if (!PA_STREAM_IS_GOOD(state))
                return false;
            pa_threaded_mainloop_wait(m_loop);
        }
    }

    static void signal(pa_context *, void *self)
    {
        pa_threaded_mainloop_signal(static_cast<PulseRig *>(self)->m_loop, 0);
    }
    static void signal(pa_stream *, void *self)
    {
        pa_threaded_mainloop_signal(static_cast<PulseRig *>(self)->m_loop, 0);
    }

    static void onRead(pa_stream *s, size_t, void *context)
    {
        auto *self = static_cast<PulseRig *>(context);
        const void *data = nullptr;
        size_t bytes = 0;
        while (pa_stream_readable_size(s) > 0 && pa_stream_peek(s, &data, &bytes) >= 0 && bytes > 0) {
            const long long now = monotonicNs();
            pa_usec_t t = 0;
            const bool timed = pa_stream_get_time(s, &t) >= 0;
            {
                std::lock_guard lock(self->m_mutex);
                const long first = long(self->m_samples.size());
                self->m_chunks.push_back({first, now, timed ? (long long)t : -1});
                const size_t n = bytes / sizeof(float);
                if (data) {
                    const auto *f = static_cast<const float *>(data);
                    self->m_samples.insert(self->m_samples.end(), f, f + n);
                } else { // a hole: keep the timeline, fill with silence
                    self->m_samples.resize(self->m_samples.size() + n, 0.0f);
                }
            }
            pa_stream_drop(s);
        }
    }

    static void onCalWrite(pa_stream *s, size_t bytes, void *context)
    {
        auto *self = static_cast<PulseRig *>(context);
        pa_usec_t t = 0;
        // Stream time = the position being played now. Only once playback
        // is well under way.
        if (pa_stream_get_time(s, &t) >= 0 && t > 100000)
            self->m_calTiming.push_back({double(t), double(monotonicNs())});
        std::vector<float> buf(bytes / sizeof(float), 0.0f);
        const long clickLen = long(ClickSeconds * Rate);
        for (size_t i = 0; i < buf.size(); ++i) {
            const long index = self->m_calWritten + long(i);
            for (long start : self->m_calClickIndex)
                if (index >= start && index < start + clickLen)
                    buf[i] = clickSample(index - start);
        }
        self->m_calWritten += long(buf.size());
        pa_stream_write(s, buf.data(), buf.size() * sizeof(float), nullptr, 0, PA_SEEK_RELATIVE);
    }

    pa_threaded_mainloop *m_loop = nullptr;
    pa_context *m_context = nullptr;
    pa_stream *m_record = nullptr;
    std::mutex m_mutex;
    std::vector<float> m_samples;
    std::vector<Chunk> m_chunks;
    // calibration (touched on the mainloop thread, read under its lock)
    std::vector<long> m_calClickIndex;
    std::vector<std::pair<double, double>> m_calTiming; // stream time us, CLOCK_MONOTONIC ns
    long m_calWritten = 0;
};

// Onsets in the recording between two sample indices, as CLOCK_MONOTONIC
// instants (ns) at which they were played, corrected by the rig's offset.
std::vector<double> heardInstants(PulseRig &rig, long from, long to, double rigOffsetNs)
{
    std::vector<double> heard;
    double worstSpread = 0;
    for (long i : findOnsets(rig.samples(from, to))) {
        const auto [at, spread] = rig.playedAtNs(from + i);
        heard.push_back(at - rigOffsetNs);
        worstSpread = std::max(worstSpread, spread);
    }
    if (worstSpread > 1e6)
        std::printf("  (recording timestamps scatter by up to %.2f ms p5..p95 around a click)\n", worstSpread / 1e6);
    return heard;
}

// Calibration: clicks through a raw stream of known timing, found in the
// recording; the median difference is the recording side's bias.
std::optional<double> calibrate(PulseRig &rig, const QByteArray &sink, const char *when)
{
    long from = 0, to = 0;
    const std::vector<double> expected = rig.playCalibrationClicks(sink, 8, from, to);
    const std::vector<double> found = heardInstants(rig, from, to, 0);
    std::vector<double> diffs;
    QString perClick;
    for (double e : expected) {
        double best = 1e18;
        for (double f : found)
            if (std::fabs(f - e) < std::fabs(best))
                best = f - e;
        if (std::fabs(best) < 100e6) {
            diffs.push_back(best / 1e6);
            perClick += QString::asprintf(" %+.2f", best / 1e6);
        } else {
            perClick += found.empty() ? QStringLiteral(" miss") : QString::asprintf(" miss(%+.0f)", best / 1e6);
        }
    }
    std::printf("calibration %s: %zu of %zu clicks found; recorded minus played (ms):%s", when, diffs.size(),
                expected.size(), qPrintable(perClick));
    if (diffs.size() < expected.size() / 2) {
        std::printf("\n");
        return std::nullopt;
    }
    const double med = median(diffs);
    const double spread = *std::max_element(diffs.begin(), diffs.end()) - *std::min_element(diffs.begin(), diffs.end());
    std::printf("  median %+.2f, spread %.2f\n", med, spread);
    // A calibration whose clicks disagree by more than 2 ms caught the
    // sound server while its timing was still settling: not used.
    if (spread > 2.0)
        return std::nullopt;
    return med * 1e6;
}

std::optional<double> calibrateSettled(PulseRig &rig, const QByteArray &sink, const char *when)
{
    for (int attempt = 0; attempt < 3; ++attempt)
        if (const auto offset = calibrate(rig, sink, when))
            return offset;
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// The program under test.

class BenchTools final : public tarvelin::PlatformTools {
public:
    std::optional<QString> chooseFile(QWidget *, FileMode, const QString &, const QStringList &) override
    {
        return std::nullopt;
    }
    void showError(QWidget *, const QString &title, const QString &text) override
    {
        ++errors;
        std::fprintf(stderr, "error box: %s: %s\n", qPrintable(title), qPrintable(text));
    }
    CloseAnswer askSaveBeforeClose(QWidget *) override { return CloseAnswer::Discard; }
    bool openUrl(const QUrl &) override { return false; }
    int errors = 0;
};

struct Job {
    QString format;
    QString mode; // normal | seek | slow
    QString path;
};

struct PositionSample {
    double monoNs;
    double seconds;
};

struct TagClick {
    double beforeNs;
    double afterNs;
};

struct JobResult {
    std::vector<double> errorsMs;        // against the click times written into the track
    std::vector<double> decodedErrorsMs; // against where the decoder puts them
    std::vector<double> tagErrorsMs;     // tag text against the time heard at the click
    std::vector<double> handlerMs;
    double codecDelayMs = NAN;
    int jumps = 0;            // position steps off the playback rate by more than 2 ms
    double largestJumpMs = 0;
    int unmatched = 0;
    int missed = 0;
};

// The position the program would have reported at a given instant.
std::optional<double> positionAt(const std::vector<PositionSample> &s, double monoNs)
{
    auto it = std::lower_bound(s.begin(), s.end(), monoNs,
                               [](const PositionSample &a, double t) { return a.monoNs < t; });
    if (it == s.begin() || it == s.end())
        return std::nullopt;
    const PositionSample &b = *it, &a = *(it - 1);
    if (b.monoNs - a.monoNs > 20e6) // a gap in the sampling: no honest answer
        return std::nullopt;
    return a.seconds + (b.seconds - a.seconds) * (monoNs - a.monoNs) / (b.monoNs - a.monoNs);
}

double parseTag(const QString &tag)
{
    const QStringList parts = tag.split(QLatin1Char(':'));
    return parts.value(0).toDouble() * 60 + parts.value(1).toDouble();
}

// What one playback left behind, analysed once the rig's calibration is known.
struct JobRun {
    Job job;
    bool played = false;
    QString error;
    std::vector<PositionSample> samples;
    std::vector<TagClick> tagClicks;
    QString editorText;
    long recordFrom = 0;
    long recordTo = 0;
    bool seekDone = false;
    double seekNs = 0;
};

constexpr double SeekAt = 5.0;      // seek run: when the position passes this,
constexpr int SeekToClick = 7;      // jump to 0.15 s before this click (0-based)

// The window's widgets, found by their design names.
template <typename T>
T *part(const QWidget &window, const char *name)
{
    return window.findChild<T *>(QLatin1String(name));
}

JobRun runJob(QApplication &app, tarvelin::MainWindow &window, PulseRig &rig, const Job &job)
{
    auto *const player = part<tarvelin::PlayerWidget>(window, "music1");
    auto *const editor = part<QPlainTextEdit>(window, "Text3");
    JobRun run;
    run.job = job;
    const std::vector<double> clicks = clickTimes();
    tarvelin::MediaEngine *engine = player->engine();
    const bool seek = job.mode == QLatin1String("seek");
    const double speed = job.mode == QLatin1String("slow") ? 0.75 : 1.0;
    engine->setSpeed(speed);
    editor->clear();
    // Unload the previous file first, so that the state seen below is the
    // new file's. Lets the speed change land too.
    player->setUrl(QString());
    const double unloadNs = double(monotonicNs());
    while (engine->state() != tarvelin::MediaEngine::State::Empty && double(monotonicNs()) < unloadNs + 2e9) {
        app.processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }

    run.samples.reserve(20000);
    run.recordFrom = rig.sampleCount();
    const double startNs = double(monotonicNs());
    const double limitNs = startNs + (TrackSeconds / speed + 4) * 1e9;
    double nextTagNs = startNs + 0.3e9;

    player->setUrl(job.path);
    for (;;) {
        app.processEvents();
        const double t0 = double(monotonicNs());
        const auto pos = engine->position();
        const double t1 = double(monotonicNs());
        const auto state = engine->state();
        if (state == tarvelin::MediaEngine::State::Playing) {
            run.played = true;
            if (pos)
                run.samples.push_back({(t0 + t1) / 2, *pos});
        } else if (run.played || t1 > limitNs) {
            break; // played to the end (the player stops at the end) or never started
        }
        if (seek && !run.seekDone && pos && *pos >= SeekAt) {
            engine->seek(clicks[SeekToClick] - 0.15);
            run.seekDone = true;
            run.seekNs = t1;
        }
        if (run.played && t1 >= nextTagNs) {
            const double before = double(monotonicNs());
            QTest::mouseClick(part<QPushButton>(window, "Command3"), Qt::LeftButton);
            const double after = double(monotonicNs());
            run.tagClicks.push_back({before, after});
            nextTagNs = after + 0.15e9;
        }
        timespec pause{0, 2000000};
        nanosleep(&pause, nullptr);
    }
    // Let the tail of the recording arrive.
    const double endNs = double(monotonicNs());
    while (double(monotonicNs()) < endNs + 0.3e9) {
        app.processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.recordTo = rig.sampleCount();
    run.editorText = editor->toPlainText();
    run.error = tarvelin::PlayerWidget::failureText(engine->failure());
    engine->setSpeed(1.0);
    return run;
}

JobResult analyseJob(PulseRig &rig, const JobRun &run, double rigOffsetNs)
{
    JobResult result;
    const Job &job = run.job;
    const std::vector<double> clicks = clickTimes();
    const bool seek = job.mode == QLatin1String("seek");
    const double speed = job.mode == QLatin1String("slow") ? 0.75 : 1.0;
    const double seekTo = clicks[SeekToClick] - 0.15;
    const bool seekDone = run.seekDone;
    const double seekNs = run.seekNs;
    const auto &samples = run.samples;
    const auto &tagClicks = run.tagClicks;
    for (const TagClick &c : tagClicks)
        result.handlerMs.push_back((c.afterNs - c.beforeNs) / 1e6);
    if (!run.played) {
        std::printf("  %s did not play: %s\n", qPrintable(job.path), qPrintable(run.error));
        result.missed = int(clicks.size());
        return result;
    }
    const std::vector<double> decoded = decodedClickTimes(job.path);
    if (decoded.size() == clicks.size()) {
        std::vector<double> d;
        for (size_t i = 0; i < clicks.size(); ++i)
            d.push_back((decoded[i] - clicks[i]) * 1000);
        result.codecDelayMs = median(d);
    } else {
        std::printf("  decoding found %zu clicks of %zu; decoded times not used\n", decoded.size(), clicks.size());
    }

    // Between two readings a few ms apart the position should advance by the
    // elapsed time times the speed; count the readings where it does not
    // (not across the seek).
    QString jumpList;
    for (size_t i = 1; i < samples.size(); ++i) {
        const double dt = (samples[i].monoNs - samples[i - 1].monoNs) / 1e9;
        if (dt > 0.02 || (seek && samples[i - 1].monoNs < seekNs + 0.5e9 && samples[i].monoNs > seekNs - 0.1e9))
            continue;
        const double step = std::fabs(samples[i].seconds - samples[i - 1].seconds - dt * speed) * 1000;
        result.largestJumpMs = std::max(result.largestJumpMs, step);
        if (step > 2.0 && ++result.jumps <= 6)
            jumpList += QString::asprintf(" %.3f s %+.1f ms;", samples[i - 1].seconds,
                                          (samples[i].seconds - samples[i - 1].seconds - dt * speed) * 1000);
    }
    if (result.jumps)
        std::printf("  %-5s %-6s  position jumps (first 6, at position):%s\n", qPrintable(job.format),
                    qPrintable(job.mode), qPrintable(jumpList));

    const std::vector<double> heard = heardInstants(rig, run.recordFrom, run.recordTo, rigOffsetNs);
    std::printf("  %-5s %-6s  click  written s  in file s  position s  error ms  vs file ms\n",
                qPrintable(job.format), qPrintable(job.mode));
    std::vector<bool> matched(clicks.size(), false);
    struct Heard { double monoNs; double fileSeconds; };
    std::vector<Heard> heardClicks;
    for (double h : heard) {
        const auto pos = positionAt(samples, h);
        if (!pos) {
            ++result.unmatched;
            continue;
        }
        size_t best = 0;
        for (size_t i = 1; i < clicks.size(); ++i)
            if (std::fabs(clicks[i] - *pos) < std::fabs(clicks[best] - *pos))
                best = i;
        if (std::fabs(clicks[best] - *pos) > 0.2) {
            ++result.unmatched;
            continue;
        }
        matched[best] = true;
        const double err = (*pos - clicks[best]) * 1000;
        result.errorsMs.push_back(err);
        double errDecoded = NAN;
        if (!std::isnan(result.codecDelayMs)) {
            errDecoded = (*pos - decoded[best]) * 1000;
            result.decodedErrorsMs.push_back(errDecoded);
        }
        heardClicks.push_back({h, decoded.size() == clicks.size() ? decoded[best] : clicks[best]});
        std::printf("  %-5s %-6s  %5zu  %9.3f  %9.3f  %10.4f  %+8.2f  %+10.2f%s\n", qPrintable(job.format),
                    qPrintable(job.mode), best + 1, clicks[best],
                    decoded.size() == clicks.size() ? decoded[best] : NAN, *pos, err, errDecoded,
                    seek && seekDone && h > seekNs ? "  (after seek)" : "");
    }
    for (size_t i = 0; i < clicks.size(); ++i) {
        const bool skipped = seek && clicks[i] > SeekAt && clicks[i] < seekTo;
        if (!matched[i] && !skipped)
            ++result.missed;
    }

    // The tags the clicks on "插入时间" wrote, against the time in the file
    // that was heard at that moment (from the nearest click heard, at the
    // playback speed; not across the seek).
    static const QRegularExpression tagPattern(QStringLiteral("\\[(\\d+:\\d\\d\\.\\d\\d)\\]"));
    std::vector<double> tags;
    for (auto it = tagPattern.globalMatch(run.editorText); it.hasNext();)
        tags.push_back(parseTag(it.next().captured(1)));
    if (tags.size() != tagClicks.size())
        std::printf("  %zu tags in the editor after %zu clicks\n", tags.size(), tagClicks.size());
    for (size_t i = 0; i < std::min(tags.size(), tagClicks.size()); ++i) {
        const double at = tagClicks[i].beforeNs; // the handler reads the position first
        if (seek && std::fabs(at - seekNs) < 1.0e9)
            continue;
        const Heard *nearest = nullptr;
        for (const Heard &h : heardClicks)
            if ((!seek || ((h.monoNs > seekNs) == (at > seekNs)))
                && (!nearest || std::fabs(h.monoNs - at) < std::fabs(nearest->monoNs - at)))
                nearest = &h;
        if (!nearest || std::fabs(nearest->monoNs - at) > 1.6e9)
            continue;
        const double truth = nearest->fileSeconds + (at - nearest->monoNs) / 1e9 * speed;
        if (truth < 0.05) // nothing of the file heard yet: the tag says 00:00.00, nothing to compare
            continue;
        result.tagErrorsMs.push_back((tags[i] - truth) * 1000);
    }
    return result;
}

double maxAbs(const std::vector<double> &v)
{
    double m = 0;
    for (double x : v)
        m = std::max(m, std::fabs(x));
    return v.empty() ? NAN : m;
}

int runBench(int argc, char **argv)
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");

    QByteArray sink;
    std::vector<Job> jobs;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--sink") && i + 1 < argc)
            sink = argv[++i];
        else if (!std::strcmp(argv[i], "--job") && i + 3 < argc) {
            jobs.push_back({QString::fromLocal8Bit(argv[i + 1]), QString::fromLocal8Bit(argv[i + 2]),
                            QString::fromLocal8Bit(argv[i + 3])});
            i += 3;
        }
    }
    if (sink.isEmpty() || jobs.empty()) {
        std::fprintf(stderr, "usage: %s --sink NAME --job FORMAT normal|seek|slow FILE ...\n", argv[0]);
        return 2;
    }

    PulseRig rig;
    if (!rig.start(sink))
        return 1;
    // The record stream's timing settles within its first few hundred ms.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const auto before = calibrateSettled(rig, sink, "before");

    BenchTools tools;
    tarvelin::MpvEngine::Options options;
    options.audioOutput = QStringLiteral("pulse");
    tarvelin::MainWindow window(tools, std::make_unique<tarvelin::MpvEngine>(options));
    window.show();
    part<tarvelin::PlayerWidget>(window, "music1")->engine()->setVolume(100);

    std::vector<JobRun> runs;
    for (const Job &job : jobs) {
        std::printf("playing %s (%s)\n", qPrintable(job.path), qPrintable(job.mode));
        std::fflush(stdout);
        runs.push_back(runJob(app, window, rig, job));
    }
    part<tarvelin::PlayerWidget>(window, "music1")->setUrl(QString());
    app.processEvents();
    const auto after = calibrateSettled(rig, sink, "after");
    if (!before && !after) {
        std::fprintf(stderr, "no usable calibration: the recording cannot be trusted\n");
        return 1;
    }
    // The rig's offset between its recording and playback accounting: the
    // mean of the two calibrations, which bracket all the runs.
    const double rigOffsetNs = before && after ? (*before + *after) / 2 : before ? *before : *after;

    struct Row {
        Job job;
        JobResult result;
    };
    std::vector<Row> rows;
    for (const JobRun &run : runs)
        rows.push_back({run.job, analyseJob(rig, run, rigOffsetNs)});

    std::printf("\nerror = program's position when the click was heard - the click's time in the file;"
                " + means the program runs ahead of what is heard.\n");
    std::printf("tag = the text \"插入时间\" wrote (cut to 10 ms) - the file time heard at the click.\n");
    std::printf("file offset = where the file's timestamps put the clicks - where they were written;"
                " 'vs file' = error against the former.\n");
    std::printf("jumps = position readings ~2 ms apart whose step is off the playback rate by > 2 ms (largest).\n");
    std::printf("%-6s %-6s %7s %13s %12s %16s %15s %18s %14s\n", "format", "mode", "clicks", "max|error| ms",
                "mean ms", "file offset ms", "max|vs file| ms", "tag err min..max ms", "jumps (ms)");
    std::vector<double> allHandler;
    double worst = 0, worstVsFile = 0;
    int problems = 0;
    for (const Row &r : rows) {
        const auto &e = r.result.errorsMs;
        double mean = 0;
        for (double x : e)
            mean += x / double(e.size());
        const auto &t = r.result.tagErrorsMs;
        std::printf("%-6s %-6s %4zu/%-2zu %13.2f %12.2f %16.2f %15.2f %8.1f..%-8.1f %5d (%5.1f)%s\n",
                    qPrintable(r.job.format), qPrintable(r.job.mode), e.size(), e.size() + size_t(r.result.missed),
                    maxAbs(e), e.empty() ? NAN : mean, r.result.codecDelayMs, maxAbs(r.result.decodedErrorsMs),
                    t.empty() ? NAN : *std::min_element(t.begin(), t.end()),
                    t.empty() ? NAN : *std::max_element(t.begin(), t.end()), r.result.jumps,
                    r.result.largestJumpMs, r.result.unmatched ? "  (some onsets unmatched)" : "");
        allHandler.insert(allHandler.end(), r.result.handlerMs.begin(), r.result.handlerMs.end());
        worst = std::max(worst, maxAbs(e));
        worstVsFile = std::max(worstVsFile, maxAbs(r.result.decodedErrorsMs));
        problems += r.result.missed;
    }
    std::printf("\nworst |error| over all runs: %.2f ms against the written times, %.2f ms against the files'"
                " timestamps (goal <= 5 ms): %s%s\n",
                worst, worstVsFile, worst <= 5.0 && !problems ? "MET" : "NOT MET", problems ? " (clicks missed)" : "");
    const auto show = [](const std::optional<double> &v) {
        return v ? QString::asprintf("%+.2f ms", *v / 1e6) : QStringLiteral("unusable");
    };
    std::printf("rig calibration: before %s, after %s; subtracted from the heard instants: %+.2f ms\n",
                qPrintable(show(before)), qPrintable(show(after)), rigOffsetNs / 1e6);
    std::printf("handler time, click on 插入时间 to tag in the editor, %zu clicks while playing:"
                " median %.3f ms, p99 %.3f ms, max %.3f ms (goal well under 16 ms)\n",
                allHandler.size(), median(allHandler), quantile(allHandler, 0.99),
                allHandler.empty() ? NAN : *std::max_element(allHandler.begin(), allHandler.end()));
    if (tools.errors)
        std::printf("%d error boxes were shown\n", tools.errors);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && !std::strcmp(argv[1], "--make-wav")) {
        if (!writeClickTrack(QString::fromLocal8Bit(argv[2]))) {
            std::fprintf(stderr, "cannot write %s\n", argv[2]);
            return 1;
        }
        for (double t : clickTimes())
            std::printf("%.6f\n", t);
        return 0;
    }
    return runBench(argc, argv);
}
