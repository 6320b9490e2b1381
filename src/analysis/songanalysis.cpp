#include "analysis/songanalysis.h"

#include "analysis/songdecoder.h"

#include <QElapsedTimer>
#include <QMetaObject>

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <optional>
#include <mutex>
#include <thread>

namespace tarvelin {

namespace {

// The most often the worker announces progress, in milliseconds.
constexpr qint64 ProgressInterval = 40;
// Room reserved up front for at most this much song, in seconds; a longer
// song (or a wrong guess at its length) grows its peaks as it goes.
constexpr double MaxReserve = 30 * 60;
// Decoded samples waiting for the curves, at most (8 MiB, a minute and a half
// of song in stereo): the decoder waits when the curves are this far behind.
constexpr std::size_t MaxQueued = std::size_t(1) << 21;
// Samples handed over at a time (0.37 s in stereo): fewer hand-overs, each
// waking the other thread, than one a decoded frame.
constexpr std::size_t HandOver = std::size_t(1) << 14;
// How much the analysis threads step back (nice 10: about a tenth of the
// share of a normal thread when the cores are busy).
constexpr int BackgroundNice = 10;

// Hands decoded blocks from the decoding thread to the curves' thread.
class SampleQueue {
public:
    // False when stopped.
    bool push(std::stop_token stop, std::vector<float> &&block)
    {
        std::unique_lock guard(m_lock);
        if (!m_ready.wait(guard, stop, [&] { return m_queued < MaxQueued; }))
            return false;
        m_queued += block.size();
        m_blocks.push_back(std::move(block));
        m_ready.notify_all();
        return true;
    }
    void close()
    {
        const std::lock_guard guard(m_lock);
        m_closed = true;
        m_ready.notify_all();
    }
    // The next block; nothing once closed and empty, or when stopped.
    std::optional<std::vector<float>> pop(std::stop_token stop)
    {
        std::unique_lock guard(m_lock);
        // The wait ends with blocks still queued when stopped: those are not
        // handed out either.
        m_ready.wait(guard, stop, [&] { return !m_blocks.empty() || m_closed; });
        if (stop.stop_requested() || m_blocks.empty())
            return std::nullopt;
        std::vector<float> block = std::move(m_blocks.front());
        m_blocks.pop_front();
        m_queued -= block.size();
        m_ready.notify_all();
        return block;
    }

private:
    std::mutex m_lock;
    std::condition_variable_any m_ready;
    std::deque<std::vector<float>> m_blocks;
    std::size_t m_queued = 0;
    bool m_closed = false;
};

// Calls `post` at most every ProgressInterval, and always when forced.
class Throttle {
public:
    Throttle() { m_clock.start(); }
    bool due()
    {
        if (m_clock.elapsed() - m_posted < ProgressInterval)
            return false;
        m_posted = m_clock.elapsed();
        return true;
    }

private:
    QElapsedTimer m_clock;
    qint64 m_posted = -ProgressInterval;
};

// The analysis runs behind everything the user does: its threads yield the
// cores to the interface thread (and the player) whenever those want them.
void runInBackground()
{
#ifdef __linux__
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), BackgroundNice);
#endif
}

} // namespace

// Two threads a song: this one decodes and builds the peaks, so the waveform
// is complete as soon as the song is decoded; a second one builds the curves
// from the same samples, handed over through a queue, on the other core.
struct SongAnalysis::Job {
    mutable std::mutex lock;
    PeakPyramid pyramid{AnalysisRate};
    std::vector<Onset> onsets;
    TimingCurves curves;
    // Declared last, so it is joined before anything it uses goes.
    std::jthread thread;

    void run(std::stop_token stop, SongAnalysis *owner, const QString &path);
    void buildCurves(std::stop_token stop, SongAnalysis *owner, SampleQueue &queue);
};

void SongAnalysis::Job::buildCurves(std::stop_token stop, SongAnalysis *owner, SampleQueue &queue)
{
    runInBackground();
    CurveBuilder builder(AnalysisRate);
    Throttle throttle;
    double reached = 0;
    while (const auto block = queue.pop(stop)) {
        const std::size_t count = block->size() / 2;
        builder.process(block->data(), count);
        reached += double(count) / AnalysisRate;
        if (throttle.due()) {
            QMetaObject::invokeMethod(owner, [owner, job = this, reached] { owner->onOnsetProgress(job, reached); },
                                      Qt::QueuedConnection);
        }
    }
    if (!stop.stop_requested()) {
        builder.finish();
        TimingCurves built = builder.take();
        std::vector<Onset> starts = soundStarts(built.timing);
        starts.shrink_to_fit();
        const std::lock_guard guard(lock);
        curves = std::move(built);
        onsets = std::move(starts);
    }
}

void SongAnalysis::Job::run(std::stop_token stop, SongAnalysis *owner, const QString &path)
{
    runInBackground();
    SampleQueue queue;
    std::jthread curveThread([this, owner, &queue](std::stop_token own) { buildCurves(own, owner, queue); });
    // It stops with this one.
    const std::stop_callback stopCurves(stop, [&] { curveThread.request_stop(); });
    Throttle throttle;
    double estimate = 0;
    std::vector<float> stereo; // not handed over yet

    DecodeSink sink;
    sink.opened = [&](double seconds) {
        estimate = seconds;
        const std::lock_guard guard(lock);
        pyramid.reserve(std::int64_t(std::min(seconds * 1.01 + 1, MaxReserve) * AnalysisRate));
    };
    sink.stereo = [&](const float *leftRight, std::size_t count) {
        stereo.insert(stereo.end(), leftRight, leftRight + 2 * count);
        if (stereo.size() >= HandOver) {
            queue.push(stop, std::move(stereo));
            stereo = {};
            stereo.reserve(HandOver + 4096);
        }
    };
    sink.samples = [&](const float *samples, std::size_t count) {
        double reached;
        {
            const std::lock_guard guard(lock);
            pyramid.append(samples, count);
            reached = pyramid.duration();
        }
        if (throttle.due()) {
            QMetaObject::invokeMethod(owner, [owner, job = this, reached, estimate] {
                owner->onProgress(job, reached, estimate);
            }, Qt::QueuedConnection);
        }
    };
    const DecodeResult result = decodeSong(path, stop, sink);
    double reached;
    {
        const std::lock_guard guard(lock);
        if (result.outcome == DecodeResult::Outcome::Finished)
            pyramid.finish();
        reached = pyramid.duration();
    }
    const bool decoded = result.outcome == DecodeResult::Outcome::Finished;
    if (decoded) {
        QMetaObject::invokeMethod(owner, [owner, job = this, reached] { owner->onPeaksFinished(job, reached); },
                                  Qt::QueuedConnection);
        if (!stereo.empty())
            queue.push(stop, std::move(stereo));
    } else {
        curveThread.request_stop();
    }
    queue.close();
    curveThread.join();
    QMetaObject::invokeMethod(owner, [owner, job = this, outcome = int(result.outcome), error = result.error, reached] {
        owner->onEnded(job, outcome, error, reached);
    }, Qt::QueuedConnection);
}

SongAnalysis::SongAnalysis(QObject *parent)
    : QObject(parent)
{
}

SongAnalysis::~SongAnalysis()
{
    // Ask every worker to stop before waiting for any of them.
    retire();
    for (const auto &job : m_retired)
        job->thread.request_stop();
    m_retired.clear();
}

void SongAnalysis::retire()
{
    if (!m_job)
        return;
    m_job->thread.request_stop();
    m_retired.push_back(std::move(m_job));
    m_job.reset();
}

void SongAnalysis::analyse(const QString &path)
{
    clear();
    m_path = path;
    m_job = std::make_shared<Job>();
    Job *job = m_job.get();
    job->thread = std::jthread([job, this, path](std::stop_token stop) { job->run(std::move(stop), this, path); });
    setStatus(Status::Running);
}

void SongAnalysis::setStatus(Status status)
{
    if (status == m_status)
        return;
    m_status = status;
    Q_EMIT statusChanged(status);
}

void SongAnalysis::clear()
{
    retire();
    m_path.clear();
    m_error.clear();
    m_analysed = 0;
    m_duration = 0;
    m_peaksComplete = false;
    setStatus(Status::Empty);
}

void SongAnalysis::onProgress(const Job *job, double reached, double estimate)
{
    if (job != m_job.get() || m_status != Status::Running)
        return;
    m_duration = estimate;
    const double from = m_analysed;
    m_analysed = reached;
    Q_EMIT progressed(from, reached);
}

void SongAnalysis::onPeaksFinished(const Job *job, double reached)
{
    if (job != m_job.get() || m_status != Status::Running)
        return;
    m_peaksComplete = true;
    const double from = m_analysed;
    m_analysed = m_duration = reached;
    Q_EMIT progressed(from, reached);
    Q_EMIT peaksFinished();
}

void SongAnalysis::onOnsetProgress(const Job *job, double reached)
{
    if (job != m_job.get() || m_status != Status::Running)
        return;
    Q_EMIT onsetsProgressed(reached);
}

void SongAnalysis::onEnded(const Job *job, int outcome, const QString &error, double reached)
{
    if (job != m_job.get()) {
        // A stopped worker has reached its end: let its thread go.
        std::erase_if(m_retired, [job](const auto &j) { return j.get() == job; });
        return;
    }
    if (DecodeResult::Outcome(outcome) == DecodeResult::Outcome::Finished) {
        if (!m_peaksComplete) {
            m_peaksComplete = true;
            const double from = m_analysed;
            m_analysed = m_duration = reached;
            Q_EMIT progressed(from, reached);
            Q_EMIT peaksFinished();
        }
        m_status = Status::Finished;
        Q_EMIT onsetsProgressed(reached);
        Q_EMIT finished();
        Q_EMIT statusChanged(m_status);
    } else {
        m_job.reset(); // nothing of a song that cannot be decoded is shown
        m_status = Status::Failed;
        m_error = error;
        m_analysed = m_duration = 0;
        m_peaksComplete = false;
        Q_EMIT failed(error);
        Q_EMIT statusChanged(m_status);
    }
}

std::vector<PeakRange> SongAnalysis::peaks(double t0, double t1, int columns) const
{
    if (!m_job)
        return std::vector<PeakRange>(std::size_t(std::max(columns, 0)));
    const std::lock_guard guard(m_job->lock);
    return m_job->pyramid.peaks(t0, t1, columns);
}

std::vector<Onset> SongAnalysis::onsets(double t0, double t1) const
{
    if (!m_job)
        return {};
    const std::lock_guard guard(m_job->lock);
    const auto &all = m_job->onsets;
    const auto first = std::lower_bound(all.begin(), all.end(), t0, [](const Onset &o, double t) { return o.time < t; });
    const auto last = std::lower_bound(first, all.end(), t1, [](const Onset &o, double t) { return o.time < t; });
    return {first, last};
}

std::vector<Onset> SongAnalysis::onsets() const
{
    if (!m_job)
        return {};
    const std::lock_guard guard(m_job->lock);
    return m_job->onsets;
}

TimingCurves SongAnalysis::curves() const
{
    if (!m_job)
        return {};
    const std::lock_guard guard(m_job->lock);
    return m_job->curves;
}

std::vector<float> SongAnalysis::voiceBand(double t0, double t1, int columns) const
{
    if (!m_job)
        return std::vector<float>(std::size_t(std::max(columns, 0)), 0.0f);
    const std::lock_guard guard(m_job->lock);
    return m_job->curves.voiceBand(t0, t1, columns);
}

std::size_t SongAnalysis::memoryBytes() const
{
    if (!m_job)
        return 0;
    const std::lock_guard guard(m_job->lock);
    return m_job->pyramid.memoryBytes() + m_job->onsets.capacity() * sizeof(Onset) + m_job->curves.memoryBytes();
}

} // namespace tarvelin
