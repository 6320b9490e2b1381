// Lyrics texts in the encodings old files come in: which encoding a file's
// bytes are read with, that a guess is reported and can be corrected, that
// short lyrics are still read right, that the save after an import is the
// same text in UTF-8, and why a file cannot be read or saved, in Chinese.
#include "core/lyricstext.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using tarvelin::TextEncoding;

Q_DECLARE_METATYPE(TextEncoding)

namespace {

QByteArray fixture(const QString &name)
{
    QFile file(QStringLiteral(TARVELIN_FIXTURES_DIR "/text/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The first `count` lines of a fixture, each ended by CR LF as in the file.
QByteArray firstLines(const QByteArray &bytes, TextEncoding encoding, int count)
{
    const QByteArray end = encoding == TextEncoding::Utf16LE ? QByteArray("\r\0\n\0", 4)
                         : encoding == TextEncoding::Utf16BE ? QByteArray("\0\r\0\n", 4)
                                                             : QByteArray("\r\n");
    qsizetype at = 0;
    for (int i = 0; i < count && at >= 0; ++i) {
        at = bytes.indexOf(end, at);
        if (at >= 0)
            at += end.size();
    }
    return at < 0 ? bytes : bytes.left(at);
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
        QTest::addColumn<QString>("source");
        QTest::addColumn<TextEncoding>("encoding");
        // The fewest lines from the top that are still read right: the
        // detector needs a few lines of text to tell the encodings apart.
        QTest::addColumn<int>("fewest");
        QTest::newRow("GB18030") << "zh-hans.gb18030.lrc" << "zh-hans" << TextEncoding::Gb18030 << 1;
        QTest::newRow("GB18030, traditional") << "zh-hant.gb18030.lrc" << "zh-hant" << TextEncoding::Gb18030 << 1;
        QTest::newRow("Big5") << "zh-hant.big5.lrc" << "zh-hant" << TextEncoding::Big5 << 3;
        QTest::newRow("Shift_JIS") << "ja.shift_jis.lrc" << "ja" << TextEncoding::ShiftJis << 2;
        QTest::newRow("EUC-KR") << "ko.euc-kr.lrc" << "ko" << TextEncoding::EucKr << 2;
        QTest::newRow("Windows-1252") << "western.windows-1252.lrc" << "western" << TextEncoding::Windows1252 << 4;
        QTest::newRow("UTF-16LE") << "zh-hans.utf-16le.lrc" << "zh-hans" << TextEncoding::Utf16LE << 1;
        QTest::newRow("UTF-16BE") << "zh-hant.utf-16be.lrc" << "zh-hant" << TextEncoding::Utf16BE << 1;
    }
    void lyricsFiles()
    {
        QFETCH(QString, file);
        QFETCH(QString, source);
        QFETCH(TextEncoding, encoding);
        QFETCH(int, fewest);
        const QString text = QString::fromUtf8(fixture(u"source/%1.txt"_s.arg(source)));
        const QStringList lines = tarvelin::splitLines(text);
        QVERIFY(lines.size() >= 14);

        const tarvelin::LyricsFile read = tarvelin::readLyricsFile(QStringLiteral(TARVELIN_FIXTURES_DIR "/text/") + file);
        QCOMPARE(read.error, QString());
        QCOMPARE(read.lines, lines);
        QCOMPARE(read.encoding, encoding);
        QVERIFY(read.guessed);

        // Saved as UTF-8 with CR LF, byte for byte the text that was meant.
        QTemporaryDir dir;
        const QString saved = dir.filePath(u"saved.lrc"_s);
        QCOMPARE(tarvelin::writeLyricsFile(saved, read.lines.join(u'\n')), QString());
        QFile back(saved);
        QVERIFY(back.open(QIODevice::ReadOnly));
        QCOMPARE(back.readAll(), QByteArray(text.toUtf8()).replace("\n", "\r\n"));

        // Short lyrics: every shorter start down to `fewest` lines.
        for (int count = lines.size() - 1; count >= fewest; --count) {
            const tarvelin::DecodedText start = tarvelin::decodeText(firstLines(read.bytes, encoding, count));
            QVERIFY2(start.encoding == encoding, qPrintable(u"first %1 lines: %2"_s.arg(count).arg(start.text)));
            QCOMPARE(tarvelin::splitLines(start.text), lines.mid(0, count));
        }

        // Read again with the right encoding from a wrong one, as the user corrects a guess.
        const TextEncoding wrong = encoding == TextEncoding::Gb18030 ? TextEncoding::Big5 : TextEncoding::Gb18030;
        QVERIFY(tarvelin::splitLines(tarvelin::decodeTextAs(read.bytes, wrong).text) != lines);
        const tarvelin::DecodedText again = tarvelin::decodeTextAs(read.bytes, encoding);
        QCOMPARE(tarvelin::splitLines(again.text), lines);
        QCOMPARE(again.encoding, encoding);
        QVERIFY(!again.guessed);
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<bool>("guessed");
        QTest::addColumn<QString>("error");
        const auto text = [](const char *row, const QByteArray &bytes, const QString &text, TextEncoding encoding,
                             bool guessed) { QTest::newRow(row) << bytes << text << encoding << guessed << QString(); };
        const auto refused = [](const char *row, const QByteArray &bytes) {
            QTest::newRow(row) << bytes << QString() << TextEncoding::Utf8 << false << u"空字节"_s;
        };
        text("UTF-8", "\xE6\x98\xA5", u"春"_s, TextEncoding::Utf8, false);
        text("UTF-16LE mark", "\xFF\xFE\x25\x66", u"春"_s, TextEncoding::Utf16LE, false);
        text("UTF-8 mark", "\xEF\xBB\xBFx", u"x"_s, TextEncoding::Utf8, false);
        text("one GBK line", "[00:01]\xC4\xE3\xBA\xC3\r\n", u"[00:01]你好\r\n"_s, TextEncoding::Gb18030, true);
        text("unsure: GB18030", "ab\xE4\xBD", u"ab浣"_s, TextEncoding::Gb18030, true);
        text("a lone accented letter", "caf\xE9 cr\xE8me\r\n", u"café crème\r\n"_s, TextEncoding::Windows1252, true);
        text("UTF-16LE, no mark", QByteArray("A\0\n\0", 4), u"A\n"_s, TextEncoding::Utf16LE, true);
        text("UTF-16BE, no mark", QByteArray("\0A\0\n\x66\x25", 6), u"A\n春"_s, TextEncoding::Utf16BE, true);
        refused("NULs on both sides", QByteArray("A\0\0B", 4));
        text("UTF-16LE, no mark, U+4E00", QByteArray("\x00\x4E\n\0[\0]\0", 8), u"一\n[]"_s, TextEncoding::Utf16LE, true);
        refused("NUL, odd length", QByteArray("la\0la", 5));
        refused("UTF-16 shape, control characters", QByteArray("A\0\x01\0", 4));
        refused("UTF-16 shape, a lone surrogate", QByteArray("A\0\x00\xD8", 4));
    }
    void decode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(TextEncoding, encoding);
        QFETCH(bool, guessed);
        QFETCH(QString, error);
        const tarvelin::DecodedText decoded = tarvelin::decodeText(bytes);
        QVERIFY2(decoded.error.contains(error) && (error.isEmpty() || !decoded.error.isEmpty()), qPrintable(decoded.error));
        QCOMPARE(decoded.text, text);
        if (error.isEmpty()) {
            QCOMPARE(decoded.encoding, encoding);
            QCOMPARE(decoded.guessed, guessed);
        }
    }

    void decodeAs_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<QString>("text"); // "": refused
        QTest::newRow("short Big5") << QByteArray("Big5 \xC1\x63\xC5\xE9\xA4\xA4\xA4\xE5 \xBA\x71\xB5\xFC")
                                    << TextEncoding::Big5 << u"Big5 繁體中文 歌詞"_s;
        QTest::newRow("its own mark dropped") << QByteArray("\xFF\xFE\x25\x66", 4) << TextEncoding::Utf16LE << u"春"_s;
        QTest::newRow("another mark kept") << QByteArray("\xEF\xBB\xBF\xE6\x98\xA5") << TextEncoding::Utf16LE
                                           << u"\uBBEF\uE6BF\uA598"_s;
        QTest::newRow("invalid bytes marked") << QByteArray("a\xFF") << TextEncoding::Utf8 << u"a\uFFFD"_s;
        QTest::newRow("NUL") << QByteArray("a\0b", 3) << TextEncoding::Gb18030 << QString();
    }
    void decodeAs()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(TextEncoding, encoding);
        QFETCH(QString, text);
        const tarvelin::DecodedText decoded = tarvelin::decodeTextAs(bytes, encoding);
        QCOMPARE(decoded.text, text);
        QCOMPARE(decoded.error.isEmpty(), !text.isEmpty());
    }

    // Reading or saving fails: the reason is in Chinese where the cause is
    // known, and keeps the system's text otherwise.
    void fileErrors_data()
    {
        QTest::addColumn<QString>("path"); // relative: in a fresh folder holding the file "plain"
        QTest::addColumn<bool>("save");
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder missing") << "missing/a.lrc" << true << "文件或它所在的文件夹不存在";
        QTest::newRow("inside a file") << "plain/a.lrc" << true << "路径中有一部分不是文件夹";
        QTest::newRow("name too long") << QString(300, u'长') << true << "文件名太长";
        QTest::newRow("disk full") << "/dev/full" << true << "磁盘空间已满";
        QTest::newRow("size limit") << "big.lrc" << true << "文件超出了允许的大小";
        QTest::newRow("not allowed") << "/sys/a.lrc" << true << "没有访问权限";
        QTest::newRow("unknown: system text kept") << "/proc/self/mem" << false << "系统报告：Input/output error";
    }
    void fileErrors()
    {
        QFETCH(QString, path);
        QFETCH(bool, save);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QFile plain(dir.filePath(u"plain"_s));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        const QString target = QDir(dir.path()).absoluteFilePath(path);
        if (path.startsWith(u"/sys/"_s)) {
            const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT, 0644);
            if (fd >= 0 || errno != EACCES)
                QSKIP("/sys is writable here or says otherwise");
        }

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
