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

QString writeBytes(const QDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    return file.fileName();
}

// Empty for anything but a regular file: a pipe or a device would block or never end.
QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A folder with one of everything that is not a lyrics file to read or write.
void fillWithObstacles(const QDir &dir)
{
    writeBytes(dir, u"plain"_s, "old");
    writeBytes(dir, u"binary"_s, QByteArray("\x7F" "ELF\x02\x01\0\0", 8));
    QFile(writeBytes(dir, u"huge"_s, {})).resize(MaxLyricsFileSize + 1);
    dir.mkdir(u"folder"_s);
    ::mkfifo(QFile::encodeName(dir.filePath(u"pipe"_s)).constData(), 0644);
}

} // namespace

class TestLyricsText : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decodes_data();
    void decodes();
    void readRefuses_data();
    void readRefuses();
    void failedWriteKeepsTheTarget_data();
    void failedWriteKeepsTheTarget();
};

void TestLyricsText::decodes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text"); // "" with an error: refused

    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("UTF-8") << QByteArray("\xE4\xBD\xA0\n") << u"你\n"_s;
    QTest::newRow("UTF-8 mark, then a second one as text") << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFx") << u"\uFEFFx"_s;
    QTest::newRow("UTF-16LE mark") << QByteArray("\xFF\xFE\x60\x4F\x40\xD8\x00\xDC", 8) << u"你\U00020000"_s;
    QTest::newRow("UTF-16BE mark") << QByteArray("\xFE\xFF\x4F\x60\x00\x41", 6) << u"你A"_s;
    QTest::newRow("GBK") << QByteArray("[00:01]\xC4\xE3\xBA\xC3") << u"[00:01]你好"_s;
    QTest::newRow("GB18030 outside GBK") << QByteArray("\x95\x32\x82\x36") << u"\U00020000"_s;
    // UTF-8 up to a sequence cut off at the end is not UTF-8 as a whole.
    QTest::newRow("cut-off UTF-8") << QByteArray("ab\xE4\xBD") << u"ab浣"_s;
    QTest::newRow("NUL byte") << QByteArray("la\0la", 5) << QString();
    QTest::newRow("UTF-16 without mark") << QByteArray("a\0b\0", 4) << QString();
    QTest::newRow("U+0000 behind a UTF-16 mark") << QByteArray("\xFF\xFE\0\0A\0\0\0", 8) << QString();
}

void TestLyricsText::decodes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    const DecodedText decoded = decodeText(bytes);
    QCOMPARE(decoded.text, text);
    // Refused: the rows that give no text for bytes holding NUL.
    QCOMPARE(decoded.error.isEmpty(), !text.isEmpty() || !bytes.contains('\0'));
}

void TestLyricsText::readRefuses_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing") << u"missing"_s << u"文件不存在"_s;
    QTest::newRow("folder") << u"folder"_s << u"文件夹"_s;
    QTest::newRow("binary") << u"binary"_s << u"空字节"_s;
    QTest::newRow("over 8 MiB") << u"huge"_s << u"8 MiB"_s;
    QTest::newRow("named pipe") << u"pipe"_s << u"不是普通文件"_s;
    QTest::newRow("no permission") << u"plain"_s << QString();
    // Opens for anyone, but its first page is never readable.
    QTest::newRow("failing read") << u"/proc/self/mem"_s << QString();
}

void TestLyricsText::readRefuses()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    fillWithObstacles(dir);
    if (name == u"plain"_s) {
        if (::geteuid() == 0)
            QSKIP("the superuser reads files whatever their permissions");
        QFile::setPermissions(dir.filePath(name), {});
    }
    const LyricsFile file = readLyricsFile(dir.absoluteFilePath(name));
    QVERIFY2(!file.error.isEmpty() && file.error.contains(reason), qPrintable(file.error));
    QVERIFY(file.lines.isEmpty());
}

void TestLyricsText::failedWriteKeepsTheTarget_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("sizeLimit"); // 0: none

    QTest::newRow("below a regular file") << u"plain/out.lrc"_s << 0LL;
    QTest::newRow("name too long") << QString(300, u'a') << 0LL;
    QTest::newRow("folder") << u"folder"_s << 0LL;
    QTest::newRow("named pipe") << u"pipe"_s << 0LL;
    QTest::newRow("empty name") << QString() << 0LL;
    // The write itself fails after the file was opened, for any user.
    QTest::newRow("size limit mid-write") << u"plain"_s << 200LL;
    QTest::newRow("full disk") << u"/dev/full"_s << 0LL;
}

void TestLyricsText::failedWriteKeepsTheTarget()
{
    QFETCH(QString, name);
    QFETCH(qint64, sizeLimit);
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    fillWithObstacles(dir);
    const QString path = name.isEmpty() ? name : dir.absoluteFilePath(name);

    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN); // EFBIG instead of the signal
    rlimit limited = saved;
    limited.rlim_cur = sizeLimit ? rlim_t(sizeLimit) : saved.rlim_cur;
    ::setrlimit(RLIMIT_FSIZE, &limited);
    const QString error = writeLyricsFile(path, QString(5000, u'x'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);

    QVERIFY2(!error.isEmpty(), "a failed write reported as success");
    QCOMPARE(readBytes(dir.filePath(u"plain"_s)), QByteArray("old"));
    QVERIFY(QFileInfo(u"/dev/full"_s).exists() && !QFileInfo(u"/dev/full"_s).isFile());
    const QStringList left = {u"binary"_s, u"folder"_s, u"huge"_s, u"pipe"_s, u"plain"_s};
    QCOMPARE(dir.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name), left);
}

QTEST_GUILESS_MAIN(TestLyricsText)
#include "tst_lyricstext.moc"
