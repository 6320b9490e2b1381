// The text formats: time-tag positions, the clock label, and lyrics files
// read (decoding, line splitting, refusals) and encoded for saving.
#include "core/clocktext.h"
#include "core/lyricstext.h"
#include "core/positiontext.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

class TestTexts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void position_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("expected");
        QTest::newRow("binary fraction below .29") << 0.29 << "00:00.29";
        QTest::newRow("cut, not rounded") << 59.999 << "00:59.99";
        QTest::newRow("seconds carry into minutes") << 119.996 << "01:59.99";
        QTest::newRow("99:59.99") << 5999.999 << "99:59.99";
        QTest::newRow("a hundred minutes") << 6000.0 << "100:00.00";
        QTest::newRow("negative reads as zero") << -0.194 << "00:00.00";
        QTest::newRow("NaN reads as zero") << std::nan("") << "00:00.00";
        QTest::newRow("infinity reads as zero") << std::numeric_limits<double>::infinity() << "00:00.00";
    }
    void position()
    {
        QFETCH(double, seconds);
        QFETCH(QString, expected);
        QCOMPARE(tarvelin::formatPosition(seconds), expected);
    }

    void clock_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Chinese afternoon") << "zh_CN" << QTime(14, 5, 9) << "2026/12/6\n14:05:09";
        QTest::newRow("midnight: date alone") << "zh_CN" << QTime(0, 0) << "2026/12/6";
        QTest::newRow("milliseconds after midnight") << "zh_CN" << QTime(0, 0, 0, 400) << "2026/12/6";
        QTest::newRow("one second past midnight") << "zh_CN" << QTime(0, 0, 1) << "2026/12/6\n00:00:01";
        QTest::newRow("US: no zone name") << "en_US" << QTime(14, 5, 9) << "12/6/26\n2:05:09 PM";
    }
    void clock()
    {
        QFETCH(QString, locale);
        QFETCH(QTime, time);
        QFETCH(QString, expected);
        QString text = tarvelin::clockText(QDateTime(QDate(2026, 12, 6), time), QLocale(locale));
        // Newer locale data puts a narrow space before AM/PM.
        QCOMPARE(text.replace(QChar(0x202F), u' '), expected);
    }

    void readLyrics_data()
    {
        QTest::addColumn<QString>("name"); // "": a file holding `bytes`
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("error"); // part of the reason; "": read

        const auto text = [](const char *row, const QByteArray &bytes, const QStringList &lines) {
            QTest::newRow(row) << QString() << bytes << lines << QString();
        };
        const auto refused = [](const char *row, const QString &name, const QByteArray &bytes, const QString &error) {
            QTest::newRow(row) << name << bytes << QStringList() << error;
        };
        text("empty", {}, {});
        text("UTF-8, spaces, tab and no-break space kept", " \xE4\xBD\xA0\t\xC2\xA0\n", {u" 你\t\u00A0"_s});
        text("UTF-8 mark, then a second one as text", "\xEF\xBB\xBF\xEF\xBB\xBFx", {u"\uFEFFx"_s});
        text("UTF-16LE mark", QByteArray("\xFF\xFE\x60\x4F\x40\xD8\x00\xDC\n\0B\0", 12), {u"你\U00020000"_s, u"B"_s});
        text("UTF-16BE mark", QByteArray("\xFE\xFF\x4F\x60\x00\x41", 6), {u"你A"_s});
        text("GBK", "[00:01]\xC4\xE3\xBA\xC3\r\n", {u"[00:01]你好"_s});
        text("GB18030 outside GBK", "\x95\x32\x82\x36", {u"\U00020000"_s});
        text("UTF-8 cut off at the end is not UTF-8", "ab\xE4\xBD", {u"ab浣"_s});
        text("CR LF, CR, LF, no final ending", "A\r\nB\rC\nD", {u"A"_s, u"B"_s, u"C"_s, u"D"_s});
        text("empty lines, LF then CR is two endings", "\r\n\n\r", {u""_s, u""_s, u""_s});

        refused("NUL byte", {}, QByteArray("la\0la", 5), u"空字节"_s);
        refused("U+0000 behind a UTF-16 mark", {}, QByteArray("\xFF\xFE\0\0A\0", 6), u"空字节"_s);
        refused("over 8 MiB", {}, QByteArray(8 * 1024 * 1024 + 1, 'a'), u"8 MiB"_s);
        refused("missing", u"missing"_s, {}, u"文件不存在"_s);
        refused("folder", u"folder"_s, {}, u"文件夹"_s);
        refused("named pipe", u"pipe"_s, {}, u"不是普通文件"_s);
        refused("failing read", u"/proc/self/mem"_s, {}, u"Input/output error"_s); // opens, first page unreadable
    }
    void readLyrics()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QFETCH(QString, error);
        QTemporaryDir dir;
        QDir(dir.path()).mkdir(u"folder"_s);
        ::mkfifo(QFile::encodeName(dir.filePath(u"pipe"_s)).constData(), 0644);
        QFile file(dir.filePath(u"lyrics.txt"_s));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        const auto read = tarvelin::readLyricsFile(name.isEmpty() ? file.fileName() : QDir(dir.path()).absoluteFilePath(name));
        QCOMPARE(read.lines, lines);
        QVERIFY2(error.isEmpty() ? read.error.isEmpty() : read.error.contains(error), qPrintable(read.error));
    }

    // Saved as UTF-8 without a mark, every line break (Shift+Enter's U+2028
    // too) one CR LF, and one more after the text.
    void encode()
    {
        QCOMPARE(tarvelin::encodeLyrics(u"a\r\nb\rc\nd\u2028e\u2029你\u00A0"_s),
                 QByteArray("a\r\nb\r\nc\r\nd\r\ne\r\n\xE4\xBD\xA0\xC2\xA0\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestTexts)
#include "tst_texts.moc"
