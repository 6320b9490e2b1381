// Placing the units of a line from the timing curve alone, on hand-built
// curves: clear onsets are found, missing ones fall where the count puts
// them, and the result always fits the line's span in order.
#include "analysis/wordalign.h"
#include "analysis/wordrules.h"

#include <QTest>

#include <vector>

using Peaks = QList<QPair<double, float>>; // seconds, height

Q_DECLARE_METATYPE(Peaks)

namespace {

std::vector<float> curveWith(const Peaks &peaks, double seconds)
{
    std::vector<float> curve(size_t(seconds * 100) + 1, 0.02f);
    for (const auto &[at, height] : peaks) {
        const int i = int(at * 100 + 0.5);
        for (int d = -2; d <= 2; ++d) // a rise a few hops wide, highest at `at`
            if (i + d >= 0 && size_t(i + d) < curve.size())
                curve[i + d] = std::max(curve[i + d], height * (1.0f - 0.3f * std::abs(d)));
    }
    return curve;
}

} // namespace

class TestWordAlign : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void align_data()
    {
        QTest::addColumn<Peaks>("peaks");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("end");
        QTest::addColumn<QList<int>>("syllables");
        QTest::addColumn<QList<qint64>>("expected"); // unit starts, ms
        QTest::addColumn<qint64>("tolerance");
        QTest::addColumn<qint64>("expectedEnd");     // -1: not checked
        QTest::newRow("uneven onsets, one per character")
            << Peaks{{10.0, 1}, {10.35, 0.8f}, {11.2, 0.9f}, {11.5, 0.7f}, {12.6, 0.8f}} << 10000LL << 14000LL
            << QList<int>{1, 1, 1, 1, 1} << QList<qint64>{10000, 10350, 11200, 11500, 12600} << 20LL << -1LL;
        QTest::newRow("a flat curve: proportional places, the last twice as long, ending near 85 %")
            << Peaks{} << 0LL << 5000LL << QList<int>{1, 1, 1, 1} << QList<qint64>{0, 850, 1700, 2550} << 120LL << 4250LL;
        QTest::newRow("a two-syllable word takes its first syllable's onset")
            << Peaks{{2.0, 1}, {2.4, 0.9f}, {2.7, 0.9f}, {3.3, 1}} << 2000LL << 5000LL << QList<int>{1, 2, 1}
            << QList<qint64>{2000, 2400, 3300} << 20LL << -1LL;
        QTest::newRow("a weak drum hit between two sung onsets is passed over for the pull")
            << Peaks{{1.0, 1}, {1.9, 1}, {1.15, 0.15f}} << 1000LL << 3000LL << QList<int>{1, 1}
            << QList<qint64>{1000, 1900} << 20LL << -1LL;
        QTest::newRow("more syllables than fit: spread evenly, still in order")
            << Peaks{} << 0LL << 200LL << QList<int>{1, 1, 1, 1, 1} << QList<qint64>{0, 33, 66, 100, 133} << 40LL << 200LL;
    }
    void align()
    {
        QFETCH(Peaks, peaks);
        QFETCH(qint64, start);
        QFETCH(qint64, end);
        QFETCH(QList<int>, syllables);
        QFETCH(QList<qint64>, expected);
        QFETCH(qint64, tolerance);
        QFETCH(qint64, expectedEnd);
        const std::vector<float> curve = curveWith(peaks, end / 1000.0 + 1);
        const tarvelin::WordTimes times = tarvelin::alignWords({curve, 0.01}, start, end, syllables);
        QCOMPARE(times.starts.size(), expected.size());
        QCOMPARE(times.starts.first(), start);
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QVERIFY2(std::abs(times.starts[i] - expected[i]) <= tolerance,
                     qPrintable(QStringLiteral("unit %1 at %2 ms, expected %3").arg(i).arg(times.starts[i]).arg(expected[i])));
            QVERIFY(i == 0 || times.starts[i] >= times.starts[i - 1]);
        }
        QVERIFY(times.endMs > times.starts.last() && times.endMs <= end);
        if (expectedEnd >= 0)
            QVERIFY2(std::abs(times.endMs - expectedEnd) <= tolerance, qPrintable(QString::number(times.endMs)));
    }

    // Word snapping keeps to its narrow window: a syllable 150 ms before the
    // tap is not taken (the line window would), a start 40 ms off is.
    void snapWord_data()
    {
        QTest::addColumn<Peaks>("peaks");
        QTest::addColumn<double>("tag");
        QTest::addColumn<double>("delay");
        QTest::addColumn<double>("expected"); // -1: stays
        QTest::newRow("a start 40 ms before the tap") << Peaks{{2.0, 1}} << 2.04 << 0.0 << 2.0;
        QTest::newRow("a start 40 ms after the tap") << Peaks{{2.0, 1}} << 1.96 << 0.0 << 2.0;
        QTest::newRow("the syllable before is out of reach") << Peaks{{2.0, 1}} << 2.15 << 0.0 << -1.0;
        QTest::newRow("the delay moves the window back") << Peaks{{2.0, 1}} << 2.18 << 0.18 << 2.0;
        QTest::newRow("the higher of two starts in the window") << Peaks{{2.0, 0.5f}, {2.06, 1}} << 2.02 << 0.0 << 2.06;
        QTest::newRow("nothing but a slope into the next syllable") << Peaks{{2.1, 1}} << 2.0 << 0.0 << -1.0;
    }
    void snapWord()
    {
        QFETCH(Peaks, peaks);
        QFETCH(double, tag);
        QFETCH(double, delay);
        QFETCH(double, expected);
        tarvelin::Curve curve;
        curve.values = curveWith(peaks, 4.0);
        const auto snapped = tarvelin::snapWordTime(curve, tag, delay);
        if (expected < 0) {
            QVERIFY(!snapped);
        } else {
            QVERIFY(snapped);
            QVERIFY2(std::abs(*snapped - expected) < 0.006, qPrintable(QString::number(*snapped)));
        }
    }

    void nothingToPlace()
    {
        const std::vector<float> curve(100, 1.0f);
        QVERIFY(tarvelin::alignWords({curve, 0.01}, 0, 1000, {}).starts.isEmpty());
        QVERIFY(tarvelin::alignWords({curve, 0.01}, 1000, 1000, {1}).starts.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestWordAlign)
#include "tst_wordalign.moc"
