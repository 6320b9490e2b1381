#pragma once

class QLineEdit;
class QPlainTextEdit;
class QWidget;

namespace tarvelin {

class FileDialog;
class PlatformTools;

// "导入文本": asks for a text file, shows its path in the path box and appends its
// lines to the editor, each ending with a line break, as one undo step; the
// caret then stands at the editor's start. A file that cannot be read is
// reported and leaves the editor untouched; so is an empty one (文件是空的).
// Returns whether lines were added.
bool importText(FileDialog &dialog, QLineEdit *pathBox, QPlainTextEdit *editor, PlatformTools &tools,
                QWidget *parent);

} // namespace tarvelin
