#include "analysis/songanalysis.h"

#include "analysis/onsetdetector.h"
#include "analysis/songdecoder.h"

#include <QElapsedTimer>
#include <QMetaObject>

#include <algorithm>
#include <mutex>
#include <thread>

namespace tarvelin {

namespace {

// The most often the worker announces progress, in milliseconds.
constexpr qint64 ProgressInterval = 40;
// Room reserved up front for at most this much song, in seconds; a longer
// song (or a wrong guess at its length) grows its peaks as it goes.
constexpr double MaxReserve = 30 * 60;

} // namespace

struct SongAnalysis::Job {
    mutable std::mutex lock;
    PeakPyramid pyramid{AnalysisRate};
    std::vector<Onset> onsets;
    // Declared last, so it is joined before anything it uses goes.
    std::jthread thread;

    void run(std::stop_token stop, SongAnalysis *owner, const QString &path);
};

void SongAnalysis::Job::run(std::stop_token stop, SongAnalysis *owner, const QString &path)
{
    OnsetDetector detector(AnalysisRate);
    QElapsedTimer clock;
    clock.start();
    qint64 posted = -ProgressInterval;
    double estimate = 0;
    const auto post = [&](double reached) {
        QMetaObject::invokeMethod(owner, [owner, job = this, reached, estimate] {
            owner->onProgress(job, reached, estimate);
        }, Qt::QueuedConnection);
    };

    DecodeSink sink;
    sink.opened = [&](double seconds) {
        estimate = seconds;
        const std::lock_guard guard(lock);
        pyramid.reserve(std::int64_t(std::min(seconds * 1.01 + 1, MaxReserve) * AnalysisRate));
    };
    sink.samples = [&](const float *samples, std::size_t count) {
        detector.process(samples, count);
        const std::vector<Onset> found = detector.takeOnsets();
        double reached;
        {
            const std::lock_guard guard(lock);
            pyramid.append(samples, count);
            onsets.insert(onsets.end(), found.begin(), found.end());
            reached = pyramid.duration();
        }
        if (clock.elapsed() - posted >= ProgressInterval) {
            posted = clock.elapsed();
            post(reached);
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
    retire();
    m_path = path;
    m_error.clear();
    m_analysed = 0;
    m_duration = 0;
    m_status = Status::Running;
    m_job = std::make_shared<Job>();
    Job *job = m_job.get();
    job->thread = std::jthread([job, this, path](std::stop_token stop) { job->run(std::move(stop), this, path); });
}

void SongAnalysis::clear()
{
    retire();
    m_path.clear();
    m_error.clear();
    m_analysed = 0;
    m_duration = 0;
    m_status = Status::Empty;
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

void SongAnalysis::onEnded(const Job *job, int outcome, const QString &error, double reached)
{
    if (job != m_job.get()) {
        // A stopped worker has reached its end: let its thread go.
        std::erase_if(m_retired, [job](const auto &j) { return j.get() == job; });
        return;
    }
    if (DecodeResult::Outcome(outcome) == DecodeResult::Outcome::Finished) {
        m_status = Status::Finished;
        const double from = m_analysed;
        m_analysed = m_duration = reached;
        Q_EMIT progressed(from, reached);
        Q_EMIT finished();
    } else {
        m_job.reset(); // nothing of a song that cannot be decoded is shown
        m_status = Status::Failed;
        m_error = error;
        m_analysed = m_duration = 0;
        Q_EMIT failed(error);
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

std::size_t SongAnalysis::memoryBytes() const
{
    if (!m_job)
        return 0;
    const std::lock_guard guard(m_job->lock);
    return m_job->pyramid.memoryBytes() + m_job->onsets.capacity() * sizeof(Onset);
}

} // namespace tarvelin
