#pragma once

// Decoding, line splitting and encoding of lyrics text files.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace tarvelin {

// Anything larger is not a lyrics text; it is refused before it is read.
inline constexpr qint64 MaxLyricsFileSize = 8 * 1024 * 1024;

// The text of a file's bytes, or why they are not text (then `text` is empty).
struct DecodedText {
    QString text;
    QString error;
};

// A byte-order mark picks UTF-8, UTF-16LE or UTF-16BE and is dropped;
// otherwise valid UTF-8 is read as UTF-8 and anything else as GB18030.
// Bytes holding NUL (outside UTF-16) or decoding to U+0000 are not text.
DecodedText decodeText(const QByteArray &bytes);

// Lines ended by CR LF, a lone CR or a lone LF; the endings are dropped.
// A final ending adds no empty line; a last line without one is kept.
QStringList splitLines(QStringView text);

// The lines of a lyrics file, or a short reason why it cannot be imported
// (then `lines` is empty).
struct LyricsFile {
    QStringList lines;
    QString error;
};
LyricsFile readLyricsFile(const QString &path);

// The bytes written for the editor's text: UTF-8 without a byte-order mark,
// every line break (CR LF, CR, LF, U+2028, U+2029) as CR LF, and one CR LF
// after the whole text.
QByteArray encodeLyrics(QStringView text);

// Writes encodeLyrics(text) to path. A regular file is replaced atomically:
// on any failure an existing file keeps its old content. Returns a short
// reason on failure, an empty string on success.
QString writeLyricsFile(const QString &path, QStringView text);

} // namespace tarvelin
