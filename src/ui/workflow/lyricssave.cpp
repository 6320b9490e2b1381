#include "ui/workflow/lyricssave.h"

#include "ui/components/filedialog.h"
#include "ui/components/platformtools.h"
#include "core/lyricstext.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QTextDocument>

namespace tarvelin {

bool saveLyrics(FileDialog &savetxt1, QPlainTextEdit *Text3, PlatformTools &tools, QWidget *parent)
{
    // Cleared first, so a cancel never reuses an earlier choice.
    savetxt1.FileName.clear();
    savetxt1.ShowSave(parent);
    if (savetxt1.FileName.isEmpty())
        return false;

    const QString path = savetxt1.FileName;
    // The raw text keeps no-break spaces that toPlainText() would turn into
    // plain ones; its paragraph separators become CR LF when encoded.
    const QString error = writeLyricsFile(path, Text3->document()->toRawText());
    if (!error.isEmpty()) {
        tools.showError(parent, QStringLiteral("保存歌词"),
                        QStringLiteral("无法保存文件“%1”：%2").arg(QDir::toNativeSeparators(path), error));
        return false;
    }
    Text3->document()->setModified(false);
    return true;
}

} // namespace tarvelin
