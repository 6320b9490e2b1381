#include "editor/lyricssave.h"

#include "desktop/filedialog.h"
#include "desktop/platformtools.h"
#include "core/lyricstext.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QTextDocument>

namespace tarvelin {

bool saveLyrics(FileDialog &dialog, QPlainTextEdit *editor, PlatformTools &tools, QWidget *parent)
{
    // Cleared first, so a cancel never reuses an earlier choice.
    dialog.chosenPath.clear();
    dialog.chooseSave(parent);
    if (dialog.chosenPath.isEmpty())
        return false;

    const QString path = dialog.chosenPath;
    // The raw text keeps no-break spaces that toPlainText() would turn into
    // plain ones; its paragraph separators become CR LF when encoded.
    const QString error = writeLyricsFile(path, editor->document()->toRawText());
    if (!error.isEmpty()) {
        tools.showError(parent, QStringLiteral("保存歌词"),
                        QStringLiteral("无法保存文件“%1”：%2").arg(QDir::toNativeSeparators(path), error));
        return false;
    }
    editor->document()->setModified(false);
    return true;
}

} // namespace tarvelin
