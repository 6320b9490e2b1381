#pragma once

// The last imported text, kept so that the user can read its bytes again
// with another encoding when the guessed one was wrong.

#include "core/lyricstext.h"

#include <QObject>
#include <QPointer>
#include <QTextCursor>

#include <optional>

class QLineEdit;
class QPlainTextEdit;

namespace tarvelin {

class EncodingNote;
class LyricsDocument;
struct LinesChange;

// The text an import puts into the editor for the given lines: each line
// followed by a line break.
QString importedBlockText(const QStringList &lines);

// Follows the text of the last import in the editor: where it stands and
// whether anything touched it since. Edits before it move it along; any edit
// inside it (typing, a tag, an undo of the import) ends the chance to read it
// again, as that would throw the edit away. How the text was read shows in
// a note on the text's path box (see EncodingNote), which it makes once. A
// child of the editor; 导入文本 is handed it.
class ImportedText : public QObject {
    Q_OBJECT
public:
    ImportedText(QPlainTextEdit *editor, LyricsDocument *lyrics, QLineEdit *pathBox);

    // An import put `file`'s lines into the editor between these positions.
    void imported(const LyricsFile &file, int start, int end);

    // Why reimportAs() cannot be used now; empty when it can.
    QString unavailableReason() const;
    // The encoding the imported text was last read with.
    std::optional<TextEncoding> encoding() const;

    // Replaces the imported text by the same bytes read as `encoding`, as one
    // undo step. Returns why not (the editor unchanged), empty on success.
    QString reimportAs(TextEncoding encoding);

private:
    void lyricsChanged(const LinesChange &change);

    QPointer<QPlainTextEdit> m_editor;
    QPointer<LyricsDocument> m_lyrics;
    // On the path box, which owns it; null without a box.
    QPointer<EncodingNote> m_note;
    QByteArray m_bytes;
    std::optional<TextEncoding> m_encoding;
    // The imported text as a selection.
    QTextCursor range() const;

    // Where the imported text starts and ends, moving with edits before them
    // and staying where text is put in right at them: text put in at the end
    // (the next import, typing on the line after it) stays out, text typed
    // at the start goes into its first line.
    QTextCursor m_start;
    QTextCursor m_end;
    QString m_text; // range()'s text after the import (line breaks as U+2029)
    bool m_intact = false;
    bool m_replacing = false;
};

} // namespace tarvelin
