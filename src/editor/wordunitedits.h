#pragma once

// Merging and splitting the units of a word-timed line in the editor, for a
// word sung otherwise than the rule cuts it: 合并为一个字词 takes the word
// tags between the selected characters away, so they are one unit;
// 拆开字词 cuts the unit at the caret into the rule's units, their times
// shared out by syllables up to the next word tag and proposed (grey in the
// waveform until dragged or confirmed). Each is one undo step. Lines not yet
// timed word by word are merged while tapping them (M in word mode).

#include <QObject>
#include <QPointer>

class QAction;
class QPlainTextEdit;

namespace tarvelin {

class LyricsDocument;

class WordUnitEdits : public QObject {
    Q_OBJECT
public:
    // The actions work on the editor's selection and caret; Ctrl+M and
    // Ctrl+Shift+M in the editor.
    WordUnitEdits(QPlainTextEdit *editor, LyricsDocument *lyrics, QObject *parent = nullptr);

    // 合并为一个字词, 拆开字词.
    QList<QAction *> actions() const { return {m_merge, m_split}; }

    bool mergeSelection();
    bool splitAtCaret();

Q_SIGNALS:
    void notice(const QString &text);

private:
    QPointer<QPlainTextEdit> m_editor;
    QPointer<LyricsDocument> m_lyrics;
    QAction *m_merge;
    QAction *m_split;
};

} // namespace tarvelin
