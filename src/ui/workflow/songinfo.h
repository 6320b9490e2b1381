#pragma once

// "插入歌曲信息": the song's ID tags at the top of the lyrics.

#include "media/songtags.h"

#include <QStringList>

class QPlainTextEdit;

namespace tarvelin {

// The ID-tag lines for the song that the lyrics lack, in this order:
// [ti:…], [ar:…], [al:…] from the tags (empty where the song has none, for
// the user to fill in), [length:mm:ss] when the duration is known, and an
// empty [by:]. A key counts as present when any ID-tag line of the lyrics
// has it, in any case. Brackets in a value become full-width ones, line
// breaks spaces, so that the tag stays one tag.
QStringList missingSongInfo(const QStringList &lines, const SongTags &tags);

// Inserts missingSongInfo() at the top of the editor as one undo step; the
// caret stays on the text it was on. Returns how many lines went in.
int insertSongInfo(QPlainTextEdit *editor, const SongTags &tags);

// The editor's lines, one per block.
QStringList editorLines(const QPlainTextEdit *editor);

} // namespace tarvelin
