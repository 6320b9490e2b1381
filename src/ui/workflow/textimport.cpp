#include "ui/workflow/textimport.h"

#include "ui/components/filedialog.h"
#include "ui/components/platformtools.h"
#include "core/lyricstext.h"

#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>

namespace tarvelin {

namespace {

// Appends every line, each followed by a line break, at the end of the
// document in one insertion: one undo step, linear in the text's length.
void appendLines(QPlainTextEdit *editor, const QStringList &lines)
{
    QString text = lines.join(u'\n');
    text.append(u'\n');
    QTextCursor cursor(editor->document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    cursor.insertText(text);
    cursor.endEditBlock();
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

    appendLines(Text3, file.lines);
    Text3->moveCursor(QTextCursor::Start);
    return true;
}

} // namespace tarvelin
