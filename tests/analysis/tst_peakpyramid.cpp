// The waveform's peak pyramid against a brute-force min/max of the samples.
#include "analysis/peakpyramid.h"
#include "../support/datatable.h"

#include <QTest>

#include <algorithm>
#include <bit>
#include <cmath>
#include <random>

using tarvelin::PeakPyramid;
using tarvelin::PeakRange;

namespace {

constexpr double Rate = 22050;

std::vector<float> signal(int length)
{
    // Noise over a slow swell, so neighbouring bins differ.
    std::mt19937 random(length);
    std::uniform_real_distribution<float> noise(-0.2f, 0.2f);
    std::vector<float> x(static_cast<std::size_t>(length));
    for (int i = 0; i < length; ++i)
        x[std::size_t(i)] = 0.7f * float(std::sin(i * 0.0007)) + noise(random);
    return x;
}

PeakRange bruteForce(const std::vector<float> &x, std::int64_t from, std::int64_t to)
{
    PeakRange r;
    for (std::int64_t i = std::max<std::int64_t>(from, 0); i < std::min<std::int64_t>(to, std::int64_t(x.size())); ++i)
        r.include({x[std::size_t(i)], x[std::size_t(i)]});
    return r;
}

} // namespace

class TestPeakPyramid : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A pyramid built from a signal in chunks: every bin of every level
    // against the samples under it, then a row of columns drawn from it. A
    // column holds every sample under it and none further than a column
    // width (or a bin, when narrower) from it; a column that is one whole bin
    // of some level holds exactly its samples. Beyond the signal: nothing.
    void pyramid_data()
    {
        // finish false: still decoding, whole bins only; first: the sample at
        // the columns' left edge; width: samples a column.
        const auto row = tarvelin::table<int, int, bool, qint64, double, int>({"length", "chunk", "finish", "first", "width", "columns"});
        row("empty", 0, 1, true, 0, 16.0, 4);
        row("odd length, odd chunks; level 5 bins, past the end", 16 * 2000 + 7, 577, true, 512 * 3, 512.0, 60);
        row("beyond the top level; 60 s across 500, from before 0", (16 << 16) + 16 * 3 + 1, 4096, true, -100000, 60 * Rate / 500, 500);
        row("while decoding; narrower than a bin", 16 * 1001 + 3, 577, false, 16 * 10 + 3, 5.5, 40);
    }
    void pyramid()
    {
        QFETCH(int, length);
        QFETCH(int, chunk);
        QFETCH(bool, finish);
        QFETCH(qint64, first);
        QFETCH(double, width);
        QFETCH(int, columns);
        const auto x = signal(length);
        PeakPyramid p(Rate);
        for (std::size_t i = 0; i < x.size(); i += std::size_t(chunk))
            p.append(x.data() + i, std::min(x.size() - i, std::size_t(chunk)));
        if (finish)
            p.finish();
        QCOMPARE(p.sampleCount(), length);
        for (int l = 0; l < PeakPyramid::LevelCount; ++l) {
            const std::int64_t size = PeakPyramid::binSize(l);
            const std::int64_t bins = finish ? (length + size - 1) / size : length / size;
            QCOMPARE(std::int64_t(p.level(l).size()), bins);
            for (std::int64_t b = 0; b < bins; ++b)
                if (p.level(l)[std::size_t(b)] != bruteForce(x, b * size, (b + 1) * size))
                    QFAIL(qPrintable(QStringLiteral("level %1 bin %2").arg(l).arg(b)));
        }

        const auto got = p.peaks(first / Rate, (first + width * columns) / Rate, columns);
        QCOMPARE(int(got.size()), columns);
        const bool wholeBins = std::has_single_bit(std::uint64_t(width)) && width >= PeakPyramid::BaseBin && first % qint64(width) == 0;
        const double reach = std::max(width, double(PeakPyramid::BaseBin));
        for (int c = 0; c < columns; ++c) {
            const double from = first + c * width, to = from + width;
            const PeakRange own = bruteForce(x, std::int64_t(std::ceil(from)), std::int64_t(std::ceil(to)));
            const PeakRange near = bruteForce(x, std::int64_t(std::floor(from - reach)), std::int64_t(std::ceil(to + reach)));
            const PeakRange &g = got[std::size_t(c)];
            const bool ok = wholeBins ? g == own
                                      : (own.isEmpty() || (g.min <= own.min && g.max >= own.max))
                                          && (g.isEmpty() || (g.min >= near.min && g.max <= near.max));
            QVERIFY2(ok, qPrintable(QStringLiteral("column %1: %2..%3").arg(c).arg(g.min).arg(g.max)));
        }
    }
};

QTEST_APPLESS_MAIN(TestPeakPyramid)
#include "tst_peakpyramid.moc"
