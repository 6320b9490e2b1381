#pragma once

// Lyrics written into the song file itself, for players that read them from
// there: MP3 — ID3v2 SYLT (each line at its time, in milliseconds) and USLT
// (the LRC text); FLAC, Ogg Vorbis and Opus — a LYRICS comment holding the
// LRC text; M4A — the ©lyr atom holding the LRC text. The [offset:] is
// applied to the times first, since players of embedded lyrics rarely look
// for it.
//
// The song is never changed in place: it is copied next to itself, the copy
// is tagged, its lyrics are read back and compared and its audio length
// checked, and only then is the copy renamed over the original (keeping its
// permissions). Any failure leaves the original exactly as it was.

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace tarvelin {

// Empty when lyrics can be written into a song of this name's type, else why
// not, for the user ("只能写入 MP3、FLAC、Ogg（Vorbis/Opus）和 M4A 歌曲").
QString embedUnsupportedReason(const QString &songPath);

// The lyrics as they go into the song.
struct EmbeddedLyrics {
    QString text;                        // the LRC text, lines ended by LF
    QList<QPair<qint64, QString>> synced; // MP3's SYLT: (ms, text), in time order
};
EmbeddedLyrics embeddedLyricsFor(const QStringList &lines);

// Writes the lyrics into the song; an empty string on success, else the
// reason in Chinese (the song is then untouched).
QString embedLyrics(const QString &songPath, const QStringList &lines);

// What the song holds (empty when none, or not a song TagLib writes).
EmbeddedLyrics readEmbeddedLyrics(const QString &songPath);

} // namespace tarvelin
