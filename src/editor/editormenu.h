#pragma once

// The editor's right-click menu: Qt's own entries (undo, cut, copy, paste,
// select all...), then 插入歌曲信息, 检查歌词 and 按其他编码重新导入, then
// 导出… (Ctrl+E anywhere in the window), 展开重复行, 应用 [offset:] and the
// timing help's entries that work on the whole text (对齐到这首歌).

#include "core/lyricstext.h"

#include <QObject>
#include <QPointer>

#include <functional>

class QAction;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPoint;
class QWidget;

namespace tarvelin {

class ImportedText;
class LyricsCheckDialog;
class LyricsDocument;
class PlatformTools;

class EditorMenu : public QObject {
    Q_OBJECT
public:
    // Takes over the editor's context menu; a child of the editor named
    // "editorMenu". Makes the editor's ImportedText (see reimport.h), which
    // notes how imports into it were read on `pathBox`, the text's path box.
    // `lyrics` is the editor's text read as lyrics. Messages and the check
    // window belong to `window`.
    EditorMenu(QPlainTextEdit *editor, LyricsDocument *lyrics, QLineEdit *pathBox, PlatformTools &tools,
               QWidget *window);

    // The loaded song's path (empty: none) and its length as the player
    // knows it (<= 0: not known).
    void setSong(std::function<QString()> path, std::function<double()> duration);

    // The last imported text, for 导入文本 to note its imports in.
    ImportedText *importedText() const { return m_imported; }

    // The menu for a right-click at `pos` (the editor viewport's
    // coordinates). The caller owns it.
    QMenu *createMenu(const QPoint &pos);
    // More entries at the menu's end (e.g. 自动逐字).
    void addActions(const QList<QAction *> &actions) { m_extra += actions; }
    // Entries that retime the whole text, after 应用 [offset:]: the
    // caller's own actions, shown as they are (enabled or not as their owner
    // keeps them), so the same action serves here and elsewhere.
    void addTimingActions(const QList<QAction *> &actions)
    {
        for (QAction *action : actions)
            m_timing.append(action);
    }

    // The three entries.
    void insertSongInfo();
    void checkLyrics();
    void reimportAs(TextEncoding encoding);
    void exportLyrics();

private:
    double songDuration() const;

    QPointer<QPlainTextEdit> m_editor;
    QPointer<LyricsDocument> m_lyrics;
    QPointer<LyricsCheckDialog> m_check; // made on first use
    ImportedText *m_imported = nullptr;
    PlatformTools &m_tools;
    QPointer<QWidget> m_window;
    std::function<QString()> m_songPath;
    std::function<double()> m_playerDuration;
    QAction *m_exportAction = nullptr;
    QList<QAction *> m_extra;
    QList<QPointer<QAction>> m_timing;
};

} // namespace tarvelin
