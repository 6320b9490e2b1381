// The timing help on a song whose sounds start at known times: shifting
// every tag, correcting the reaction delay and snapping taps. Questions are answered by the fake desktop.
#include "analysis/songanalysis.h"
#include "core/lrc.h"
#include "datatable.h"
#include "fakes.h"
#include "tapping/tapmode.h"
#include "tapping/timingassist.h"

#include <QAction>
#include "document/lyricsdocument.h"

#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

using namespace Qt::StringLiterals;
using tarvelin::SongAnalysis;
using tarvelin::TimingAssist;
using tarvelin::test::FakeTools;

namespace {

// Where the song's tones start, in seconds.
const std::vector<double> Starts{1.00, 2.30, 3.70, 5.10, 6.40, 7.90, 9.20, 10.60};

QString tagged(const QList<double> &times)
{
    QStringList lines{u"[ti:测试]"_s};
    for (int i = 0; i < times.size(); ++i)
        lines << tarvelin::formatTimeTag(tarvelin::msFromSeconds(times[i])) + u"第%1句"_s.arg(i + 1);
    return lines.join(u'\n');
}

double firstTag(const QPlainTextEdit &editor, int line)
{
    const auto tags = tarvelin::parseLrcLine(editor.document()->findBlockByNumber(line).text()).tags;
    return tags.isEmpty() ? -1 : tags.first().ms / 1000.0;
}

} // namespace

class TestWaveformAssist : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    SongAnalysis m_song;
    QPlainTextEdit m_editor;
    tarvelin::LyricsDocument m_lyrics{m_editor.document()};
    FakeTools m_tools;
    std::unique_ptr<TimingAssist> m_assist;

    // The text typed afresh, and the answer to the next yes-or-no question.
    void start(const QString &text, bool yes = false)
    {
        m_editor.setPlainText(text);
        m_tools = FakeTools();
        m_tools.yesNoAnswers.push_back(yes);
        m_assist = std::make_unique<TimingAssist>(&m_lyrics, &m_song, m_tools, nullptr);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(tarvelin::test::writeToneWav(m_dir.filePath(u"tones.wav"_s), Starts, 12));
        QSignalSpy finished(&m_song, &SongAnalysis::finished);
        m_song.analyse(m_dir.filePath(u"tones.wav"_s));
        QVERIFY(finished.wait(10000));
    }

    // What a shift does to the text is the document's test; here the
    // question: every tag moves as one undo step. The limits are shown; what
    // lies outside them or is not a number is refused (never cut to fit) and
    // asked for again; tags that would go below 0 are counted and 是 is
    // needed first.
    void shiftAll_data()
    {
        // typed: then the entry is cancelled; said: in the message or question after the entry;
        // expected: "" when the text stays as it was
        const auto row = tarvelin::table<QStringList, bool, QString, QString>({"typed", "yes", "said", "expected"});
        row("too large refused, then asked again", {u"700000"_s, u"+１００"_s}, false,
            "超出了范围：最多平移十分钟，即 -600000 到 600000 毫秒", "[ar:歌手]\n[01:00.05][01:10.10]甲\n\n[01:20.10]乙\n丙");
        row("not a number", {u"5s"_s}, false, "“5s”不是整数毫秒", "");
        row("all to zero: 否", {u"-600000"_s}, false, "会使 2 行的时间早于 0", "");
        row("one below zero: 是", {u"-60000"_s}, true, "会使 1 行的时间早于 0",
            "[ar:歌手]\n[00:00.00][00:10.00]甲\n\n[00:20.00]乙\n丙");
    }
    void shiftAll()
    {
        QFETCH(QStringList, typed);
        QFETCH(bool, yes);
        QFETCH(QString, said);
        QFETCH(QString, expected);
        const QString text = u"[ar:歌手]\n[00:59.95][01:10.00]甲\n\n[01:20.00]乙\n丙"_s;
        start(text, yes);
        m_tools.textAnswers.assign(typed.begin(), typed.end());
        m_assist->shiftAction()->trigger();
        QVERIFY2(m_tools.questions.constFirst().contains(u"-600000 到 600000"_s), qPrintable(m_tools.questions.constFirst()));
        const QStringList after = m_tools.errors + m_tools.questions.mid(1);
        QVERIFY2(after.join(u'\n').contains(said), qPrintable(after.join(u'\n')));
        QCOMPARE(m_editor.toPlainText(), expected.isEmpty() ? text : expected);
        m_editor.undo();
        QCOMPARE(m_editor.toPlainText(), text);
    }

    // C: the one lag at which the taps fall on sound starts, taken out of
    // every tag once the user agrees; otherwise nothing changes.
    void correction_data()
    {
        // delays: per line, seconds; said: in the question or the note; lag: the one taken out, 0: nothing changes
        const auto row = tarvelin::table<QList<double>, bool, QString, double>({"delays", "yes", "said", "lag"});
        const QList<double> late{0.18, 0.15, 0.21, 0.17, 0.19, 0.22, 0.16, 0.18};
        // Their mean, 182.5 ms, is the lag taken out.
        row("late presses, 是", late, true, "晚", 0.1825);
        row("late presses, 否", late, false, "晚", 0.0);
        row("early presses", {-0.06, -0.05, -0.07, -0.06, -0.04}, true, "不像反应延迟", 0.0);
        row("no clear lag", {-0.12, 0.35, 0.0, 0.28, -0.1, 0.2, 0.05, 0.38}, true, "标签未改动", 0.0);
    }
    void correction()
    {
        QFETCH(QList<double>, delays);
        QFETCH(bool, yes);
        QFETCH(QString, said);
        QFETCH(double, lag);
        QList<double> taps;
        for (int i = 0; i < delays.size(); ++i)
            taps << Starts[std::size_t(i)] + delays[i];
        const QString text = tagged(taps);
        start(text, yes);
        m_assist->correctAction()->trigger();
        const QStringList shown = m_tools.questions + m_tools.notes;
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown.constFirst().contains(said), qPrintable(shown.constFirst()));
        // The lag it names and the one it takes out, within 15 ms: a tone
        // rising out of silence reads as starting about 12 ms early (the
        // analysis window meets it first), and the tags are cut to the
        // hundredth.
        if (lag != 0)
            QCOMPARE_LE(std::abs(shown.constFirst().section(u' ', 2, 2).toInt() - std::abs(lag) * 1000), 15);
        QCOMPARE(m_editor.toPlainText() != text, lag != 0);
        for (int i = 0; i < taps.size(); ++i)
            QVERIFY2(std::abs(firstTag(m_editor, i + 1) - (taps[i] - lag)) <= 0.025, qPrintable(m_editor.toPlainText()));
    }

    // A text tagged for another recording: every tag is moved onto this
    // one as one undo step once the user agrees.
    void alignment()
    {
        QList<double> text;
        for (double t : Starts)
            text << (t - 0.5) / 1.02;
        const QString before = tagged(text);
        start(before, true);
        m_assist->alignAction()->trigger();
        QCOMPARE(m_tools.notes, QStringList());
        QCOMPARE(m_tools.questions.size(), 1);
        QVERIFY2(m_tools.questions.constFirst().contains(QRegularExpression(u"整体推后 0\\.(49|50|51) 秒，速度 ×1\\.02"_s)),
                 qPrintable(m_tools.questions.constFirst()));
        for (int i = 0; i < text.size(); ++i)
            QVERIFY2(std::abs(firstTag(m_editor, i + 1) - Starts[std::size_t(i)]) <= 0.025, qPrintable(m_editor.toPlainText()));
        m_editor.undo();
        QCOMPARE(m_editor.toPlainText(), before);
    }

    // Taps snap as they are made with 自动吸附 on, unless made with
    // Shift+Space; S snaps the line just tapped to the strongest onset from
    // 250 ms before its tag to 80 ms after, and leaves it with none there.
    void snapping()
    {
        start(u"甲\n乙\n丙\n丁"_s);
        tarvelin::test::FakeEngine engine;
        engine.currentState = tarvelin::MediaEngine::State::Playing;
        tarvelin::TapMode mode(&m_editor, &m_lyrics, &engine);
        mode.setAssist(m_assist.get());
        mode.setActive(true);
        QSignalSpy notice(m_assist.get(), &TimingAssist::notice);
        const auto tap = [&](double at, Qt::KeyboardModifiers mods) {
            const int line = m_editor.textCursor().blockNumber();
            engine.positionValue = at;
            QTest::keyClick(&m_editor, Qt::Key_Space, mods);
            return firstTag(m_editor, line);
        };
        const auto near = [](double a, double b) { return std::abs(a - b) <= 0.015; };
        QVERIFY(near(tap(Starts[3] + 0.19, {}), Starts[3] + 0.19));
        m_assist->autoSnapAction()->setChecked(true);
        QVERIFY(near(tap(Starts[4] + 0.19, {}), Starts[4]));
        QVERIFY(near(tap(Starts[5] + 0.19, Qt::ShiftModifier), Starts[5] + 0.19));
        QTest::keyClick(&m_editor, Qt::Key_S);
        QVERIFY(near(firstTag(m_editor, 2), Starts[5]));
        QVERIFY(near(tap(Starts[6] - 0.12, Qt::ShiftModifier), Starts[6] - 0.12));
        QTest::keyClick(&m_editor, Qt::Key_S);
        QVERIFY(near(firstTag(m_editor, 3), Starts[6] - 0.12));
        QCOMPARE(notice.size(), 1);
    }
};

QTEST_MAIN(TestWaveformAssist)
#include "tst_waveform_assist.moc"
