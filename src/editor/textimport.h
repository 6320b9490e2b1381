#pragma once

class QLineEdit;
class QPlainTextEdit;
class QWidget;

namespace tarvelin {

class FileDialog;
class ImportedText;
class PlatformTools;

// "导入文本": asks for a text file, shows its path in the path box and appends its
// lines to the editor, each ending with a line break, as one undo step; the
// caret then stands at the editor's start. A file that cannot be read is
// reported and leaves the editor untouched; so is an empty one (文件是空的).
// The lines are noted in `imported` (if given), to be read again with another
// encoding. Returns whether lines were added.
bool importText(FileDialog &dialog, QLineEdit *pathBox, QPlainTextEdit *editor, ImportedText *imported,
                PlatformTools &tools, QWidget *parent);

} // namespace tarvelin
