// The timing help on a song whose sounds start at known times: snapping a
// tag, correcting the reaction delay, shifting every tag and snapping taps as
// they are made. Questions are answered by the fake desktop.
#include "analysis/songanalysis.h"
#include "core/lrc.h"
#include "fakes.h"
#include "ui/workflow/tapmode.h"
#include "ui/workflow/timingassist.h"

#include <QAction>
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
    FakeTools m_tools;
    std::unique_ptr<TimingAssist> m_assist;

    void start(const QString &text)
    {
        m_editor.setPlainText(text);
        m_tools = FakeTools();
        m_assist = std::make_unique<TimingAssist>(&m_editor, &m_song, m_tools, nullptr);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(tarvelin::test::writeToneWav(m_dir.filePath(u"tones.wav"_s), Starts, 12));
        QSignalSpy finished(&m_song, &SongAnalysis::finished);
        m_song.analyse(m_dir.filePath(u"tones.wav"_s));
        QVERIFY(finished.wait(10000));
    }

    void shiftAll_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<int>>("answer");
        QTest::addColumn<QString>("expected");
        QTest::newRow("later, across a minute, every tag of a line")
            << u"[ar:歌手]\n[00:59.95][01:10.00]甲\n\n乙"_s << std::optional<int>(100)
            << u"[ar:歌手]\n[01:00.05][01:10.10]甲\n\n乙"_s;
        QTest::newRow("cancelled") << u"[00:01.00]甲"_s << std::optional<int>() << u"[00:01.00]甲"_s;
    }
    void shiftAll()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<int>, answer);
        QFETCH(QString, expected);
        start(text);
        m_editor.moveCursor(QTextCursor::End);
        const int caretLine = m_editor.textCursor().blockNumber();
        m_tools.integerAnswers.push_back(answer);
        m_assist->shiftAction()->trigger();
        QCOMPARE(m_tools.questions.size(), 1);
        QCOMPARE(m_editor.toPlainText(), expected);
        QCOMPARE(m_editor.textCursor().blockNumber(), caretLine);
        // One undo step, or none when nothing changed.
        QCOMPARE(m_editor.document()->isUndoAvailable(), expected != text);
        m_editor.undo();
        QCOMPARE(m_editor.toPlainText(), text);
    }

    // S: to the strongest onset from 250 ms before the tag to 80 ms after,
    // as one undo step; a tag with nothing near it, or no tag, stays.
    void snap()
    {
        const double late = Starts[2] + 0.2, early = Starts[3] - 0.12;
        start(tagged({Starts[0], Starts[1], late, early}));
        QSignalSpy notice(m_assist.get(), &TimingAssist::notice);
        QVERIFY(m_assist->snapLine(3));
        QVERIFY2(std::abs(firstTag(m_editor, 3) - Starts[2]) <= 0.015, qPrintable(m_editor.toPlainText()));
        QVERIFY(!m_assist->snapLine(4));
        QCOMPARE(notice.size(), 1);
        QVERIFY(!m_assist->snapLine(0));
        m_editor.undo();
        QVERIFY(!m_editor.document()->isUndoAvailable());
        QCOMPARE(m_editor.toPlainText(), tagged({Starts[0], Starts[1], late, early}));
    }

    // C: the median lag over the lines with an onset near them.
    void correction_data()
    {
        QTest::addColumn<QList<double>>("delays"); // per line, seconds
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("said");         // in the question or the note
        QTest::addColumn<double>("lag");           // the lag taken out, 0: nothing changes
        QTest::newRow("late presses, 是")
            << QList<double>{0.18, 0.15, 0.21, 0.17, 0.19, 0.22, 0.16, 0.18} << true << u"晚"_s << 0.180;
        QTest::newRow("late presses, 否")
            << QList<double>{0.18, 0.15, 0.21, 0.17, 0.19, 0.22, 0.16, 0.18} << false << u"晚"_s << 0.0;
        QTest::newRow("early presses") << QList<double>{-0.06, -0.05, -0.07, -0.06, -0.04} << true << u"早"_s
                                       << -0.055;
        QTest::newRow("too few lines") << QList<double>{0.18, 0.15, 0.21, 0.17} << true << u"至少要 5 行"_s << 0.0;
        QTest::newRow("no clear lag") << QList<double>{-0.12, 0.35, 0.0, 0.28, -0.1, 0.2, 0.05, 0.38} << true
                                      << u"相差太大"_s << 0.0;
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
        start(text);
        m_tools.yesNoAnswers.push_back(yes);
        m_assist->correctAction()->trigger();
        QCOMPARE(m_tools.questions.size() + m_tools.notes.size(), 1);
        const QString shown = (m_tools.questions + m_tools.notes).constFirst();
        QVERIFY2(shown.contains(said), qPrintable(shown));
        if (lag == 0) {
            QCOMPARE(m_editor.toPlainText(), text);
            return;
        }
        // The lag it names is the one it takes out, within the onsets' 10 ms.
        const QRegularExpressionMatch named = QRegularExpression(u"(\\d+) ms（(\\d+) 行）"_s).match(shown);
        QVERIFY2(named.hasMatch(), qPrintable(shown));
        const int ms = named.captured(1).toInt() * (lag > 0 ? 1 : -1);
        QVERIFY2(std::abs(ms / 1000.0 - lag) <= 0.012, qPrintable(shown));
        QCOMPARE(named.captured(2).toInt(), delays.size());
        for (int i = 0; i < taps.size(); ++i)
            QCOMPARE(firstTag(m_editor, i + 1), (tarvelin::msFromSeconds(taps[i]) / 10 * 10 - ms) / 10 / 100.0);
        m_editor.undo();
        QCOMPARE(m_editor.toPlainText(), text);
    }

    // Taps snap as they are made with 自动吸附 on, unless made with
    // Shift+Space; S snaps the line just tapped; nothing snaps until asked.
    void tapModeKeys()
    {
        start(u"甲\n乙\n丙"_s);
        tarvelin::test::FakeEngine engine;
        engine.currentState = tarvelin::MediaEngine::State::Playing;
        tarvelin::TapMode mode(&m_editor, &engine);
        mode.setAssist(m_assist.get());
        mode.setActive(true);
        const auto tap = [&](double at, Qt::KeyboardModifiers mods) {
            engine.positionValue = at;
            QTest::keyClick(&m_editor, Qt::Key_Space, mods);
        };
        tap(Starts[3] + 0.19, Qt::NoModifier);
        QCOMPARE(firstTag(m_editor, 0), tarvelin::msFromSeconds(Starts[3] + 0.19) / 10 / 100.0);
        m_assist->autoSnapAction()->setChecked(true);
        tap(Starts[4] + 0.19, Qt::NoModifier);
        QVERIFY2(std::abs(firstTag(m_editor, 1) - Starts[4]) <= 0.015, qPrintable(m_editor.toPlainText()));
        tap(Starts[5] + 0.19, Qt::ShiftModifier);
        QCOMPARE(firstTag(m_editor, 2), tarvelin::msFromSeconds(Starts[5] + 0.19) / 10 / 100.0);
        QTest::keyClick(&m_editor, Qt::Key_S);
        QVERIFY2(std::abs(firstTag(m_editor, 2) - Starts[5]) <= 0.015, qPrintable(m_editor.toPlainText()));
    }
};

QTEST_MAIN(TestWaveformAssist)
#include "tst_waveform_assist.moc"
