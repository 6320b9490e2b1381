#include "ui/workflow/timingassist.h"

#include "analysis/onsetrules.h"
#include "analysis/songanalysis.h"
#include "core/lrc.h"
#include "ui/components/platformtools.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace tarvelin {

namespace {

const QString CorrectTitle = QStringLiteral("校正反应延迟");
const QString ShiftTitle = QStringLiteral("整体平移");
// The most a shift may move every tag, either way: ten minutes.
constexpr int MaxShiftMs = 600000;

// Replaces the part of a block that differs from `text` (the common start
// and end stay, and with them any cursor outside the change).
void rewriteBlock(QTextCursor &cursor, const QTextBlock &block, const QString &text)
{
    const QString old = block.text();
    qsizetype head = 0;
    while (head < old.size() && head < text.size() && old[head] == text[head])
        ++head;
    qsizetype tail = 0;
    while (tail < old.size() - head && tail < text.size() - head
           && old[old.size() - 1 - tail] == text[text.size() - 1 - tail])
        ++tail;
    cursor.setPosition(block.position() + int(head));
    cursor.setPosition(block.position() + int(old.size() - tail), QTextCursor::KeepAnchor);
    cursor.insertText(text.mid(head, text.size() - head - tail));
}

} // namespace

bool setTagTime(QTextDocument *document, int line, int tag, qint64 ms)
{
    if (!document)
        return false;
    const QTextBlock block = document->findBlockByNumber(line);
    if (!block.isValid())
        return false;
    const LrcLine parsed = parseLrcLine(block.text());
    if (tag < 0 || tag >= parsed.tags.size())
        return false;
    const TimeTag &t = parsed.tags[tag];
    QString text = block.text();
    text.replace(t.start, t.length, formatTimeTag(std::max<qint64>(ms, 0)));
    if (text == block.text())
        return false;
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    rewriteBlock(cursor, block, text);
    cursor.endEditBlock();
    return true;
}

bool shiftAllTags(QTextDocument *document, qint64 deltaMs)
{
    if (!document)
        return false;
    QTextCursor cursor(document);
    bool changed = false;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        const QString shifted = shiftTimeTags({text}, deltaMs).constFirst();
        if (shifted == text)
            continue;
        if (!changed)
            cursor.beginEditBlock();
        changed = true;
        rewriteBlock(cursor, block, shifted);
    }
    if (changed)
        cursor.endEditBlock();
    return changed;
}

TimingAssist::TimingAssist(QPlainTextEdit *editor, SongAnalysis *analysis, PlatformTools &tools,
                           QWidget *dialogParent, QObject *parent)
    : QObject(parent), m_editor(editor), m_analysis(analysis), m_tools(tools), m_dialogParent(dialogParent)
{
    m_autoSnap = new QAction(QStringLiteral("自动吸附"), this);
    m_autoSnap->setObjectName(QStringLiteral("autoSnap"));
    m_autoSnap->setCheckable(true);
    m_autoSnap->setToolTip(QStringLiteral("打轴时把每个标签移到附近最强的声音起点（Shift+空格：这一下不吸附）"));
    m_correct = new QAction(QStringLiteral("校正反应延迟"), this);
    m_correct->setObjectName(QStringLiteral("correctDelay"));
    m_correct->setToolTip(QStringLiteral("由已打的标签估计按键比声音晚多少，并从所有标签中减去"));
    connect(m_correct, &QAction::triggered, this, &TimingAssist::correctReactionDelay);
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
    if (!snapAllowed || !autoSnap() || !m_analysis)
        return seconds;
    const auto near = m_analysis->onsets(seconds - SnapBefore - 0.001, seconds + SnapAfter + 0.001);
    const auto onset = snapTarget(near, seconds);
    return onset ? onset->time : seconds;
}

bool TimingAssist::snapLine(int line)
{
    if (!m_editor)
        return false;
    const QTextBlock block = m_editor->document()->findBlockByNumber(line);
    const LrcLine parsed = parseLrcLine(block.text());
    if (parsed.kind != LrcLine::Kind::Lyric || parsed.tags.isEmpty()) {
        Q_EMIT notice(QStringLiteral("这一行还没有时间标签"));
        return false;
    }
    const double tag = double(parsed.tags.first().ms) / 1000.0;
    const auto near = m_analysis ? m_analysis->onsets(tag - SnapBefore - 0.001, tag + SnapAfter + 0.001)
                                 : std::vector<Onset>{};
    const auto onset = snapTarget(near, tag);
    if (!onset) {
        Q_EMIT notice(QStringLiteral("附近没有声音起点，标签未动"));
        return false;
    }
    setTagTime(m_editor->document(), line, 0, msFromSeconds(onset->time));
    return true;
}

void TimingAssist::correctReactionDelay()
{
    if (!m_editor)
        return;
    if (!m_analysis || m_analysis->status() == SongAnalysis::Status::Empty
        || m_analysis->status() == SongAnalysis::Status::Failed) {
        m_tools.showInformation(m_dialogParent, CorrectTitle,
                            QStringLiteral("没有可分析的歌曲声音，无法估计反应延迟。"));
        return;
    }
    if (m_analysis->status() == SongAnalysis::Status::Running) {
        m_tools.showInformation(m_dialogParent, CorrectTitle, QStringLiteral("歌曲还在分析中，请稍后再试。"));
        return;
    }
    std::vector<double> tags;
    for (QTextBlock block = m_editor->document()->begin(); block.isValid(); block = block.next()) {
        const LrcLine line = parseLrcLine(block.text());
        if (line.kind == LrcLine::Kind::Lyric && !line.tags.isEmpty())
            tags.push_back(double(line.tags.first().ms) / 1000.0);
    }
    const LagEstimate estimate = estimateReactionLag(tags, m_analysis->onsets());
    switch (estimate.outcome) {
    case LagEstimate::Outcome::TooFewLines:
        m_tools.showInformation(m_dialogParent, CorrectTitle,
                            QStringLiteral("只有 %1 行的标签附近有声音起点，至少要 %2 行才能估计反应延迟。标签未改动。")
                                .arg(estimate.lines)
                                .arg(LagMinLines));
        return;
    case LagEstimate::Outcome::NoClearLag:
        m_tools.showInformation(m_dialogParent, CorrectTitle,
                            QStringLiteral("各行按键与声音起点的间隔相差太大（%1 行），看不出一致的反应延迟。标签未改动。")
                                .arg(estimate.lines));
        return;
    case LagEstimate::Outcome::Clear:
        break;
    }
    const qint64 lagMs = std::llround(estimate.lag * 1000);
    if (lagMs == 0) {
        m_tools.showInformation(m_dialogParent, CorrectTitle,
                            QStringLiteral("按键与声音起点基本同时（%1 行），无需校正。").arg(estimate.lines));
        return;
    }
    const QString question = lagMs > 0
        ? QStringLiteral("检测到按键平均晚 %1 ms（%2 行）。全部提前 %1 ms？").arg(lagMs).arg(estimate.lines)
        : QStringLiteral("检测到按键平均早 %1 ms（%2 行）。全部推后 %1 ms？").arg(-lagMs).arg(estimate.lines);
    if (m_tools.askYesNo(m_dialogParent, CorrectTitle, question))
        shiftAllTags(m_editor->document(), -lagMs);
}

void TimingAssist::shiftAll()
{
    if (!m_editor)
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
        for (QTextBlock block = m_editor->document()->begin(); block.isValid(); block = block.next()) {
            const QList<TimeTag> tags = parseLrcLine(block.text()).tags;
            pinned += std::any_of(tags.begin(), tags.end(), [ms](const TimeTag &t) { return t.ms > 0 && t.ms + ms < 0; });
        }
        if (pinned > 0
            && !m_tools.askYesNo(m_dialogParent, ShiftTitle,
                                 QStringLiteral("提前 %1 毫秒会使 %2 行的时间早于 0，这些行都将停在 [00:00.00]。仍要平移？")
                                     .arg(-ms)
                                     .arg(pinned)))
            return;
    }
    shiftAllTags(m_editor->document(), ms);
}

} // namespace tarvelin
