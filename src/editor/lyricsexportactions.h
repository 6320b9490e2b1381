#pragma once

// The editor's export entries: 导出… (Ctrl+E) opens the export dialog and
// writes what it chose; 展开重复行 and 应用 [offset:] rewrite the editor's
// text, each as one undo step.

#include <QStringList>

class QPlainTextEdit;
class QWidget;

namespace tarvelin {

class ExportDialog;
class PlatformTools;

// Whether a line carries more than one time tag (something to expand).
bool hasRepeatedLines(const QStringList &lines);

// One line per tag in time order, translations under their lines; false
// (nothing changed) when there was nothing to expand.
bool expandRepeatedLines(QPlainTextEdit *editor);
// Every tag moved by -offset and the [offset:] removed; false when there is
// no offset.
bool applyOffset(QPlainTextEdit *editor);

// Opens the export dialog over `window` without blocking. When it is left
// with 导出…, asks for a file through the save dialog and writes it
// atomically; with 写入歌曲, writes the lyrics into the song. Failures and
// the song's success are reported through `tools`. The dialog deletes itself.
ExportDialog *startExport(QPlainTextEdit *editor, const QString &songPath, double songSeconds, PlatformTools &tools,
                          QWidget *window);

} // namespace tarvelin
