// Measures how far the time in the tags the program writes is from the audio
// actually heard. Driven by bench/tag_error.sh, which explains the method at
// its top; in short:
//
//   bench_tag_error --make-wav OUT.wav
//       writes the click track (48 kHz mono, 16 s, 5 ms clicks at irregular
//       known times) and prints the click times.
//   bench_tag_error --sink NAME [--job FORMAT MODE FILE]...
//       on an X server, against a running PulseAudio whose sink NAME is a null
//       sink: records NAME.monitor, calibrates the recording's clock with
//       clicks of its own, then for each FILE drives the real main window
//       through X (导入歌曲, the player's menu for the speed, ▶, 插入时间 every
//       200 ms) and compares every tag with what was heard at its click. MODE
//       is "normal", "seek" (a jump forward mid-file) or "slow" (0.75x).
//       Exits 3 when a run does not meet the goal.

#include "media/mpvengine.h"
#include "desktop/platformtools.h"
#include "widgets/playerwidget.h"
#include "window/mainwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Last: X11's headers define macros that clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include "common.h"

using bench::median;
using bench::quantile;

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

    // When recorded sample `index` was played by the sink, as CLOCK_MONOTONIC
    // ns, two ways.
    // - By PulseAudio's accounting: each chunk taken says "the stream time
    //   being captured now is T", so sample n sounded at stamp - (T - n/rate).
    //   The median over the chunks within 0.1 s, because the null sink's clock
    //   need not run at exactly the rate of CLOCK_MONOTONIC (0.08 % fast was
    //   measured with small blocks), and because when a new playback stream
    //   connects the sink rewinds and the relation jumps (by 250 ms once), so
    //   only chunks near the sample describe it. `spread` is their p5..p95.
    // - By arrival: a chunk's last sample cannot have sounded after the chunk
    //   arrived here, so each chunk bounds the instant of sample n from above
    //   by stamp - (chunk end - n)/rate; the tightest bound of the chunks
    //   within 0.1 s is taken. It leans early by what the sink renders ahead.
    struct PlayedAt {
        double accountingNs;
        double spreadNs;
        double arrivalNs;
    };
    PlayedAt playedAt(long index)
    {
        std::lock_guard lock(m_mutex);
        const long window = Rate / 10;
        auto it = std::lower_bound(m_chunks.begin(), m_chunks.end(), index - window,
                                   [](const Chunk &c, long i) { return c.first < i; });
        std::vector<double> at;
        double arrival = INFINITY;
        for (; it != m_chunks.end() && it->first <= index + window; ++it) {
            const long end = it + 1 != m_chunks.end() ? (it + 1)->first : long(m_samples.size());
            arrival = std::min(arrival, double(it->monoNs) - double(end - index) * 1e9 / Rate);
            if (it->streamUs >= 0)
                at.push_back(double(it->monoNs) - double(it->streamUs) * 1000.0 + double(index) * 1e9 / Rate);
        }
        return {median(at), quantile(at, 0.95) - quantile(at, 0.05), arrival};
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

// Onsets in the recording between two sample indices, as the instants they
// were played (PulseAudio's accounting, corrected by the rig's offset); and
// how far the arrival times put them from there.
std::vector<double> heardInstants(PulseRig &rig, long from, long to, double rigOffsetNs,
                                  std::vector<double> *arrivalMinusAccounting = nullptr)
{
    std::vector<double> heard;
    double worstSpread = 0;
    for (long i : findOnsets(rig.samples(from, to))) {
        const auto at = rig.playedAt(from + i);
        heard.push_back(at.accountingNs - rigOffsetNs);
        worstSpread = std::max(worstSpread, at.spreadNs);
        if (arrivalMinusAccounting)
            arrivalMinusAccounting->push_back((at.arrivalNs - at.accountingNs) / 1e6);
    }
    if (worstSpread > 1e6)
        std::printf("  (recording timestamps scatter by up to %.2f ms p5..p95 around a click)\n", worstSpread / 1e6);
    return heard;
}

QString range(const std::vector<double> &v)
{
    if (v.empty())
        return QStringLiteral("-");
    return QString::asprintf("median %+.2f, %+.2f..%+.2f", median(v), *std::min_element(v.begin(), v.end()),
                             *std::max_element(v.begin(), v.end()));
}

// Calibration: clicks through a raw stream of known timing, found in the
// recording. The median of recorded minus played is the recording side's
// bias, subtracted from every heard instant; the same by arrival times says
// how far the two ways of timing the recording agree.
std::optional<double> calibrate(PulseRig &rig, const QByteArray &sink, const char *when)
{
    long from = 0, to = 0;
    const std::vector<double> expected = rig.playCalibrationClicks(sink, 8, from, to);
    std::vector<double> arrivalShift;
    const std::vector<double> found = heardInstants(rig, from, to, 0, &arrivalShift);
    std::vector<double> diffs, arrivalDiffs;
    for (double e : expected) {
        size_t best = 0;
        for (size_t i = 1; i < found.size(); ++i)
            if (std::fabs(found[i] - e) < std::fabs(found[best] - e))
                best = i;
        if (!found.empty() && std::fabs(found[best] - e) < 100e6) {
            diffs.push_back((found[best] - e) / 1e6);
            arrivalDiffs.push_back(diffs.back() + arrivalShift[best]);
        }
    }
    std::printf("calibration %s: %zu of %zu clicks; recorded - played, ms: by accounting %s; by arrival %s\n", when,
                diffs.size(), expected.size(), qPrintable(range(diffs)), qPrintable(range(arrivalDiffs)));
    // Fewer than half the clicks, or clicks that disagree by more than 2 ms:
    // the sound server's timing was still settling. Not used.
    if (diffs.size() < expected.size() / 2
        || *std::max_element(diffs.begin(), diffs.end()) - *std::min_element(diffs.begin(), diffs.end()) > 2.0)
        return std::nullopt;
    return median(diffs) * 1e6;
}

std::optional<double> calibrateSettled(PulseRig &rig, const QByteArray &sink, const char *when)
{
    for (int attempt = 0; attempt < 3; ++attempt)
        if (const auto offset = calibrate(rig, sink, when))
            return offset;
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// The program under test, driven through X as a user drives it.

// Mouse input through the X server (XTest), as a real mouse gives it: the
// program sees real press and release events through its own event loop.
class XMouse {
public:
    XMouse() : m_display(XOpenDisplay(nullptr)) {}
    ~XMouse()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }
    bool ok() const { return m_display; }

    void moveTo(QWidget *widget, QPoint at)
    {
        const QPoint global = widget->mapToGlobal(at);
        XTestFakeMotionEvent(m_display, -1, global.x(), global.y(), CurrentTime);
        XFlush(m_display);
    }
    // Presses (down) or releases a button; returns CLOCK_MONOTONIC once the
    // event has gone to the X server.
    double button(unsigned button, bool down)
    {
        XTestFakeButtonEvent(m_display, button, down ? 1 : 0, CurrentTime);
        XFlush(m_display);
        return double(monotonicNs());
    }

private:
    Display *m_display;
};

class BenchTools final : public tarvelin::DesktopTools {
public:
    // The song dialog answers with the file of the run at hand.
    std::optional<QString> chooseFile(QWidget *, FileMode, const QString &, const QStringList &) override
    {
        return nextFile;
    }
    void showError(QWidget *, const QString &title, const QString &text) override
    {
        ++errors;
        std::fprintf(stderr, "error box: %s: %s\n", qPrintable(title), qPrintable(text));
    }
    CloseAnswer askSaveBeforeClose(QWidget *) override { return CloseAnswer::Discard; }
    bool openUrl(const QUrl &) override { return false; }
    QString nextFile;
    int errors = 0;
};

// Lets the event loop run for a while, or until `done` holds.
bool runUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

constexpr int HoldMs = 90;     // how long a click holds the button down
constexpr int PressEveryMs = 200;

struct Press {
    double downNs;
    double upNs;
    double tagNs = NAN;   // when the tag appeared in the editor
};
// The moment the program takes a tag's time from: the press (the button
// inserts the tag at the release, with the time of the press).
constexpr double Press::*TagMoment = &Press::downNs;

// The user's click: press, hold, release, with the event loop running.
Press click(XMouse &mouse, QWidget *widget, QPoint at = {})
{
    mouse.moveTo(widget, at.isNull() ? widget->rect().center() : at);
    QCoreApplication::processEvents();
    Press p{mouse.button(1, true), 0};
    runUntil([] { return false; }, HoldMs);
    p.upNs = mouse.button(1, false);
    return p;
}

QAction *actionNamed(QMenu *menu, const std::function<bool(const QString &)> &match)
{
    for (QAction *a : menu->actions())
        if (match(a->text().remove(QLatin1Char('&'))))
            return a;
    return nullptr;
}

// Chooses a speed in the player's right-click menu: 播放速度, then the step.
// The menu runs an event loop of its own, so the clicks on it come from a
// timer that runs inside that loop.
bool chooseSpeed(XMouse &mouse, QWidget *player, tarvelin::MediaEngine *engine, double speed)
{
    if (qFuzzyCompare(engine->speed(), speed))
        return true;
    QMenu *speeds = nullptr;
    bool busy = false, failed = false;
    QTimer driver;
    driver.setInterval(10);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu || busy)
            return;
        QAction *action = nullptr;
        if (!speeds) {
            action = actionNamed(menu, [](const QString &t) { return t == QStringLiteral("播放速度"); });
            speeds = action ? action->menu() : nullptr;
        } else if (menu == speeds) {
            action = actionNamed(menu, [speed](QString t) {
                bool ok = false;
                return qFuzzyCompare(t.remove(QStringLiteral("×")).toDouble(&ok), speed) && ok;
            });
        } else {
            return; // the submenu is still opening
        }
        if (!action) {
            failed = true;
            menu->close();
            return;
        }
        busy = true;
        click(mouse, menu, menu->actionGeometry(action).center());
        busy = false;
    });
    driver.start();
    mouse.moveTo(player, {player->width() / 3, 30});
    mouse.button(3, true);
    mouse.button(3, false);
    return runUntil([&] { return failed || qFuzzyCompare(engine->speed(), speed); }, 5000) && !failed;
}

// The player's play button: the first of its row, at the bottom left.
QAbstractButton *playButton(QWidget *player)
{
    QAbstractButton *best = nullptr;
    for (QAbstractButton *b : player->findChildren<QAbstractButton *>()) {
        const QPoint at = b->mapTo(player, QPoint());
        if (b->isVisible()
            && (!best || at.y() > best->mapTo(player, QPoint()).y() + 4
                || (std::abs(at.y() - best->mapTo(player, QPoint()).y()) <= 4 && at.x() < best->mapTo(player, QPoint()).x())))
            best = b;
    }
    return best;
}

struct Job {
    QString format;
    QString mode; // normal | seek | slow
    QString path;
    double speed() const { return mode == QLatin1String("slow") ? 0.75 : 1.0; }
};

struct PositionSample {
    double monoNs;
    double seconds;
};

// What one playback left behind, analysed once the rig's calibration is known.
struct JobRun {
    Job job;
    bool played = false;
    QString failure;
    std::vector<PositionSample> samples;
    std::vector<Press> presses;
    QString editorText;
    long recordFrom = 0;
    long recordTo = 0;
    double seekNs = NAN;
    double endNs = NAN;
};

constexpr double SeekAt = 5.0;      // seek run: when the position passes this,
constexpr int SeekToClick = 7;      // jump to 0.15 s before this click (0-based)

struct Window {
    QWidget *importSong, *insertTime, *player;
    QPlainTextEdit *editor;
    tarvelin::MediaEngine *engine;
};

JobRun runJob(Window &w, BenchTools &tools, XMouse &mouse, PulseRig &rig, const Job &job)
{
    JobRun run;
    run.job = job;
    tarvelin::MediaEngine *engine = w.engine;
    if (!chooseSpeed(mouse, w.player, engine, job.speed())) {
        run.failure = QStringLiteral("the speed could not be chosen in the player's menu");
        return run;
    }
    // 导入歌曲, answered with the file; the song loads, stopped at its start.
    tools.nextFile = job.path;
    click(mouse, w.importSong);
    if (!runUntil([&] { return engine->state() == tarvelin::MediaEngine::State::Stopped && engine->duration() > 0; },
                  5000)) {
        run.failure = QStringLiteral("not loaded: ") + tarvelin::PlayerWidget::failureText(engine->failure());
        return run;
    }
    w.editor->clear();
    run.samples.reserve(40000);
    run.recordFrom = rig.sampleCount();
    const std::vector<double> clicks = clickTimes();
    const bool seek = job.mode == QLatin1String("seek");

    // From here the event loop sleeps between a 1 ms timer's ticks; each tick
    // reads the position and does what is due.
    QAbstractButton *play = playButton(w.player);
    if (!play) {
        run.failure = QStringLiteral("no play button");
        return run;
    }
    mouse.moveTo(play, play->rect().center());
    double downNs = mouse.button(1, true);
    bool down = true;
    double nextNs = downNs + HoldMs * 1e6;
    bool playClicked = false;
    const double limitNs = downNs + (TrackSeconds / job.speed() + 5) * 1e9;
    QEventLoop loop;
    QTimer tick; // started again after each tick, so that every other event gets its turn
    tick.setTimerType(Qt::PreciseTimer);
    tick.setSingleShot(true);
    tick.setInterval(1);
    QObject::connect(w.editor, &QPlainTextEdit::textChanged, &loop, [&] {
        if (!run.presses.empty() && std::isnan(run.presses.back().tagNs))
            run.presses.back().tagNs = double(monotonicNs());
    });
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        auto again = qScopeGuard([&] {
            if (std::isnan(run.endNs))
                tick.start();
        });
        const double t0 = double(monotonicNs());
        const auto pos = engine->position();
        const double t1 = double(monotonicNs());
        if (engine->state() == tarvelin::MediaEngine::State::Playing) {
            run.played = true;
            if (pos)
                run.samples.push_back({(t0 + t1) / 2, *pos});
        } else if (run.played || t1 > limitNs) {
            run.endNs = t1; // played to the end, or never started
            loop.quit();
            return;
        }
        if (seek && std::isnan(run.seekNs) && pos && *pos >= SeekAt) {
            engine->seek(clicks[SeekToClick] - 0.15);
            run.seekNs = t1;
        }
        if (t1 < nextNs)
            return;
        if (down) {
            const double up = mouse.button(1, false);
            down = false;
            nextNs = downNs + PressEveryMs * 1e6;
            if (playClicked)
                run.presses.push_back({downNs, up});
            else
                mouse.moveTo(w.insertTime, w.insertTime->rect().center());
            playClicked = true;
        } else if (run.played) {
            downNs = mouse.button(1, true);
            down = true;
            nextNs = downNs + HoldMs * 1e6;
        }
    });
    tick.start();
    loop.exec();
    if (down) { // the song ended during a click: it is a click all the same
        const double up = mouse.button(1, false);
        if (playClicked)
            run.presses.push_back({downNs, up});
    }
    // Let the tail of the recording arrive.
    runUntil([] { return false; }, 300);
    run.recordTo = rig.sampleCount();
    run.editorText = w.editor->toPlainText();
    if (!run.played)
        run.failure = QStringLiteral("did not play: ") + tarvelin::PlayerWidget::failureText(engine->failure());
    return run;
}

struct JobResult {
    std::vector<double> positionErrorsMs; // position when heard - the click's time in the file
    std::vector<double> tagErrorsMs;      // tag - the file time heard at its moment
    std::vector<double> tagLatencyMs;     // release sent - tag in the editor
    double fileOffsetMs = NAN;
    int jumps = 0;            // position steps off the playback rate by more than 2 ms
    double largestJumpMs = 0;
    int missed = 0;
    QString note;
    QString jumpList; // the first few: where, by how much
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

JobResult analyseJob(PulseRig &rig, const JobRun &run, double rigOffsetNs, std::vector<double> &arrivalShift)
{
    JobResult result;
    const Job &job = run.job;
    const std::vector<double> clicks = clickTimes();
    const double speed = job.speed();
    const bool seeked = !std::isnan(run.seekNs);
    const auto &samples = run.samples;
    // Not across the seek: what lies on the same side of it.
    const auto sameSide = [&](double a, double b) { return !seeked || (a > run.seekNs) == (b > run.seekNs); };
    if (!run.failure.isEmpty()) {
        result.note = run.failure;
        result.missed = int(clicks.size());
        return result;
    }
    // Where the file's own timestamps put the clicks (a property of the
    // encoded file, e.g. ffmpeg's wmav2 stamping its content 43 ms late).
    std::vector<double> fileTimes = decodedClickTimes(job.path);
    if (fileTimes.size() == clicks.size()) {
        std::vector<double> d;
        for (size_t i = 0; i < clicks.size(); ++i)
            d.push_back((fileTimes[i] - clicks[i]) * 1000);
        result.fileOffsetMs = median(d);
    } else {
        result.note = QStringLiteral("decoding found %1 clicks; written times used").arg(fileTimes.size());
        fileTimes = clicks;
    }

    // Between two readings a few ms apart the position should advance by the
    // elapsed time times the speed (not across the seek).
    for (size_t i = 1; i < samples.size(); ++i) {
        const double dt = (samples[i].monoNs - samples[i - 1].monoNs) / 1e9;
        if (dt > 0.02 || (seeked && samples[i - 1].monoNs < run.seekNs + 0.5e9 && samples[i].monoNs > run.seekNs - 0.1e9))
            continue;
        const double step = std::fabs(samples[i].seconds - samples[i - 1].seconds - dt * speed) * 1000;
        result.largestJumpMs = std::max(result.largestJumpMs, step);
        if (step > 2.0 && ++result.jumps <= 4)
            result.jumpList += QString::asprintf(" %.3f s %+.1f ms;", samples[i - 1].seconds,
                                                 (samples[i].seconds - samples[i - 1].seconds - dt * speed) * 1000);
    }

    // The clicks heard, and the position the program gave at each.
    struct Heard { double monoNs; double fileSeconds; };
    std::vector<Heard> heard;
    std::vector<bool> matched(clicks.size(), false);
    for (double h : heardInstants(rig, run.recordFrom, run.recordTo, rigOffsetNs, &arrivalShift)) {
        const auto pos = positionAt(samples, h);
        if (!pos)
            continue;
        size_t best = 0;
        for (size_t i = 1; i < clicks.size(); ++i)
            if (std::fabs(fileTimes[i] - *pos) < std::fabs(fileTimes[best] - *pos))
                best = i;
        if (std::fabs(fileTimes[best] - *pos) > 0.2)
            continue;
        matched[best] = true;
        result.positionErrorsMs.push_back((*pos - fileTimes[best]) * 1000);
        heard.push_back({h, fileTimes[best]});
    }
    for (size_t i = 0; i < clicks.size(); ++i)
        if (!matched[i] && !(seeked && clicks[i] > SeekAt && clicks[i] < clicks[SeekToClick] - 0.15))
            ++result.missed;

    // The tags written into the editor, one per click on 插入时间, against the
    // file time heard at the click's moment (from the nearest click heard, at
    // the playback speed).
    static const QRegularExpression tagPattern(QStringLiteral("\\[(\\d+):(\\d\\d\\.\\d\\d)\\]"));
    std::vector<double> tags;
    for (auto it = tagPattern.globalMatch(run.editorText); it.hasNext();) {
        const auto m = it.next();
        tags.push_back(m.captured(1).toDouble() * 60 + m.captured(2).toDouble());
    }
    if (tags.size() != run.presses.size())
        result.note = QStringLiteral("%1 tags after %2 clicks").arg(tags.size()).arg(run.presses.size());
    for (size_t i = 0; i < std::min(tags.size(), run.presses.size()); ++i) {
        const Press &p = run.presses[i];
        result.tagLatencyMs.push_back((p.tagNs - p.upNs) / 1e6);
        const double at = p.*TagMoment;
        if ((seeked && std::fabs(at - run.seekNs) < 1.0e9) || at > run.endNs - 0.1e9)
            continue; // the seek lands within a moment, the end is near: no fair truth
        const Heard *nearest = nullptr;
        for (const Heard &h : heard)
            if (sameSide(h.monoNs, at) && (!nearest || std::fabs(h.monoNs - at) < std::fabs(nearest->monoNs - at)))
                nearest = &h;
        if (!nearest || std::fabs(nearest->monoNs - at) > 1.6e9)
            continue;
        const double truth = nearest->fileSeconds + (at - nearest->monoNs) / 1e9 * speed;
        if (truth >= 0.05) // before that nothing of the file is heard yet: the tag says 00:00.00
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

// The verdict on the tags: the position may be off what is heard by up to
// PositionGoalMs either way, and a tag is the position cut to the hundredth,
// 0..10 ms below it.
constexpr double PositionGoalMs = 5.0;
constexpr double CutMs = 10.0;
bool tagsMet(const std::vector<double> &e)
{
    return !e.empty() && *std::min_element(e.begin(), e.end()) >= -CutMs - PositionGoalMs
        && *std::max_element(e.begin(), e.end()) <= PositionGoalMs;
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
    XMouse mouse;
    if (!mouse.ok()) {
        std::fprintf(stderr, "no X display to send the clicks through\n");
        return 1;
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
    auto engine = std::make_unique<tarvelin::MpvEngine>(options);
    Window w{nullptr, nullptr, nullptr, nullptr, engine.get()};
    tarvelin::MainWindow window(tools, std::move(engine));
    window.show();
    w.importSong = window.findChild<QWidget *>(QStringLiteral("Command2"));
    w.insertTime = window.findChild<QWidget *>(QStringLiteral("Command3"));
    w.player = window.findChild<QWidget *>(QStringLiteral("music1"));
    w.editor = window.findChild<QPlainTextEdit *>(QStringLiteral("Text3"));
    if (!w.importSong || !w.insertTime || !w.player || !w.editor || !QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window's controls were not found\n");
        return 1;
    }
    w.engine->setVolume(100);

    std::vector<JobRun> runs;
    for (const Job &job : jobs) {
        std::printf("playing %s (%s)\n", qPrintable(job.path), qPrintable(job.mode));
        std::fflush(stdout);
        runs.push_back(runJob(w, tools, mouse, rig, job));
    }
    chooseSpeed(mouse, w.player, w.engine, 1.0);
    w.engine->load(QString());
    runUntil([] { return false; }, 300);
    const auto after = calibrateSettled(rig, sink, "after");
    if (!before && !after) {
        std::fprintf(stderr, "no usable calibration: the recording cannot be trusted\n");
        return 1;
    }
    // The rig's offset between its recording and playback accounting: the
    // mean of the two calibrations, which bracket all the runs.
    const double rigOffsetNs = before && after ? (*before + *after) / 2 : before ? *before : *after;

    std::printf("\ntag - heard: the time in each tag written by a click on 插入时间 minus the time in the file heard"
                " at the click's press; + means ahead of what is heard.\n"
                "verdict: MET when every tag is within [%+.0f, %+.0f] ms: the position within +-%.0f ms of what is"
                " heard, cut to the hundredth (0..%.0f ms down).\n"
                "position: the position read every ~1 ms, at the instant each click in the file was heard.\n"
                "jumps: readings ~1 ms apart whose step is off the playback rate by > 2 ms (count, largest).\n"
                "file offset: where the file's own timestamps put the clicks - where they were written.\n"
                "max latency: from a release sent through X to its tag in the editor, the longest in the run.\n\n",
                -CutMs - PositionGoalMs, PositionGoalMs, PositionGoalMs, CutMs);
    std::vector<double> latency, arrivalShift;
    std::vector<JobResult> results;
    for (const JobRun &run : runs) {
        results.push_back(analyseJob(rig, run, rigOffsetNs, arrivalShift));
        if (!results.back().jumpList.isEmpty())
            std::printf("%-6s %-6s position jumps at:%s\n", qPrintable(run.job.format), qPrintable(run.job.mode),
                        qPrintable(results.back().jumpList));
    }
    std::printf("\n%-6s %-6s %5s %17s %13s %-8s %14s %12s %12s %13s %s\n", "format", "mode", "tags",
                "tag-heard min..max", "max|tag-h| ms", "verdict", "max|position|", "jumps", "file offset",
                "max latency", "");
    int met = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        const JobResult &r = results[i];
        const auto &t = r.tagErrorsMs;
        const bool ok = tagsMet(t) && !r.missed;
        met += ok;
        std::printf("%-6s %-6s %5zu %+8.1f..%-+8.1f %13.1f %-8s %11.1f ms %4d (%4.1f ms) %9.1f ms %10.1f ms %s%s\n",
                    qPrintable(runs[i].job.format), qPrintable(runs[i].job.mode), t.size(),
                    t.empty() ? NAN : *std::min_element(t.begin(), t.end()),
                    t.empty() ? NAN : *std::max_element(t.begin(), t.end()), maxAbs(t), ok ? "MET" : "NOT MET",
                    maxAbs(r.positionErrorsMs), r.jumps, r.largestJumpMs, r.fileOffsetMs, maxAbs(r.tagLatencyMs),
                    r.missed ? qPrintable(QStringLiteral("%1 clicks not heard ").arg(r.missed)) : "", qPrintable(r.note));
        latency.insert(latency.end(), r.tagLatencyMs.begin(), r.tagLatencyMs.end());
    }
    std::printf("\n%d of %zu runs MET\n", met, runs.size());
    const auto show = [](const std::optional<double> &v) {
        return v ? QString::asprintf("%+.2f ms", *v / 1e6) : QStringLiteral("unusable");
    };
    std::printf("rig calibration (recorded - played by PulseAudio's accounting): before %s, after %s; subtracted: %+.2f ms\n",
                qPrintable(show(before)), qPrintable(show(after)), rigOffsetNs / 1e6);
    std::printf("the clicks heard in all runs, by arrival time - by accounting: %s ms\n", qPrintable(range(arrivalShift)));
    std::printf("release sent through X to the tag in the editor, %zu clicks: median %.2f ms, p99 %.2f ms, max %.2f ms\n",
                latency.size(), median(latency), quantile(latency, 0.99),
                latency.empty() ? NAN : *std::max_element(latency.begin(), latency.end()));
    if (tools.errors)
        std::printf("%d error boxes were shown\n", tools.errors);
    return met == int(runs.size()) ? 0 : 3;
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
