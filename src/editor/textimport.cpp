#include "editor/textimport.h"

#include "desktop/filedialog.h"
#include "desktop/platformtools.h"
#include "core/lyricstext.h"
#include "editor/reimport.h"

#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>

namespace tarvelin {

namespace {

// Appends every line, each followed by a line break, at the end of the
// document in one insertion: one undo step, linear in the text's length.
// Returns where the text went.
std::pair<int, int> appendLines(QPlainTextEdit *editor, const QStringList &lines)
{
    QTextCursor cursor(editor->document());
    cursor.movePosition(QTextCursor::End);
    const int start = cursor.position();
    cursor.beginEditBlock();
    cursor.insertText(importedBlockText(lines));
    cursor.endEditBlock();
    return {start, cursor.position()};
}

} // namespace

bool importText(FileDialog &dialog, QLineEdit *pathBox, QPlainTextEdit *editor, ImportedText *imported,
                PlatformTools &tools, QWidget *parent)
{
    dialog.chooseOpen(parent);
    pathBox->setText(dialog.chosenPath);
    if (dialog.chosenPath.isEmpty())
        return false;

    const QString path = dialog.chosenPath;
    // Whatever happens below, this import is over: a later cancel finds no name.
    dialog.chosenPath.clear();
    const LyricsFile file = readLyricsFile(path);
    if (!file.error.isEmpty()) {
        tools.showError(parent, QStringLiteral("导入歌词"),
                        QStringLiteral("无法读取文件“%1”：%2").arg(QDir::toNativeSeparators(path), file.error));
        return false;
    }
    if (file.lines.isEmpty()) {
        tools.showInformation(parent, QStringLiteral("导入歌词"),
                              QStringLiteral("“%1”没有导入任何内容：文件是空的。").arg(QDir::toNativeSeparators(path)));
        return false;
    }

    const auto [start, end] = appendLines(editor, file.lines);
    // Kept so that it can be read again with another encoding.
    if (imported)
        imported->imported(file, start, end);
    editor->moveCursor(QTextCursor::Start);
    return true;
}

} // namespace tarvelin
