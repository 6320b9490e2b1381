#include "tapping/timingassist.h"

#include "analysis/songanalysis.h"
#include "analysis/timingrules.h"
#include "core/lrc.h"
#include "core/positiontext.h"
#include "document/lyricsdocument.h"
#include "desktop/platformtools.h"

#include <QAction>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace tarvelin {

namespace {

const QString CorrectTitle = QStringLiteral("校正反应延迟");
const QString ShiftTitle = QStringLiteral("整体平移");
const QString AlignTitle = QStringLiteral("对齐到这首歌");
// The most a shift may move every tag, either way: ten minutes.
constexpr int MaxShiftMs = 600000;

} // namespace

TimingAssist::TimingAssist(LyricsDocument *lyrics, SongAnalysis *analysis, PlatformTools &tools,
                           QWidget *dialogParent, QObject *parent)
    : QObject(parent), m_lyrics(lyrics), m_analysis(analysis), m_tools(tools), m_dialogParent(dialogParent)
{
    m_autoSnap = new QAction(QStringLiteral("自动吸附"), this);
    m_autoSnap->setObjectName(QStringLiteral("autoSnap"));
    m_autoSnap->setCheckable(true);
    m_autoSnap->setToolTip(QStringLiteral("打轴时把每个标签移到附近清楚的声音起点（Shift+空格：这一下不吸附）"));
    m_correct = new QAction(QStringLiteral("校正反应延迟"), this);
    m_correct->setObjectName(QStringLiteral("correctDelay"));
    m_correct->setToolTip(QStringLiteral("由已打的标签估计按键比声音晚多少，并从所有标签中减去"));
    connect(m_correct, &QAction::triggered, this, &TimingAssist::correctReactionDelay);
    m_align = new QAction(AlignTitle, this);
    m_align->setObjectName(QStringLiteral("alignToSong"));
    m_align->setToolTip(QStringLiteral("为另一版本打好轴的歌词：找出整体偏移和速度，把所有标签对到这首歌上（打轴模式：A）"));
    connect(m_align, &QAction::triggered, this, &TimingAssist::alignToSong);
    if (m_lyrics)
        connect(m_lyrics, &LyricsDocument::changed, this, &TimingAssist::updateAlignEnabled);
    if (m_analysis)
        connect(m_analysis, &SongAnalysis::statusChanged, this, &TimingAssist::updateAlignEnabled);
    updateAlignEnabled();
    m_shift = new QAction(QStringLiteral("整体平移…"), this);
    m_shift->setObjectName(QStringLiteral("shiftAll"));
    m_shift->setToolTip(QStringLiteral("把所有时间标签提前或推后若干毫秒"));
    connect(m_shift, &QAction::triggered, this, &TimingAssist::shiftAll);
}

bool TimingAssist::autoSnap() const
{
    return m_autoSnap->isChecked();
}

double TimingAssist::tapTime(double seconds, bool snapAllowed) const
{
    if (!snapAllowed || !autoSnap() || !m_analysis || m_analysis->status() != SongAnalysis::Status::Finished)
        return seconds;
    return snapTime(m_analysis->curves().timing, seconds, m_correctedDelay.value_or(TypicalDelay)).value_or(seconds);
}

bool TimingAssist::snapLine(int line)
{
    if (!m_lyrics)
        return false;
    const LrcLine &parsed = m_lyrics->line(line);
    if (parsed.kind != LrcLine::Kind::Lyric || parsed.tags.isEmpty()) {
        Q_EMIT notice(QStringLiteral("这一行还没有时间标签"));
        return false;
    }
    if (!m_analysis || m_analysis->status() != SongAnalysis::Status::Finished) {
        Q_EMIT notice(QStringLiteral("歌曲还没有分析完，标签未动"));
        return false;
    }
    const double tag = double(parsed.tags.first().ms) / 1000.0;
    const auto target = snapTime(m_analysis->curves().timing, tag, m_correctedDelay ? 0.0 : TypicalDelay);
    if (!target) {
        Q_EMIT notice(QStringLiteral("附近没有清楚的声音起点，标签未动"));
        return false;
    }
    m_lyrics->setTagTime(line, 0, msFromSeconds(*target));
    return true;
}

void TimingAssist::updateAlignEnabled()
{
    const bool song = m_analysis && m_analysis->status() != SongAnalysis::Status::Empty
                      && m_analysis->status() != SongAnalysis::Status::Failed;
    bool tagged = false;
    for (int i = 0, n = song && m_lyrics ? m_lyrics->lineCount() : 0; i < n && !tagged; ++i) {
        const LrcLine &line = m_lyrics->line(i);
        tagged = line.kind == LrcLine::Kind::Lyric && !line.tags.isEmpty();
    }
    m_align->setEnabled(song && tagged);
}

bool TimingAssist::songReady(const QString &title)
{
    if (!m_analysis || m_analysis->status() == SongAnalysis::Status::Empty
        || m_analysis->status() == SongAnalysis::Status::Failed) {
        m_tools.showInformation(m_dialogParent, title, QStringLiteral("没有可分析的歌曲声音，无法估计。标签未改动。"));
        return false;
    }
    if (m_analysis->status() == SongAnalysis::Status::Running) {
        m_tools.showInformation(m_dialogParent, title, QStringLiteral("歌曲还在分析中，请稍后再试。"));
        return false;
    }
    return true;
}

std::vector<double> TimingAssist::lineTags() const
{
    std::vector<double> tags;
    for (int i = 0, n = m_lyrics->lineCount(); i < n; ++i) {
        const LrcLine &line = m_lyrics->line(i);
        if (line.kind == LrcLine::Kind::Lyric && !line.tags.isEmpty())
            tags.push_back(double(line.tags.first().ms) / 1000.0);
    }
    return tags;
}

void TimingAssist::correctReactionDelay()
{
    if (!m_lyrics || !songReady(CorrectTitle))
        return;
    const std::vector<double> tags = lineTags();
    const DelayEstimate e = estimateDelay(tags, m_analysis->curves());
    const auto ms = [](double seconds) { return std::llround(seconds * 1000); };
    const auto refuse = [&](const QString &why) {
        m_tools.showInformation(m_dialogParent, CorrectTitle, why + QStringLiteral("标签未改动。"));
    };
    switch (e.outcome) {
    case DelayEstimate::Outcome::TooFewLines:
        refuse(QStringLiteral("只有 %1 行有时间标签，至少要 %2 行才能估计反应延迟。").arg(e.lines).arg(DelayMinLines));
        return;
    case DelayEstimate::Outcome::Flat:
        refuse(QStringLiteral("各行按键与声音起点看不出一致的间隔（%1 行），无法估计反应延迟。").arg(e.lines));
        return;
    case DelayEstimate::Outcome::AtEdge:
        refuse(QStringLiteral("按键与声音起点最吻合的间隔是 %1 ms，不像反应延迟（通常 %2–%3 ms），多半是节拍造成的。")
                   .arg(ms(e.delay))
                   .arg(ms(timingRuleSettings().delayMinPlausible))
                   .arg(ms(timingRuleSettings().delayMaxPlausible)));
        return;
    case DelayEstimate::Outcome::Ambiguous:
        refuse(QStringLiteral("按键晚 %1 ms 和晚 %2 ms 与声音起点吻合得差不多好（可能是节拍），看不出哪个是反应延迟。")
                   .arg(ms(e.delay))
                   .arg(ms(e.rivalDelay)));
        return;
    case DelayEstimate::Outcome::Clear:
        break;
    }
    const qint64 lagMs = ms(e.delay);
    const QString question =
        QStringLiteral("检测到按键平均晚 %1 ms（%2 行）。全部提前 %1 ms？").arg(lagMs).arg(e.lines);
    if (m_tools.askYesNo(m_dialogParent, CorrectTitle, question)) {
        m_lyrics->shiftAllTags(-lagMs);
        m_correctedDelay = double(lagMs) / 1000.0;
    }
}

void TimingAssist::alignToSong()
{
    if (!m_lyrics || !songReady(AlignTitle))
        return;
    const TimingCurves &curves = m_analysis->curves();
    const Alignment a = fitAlignment(lineTags(), curves.timing, voiceEntries(curves));
    const auto refuse = [&](const QString &why) {
        m_tools.showInformation(m_dialogParent, AlignTitle, why + QStringLiteral("标签未改动。"));
    };
    switch (a.outcome) {
    case Alignment::Outcome::TooFewLines:
        refuse(QStringLiteral("只有 %1 行有时间标签，至少要 %2 行才能对齐。").arg(a.lines).arg(AlignMinLines));
        return;
    case Alignment::Outcome::Flat:
        refuse(QStringLiteral("在 ±%1 秒、速度 ×%2–×%3 之内找不到让各行对上声音起点的移动。")
                   .arg(AlignMaxOffset)
                   .arg(AlignMinSpeed, 0, 'f', 2)
                   .arg(AlignMaxSpeed, 0, 'f', 2));
        return;
    case Alignment::Outcome::Ambiguous:
        refuse(QStringLiteral("有不止一种移动与这首歌吻合得差不多好（行距或节拍太规则），无法确定。"));
        return;
    case Alignment::Outcome::Clear:
        break;
    }
    const QString move = a.offset >= 0 ? QStringLiteral("整体推后 %1 秒").arg(a.offset, 0, 'f', 2)
                                       : QStringLiteral("整体提前 %1 秒").arg(-a.offset, 0, 'f', 2);
    const QString question = QStringLiteral("%1，速度 ×%2（%3 行）。改写所有时间标签？")
                                 .arg(move)
                                 .arg(a.speed, 0, 'f', 3)
                                 .arg(a.lines);
    if (m_tools.askYesNo(m_dialogParent, AlignTitle, question))
        m_lyrics->mapAllTags(a.speed, std::llround(a.offset * 1000));
}

void TimingAssist::shiftAll()
{
    if (!m_lyrics)
        return;
    const QString limits = QStringLiteral("%1 到 %2").arg(-MaxShiftMs).arg(MaxShiftMs);
    const QString label = QStringLiteral("所有时间标签移动多少毫秒（正数推后，负数提前；%1）：").arg(limits);
    QString typed = QStringLiteral("0");
    qint64 ms = 0;
    for (;;) {
        const auto answer = m_tools.askText(m_dialogParent, ShiftTitle, label, typed);
        if (!answer)
            return;
        typed = *answer;
        // Full-width digits and signs, as a Chinese input method types them, read as ASCII.
        QString number = typed.normalized(QString::NormalizationForm_KC).trimmed();
        if (number.startsWith(u'+'))
            number.remove(0, 1);
        bool ok = !number.isEmpty() && (number[0].isDigit() || number[0] == u'-');
        ms = ok ? number.toLongLong(&ok) : 0;
        if (ok && std::abs(ms) <= MaxShiftMs)
            break;
        m_tools.showError(m_dialogParent, ShiftTitle,
                          ok ? QStringLiteral("“%1”超出了范围：最多平移十分钟，即 %2 毫秒。").arg(typed.trimmed(), limits)
                             : QStringLiteral("“%1”不是整数毫秒：请输入 %2 之间的整数。").arg(typed.trimmed(), limits));
    }
    if (ms == 0)
        return;
    if (ms < 0) {
        // Tags that would go below 0 all stop at [00:00.00]: their order and
        // distances are lost, so the user decides.
        int pinned = 0;
        for (int i = 0, n = m_lyrics->lineCount(); i < n; ++i) {
            const QList<TimeTag> &tags = m_lyrics->line(i).tags;
            pinned += std::any_of(tags.begin(), tags.end(), [ms](const TimeTag &t) { return t.ms > 0 && t.ms + ms < 0; });
        }
        if (pinned > 0
            && !m_tools.askYesNo(m_dialogParent, ShiftTitle,
                                 QStringLiteral("提前 %1 毫秒会使 %2 行的时间早于 0，这些行都将停在 [00:00.00]。仍要平移？")
                                     .arg(-ms)
                                     .arg(pinned)))
            return;
    }
    m_lyrics->shiftAllTags(ms);
}

} // namespace tarvelin
