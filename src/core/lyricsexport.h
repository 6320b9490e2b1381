#pragma once

// Lyrics written for the player a user has: another encoding, repeated lines
// collapsed or expanded, the [offset:] applied, word tags stripped, CR LF or
// LF, or subtitles (SRT, ASS karaoke) instead of LRC.
//
// Lines are grouped into units before they are rearranged: a tagged lyric
// line and the tagged lines right after it that carry exactly the same time
// tags (a translation under its original) move together, and the untagged
// lines after them (blank lines, notes) follow them. So a bilingual pair stays
// paired whatever is collapsed, expanded or sorted.
//
// Word tags "<mm:ss.xx>" of a line with several time tags belong to its
// earliest tag; a copy of the line for a later tag gets them moved by the
// difference, so every copy is sung the same way.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace tarvelin {

enum class ExportEncoding { Utf8, Utf8Bom, Gb18030, Gbk };
enum class RepeatedLines {
    Keep,     // as in the text
    Collapse, // one line per text: "[00:12.00][01:30.00]同一句", in order of first appearance
    Expand,   // one line per tag, in time order
};
enum class ExportFormat { Lrc, Srt, Ass };

// A subtitle's last line lasts until its word end tag; without one, until the
// song ends but never longer than this after its last word starts (or after
// the line starts, without word tags); without a song length, exactly this.
inline constexpr qint64 LastLineHoldMs = 5000;

struct ExportOptions {
    ExportFormat format = ExportFormat::Lrc;
    ExportEncoding encoding = ExportEncoding::Utf8;
    RepeatedLines repeats = RepeatedLines::Keep;
    bool applyOffset = false;   // LRC: move every tag by -offset and drop [offset:]
    bool stripWords = false;    // drop "<mm:ss.xx>" word tags
    bool crlf = true;           // CR LF line endings, else LF
    bool replaceUnencodable = false; // write '?' for characters the encoding cannot hold
    qint64 songMs = 0;          // the song's length, for the last subtitle; 0: unknown
};

// A character the chosen encoding cannot hold.
struct UnencodableChar {
    int line = 0;      // 1-based, in the lines handed in
    int column = 0;    // 1-based, in characters (a surrogate pair counts once)
    QString character;
};

struct ExportResult {
    QString text;      // what was encoded, line endings and all
    QByteArray bytes;  // empty when characters could not be encoded and were not to be replaced
    QList<UnencodableChar> unencodable; // in order of line and column
};

// The lines rearranged as the options say (repeats, offset, word tags); LRC
// lines, no encoding. ID-tag lines, blank lines and untagged text before the
// first tagged line stay where they are.
QStringList rearrangeLyrics(const QStringList &lines, const ExportOptions &options);

// The file for the options, encoded. With characters the encoding cannot
// hold, they are listed and, unless options.replaceUnencodable, no bytes are
// made.
ExportResult exportLyrics(const QStringList &lines, const ExportOptions &options);

// The characters of the lines that the encoding cannot hold.
QList<UnencodableChar> unencodableChars(const QStringList &lines, ExportEncoding encoding);

// "第 3 行第 5 个字“🎵”", one per character, for messages.
QStringList describeUnencodable(const QList<UnencodableChar> &chars);

// Names for the command line and settings ("utf-8", "collapse", "srt"...)
// and back; false for an unknown name.
QString encodingKey(ExportEncoding encoding);
bool encodingFromKey(const QString &key, ExportEncoding &encoding);
QString repeatsKey(RepeatedLines repeats);
bool repeatsFromKey(const QString &key, RepeatedLines &repeats);
QString formatKey(ExportFormat format);
bool formatFromKey(const QString &key, ExportFormat &format);

} // namespace tarvelin
