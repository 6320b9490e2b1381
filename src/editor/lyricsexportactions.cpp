#include "editor/lyricsexportactions.h"

#include "core/lyricsexport.h"
#include "core/lyricstext.h"
#include "media/lyricsembed.h"
#include "desktop/filedialog.h"
#include "desktop/platformtools.h"
#include "document/lyricsdocument.h"
#include "editor/exportdialog.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextCursor>

#include <cmath>

namespace tarvelin {

namespace {

using namespace Qt::StringLiterals;

// The lines in place of the editor's text as one undo step; the caret stays
// on its line number.
bool replaceLines(QPlainTextEdit *editor, LyricsDocument &lyrics, const QStringList &lines)
{
    if (!editor || editor->isReadOnly())
        return false;
    const int caretLine = editor->textCursor().blockNumber();
    if (!lyrics.setLines(lines))
        return false;
    QTextCursor caret(editor->document()->findBlockByNumber(std::min(caretLine, editor->document()->blockCount() - 1)));
    editor->setTextCursor(caret);
    return true;
}

QString fileTypeName(const QString &pattern)
{
    if (pattern == u"*.srt")
        return u"SRT 字幕"_s;
    if (pattern == u"*.ass")
        return u"ASS 字幕"_s;
    return u"LRC 歌词"_s;
}

} // namespace

bool expandRepeatedLines(QPlainTextEdit *editor, LyricsDocument &lyrics)
{
    if (!lyrics.hasRepeatedLines())
        return false;
    ExportOptions options;
    options.repeats = RepeatedLines::Expand;
    return replaceLines(editor, lyrics, rearrangeLyrics(lyrics.lines(), options));
}

bool applyOffset(QPlainTextEdit *editor, LyricsDocument &lyrics)
{
    if (lyrics.offsetMs() == 0)
        return false;
    ExportOptions options;
    options.applyOffset = true;
    return replaceLines(editor, lyrics, rearrangeLyrics(lyrics.lines(), options));
}

ExportDialog *startExport(const LyricsDocument &lyrics, const QString &songPath, double songSeconds,
                          PlatformTools &tools, QWidget *window)
{
    const QStringList lines = lyrics.lines();
    const qint64 songMs = std::isfinite(songSeconds) && songSeconds > 0 ? qint64(songSeconds * 1000) : 0;
    auto *dialog = new ExportDialog(lines, songPath, songMs, window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<QWidget> parent(window);
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, lines, songPath, &tools, parent](int outcome) {
        if (outcome == ExportDialog::EmbedIntoSong) {
            const QString error = embedLyrics(songPath, lines);
            if (error.isEmpty())
                tools.showInformation(parent, u"写入歌曲"_s, u"歌词已写入“%1”。"_s.arg(QDir::toNativeSeparators(songPath)));
            else
                tools.showError(parent, u"写入歌曲"_s,
                                u"无法把歌词写入“%1”：%2"_s.arg(QDir::toNativeSeparators(songPath), error));
            return;
        }
        if (outcome != ExportDialog::ExportFile)
            return;
        const ExportResult result = exportLyrics(lines, dialog->options());
        const QString pattern = dialog->filePattern();
        FileDialog save(tools, u"导出歌词"_s, {{fileTypeName(pattern), pattern}, {u"*.txt"_s, u"*.txt"_s}});
        if (!save.chooseSave(parent))
            return;
        if (const QString error = writeFileAtomically(save.chosenPath, result.bytes); !error.isEmpty())
            tools.showError(parent, u"导出歌词"_s,
                            u"无法写入“%1”：%2"_s.arg(QDir::toNativeSeparators(save.chosenPath), error));
    });
    dialog->open();
    return dialog;
}

} // namespace tarvelin
