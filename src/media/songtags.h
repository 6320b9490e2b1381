#pragma once

// A song's title, artist and album as its tags hold them, read right for the
// old Chinese MP3s whose tags carry GBK bytes where Latin-1 is declared.

#include <QString>

namespace tarvelin {

struct SongTags {
    QString title;
    QString artist;
    QString album;
    double duration = 0; // seconds; 0 when unknown
};

// The tags of the song at path; empty fields for what it lacks or when it is
// no song TagLib can read. Text declared Latin-1 (ID3v2 frames marked so, and
// ID3v1, which has no other) is taken as the raw bytes it is and, unless it is
// plain ASCII, decoded with the rule lyrics texts are imported with (UTF-8 if
// valid, else the guessed encoding, GB18030 when unsure). Text declared
// Unicode is kept as it is; an ID3v2 field holding U+FFFD gives way to its
// ID3v1 counterpart.
SongTags readSongTags(const QString &path);

} // namespace tarvelin
