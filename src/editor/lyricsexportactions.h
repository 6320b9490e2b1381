#pragma once

// The editor's export entries: 导出… (Ctrl+E) opens the export dialog and
// writes what it chose; 展开重复行 and 应用 [offset:] rewrite the editor's
// text, each as one undo step.

#include <QStringList>

class QPlainTextEdit;
class QWidget;

namespace tarvelin {

class ExportDialog;
class LyricsDocument;
class PlatformTools;

// `lyrics` is the editor's text read as lyrics; the caret stays on its line
// number, and a read-only editor is left alone.
// One line per tag in time order, translations under their lines; false
// (nothing changed) when there was nothing to expand.
bool expandRepeatedLines(QPlainTextEdit *editor, LyricsDocument &lyrics);
// Every tag moved by -offset and the [offset:] removed; false when there is
// no offset.
bool applyOffset(QPlainTextEdit *editor, LyricsDocument &lyrics);

// Opens the export dialog over `window` without blocking. When it is left
// with 导出…, asks for a file through the save dialog and writes it
// atomically; with 写入歌曲, writes the lyrics into the song. Failures and
// the song's success are reported through `tools`. The dialog deletes itself.
ExportDialog *startExport(const LyricsDocument &lyrics, const QString &songPath, double songSeconds,
                          PlatformTools &tools, QWidget *window);

} // namespace tarvelin
