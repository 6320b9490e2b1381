#pragma once

// "插入歌曲信息": the song's ID tags at the top of the lyrics.

#include "media/songtags.h"

#include <QStringList>

namespace tarvelin {

class LyricsDocument;

// What 插入歌曲信息 changes for the song: the ID tags the lyrics lack, in
// this order: [ti:…], [ar:…], [al:…] from the tags (empty where the song has
// none, for the user to fill in), [length:mm:ss] when the duration is known,
// and an empty [by:]. A key counts as present when its first ID tag in the
// lyrics (LyricsDocument::idTag, the one players read) has a usable value.
// One that is there empty or malformed ("[ar:]", "[length:99:99]") is written
// over with the song's value, where the song has one, instead of being added
// again. Brackets in a value become full-width ones, line breaks spaces, so
// that the tag stays one tag.
struct SongInfoChanges {
    QStringList topLines; // new ID-tag lines for the top
    struct Rewrite {
        int line;
        qsizetype start;
        qsizetype length;
        QString tag;
    };
    QList<Rewrite> rewrites; // in line order
};
SongInfoChanges songInfoChanges(const LyricsDocument &lyrics, const SongTags &tags);

// Makes songInfoChanges() in the lyrics as one undo step; a caret stays on
// the text it was on. Returns how many tags went in or were written over.
int insertSongInfo(LyricsDocument &lyrics, const SongTags &tags);

} // namespace tarvelin
