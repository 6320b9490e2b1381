#pragma once

// Decoding, line splitting and encoding of lyrics text files.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace tarvelin {

// Anything larger is not a lyrics text; it is refused before it is read.
inline constexpr qint64 MaxLyricsFileSize = 8 * 1024 * 1024;

// The encodings lyrics texts come in.
enum class TextEncoding { Utf8, Gb18030, Big5, ShiftJis, EucKr, Utf16LE, Utf16BE, Windows1252 };

// Every encoding, in the order a menu lists them.
QList<TextEncoding> textEncodings();

// The name shown to the user, e.g. "GB18030（简体中文）".
QString encodingName(TextEncoding encoding);

// The text of a file's bytes, or why they are not text (then `text` is empty),
// and the encoding it was read with.
struct DecodedText {
    QString text;
    QString error;
    TextEncoding encoding = TextEncoding::Utf8;
    // Neither a byte-order mark nor valid UTF-8 chose the encoding: it may be
    // wrong, and the user should be told which one was used.
    bool guessed = false;
};

// A byte-order mark picks UTF-8, UTF-16LE or UTF-16BE and is dropped;
// otherwise valid UTF-8 is read as UTF-8. Anything else is guessed:
// UTF-16 without a mark when its NUL bytes all stand on one side of its
// 16-bit units, else what uchardet recognises among GB18030, Big5,
// Shift_JIS, EUC-KR and Windows-1252; GB18030 when it is not sure.
// Bytes holding NUL (outside UTF-16) or decoding to U+0000 are not text.
DecodedText decodeText(const QByteArray &bytes);

// The bytes read with the given encoding (the user's correction of a guess).
// A byte-order mark of that very encoding is dropped; invalid sequences
// become U+FFFD. Bytes decoding to U+0000 are not text.
DecodedText decodeTextAs(const QByteArray &bytes, TextEncoding encoding);

// Lines ended by CR LF, a lone CR or a lone LF; the endings are dropped.
// A final ending adds no empty line; a last line without one is kept.
QStringList splitLines(QStringView text);

// The lines of a lyrics file, or a short reason why it cannot be imported
// (then `lines` is empty); with the file's bytes and how they were decoded,
// so that they can be read again with another encoding.
struct LyricsFile {
    QStringList lines;
    QString error;
    QByteArray bytes;
    TextEncoding encoding = TextEncoding::Utf8;
    bool guessed = false;
};
LyricsFile readLyricsFile(const QString &path);

// The bytes written for the editor's text: UTF-8 without a byte-order mark,
// every line break (CR LF, CR, LF, U+2028, U+2029) as CR LF, and one CR LF
// after the whole text.
QByteArray encodeLyrics(QStringView text);

// Why reading or writing `path` failed, in the user's words, from the error
// code the system gave (errno): the usual causes (missing, no permission,
// read-only file system, disk full, name too long, a folder...) in Chinese,
// anything else with the system's own text for that code.
enum class FileAction { Read, Write };
QString fileErrorReason(int code, FileAction action, const QString &path);

// Writes encodeLyrics(text) to path. A regular file is replaced atomically:
// on any failure an existing file keeps its old content. Returns a short
// reason on failure, an empty string on success.
QString writeLyricsFile(const QString &path, QStringView text);

// The same for bytes made elsewhere (an export): written as they are.
QString writeFileAtomically(const QString &path, const QByteArray &bytes);

} // namespace tarvelin
