// The background song analysis on real files: where the decoded sound, its
// curves and the sound starts marked on them sit against the player's clock,
// and stopping for a new song.
#include "analysis/songanalysis.h"
#include "analysis/songdecoder.h"
#include "analysis/timingcurves.h"
#include "../support/datatable.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <thread>

using namespace Qt::StringLiterals;
using tarvelin::PeakRange;
using tarvelin::SongAnalysis;

namespace {

constexpr int SourceRate = 48000;
constexpr double ClickAt = 1.234; // seconds into the source
// Voice-like tones after the click (a 170 Hz note and its partials, 30 ms attack).
const std::vector<double> ToneStarts{1.87, 3.02, 4.43, 5.55};
constexpr double SourceLength = 7.0;

// ffmpeg, quiet and overwriting its output, `input` on its standard input.
void ffmpeg(const QStringList &args, const QByteArray &input = {})
{
    QProcess p;
    p.start(u"ffmpeg"_s, QStringList{u"-v"_s, u"error"_s, u"-y"_s} + args);
    p.write(input);
    p.closeWriteChannel();
    QVERIFY2(p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0,
             p.readAllStandardError().constData());
}

// The middle of the first column at least a quarter as loud as the loudest
// within 0.1 s of `near`, read from the finest peaks, in seconds.
double clickInPeaks(const SongAnalysis &a, double near)
{
    const double bin = tarvelin::PeakPyramid::BaseBin / double(tarvelin::AnalysisRate);
    const double from = std::floor((near - 0.1) / bin) * bin;
    const int columns = int(0.2 / bin);
    const auto cols = a.peaks(from, from + columns * bin, columns);
    const auto height = [](const PeakRange &r) { return r.isEmpty() ? 0.0f : std::max(r.max, -r.min); };
    float loudest = 0;
    for (const PeakRange &r : cols)
        loudest = std::max(loudest, height(r));
    for (int c = 0; c < columns; ++c) {
        if (height(cols[std::size_t(c)]) >= loudest / 4)
            return from + (c + 0.5) * bin;
    }
    return -1;
}

// Where a curve is highest from `from` to `to` (to the millisecond), and how high.
std::pair<double, double> top(const tarvelin::Curve &curve, double from, double to)
{
    std::pair<double, double> best{from, curve.at(from)};
    for (double t = from; t <= to; t += 0.001)
        best = curve.at(t) > best.second ? std::pair{t, curve.at(t)} : best;
    return best;
}

} // namespace

class TestSongAnalysis : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString file(const QString &name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // A 5 ms, 3 kHz click, the loudest sound, then the tones.
        std::vector<float> x(std::size_t(SourceLength * SourceRate));
        for (std::size_t i = 0; i < std::size_t(0.005 * SourceRate); ++i)
            x[std::size_t(ClickAt * SourceRate) + i] = 0.8f * float(std::sin(2 * M_PI * 3000 * double(i) / SourceRate));
        for (double t0 : ToneStarts) {
            for (std::size_t i = 0; i < std::size_t(0.6 * SourceRate); ++i) {
                const double t = double(i) / SourceRate;
                double v = 0;
                for (int k = 1; k * 170 < 3500; ++k)
                    v += std::sin(2 * M_PI * k * 170 * t + k) / k;
                x[std::size_t(t0 * SourceRate) + i] += float(0.25 * std::min(1.0, t / 0.03) * std::exp(-t * 2) * v);
            }
        }
        ffmpeg({u"-f"_s, u"f32le"_s, u"-ar"_s, QString::number(SourceRate), u"-i"_s, u"-"_s, file(u"song.wav"_s)},
               QByteArray(reinterpret_cast<const char *>(x.data()), qsizetype(x.size() * sizeof(float))));
        // Ten minutes of a tone.
        ffmpeg({u"-f"_s, u"lavfi"_s, u"-i"_s, u"sine=f=445:r=8000:d=600"_s, file(u"long.wav"_s)});
    }

    // The click within 2.5 ms of where the player puts it (FFmpeg with the
    // container start as 0 agrees with the player within 1.6 ms:
    // bench/tag_error.sh); an onset within 10 ms of each tone, or up to
    // 35 ms before it where the codec spreads noise ahead of an attack (the
    // player plays that noise too).
    void placement_data()
    {
        // fileOffset: how late the file itself puts the sound
        // early: how early an onset may come
        const auto row = tarvelin::table<QString, QString, double, double>({"format", "encoder", "fileOffset", "early"});
        // mp3 and Vorbis carry their encoder delay, which is taken off (and
        // Vorbis stamps some frames 9 ms late, which is not followed). The
        // wma that ffmpeg writes stamps its first frame 86 ms in, with only
        // 43 ms of priming in it; the AC-3 in RealMedia sounds 256 samples
        // after its timestamps.
        row("mp3", u"mp3"_s, u"-c:a libmp3lame -b:a 192k"_s, 0.0, 0.010);
        row("wma", u"wma"_s, u"-c:a wmav2 -b:a 128k"_s, 0.043, 0.035);
        row("ogg", u"ogg"_s, u"-c:a libvorbis -q:a 5"_s, 0.0, 0.010);
        row("rm (AC-3)", u"rm"_s, u"-f rm -c:a ac3 -b:a 192k"_s, 256.0 / SourceRate, 0.010);
    }
    void placement()
    {
        QFETCH(QString, format);
        QFETCH(QString, encoder);
        QFETCH(double, fileOffset);
        QFETCH(double, early);
        const QString path = file(u"song."_s + format + u'.' + format);
        ffmpeg(QStringList{u"-i"_s, file(u"song.wav"_s)} + encoder.split(u' ') + QStringList{path});

        SongAnalysis a;
        QSignalSpy finished(&a, &SongAnalysis::finished);
        a.analyse(path);
        QVERIFY(finished.wait(10000));
        QCOMPARE(a.duration(), a.analysedSeconds()); // what was decoded, not the container's guess
        const double click = clickInPeaks(a, ClickAt + fileOffset);
        QVERIFY2(std::abs(click - ClickAt - fileOffset) < 0.0025, qPrintable(QString::number(click)));
        // The waveform's ticks: one at the click and at each tone's start
        // (up to 20 ms after it, as the tones rise over 30 ms; up to 25 ms
        // before, as an abrupt sound lifts the curve once it enters the 46 ms
        // window), none in the silence or while a tone holds.
        const auto onsets = a.onsets();
        std::vector<double> starts{ClickAt};
        starts.insert(starts.end(), ToneStarts.begin(), ToneStarts.end());
        QString found;
        for (const auto &o : onsets)
            found += u" %1"_s.arg(o.time);
        QCOMPARE(onsets.size(), starts.size());
        for (std::size_t i = 0; i < starts.size(); ++i) {
            const double at = starts[i] + fileOffset;
            QVERIFY2(onsets[i].time > at - early - 0.025 && onsets[i].time < at + 0.020,
                     qPrintable(u"no tick at %1 s:"_s.arg(at) + found));
        }
        // The timing curve peaks at each tone's start; the voice-activity
        // curve is higher in each tone than at the click or in silence; the
        // band where a voice sings is nearly full in each tone, empty in the
        // silence, at most half at the click (wma smears it), nothing past
        // the end.
        const tarvelin::TimingCurves curves = a.curves();
        QVERIFY(std::abs(curves.timing.duration() - a.duration()) < 0.02);
        const double quiet = curves.activity.at(0.5);
        const double atClick = curves.activity.at(ClickAt + fileOffset);
        const auto band = a.voiceBand(0, 10, 100);
        for (double t0 : ToneStarts) {
            const double at = t0 + fileOffset;
            const double peak = top(curves.timing, at - 0.1, at + 0.1).first;
            QVERIFY2(std::abs(peak - at) < 0.020, qPrintable(u"timing peak at %1 for %2"_s.arg(peak).arg(at)));
            QVERIFY(curves.activity.at(at + 0.2) > std::max(quiet, atClick) + 2);
            QVERIFY(band[std::size_t((at + 0.25) * 10)] > 0.8f);
        }
        QCOMPARE(band[5], 0.0f);
        QVERIFY(band[std::size_t((ClickAt + fileOffset) * 10)] < 0.5f);
        QCOMPARE(band[99], 0.0f);
    }

    // The ticks' rule on hand-made timing curves (10 ms a value): a peak of
    // at least StartRise that nothing within 50 ms either way reaches (of
    // equal values, the first), at the song's edges too.
    void soundStarts_data()
    {
        const auto row = tarvelin::table<QList<float>, QList<double>>({"curve", "starts"});
        row("below the rise", {0, 0.3f, 0.99f, 0.3f, 0}, {});
        row("peaks, the first at the edge", {1.5f, 0.2f, 0, 0, 0, 0, 0, 0.5f, 2.5f, 0.5f, 0, 0, 0, 0, 0, 0, 1.0f},
            {0.0, 0.08, 0.16});
        row("a weaker peak 40 ms after a stronger one is left out", {0, 3, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 2}, {0.01, 0.12});
        row("a stronger peak 40 ms later wins", {0, 2, 0, 0, 0, 3, 0}, {0.05});
        row("a flat top: its first value", {0, 1.2f, 1.2f, 1.2f, 0}, {0.01});
    }
    void soundStarts()
    {
        QFETCH(QList<float>, curve);
        QFETCH(QList<double>, starts);
        const tarvelin::Curve timing{.values = {curve.begin(), curve.end()}};
        QList<double> found;
        for (const tarvelin::Onset &o : tarvelin::soundStarts(timing)) {
            found << std::round(o.time * 1000) / 1000;
            QCOMPARE(o.strength, curve[qsizetype(std::lround(o.time / timing.step))]);
        }
        QCOMPARE(found, starts);
    }

    // A kick outweighs a quiet voice starting 80 ms later in the whole
    // band, not in the upper one: there the voice's start stands out and
    // the kick barely registers (a faint hiss throughout, as a mix has,
    // keeps the kick's leakage from counting as a start out of silence).
    void upperBandHearsAboveTheKick()
    {
        constexpr double Rate = 22050, Kick = 1.0, Voice = 1.08;
        std::vector<float> lr(std::size_t(3 * Rate) * 2);
        for (std::size_t i = 0; i < lr.size() / 2; ++i) {
            const double t = double(i) / Rate;
            double x = 0.01 * std::sin(2 * M_PI * 3000 * t);
            if (t >= Kick)
                x += 0.8 * std::min(1.0, (t - Kick) / 0.005) * std::exp(-(t - Kick) / 0.15) * std::sin(2 * M_PI * 250 * (t - Kick));
            if (t >= Voice)
                x += 0.1 * std::min(1.0, (t - Voice) / 0.010) * std::sin(2 * M_PI * 1200 * (t - Voice));
            lr[2 * i] = lr[2 * i + 1] = float(x);
        }
        const tarvelin::TimingCurves c = tarvelin::buildCurves(lr.data(), lr.size() / 2, Rate);
        QVERIFY(top(c.timing, 0.95, 1.05).second > 10 * top(c.timing, 1.06, 1.15).second);
        const auto [at, voice] = top(c.upperTiming, 1.06, 1.15);
        QVERIFY2(std::abs(at - Voice) < 0.020, qPrintable(QString::number(at)));
        QVERIFY(voice > 3 * top(c.upperTiming, 0.95, 1.05).second);
        QCOMPARE(c.upperTiming.values.size(), c.timing.values.size());
    }

    // A new song stops the old one at once: nothing of the old one arrives
    // afterwards, and its worker has ended before the new song is analysed.
    // A stopped worker that went on through the samples already queued for
    // its onsets (a minute and a half of song) would end well after that.
    void newSongStopsTheOld()
    {
        SongAnalysis a;
        QSignalSpy progressed(&a, &SongAnalysis::progressed);
        QSignalSpy finished(&a, &SongAnalysis::finished);
        a.analyse(file(u"long.wav"_s));
        QVERIFY(progressed.wait(10000));
        // Without handling events, let the worker fill its onset queue and
        // get well past it, so announcements of the old song are still
        // queued at the switch.
        QDeadlineTimer deadline(10000);
        while (a.peaks(150, 151, 1).front().isEmpty() && !deadline.hasExpired())
            std::this_thread::yield();
        a.analyse(file(u"song.wav"_s));
        double furthest = 0;
        connect(&a, &SongAnalysis::progressed, this, [&](double, double to) { furthest = std::max(furthest, to); });
        connect(&a, &SongAnalysis::onsetsProgressed, this, [&](double to) { furthest = std::max(furthest, to); });
        QVERIFY(finished.wait(10000));
        QCOMPARE(a.stoppingWorkers(), 0u);
        QVERIFY(std::abs(a.duration() - SourceLength) < 0.001);
        QVERIFY2(furthest <= a.duration(), qPrintable(QString::number(furthest)));
    }
};

QTEST_GUILESS_MAIN(TestSongAnalysis)
#include "tst_songanalysis.moc"
