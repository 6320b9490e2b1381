#pragma once

// "检查歌词": the problems of the lyrics in a small window beside the main
// one, each with its line number; a double-click puts the caret there.

#include <QDialog>
#include <QPointer>

class QPlainTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace tarvelin {

class LyricsDocument;
class PlatformTools;

class LyricsCheckDialog : public QDialog {
    Q_OBJECT
public:
    // Not modal: the user corrects the lyrics with the list open.
    LyricsCheckDialog(QPlainTextEdit *editor, LyricsDocument *lyrics, QWidget *parent);

    // Checks the lyrics' lines against a song of that length (<= 0:
    // unknown) and lists what it finds. Returns the number of problems.
    int check(double durationSeconds);

    QTreeWidget *list() const { return m_list; }

    // The caret to the start of a line (0-based) of the editor, which gets
    // the focus.
    void goToLine(int line);

private:
    QPointer<QPlainTextEdit> m_editor;
    QPointer<LyricsDocument> m_lyrics;
    QTreeWidget *m_list = nullptr;
    double m_duration = 0;
};

// Checks the lyrics: problems go to the check window `dialog` (shown and
// raised); none: the window closes and a message over it says so.
void checkLyricsOf(LyricsCheckDialog *dialog, double durationSeconds, PlatformTools &tools);

} // namespace tarvelin
