#include "workflow/lyricstext.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarvelin;
using namespace Qt::StringLiterals;

namespace {

QString writeBytes(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// Empty for anything but a regular file: a named pipe would block the read.
QByteArray readBytes(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// "你好" in GBK, which is also its GB18030 form.
const QByteArray gbkHello = "\xC4\xE3\xBA\xC3";

} // namespace

class TestLyricsText : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decodesEachEncoding_data();
    void decodesEachEncoding();
    void refusesNonText_data();
    void refusesNonText();
    void splitsLines_data();
    void splitsLines();
    void encodesForSaving_data();
    void encodesForSaving();
    void readRefusesWhatIsNotALyricsFile_data();
    void readRefusesWhatIsNotALyricsFile();
    void readAcceptsTheLargestAllowedFile();
    void readReportsAFileWithoutPermission();
    void readReportsAFailingRead();
    void writeReplacesAnExistingFileWhole();
    void writeFailureLeavesTheTargetIntact_data();
    void writeFailureLeavesTheTargetIntact();
    void writeFailingMidwayLeavesTheTargetIntact();
    void writeReportsAFullDisk();
};

void TestLyricsText::decodesEachEncoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("ASCII") << QByteArray("[00:01]la la\r\n") << u"[00:01]la la\r\n"_s;
    QTest::newRow("UTF-8") << QByteArray("\xE4\xBD\xA0\xE5\xA5\xBD\n") << u"你好\n"_s;
    QTest::newRow("UTF-8 with mark") << QByteArray("\xEF\xBB\xBF\xE4\xBD\xA0") << u"你"_s;
    QTest::newRow("UTF-8 mark only") << QByteArray("\xEF\xBB\xBF") << QString();
    // Only the first mark is a mark; a second one is a character of the text.
    QTest::newRow("UTF-8 two marks") << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFx") << u"\uFEFFx"_s;
    QTest::newRow("UTF-16LE with mark") << QByteArray("\xFF\xFE\x60\x4F\x0D\x00\x0A\x00", 8) << u"你\r\n"_s;
    QTest::newRow("UTF-16BE with mark") << QByteArray("\xFE\xFF\x4F\x60\x00\x41", 6) << u"你A"_s;
    QTest::newRow("UTF-16LE mark only") << QByteArray("\xFF\xFE") << QString();
    QTest::newRow("UTF-16LE surrogate pair")
        << QByteArray("\xFF\xFE\x40\xD8\x00\xDC", 6) << QString::fromUcs4(U"\U00020000");
    QTest::newRow("GBK") << QByteArray("[00:01]" + gbkHello + "\r\n") << u"[00:01]你好\r\n"_s;
    QTest::newRow("GBK lyrics words") << QByteArray("\xB8\xE8\xB4\xCA") << u"歌词"_s;
    // Four-byte GB18030 sequences reach characters that GBK cannot hold.
    QTest::newRow("GB18030 outside GBK")
        << QByteArray("\x95\x32\x82\x36" + gbkHello) << QString::fromUcs4(U"\U00020000你好");
    // Not UTF-8 as a whole, though a UTF-8 reader would take all but the end.
    QTest::newRow("UTF-8 cut off at the end") << QByteArray("ab\xE4\xBD") << u"ab浣"_s;
    QTest::newRow("overlong UTF-8") << QByteArray("\xC0\xAF") << u"蜡"_s;
    QTest::newRow("byte no encoding knows") << QByteArray("ab\xFF") << u"ab\uFFFD"_s;
}

void TestLyricsText::decodesEachEncoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    const DecodedText decoded = decodeText(bytes);
    QCOMPARE(decoded.error, QString());
    QCOMPARE(decoded.text, text);
}

void TestLyricsText::refusesNonText_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("PNG header") << QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16);
    QTest::newRow("one NUL in text") << QByteArray("la\0la", 5);
    QTest::newRow("UTF-16LE without mark") << QByteArray("a\0b\0", 4);
    QTest::newRow("NUL behind a UTF-8 mark") << QByteArray("\xEF\xBB\xBFx\0", 5);
    QTest::newRow("U+0000 in UTF-16") << QByteArray("\xFF\xFE\x41\x00\x00\x00", 6);
    // A UTF-32LE mark starts like the UTF-16LE one; its text holds U+0000.
    QTest::newRow("UTF-32LE") << QByteArray("\xFF\xFE\0\0A\0\0\0", 8);
}

void TestLyricsText::refusesNonText()
{
    QFETCH(QByteArray, bytes);
    const DecodedText decoded = decodeText(bytes);
    QVERIFY(!decoded.error.isEmpty());
    QVERIFY(decoded.text.isEmpty());
}

void TestLyricsText::splitsLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("one line, no ending") << u"A"_s << QStringList{u"A"_s};
    QTest::newRow("CR LF, final ending") << u"A\r\nB\r\n"_s << QStringList{u"A"_s, u"B"_s};
    QTest::newRow("CR LF, no final ending") << u"A\r\nB"_s << QStringList{u"A"_s, u"B"_s};
    QTest::newRow("CR, final ending") << u"A\rB\r"_s << QStringList{u"A"_s, u"B"_s};
    QTest::newRow("CR, no final ending") << u"A\rB"_s << QStringList{u"A"_s, u"B"_s};
    QTest::newRow("LF, final ending") << u"A\nB\n"_s << QStringList{u"A"_s, u"B"_s};
    QTest::newRow("LF, no final ending") << u"A\nB"_s << QStringList{u"A"_s, u"B"_s};
    QTest::newRow("mixed") << u"A\r\nB\rC\nD"_s << QStringList{u"A"_s, u"B"_s, u"C"_s, u"D"_s};
    QTest::newRow("empty lines kept") << u"A\n\nB\r\n\r\n"_s << QStringList{u"A"_s, QString(), u"B"_s, QString()};
    QTest::newRow("ending alone") << u"\r\n"_s << QStringList{QString()};
    QTest::newRow("LF then CR is two endings") << u"\n\r"_s << QStringList{QString(), QString()};
    QTest::newRow("CR then CR LF is two endings") << u"\r\r\n"_s << QStringList{QString(), QString()};
    QTest::newRow("spaces and tabs kept") << u" A\t\r\n"_s << QStringList{u" A\t"_s};
}

void TestLyricsText::splitsLines()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(splitLines(text), lines);
}

void TestLyricsText::encodesForSaving_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("empty") << QString() << QByteArray("\r\n");
    QTest::newRow("one line") << u"[00:01]A"_s << QByteArray("[00:01]A\r\n");
    QTest::newRow("editor paragraphs") << u"A\u2029B\u2029"_s << QByteArray("A\r\nB\r\n\r\n");
    QTest::newRow("LF") << u"A\nB"_s << QByteArray("A\r\nB\r\n");
    QTest::newRow("CR LF stays one break") << u"A\r\nB"_s << QByteArray("A\r\nB\r\n");
    QTest::newRow("lone CR") << u"A\rB"_s << QByteArray("A\r\nB\r\n");
    QTest::newRow("line separator") << u"A\u2028B"_s << QByteArray("A\r\nB\r\n");
    QTest::newRow("Chinese as UTF-8, no mark") << u"[00:01]你好"_s << QByteArray("[00:01]\xE4\xBD\xA0\xE5\xA5\xBD\r\n");
    QTest::newRow("no-break space kept") << u"a\u00A0b"_s << QByteArray("a\xC2\xA0" "b\r\n");
    QTest::newRow("outside the BMP") << QString::fromUcs4(U"\U00020000") << QByteArray("\xF0\xA0\x80\x80\r\n");
}

void TestLyricsText::encodesForSaving()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(encodeLyrics(text), bytes);
}

void TestLyricsText::readRefusesWhatIsNotALyricsFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing") << u"missing.txt"_s << u"文件不存在"_s;
    QTest::newRow("directory") << u"folder.txt"_s << u"文件夹"_s;
    QTest::newRow("binary") << u"binary.txt"_s << u"空字节"_s;
    QTest::newRow("one byte over the limit") << u"huge.txt"_s << u"8 MiB"_s;
    QTest::newRow("named pipe") << u"pipe.txt"_s << u"不是普通文件"_s;
    QTest::newRow("character device") << u"/dev/zero"_s << u"不是普通文件"_s;
}

void TestLyricsText::readRefusesWhatIsNotALyricsFile()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(u"folder.txt"_s));
    writeBytes(dir, u"binary.txt"_s, QByteArray("\x7F" "ELF\x02\x01\x01\0\0\0", 10));
    QFile huge(writeBytes(dir, u"huge.txt"_s, {}));
    QVERIFY(huge.resize(MaxLyricsFileSize + 1));
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(u"pipe.txt"_s)).constData(), 0644), 0);

    const LyricsFile file = readLyricsFile(QDir(dir.path()).absoluteFilePath(name));
    QVERIFY2(file.error.contains(reason), qPrintable(file.error));
    QVERIFY(file.lines.isEmpty());
}

void TestLyricsText::readAcceptsTheLargestAllowedFile()
{
    QTemporaryDir dir;
    QByteArray bytes(MaxLyricsFileSize, 'a');
    bytes[MaxLyricsFileSize / 2] = '\n';
    const LyricsFile file = readLyricsFile(writeBytes(dir, u"big.txt"_s, bytes));
    QCOMPARE(file.error, QString());
    QCOMPARE(file.lines.size(), 2);
}

void TestLyricsText::readReportsAFileWithoutPermission()
{
    if (::geteuid() == 0)
        QSKIP("the superuser reads files whatever their permissions");
    QTemporaryDir dir;
    const QString path = writeBytes(dir, u"locked.txt"_s, "A\r\n");
    QVERIFY(QFile::setPermissions(path, {}));
    const LyricsFile file = readLyricsFile(path);
    QVERIFY(!file.error.isEmpty());
    QVERIFY(file.lines.isEmpty());
}

void TestLyricsText::readReportsAFailingRead()
{
    // A regular file that opens but cannot be read from its start, for any
    // user: the first page of the address space is never mapped.
    const QString path = u"/proc/self/mem"_s;
    if (!QFileInfo(path).isFile())
        QSKIP("no /proc here");
    const LyricsFile file = readLyricsFile(path);
    QVERIFY2(!file.error.isEmpty(), "a failing read reported as an empty file");
    QVERIFY(file.lines.isEmpty());
}

void TestLyricsText::writeReplacesAnExistingFileWhole()
{
    QTemporaryDir dir;
    const QString path = writeBytes(dir, u"song"_s, QByteArray(4096, 'x'));
    QCOMPARE(writeLyricsFile(path, u"[00:01]A\u2029"_s), QString());
    QCOMPARE(readBytes(path), QByteArray("[00:01]A\r\n\r\n"));
    // No temporary file is left beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"song"_s});
}

void TestLyricsText::writeFailureLeavesTheTargetIntact_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("readOnlyFolder");

    // "plain" is a regular file, so nothing can be created below it.
    QTest::newRow("parent is a file") << u"plain/out.lrc"_s << false;
    QTest::newRow("name too long") << QString(300, u'a') + u".lrc"_s << false;
    QTest::newRow("target is a directory") << u"folder"_s << false;
    QTest::newRow("target is a named pipe") << u"pipe"_s << false;
    QTest::newRow("read-only folder") << u"locked/old.lrc"_s << true;
    QTest::newRow("empty name") << QString() << false;
}

void TestLyricsText::writeFailureLeavesTheTargetIntact()
{
    QFETCH(QString, name);
    QFETCH(bool, readOnlyFolder);
    if (readOnlyFolder && ::geteuid() == 0)
        QSKIP("the superuser writes into read-only folders");
    QTemporaryDir dir;
    const QDir root(dir.path());
    writeBytes(dir, u"plain"_s, "old");
    QVERIFY(root.mkdir(u"folder"_s));
    QCOMPARE(::mkfifo(QFile::encodeName(root.filePath(u"pipe"_s)).constData(), 0644), 0);
    QVERIFY(root.mkdir(u"locked"_s));
    writeBytes(dir, u"locked/old.lrc"_s, "old lyrics\r\n");
    QVERIFY(QFile::setPermissions(root.filePath(u"locked"_s), QFile::ReadOwner | QFile::ExeOwner));

    const QString path = name.isEmpty() ? name : root.filePath(name);
    const QByteArray before = readBytes(path);
    const QString error = writeLyricsFile(path, u"new lyrics"_s);
    QVERIFY(QFile::setPermissions(root.filePath(u"locked"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    QVERIFY2(!error.isEmpty(), "a failed save reported as success");
    QCOMPARE(readBytes(path), before);
    QCOMPARE(readBytes(root.filePath(u"plain"_s)), QByteArray("old"));
    QCOMPARE(QDir(root.filePath(u"locked"_s)).entryList(QDir::Files | QDir::Hidden), QStringList{u"old.lrc"_s});
}

void TestLyricsText::writeFailingMidwayLeavesTheTargetIntact()
{
    QTemporaryDir dir;
    const QByteArray old(100, 'o');
    const QString path = writeBytes(dir, u"song.lrc"_s, old);

    // A file size limit fails the write after the file was opened, for any
    // user; the failing write then returns EFBIG instead of raising SIGXFSZ.
    rlimit saved{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 200;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString error = writeLyricsFile(path, QString(5000, u'x'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY2(!error.isEmpty(), "a half-written save reported as success");
    QCOMPARE(readBytes(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"song.lrc"_s});
}

void TestLyricsText::writeReportsAFullDisk()
{
    if (!QFileInfo::exists(u"/dev/full"_s))
        QSKIP("no /dev/full here");
    const QString error = writeLyricsFile(u"/dev/full"_s, u"A"_s);
    QVERIFY2(!error.isEmpty(), "writing to a full disk reported as success");
    // The device is written, never replaced by a regular file.
    QVERIFY(!QFileInfo(u"/dev/full"_s).isFile());
}

QTEST_GUILESS_MAIN(TestLyricsText)
#include "tst_lyricstext.moc"
