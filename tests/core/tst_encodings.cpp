// Lyrics files read and saved: which encoding a file's bytes are read with
// (a guess is reported and can be corrected), the lines they split into, the bytes saved, and why a file cannot
// be read or saved, in Chinese.
#include "core/lyricstext.h"
#include "../support/datatable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using tarvelin::TextEncoding;

const QString Fixtures = QStringLiteral(TARVELIN_FIXTURES_DIR "/text/");

class TestEncodings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Realistic lyrics in each encoding, without a byte-order mark.
    void lyricsFiles_data()
    {
        const auto row = tarvelin::table<QString, TextEncoding>({"file", "encoding"});
        row("GB18030", "zh-hans.gb18030", TextEncoding::Gb18030);
        row("Big5", "zh-hant.big5", TextEncoding::Big5);
        row("Shift_JIS", "ja.shift_jis", TextEncoding::ShiftJis);
        row("EUC-KR", "ko.euc-kr", TextEncoding::EucKr);
        row("Windows-1252", "western.windows-1252", TextEncoding::Windows1252);
        row("UTF-16LE", "zh-hans.utf-16le", TextEncoding::Utf16LE);
    }
    void lyricsFiles()
    {
        QFETCH(QString, file);
        // The same lyrics in UTF-8.
        const QStringList lines = tarvelin::readLyricsFile(Fixtures + u"source/"_s + file.section(u'.', 0, 0) + u".txt"_s).lines;
        QVERIFY(!lines.isEmpty());
        const tarvelin::LyricsFile read = tarvelin::readLyricsFile(Fixtures + file + u".lrc"_s);
        QCOMPARE(read.error, QString());
        QCOMPARE(read.lines, lines);
        QTEST(read.encoding, "encoding");
        QVERIFY(read.guessed);
    }

    // Bytes read with the encoding guessed from them, or with one the user
    // chose ("as").
    void decode_data()
    {
        // text "": refused as not text
        const auto add =
            tarvelin::table<QByteArray, QString, TextEncoding, bool, bool>({"bytes", "text", "encoding", "guessed", "chosen"});
        const auto row = [&](const char *name, const QByteArray &bytes, const QString &text,
                             TextEncoding encoding = TextEncoding::Utf8, bool guessed = true, bool chosen = false) {
            add(name, bytes, text, encoding, guessed, chosen);
        };
        row("UTF-8", "\xE6\x98\xA5", u"春"_s, TextEncoding::Utf8, false);
        row("UTF-16LE mark", "\xFF\xFE\x25\x66", u"春"_s, TextEncoding::Utf16LE, false);
        row("GB18030 outside GBK", "\x95\x32\x82\x36", u"\U00020000"_s, TextEncoding::Gb18030);
        row("unsure: GB18030", "ab\xE4\xBD", u"ab浣"_s, TextEncoding::Gb18030);
        row("a lone accented letter", "caf\xE9 cr\xE8me\r\n", u"café crème\r\n"_s, TextEncoding::Windows1252);
        row("UTF-16BE, no mark", QByteArray("\0A\0\n\x66\x25", 6), u"A\n春"_s, TextEncoding::Utf16BE);
        row("UTF-16LE, no mark, U+4E00", QByteArray("\x00\x4E\n\0[\0]\0", 8), u"一\n[]"_s, TextEncoding::Utf16LE);
        row("NULs on both sides", QByteArray("A\0\0B", 4), {});
        row("NUL, odd length", QByteArray("la\0la", 5), {});
        row("UTF-16 shape, control characters", QByteArray("A\0\x01\0", 4), {});
        row("UTF-16 shape, a lone surrogate", QByteArray("A\0\x00\xD8", 4), {});
        row("U+0000 behind a UTF-16 mark", QByteArray("\xFF\xFE\0\0A\0", 6), {});
        row("as UTF-16LE: its own mark dropped", "\xFF\xFE\x25\x66", u"春"_s, TextEncoding::Utf16LE, false, true);
        row("as UTF-8: invalid bytes marked", "a\xFF", u"a\uFFFD"_s, TextEncoding::Utf8, false, true);
        row("as GB18030: NUL", QByteArray("a\0b", 3), {}, TextEncoding::Gb18030, false, true);
    }
    void decode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(TextEncoding, encoding);
        QFETCH(bool, chosen);
        const tarvelin::DecodedText decoded = chosen ? tarvelin::decodeTextAs(bytes, encoding) : tarvelin::decodeText(bytes);
        QCOMPARE(decoded.text, text);
        if (text.isEmpty()) {
            QVERIFY2(decoded.error.contains(u"空字节"_s), qPrintable(decoded.error));
            return;
        }
        QCOMPARE(decoded.error, QString());
        QCOMPARE(decoded.encoding, encoding);
        QTEST(decoded.guessed, "guessed");
    }

    // Line breaks. Read: every one ends a line (CR LF one break, LF then CR
    // two), and the text after the last one is a line too. Saved: as UTF-8
    // without a mark, every line break (Shift+Enter's U+2028 too) one CR LF,
    // and one more after the text.
    void lineBreaks()
    {
        QCOMPARE(tarvelin::splitLines(u"A\r\nB\rC\n\n\rD"_s), (QStringList{u"A"_s, u"B"_s, u"C"_s, u""_s, u""_s, u"D"_s}));
        QCOMPARE(tarvelin::encodeLyrics(u"a\r\nb\rc\nd\u2028e\u2029你\u00A0"_s),
                 QByteArray("a\r\nb\r\nc\r\nd\r\ne\r\n\xE4\xBD\xA0\xC2\xA0\r\n"));
    }

    // Reading or saving fails: the reason follows the system's error code,
    // in Chinese where the cause is known, with the system's text otherwise. The folder holds a
    // folder, a named pipe and a file just over 8 MiB.
    void fileErrors_data()
    {
        // a relative path: in that folder
        const auto row = tarvelin::table<QString, bool, QString>({"path", "save", "reason"});
        row("read: missing", "missing", false, "文件不存在");
        row("read: a folder", "folder", false, "这是一个文件夹，不是文件");
        row("read: a named pipe", "pipe", false, "这不是普通文件");
        row("read: over 8 MiB", "big.txt", false, "文件大于 8 MiB，不是歌词文本");
        row("folder missing", "missing/a.lrc", true, "所在的文件夹不存在");
        row("folder takes no new file", "/proc/x.lrc", true, "这个文件夹里不能新建文件");
        row("under a file", "big.txt/a.lrc", true, "路径中有一部分不是文件夹");
        row("disk full", "/dev/full", true, "磁盘空间已满");
        row("unknown: system text kept", "/proc/self/mem", false, "系统报告：Input/output error");
    }
    void fileErrors()
    {
        QFETCH(QString, path);
        QFETCH(bool, save);
        QTemporaryDir dir;
        QDir(dir.path()).mkdir(u"folder"_s);
        ::mkfifo(QFile::encodeName(dir.filePath(u"pipe"_s)).constData(), 0644);
        QFile big(dir.filePath(u"big.txt"_s));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(tarvelin::MaxLyricsFileSize + 1));
        const QString target = QDir(dir.path()).absoluteFilePath(path);
        QTEST(save ? tarvelin::writeLyricsFile(target, QString(200, u'x')) : tarvelin::readLyricsFile(target).error, "reason");
    }
};

QTEST_GUILESS_MAIN(TestEncodings)
#include "tst_encodings.moc"
