#pragma once

// 自动逐字: word times worked out from the song's timing curve, as a first
// guess the user corrects; shown as proposed until accepted (确认逐字时间)
// or edited.

#include "analysis/timingcurves.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class QAction;
class QPlainTextEdit;

namespace tarvelin {

class LyricsDocument;
class SongAnalysis;

// For each of `lines` that is a lyric line with a tag: the units of its sung
// text (tappingUnits: as its word tags cut them, if it has any) placed by alignWords between its first tag and the next tagged lyric
// line's (or songEndMs when there is none; a last line without either is
// left alone), at the pace of all the tagged lines, written as proposed word
// tags with an end tag. All in one undo step. Returns how many lines got
// word times.
int proposeWordTimes(LyricsDocument &lyrics, const TimingCurves &curves, const QList<int> &lines, qint64 songEndMs);

// The editor menu's actions for it: on the selected lines, or the caret's
// line without a selection, or on every line.
class AutoWords : public QObject {
    Q_OBJECT
public:
    AutoWords(QPlainTextEdit *editor, LyricsDocument *lyrics, SongAnalysis *analysis,
              std::function<double()> songDuration, QObject *parent = nullptr);

    // 自动逐字 (the selection or the caret's line), 全部自动逐字, 确认逐字时间.
    QList<QAction *> actions() const { return {m_selected, m_all, m_accept}; }

    void proposeSelected();
    void proposeAll();
    void acceptSelected();

Q_SIGNALS:
    void notice(const QString &text);

private:
    QList<int> selectedLines() const;
    void propose(const QList<int> &lines);

    QPointer<QPlainTextEdit> m_editor;
    QPointer<LyricsDocument> m_lyrics;
    QPointer<SongAnalysis> m_analysis;
    std::function<double()> m_songDuration;
    QAction *m_selected;
    QAction *m_all;
    QAction *m_accept;
};

} // namespace tarvelin
