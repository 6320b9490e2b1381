// Lyrics files read and saved: which encoding a file's bytes are read with
// (a guess is reported and can be corrected, short lyrics are still read
// right), the lines they split into, the bytes saved, and why a file cannot
// be read or saved, in Chinese.
#include "core/lyricstext.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using tarvelin::TextEncoding;

Q_DECLARE_METATYPE(TextEncoding)

namespace {

const QString Fixtures = QStringLiteral(TARVELIN_FIXTURES_DIR "/text/");

// The first `count` lines of a fixture, each ended by CR LF as in the file.
QByteArray firstLines(const QByteArray &bytes, TextEncoding encoding, int count)
{
    const char *utf16 = encoding == TextEncoding::Utf16LE ? "UTF-16LE" : "UTF-16BE";
    const bool wide = encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16BE;
    const QByteArray end = wide ? QByteArray(QStringEncoder(utf16).encode(u"\r\n")) : QByteArray("\r\n");
    qsizetype at = 0;
    while (count-- > 0)
        at = bytes.indexOf(end, at) + end.size();
    return bytes.left(at);
}

} // namespace

class TestEncodings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { std::signal(SIGXFSZ, SIG_IGN); } // a size limit gives EFBIG, not death

    // Realistic lyrics in each encoding, without a byte-order mark.
    void lyricsFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<TextEncoding>("encoding");
        // The fewest lines from the top that are still read right: the
        // detector needs a few lines of text to tell the encodings apart.
        QTest::addColumn<int>("fewest");
        QTest::newRow("GB18030") << "zh-hans.gb18030" << TextEncoding::Gb18030 << 1;
        QTest::newRow("Big5") << "zh-hant.big5" << TextEncoding::Big5 << 3;
        QTest::newRow("Shift_JIS") << "ja.shift_jis" << TextEncoding::ShiftJis << 2;
        QTest::newRow("EUC-KR") << "ko.euc-kr" << TextEncoding::EucKr << 2;
        QTest::newRow("Windows-1252") << "western.windows-1252" << TextEncoding::Windows1252 << 4;
        QTest::newRow("UTF-16LE") << "zh-hans.utf-16le" << TextEncoding::Utf16LE << 1;
    }
    void lyricsFiles()
    {
        QFETCH(QString, file);
        QFETCH(TextEncoding, encoding);
        QFETCH(int, fewest);
        QFile source(Fixtures + u"source/"_s + file.section(u'.', 0, 0) + u".txt"_s);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QStringList lines = tarvelin::splitLines(QString::fromUtf8(source.readAll()));
        QVERIFY(lines.size() >= 14);

        const tarvelin::LyricsFile read = tarvelin::readLyricsFile(Fixtures + file + u".lrc"_s);
        QCOMPARE(read.error, QString());
        QCOMPARE(read.lines, lines);
        QCOMPARE(read.encoding, encoding);
        QVERIFY(read.guessed);

        // Short lyrics: every shorter start down to `fewest` lines.
        for (int count = lines.size() - 1; count >= fewest; --count) {
            const tarvelin::DecodedText start = tarvelin::decodeText(firstLines(read.bytes, encoding, count));
            QVERIFY2(start.encoding == encoding, qPrintable(u"first %1 lines: %2"_s.arg(count).arg(start.text)));
            QCOMPARE(tarvelin::splitLines(start.text), lines.mid(0, count));
        }
    }

    // Bytes read with the encoding guessed from them, or with one the user
    // chose ("as").
    void decode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text"); // "": refused as not text
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<bool>("guessed");
        QTest::addColumn<bool>("chosen");
        const auto row = [](const char *name, const QByteArray &bytes, const QString &text,
                            TextEncoding encoding = TextEncoding::Utf8, bool guessed = true) {
            QTest::newRow(name) << bytes << text << encoding << guessed << false;
        };
        const auto as = [](const char *name, const QByteArray &bytes, TextEncoding encoding, const QString &text) {
            QTest::newRow(name) << bytes << text << encoding << false << true;
        };
        row("UTF-8", "\xE6\x98\xA5", u"春"_s, TextEncoding::Utf8, false);
        row("UTF-8 mark, then one as text", "\xEF\xBB\xBF\xEF\xBB\xBFx", u"\uFEFFx"_s, TextEncoding::Utf8, false);
        row("UTF-16LE mark", "\xFF\xFE\x25\x66", u"春"_s, TextEncoding::Utf16LE, false);
        row("UTF-16BE mark", QByteArray("\xFE\xFF\x4F\x60\x00\x41", 6), u"你A"_s, TextEncoding::Utf16BE, false);
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
        as("as UTF-16LE: its own mark dropped", "\xFF\xFE\x25\x66", TextEncoding::Utf16LE, u"春"_s);
        as("as UTF-16LE: another mark kept", "\xEF\xBB\xBF\xE6\x98\xA5", TextEncoding::Utf16LE, u"\uBBEF\uE6BF\uA598"_s);
        as("as UTF-8: invalid bytes marked", "a\xFF", TextEncoding::Utf8, u"a\uFFFD"_s);
        as("as GB18030: NUL", QByteArray("a\0b", 3), TextEncoding::Gb18030, {});
    }
    void decode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(TextEncoding, encoding);
        QFETCH(bool, guessed);
        QFETCH(bool, chosen);
        const tarvelin::DecodedText decoded = chosen ? tarvelin::decodeTextAs(bytes, encoding) : tarvelin::decodeText(bytes);
        QCOMPARE(decoded.text, text);
        if (text.isEmpty()) {
            QVERIFY2(decoded.error.contains(u"空字节"_s), qPrintable(decoded.error));
            return;
        }
        QCOMPARE(decoded.error, QString());
        QCOMPARE(decoded.encoding, encoding);
        QCOMPARE(decoded.guessed, guessed);
    }

    // Every line break ends a line (CR LF one break), nothing is trimmed.
    void lines_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("empty") << QByteArray() << QStringList();
        QTest::newRow("spaces, tab and no-break space kept") << QByteArray(" \xE4\xBD\xA0\t\xC2\xA0\n") << QStringList{u" 你\t\u00A0"_s};
        QTest::newRow("CR LF, CR, LF; LF then CR is two endings; no final ending")
            << QByteArray("A\r\nB\rC\n\n\rD") << QStringList{u"A"_s, u"B"_s, u"C"_s, u""_s, u""_s, u"D"_s};
    }
    void lines()
    {
        QFETCH(QByteArray, bytes);
        QTEST(tarvelin::splitLines(tarvelin::decodeText(bytes).text), "lines");
    }

    // Saved as UTF-8 without a mark, every line break (Shift+Enter's U+2028
    // too) one CR LF, and one more after the text.
    void encode()
    {
        QCOMPARE(tarvelin::encodeLyrics(u"a\r\nb\rc\nd\u2028e\u2029你\u00A0"_s),
                 QByteArray("a\r\nb\r\nc\r\nd\r\ne\r\n\xE4\xBD\xA0\xC2\xA0\r\n"));
    }

    // Reading or saving fails: the reason is in Chinese where the cause is
    // known, and keeps the system's text otherwise. The folder holds a
    // folder, a named pipe and a file just over 8 MiB.
    void fileErrors_data()
    {
        QTest::addColumn<QString>("path"); // relative: in that folder
        QTest::addColumn<bool>("save");
        QTest::addColumn<QString>("reason");
        QTest::newRow("read: missing") << "missing" << false << "文件不存在";
        QTest::newRow("read: a folder") << "folder" << false << "这是一个文件夹，不是文件";
        QTest::newRow("read: a named pipe") << "pipe" << false << "这不是普通文件";
        QTest::newRow("read: over 8 MiB") << "big.txt" << false << "文件大于 8 MiB，不是歌词文本";
        QTest::newRow("folder missing") << "missing/a.lrc" << true << "文件或它所在的文件夹不存在";
        QTest::newRow("disk full") << "/dev/full" << true << "磁盘空间已满";
        QTest::newRow("size limit") << "big.lrc" << true << "文件超出了允许的大小";
        QTest::newRow("unknown: system text kept") << "/proc/self/mem" << false << "系统报告：Input/output error";
    }
    void fileErrors()
    {
        QFETCH(QString, path);
        QFETCH(bool, save);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QDir(dir.path()).mkdir(u"folder"_s);
        ::mkfifo(QFile::encodeName(dir.filePath(u"pipe"_s)).constData(), 0644);
        QFile big(dir.filePath(u"big.txt"_s));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(tarvelin::MaxLyricsFileSize + 1));
        const QString target = QDir(dir.path()).absoluteFilePath(path);
        rlimit unlimited{};
        ::getrlimit(RLIMIT_FSIZE, &unlimited);
        const rlimit limited{path == u"big.lrc"_s ? 100 : unlimited.rlim_cur, unlimited.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limited);
        const QString error = save ? tarvelin::writeLyricsFile(target, QString(200, u'x'))
                                   : tarvelin::readLyricsFile(target).error;
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        QCOMPARE(error, reason);
    }
};

QTEST_GUILESS_MAIN(TestEncodings)
#include "tst_encodings.moc"
