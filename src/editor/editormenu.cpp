#include "editor/editormenu.h"

#include "media/songtags.h"
#include "desktop/platformtools.h"
#include "core/lrc.h"
#include "document/lyricsdocument.h"
#include "editor/lyricscheck.h"
#include "editor/lyricsexportactions.h"
#include "editor/reimport.h"
#include "editor/songinfo.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QPlainTextEdit>

namespace tarvelin {

EditorMenu::EditorMenu(QPlainTextEdit *editor, LyricsDocument *lyrics, QLineEdit *pathBox, PlatformTools &tools,
                       QWidget *window)
    : QObject(editor), m_editor(editor), m_lyrics(lyrics), m_imported(new ImportedText(editor, lyrics, pathBox)), m_tools(tools), m_window(window)
{
    setObjectName(QStringLiteral("editorMenu"));
    editor->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(editor, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        QMenu *menu = createMenu(pos);
        menu->exec(m_editor->viewport()->mapToGlobal(pos));
        delete menu;
    });
    m_exportAction = new QAction(QStringLiteral("导出…"), this);
    m_exportAction->setObjectName(QStringLiteral("exportLyrics"));
    m_exportAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    m_exportAction->setShortcutContext(Qt::WindowShortcut);
    m_exportAction->setToolTip(QStringLiteral("按播放器需要的编码和格式另存歌词，或写入歌曲文件"));
    connect(m_exportAction, &QAction::triggered, this, &EditorMenu::exportLyrics);
    (window ? window : static_cast<QWidget *>(editor))->addAction(m_exportAction);
}

void EditorMenu::setSong(std::function<QString()> path, std::function<double()> duration)
{
    m_songPath = std::move(path);
    m_playerDuration = std::move(duration);
}

QMenu *EditorMenu::createMenu(const QPoint &pos)
{
    QMenu *menu = m_editor->createStandardContextMenu(pos);
    menu->setToolTipsVisible(true);
    menu->addSeparator();

    const bool haveSong = m_songPath && !m_songPath().isEmpty();
    QAction *info = menu->addAction(QStringLiteral("插入歌曲信息"), this, &EditorMenu::insertSongInfo);
    info->setObjectName(QStringLiteral("insertSongInfo"));
    info->setEnabled(haveSong && !m_editor->isReadOnly());
    info->setToolTip(haveSong ? QStringLiteral("在开头插入歌名、歌手、专辑、时长和 [by:]，已有的不重复")
                              : QStringLiteral("先导入歌曲"));

    QAction *check = menu->addAction(QStringLiteral("检查歌词"), this, &EditorMenu::checkLyrics);
    check->setObjectName(QStringLiteral("checkLyrics"));

    QMenu *encodings = menu->addMenu(QStringLiteral("按其他编码重新导入"));
    encodings->menuAction()->setObjectName(QStringLiteral("reimport"));
    const QString reason = m_imported->unavailableReason();
    encodings->setEnabled(reason.isEmpty() && !m_editor->isReadOnly());
    encodings->menuAction()->setToolTip(reason.isEmpty() ? QStringLiteral("用另一种编码重新读入上次导入的文本")
                                                         : reason);
    auto *group = new QActionGroup(encodings);
    for (TextEncoding encoding : textEncodings()) {
        QAction *action = encodings->addAction(encodingName(encoding), this,
                                               [this, encoding] { reimportAs(encoding); });
        action->setCheckable(true);
        action->setChecked(m_imported->encoding() == encoding);
        action->setData(int(encoding));
        group->addAction(action);
    }

    menu->addSeparator();
    menu->addAction(m_exportAction);
    QAction *expand = menu->addAction(QStringLiteral("展开重复行"), this, [this] {
        if (m_lyrics)
            expandRepeatedLines(m_editor, *m_lyrics);
    });
    expand->setObjectName(QStringLiteral("expandRepeats"));
    expand->setEnabled(m_lyrics->hasRepeatedLines() && !m_editor->isReadOnly());
    expand->setToolTip(QStringLiteral("把带几个时间的行展开为每个时间一行，按时间排列"));
    QAction *offset = menu->addAction(QStringLiteral("应用 [offset:]"), this, [this] {
        if (m_lyrics)
            applyOffset(m_editor, *m_lyrics);
    });
    offset->setObjectName(QStringLiteral("applyOffset"));
    offset->setEnabled(m_lyrics->offsetMs() != 0 && !m_editor->isReadOnly());
    offset->setToolTip(QStringLiteral("把 [offset:] 计入每个时间标签并去掉它"));
    for (const QPointer<QAction> &action : std::as_const(m_timing)) {
        if (action)
            menu->addAction(action);
    }
    if (!m_extra.isEmpty()) {
        menu->addSeparator();
        for (QAction *action : m_extra) {
            action->setEnabled(!m_editor->isReadOnly());
            menu->addAction(action);
        }
    }
    return menu;
}

double EditorMenu::songDuration() const
{
    const double playing = m_playerDuration ? m_playerDuration() : 0;
    if (playing > 0)
        return playing;
    return m_songPath ? readSongTags(m_songPath()).duration : 0;
}

void EditorMenu::insertSongInfo()
{
    if (!m_lyrics || !m_songPath || m_songPath().isEmpty())
        return;
    SongTags tags = readSongTags(m_songPath());
    if (tags.duration <= 0 && m_playerDuration)
        tags.duration = m_playerDuration();
    tarvelin::insertSongInfo(*m_lyrics, tags);
}

void EditorMenu::checkLyrics()
{
    if (!m_editor || !m_window)
        return;
    if (!m_check)
        m_check = new LyricsCheckDialog(m_editor, m_lyrics, m_window);
    checkLyricsOf(m_check, songDuration(), m_tools);
}

void EditorMenu::exportLyrics()
{
    if (m_lyrics && m_window)
        startExport(*m_lyrics, m_songPath ? m_songPath() : QString(), songDuration(), m_tools, m_window);
}

void EditorMenu::reimportAs(TextEncoding encoding)
{
    const QString error = m_imported->reimportAs(encoding);
    if (!error.isEmpty())
        m_tools.showError(m_window, QStringLiteral("按其他编码重新导入"),
                          QStringLiteral("无法按 %1 重新导入：%2").arg(encodingName(encoding), error));
}

} // namespace tarvelin
