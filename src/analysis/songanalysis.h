#pragma once

#include "analysis/peakpyramid.h"
#include "analysis/timingcurves.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

namespace tarvelin {

// Reads a song in the background for the waveform and the timing help: a
// worker thread decodes it (songdecoder.h) and builds its peak pyramid, and
// hands the same samples, in stereo, to a second thread that builds the timing
// curves (timingcurves.h: where sounds start and where a voice sings, for the
// timing help's rules in timingrules.h), so the waveform is complete once the
// song is decoded and the curves follow on the other core. Once the curves
// are in, the clear sound starts on them (soundStarts()) are the onsets the
// waveform marks. The object lives in the caller's (interface) thread, which
// never waits on the decoding: results are read from a snapshot guarded by a
// lock the workers take only to add a chunk (microseconds), and progress is
// announced at most every 40 ms through queued signals.
//
// All times are song seconds, the player's positions.
//
// Memory: no signal is kept, only the peaks (8 bytes a bin of 32 samples at
// level 0 and as much again for the levels above: 0.5 byte a sample, 0.63
// MiB a minute at 22050 Hz), the curves (0.5 KiB a second) and the onsets
// (16 bytes each, about 100 a minute). While it runs, up to 8 MiB of samples
// wait for the curves' thread.
class SongAnalysis : public QObject {
    Q_OBJECT
public:
    enum class Status {
        Empty,    // nothing asked for, or cleared
        Running,  // decoding; the peaks fill in from the start, the curves follow
        Finished, // all of the song is in: peaks, curves and onsets
        Failed,   // the song cannot be decoded: no waveform, no onsets
    };
    Q_ENUM(Status)

    explicit SongAnalysis(QObject *parent = nullptr);
    // Stops the worker and waits for it; a stop request is seen within one
    // packet's decoding.
    ~SongAnalysis() override;

    // Starts on a song; whatever ran before is stopped and dropped at once.
    void analyse(const QString &path);
    // Stops and forgets the current song.
    void clear();

    Status status() const { return m_status; }
    QString path() const { return m_path; }
    // Why the song could not be decoded, for a log (English, FFmpeg's words).
    QString errorString() const { return m_error; }
    // How far from the start the peaks reach so far; the whole song once
    // finished.
    double analysedSeconds() const { return m_analysed; }
    // Whether the peaks reach the end of the song (the curves may still be
    // coming: status() says when they are in too).
    bool peaksComplete() const { return m_peaksComplete; }
    // The container's guess while running (0 if it has none), the decoded
    // length once finished.
    double duration() const { return m_duration; }

    // Min/max for `columns` equal columns across [t0, t1); see PeakPyramid.
    std::vector<PeakRange> peaks(double t0, double t1, int columns) const;
    // The sound starts with t0 <= time < t1, in time order, once finished
    // (none before).
    std::vector<Onset> onsets(double t0, double t1) const;
    std::vector<Onset> onsets() const;
    // The timing curves, once finished (empty before).
    TimingCurves curves() const;
    // Where a voice sings, 0..1 for `columns` equal columns across [t0, t1),
    // for the waveform's faint band (TimingCurves::voiceBand); zeros until
    // finished.
    std::vector<float> voiceBand(double t0, double t1, int columns) const;
    // Bytes held for the current song's peaks, curves and onsets.
    std::size_t memoryBytes() const;
    // Workers of earlier songs that were told to stop and have not ended
    // yet; each ends within a packet's decoding.
    std::size_t stoppingWorkers() const { return m_retired.size(); }

Q_SIGNALS:
    // Peaks for [from, to) have arrived; `to` is the new analysedSeconds().
    void progressed(double from, double to);
    // All the peaks are in (the last progressed() came just before).
    void peaksFinished();
    // The curves' thread has read the song up to `to` seconds (the curves
    // and onsets themselves come with finished()).
    void onsetsProgressed(double to);
    // Peaks, curves and onsets are all in.
    void finished();
    void failed(const QString &reason);
    // status() has changed (after the signal that says why, if any).
    void statusChanged(tarvelin::SongAnalysis::Status status);

private:
    struct Job;
    void onProgress(const Job *job, double reached, double estimate);
    void onPeaksFinished(const Job *job, double reached);
    void onOnsetProgress(const Job *job, double reached);
    void onEnded(const Job *job, int outcome, const QString &error, double reached);
    void retire();
    void setStatus(Status status);

    std::shared_ptr<Job> m_job;
    std::vector<std::shared_ptr<Job>> m_retired; // stopped, not yet ended
    Status m_status = Status::Empty;
    QString m_path;
    QString m_error;
    double m_analysed = 0;
    double m_duration = 0;
    bool m_peaksComplete = false;
};

} // namespace tarvelin
