#pragma once

class QPlainTextEdit;
class QWidget;

namespace tarvelin {

class FileDialog;
class PlatformTools;

// "保存歌词": asks for a file name and writes the editor's text to it, UTF-8,
// CR LF line breaks and one final CR LF, replacing the file atomically.
// Failures are reported. Returns true only when the file was written; the
// editor is then marked as saved.
bool saveLyrics(FileDialog &dialog, QPlainTextEdit *editor, PlatformTools &tools, QWidget *parent);

} // namespace tarvelin
