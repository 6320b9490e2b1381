#include "ui/workflow/textimport.h"

#include "ui/components/filedialog.h"
#include "ui/components/platformtools.h"
#include "core/lyricstext.h"
#include "ui/workflow/reimport.h"

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

bool importText(FileDialog &opentxt1, QLineEdit *Text2, QPlainTextEdit *Text3, PlatformTools &tools,
                QWidget *parent)
{
    opentxt1.ShowOpen(parent);
    opentxt1.CancelError = false;
    Text2->setText(opentxt1.FileName);
    if (opentxt1.FileName.isEmpty())
        return false;

    const QString path = opentxt1.FileName;
    // Whatever happens below, this import is over: a later cancel finds no name.
    opentxt1.FileName.clear();
    const LyricsFile file = readLyricsFile(path);
    if (!file.error.isEmpty()) {
        tools.showError(parent, QStringLiteral("导入歌词"),
                        QStringLiteral("无法读取文件“%1”：%2").arg(QDir::toNativeSeparators(path), file.error));
        return false;
    }
    if (file.lines.isEmpty())
        return false;

    const auto [start, end] = appendLines(Text3, file.lines);
    // Kept so that it can be read again with another encoding.
    if (auto *imported = Text3->findChild<ImportedText *>())
        imported->imported(file, start, end);
    Text3->moveCursor(QTextCursor::Start);
    return true;
}

} // namespace tarvelin
